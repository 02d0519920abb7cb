#!/usr/bin/env bash
# Times the two vector stages on a real corpus: imports it into a temporary data folder, builds
# the dictionary, the contingency table and the chi-square keywords, then runs build-vectors
# and prints its timing lines, the tokeniser's summed per-article times (the segmenting share of
# the testing stage) and the vector file sizes, then the in-process timings of vsm_bench on the
# same files. Not a test.
#
# usage: bench/vsm_bench.sh [--build DIR] [--count FEATURES] [CORPUS.tsv[.gz]]
#   default corpus ../shared/corpora/fudan6.tsv.gz (skips with a message when absent),
#   default build folder build, default 1000 keywords
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus="$root/../shared/corpora/fudan6.tsv.gz"
build="$root/build"
count=1000
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    *) corpus=$1; shift ;;
  esac
done
if [ ! -f "$corpus" ]; then
  echo "vsm bench skipped: corpus $corpus not found"
  exit 0
fi
newsclass=$(realpath "$build/newsclass")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case "$corpus" in
  *.gz) gzip -dc "$corpus" >"$work/corpus.tsv" ;;
  *) cp "$corpus" "$work/corpus.tsv" ;;
esac
train=$(awk -F'\t' '$1 == "train"' "$work/corpus.tsv" | wc -l)
test=$(awk -F'\t' '$1 == "test"' "$work/corpus.tsv" | wc -l)
categories=$(awk -F'\t' '$1 == "train" { print $2 }' "$work/corpus.tsv" | sort -u | paste -sd,)
stopwords="$root/../shared/corpora/stopwords/hit_stopwords.txt"
[ -f "$stopwords" ] || stopwords="$root/sample/stopwords.txt"
options=(--data-dir "$work/data" --train-range "1-$train" --test-range "1-$test"
         --categories "$categories" --console-encoding utf-8 --stopwords "$stopwords"
         --user-dict "$work/no-user-words.txt")

echo "corpus $(basename "$corpus"): $train training and $test testing articles, $count keywords"
"$newsclass" "${options[@]}" import --replace "$work/corpus.tsv" >/dev/null
"$newsclass" "${options[@]}" -q build-dictionary >/dev/null
"$newsclass" "${options[@]}" build-contingency >/dev/null
"$newsclass" "${options[@]}" select-features --measure chi --count "$count" >/dev/null
echo "keywords in keywords.dat: $(LC_ALL=C awk '{ n += NF } END { print n }' "$work/data/keywords.dat")"

start=$(date +%s.%N)
"$newsclass" "${options[@]}" build-vectors >"$work/vectors.log"
end=$(date +%s.%N)
grep -v -e '^对篇章分词的时间为' -e '^$' -e '^导入' "$work/vectors.log"
awk -F'为' '/^对篇章分词的时间为/ { sum += $NF; n++ }
            END { printf "tokenizeArticle, summed over %d testing articles: %.3f s\n", n, sum }' \
  "$work/vectors.log"
echo "build-vectors process, wall: $(awk "BEGIN { print $end - $start }") s"
echo "trainingVSM.dat: $(($(wc -l <"$work/data/trainingVSM.dat") / 3)) vectors," \
     "$(du -h "$work/data/trainingVSM.dat" | cut -f1);" \
     "testingVSM.dat: $(du -h "$work/data/testingVSM.dat" | cut -f1)"
if [ -x "$build/bench/vsm_bench" ]; then
  echo "in process (bench/vsm_bench.cc):"
  "$build/bench/vsm_bench" --train-range "1-$train" "$work/data"
fi
