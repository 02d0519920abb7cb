#!/usr/bin/env bash
# Builds newsclass and runs it on the bundled sample corpus: imports sample/corpus.tsv into
# data/corpus.db and shows an article.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
cd sample
../build/newsclass --data-dir ../data import --replace corpus.tsv
../build/newsclass --data-dir ../data show 3
