#!/usr/bin/env bash
# Runs one libFuzzer program for a bounded time and prints one line of what it did: the inputs
# it ran, the corpus it grew, and whether it found anything. A finding (crash, leak, timeout,
# sanitizer report, broken promise) fails the test, names the saved input and shows the end of
# the log; that input then belongs in fuzz/regressions/<name>/.
# Usage: run_target.sh FUZZER SECONDS WORK-DIR SEED-DIR [REGRESSION-DIR]
set -uo pipefail
fuzzer=$1 seconds=$2 work=$3 seeds=$4 regressions=${5:-}
name=$(basename "$fuzzer")
mkdir -p "$work/corpus" "$work/artifacts"
rm -f "$work/summary"
folders=("$work/corpus" "$seeds")
[ -d "$regressions" ] && folders+=("$regressions")
log=$work/log
# The targets write each input to a scratch file and some replace files durably (fsync); in
# memory that costs nothing, so more inputs fit in the time.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
"$fuzzer" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2560 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "${folders[@]}" >"$log" 2>&1
status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
corpus=$(find "$work/corpus" -type f | wc -l)
if [ "$status" -ne 0 ]; then
  echo "$name: FOUND a fault after ${runs:-?} runs (exit $status)" >"$work/summary"
  echo "$name: FOUND a fault after ${runs:-?} runs (exit $status); inputs kept in $work/artifacts:"
  ls "$work/artifacts"
  tail -n 40 "$log"
  exit 1
fi
echo "$name: ${runs:-?} runs in ${seconds} s, ${corpus} new corpus inputs, nothing found" |
  tee "$work/summary"
