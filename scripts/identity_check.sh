#!/usr/bin/env bash
# Pins what a newsclass binary produces, so that a change meant to move code without changing
# behaviour can be checked byte for byte: two binaries that write the same OUTPUT produced the
# same files, reports and console lines.
#
#   scripts/identity_check.sh BINARY OUTPUT [CORPORA-DIR]
#
# Runs a fixed set of commands and options on the sample corpus (sample/corpus.tsv, always) and
# on fudan6.tsv.gz and thucnews-titles.tsv.gz from CORPORA-DIR (default ../shared/corpora beside
# the source folder) when they are there; an absent corpus costs one line on standard error.
# OUTPUT gets one line per artefact, "LABEL  VALUE", in a fixed order: the sha256 of every data
# file after each stage, of every report format, of standard output and standard error of every
# command, and each command's exit code. Nothing else in the output depends on the run:
#   - timings in console lines (a number ending a line after a GBK or UTF-8 character, and
#     "N.NN s") become <T>;
#   - the work folder's path becomes <WORK>;
#   - model.json's modification times (the middle field of "<size> <mtime> <xxh3>") and its
#     "imported" time become <MTIME>; the HTML report's date becomes <DATE>;
#   - corpus.db is pinned by the SQL text of its rows (python3's sqlite3 dump), not its pages.
# Every run has its own caches (lexicon and training vectors), LC_ALL=C.UTF-8 and TZ=UTC. Exit
# code 0 when every corpus it found was run; a command failing is recorded, not fatal.
set -euo pipefail

if [[ $# -lt 2 || $# -gt 3 ]]; then
  echo "usage: $0 BINARY OUTPUT [CORPORA-DIR]" >&2
  exit 1
fi
bin=$(realpath -- "$1")
output=$(realpath -- "$2")
src=$(realpath -- "$(dirname -- "$0")/..")
corpora=${3:-$src/../shared/corpora}
[[ -x $bin ]] || { echo "$0: $1: not an executable file" >&2; exit 1; }
command -v python3 > /dev/null || { echo "$0: python3 is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/newsclass-identity.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
export LC_ALL=C.UTF-8 TZ=UTC XDG_CACHE_HOME=$work/cache
unset NEWSCLASS_LEXICON_CACHE NEWSCLASS_VECTOR_CACHE NEWSCLASS_DB
: > "$output"

# The data files a data folder may hold, in the order they are pinned.
data_files=(dict.dat contingency.dat keywords.dat trainingVSM.dat testingVSM.dat predictions.dat
            linear.model)

record() { printf '%s  %s\n' "$1" "$2" >> "$output"; }
sha() { sha256sum | cut -d' ' -f1; }

# Console text without what differs between two runs of the same binary.
mask_console() {
  LC_ALL=C sed -E -e "s#$work#<WORK>#g" \
    -e 's/([\x80-\xff])[0-9]+(\.[0-9]+)?(e-?[0-9]+)?$/\1<T>/' \
    -e 's/\b[0-9]+\.[0-9]+ s\b/<T> s/g'
}
mask_model_json() {
  LC_ALL=C sed -E -e "s#$work#<WORK>#g" \
    -e 's/": "([0-9]+) [0-9]+ ([0-9a-f]{16})/": "\1 <MTIME> \2/' \
    -e 's/^( *"imported": ")[^"]*"/\1<MTIME>"/'
}
mask_html() {
  LC_ALL=C sed -E -e "s#$work#<WORK>#g" -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}/<DATE>/g'
}

# pin_file LABEL PATH: the sha256 of a file as it is, or "absent".
pin_file() {
  if [[ -f $2 ]]; then record "$1" "$(sha < "$2")"; else record "$1" absent; fi
}

# pin_folder LABEL DIR: every data file of a data folder, model.json masked, corpus.db's rows.
pin_folder() {
  local label=$1 dir=$2 name
  for name in "${data_files[@]}"; do pin_file "$label/$name" "$dir/$name"; done
  if [[ -f $dir/model.json ]]; then
    record "$label/model.json" "$(mask_model_json < "$dir/model.json" | sha)"
  else
    record "$label/model.json" absent
  fi
}
pin_database() {
  record "$1/corpus.db" "$(python3 -c '
import sqlite3, sys
for line in sqlite3.connect(sys.argv[1]).iterdump(): print(line)' "$2" | sha)"
}

# run LABEL [--stdin FILE] [--html] ARG...: runs the binary with the corpus's global options
# and ARG... from the corpus's folder; records its masked standard output (or, with --html, the
# report with its date masked), standard error and exit code.
run() {
  local label=$1 input=/dev/null html=0 rc=0
  shift
  [[ ${1-} == --stdin ]] && { input=$2; shift 2; }
  [[ ${1-} == --html ]] && { html=1; shift; }
  (cd "$cwd" && "$bin" "${global[@]}" "$@" < "$input" > "$work/out" 2> "$work/err") || rc=$?
  if ((html)); then
    record "$label/stdout" "$(mask_html < "$work/out" | sha)"
  else
    record "$label/stdout" "$(mask_console < "$work/out" | sha)"
  fi
  record "$label/stderr" "$(mask_console < "$work/err" | sha)"
  record "$label/exit" "$rc"
}

# Every report format of the folder's current predictions.
evaluate_all() {
  local label=$1 format
  for format in text csv json; do run "$label/evaluate-$format" evaluate --format "$format"; done
  run "$label/evaluate-html" --html evaluate --format html
}

# Inputs for segment and predict: the first testing texts of the corpus (UTF-8), an empty
# line, a line of no keyword, and the same texts as "id<TAB>text" and in GBK.
make_inputs() {
  local tsv=$1 lines=$2
  awk -F'\t' -v n="$lines" '$1=="test" && c<n {print $4; c++}' "$tsv" > "$cwd/lines.txt"
  printf '\n%s\n' 'abc xyz 123' >> "$cwd/lines.txt"
  awk '{printf "t%d\t%s\n", NR, $0}' "$cwd/lines.txt" > "$cwd/ids.tsv"
  iconv -f UTF-8 -t GBK//TRANSLIT < "$cwd/lines.txt" > "$cwd/lines.gbk" 2> /dev/null || true
  head -n 2 "$cwd/lines.txt" > "$cwd/two.txt"
}

# Everything predict answers with the folder's current model.
predict_all() {
  local label=$1 format
  for format in text tsv jsonl; do run "$label/predict-$format" predict --format "$format" lines.txt; done
  run "$label/predict-tsv-ids" predict --tsv --format tsv ids.tsv
  run "$label/predict-files" predict --format jsonl lines.txt two.txt
  run "$label/predict-stdin-gbk" --stdin "$cwd/lines.gbk" predict --format tsv
}

# Categories of a TSV corpus in the order they first appear, and its split sizes.
corpus_shape() {
  awk -F'\t' '$1=="train"{tr++} $1=="test"{te++}
    ($1=="train"||$1=="test") && !($2 in seen){seen[$2]=1; order[++n]=$2}
    END{s=order[1]; for(i=2;i<=n;i++) s=s","order[i]; print tr, te, s}' "$1"
}

# ---------------------------------------------------------------------------------------------
# The sample corpus: every command and the main options.
sample_corpus() {
  cwd=$work/sample
  mkdir -p "$cwd"
  cp "$src/sample/corpus.tsv" "$src/sample/stopwords.txt" "$src/sample/dict.txt" "$cwd/"
  make_inputs "$cwd/corpus.tsv" 5
  local d=$cwd/data p=sample command
  global=(--data-dir "$d" --train-range 1-120 --test-range 1-30 --console-encoding utf-8)

  run $p/help --help
  for command in import show segment build-dictionary print-dictionary build-contingency \
      select-features build-vectors classify evaluate pipeline predict; do
    run "$p/help-$command" "$command" --help
  done
  run $p/evaluate-no-folder evaluate
  run $p/import import corpus.tsv
  pin_database $p/import "$d/corpus.db"
  run $p/import-again import corpus.tsv
  run $p/import-replace import --replace corpus.tsv
  pin_database $p/import-replace "$d/corpus.db"
  run $p/show show 3
  run $p/show-testing show 2 --table TestingCorpus
  run $p/show-missing show 9999
  run $p/segment segment lines.txt
  run $p/segment-tokenize segment --tokenize lines.txt
  run $p/segment-stdin --stdin "$cwd/lines.gbk" segment

  run $p/build-dictionary build-dictionary
  pin_folder $p/build-dictionary "$d"
  run $p/print-dictionary print-dictionary
  run $p/build-contingency build-contingency
  pin_folder $p/build-contingency "$d"
  local measure
  for measure in chi ig mi cf df; do
    run "$p/select-$measure" select-features --measure "$measure" --count 1000 \
      --scores "$cwd/scores-$measure.txt"
    pin_file "$p/select-$measure/keywords.dat" "$d/keywords.dat"
    pin_file "$p/select-$measure/scores" "$cwd/scores-$measure.txt"
  done
  # df has no per-category scores: --scores is refused, the selection itself is not.
  run $p/select-df-plain select-features --measure df --count 1000
  pin_file $p/select-df-plain/keywords.dat "$d/keywords.dat"
  run $p/select-chi-all select-features --measure chi --count 0
  pin_file $p/select-chi-all/keywords.dat "$d/keywords.dat"
  run $p/select-bad-measure select-features --measure nonsense --count 10
  run $p/select-chi select-features --measure chi --count 1000
  pin_folder $p/select-chi "$d"

  run $p/build-vectors build-vectors
  pin_folder $p/build-vectors "$d"
  run $p/classify classify --k 10
  pin_folder $p/classify "$d"
  evaluate_all $p/classify
  run $p/classify-explain classify --k 10 --explain 3
  predict_all $p/knn
  run $p/predict-neighbours predict --format jsonl --neighbours --k 5 lines.txt
  run $p/predict-contradiction predict --weighting tfidf lines.txt
  run $p/classify-similarity classify --k 7 --vote similarity
  pin_folder $p/classify-similarity "$d"
  run $p/classify-similarity/evaluate-text evaluate
  predict_all $p/knn-similarity
  run $p/default --stdin <(printf '\n')
  pin_folder $p/default "$d"
  run $p/vectors-tfidf build-vectors --weighting tfidf
  pin_folder $p/vectors-tfidf "$d"
  run $p/classify-tfidf classify --k 10
  pin_folder $p/classify-tfidf "$d"
  evaluate_all $p/classify-tfidf
  predict_all $p/knn-tfidf

  run $p/classify-linear classify --classifier linear
  pin_folder $p/classify-linear "$d"
  evaluate_all $p/classify-linear
  run $p/classify-linear-explain classify --classifier linear --explain 3
  predict_all $p/linear
  run $p/classify-linear-c classify --classifier linear --c 0.25
  pin_folder $p/classify-linear-c "$d"
  run $p/classify-linear-c0 classify --classifier linear --c 0
  global=(--data-dir "$d" --train-range 5-1 --test-range 1-30 --console-encoding utf-8)
  run $p/classify-bad-range classify
  global=(--data-dir "$d" --train-range 1-120 --test-range 1-30 --console-encoding utf-8)
  run $p/select-chi-all-linear select-features --measure chi --count 0
  run $p/classify-linear-all classify --classifier linear
  pin_folder $p/classify-linear-all "$d"
  run $p/classify-linear-all/evaluate-text evaluate

  # Whole pipelines, each in a fresh folder holding the database alone; "GLOBAL|OPTIONS".
  local n=0 entry options extra html
  for entry in \
      "|--measure chi --count 1000 --k 10" \
      "-q --threads 1 --console-encoding gbk|--measure mi --count 300 --k 5" \
      "|--measure ig --count 500 --weighting tfidf --vote similarity --format csv" \
      "|--measure cf --count 0 --classifier linear --format json" \
      "|--tokenizer space --measure df --count 200 --format text" \
      "|--measure chi --classifier linear --c 2 --weighting tfidf --format html"; do
    n=$((n + 1))
    d=$cwd/pipeline-$n
    mkdir -p "$d"
    cp "$cwd/data/corpus.db" "$d/"
    read -r -a extra <<< "${entry%%|*}"
    read -r -a options <<< "${entry#*|}"
    global=(--data-dir "$d" --train-range 1-120 --test-range 1-30 "${extra[@]}")
    [[ $entry == *--console-encoding* ]] || global+=(--console-encoding utf-8)
    html=()
    [[ $entry == *html* ]] && html=(--html)
    run "$p/pipeline-$n" "${html[@]}" pipeline "${options[@]}"
    pin_folder "$p/pipeline-$n" "$d"
  done
  run $p/pipeline-linear-c0 pipeline --classifier linear --c 0
  pin_folder $p/pipeline-linear-c0 "$d"
}

# ---------------------------------------------------------------------------------------------
# A real corpus: the stages once each, both classifiers and both weightings, fewer variants.
real_corpus() {
  local name=$1 file=$corpora/$1.tsv.gz
  if [[ ! -f $file ]]; then
    echo "identity check: $file not found, skipped" >&2
    record "$name" skipped
    return 0
  fi
  cwd=$work/$name
  mkdir -p "$cwd"
  zcat "$file" > "$cwd/corpus.tsv"
  cp "$src/sample/stopwords.txt" "$src/sample/dict.txt" "$cwd/"
  make_inputs "$cwd/corpus.tsv" 20
  local train test categories d=$cwd/data p=$name
  read -r train test categories < <(corpus_shape "$cwd/corpus.tsv")
  global=(--data-dir "$d" --train-range "1-$train" --test-range "1-$test"
          --categories "$categories" --console-encoding utf-8 -q)

  run $p/import import corpus.tsv
  pin_database $p/import "$d/corpus.db"
  run $p/show show 1
  run $p/segment segment --tokenize two.txt
  run $p/build-dictionary build-dictionary
  run $p/print-dictionary print-dictionary
  run $p/build-contingency build-contingency
  pin_folder $p/build-contingency "$d"
  local measure
  for measure in ig mi cf df chi; do
    run "$p/select-$measure" select-features --measure "$measure" --count 1000
    pin_file "$p/select-$measure/keywords.dat" "$d/keywords.dat"
  done
  run $p/build-vectors build-vectors
  run $p/classify classify --k 10
  pin_folder $p/classify "$d"
  evaluate_all $p/classify
  run $p/classify-explain classify --k 10 --explain 2
  run $p/predict-tsv predict --format tsv lines.txt
  run $p/predict-neighbours predict --format jsonl --neighbours lines.txt
  run $p/classify-linear classify --classifier linear
  pin_folder $p/classify-linear "$d"
  evaluate_all $p/classify-linear
  run $p/classify-linear-explain classify --classifier linear --explain 2
  run $p/predict-linear predict --format jsonl lines.txt
  run $p/vectors-tfidf build-vectors --weighting tfidf
  run $p/classify-tfidf classify --k 10 --vote similarity
  pin_folder $p/classify-tfidf "$d"
  run $p/classify-tfidf/evaluate-csv evaluate --format csv
  run $p/select-chi-all select-features --measure chi --count 0
  run $p/classify-linear-all classify --classifier linear
  pin_folder $p/classify-linear-all "$d"
  run $p/classify-linear-all/evaluate-text evaluate
  # The whole pipeline in one process, in a fresh folder holding the database alone.
  mkdir -p "$cwd/pipeline"
  cp "$d/corpus.db" "$cwd/pipeline/"
  global[1]=$cwd/pipeline
  run $p/pipeline pipeline --measure chi --count 1000 --k 10 --format csv
  pin_folder $p/pipeline "$cwd/pipeline"
  rm -rf -- "$cwd"
}

sample_corpus
real_corpus fudan6
real_corpus thucnews-titles
echo "identity check: $(wc -l < "$output") lines in $output" >&2
