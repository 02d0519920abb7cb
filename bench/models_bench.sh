#!/usr/bin/env bash
# Macro F1 and time of each classifier and weighting, beside jieba + scikit-learn's KNN, LinearSVC
# (words, character 1-2-grams, both), logistic regression and ComplementNB, and fastText, measured
# in the same run, on fudan6 (long articles) and thucnews-titles (short headlines) from
# ../shared/corpora (an absent corpus is skipped with a message). Every newsclass row is a whole
# `pipeline` run (database to report, default threads) in a fresh data folder; every peer row a
# whole peer_pipeline.py run on one core. Without python3-fasttext the fastText row is skipped.
# Two corpora are derived for checks of what generalises: fudan6-titles (the titles of fudan6's
# articles, a second short-text corpus; its environment category has no titled training
# article and is left out) and thucnews-unbalanced (thucnews-titles with 90% of the finance and
# realty training headlines dropped, for the class weights). Not part of the tests.
#
# usage: bench/models_bench.sh [CORPUS.tsv[.gz] ...] [--build DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpora=()
build="$root/build"
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath "$2"); shift 2 ;;
    *) corpora+=("$1"); shift ;;
  esac
done
derived=$(mktemp -d)
if [ ${#corpora[@]} -eq 0 ]; then
  shared="$root/../shared/corpora"
  corpora=("$shared/fudan6.tsv.gz" "$shared/thucnews-titles.tsv.gz")
  if [ -f "$shared/fudan6.tsv.gz" ]; then
    zcat "$shared/fudan6.tsv.gz" |
      awk -F'\t' 'BEGIN{OFS="\t"} $3!="" && $2!="environment"{print $1,$2,"",$3}' >"$derived/fudan6-titles.tsv"
    corpora+=("$derived/fudan6-titles.tsv")
  fi
  if [ -f "$shared/thucnews-titles.tsv.gz" ]; then
    zcat "$shared/thucnews-titles.tsv.gz" |
      awk -F'\t' '$1=="train" && ($2=="finance"||$2=="realty") {n[$2]++; if (n[$2]%10!=1) next} {print}' \
        >"$derived/thucnews-unbalanced.tsv"
    corpora+=("$derived/thucnews-unbalanced.tsv")
  fi
fi
newsclass="$build/newsclass"
[ -x "$newsclass" ] || "$root/scripts/setup.sh" "$build" >/dev/null
/usr/bin/python3 -c 'import jieba, sklearn' 2>/dev/null ||
  { echo "models bench needs python3-jieba and python3-sklearn, and python3-fasttext for the fastText row" \
         "(apt-get install python3-jieba python3-sklearn python3-fasttext)"; exit 1; }
fasttext=yes
/usr/bin/python3 -c 'import fasttext' 2>/dev/null ||
  { fasttext=no; echo "models bench: no python3-fasttext (apt-get install python3-fasttext), the fastText row is skipped"; }
work=$(mktemp -d)
trap 'rm -rf "$work" "$derived"' EXIT
echo "machine: $(lscpu | awk -F': +' '/Model name/{print $2; exit}'), $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GB"
seconds_of() { awk -F': ' '/Elapsed \(wall clock\)/{n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$1"; }

for corpus in "${corpora[@]}"; do
  name=$(basename "$corpus"); name=${name%%.*}
  # The unbalanced copy is there for the class weights: its newsclass rows only.
  unbalanced_only=no
  case "$name" in *-unbalanced) unbalanced_only=yes ;; esac
  if [ ! -f "$corpus" ]; then
    echo "models bench: corpus $corpus not found, skipped"
    continue
  fi
  dir="$work/$name"
  mkdir -p "$dir"
  case "$corpus" in
    *.gz) zcat "$corpus" >"$dir/corpus.tsv" ;;
    *) cp "$corpus" "$dir/corpus.tsv" ;;
  esac
  cp "$root/sample/stopwords.txt" "$dir/stopwords.txt"
  : >"$dir/dict.txt"
  read -r train test categories < <(awk -F'\t' '
    $1=="train"{tr++} $1=="test"{te++}
    ($1=="train"||$1=="test") && !($2 in seen){seen[$2]=1; order[++n]=$2}
    END{s=order[1]; for(i=2;i<=n;i++) s=s","order[i]; print tr, te, s}' "$dir/corpus.tsv")
  global=(--train-range "1-$train" --test-range "1-$test" --categories "$categories" -q
          --console-encoding utf-8)
  (cd "$dir" && "$newsclass" --data-dir base "${global[@]}" import corpus.tsv >/dev/null)
  echo
  echo "== $name ($train training, $test testing articles) =="
  printf '%-80s %9s %9s\n' "classifier" "macro F1" "seconds"
  row() {  # label, then pipeline options; ROW_PREFIX (e.g. taskset) and ROW_GLOBAL apply when set
    local label=$1; shift
    rm -rf "$dir/run"; mkdir -p "$dir/run"; cp "$dir/base/corpus.db" "$dir/run/"
    (cd "$dir" && ${ROW_PREFIX:-} /usr/bin/time -v -o time.txt "$newsclass" --data-dir run "${global[@]}" \
      ${ROW_GLOBAL:-} pipeline --format json "$@" >run.json 2>run.err) || { echo "$label failed:"; tail -3 "$dir/run.err"; return; }
    printf '%-80s %9.4f %9.2f\n' "newsclass $label" \
      "$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["macro"]["f1"])' "$dir/run.json")" \
      "$(seconds_of "$dir/time.txt")"
  }
  peer() {  # label, classifier
    (cd "$dir" && OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 taskset -c 0 /usr/bin/time -v -o time.txt \
      /usr/bin/python3 "$root/bench/peer_pipeline.py" corpus.tsv stopwords.txt 10 1000 "$2" >peer.json 2>peer.err) ||
      { echo "peer $1 failed:"; tail -3 "$dir/peer.err"; return; }
    printf '%-80s %9.4f %9.2f\n' "jieba + $1" \
      "$(/usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["macro_f1"])' "$dir/peer.json")" \
      "$(seconds_of "$dir/time.txt")"
  }
  row "knn, spec weighting, count vote (chi 1000, K 10)" --measure chi --count 1000 --k 10
  row "knn, tfidf weighting, similarity vote (chi 1000, K 10)" --measure chi --count 1000 --k 10 \
    --weighting tfidf --vote similarity
  row "knn, tfidf weighting, similarity vote (chi 10000, K 10)" --measure chi --count 10000 --k 10 \
    --weighting tfidf --vote similarity
  row "linear, C 1 (chi 1000)" --measure chi --count 1000 --classifier linear
  row "linear, C 1 (chi 10000)" --measure chi --count 10000 --classifier linear
  row "linear, C 1 (all words)" --measure chi --count 0 --classifier linear
  row "linear, C 1, characters (all terms)" --count 0 --classifier linear --terms chars
  row "linear, C 1, words + characters (all terms)" --count 0 --classifier linear --terms words+chars
  row "linear, C 2, words + characters (all terms)" --count 0 --classifier linear --terms words+chars --c 2
  row "logistic, C 10, words + characters (all terms)" --count 0 --classifier logistic \
    --terms words+chars --c 10
  row "linear, C 1, words + characters, balanced class weights" --count 0 --classifier linear \
    --terms words+chars --class-weight balanced
  row "logistic, C 10, words + characters, balanced class weights" --count 0 --classifier logistic \
    --terms words+chars --c 10 --class-weight balanced
  row "linear, C 1, words + characters, neighbour blend 0.5 of K 10 (headlines)" --count 0 \
    --classifier linear --terms words+chars --knn-weight 0.5 --k 10
  ROW_PREFIX="taskset -c 0" ROW_GLOBAL="--threads 1" \
    row "the same, one thread on one core" --count 0 --classifier linear --terms words+chars \
    --knn-weight 0.5 --k 10
  if [ "${unbalanced_only:-}" = yes ]; then continue; fi
  peer "scikit-learn KNN (cosine, K 10, chi2 1000)" knn
  peer "scikit-learn LinearSVC (all words)" linearsvc
  peer "scikit-learn LinearSVC, character 1-2-grams (tf-idf, sublinear)" linearsvc-chars
  peer "scikit-learn LinearSVC, words + character 1-2-grams (tf-idf, sublinear)" linearsvc-words-chars
  peer "scikit-learn logistic (C 10), words + character 1-2-grams" logistic-words-chars
  peer "scikit-learn ComplementNB, words + character 1-2-grams" complementnb-words-chars
  if [ "$fasttext" = yes ]; then
    peer "fastText (words, 2-grams, character 1-2-grams)" fasttext-chars
  else
    echo "jieba + fastText row skipped: no python3-fasttext"
  fi
done
