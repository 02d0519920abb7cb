#!/usr/bin/env bash
# Installs the Debian packages newsclass needs (only those missing) and builds it in Release.
# Usage: scripts/setup.sh [build-dir]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}

packages=(g++ cmake make libgtest-dev libboost-regex-dev unixodbc-dev odbcinst libsqliteodbc
          libcli11-dev libxxhash-dev python3-jieba)
source scripts/install_packages.sh
install_missing_packages setup "${packages[@]}"

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
