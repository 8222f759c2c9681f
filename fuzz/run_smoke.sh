#!/usr/bin/env bash
# A bounded fuzz run for the test suite: at most RUNS inputs (default 100000)
# or SECONDS seconds (default 60), starting from the seed corpus
# (SALVOR_FUZZ_RUNS and SALVOR_FUZZ_SECONDS change them).
#
#   run_smoke.sh FUZZER SEED_DIR SCRATCH_DIR
set -euo pipefail
fuzzer=$1 seeds=$2 scratch=$3
rm -rf "$scratch"
mkdir -p "$scratch/corpus" "$scratch/artifacts"
# Leaks are real faults here; a 10 s input is a hang.
"$fuzzer" "$scratch/corpus" "$seeds" \
  -runs="${SALVOR_FUZZ_RUNS:-100000}" -max_total_time="${SALVOR_FUZZ_SECONDS:-60}" \
  -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$scratch/artifacts/" 2>"$scratch/fuzz.log" || {
  tail -n 60 "$scratch/fuzz.log"
  echo "FAIL: the fuzzer stopped on an input; see $scratch/artifacts/"
  exit 1
}
grep -E '^(#[0-9]+\s+DONE|stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' "$scratch/fuzz.log"
