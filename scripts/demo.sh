#!/bin/sh
# The demo: builds the Windows programs and, under Wine, reads sample
# certificates the way the revocation provider does: common name and key
# fingerprint, or why a certificate has none.
set -eu
cd "$(dirname "$0")/.."
root=$PWD

step() { printf '\n== %s\n' "$*"; }

step "building the Windows configuration"
scripts/build.sh windows >/dev/null
echo "built:"
find build/windows -maxdepth 3 \( -name '*.exe' -o -name '*.dll' \) -not -path '*/wineprefix/*' \
    -not -path '*/CMakeFiles/*' | sort | sed 's/^/  /'

prefix=$PWD/build/windows/wineprefix
step "starting Wine (prefix $prefix)"
scripts/wine-session.sh start "$prefix"
trap '"$root"/scripts/wine-session.sh stop "$prefix" >/dev/null' EXIT

step "reading sample certificates under Wine"
cd tests/data/certs
WINEPREFIX=$prefix WINEDEBUG=-all /usr/lib/wine/wine64 ../../../build/windows/tools/cert_fingerprint.exe \
    rsa-2048.der rsa-8192.der cn-utf8-nonascii.der ec-p256.der outer-sig-rsaenc.der || true
