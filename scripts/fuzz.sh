#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# in a tree of their own and runs each for a bounded time (fuzz/CMakeLists.txt), two at a time,
# then prints one line per target: how many inputs it ran and whether it found a fault. A
# finding fails the run and names the input that shows it.
# Usage: scripts/fuzz.sh [build-dir] [seconds-per-target]   (defaults: build-fuzz, 30)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-fuzz}
seconds=${2:-30}

source scripts/install_packages.sh
start_build_log "$build_dir" fuzz
install_missing_packages fuzz "${newsclass_build_packages[@]}" clang libclang-rt-14-dev

echo "fuzz: configuring and building $build_dir (log: $log)…" >&2
if ! { CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DNEWSCLASS_FUZZ=ON -DNEWSCLASS_BUILD_TESTS=OFF -DNEWSCLASS_BUILD_BENCH=OFF \
         -DNEWSCLASS_FUZZ_SECONDS="$seconds" &&
       cmake --build "$build_dir" -j"$(nproc)"; } >>"$log" 2>&1; then
  echo "fuzz: the build failed; the output is in $log, ending:" >&2
  tail -n 25 "$log" >&2
  exit 1
fi

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
ctest --test-dir "$build_dir" -L fuzz-run --output-on-failure -j"$(nproc)" >>"$log" 2>&1 || status=$?
cat "$build_dir"/fuzz/work/*/summary 2>/dev/null || true
if [ "$status" -ne 0 ]; then
  echo "fuzz: a target found a fault; its output is in $log" >&2
  grep -A 45 'FOUND a fault' "$log" | tail -n +1 >&2 || true
fi
exit "$status"
