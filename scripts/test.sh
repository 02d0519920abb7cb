#!/usr/bin/env bash
# Builds newsclass and runs every test. Tests that need a PostgreSQL server skip themselves unless
# NEWSCLASS_TEST_PG names one (.ci/run starts one).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"
