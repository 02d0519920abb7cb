#!/usr/bin/env bash
# predict's cold-start latency and throughput on real headlines. Imports
# ../shared/corpora/thucnews-titles.tsv.gz (skipped cleanly when absent), builds the model of the
# first 6,000 training headlines (chi, 1,000 features), then times:
#   - one headline, the whole process on one core (--threads 1, taskset), best and median of
#     several runs after a first run that fills the caches (lexicon and training vectors);
#   - the 10,000 testing headlines from a file, with all cores, as headlines per second;
# and how many of predict's labels differ from those classify wrote for the same headlines.
# Not part of the tests.
#
# usage: bench/predict_bench.sh [CORPUS.tsv[.gz]] [--build DIR] [--runs N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus="$root/../shared/corpora/thucnews-titles.tsv.gz"
build="$root/build"
runs=9
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath "$2"); shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) corpus=$1; shift ;;
  esac
done
if [ ! -f "$corpus" ]; then
  echo "predict bench: corpus $corpus not found, skipped"
  exit 0
fi
newsclass="$build/newsclass"
[ -x "$newsclass" ] || "$root/scripts/setup.sh" "$build" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
case "$corpus" in
  *.gz) zcat "$corpus" >corpus.tsv ;;
  *) cp "$corpus" corpus.tsv ;;
esac
cp "$root/sample/stopwords.txt" stopwords.txt
: >dict.txt
export XDG_CACHE_HOME=$work/cache
categories=$(awk -F'\t' '($1=="train"||$1=="test") && !($2 in s){s[$2]=1; o=o (o?",":"") $2} END{print o}' corpus.tsv)
awk -F'\t' '$1=="test"{print ($4 != "" ? $4 : $3)}' corpus.tsv >testing.txt
head -n 1 testing.txt >one.txt
testing=$(wc -l <testing.txt)
echo "machine: $(lscpu | awk -F': +' '/Model name/{print $2; exit}'), $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GB"
common=(--data-dir data --train-range 1-6000 --test-range "1-$testing" --categories "$categories" -q
        --console-encoding utf-8)
"$newsclass" "${common[@]}" import corpus.tsv >/dev/null
"$newsclass" "${common[@]}" pipeline --measure chi --count 1000 --k 10 >/dev/null

latency() {  # prints the wall seconds of one run
  local start end
  start=$(date +%s.%N)
  taskset -c 0 "$newsclass" "${common[@]}" --threads 1 predict "$@" one.txt >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
latency >/dev/null  # fills the caches
times=()
for _ in $(seq "$runs"); do times+=("$(latency)"); done
sorted=$(printf '%s\n' "${times[@]}" | sort -n)
best=$(echo "$sorted" | head -n 1)
median=$(echo "$sorted" | sed -n "$(((runs + 1) / 2))p")
printf 'knn  cold start, one headline, one core (6,000 training headlines): best %.3f s, median %.3f s\n' "$best" "$median"

start=$(date +%s.%N)
"$newsclass" "${common[@]}" predict testing.txt >labels.txt 2>/dev/null
end=$(date +%s.%N)
seconds=$(echo "$end - $start" | bc -l)
printf 'knn  throughput, %d headlines from a file, %d threads: %.3f s, %.0f headlines/s\n' \
  "$testing" "$(nproc)" "$seconds" "$(echo "$testing / $seconds" | bc -l)"
differ=$(paste -d' ' <(cut -d' ' -f2 data/predictions.dat) labels.txt | awk '$1!=$2{d++} END{print d+0}')
echo "knn  labels that differ from classify's predictions.dat: $differ of $testing"
