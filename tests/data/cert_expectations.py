#!/usr/bin/env python3
"""Compute what the certificate reader must report for a set of certificates.

Each input certificate (PEM or DER; one certificate per file; directories
are expanded to their *.crt, *.cer, *.pem and *.der files) is copied as DER
into OUT_DIR and one row per certificate is written to OUT_DIR/expected.tsv:

    file  process_ok  parse_status  key_status  fingerprint  common_name_hex

All facts come from the openssl command line tool, not from a DER parser of
our own, so the reader is checked against an independent implementation:

  * key algorithm      "Public Key Algorithm:" of `openssl x509 -text`
  * RSA modulus        `openssl x509 -modulus`
  * public key         `openssl x509 -pubkey` (DER SubjectPublicKeyInfo)
  * names              `-nameopt sep_multiline,oid,show_type,dump_all,dump_der`
                       prints every name attribute as the hex of its exact
                       DER encoding (tag, length, content), so the string type
                       and the raw bytes of each common name are known exactly
  * outer sig. alg.    last "Signature Algorithm:" / "Signature Value:"

Reader behaviour mirrored here:
  * fingerprint = last 20 hex digits of SHA-1("Modulus=" + upper-case hex of
    the modulus bytes + "\\n") for rsaEncryption keys; for a key of any
    other kind the last 20 hex digits of SHA-1 over the DER
    SubjectPublicKeyInfo (`openssl x509 -pubkey -noout | openssl pkey -pubin
    -outform DER | sha1sum | cut -c21-40`);
  * common name = the last UTF8String/PrintableString/TeletexString commonName
    seen while walking issuer then subject (so the subject wins when it has
    one), raw content bytes, at most 255 of them; "-" when there is none;
  * an outer signature algorithm of rsaEncryption makes the reader treat the
    signature as a second key; unless the signature starts with 0x30 this
    fails with process_ok 0, parse_status 12, key_status 4.

A common_name_hex of "?" means "unknown, do not compare" (a name that could
not be recovered exactly, or one holding a 00 byte, which a C string cannot
carry). The signature is the last element of a certificate, so a reader that
fails on it has already seen the key and the names: such rows keep the
fingerprint and common name of a complete walk.

Overrides (for hand-crafted certificates): --override FILE, a TSV with the
same columns as expected.tsv; a "*" keeps the computed value, anything else
replaces it. Lines starting with '#' are ignored.

Example:
    cert_expectations.py -o build/cacerts /usr/share/ca-certificates/mozilla
"""

import argparse
import base64
import concurrent.futures
import hashlib
import os
import re
import subprocess
import sys

COLUMNS = ["file", "process_ok", "parse_status", "key_status",
           "fingerprint", "common_name_hex"]
HEADER = "#" + "\t".join(COLUMNS)

CN_OID = "2.5.4.3"
# Universal string tags the reader takes a common name from.
ACCEPTED_CN_TAGS = {0x0C: "UTF8STRING", 0x13: "PRINTABLESTRING",
                    0x14: "T61STRING"}
CN_MAX = 255

NAMEOPT = "sep_multiline,oid,show_type,dump_all,dump_der"
CERTOPT = ("no_header,no_version,no_serial,no_signame,no_validity,"
           "no_subject,no_issuer,no_extensions,no_aux")

INPUT_EXTS = (".crt", ".cer", ".pem", ".der")

PEM_RE = re.compile(
    rb"-----BEGIN CERTIFICATE-----\s*(.*?)\s*-----END CERTIFICATE-----",
    re.S)
PUBKEY_RE = re.compile(
    r"-----BEGIN PUBLIC KEY-----\s*(.*?)\s*-----END PUBLIC KEY-----", re.S)
ATTR_RE = re.compile(r"^([0-9]+(?:\.[0-9]+)+|[A-Za-z][A-Za-z0-9]*)="
                     r"([A-Z0-9_ ]+):#([0-9A-Fa-f]+)$")


class CertError(Exception):
    pass


def fail(msg):
    sys.stderr.write("cert_expectations.py: error: %s\n" % msg)
    sys.exit(1)


# --------------------------------------------------------------------------
# input handling

def expand_inputs(paths):
    files = []
    for p in paths:
        if os.path.isdir(p):
            found = sorted(os.path.join(p, n) for n in os.listdir(p)
                           if n.lower().endswith(INPUT_EXTS)
                           and os.path.isfile(os.path.join(p, n)))
            if not found:
                fail("directory %s holds no *.crt/*.cer/*.pem/*.der files" % p)
            files.extend(found)
        elif os.path.isfile(p):
            files.append(p)
        else:
            fail("input %s does not exist" % p)
    if not files:
        fail("no input certificates")
    return files


def der_name(path):
    base = os.path.basename(path)
    stem, ext = os.path.splitext(base)
    if ext.lower() not in INPUT_EXTS:
        stem = base
    stem = re.sub(r"[^A-Za-z0-9._-]", "_", stem)
    if not stem or stem.startswith("."):
        stem = "cert" + stem
    return stem + ".der"


def load_der(path):
    with open(path, "rb") as f:
        data = f.read()
    if b"-----BEGIN" in data:
        blocks = PEM_RE.findall(data)
        if len(blocks) != 1:
            raise CertError("expected exactly one PEM CERTIFICATE block, "
                            "found %d" % len(blocks))
        try:
            der = base64.b64decode(b"".join(blocks[0].split()), validate=True)
        except ValueError as e:
            raise CertError("bad base64 in PEM block: %s" % e)
    else:
        der = data
    # Only the outer header is looked at: the whole file must be exactly one
    # SEQUENCE, because the reader walks every byte it is given.
    if len(der) < 2 or der[0] != 0x30:
        raise CertError("not a DER certificate (no outer SEQUENCE)")
    hl, body = tlv_header(der, 0)
    if hl + body != len(der):
        raise CertError("outer SEQUENCE length %d + header %d != file size %d"
                        % (body, hl, len(der)))
    return der


def tlv_header(buf, off):
    """Return (header_len, content_len) of the element at buf[off]."""
    if off + 2 > len(buf):
        raise CertError("truncated element")
    n = buf[off + 1]
    if n < 0x80:
        return 2, n
    k = n & 0x7F
    if k == 0 or k > 4 or off + 2 + k > len(buf):
        raise CertError("unsupported length encoding")
    return 2 + k, int.from_bytes(buf[off + 2:off + 2 + k], "big")


# --------------------------------------------------------------------------
# openssl

def run_openssl(openssl, der):
    cmd = [openssl, "x509", "-inform", "DER", "-noout",
           "-nameopt", NAMEOPT, "-certopt", CERTOPT,
           "-issuer", "-subject", "-modulus", "-pubkey", "-text"]
    try:
        p = subprocess.run(cmd, input=der, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, check=False)
    except OSError as e:
        raise CertError("cannot run %s: %s" % (openssl, e))
    if p.returncode != 0:
        raise CertError("openssl x509 failed: %s"
                        % p.stderr.decode("utf-8", "replace").strip())
    return p.stdout.decode("ascii", "replace")


def parse_name_line(line):
    """One line of a sep_multiline name: list of (oid, tag, content|None)."""
    out = []
    for part in line.strip().split(" + "):
        m = ATTR_RE.match(part)
        if not m:
            out.append((part.split("=", 1)[0], None, None))
            continue
        oid, _typ, hexval = m.groups()
        if len(hexval) % 2:
            out.append((oid, None, None))
            continue
        enc = bytes.fromhex(hexval)
        try:
            hl, n = tlv_header(enc, 0)
        except CertError:
            out.append((oid, None, None))
            continue
        if hl + n != len(enc):
            out.append((oid, None, None))
            continue
        out.append((oid, enc[0], enc[hl:]))
    return out


def parse_output(text):
    facts = {"issuer": [], "subject": [], "modulus": None,
             "key_alg": None, "sig_alg": None, "sig_first": None,
             "public_key": None}
    pubkey = PUBKEY_RE.search(text)
    if pubkey:
        facts["public_key"] = base64.b64decode("".join(pubkey.group(1).split()))
    section = None
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        i += 1
        if line.startswith("issuer=") or line.startswith("subject="):
            section = line.split("=", 1)[0]
            rest = line.split("=", 1)[1].strip()
            if rest:
                facts[section].extend(parse_name_line(rest))
            continue
        if section and line.startswith("    ") and "=" in line \
                and not line.strip().startswith(("Subject Public", "Public")):
            facts[section].extend(parse_name_line(line))
            continue
        section = None
        s = line.strip()
        if line.startswith("Modulus="):
            facts["modulus"] = line[len("Modulus="):].strip()
        elif s.startswith("Public Key Algorithm:"):
            facts["key_alg"] = s.split(":", 1)[1].strip()
        elif s.startswith("Signature Algorithm:"):
            facts["sig_alg"] = s.split(":", 1)[1].strip()
            facts["sig_first"] = None
        elif s == "Signature Value:" and i < len(lines):
            first = lines[i].strip().split(":", 1)[0]
            if re.fullmatch(r"[0-9a-fA-F]{2}", first):
                facts["sig_first"] = int(first, 16)
    return facts


# --------------------------------------------------------------------------
# expectations

def fingerprint_of_modulus_hex(hexdigits):
    # openssl prints the modulus without leading zero nibbles; the reader
    # hashes the hex of whole bytes, so pad back to an even digit count.
    if len(hexdigits) % 2:
        hexdigits = "0" + hexdigits
    text = "Modulus=" + hexdigits.upper() + "\n"
    return hashlib.sha1(text.encode("ascii")).hexdigest()[-20:]


def expected_common_name(facts):
    cn = b""
    for section in ("issuer", "subject"):
        for oid, tag, content in facts[section]:
            if oid not in (CN_OID, "CN", "commonName"):
                continue
            if tag is None:
                return "?"          # could not recover the exact bytes
            if tag in ACCEPTED_CN_TAGS:
                cn = content[:CN_MAX]
    if b"\x00" in cn:
        return "?"
    return cn.hex() if cn else "-"


def expectations_for(openssl, path):
    der = load_der(path)
    facts = parse_output(run_openssl(openssl, der))
    if facts["key_alg"] is None:
        raise CertError("no 'Public Key Algorithm:' in openssl output")
    if facts["sig_alg"] is None:
        raise CertError("no outer 'Signature Algorithm:' in openssl output")

    row = {"process_ok": "1", "parse_status": "0", "key_status": "0",
           "fingerprint": "-", "common_name_hex": expected_common_name(facts)}
    if facts["key_alg"] == "rsaEncryption":
        mod = facts["modulus"]
        if not mod or not re.fullmatch(r"[0-9A-F]+", mod):
            raise CertError("rsaEncryption key but no usable -modulus "
                            "output (%r)" % mod)
        row["key_status"] = "2"
        row["fingerprint"] = fingerprint_of_modulus_hex(mod)
    elif facts["public_key"]:
        row["fingerprint"] = hashlib.sha1(facts["public_key"]).hexdigest()[-20:]
    else:
        raise CertError("no public key in openssl output")

    if facts["sig_alg"] == "rsaEncryption":
        # The reader takes the signature BIT STRING for a second RSA key.
        if facts["sig_first"] is None:
            raise CertError("outer signature algorithm is rsaEncryption but "
                            "the signature value could not be read")
        row["process_ok"], row["parse_status"], row["key_status"] = \
            "0", "12", "4"
        if facts["sig_first"] == 0x30:
            row["needs_override"] = ("outer signature algorithm is "
                                     "rsaEncryption and the signature starts "
                                     "with 0x30; give an --override row")
    return der, row


def load_overrides(paths):
    table = {}
    for p in paths:
        try:
            with open(p, encoding="utf-8") as f:
                lines = f.read().splitlines()
        except OSError as e:
            fail("cannot read override file %s: %s" % (p, e))
        for n, line in enumerate(lines, 1):
            if not line.strip() or line.startswith("#"):
                continue
            cols = line.split("\t")
            if len(cols) != len(COLUMNS):
                fail("%s:%d: expected %d tab-separated columns, got %d"
                     % (p, n, len(COLUMNS), len(cols)))
            table[cols[0]] = dict(zip(COLUMNS[1:], cols[1:]))
    return table


def check_row(name, row):
    ok = (row["process_ok"] in ("0", "1")
          and row["parse_status"].isdigit()
          and row["key_status"].isdigit()
          and re.fullmatch(r"[0-9a-f]{20}|-", row["fingerprint"])
          and re.fullmatch(r"(?:[0-9a-f]{2})+|-|\?", row["common_name_hex"]))
    if not ok:
        fail("bad expectation row for %s: %r" % (name, row))


def main():
    ap = argparse.ArgumentParser(
        description="Write certificates as DER plus expected.tsv for the "
                    "certificate reader tests.")
    ap.add_argument("-o", "--out-dir", "--out", required=True,
                    help="directory for the DER copies and expected.tsv")
    ap.add_argument("--override", action="append", default=[],
                    metavar="TSV", help="per-file overrides (repeatable)")
    ap.add_argument("--openssl", default=os.environ.get("OPENSSL", "openssl"),
                    help="openssl binary (default: $OPENSSL or openssl)")
    ap.add_argument("-j", "--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("inputs", nargs="+",
                    help="certificate files or directories")
    args = ap.parse_args()

    files = expand_inputs(args.inputs)
    names = {}
    for f in files:
        n = der_name(f)
        if n in names:
            fail("%s and %s both map to %s" % (names[n], f, n))
        names[n] = f
    overrides = load_overrides(args.override)
    for n in overrides:
        if n not in names:
            sys.stderr.write("cert_expectations.py: warning: override for %s "
                             "matches no input\n" % n)

    os.makedirs(args.out_dir, exist_ok=True)
    results = {}
    errors = []
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        futs = {pool.submit(expectations_for, args.openssl, f): n
                for n, f in names.items()}
        for fut in concurrent.futures.as_completed(futs):
            n = futs[fut]
            try:
                results[n] = fut.result()
            except CertError as e:
                errors.append("%s: %s" % (names[n], e))
    if errors:
        fail("could not process %d certificate(s):\n  %s"
             % (len(errors), "\n  ".join(sorted(errors))))

    rows = []
    for n in sorted(results):
        der, row = results[n]
        for col, val in overrides.get(n, {}).items():
            if val != "*":
                row[col] = val
        if "needs_override" in row:
            if n not in overrides:
                fail("%s: %s" % (names[n], row["needs_override"]))
            del row["needs_override"]
        check_row(n, row)
        with open(os.path.join(args.out_dir, n), "wb") as f:
            f.write(der)
        rows.append("\t".join([n] + [row[c] for c in COLUMNS[1:]]))

    tsv = os.path.join(args.out_dir, "expected.tsv")
    tmp = tsv + ".tmp"
    with open(tmp, "w", encoding="ascii", newline="\n") as f:
        f.write(HEADER + "\n")
        for r in rows:
            f.write(r + "\n")
    os.replace(tmp, tsv)
    print("cert_expectations.py: %d certificate(s) -> %s"
          % (len(rows), tsv))


if __name__ == "__main__":
    main()
