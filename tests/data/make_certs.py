#!/usr/bin/env python3
"""Regenerate the test certificates in tests/data/certs/.

Creates keys and certificates with the openssl command line tool, applies a
few small DER edits for cases openssl will not produce directly (string
types, over-long common name, re-encoded key INTEGER, outer signature
algorithm), then runs cert_expectations.py to write the DER files and
expected.tsv into certs/.

Keys are random, so every run produces a new snapshot (new fingerprints);
names, serial numbers and the set of cases stay the same. Crafted
certificates do not carry a valid signature, which the reader never checks.
The 8192-bit key takes a while to generate.

Usage: make_certs.py [--openssl PATH] [--out-dir DIR] [--only GROUP]

--only GROUP makes just that group's certificates (see GROUPS), keeps the
other files and rewrites expected.tsv for all of them.
"""

import argparse
import glob
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

OID_RSA_ENCRYPTION = bytes.fromhex("2a864886f70d010101")
OID_COMMON_NAME = bytes.fromhex("550403")

TAG_INTEGER, TAG_BIT_STRING, TAG_OID = 0x02, 0x03, 0x06
TAG_UTF8, TAG_PRINTABLE, TAG_T61 = 0x0C, 0x13, 0x14
TAG_IA5, TAG_BMP = 0x16, 0x1E

CONFIG = """\
[req]
distinguished_name = dn
string_mask = {mask}
utf8 = yes

[dn]

[ext_self]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign, digitalSignature
subjectKeyIdentifier = hash

[ext_leaf]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid

[ext_leaf_san]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
subjectAltName = critical, DNS:empty-subject.veriloom.example
"""

DAYS = "7300"
CA_SUBJECT = "/C=DE/O=Veriloom Test/CN=Veriloom Test CA"


# --------------------------------------------------------------------------
# minimal DER tree: a node is [tag, bytes] (primitive) or [tag, [nodes]]

def der_parse(buf, off=0, end=None):
    end = len(buf) if end is None else end
    nodes = []
    while off < end:
        tag = buf[off]
        if tag & 0x1F == 0x1F:
            raise ValueError("multi-byte tags not supported")
        n = buf[off + 1]
        off += 2
        if n & 0x80:
            k = n & 0x7F
            n = int.from_bytes(buf[off:off + k], "big")
            off += k
        if off + n > end:
            raise ValueError("element overruns its parent")
        if tag & 0x20:
            nodes.append([tag, der_parse(buf, off, off + n)])
        else:
            nodes.append([tag, bytes(buf[off:off + n])])
        off += n
    return nodes


def der_len(n):
    if n < 0x80:
        return bytes([n])
    b = n.to_bytes((n.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(b)]) + b


def der_encode(nodes):
    out = bytearray()
    for tag, val in nodes:
        body = der_encode(val) if isinstance(val, list) else val
        out += bytes([tag]) + der_len(len(body)) + body
    return bytes(out)


def cert_tree(der):
    (cert,) = der_parse(der)
    assert der_encode([cert]) == der, "DER round trip changed the encoding"
    return cert


def tbs_fields(cert):
    tbs = cert[1][0][1]
    assert tbs[0][0] == 0xA0, "expected a v3 certificate"
    return {"issuer": tbs[3], "subject": tbs[5], "spki": tbs[6]}


def common_names(name):
    """AttributeTypeAndValue nodes of commonName in a Name, in DER order."""
    return [atv for rdn in name[1] for atv in rdn[1]
            if atv[1][0] == [TAG_OID, OID_COMMON_NAME]]


def rsa_key_parts(cert):
    """(bitstring node, parsed RSAPublicKey nodes, modulus INTEGER node)."""
    spki = tbs_fields(cert)["spki"]
    alg, bits = spki[1]
    assert alg[1][0] == [TAG_OID, OID_RSA_ENCRYPTION], "not an RSA key"
    assert bits[0] == TAG_BIT_STRING and bits[1][0] == 0
    inner = der_parse(bits[1][1:])
    modulus = inner[0][1][0]
    assert modulus[0] == TAG_INTEGER
    return bits, inner, modulus


def set_subject_cn(der, tag, content):
    cert = cert_tree(der)
    cns = common_names(tbs_fields(cert)["subject"])
    assert len(cns) == 1, "expected exactly one subject CN to rewrite"
    cns[0][1][1] = [tag, content]
    return der_encode([cert])


# --------------------------------------------------------------------------

class Maker:
    def __init__(self, openssl, work):
        self.openssl = openssl
        self.work = work
        self.out = os.path.join(work, "out")
        os.makedirs(self.out)
        self.cnf = {}
        for mask in ("utf8only", "default"):
            path = os.path.join(work, "req-%s.cnf" % mask)
            with open(path, "w") as f:
                f.write(CONFIG.format(mask=mask))
            self.cnf[mask] = path
        self.serial = 0x1000
        self.ca = None

    def run(self, *args):
        cmd = [self.openssl] + list(args)
        p = subprocess.run(cmd, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, cwd=self.work)
        if p.returncode != 0:
            sys.exit("make_certs.py: command failed: %s\n%s"
                     % (" ".join(cmd), p.stderr.decode(errors="replace")))
        return p.stdout

    def path(self, name):
        return os.path.join(self.work, name)

    def key(self, name, alg, *opts):
        out = self.path(name + ".key")
        args = ["genpkey", "-algorithm", alg, "-out", out]
        for o in opts:
            args += ["-pkeyopt", o]
        self.run(*args)
        return out

    def dsa_key(self, name, bits):
        params = self.path(name + ".params")
        self.run("genpkey", "-genparam", "-algorithm", "DSA",
                 "-pkeyopt", "dsa_paramgen_bits:%d" % bits, "-out", params)
        out = self.path(name + ".key")
        self.run("genpkey", "-paramfile", params, "-out", out)
        return out

    def next_serial(self):
        self.serial += 1
        return str(self.serial)

    def self_signed(self, key, subject, digest="-sha256", mask="utf8only",
                    multivalue=False, serial=None):
        out = self.path("tmp-self.der")
        args = ["req", "-x509", "-new", "-key", key, "-subj", subject,
                "-utf8", "-config", self.cnf[mask], "-extensions", "ext_self",
                "-days", DAYS, "-set_serial", serial or self.next_serial(),
                "-outform", "DER", "-out", out]
        if digest:
            args.append(digest)
        if multivalue:
            args.append("-multivalue-rdn")
        self.run(*args)
        with open(out, "rb") as f:
            return f.read()

    def ca_signed(self, key, subject, mask="utf8only", extensions="ext_leaf",
                  public_key=None):
        if self.ca is None:
            ca_key = self.key("ca", "RSA", "rsa_keygen_bits:2048")
            ca_der = self.self_signed(ca_key, CA_SUBJECT)
            ca_pem = self.path("ca.pem")
            self.run("x509", "-inform", "DER", "-in", self.path("tmp-self.der"),
                     "-out", ca_pem)
            self.ca = (ca_key, ca_pem, ca_der)
        csr = self.path("tmp.csr")
        self.run("req", "-new", "-key", key, "-subj", subject, "-utf8",
                 "-config", self.cnf[mask], "-out", csr)
        out = self.path("tmp-leaf.der")
        forced = ["-force_pubkey", public_key] if public_key else []
        self.run("x509", "-req", "-in", csr, "-CA", self.ca[1],
                 "-CAkey", self.ca[0], "-set_serial", self.next_serial(),
                 "-days", DAYS, "-sha256", "-extfile", self.cnf["utf8only"],
                 "-extensions", extensions, "-outform", "DER", "-out", out,
                 *forced)
        with open(out, "rb") as f:
            return f.read()

    def save(self, name, der):
        with open(os.path.join(self.out, name), "wb") as f:
            f.write(der)
        print("  %s (%d bytes)" % (name, len(der)))


def make_all(m):
    # --- RSA, sizes that are whole bytes: top bit set, INTEGER has 00 ---
    for bits in (512, 1024, 2048, 4096, 8192):
        print("RSA %d ..." % bits, flush=True)
        key = m.key("rsa-%d" % bits, "RSA", "rsa_keygen_bits:%d" % bits)
        der = m.self_signed(key, "/O=Veriloom Test/CN=RSA %d" % bits)
        _, _, mod = rsa_key_parts(cert_tree(der))
        assert len(mod[1]) == bits // 8 + 1 and mod[1][0] == 0 \
            and mod[1][1] >= 0x80, "unexpected modulus encoding"
        m.save("rsa-%d.der" % bits, der)

        if bits == 512:
            # Same certificate with the key INTEGER re-encoded without its
            # leading 00 (content starts with a byte >= 0x80). The reader
            # takes the content as the modulus, so the fingerprint must be
            # the same as for rsa-512.der.
            cert = cert_tree(der)
            bits_node, inner, mod = rsa_key_parts(cert)
            mod[1] = mod[1][1:]
            bits_node[1] = b"\x00" + der_encode(inner)
            m.save("rsa-512-short-int.der", der_encode([cert]))

    # --- RSA, sizes that are not whole bytes: genuine keys whose INTEGER
    # needs no leading 00 ---
    print("RSA 2047 / 1020 ...", flush=True)
    key = m.key("rsa-2047", "RSA", "rsa_keygen_bits:2047")
    der = m.self_signed(key, "/O=Veriloom Test/CN=RSA 2047")
    _, _, mod = rsa_key_parts(cert_tree(der))
    assert len(mod[1]) == 256 and 0x40 <= mod[1][0] < 0x80
    m.save("rsa-2047-no-leading-00.der", der)

    # 1020 bits: top byte 0x08..0x0f. openssl -modulus prints an odd number
    # of hex digits here; the reader hashes whole bytes ("0B..." not "B...").
    key = m.key("rsa-1020", "RSA", "rsa_keygen_bits:1020")
    der = m.self_signed(key, "/O=Veriloom Test/CN=RSA 1020")
    _, _, mod = rsa_key_parts(cert_tree(der))
    assert len(mod[1]) == 128 and 0x08 <= mod[1][0] < 0x10
    m.save("rsa-1020-top-nibble-0.der", der)

    # --- other key types: no fingerprint ---
    print("RSA-PSS / EC / DSA / Ed25519 ...", flush=True)
    key = m.key("rsa-pss", "RSA-PSS", "rsa_keygen_bits:2048")
    m.save("rsa-pss-2048.der",
           m.self_signed(key, "/O=Veriloom Test/CN=RSA-PSS 2048"))
    for curve, name in (("P-256", "ec-p256"), ("P-384", "ec-p384")):
        key = m.key(name, "EC", "ec_paramgen_curve:" + curve,
                    "ec_param_enc:named_curve")
        digest = "-sha384" if curve == "P-384" else "-sha256"
        m.save(name + ".der", m.self_signed(
            key, "/O=Veriloom Test/CN=EC " + curve, digest=digest))
    key = m.dsa_key("dsa-2048", 2048)
    m.save("dsa-2048.der", m.self_signed(key, "/O=Veriloom Test/CN=DSA 2048"))
    key = m.key("ed25519", "ED25519")
    m.save("ed25519.der", m.self_signed(key, "/O=Veriloom Test/CN=Ed25519",
                                        digest=None))

    # --- common name cases (RSA 2048 keys) ---
    print("common name cases ...", flush=True)

    def rsa_key(name):
        return m.key(name, "RSA", "rsa_keygen_bits:2048")

    der = m.self_signed(rsa_key("cn-two"), "/O=Veriloom Test/CN=first common "
                        "name/OU=Unit/CN=second common name")
    assert len(common_names(tbs_fields(cert_tree(der))["subject"])) == 2
    m.save("cn-two.der", der)

    m.save("cn-multi-rdn.der", m.self_signed(
        rsa_key("cn-multi-rdn"), "/O=Veriloom Test/CN=zeta+CN=alpha",
        multivalue=True))

    m.save("cn-none.der", m.self_signed(
        rsa_key("cn-none"), "/O=Veriloom Test/OU=No Common Name"))

    m.save("cn-none-subject.der", m.ca_signed(
        rsa_key("cn-none-subject"), "/O=Veriloom Test/OU=Subject Without CN"))

    der = m.self_signed(rsa_key("cn-printable"),
                        "/C=DE/O=Veriloom Test/CN=Printable Name",
                        mask="default")
    (atv,) = common_names(tbs_fields(cert_tree(der))["subject"])
    assert atv[1][1][0] == TAG_PRINTABLE
    m.save("cn-printable.der", der)

    m.save("cn-utf8-nonascii.der", m.self_signed(
        rsa_key("cn-utf8"),
        "/O=Veriloom Test/CN=Grüße – Zertifikat 証明書 ✓"))

    # Crafted string types. IA5 and BMP names are not taken by the reader:
    # the subject is CA-signed so the expected name is the issuer's CN.
    der = m.ca_signed(rsa_key("cn-ia5"), "/O=Veriloom Test/CN=ia5 name")
    m.save("cn-ia5.der", set_subject_cn(der, TAG_IA5, b"ia5 name"))

    der = m.ca_signed(rsa_key("cn-bmp"), "/O=Veriloom Test/CN=bmp name")
    m.save("cn-bmp.der", set_subject_cn(der, TAG_BMP,
                                        "bmp name".encode("utf-16-be")))

    der = m.self_signed(rsa_key("cn-t61"), "/O=Veriloom Test/CN=teletex")
    m.save("cn-t61-latin1.der", set_subject_cn(
        der, TAG_T61, "Café Télétex Ä".encode("latin-1")))

    # 300 bytes; each 4-byte group names its own offset, so the 255-byte cut
    # is easy to see. The issuer keeps its short CN.
    long_cn = "".join("%03d-" % i for i in range(0, 300, 4)).encode("ascii")
    assert len(long_cn) == 300
    der = m.self_signed(rsa_key("cn-300"), "/O=Veriloom Test/CN=long")
    m.save("cn-300.der", set_subject_cn(der, TAG_UTF8, long_cn))

    # --- outer signature algorithm rsaEncryption: the reader takes the
    # signature for a second key and must fail on it. This needs the first
    # signature byte to differ from 0x30 (a SEQUENCE tag); try serials until
    # it does. ---
    key = rsa_key("outer-sig")
    for attempt in range(100):
        der = m.self_signed(key, "/O=Veriloom Test/CN=Outer Sig rsaEncryption",
                            serial=str(0x7000 + attempt))
        cert = cert_tree(der)
        sig = cert[1][2]
        assert sig[0] == TAG_BIT_STRING and sig[1][0] == 0
        if sig[1][1] != 0x30:
            break
    else:
        sys.exit("make_certs.py: every signature started with 0x30")
    sigalg = cert[1][1]
    sigalg[1][0] = [TAG_OID, OID_RSA_ENCRYPTION]
    der = der_encode([cert])
    assert cert_tree(der)[1][2][1][1] != 0x30
    m.save("outer-sig-rsaenc.der", der)


def make_empty_subject(m):
    # An empty subject name (30 00) with the names in a critical
    # subjectAltName, as current certificate profiles allow; CA-signed, so
    # the expected name is the issuer's CN.
    print("empty subject ...", flush=True)
    key = m.key("empty-subject", "RSA", "rsa_keygen_bits:2048")
    der = m.ca_signed(key, "/", extensions="ext_leaf_san")
    assert bytes.fromhex("3000") in der
    assert not common_names(tbs_fields(cert_tree(der))["subject"])
    m.save("empty-subject-san.der", der)


def make_published(m):
    # Certificates for published weak keys (published-keys/, whose private
    # keys are public): the request is signed by a throw-away key and the
    # published public key put in with -force_pubkey.
    print("published keys ...", flush=True)
    request_key = m.key("published-request", "EC",
                        "ec_paramgen_curve:P-256")
    for name, source in (("rfc9500-p256", "rfc9500-ecdsap256"),
                         ("rfc9500-p384", "rfc9500-ecdsap384"),
                         ("rfc9500-p521", "rfc9500-ecdsap521"),
                         ("keypair-2048", "keypair-2048")):
        public_key = os.path.join(HERE, "published-keys", source + ".pub.pem")
        m.save(name + ".der", m.ca_signed(
            request_key, "/O=Veriloom Test/CN=" + name,
            public_key=public_key))


GROUPS = {"all": lambda m: (make_all(m), make_empty_subject(m),
                            make_published(m)),
          "empty-subject": make_empty_subject,
          "published": make_published}


def check_expectations(tsv):
    rows = {}
    with open(tsv) as f:
        for line in f:
            if line.startswith("#"):
                continue
            cols = line.rstrip("\n").split("\t")
            rows[cols[0]] = cols[1:]

    def cn(name):
        return bytes.fromhex(rows[name][4]) if rows[name][4] != "-" else b""

    assert rows["rsa-512-short-int.der"] == rows["rsa-512.der"]
    assert cn("cn-two.der") == b"second common name"
    assert cn("cn-multi-rdn.der") == b"alpha"
    assert rows["cn-none.der"][4] == "-"
    assert cn("cn-none-subject.der") == b"Veriloom Test CA"
    assert cn("empty-subject-san.der") == b"Veriloom Test CA"
    assert rows["empty-subject-san.der"][:3] == ["1", "0", "2"]
    assert cn("cn-ia5.der") == b"Veriloom Test CA"
    assert cn("cn-bmp.der") == b"Veriloom Test CA"
    assert cn("cn-printable.der") == b"Printable Name"
    assert cn("cn-t61-latin1.der") == "Café Télétex Ä".encode("latin-1")
    assert cn("cn-utf8-nonascii.der") == \
        "Grüße – Zertifikat 証明書 ✓".encode("utf-8")
    assert len(cn("cn-300.der")) == 255
    # The walk fails on the signature, after the key and names were taken.
    assert rows["outer-sig-rsaenc.der"][:3] == ["0", "12", "4"]
    assert len(rows["outer-sig-rsaenc.der"][3]) == 20
    assert cn("outer-sig-rsaenc.der") == b"Outer Sig rsaEncryption"
    # Keys that are not RSA: fingerprinted by their SubjectPublicKeyInfo.
    for name in ("rsa-pss-2048.der", "ec-p256.der", "ec-p384.der",
                 "dsa-2048.der", "ed25519.der", "rfc9500-p256.der",
                 "rfc9500-p384.der", "rfc9500-p521.der"):
        assert rows[name][:3] == ["1", "0", "0"], name
        assert len(rows[name][3]) == 20, name
    for name, r in rows.items():
        if name.startswith("rsa-") and not name.startswith("rsa-pss"):
            assert r[:3] == ["1", "0", "2"] and len(r[3]) == 20, name
    # The published keys' fingerprints, as the lists name them.
    assert rows["rfc9500-p256.der"][3] == "235764a26affe8d5a818"
    assert rows["rfc9500-p384.der"][3] == "43235124c8b97d5d4f70"
    assert rows["rfc9500-p521.der"][3] == "f88a9b024d24666b6b3e"
    assert rows["keypair-2048.der"][:4] == ["1", "0", "2",
                                           "54eec4a97ff9c2e707a0"]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--openssl", default=os.environ.get("OPENSSL", "openssl"))
    ap.add_argument("--out-dir", default=os.path.join(HERE, "certs"))
    ap.add_argument("--only", choices=sorted(GROUPS), default="all")
    args = ap.parse_args()

    with tempfile.TemporaryDirectory(prefix="veriloom-certs-") as work:
        m = Maker(args.openssl, work)
        GROUPS[args.only](m)

        os.makedirs(args.out_dir, exist_ok=True)
        made = {os.path.basename(f) for f in glob.glob(os.path.join(m.out, "*.der"))}
        kept = [f for f in glob.glob(os.path.join(args.out_dir, "*.der"))
                if args.only != "all" and os.path.basename(f) not in made]
        for old in glob.glob(os.path.join(args.out_dir, "*.der")) + \
                [os.path.join(args.out_dir, "expected.tsv")]:
            if os.path.exists(old) and old not in kept:
                os.remove(old)
        subprocess.run([sys.executable,
                        os.path.join(HERE, "cert_expectations.py"),
                        "--openssl", args.openssl, "-o", args.out_dir]
                       + sorted(glob.glob(os.path.join(m.out, "*.der")) + kept),
                       check=True)
    check_expectations(os.path.join(args.out_dir, "expected.tsv"))
    print("make_certs.py: checks passed")


if __name__ == "__main__":
    main()
