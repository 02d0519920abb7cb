#!/usr/bin/env bash
# predict's cold-start latency and throughput on real headlines. Imports
# ../shared/corpora/thucnews-titles.tsv.gz (skipped cleanly when absent), builds the model of the
# first 6,000 training headlines, then times:
#   - one headline, the whole process on one core (--threads 1, taskset), best and median of
#     several runs after a first run that fills the caches (lexicon and training vectors);
#   - the 10,000 testing headlines from a file, with all cores, as headlines per second;
# and how many of predict's labels differ from those classify wrote for the same headlines; for
# the KNN model (chi, 1,000 features) and the linear one (all words).
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
common=(--train-range 1-6000 --test-range "1-$testing" --categories "$categories" -q
        --console-encoding utf-8)
"$newsclass" --data-dir base "${common[@]}" import corpus.tsv >/dev/null
common+=(--data-dir data)

latency() {  # prints the wall seconds of one run of predict on one headline
  local start end
  start=$(date +%s.%N)
  taskset -c 0 "$newsclass" "${common[@]}" --threads 1 predict one.txt >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

measure() {  # label, then the pipeline options that build the model
  local label=$1 start end seconds best median differ
  shift
  rm -rf data
  mkdir -p data
  cp base/corpus.db data/
  "$newsclass" "${common[@]}" pipeline --measure chi "$@" >/dev/null
  latency >/dev/null  # fills the caches
  local times=()
  for _ in $(seq "$runs"); do times+=("$(latency)"); done
  best=$(printf '%s\n' "${times[@]}" | sort -n | head -n 1)
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
  printf '%-6s cold start, one headline, one core (6,000 training headlines): best %.3f s, median %.3f s\n' \
    "$label" "$best" "$median"
  start=$(date +%s.%N)
  "$newsclass" "${common[@]}" predict testing.txt >labels.txt 2>/dev/null
  end=$(date +%s.%N)
  seconds=$(echo "$end - $start" | bc -l)
  printf '%-6s throughput, %d headlines from a file, %d threads: %.3f s, %.0f headlines/s\n' \
    "$label" "$testing" "$(nproc)" "$seconds" "$(echo "$testing / $seconds" | bc -l)"
  differ=$(paste -d' ' <(cut -d' ' -f2 data/predictions.dat) labels.txt | awk '$1!=$2{d++} END{print d+0}')
  printf '%-6s labels that differ from classify'"'"'s predictions.dat: %d of %d\n' "$label" "$differ" "$testing"
}

measure knn --count 1000 --k 10
measure linear --count 0 --classifier linear
