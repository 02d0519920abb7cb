# Cases about model.json: files that do not belong together, forged facts, and the files predict
# depends on. Sourced by tests/faults.sh, whose helpers and sample folder ($base) they use.

# One line of a stale-file refusal: exit 2, one line naming the file and the stage to rerun.
expect_stale() {
  local what=$1 file=$2 stage=$3
  expect_exit 2 "$what"
  expect_one_line_message "$what"
  expect_stderr_contains "$what" "$file: stale:"
  expect_stderr_contains "$what" "run $stage"
}

# New feature words: the vectors and the predictions built from the old ones are stale for
# predict, evaluate and classify; refusing changes nothing.
case_model_new_keywords() {
  local d before
  d=$(fresh m-keywords)
  run --data-dir "$d" "${ranges[@]}" -q select-features --measure df --count 50
  expect_exit 0 "select-features --measure df"
  before=$(snapshot "$d")
  printf '国家队备战亚洲杯\n' > "$work/m-line.txt"
  run --data-dir "$d" "${ranges[@]}" predict "$work/m-line.txt"
  expect_stale "predict after select-features" "$d/trainingVSM.dat" build-vectors
  [[ ! -s $out ]] || fail "predict after select-features: answered"
  run --data-dir "$d" "${ranges[@]}" evaluate
  expect_stale "evaluate after select-features" "$d/predictions.dat" classify
  [[ ! -s $out ]] || fail "evaluate after select-features: printed a report"
  run --data-dir "$d" "${ranges[@]}" -q classify
  expect_stale "classify after select-features" "$d/trainingVSM.dat" build-vectors
  expect_unchanged "refusals" "$d" "$before"
  # Rebuilding the vectors and classifying makes the folder whole again.
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 0 "build-vectors"
  run --data-dir "$d" "${ranges[@]}" -q classify
  expect_exit 0 "classify"
  run --data-dir "$d" "${ranges[@]}" evaluate
  expect_exit 0 "evaluate after the rebuild"
  grep -q 'measure df, count 50' "$out" || fail "evaluate after the rebuild: no \"measure df, count 50\""
}

# A file replaced after its facts were recorded (as a run killed between its rename and its
# model.json leaves it), and the same bytes copied back with a new modification time.
case_model_replaced_file() {
  local d before other
  other=$(fresh m-other)
  run --data-dir "$other" --train-range 1-60 --test-range 1-30 -q build-dictionary
  expect_exit 0 "build-dictionary 1-60"
  d=$(fresh m-replaced)
  cp "$other/dict.dat" "$d/dict.dat"
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" evaluate
  expect_stale "evaluate, dict.dat replaced" "$d/dict.dat" build-dictionary
  run --data-dir "$d" "${ranges[@]}" predict "$work/m-line.txt"
  expect_stale "predict, dict.dat replaced" "$d/dict.dat" build-dictionary
  run --data-dir "$d" "${ranges[@]}" -q build-contingency
  expect_stale "build-contingency, dict.dat replaced" "$d/dict.dat" build-dictionary
  expect_unchanged "refusals" "$d" "$before"
  # The original bytes with a new mtime: current again.
  cp "$base/dict.dat" "$d/dict.dat"
  touch -d '2001-01-01' "$d/dict.dat"
  run --data-dir "$d" "${ranges[@]}" evaluate
  expect_exit 0 "evaluate, the same bytes copied back"
  # A vector file cut short, its mtime kept.
  d=$(fresh m-cut)
  head -n 3 "$base/trainingVSM.dat" > "$d/trainingVSM.dat"
  touch -r "$base/trainingVSM.dat" "$d/trainingVSM.dat"
  run --data-dir "$d" "${ranges[@]}" predict "$work/m-line.txt"
  expect_stale "predict, trainingVSM.dat cut" "$d/trainingVSM.dat" build-vectors
}

# A pipeline killed between its stages leaves the later files stale: evaluate refuses instead of
# reporting the old predictions under the new facts.
case_model_killed_pipeline() {
  local d pid tries
  d=$(fresh m-killed)
  "$bin" --data-dir "$d" "${ranges[@]}" pipeline --measure df --count 50 < /dev/null > "$work/m-killed.out" 2>&1 &
  pid=$!
  # Killed once the new dictionary is recorded (model.json loses its predictions digest).
  for ((tries = 0; tries < 600; tries++)); do
    grep -q '"file predictions.dat"' "$d/model.json" 2> /dev/null || break
    sleep 0.01
  done
  kill -9 "$pid" 2> /dev/null
  wait "$pid" 2> /dev/null
  if grep -q '"file predictions.dat"' "$d/model.json"; then
    note="the pipeline finished before it was killed"
    return
  fi
  run --data-dir "$d" "${ranges[@]}" evaluate
  expect_exit 2 "evaluate after a killed pipeline"
  expect_stderr_contains "evaluate after a killed pipeline" "stale:"
}

# import --replace of another corpus: every file was built from the old one.
case_model_import_replace() {
  local d before
  d=$(fresh m-import)
  { head -n 1 corpus.tsv; grep -P '^test\t' corpus.tsv | head -n 10; grep -P '^train\t' corpus.tsv | head -n 40; } > "$work/m-corpus.tsv"
  run --data-dir "$d" -q import --replace "$work/m-corpus.tsv"
  expect_exit 0 "import --replace"
  python3 -c 'import json,sys; sys.exit(list(json.load(open(sys.argv[1]))) != ["imported"])' "$d/model.json" ||
    fail "import --replace: model.json keeps facts other than \"imported\" ($(tr '\n' ' ' < "$d/model.json"))"
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" evaluate
  expect_stale "evaluate after import --replace" "$d/predictions.dat" pipeline
  run --data-dir "$d" "${ranges[@]}" predict "$work/m-line.txt"
  expect_stale "predict after import --replace" "$d/dict.dat" pipeline
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_stale "build-vectors after import --replace" "$d/dict.dat" pipeline
  expect_unchanged "refusals" "$d" "$before"
}

# predict chooses only the model the folder holds.
case_model_classifier_choice() {
  local d
  d=$(fresh m-linear)
  run --data-dir "$d" "${ranges[@]}" -q classify --classifier linear
  expect_exit 0 "classify --classifier linear"
  run --data-dir "$d" "${ranges[@]}" predict --classifier knn "$work/m-line.txt"
  expect_exit 1 "predict --classifier knn in a linear folder"
  expect_one_line_message "predict --classifier knn in a linear folder"
  expect_stderr_contains "predict --classifier knn in a linear folder" \
    "--classifier: the model in this data folder was built with --classifier linear ($d/model.json), not knn"
  # Back to KNN: the linear.model left behind is no longer the folder's model.
  run --data-dir "$d" "${ranges[@]}" -q classify
  expect_exit 0 "classify"
  run --data-dir "$d" "${ranges[@]}" predict --classifier linear "$work/m-line.txt"
  expect_exit 1 "predict --classifier linear in a knn folder"
  expect_stderr_contains "predict --classifier linear in a knn folder" "built with --classifier knn"
}

# Forged values of model.json: each refused by predict with one line naming model.json and the
# key; a missing model.json is an error too.
case_model_forged_facts() {
  local d forged key value what
  d=$(fresh m-forged)
  cp "$d/model.json" "$work/m-model.json"
  for forged in 'classifier=svm' 'weighting=bm25' 'vote=majority' 'train_range=120-1' \
    'train_range= 1-120' 'train_range=1-0120' 'train_range=0-2147483647' 'test_range=30-1' \
    'k=3.5' 'k= 3' 'k=+3' 'k=03' 'k=0' 'k=99999999999999999999' 'count=-1' 'measure=bm25' \
    'tokenizer=jieba' 'table=x;drop' 'categories=a,,b' 'categories=a b' \
    'file dict.dat=1 2 3' 'file notes.txt=1 2 0123456789abcdef' 'extra=1'; do
    key=${forged%%=*}
    value=${forged#*=}
    python3 - "$work/m-model.json" "$d/model.json" "$key" "$value" << 'PY'
import json, sys
facts = json.load(open(sys.argv[1], encoding="latin-1"))
facts[sys.argv[3]] = sys.argv[4]
open(sys.argv[2], "w", encoding="latin-1").write(json.dumps(facts, ensure_ascii=False))
PY
    what="model.json $key \"$value\""
    run --data-dir "$d" "${ranges[@]}" predict "$work/m-line.txt"
    expect_exit 2 "$what"
    expect_one_line_message "$what"
    expect_stderr_contains "$what" "$d/model.json: \"$key\""
    [[ ! -s $out ]] || fail "$what: answered"
  done
  # Syntax the parser used to take: a key given twice, a \u escape that is no hex or beyond a byte.
  for forged in '{"k": "10", "k": "3"}' '{"k": "1\u00zz"}' '{"k": "\u0100"}' '{"k": "\u12'; do
    printf '%s' "$forged" > "$d/model.json"
    what="model.json $forged"
    run --data-dir "$d" "${ranges[@]}" predict "$work/m-line.txt"
    expect_exit 2 "$what"
    expect_one_line_message "$what"
    expect_stderr_contains "$what" "$d/model.json: byte "
  done
  rm "$d/model.json"
  run --data-dir "$d" "${ranges[@]}" predict "$work/m-line.txt"
  expect_exit 2 "model.json removed"
  expect_one_line_message "model.json removed"
  expect_stderr_contains "model.json removed" "$d/model.json: no such file"
  [[ ! -s $out ]] || fail "model.json removed: answered"
}

# predict segments with the stop words, user dictionary and lexicon the folder was built with,
# wherever it runs from, and refuses when they changed or another file is named.
case_model_segmenter_files() {
  local d here elsewhere saved
  d=$(fresh m-segmenter)
  printf '出版社推出新版古典文学丛书，的了是在\n国家队备战亚洲杯，主教练公布集训名单\n' > "$work/m-lines.txt"
  run --data-dir "$d" "${ranges[@]}" predict --format jsonl "$work/m-lines.txt"
  expect_exit 0 "predict from the sample folder"
  here=$(cat "$out")
  mkdir -p "$work/m-elsewhere"
  (cd "$work/m-elsewhere" && run --data-dir "$d" "${ranges[@]}" predict --format jsonl "$work/m-lines.txt")
  expect_exit 0 "predict from another folder"
  elsewhere=$(cat "$out")
  [[ $here == "$elsewhere" ]] || fail "predict from another folder answers otherwise"
  # Another stop-word file named on the command line contradicts the model.
  printf '的\n' > "$work/m-stopwords.txt"
  run --data-dir "$d" "${ranges[@]}" --stopwords "$work/m-stopwords.txt" predict "$work/m-lines.txt"
  expect_exit 1 "--stopwords another file"
  expect_one_line_message "--stopwords another file"
  expect_stderr_contains "--stopwords another file" "--stopwords: the model in this data folder was built with $work/stopwords.txt, not $work/m-stopwords.txt"
  # A copy with the same bytes is the same stop words.
  cp stopwords.txt "$work/m-stopwords.txt"
  run --data-dir "$d" "${ranges[@]}" --stopwords "$work/m-stopwords.txt" predict "$work/m-lines.txt"
  expect_exit 0 "--stopwords a copy"
  # The recorded user dictionary changed, then removed.
  saved=$work/m-dict.txt.saved
  cp -p dict.txt "$saved"
  printf '新版古典\n' >> dict.txt
  run --data-dir "$d" "${ranges[@]}" predict "$work/m-lines.txt"
  expect_exit 2 "dict.txt changed"
  expect_one_line_message "dict.txt changed"
  expect_stderr_contains "dict.txt changed" "$work/dict.txt: changed since the data folder was built with it"
  rm dict.txt
  run --data-dir "$d" "${ranges[@]}" predict "$work/m-lines.txt"
  expect_exit 2 "dict.txt removed"
  expect_stderr_contains "dict.txt removed" "$work/dict.txt: missing"
  cp -p "$saved" dict.txt
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 0 "build-vectors with dict.txt restored"
}

# evaluate --categories that contradicts model.json is refused as predict refuses it.
case_model_evaluate_categories() {
  local d before
  d=$(fresh m-categories)
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" --categories history,culture evaluate
  expect_exit 1 "evaluate --categories history,culture"
  # predict's message form; with the whole list and the folder's path it is longer than 200 bytes.
  [[ $(wc -l < "$err") == 1 ]] || fail "evaluate --categories history,culture: not one line"
  expect_stderr_contains "evaluate --categories history,culture" \
    "--categories: the model in this data folder was built with --categories history,culture,reading,military,society&law,entertainment ($d/model.json), not history,culture"
  run --data-dir "$d" "${ranges[@]}" --categories history,culture,reading,military,society\&law,entertainment evaluate
  expect_exit 0 "evaluate --categories as recorded"
  expect_unchanged "evaluate" "$d" "$before"
}

cases+=(
  model-new-keywords:case_model_new_keywords
  model-replaced-file:case_model_replaced_file
  model-killed-pipeline:case_model_killed_pipeline
  model-import-replace:case_model_import_replace
  model-classifier-choice:case_model_classifier_choice
  model-forged-facts:case_model_forged_facts
  model-segmenter-files:case_model_segmenter_files
  model-evaluate-categories:case_model_evaluate_categories
)
