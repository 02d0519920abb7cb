#!/usr/bin/env bash
# Times every newsclass stage as its own process (wall seconds and peak memory from
# /usr/bin/time -v) and the whole pipeline in one process, on real corpora, beside the same job
# done with python3-jieba and python3-sklearn in the same run. newsclass runs twice per corpus:
# pinned to one core with --threads 1, and with its default (every core). The peer runs pinned to
# one core (its KNN has no threads of its own here). Prints one table per corpus and run, then a
# summary. Not part of the tests.
#
# usage: bench/pipeline_bench.sh [CORPUS.tsv[.gz] ...] [--k K] [--count FEATURES] [--build DIR]
#   default corpora: ../shared/corpora/fudan6.tsv.gz (long articles) and
#   ../shared/corpora/thucnews-titles.tsv.gz (short headlines); an absent corpus is skipped
#   with a message.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpora=()
k=10
count=1000
build="$root/build"
while [ $# -gt 0 ]; do
  case "$1" in
    --k) k=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --build) build=$(realpath "$2"); shift 2 ;;
    *) corpora+=("$1"); shift ;;
  esac
done
if [ ${#corpora[@]} -eq 0 ]; then
  corpora=("$root/../shared/corpora/fudan6.tsv.gz" "$root/../shared/corpora/thucnews-titles.tsv.gz")
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
summary="$work/summary.txt"
: >"$summary"
cores=$(nproc)
echo "machine: $(lscpu | awk -F': +' '/Model name/{print $2; exit}'), $cores cores, $(free -g | awk '/Mem:/{print $2}') GB"

seconds_of() { awk -F': ' '/Elapsed \(wall clock\)/{n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$1"; }
memory_of() { awk -F': ' '/Maximum resident set size/{printf "%.0f", $2/1024}' "$1"; }

bench_corpus() {
  local corpus=$1 name dir
  name=$(basename "$corpus"); name=${name%%.*}
  if [ ! -f "$corpus" ]; then
    echo "pipeline bench: corpus $corpus not found, skipped"
    return 0
  fi
  dir="$work/$name"
  mkdir -p "$dir"
  case "$corpus" in
    *.gz) zcat "$corpus" >"$dir/corpus.tsv" ;;
    *) cp "$corpus" "$dir/corpus.tsv" ;;
  esac
  cp "$root/sample/stopwords.txt" "$dir/stopwords.txt"
  : >"$dir/dict.txt"  # no user words: both segmenters use the same lexicon alone
  # Ranges and categories that fit the corpus.
  local train test categories
  read -r train test categories < <(awk -F'\t' '
    $1=="train"{tr++} $1=="test"{te++}
    ($1=="train"||$1=="test") && !($2 in seen){seen[$2]=1; order[++n]=$2}
    END{s=order[1]; for(i=2;i<=n;i++) s=s","order[i]; print tr, te, s}' "$dir/corpus.tsv")

  (cd "$dir" && OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 taskset -c 0 /usr/bin/time -v -o "$dir/peer-time.txt" \
    /usr/bin/python3 "$root/bench/peer_pipeline.py" "$dir/corpus.tsv" "$dir/stopwords.txt" "$k" "$count" \
    >"$dir/peer.json" 2>"$dir/peer.err") || { echo "peer pipeline failed:"; tail -5 "$dir/peer.err"; exit 1; }
  local peer_total peer_memory
  peer_total=$(seconds_of "$dir/peer-time.txt")
  peer_memory=$(memory_of "$dir/peer-time.txt")

  local threads
  for threads in 1 "$cores"; do
    local pin=() data="$dir/data-$threads"
    [ "$threads" = 1 ] && pin=(taskset -c 0)
    local global=(--data-dir "$data" --train-range "1-$train" --test-range "1-$test"
                  --categories "$categories" --console-encoding utf-8 -q --threads "$threads")
    declare -A seconds memory
    run_stage() {  # name, then the command's arguments
      local stage=$1; shift
      (cd "$dir" && "${pin[@]}" /usr/bin/time -v -o "$dir/time.txt" "$newsclass" "${global[@]}" "$@" \
        >"$dir/$stage.out" 2>"$dir/$stage.err") || { echo "stage $stage failed:"; tail -5 "$dir/$stage.err"; exit 1; }
      seconds[$stage]=$(seconds_of "$dir/time.txt")
      memory[$stage]=$(memory_of "$dir/time.txt")
    }
    run_stage import import --replace "$dir/corpus.tsv"
    run_stage dictionary build-dictionary
    run_stage contingency build-contingency
    run_stage select select-features --measure chi --count "$count"
    run_stage vectors build-vectors
    run_stage classify classify --k "$k"
    run_stage evaluate evaluate --format csv
    # The pipeline writes into a fresh data folder holding only the corpus database, as a first
    # run does: replacing the big vector files the stages just wrote would also time the file
    # system flushing them (ext4 writes a file's data out when a rename replaces another file).
    mkdir -p "$data-pipeline"
    cp "$data/corpus.db" "$data-pipeline/"
    global[1]="$data-pipeline"
    run_stage pipeline pipeline --measure chi --count "$count" --k "$k" --format csv
    global[1]="$data"
    local ours_f1
    ours_f1=$(awk -F',' '$1=="macro" {print $6; exit}' "$dir/evaluate.out")
    echo
    echo "== $name, newsclass --threads $threads$([ "$threads" = 1 ] && echo ' (one core)'), peer on one core =="
    /usr/bin/python3 - "$dir/peer.json" "$peer_total" "$peer_memory" "$ours_f1" "$name" "$threads" "$summary" <<PY
import json, sys
peer = json.load(open(sys.argv[1])); t = peer['times']
peer_total, peer_memory, ours_f1 = float(sys.argv[2]), sys.argv[3], sys.argv[4]
name, threads, summary = sys.argv[5], sys.argv[6], sys.argv[7]
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
for stage, a, b, m in rows:
    ratio = f"{b / a:8.1f}" if b is not None and a > 0 else f"{'-':>8}"
    print(f"{stage:50} {a:12.2f} {(b if b is not None else float('nan')):10.2f} {ratio} {m:9}")
ours_total = sum(v for key, v in ours.items() if key != 'import')
print(f"{'stages above, one process each (without import)':50} {ours_total:12.2f} {peer_total:10.2f} {peer_total / ours_total:8.1f} {max(mem.values()):9}")
print(f"{'newsclass pipeline, one process (database to report)':50} {pipeline_seconds:12.2f} {peer_total:10.2f} {peer_total / max(pipeline_seconds, 0.01):8.1f} {pipeline_memory:9}")
print(f"peer peak memory: {peer_memory} MB")
print(f"macro F1: newsclass {float(ours_f1):.4f}, peer {peer['macro_f1']:.4f}"
      f"  ({peer['train']} training, {peer['test']} testing articles, K=${k}, ${count} features)")
with open(summary, 'a') as out:
    out.write(f"| {name} | {peer['train']:,} / {peer['test']:,} | {threads} | {pipeline_seconds:.2f} s | "
              f"{peer_total:.2f} s | {peer_total / max(pipeline_seconds, 0.01):.1f}x | "
              f"{pipeline_memory} MB | {peer_memory} MB | {float(ours_f1):.3f} / {peer['macro_f1']:.3f} |\n")
PY
    unset seconds memory
  done
}

for corpus in "${corpora[@]}"; do bench_corpus "$corpus"; done
if [ -s "$summary" ]; then
  echo
  echo "| corpus | training / testing | newsclass threads | newsclass pipeline | peer (one core) | peer / newsclass | newsclass peak | peer peak | macro F1 newsclass / peer |"
  echo "|---|---|---|---|---|---|---|---|---|"
  cat "$summary"
fi
