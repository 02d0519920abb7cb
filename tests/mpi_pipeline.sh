#!/usr/bin/env bash
# pipeline under mpirun: for R = 1, 2, 3 and 4 ranks (oversubscribed on a small machine) every
# data file, model.json (but for its modification times) and the report must equal those of one
# process without mpirun, for KNN (both weightings, both votes, both vector forms), linear and
# logistic, on ranges that do not divide evenly and on ranges that leave a rank no rows. Then a
# rank killed mid-run must end the job with a non-zero exit code and leave the data folder as it
# was, with no staged or temporary file; the stage commands, classify and predict over files
# write and answer as one process does; and other commands are refused under mpirun.
# Usage: mpi_pipeline.sh NEWSCLASS_BINARY SOURCE_DIR [postgres]
#   postgres: the corpus lives on the server NEWSCLASS_TEST_PG names (skips, exit 77, without it)
set -uo pipefail
newsclass=$(realpath "$1")
root=$(realpath "$2")
database=${3:-sqlite}
if ! command -v mpirun >/dev/null; then
  echo "skipped: no mpirun (Debian openmpi-bin)"
  exit 77
fi
if [ "$database" = postgres ] && [ -z "${NEWSCLASS_TEST_PG:-}" ]; then
  echo "skipped: NEWSCLASS_TEST_PG names no PostgreSQL server (.ci/run starts one)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Open MPI refuses root unless told, and a machine with fewer cores than ranks unless told; the
# single-copy mechanism between processes needs ptrace rights that containers often lack.
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
export OMPI_MCA_btl_vader_single_copy_mechanism=none OMPI_MCA_rmaps_base_oversubscribe=1
mpi() { local ranks=$1; shift; mpirun --oversubscribe -n "$ranks" "$@"; }

cd "$root/sample"
# The corpus: the sample (training ids 1-120, testing 1-30) in an SQLite file that every run
# reads, or on the PostgreSQL server.
mkdir -p "$work/corpus"
if [ "$database" = postgres ]; then
  db=$NEWSCLASS_TEST_PG
else
  db="Driver=SQLite3;Database=$work/corpus/corpus.db"
fi
"$newsclass" --data-dir "$work/corpus" --db "$db" import --replace corpus.tsv >"$work/import.log" 2>&1 ||
  { echo "FAIL: import: $(cat "$work/import.log")"; exit 1; }

files=(dict.dat contingency.dat keywords.dat trainingVSM.dat testingVSM.dat linear.model predictions.dat)
# model.json with each file's modification time (the middle field of its digest) left out.
facts() { sed -E 's/"([0-9]+) [0-9]+ ([0-9a-f]+)"/"\1 \2"/' "$1"; }

check_case() {  # name, global options (one word, split on spaces), pipeline options...
  local name=$1 global=$2; shift 2
  local base="$work/$name"
  # shellcheck disable=SC2086
  local run=("$newsclass" --db "$db" $global --console-encoding utf-8 -q)
  mkdir -p "$base/one"
  "${run[@]}" --data-dir "$base/one" pipeline --format csv "$@" >"$base/one.report" 2>"$base/one.err" ||
    { fail "$name: one process failed: $(tail -3 "$base/one.err")"; return; }
  for ranks in 1 2 3 4; do
    local dir="$base/$ranks"
    mkdir -p "$dir"
    if ! mpi "$ranks" "${run[@]}" --data-dir "$dir" pipeline --format csv "$@" \
        >"$dir.report" 2>"$dir.err"; then
      fail "$name: $ranks ranks failed: $(tail -5 "$dir.err")"
      continue
    fi
    for file in "${files[@]}"; do
      if [ -e "$base/one/$file" ] || [ -e "$dir/$file" ]; then
        cmp -s "$base/one/$file" "$dir/$file" || fail "$name: $file differs with $ranks ranks"
      fi
    done
    [ "$(facts "$base/one/model.json")" = "$(facts "$dir/model.json")" ] ||
      fail "$name: model.json differs with $ranks ranks: $(diff <(facts "$base/one/model.json") <(facts "$dir/model.json") | head -4)"
    cmp -s "$base/one.report" "$dir.report" || fail "$name: the report differs with $ranks ranks"
    if find "$dir" -name '.newsclass-staged.*' -o -name '*.tmp' | grep -q .; then
      fail "$name: $ranks ranks left a staged or temporary file"
    fi
  done
  [ -s "$base/one/predictions.dat" ] || fail "$name: no predictions"
}

# predict over files with the model of a case's one-process folder: the answers of 2 to 4 ranks,
# which share each batch's lines, must be the one process's, byte for byte.
texts="$work/texts.txt"
cut -f4 corpus.tsv | tail -n +2 >"$texts"
check_predict() {  # name, predict options...
  local name=$1; shift
  local folder="$work/$name/one"
  "$newsclass" --db "$db" --data-dir "$folder" -q predict "$@" "$texts" "$texts" >"$work/$name.predict" 2>"$work/$name.predict.err" ||
    { fail "$name: predict failed: $(tail -3 "$work/$name.predict.err")"; return; }
  [ "$(wc -l <"$work/$name.predict")" = 300 ] || fail "$name: predict gave $(wc -l <"$work/$name.predict") answers, not 300"
  for ranks in 2 3 4; do
    mpi "$ranks" "$newsclass" --db "$db" --data-dir "$folder" -q predict "$@" "$texts" "$texts" \
      >"$work/$name.predict.$ranks" 2>"$work/$name.predict.$ranks.err" ||
      { fail "$name: predict on $ranks ranks failed: $(tail -3 "$work/$name.predict.$ranks.err")"; continue; }
    cmp -s "$work/$name.predict" "$work/$name.predict.$ranks" ||
      fail "$name: predict's answers differ with $ranks ranks"
  done
}

# classify over a case's one-process folder, copied: KNN shares the training vectors among the
# ranks, the linear models their machines; predictions.dat and linear.model must be the
# pipeline's.
check_classify() {  # name, global options (one word), classify options...
  local name=$1 global=$2; shift 2
  for ranks in 2 3 4; do
    local dir="$work/$name/classify-$ranks"
    cp -r "$work/$name/one" "$dir"
    rm "$dir/predictions.dat" "$dir/linear.model" 2>/dev/null
    # shellcheck disable=SC2086
    mpi "$ranks" "$newsclass" --db "$db" $global --data-dir "$dir" -q classify "$@" \
      >"$dir.out" 2>&1 || { fail "$name: classify on $ranks ranks failed: $(tail -3 "$dir.out")"; continue; }
    cmp -s "$work/$name/one/predictions.dat" "$dir/predictions.dat" ||
      fail "$name: classify on $ranks ranks predicts otherwise than the pipeline"
    if [ -e "$work/$name/one/linear.model" ]; then
      cmp -s "$work/$name/one/linear.model" "$dir/linear.model" ||
        fail "$name: classify on $ranks ranks trains another linear.model than the pipeline"
    fi
  done
}

check_case knn "--train-range 1-120 --test-range 1-30" --count 1000 --k 10
check_classify knn "--train-range 1-120 --test-range 1-30" --k 10
check_predict knn --format jsonl --neighbours
check_case knn-tfidf-similarity-binary "--train-range 1-119 --test-range 2-30 --threads 1" \
  --weighting tfidf --vote similarity --vector-format binary --k 7 --count 400
check_classify knn-tfidf-similarity-binary "--train-range 1-119 --test-range 2-30 --threads 1" \
  --vote similarity --k 7
check_case knn-binary-tfidf-count "--train-range 3-120 --test-range 1-29" --vector-format binary \
  --weighting tfidf --measure ig --count 300 --k 5
# Training ids 121-200 hold no article, so a rank of 4 reads no row; 3 testing ids leave a rank
# without a testing article.
check_case knn-empty-shares-similarity "--train-range 1-200 --test-range 1-3" --count 300 --k 5 \
  --vote similarity
check_case linear "--train-range 1-117 --test-range 1-30" --classifier linear --count 500
check_case logistic "--train-range 1-120 --test-range 1-30" --classifier logistic --count 500
check_classify linear "--train-range 1-117 --test-range 1-30" --classifier linear
check_classify logistic "--train-range 1-120 --test-range 1-30" --classifier logistic
check_predict linear --format jsonl --explain
check_predict logistic --format tsv

# The stage commands one by one, as one process and on 2 and 3 ranks: build-dictionary and
# build-vectors spread over the ranks, build-contingency and select-features run on rank 0.
check_stages() {  # name, global options (one word)
  local name=$1 global=$2
  for ranks in 0 2 3; do
    local dir="$work/stages-$name-$ranks"
    mkdir -p "$dir"
    local launch=()
    [ "$ranks" = 0 ] || launch=(mpi "$ranks")
    for stage in "build-dictionary" "build-contingency" "select-features --count 400" \
                 "build-vectors --weighting tfidf --vector-format binary" "classify --k 5"; do
      # shellcheck disable=SC2086
      "${launch[@]}" "$newsclass" --db "$db" $global --data-dir "$dir" -q $stage >"$dir.log" 2>&1 ||
        { fail "stages $name: $stage on $ranks ranks failed: $(tail -3 "$dir.log")"; continue 2; }
    done
    [ "$ranks" = 0 ] && continue
    for file in dict.dat contingency.dat keywords.dat trainingVSM.dat testingVSM.dat predictions.dat; do
      cmp -s "$work/stages-$name-0/$file" "$dir/$file" || fail "stages $name: $file differs on $ranks ranks"
    done
    [ "$(facts "$work/stages-$name-0/model.json")" = "$(facts "$dir/model.json")" ] ||
      fail "stages $name: model.json differs on $ranks ranks"
  done
}
check_stages uneven "--train-range 1-119 --test-range 1-29"

# A rank killed mid-run: a larger corpus (the training articles 40 times over), a data folder
# from a finished run, rank 1 killed as soon as rank 0 has started staging the new files.
big="$work/big"
mkdir -p "$big"
{ head -n 1 corpus.tsv; for _ in $(seq 40); do grep '^train' corpus.tsv; done; grep '^test' corpus.tsv; } >"$work/big.tsv"
"$newsclass" --data-dir "$big" import --replace "$work/big.tsv" >/dev/null 2>&1 || fail "import of the larger corpus failed"
bigrun=("$newsclass" --data-dir "$big" --train-range 1-4800 --test-range 1-30 --threads 1 -q pipeline --count 500)
"${bigrun[@]}" >/dev/null 2>&1 || fail "the larger corpus's pipeline failed"
before=$(cd "$big" && sha256sum ./*.dat model.json corpus.db)
mpi 2 "${bigrun[@]}" >"$work/killed.out" 2>"$work/killed.err" &
job=$!
killed=""
for _ in $(seq 1000); do
  if compgen -G "$big/.newsclass-staged.*" >/dev/null; then
    for pid in $(pgrep -f -- "--data-dir $big"); do
      if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx 'OMPI_COMM_WORLD_RANK=1'; then
        kill -9 "$pid" && killed=$pid
      fi
    done
  fi
  [ -n "$killed" ] && break
  kill -0 "$job" 2>/dev/null || break
  sleep 0.01
done
wait "$job"
code=$?
if [ -z "$killed" ]; then
  fail "rank 1 was not found running to kill"
else
  [ $code -ne 0 ] || fail "a killed rank: exit code 0"
  [ "$(cd "$big" && sha256sum ./*.dat model.json corpus.db)" = "$before" ] ||
    fail "a killed rank: the data folder changed"
  if find "$big" -name '.newsclass-staged.*' -o -name '*.tmp' | grep -q .; then
    fail "a killed rank left a staged or temporary file: $(ls -a "$big")"
  fi
fi

# The other commands say once that they run as one process and end with exit code 1.
mpi 2 "$newsclass" --data-dir "$big" evaluate >"$work/refused.out" 2>"$work/refused.err"
code=$?
[ $code -eq 1 ] || fail "evaluate under mpirun: exit code $code, expected 1"
[ "$(grep -c 'evaluate runs as one process; of the commands only pipeline, the build-\* and select-features stages, classify and predict FILE run on the 2 ranks' "$work/refused.err")" = 1 ] ||
  fail "evaluate under mpirun: $(head -3 "$work/refused.err")"
echo text | mpi 2 "$newsclass" --data-dir "$big" predict >/dev/null 2>"$work/refused.err"
code=$?
[ $code -eq 1 ] || fail "predict of standard input under mpirun: exit code $code, expected 1"

if [ $failures -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "mpi pipeline ($database): every file equal for 1 to 4 ranks; a killed rank changed nothing"
