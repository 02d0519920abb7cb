#!/usr/bin/env bash
# The vector files' two forms at scale: thucnews-titles' 10,000 training headlines repeated to
# 32,400, 97,200 and 324,000 (its ten categories) with its first 3,600 testing headlines, the
# default KNN pipeline run with --vector-format text and binary on the default threads. Prints
# for each the time, the peak memory, the data folder's size, trainingVSM.dat's size and bytes
# a stored weight, and checks that both forms give the same predictions. Reads the corpus from
# ../shared/corpora (skipped with a message when absent). Not part of the tests.
#
# usage: bench/vector_format_bench.sh [--sizes "32400 97200 324000"] [--build DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/headlines.sh"
corpus="$root/../shared/corpora/thucnews-titles.tsv.gz"
build="$root/build"
sizes="32400 97200 324000"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath "$2"); shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    *) echo "usage: $0 [--sizes LIST] [--build DIR]" >&2; exit 2 ;;
  esac
done
if [ ! -f "$corpus" ]; then
  echo "vector format bench: corpus $corpus not found, skipped"
  exit 0
fi
newsclass="$build/newsclass"
[ -x "$newsclass" ] || "$root/scripts/setup.sh" "$build" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$root/sample/stopwords.txt" stopwords.txt
: >dict.txt
echo "machine: $(lscpu | awk -F': +' '/Model name/{print $2; exit}'), $(nproc) cores"
printf '%-9s %-7s %8s %9s %9s %16s %14s\n' training form seconds "peak GB" "folder GB" "trainingVSM MB" "bytes/weight"
for size in $sizes; do
  repeat_headlines "$corpus" "$size" >corpus.tsv
  categories=$(categories_of corpus.tsv)
  for form in text binary; do
    rm -rf data
    "$newsclass" --data-dir data -q import corpus.tsv >/dev/null
    /usr/bin/time -f '%e %M' -o time.txt "$newsclass" --data-dir data -q --train-range "1-$size" \
      --test-range 1-3600 --categories "$categories" pipeline --vector-format "$form" \
      --format json >report.json 2>/dev/null
    read -r seconds peak <time.txt
    cp data/predictions.dat "predictions-$form.dat"
    # The default weighting stores every weight: training articles times keywords.
    keywords=$(wc -l <data/keywords.dat)
    training=$(stat -c %s data/trainingVSM.dat)
    folder=$(du -sb --exclude corpus.db data | cut -f1)
    awk -v size="$size" -v form="$form" -v s="$seconds" -v peak="$peak" -v folder="$folder" \
        -v training="$training" -v keywords="$keywords" 'BEGIN {
      printf "%-9s %-7s %8.1f %9.2f %9.2f %16.1f %14.2f\n", size, form, s, peak / 1048576,
        folder / 1e9, training / 1e6, training / (size * keywords) }'
  done
  cmp -s predictions-text.dat predictions-binary.dat ||
    echo "vector format bench: the two forms predict differently at $size"
done
