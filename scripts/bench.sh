#!/bin/sh
# Benchmarks of the portable core, and OpenSSL's SHA-1 at the same block sizes
# for comparison.
set -eu
cd "$(dirname "$0")/.."

scripts/build.sh host
VERILOOM_TEST_DATA=$PWD/tests/data build/host/tests/bench/core_bench
echo
echo "openssl speed sha1 (1 s per block size):"
openssl speed -seconds 1 sha1 2>/dev/null | tail -n 3
