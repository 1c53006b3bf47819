#!/bin/sh
# Fuzzes the certificate walker, seeded with the committed certificates, and
# the structural key checks under ASan and UBSan, each for the given number of
# seconds; the corpora they grow are kept in the build folder for the next run.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-180}

scripts/build.sh host
corpus=build/host/fuzz-corpus
mkdir -p "$corpus" build/host/fuzz-findings
mkdir -p build/host/fuzz-corpus-key-checks
for run in "walker_fuzz $corpus tests/data/certs" "key_checks_fuzz -max_len=1024 build/host/fuzz-corpus-key-checks"; do
    set -- $run
    target=$1
    shift
    echo "$target:"
    build/host/tests/fuzz/$target -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix=build/host/fuzz-findings/ "$@" 2>&1 |
        grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::new_units_added|==[0-9]+==ERROR|SUMMARY)' || true
done
if [ -n "$(ls -A build/host/fuzz-findings)" ]; then
    echo "fuzz: findings in build/host/fuzz-findings" >&2
    exit 1
fi
echo "fuzz: no findings in $seconds s per target"
