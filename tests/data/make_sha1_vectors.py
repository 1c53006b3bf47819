#!/usr/bin/env python3
"""Regenerate the SHA-1 test vectors in tests/data/sha1/.

Writes modulus-2048.bin and modulus-4096.bin (pseudo-random bytes from a
fixed seed, so the output is the same on every run; first byte non-zero)
and expected.tsv with the full SHA-1 (40 lower-case hex digits) of the text
"Modulus=" + upper-case hex of the bytes + "\\n", computed with hashlib.

Usage: make_sha1_vectors.py [--out-dir DIR]
"""

import argparse
import hashlib
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = (2048, 4096)


def modulus_text_sha1(data):
    text = "Modulus=" + data.hex().upper() + "\n"
    return hashlib.sha1(text.encode("ascii")).hexdigest()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out-dir", default=os.path.join(HERE, "sha1"))
    args = ap.parse_args()
    os.makedirs(args.out_dir, exist_ok=True)

    rows = []
    for size in SIZES:
        data = bytearray(random.Random(size).randbytes(size))
        if data[0] == 0:
            data[0] = 0x01
        assert len(data) == size and data[0] != 0
        name = "modulus-%d.bin" % size
        with open(os.path.join(args.out_dir, name), "wb") as f:
            f.write(data)
        rows.append("%s\t%s" % (name, modulus_text_sha1(bytes(data))))

    with open(os.path.join(args.out_dir, "expected.tsv"), "w",
              encoding="ascii", newline="\n") as f:
        f.write("#file\tsha1_hex_of_modulus_text\n")
        for r in rows:
            f.write(r + "\n")
    print("\n".join(rows))


if __name__ == "__main__":
    main()
