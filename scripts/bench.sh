#!/bin/sh
# Benchmarks: the portable core natively, OpenSSL's SHA-1 at the same block
# sizes for comparison, and the provider library under Wine (one check with
# the verdict cached; checks of new keys against four blacklist files of
# realistic size, in a fresh library, in the miss that indexes them and
# afterwards, beside the floors of reading those files, listing the folder
# and touching as much fresh memory as the indexes keep).
set -eu
cd "$(dirname "$0")/.."
root=$PWD

scripts/build.sh host
VERILOOM_TEST_DATA=$PWD/tests/data build/host/tests/bench/core_bench
echo
echo "openssl speed sha1 (1 s per block size):"
openssl speed -seconds 1 sha1 2>/dev/null | tail -n 3

echo
echo "provider library under Wine:"
scripts/build.sh windows >/dev/null
prefix=$root/build/windows/wineprefix
scripts/wine-session.sh start "$prefix"
trap '"$root"/scripts/wine-session.sh stop "$prefix" >/dev/null' EXIT
WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64 \
    VERILOOM_TEST_DATA="Z:$root/tests/data" \
    /usr/lib/wine/wine64 build/windows/tests/windows/bench/provider_bench.exe \
    "Z:$root/build/windows/provider/Veriloom-x64.dll"
