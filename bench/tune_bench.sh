#!/usr/bin/env bash
# tune against scikit-learn's GridSearchCV with the same grid (linear and logistic x C 0.5, 1 x
# words, words + characters x every term, 10,000 terms: 16 settings, 5 folds) on thucnews-titles
# from ../shared/corpora (skipped with a message when absent), timed in the same run: newsclass
# with its default threads and with one thread on one core, the peer on one core. Then the
# setting tune picks is run by pipeline on the testing range; then a grid that tunes the
# neighbour blend too, timed, with its pick on the testing range. Not part of the tests.
#
# usage: bench/tune_bench.sh [CORPUS.tsv[.gz]] [--build DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus="$root/../shared/corpora/thucnews-titles.tsv.gz"
build="$root/build"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath "$2"); shift 2 ;;
    *) corpus=$1; shift ;;
  esac
done
if [ ! -f "$corpus" ]; then
  echo "tune bench: corpus $corpus not found, skipped"
  exit 0
fi
newsclass="$build/newsclass"
[ -x "$newsclass" ] || "$root/scripts/setup.sh" "$build" >/dev/null
/usr/bin/python3 -c 'import jieba, sklearn' 2>/dev/null ||
  { echo "tune bench needs python3-jieba and python3-sklearn (apt-get install python3-jieba python3-sklearn)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "machine: $(lscpu | awk -F': +' '/Model name/{print $2; exit}'), $(nproc) cores"
case "$corpus" in
  *.gz) zcat "$corpus" >"$work/corpus.tsv" ;;
  *) cp "$corpus" "$work/corpus.tsv" ;;
esac
cp "$root/sample/stopwords.txt" "$work/stopwords.txt"
: >"$work/dict.txt"
read -r train test categories < <(awk -F'\t' '
  $1=="train"{tr++} $1=="test"{te++}
  ($1=="train"||$1=="test") && !($2 in seen){seen[$2]=1; order[++n]=$2}
  END{s=order[1]; for(i=2;i<=n;i++) s=s","order[i]; print tr, te, s}' "$work/corpus.tsv")
global=(--train-range "1-$train" --test-range "1-$test" --categories "$categories" -q
        --console-encoding utf-8)
cd "$work"
"$newsclass" --data-dir data "${global[@]}" import corpus.tsv >/dev/null
grid="classifier=linear,logistic;c=0.5,1;terms=words,words+chars;count=0,10000"
now() { date +%s.%N; }

echo
echo "== $(basename "$corpus") ($train training articles; 16 settings, 5 folds) =="
start=$(now)
"$newsclass" --data-dir data "${global[@]}" tune --grid "$grid" >tune.txt 2>tune.err
t_all=$(echo "$(now) - $start" | bc)
start=$(now)
taskset -c 0 "$newsclass" --data-dir data "${global[@]}" --threads 1 tune --grid "$grid" >tune1.txt 2>tune1.err
t_one=$(echo "$(now) - $start" | bc)
# The table does not depend on the threads (the seconds column aside).
if [ "$(sed -E 's/  +[0-9]+\.[0-9]{2}  /  #  /' tune.txt)" != "$(sed -E 's/  +[0-9]+\.[0-9]{2}  /  #  /' tune1.txt)" ]; then
  echo "tune bench: the one-thread table differs from the all-cores table"
fi
printf '%-48s %8.1f s\n' "newsclass tune (all cores)" "$t_all" "newsclass tune (one thread, one core)" "$t_one"
OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 taskset -c 0 /usr/bin/python3 "$root/bench/peer_tune.py" corpus.tsv stopwords.txt >peer.json 2>peer.err ||
  { echo "peer failed:"; tail -3 peer.err; }
if [ -s peer.json ]; then
  peer=$(/usr/bin/python3 -c 'import json,sys; print(round(json.load(open(sys.argv[1]))["seconds"], 1))' peer.json)
  printf '%-48s %8.1f s   (%.1fx newsclass on all cores)\n' "jieba + scikit-learn GridSearchCV (one core)" "$peer" \
    "$(echo "$peer / $t_all" | bc -l)"
  echo "peer's best: $(cat peer.json)"
fi
echo
sed -n '1,6p' tune.txt
best=$(sed -n 's/^best: newsclass //p' tune.txt)
echo "tune's pick on the testing range: $best"
# shellcheck disable=SC2086
"$newsclass" --data-dir data -q --console-encoding utf-8 $best --format json >pick.json 2>/dev/null
/usr/bin/python3 -c 'import json,sys; print("macro F1 %.4f" % json.load(open(sys.argv[1]))["macro"]["f1"])' pick.json

# The neighbour blend tuned as well: C x blend weight x K over words + characters (24 settings,
# the four without a blend scored once each), and its pick on the testing range.
blend="classifier=linear;c=0.5,1,2;terms=words+chars;count=0;knn_weight=0,0.25,0.5,1;k=10,20"
echo
echo "== the same corpus, the neighbour blend tuned too (24 settings, 5 folds) =="
start=$(now)
"$newsclass" --data-dir data "${global[@]}" tune --grid "$blend" >blend.txt 2>blend.err
printf '%-48s %8.1f s\n' "newsclass tune (all cores)" "$(echo "$(now) - $start" | bc)"
sed -n '1,5p' blend.txt
best=$(sed -n 's/^best: newsclass //p' blend.txt)
echo "tune's pick on the testing range: $best"
# shellcheck disable=SC2086
"$newsclass" --data-dir data -q --console-encoding utf-8 $best --format json >blend-pick.json 2>/dev/null
/usr/bin/python3 -c 'import json,sys; print("macro F1 %.4f" % json.load(open(sys.argv[1]))["macro"]["f1"])' blend-pick.json
