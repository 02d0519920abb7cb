#!/usr/bin/env bash
# Builds newsclass and runs the whole pipeline on the bundled sample corpus: imports
# sample/corpus.tsv (120 training and 30 testing articles) into data/corpus.db, then builds the
# dictionary, contingency table, feature words and vector models in data/, classifies the testing
# articles and prints the evaluation report. Runs in sample/, where stopwords.txt and the
# segmenter's user dictionary dict.txt are.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
cd sample
../build/newsclass --data-dir ../data import --replace corpus.tsv
../build/newsclass --data-dir ../data --train-range 1-120 --test-range 1-30 --quiet \
  pipeline --measure chi --count 1000 --k 10
