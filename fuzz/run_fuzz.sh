#!/usr/bin/env bash
# run_fuzz.sh <fuzzer> <seed corpus> <seconds>: every seed, then new inputs for a
# fixed time, in a scratch copy of the corpus (the repository's stays as it is).
# KESTRIN_FUZZ_SECONDS in the environment overrides the time (scripts/test --long).
set -euo pipefail
fuzzer=$1 seeds=$2 seconds=${KESTRIN_FUZZ_SECONDS:-${3:-5}}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$seeds/." "$work/"
cd "$work"
"$fuzzer" -runs=0 "$work"                       # the seeds alone
"$fuzzer" -max_total_time="$seconds" -seed=1 -max_len=4096 "$work"
