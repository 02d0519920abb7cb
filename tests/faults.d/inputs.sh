# Requests that would overwrite or empty the data folder's own files, and the messages about
# the data folder itself. Sourced by tests/faults.sh, whose helpers it uses.

# select-features --scores naming a file the data folder owns (the database, the keyword list,
# a link to it) is refused before any work: the victim and the whole folder keep their bytes.
case_scores_over_folder_files() {
  local d before victim target
  d=$(fresh scores)
  ln -s "$d/keywords.dat" "$work/scores-link.tsv"
  before=$(snapshot "$d")
  for target in "$d/corpus.db" "$d/keywords.dat" "$d/../scores/dict.dat" "$work/scores-link.tsv" \
    "$d/linear.model"; do
    victim=""
    [[ -e $target ]] && victim=$(sha "$target")
    run --data-dir "$d" "${ranges[@]}" -q select-features --measure chi --count 1000 \
      --scores "$target"
    expect_exit 1 "--scores $target"
    expect_one_line_message "--scores $target"
    expect_stderr_contains "--scores $target" "is the data folder's"
    [[ -e $target ]] && expect_file_unchanged "--scores $target" "$target" "$victim"
  done
  expect_unchanged "--scores" "$d" "$before"
  run --data-dir "$d" "${ranges[@]}" show 1
  expect_exit 0 "show after the refusals"
  rm -f -- "$work/scores-link.tsv"
}

# import --replace of a file without an article (empty, /dev/null, the header alone) would empty
# both tables: it is a usage error and the database keeps its rows.
case_import_replace_nothing() {
  local d before file
  d=$(fresh import-nothing)
  : > "$work/empty.tsv"
  printf 'split\tcategory\ttitle\ttext\n' > "$work/header.tsv"
  before=$(snapshot "$d")
  for file in "$work/empty.tsv" /dev/null "$work/header.tsv"; do
    run --data-dir "$d" -q import --replace "$file"
    expect_exit 1 "import --replace $file"
    expect_one_line_message "import --replace $file"
    expect_stderr_contains "import --replace $file" "holds no article"
  done
  expect_unchanged "import --replace" "$d" "$before"
  rm -f -- "$work/empty.tsv" "$work/header.tsv"
}

# Stages that would write files of no feature word, or a table of no listed category, refuse
# and change nothing.
case_no_feature_words() {
  local d before
  d=$(fresh no-words)
  : > "$d/keywords.dat"
  # A folder without model.json uses its files as they are, so the empty list reaches the stage.
  rm -- "$d/model.json"
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 2 "build-vectors with an empty keywords.dat"
  expect_one_line_message "build-vectors"
  expect_stderr_contains "build-vectors" "keywords.dat: holds no keywords"
  expect_unchanged "build-vectors" "$d" "$before"

  d=$(fresh no-words)
  before=$(snapshot "$d")
  # Six categories of 20 among 120 training articles: a count of 1 gives each a share of 0.
  run --data-dir "$d" "${ranges[@]}" -q select-features --measure chi --count 1
  expect_exit 2 "select-features --count 1"
  expect_one_line_message "select-features --count 1"
  expect_stderr_contains "select-features --count 1" "no feature word selected"
  expect_unchanged "select-features --count 1" "$d" "$before"

  run --data-dir "$d" "${ranges[@]}" --categories alpha,beta -q build-contingency
  expect_exit 1 "build-contingency of no listed category"
  expect_one_line_message "build-contingency"
  expect_stderr_contains "build-contingency" "none of alpha, beta occurs in TrainingCorpus"
  expect_unchanged "build-contingency" "$d" "$before"
}

# Data folders whose paths hold characters beyond ASCII work for every command.
case_data_dir_beyond_ascii() {
  local name d
  for name in 数据 "café" "a b数据"; do
    d=$work/$name
    cp -a "$base" "$d"
    run --data-dir "$d" -q import --replace corpus.tsv
    expect_exit 0 "import into $name"
    run --data-dir "$d" "${ranges[@]}" -q pipeline "${pipeline_options[@]}"
    expect_exit 0 "pipeline in $name"
    [[ $(sha "$d/predictions.dat") == "$(sha "$base/predictions.dat")" ]] ||
      fail "pipeline in $name: predictions.dat differs from the sample run's"
    rm -rf -- "$d"
  done
}

# A missing data folder, or a file in its place, is named once, as a folder.
case_message_data_folder() {
  local command
  : > "$work/not-a-folder"
  for command in predict classify evaluate build-vectors select-features; do
    run --data-dir "$work/no-such-folder" "${ranges[@]}" "$command"
    expect_exit 2 "$command in a missing folder"
    expect_one_line_message "$command in a missing folder"
    expect_stderr_contains "$command in a missing folder" "no-such-folder: no such folder"
    [[ ! -e $work/no-such-folder ]] || fail "$command created the missing data folder"
    run --data-dir "$work/not-a-folder" "${ranges[@]}" "$command"
    expect_exit 2 "$command in a file"
    expect_one_line_message "$command in a file"
    expect_stderr_contains "$command in a file" "not-a-folder: not a folder"
  done
  [[ ! -s $work/not-a-folder ]] || fail "the file named as data folder was written"
  rm -f -- "$work/not-a-folder"
}

# A table of 20,000 categories none of which is listed gives one short line, not all names.
case_message_long_category_list() {
  local d bytes
  d=$work/long-list
  mkdir "$d"
  awk 'BEGIN { for (i = 1; i <= 20000; i++) printf "train\tc%05d\tt\ttext\n", i
               print "test\tc00001\tt\ttext" }' > "$work/many.tsv"
  run --data-dir "$d" -q import --replace "$work/many.tsv"
  expect_exit 0 "import of 20,000 categories"
  run --data-dir "$d" --train-range 1-20000 --test-range 1-1 -q build-dictionary
  expect_exit 0 "build-dictionary of 20,000 categories"
  run --data-dir "$d" --train-range 1-20000 --test-range 1-1 -q build-contingency
  expect_exit 1 "build-contingency"
  bytes=$(wc -c < "$err")
  ((bytes < 400)) || fail "the message is $bytes bytes, expected fewer than 400"
  [[ $(wc -l < "$err") == 1 ]] || fail "the message is not one line"
  expect_stderr_contains "build-contingency" "... and 19,990 more"
  rm -rf -- "$d" "$work/many.tsv"
}

cases+=(
  scores-over-folder-files:case_scores_over_folder_files
  import-replace-nothing:case_import_replace_nothing
  no-feature-words:case_no_feature_words
  data-dir-beyond-ascii:case_data_dir_beyond_ascii
  msg-data-folder:case_message_data_folder
  msg-long-category-list:case_message_long_category_list
)
