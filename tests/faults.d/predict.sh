# predict's answers: one answer per article whichever command asks, lines without a keyword,
# mixed encodings in a FILE, --tsv ids, and the messages about input FILEs.

# The testing articles of a corpus TSV as "id<TAB>text" lines, ids in file order (as import
# numbers them).
predict_testing_lines() {
  awk -F'\t' '$1 == "test" { print ++n "\t" $4 }' "$1"
}

# On fudan6 (when ../shared/corpora holds it): pipeline's predictions.dat equals classify's on
# pipeline's own files, classify --explain names the same category for a few articles (995 sat on
# a rounding tie), and predict gives every testing text the label classify gave it.
case_predict_one_answer_fudan6() {
  local corpus=$src/../shared/corpora/fudan6.tsv.gz d args id explained stored
  if [[ ! -f $corpus ]]; then
    note="skipped: no corpora"
    return
  fi
  d=$work/fudan6
  mkdir -p "$d"
  zcat "$corpus" > fudan6.tsv
  args=(--data-dir "$d" --train-range 1-1213 --test-range 1-1243
        --categories space,art,environment,agriculture,sports,history -q --no-progress)
  run "${args[@]}" import --replace fudan6.tsv
  expect_exit 0 "import fudan6"
  run "${args[@]}" pipeline
  expect_exit 0 "pipeline"
  [[ -n $why ]] && return
  cp "$d/predictions.dat" fudan6-pipeline.dat
  run "${args[@]}" classify
  expect_exit 0 "classify"
  cmp -s fudan6-pipeline.dat "$d/predictions.dat" ||
    fail "pipeline and classify differ on $(diff fudan6-pipeline.dat "$d/predictions.dat" | grep -c '^<') articles"
  for id in 995 1 640 1243; do
    run "${args[@]}" classify --explain "$id"
    expect_exit 0 "classify --explain $id"
    explained=$(sed -n 's/^testing article [0-9]*: predicted \([^ ]*\) .*/\1/p' "$out")
    stored=$(awk -v id="$id" '$1 == id { print $2 }' fudan6-pipeline.dat)
    [[ -n $stored && $explained == "$stored" ]] ||
      fail "article $id: --explain says \"$explained\", pipeline \"$stored\""
  done
  predict_testing_lines fudan6.tsv > fudan6-lines.tsv
  run "${args[@]}" predict --tsv --format tsv fudan6-lines.tsv
  expect_exit 0 "predict"
  cmp -s <(cut -f1,2 --output-delimiter=' ' "$out") fudan6-pipeline.dat ||
    fail "predict and pipeline differ on $(diff <(cut -f1,2 --output-delimiter=' ' "$out") fudan6-pipeline.dat | grep -c '^<') articles"
  rm -rf -- "$d" fudan6.tsv
}

# Lines without a keyword of the model (stop words, punctuation, ASCII garbage) get an empty
# label and score 0 in every format, as an empty line does; a real line between them is
# answered. Nothing in the folder changes.
case_predict_no_keyword() {
  local d before
  d=$(fresh nokeyword)
  before=$(snapshot "$d")
  printf '的了是\n考古人员在浙北一处史前遗址中发现一座玉器加工作坊。\n！！！？？？\nqzxv wprt\n\n' > nokw.txt
  run --data-dir "$d" "${ranges[@]}" -q predict nokw.txt
  expect_exit 0 "text"
  [[ $(sed -n '1p;3p;4p;5p' "$out" | tr -d '\n') == "" && -n $(sed -n 2p "$out") ]] ||
    fail "text: expected empty labels around one answer, got $(tr '\n' '|' < "$out")"
  run --data-dir "$d" "${ranges[@]}" -q predict --format tsv nokw.txt
  expect_exit 0 "tsv"
  [[ $(sed -n '1p;3,5p' "$out" | tr '\n' '|') == $'1\t\t0|3\t\t0|4\t\t0|5\t\t0|' ]] ||
    fail "tsv: got $(tr '\n\t' '|,' < "$out")"
  run --data-dir "$d" "${ranges[@]}" -q predict --format jsonl --neighbours nokw.txt
  expect_exit 0 "jsonl"
  [[ $(sed -n 1p "$out") == '{"line":1,"category":"","score":0}' ]] ||
    fail "jsonl: line 1 is $(sed -n 1p "$out")"
  python3 -c 'import json, sys; [json.loads(l) for l in open(sys.argv[1])]' "$out" 2> /dev/null ||
    fail "jsonl: not one JSON object per line"
  expect_unchanged "predict" "$d" "$before"
}

# A FILE holding one UTF-8 line and one GBK line answers both as their UTF-8 originals.
case_predict_mixed_encoding_file() {
  local d one two
  d=$(fresh mixedpredict)
  one='国家队备战亚洲杯，主教练公布集训名单'
  two='海军第三十五批护航编队从浙江舟山某军港解缆起航，赴亚丁湾执行护航任务。'
  { printf '%s\n' "$one"; printf '%s\n' "$two" | iconv -f UTF-8 -t GBK; } > mixed.txt
  printf '%s\n%s\n' "$one" "$two" > utf8.txt
  run --data-dir "$d" "${ranges[@]}" -q predict --format jsonl mixed.txt
  expect_exit 0 "mixed file"
  cp "$out" mixed.out
  run --data-dir "$d" "${ranges[@]}" -q predict --format jsonl utf8.txt
  cmp -s mixed.out "$out" || fail "mixed file answers $(tr '\n' '|' < mixed.out), UTF-8 file $(tr '\n' '|' < "$out")"
}

# --tsv ids: an empty id and an id given twice (in one FILE or across FILEs) are refused before
# any answer, naming the file and lines; standard input refuses at the line.
case_predict_tsv_ids() {
  local d before
  d=$(fresh tsvids)
  before=$(snapshot "$d")
  printf '7\t出版社推出新版古典文学丛书\n\t国家队备战亚洲杯\n' > empty-id.tsv
  run --data-dir "$d" "${ranges[@]}" -q predict --tsv empty-id.tsv
  expect_exit 2 "empty id"
  expect_one_line_message "empty id"
  [[ $(cat "$err") == "newsclass: empty-id.tsv: line 2: empty id" ]] || fail "empty id: $(stderr_excerpt)"
  [[ ! -s $out ]] || fail "empty id: answers were written"
  printf '7\ta\n8\tb\n7\tc\n' > repeat.tsv
  run --data-dir "$d" "${ranges[@]}" -q predict --tsv repeat.tsv
  expect_exit 2 "repeated id"
  [[ $(cat "$err") == "newsclass: repeat.tsv: line 3: id 7 repeats line 1" ]] || fail "repeated id: $(stderr_excerpt)"
  [[ ! -s $out ]] || fail "repeated id: answers were written"
  printf '7\ta\nno tab here\n' > no-tab.tsv
  run --data-dir "$d" "${ranges[@]}" -q predict --tsv no-tab.tsv
  expect_exit 2 "line without a tab"
  [[ $(cat "$err") == "newsclass: no-tab.tsv: line 2: expected an id, a tab and the text" ]] || fail "no tab: $(stderr_excerpt)"
  [[ ! -s $out ]] || fail "no tab: answers were written"
  printf '9\tx\n8\ty\n' > other.tsv
  printf '1\tz\n' > first.tsv
  run --data-dir "$d" "${ranges[@]}" -q predict --tsv --format tsv first.tsv repeat.tsv
  [[ $(cat "$err") == "newsclass: repeat.tsv: line 3: id 7 repeats line 1" ]] || fail "two files: $(stderr_excerpt)"
  printf '8\tx\n' > eight.tsv
  run --data-dir "$d" "${ranges[@]}" -q predict --tsv first.tsv other.tsv eight.tsv
  expect_exit 2 "id across files"
  [[ $(cat "$err") == "newsclass: eight.tsv: line 1: id 8 repeats other.tsv line 2" ]] || fail "across files: $(stderr_excerpt)"
  [[ ! -s $out ]] || fail "across files: answers were written"
  printf '5\ta\n5\tb\n' | timeout -k 5 120 "$bin" --data-dir "$d" "${ranges[@]}" -q predict --tsv --format tsv > stdin.out 2> "$err"
  rc=$?
  expect_exit 2 "standard input"
  # The model is loaded before standard input is read: its loading lines come first.
  [[ $(tail -n 1 "$err") == "newsclass: standard input: line 2: id 5 repeats line 1" ]] || fail "standard input: $(stderr_excerpt)"
  [[ $(cut -f1 stdin.out) == 5 ]] || fail "standard input: the first line was not answered"
  expect_unchanged "tsv ids" "$d" "$before"
}

# A missing input FILE is named as an input, once, not as a stage's file.
case_message_predict_missing_input() {
  local d before
  d=$(fresh missinginput)
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q predict missing.txt
  expect_exit 2 "missing FILE"
  expect_one_line_message "missing FILE"
  [[ $(cat "$err") == "newsclass: missing.txt: no such input file" ]] || fail "missing FILE: $(stderr_excerpt)"
  mkdir -p folder-input
  run --data-dir "$d" "${ranges[@]}" -q predict folder-input
  expect_exit 2 "folder FILE"
  [[ $(cat "$err") == "newsclass: folder-input: is a folder, not an input file" ]] || fail "folder FILE: $(stderr_excerpt)"
  expect_unchanged "missing FILE" "$d" "$before"
}

# With several FILEs each tsv answer starts with its file and each jsonl answer names it; one
# FILE answers without it.
case_message_predict_several_files() {
  local d
  d=$(fresh severalfiles)
  printf '出版社推出新版古典文学丛书\n\n' > a.txt
  run --data-dir "$d" "${ranges[@]}" -q predict --format tsv a.txt
  expect_exit 0 "one FILE"
  cp "$out" one.out
  [[ $(sed -n 2p one.out) == $'2\t\t0' ]] || fail "one FILE: line 2 is $(sed -n 2p one.out | tr '\t' ',')"
  run --data-dir "$d" "${ranges[@]}" -q predict --format tsv a.txt a.txt
  expect_exit 0 "two FILEs"
  [[ $(cat "$out") == "$(sed 's/^/a.txt\t/' one.out; sed 's/^/a.txt\t/' one.out)" ]] ||
    fail "two FILEs, tsv: got $(tr '\n\t' '|,' < "$out")"
  run --data-dir "$d" "${ranges[@]}" -q predict --format jsonl a.txt a.txt
  [[ $(grep -c '^{"file":"a.txt","line":[12],' "$out") == 4 ]] ||
    fail "two FILEs, jsonl: got $(tr '\n' '|' < "$out")"
}

# A testing article without a keyword keeps its label by the usual rule in classify (KNN and
# linear), counted in the one warning line; every other prediction stays as it was.
case_classify_counts_keywordless() {
  local d
  d=$(fresh keywordless)
  sql "$d" "UPDATE TestingCorpus SET CAbstract = '的了是' WHERE ArticleId = 30"
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 0 "build-vectors"
  run --data-dir "$d" "${ranges[@]}" -q classify
  expect_exit 0 "classify"
  [[ $(cat "$err") == "classification: 1 of 30 testing articles hold no keyword; their neighbours are those of any text without one" ]] ||
    fail "classify: stderr $(stderr_excerpt)"
  [[ $(head -n 29 "$d/predictions.dat") == "$(head -n 29 "$base/predictions.dat")" ]] ||
    fail "classify: the other predictions changed"
  [[ $(sed -n '30s/ .*//p' "$d/predictions.dat") == 30 && -n $(sed -n '30s/^30 //p' "$d/predictions.dat") ]] ||
    fail "classify: article 30 is not labelled"
  run --data-dir "$d" "${ranges[@]}" -q classify --classifier linear
  expect_exit 0 "classify --classifier linear"
  [[ $(cat "$err") == "classification: 1 of 30 testing articles hold no keyword; their label is the one the model's biases favour" ]] ||
    fail "linear: stderr $(stderr_excerpt)"
  # The sample's own testing articles all hold keywords: no warning there.
  d=$(fresh keywordless-sample)
  run --data-dir "$d" "${ranges[@]}" -q classify
  [[ ! -s $err ]] || fail "sample: classify warns: $(stderr_excerpt)"
}

cases+=(
  classify-counts-keywordless:case_classify_counts_keywordless
  predict-one-answer-fudan6:case_predict_one_answer_fudan6
  predict-no-keyword:case_predict_no_keyword
  predict-mixed-encoding-file:case_predict_mixed_encoding_file
  predict-tsv-ids:case_predict_tsv_ids
  msg-predict-missing-input:case_message_predict_missing_input
  msg-predict-several-files:case_message_predict_several_files
)
