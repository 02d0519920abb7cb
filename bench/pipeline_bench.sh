#!/usr/bin/env bash
# Times every newsclass stage as its own process (wall seconds and peak memory from
# /usr/bin/time -v) on a real corpus, times the same job done with python3-jieba and
# python3-sklearn, and prints one table, both macro F1 figures and the segmentation figures.
# Both run pinned to one core. The peer's time is its whole process (interpreter start-up,
# reading the corpus and every step); its steps are also timed inside it for the rows. Not part of the tests.
#
# usage: bench/pipeline_bench.sh [CORPUS.tsv[.gz]] [--k K] [--count FEATURES] [--build DIR]
#   default corpus ../shared/corpora/fudan6.tsv.gz (skips with a message when absent)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus="$root/../shared/corpora/fudan6.tsv.gz"
k=10
count=1000
build="$root/build"
while [ $# -gt 0 ]; do
  case "$1" in
    --k) k=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --build) build=$(realpath "$2"); shift 2 ;;
    *) corpus=$1; shift ;;
  esac
done
if [ ! -f "$corpus" ]; then
  echo "pipeline bench skipped: corpus $corpus not found"
  exit 0
fi
newsclass="$build/newsclass"
[ -x "$newsclass" ] || "$root/scripts/setup.sh" "$build" >/dev/null
for tool in /usr/bin/time /usr/bin/python3 taskset; do
  command -v "$tool" >/dev/null || { echo "pipeline bench needs $tool (apt-get install time python3 util-linux)"; exit 1; }
done
/usr/bin/python3 -c 'import jieba, sklearn' 2>/dev/null ||
  { echo "pipeline bench needs python3-jieba and python3-sklearn (apt-get install python3-jieba python3-sklearn)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case "$corpus" in
  *.gz) zcat "$corpus" >"$work/corpus.tsv" ;;
  *) cp "$corpus" "$work/corpus.tsv" ;;
esac
cp "$root/sample/stopwords.txt" "$work/stopwords.txt"
: >"$work/dict.txt"  # no user words: both segmenters use the same lexicon alone

# Ranges and categories that fit the corpus.
read -r train test categories < <(awk -F'\t' '
  $1=="train"{tr++} $1=="test"{te++}
  ($1=="train"||$1=="test") && !($2 in seen){seen[$2]=1; order[++n]=$2}
  END{s=order[1]; for(i=2;i<=n;i++) s=s","order[i]; print tr, te, s}' "$work/corpus.tsv")

cd "$work"
pin=(taskset -c 0)
global=(--data-dir "$work/data" --train-range "1-$train" --test-range "1-$test"
        --categories "$categories" --console-encoding utf-8 -q)
declare -A seconds memory
run_stage() {  # name, then the command's arguments
  local name=$1; shift
  "${pin[@]}" /usr/bin/time -v -o "$work/time.txt" "$newsclass" "${global[@]}" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" || { echo "stage $name failed:"; tail -5 "$work/$name.err"; exit 1; }
  seconds[$name]=$(awk -F': ' '/Elapsed \(wall clock\)/{n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$work/time.txt")
  memory[$name]=$(awk -F': ' '/Maximum resident set size/{printf "%.0f", $2/1024}' "$work/time.txt")
}
run_stage import import --replace "$work/corpus.tsv"
run_stage dictionary build-dictionary
run_stage contingency build-contingency
run_stage select select-features --measure chi --count "$count"
run_stage vectors build-vectors
run_stage classify classify --k "$k"
run_stage evaluate evaluate --format csv
run_stage pipeline pipeline --measure chi --count "$count" --k "$k" --format csv
ours_f1=$(awk -F',' '$1=="macro" {print $6; exit}' "$work/evaluate.out")

OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 "${pin[@]}" /usr/bin/time -v -o "$work/peer-time.txt" \
  /usr/bin/python3 "$root/bench/peer_pipeline.py" "$work/corpus.tsv" "$work/stopwords.txt" "$k" "$count" \
  >"$work/peer.json" 2>"$work/peer.err" || { echo "peer pipeline failed:"; tail -5 "$work/peer.err"; exit 1; }
peer_memory=$(awk -F': ' '/Maximum resident set size/{printf "%.0f", $2/1024}' "$work/peer-time.txt")
peer_total=$(awk -F': ' '/Elapsed \(wall clock\)/{n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$work/peer-time.txt")

/usr/bin/python3 - "$work/peer.json" "$peer_total" "$peer_memory" "$ours_f1" <<PY
import json, sys
peer = json.load(open(sys.argv[1])); t = peer['times']
peer_total, peer_memory, ours_f1 = float(sys.argv[2]), sys.argv[3], sys.argv[4]
ours = {'import': ${seconds[import]}, 'dictionary': ${seconds[dictionary]},
        'contingency': ${seconds[contingency]}, 'select': ${seconds[select]},
        'vectors': ${seconds[vectors]}, 'classify': ${seconds[classify]}, 'evaluate': ${seconds[evaluate]}}
pipeline_seconds, pipeline_memory = ${seconds[pipeline]}, ${memory[pipeline]}
mem = {'import': ${memory[import]}, 'dictionary': ${memory[dictionary]},
       'contingency': ${memory[contingency]}, 'select': ${memory[select]},
       'vectors': ${memory[vectors]}, 'classify': ${memory[classify]}, 'evaluate': ${memory[evaluate]}}
rows = [
    ('import (database load)', ours['import'], None, mem['import']),
    ('build-dictionary  ~ jieba on training', ours['dictionary'], t['load lexicon'] + t['segment training'], mem['dictionary']),
    ('build-contingency ~ tf-idf fit', ours['contingency'], t['tf-idf training'], mem['contingency']),
    ('select-features   ~ SelectKBest chi2', ours['select'], t['chi2 selection'], mem['select']),
    ('build-vectors     ~ jieba on testing + transform', ours['vectors'], t['segment testing'] + t['tf-idf testing'], mem['vectors']),
    ('classify          ~ KNeighborsClassifier', ours['classify'], t['knn'], mem['classify']),
    ('evaluate          ~ f1_score', ours['evaluate'], t['evaluate'], mem['evaluate']),
]
print(f"{'stage':50} {'newsclass s':>12} {'peer s':>10} {'ratio':>8} {'peak MB':>9}")
for name, a, b, m in rows:
    ratio = f"{b / a:8.1f}" if b is not None and a > 0 else f"{'-':>8}"
    print(f"{name:50} {a:12.2f} {(b if b is not None else float('nan')):10.2f} {ratio} {m:9}")
ours_total = sum(v for k, v in ours.items() if k != 'import')
print(f"{'stages above, one process each (without import)':50} {ours_total:12.2f} {peer_total:10.2f} {peer_total / ours_total:8.1f} {max(mem.values()):9}")
print(f"{'newsclass pipeline, one process (database to report)':50} {pipeline_seconds:12.2f} {peer_total:10.2f} {peer_total / pipeline_seconds:8.1f} {pipeline_memory:9}")
print(f"peer peak memory: {peer_memory} MB")
print(f"macro F1: newsclass {float(ours_f1):.4f}, peer {peer['macro_f1']:.4f}"
      f"  ({peer['train']} training, {peer['test']} testing articles, K=${k}, ${count} features)")
PY
if [ -x "$root/bench/segment_bench.sh" ]; then
  echo
  "$root/bench/segment_bench.sh" || true
fi
