#!/usr/bin/env bash
# Builds newsclass a second time with AddressSanitizer and UndefinedBehaviorSanitizer (any
# report stops the program; leaks are reported at exit) and runs the unit tests and the fault
# replays, and the fuzz targets' saved inputs, against that build: the tests labelled "sanitize"
# there. Benchmarks are not built.
# Usage: scripts/sanitize.sh [build-dir]   (default: build-sanitize)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-sanitize}

source scripts/install_packages.sh
start_build_log "$build_dir" sanitize
install_missing_packages sanitize "${newsclass_build_packages[@]}"

echo "sanitize: configuring and building $build_dir (log: $log)…" >&2
if ! { cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNEWSCLASS_BUILD_BENCH=OFF \
         -DNEWSCLASS_SANITIZE=ON &&
       cmake --build "$build_dir" -j"$(nproc)"; } >>"$log" 2>&1; then
  echo "sanitize: the build failed; the output is in $log, ending:" >&2
  tail -n 25 "$log" >&2
  exit 1
fi

# The label must select every test of the tree but those that need a terminal, a pipe kept open,
# a database server, mpirun (Open MPI's own allocations would count as leaks) or no build at
# all; a label lost on the way would pass by running nothing.
count_tests() { ctest --test-dir "$build_dir" -N "$@" | sed -n 's/^Total Tests: //p'; }
labelled=$(count_tests -L sanitize)
expected=$(count_tests -LE 'terminal|streaming|layers|postgres|mpi')
if [ "$labelled" != "$expected" ]; then
  echo "sanitize: $labelled tests carry the label sanitize, $expected should" >&2
  exit 1
fi

# Every report ends the process with a failure; leaks are checked at exit.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build_dir" -L sanitize --output-on-failure -j"$(nproc)"
