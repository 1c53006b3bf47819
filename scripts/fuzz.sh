#!/bin/sh
# Fuzzes the certificate walker under ASan and UBSan for the given number of
# seconds, seeded with the committed certificates; the corpus it grows is kept
# in the build folder for the next run.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-180}

scripts/build.sh host
corpus=build/host/fuzz-corpus
mkdir -p "$corpus" build/host/fuzz-findings
build/host/tests/fuzz/walker_fuzz -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build/host/fuzz-findings/ "$corpus" tests/data/certs 2>&1 |
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::new_units_added|==[0-9]+==ERROR|SUMMARY)' || true
if [ -n "$(ls -A build/host/fuzz-findings)" ]; then
    echo "fuzz: findings in build/host/fuzz-findings" >&2
    exit 1
fi
echo "fuzz: no findings in $seconds s"
