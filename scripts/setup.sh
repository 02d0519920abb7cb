#!/usr/bin/env bash
# Installs the Debian packages newsclass needs (only those missing) and builds it in Release.
# Prints one line per step; apt's and the compiler's output go to <build-dir>/setup.log, which
# a failure names (showing its last lines).
# Usage: scripts/setup.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

source scripts/install_packages.sh
start_build_log "$build_dir" setup
install_missing_packages setup "${newsclass_build_packages[@]}"

# Runs a step with its output in the log; a failure names the log and shows its end.
step() {
  local what=$1
  shift
  echo "setup: $what…" >&2
  if ! "$@" >>"$log" 2>&1; then
    echo "setup: $what failed; the output is in $log, ending:" >&2
    tail -n 25 "$log" >&2
    exit 1
  fi
}
step "configuring ($build_dir)" cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release
step "building" cmake --build "$build_dir" -j"$(nproc)"
echo "setup: built $build_dir/newsclass (log: $log)" >&2
