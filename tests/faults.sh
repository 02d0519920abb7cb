#!/usr/bin/env bash
# Replays known faults against a built newsclass binary and checks the fixed behaviour.
#
#   tests/faults.sh BINARY [SOURCE-DIR]
#
# SOURCE-DIR (default: the folder above this script) provides sample/corpus.tsv,
# sample/stopwords.txt and sample/dict.txt. The script imports the sample corpus into a data
# folder of its own, runs the sample pipeline once, and then breaks a fresh copy of that folder
# for every case. It prints one line per case, `ok NAME` or `FAIL NAME: why`, then
# `N passed, N failed`, and exits 0 only when every case passed.
#
# Every command runs from the temporary folder (where the stop words and user dictionary are),
# with standard input from /dev/null and under `timeout`, so a hanging command is a failure and
# never a hanging script.
set -u

if [[ $# -lt 1 || $# -gt 2 ]]; then
  echo "usage: $0 BINARY [SOURCE-DIR]" >&2
  exit 1
fi
bin=$(realpath -- "$1")
script_dir=$(realpath -- "$(dirname -- "$0")")
src=$(realpath -- "${2:-$(dirname -- "$0")/..}")
if [[ ! -x $bin ]]; then
  echo "$0: $1: not an executable file" >&2
  exit 1
fi
for f in corpus.tsv stopwords.txt dict.txt; do
  if [[ ! -f $src/sample/$f ]]; then
    echo "$0: $src/sample/$f: no such file" >&2
    exit 1
  fi
done
command -v python3 > /dev/null || { echo "$0: python3 is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/newsclass-faults.XXXXXX")
helper_pids=()
cleanup() {
  local pid
  for pid in "${helper_pids[@]}"; do kill "$pid" 2> /dev/null; done
  rm -rf -- "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
# The runs share caches of their own, never the user's.
export XDG_CACHE_HOME=$work/cache
unset NEWSCLASS_LEXICON_CACHE NEWSCLASS_VECTOR_CACHE
cp "$src/sample/stopwords.txt" "$src/sample/dict.txt" "$src/sample/corpus.tsv" .

# The options of the sample run.
ranges=(--train-range 1-120 --test-range 1-30)
pipeline_options=(--measure chi --count 1000 --k 10)

# ---------------------------------------------------------------------------------------------
# Helpers

why=""     # the reasons the current case failed, "; "-separated; empty while it passes
note=""    # extra facts a case reports on its result line (a time taken)
rc=0       # exit code of the last `run`
out=$work/out   # standard output of the last `run` (unless RUN_STDOUT redirected it)
err=$work/err   # standard error of the last `run`

fail() { why+="${why:+; }$*"; }

# One line of what the last run printed on standard error, safe to print: control bytes become
# '.', at most 160 bytes.
stderr_excerpt() {
  head -c 400 "$err" | tr '\n' '|' | LC_ALL=C tr -c '[:print:]' '.' | head -c 160
}

# run ARG...: runs the binary with ARG..., standard input from /dev/null, standard output to
# $RUN_STDOUT (default $out), standard error to $err, killed after $RUN_TIMEOUT seconds
# (default 120). Sets rc; a timeout sets rc to 124.
run() {
  timeout -k 5 "${RUN_TIMEOUT:-120}" "$bin" "$@" < /dev/null > "${RUN_STDOUT:-$out}" 2> "$err"
  rc=$?
}

# expect_exit CODE WHAT: the last run ended with CODE.
expect_exit() {
  if [[ $rc == 124 || $rc == 137 ]]; then
    fail "$2: timed out"
  elif [[ $rc != "$1" ]]; then
    fail "$2: exit $rc, expected $1 (stderr: $(stderr_excerpt))"
  fi
}

# expect_stderr_contains WHAT TEXT...: standard error of the last run holds at least one of the
# TEXTs (fixed strings).
expect_stderr_contains() {
  local what=$1 text
  shift
  for text in "$@"; do
    grep -qF -- "$text" "$err" && return 0
  done
  local wanted
  wanted=$(printf '"%s" or ' "$@")
  fail "$what: stderr does not name ${wanted% or } (stderr: $(stderr_excerpt))"
}

# expect_stderr_matches WHAT ERE: standard error of the last run matches the extended regular
# expression ERE (case-insensitive).
expect_stderr_matches() {
  grep -qiE -- "$2" "$err" || fail "$1: stderr does not match /$2/ (stderr: $(stderr_excerpt))"
}

# expect_one_line_message WHAT: standard error is exactly one line starting with "newsclass:",
# shorter than 200 bytes.
expect_one_line_message() {
  local lines bytes
  lines=$(wc -l < "$err")
  bytes=$(wc -c < "$err")
  if [[ $lines != 1 ]] || [[ $(tail -c 1 "$err" | od -An -c | tr -d ' ') != '\n' ]]; then
    fail "$1: stderr has $lines line ends, expected one line (stderr: $(stderr_excerpt))"
  fi
  if ! head -n 1 "$err" | grep -q '^newsclass:'; then
    fail "$1: stderr does not start with \"newsclass:\" (stderr: $(stderr_excerpt))"
  fi
  if ((bytes >= 200)); then
    fail "$1: stderr is $bytes bytes, expected fewer than 200"
  fi
}

# db_digest DIR: one line per corpus table of DIR/corpus.db with its row count and the sha256 of
# its rows in ArticleId order; "no corpus.db" when the file is missing. Used instead of the
# file's checksum so that a transaction that was rolled back compares equal.
db_digest() {
  python3 - "$1/corpus.db" << 'EOF'
import hashlib, os, sqlite3, sys
path = sys.argv[1]
if not os.path.isfile(path):
    print("no corpus.db")
    sys.exit(0)
con = sqlite3.connect("file:" + path + "?mode=ro", uri=True)
tables = [r[0] for r in con.execute(
    "SELECT name FROM sqlite_master WHERE type='table' ORDER BY name")]
con.text_factory = bytes
for table in tables:
    digest = hashlib.sha256()
    count = 0
    for row in con.execute('SELECT * FROM "%s" ORDER BY 1' % table):
        digest.update(repr(row).encode())
        count += 1
    print(table, count, digest.hexdigest())
EOF
}

# snapshot DIR: every entry of the data folder DIR (folders too) with the sha256 of each file
# other than corpus.db and the lock file (which holds the pid of the last writer), then the
# content digest of corpus.db.
snapshot() {
  (
    cd "$1" || exit 1
    find . -mindepth 1 -type d | LC_ALL=C sort | sed 's/^/folder /'
    find . -mindepth 1 -type f ! -name corpus.db ! -name newsclass.lock -print0 | LC_ALL=C sort -z | xargs -0r sha256sum
  )
  db_digest "$1"
}

# expect_unchanged WHAT DIR BEFORE: the snapshot of DIR still equals BEFORE (from `snapshot`).
expect_unchanged() {
  local now changed
  now=$(snapshot "$2")
  if [[ $now != "$3" ]]; then
    # File lines name the file, folder lines the folder, database lines the table.
    changed=$(diff <(echo "$3") <(echo "$now") | grep '^[<>]' | cut -c3- |
      awk '$1 == "folder" { print $2 "/"; next }
           NF == 2 { print $2; next }
           { print "corpus.db:" $1 }' | sort -u | tr '\n' ' ')
    fail "$1: data folder changed: ${changed% }"
  fi
}

# expect_file_unchanged WHAT FILE SHA256: FILE still has the checksum SHA256.
expect_file_unchanged() {
  local now
  now=$(sha256sum < "$2" 2> /dev/null | cut -d' ' -f1)
  [[ $now == "$3" ]] || fail "$1: $(basename -- "$2") changed"
}

sha() { sha256sum < "$1" | cut -d' ' -f1; }

# fresh NAME: a new copy of the sample run's data folder, named $work/NAME; prints its path.
fresh() {
  rm -rf -- "${work:?}/$1"
  cp -a "$base" "$work/$1"
  echo "$work/$1"
}

# stale DIR NAME...: replaces each data file DIR/NAME with a shorter file of the same layout
# (its first record), so that a run that rewrites it, even with the bytes it held before,
# shows up as a change.
stale() {
  local dir=$1 name lines
  shift
  for name in "$@"; do
    case $name in
      trainingVSM.dat | testingVSM.dat) lines=3 ;;
      dict.dat) lines=4 ;;
      *) lines=1 ;;
    esac
    head -n "$lines" "$dir/$name" > "$dir/$name.stale" && mv "$dir/$name.stale" "$dir/$name"
  done
}

# sql DIR STATEMENT...: runs the statements on DIR/corpus.db and commits.
sql() {
  python3 - "$@" << 'EOF'
import sqlite3, sys
con = sqlite3.connect(sys.argv[1] + "/corpus.db")
for statement in sys.argv[2:]:
    con.execute(statement)
con.commit()
EOF
}

# ---------------------------------------------------------------------------------------------
# Cases. Each case is one function; it calls `fail` for every check that does not hold.

# Two build-dictionary runs on one folder at once: both succeed and dict.dat is exactly what one
# of them alone would have written (the second writer waits for the first).
case_two_writers() {
  local d ref60 ref120 i delay pa pb ra rb got
  ref120=$(sha "$base/dict.dat")
  d=$(fresh ref60)
  run --data-dir "$d" --train-range 1-60 --test-range 1-30 -q build-dictionary
  expect_exit 0 "single run 1-60"
  ref60=$(sha "$d/dict.dat")
  [[ $ref60 != "$ref120" ]] || fail "the 1-60 and 1-120 dictionaries are equal; the case tests nothing"
  d=$(fresh writers)
  for i in 0 1 2 3 4 5 6 7 8 9; do
    delay=$(printf '0.%02d' "$i")
    timeout -k 5 120 "$bin" --data-dir "$d" --train-range 1-60 --test-range 1-30 -q \
      build-dictionary < /dev/null > /dev/null 2> "$work/err.a" &
    pa=$!
    sleep "$delay"
    timeout -k 5 120 "$bin" --data-dir "$d" --train-range 1-120 --test-range 1-30 -q \
      build-dictionary < /dev/null > /dev/null 2> "$work/err.b" &
    pb=$!
    wait "$pa"
    ra=$?
    wait "$pb"
    rb=$?
    [[ $ra == 0 ]] || fail "round $i (delay ${delay}s): 1-60 run exit $ra ($(head -c 120 "$work/err.a" | tr '\n' '|'))"
    [[ $rb == 0 ]] || fail "round $i (delay ${delay}s): 1-120 run exit $rb ($(head -c 120 "$work/err.b" | tr '\n' '|'))"
    got=$(sha "$d/dict.dat")
    [[ $got == "$ref60" || $got == "$ref120" ]] ||
      fail "round $i (delay ${delay}s): dict.dat is neither single-run output"
    [[ -n $why ]] && return
  done
}

# build-vectors without a TestingCorpus table: fails naming it and keeps both vector files.
case_vectors_no_testing_table() {
  local d before
  d=$(fresh 2a)
  sql "$d" "DROP TABLE TestingCorpus"
  stale "$d" trainingVSM.dat testingVSM.dat
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 2 "build-vectors"
  expect_stderr_contains "build-vectors" TestingCorpus
  expect_unchanged "build-vectors" "$d" "$before"
}

# build-vectors with a testing article whose text is NULL.
case_vectors_null_text() {
  local d before
  d=$(fresh 2b)
  sql "$d" "UPDATE TestingCorpus SET CAbstract = NULL WHERE ArticleId = 7"
  stale "$d" trainingVSM.dat testingVSM.dat
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 2 "build-vectors"
  expect_stderr_contains "build-vectors" TestingCorpus CAbstract
  expect_unchanged "build-vectors" "$d" "$before"
}

# build-vectors when testingVSM.dat cannot be written (a folder stands in its place).
case_vectors_testing_file_is_folder() {
  local d training
  d=$(fresh 2c)
  rm "$d/testingVSM.dat"
  mkdir "$d/testingVSM.dat"
  stale "$d" trainingVSM.dat
  training=$(sha "$d/trainingVSM.dat")
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 2 "build-vectors"
  expect_stderr_contains "build-vectors" testingVSM.dat
  expect_file_unchanged "build-vectors" "$d/trainingVSM.dat" "$training"
}

# build-vectors without the database: once with corpus.db removed, once with --db naming a
# SQLite file that does not exist.
case_vectors_no_database() {
  local d before
  d=$(fresh 2d)
  rm "$d/corpus.db"
  stale "$d" trainingVSM.dat testingVSM.dat
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 2 "corpus.db removed"
  expect_stderr_contains "corpus.db removed" corpus.db
  expect_unchanged "corpus.db removed" "$d" "$before"

  d=$(fresh 2d-db)
  stale "$d" trainingVSM.dat testingVSM.dat
  before=$(snapshot "$d")
  run --db "Driver=SQLite3;Database=$work/missing.db" --data-dir "$d" "${ranges[@]}" -q \
    build-vectors
  expect_exit 2 "--db missing.db"
  expect_stderr_contains "--db missing.db" missing.db
  expect_unchanged "--db missing.db" "$d" "$before"
  [[ ! -e $work/missing.db ]] || fail "--db missing.db: the missing database file was created"
}

# The run without a command when one of its input files is missing.
case_default_run_missing_input() {
  local name d before
  for name in dict.dat contingency.dat keywords.dat; do
    d=$(fresh "3-$name")
    rm "$d/$name"
    stale "$d" trainingVSM.dat testingVSM.dat
    before=$(snapshot "$d")
    run --data-dir "$d" "${ranges[@]}" -q
    expect_exit 2 "$name missing"
    expect_stderr_contains "$name missing" "$name"
    expect_unchanged "$name missing" "$d" "$before"
  done
}

# Id ranges that are backwards or too large are usage errors and change nothing.
case_bad_id_ranges() {
  local d before
  d=$(fresh 4)
  stale "$d" dict.dat trainingVSM.dat testingVSM.dat
  before=$(snapshot "$d")
  run --data-dir "$d" --train-range 120-1 --test-range 1-30 -q build-dictionary
  expect_exit 1 "--train-range 120-1"
  expect_stderr_contains "--train-range 120-1" --train-range
  run --data-dir "$d" --train-range 1-120 --test-range 30-1 -q build-vectors
  expect_exit 1 "--test-range 30-1"
  expect_stderr_contains "--test-range 30-1" --test-range
  run --data-dir "$d" --train-range 0-2147483647 --test-range 1-30 -q build-dictionary
  expect_exit 1 "--train-range 0-2147483647"
  expect_stderr_contains "--train-range 0-2147483647" --train-range
  expect_unchanged "bad ranges" "$d" "$before"
}

# An ArticleId beyond int32 in TrainingCorpus.
case_article_id_beyond_int32() {
  local d before
  d=$(fresh 4-id)
  sql "$d" "INSERT INTO TrainingCorpus (ArticleId, CArticleName, Categorization, CAbstract)
            VALUES (3000000000, 't', 'history', '历史')"
  stale "$d" contingency.dat
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q build-contingency
  expect_exit 2 "build-contingency"
  expect_stderr_contains "build-contingency" 3000000000 ArticleId
  expect_unchanged "build-contingency" "$d" "$before"
}

# Commands against a database another process holds locked end with "database is locked"
# after --db-timeout seconds.
case_locked_database() {
  local d before pid tries
  d=$(fresh 5)
  before=$(snapshot "$d")
  python3 - "$d/corpus.db" "$work/lock.ready" "$work/lock.stop" << 'EOF' &
import os, sqlite3, sys, time
con = sqlite3.connect(sys.argv[1], isolation_level=None)
con.execute("BEGIN EXCLUSIVE")
open(sys.argv[2], "w").close()
deadline = time.time() + 300
while not os.path.exists(sys.argv[3]) and time.time() < deadline:
    time.sleep(0.05)
con.execute("ROLLBACK")
con.close()
EOF
  pid=$!
  helper_pids+=("$pid")
  for ((tries = 0; tries < 200; tries++)); do
    [[ -e $work/lock.ready ]] && break
    sleep 0.05
  done
  if [[ ! -e $work/lock.ready ]]; then
    fail "the locking python3 process did not start"
  else
    RUN_TIMEOUT=60 run --data-dir "$d" --db-timeout 2 -q import --replace corpus.tsv
    expect_exit 2 "import"
    expect_stderr_contains "import" "database is locked"
    RUN_TIMEOUT=60 run --data-dir "$d" --db-timeout 2 show 1
    expect_exit 2 "show 1"
    expect_stderr_contains "show 1" "database is locked"
  fi
  touch "$work/lock.stop"
  wait "$pid"
  helper_pids=()
  rm -f "$work/lock.ready" "$work/lock.stop"
  expect_unchanged "locked database" "$d" "$before"
}

# A category with a blank inside, in the corpus file and in --categories.
case_category_with_blank() {
  local d before
  d=$(fresh 6)
  awk -F'\t' -v OFS='\t' 'NR == 3 { $2 = "society law" } { print }' corpus.tsv > blank.tsv
  stale "$d" contingency.dat
  before=$(snapshot "$d")
  run --data-dir "$d" -q import --replace blank.tsv
  expect_exit 2 "import"
  expect_stderr_matches "import" 'blank\.tsv:3([^0-9]|$)'
  expect_unchanged "import" "$d" "$before"
  run --data-dir "$d" "${ranges[@]}" --categories "history,society law" -q build-contingency
  expect_exit 1 "--categories"
  expect_stderr_contains "--categories" "society law"
  expect_unchanged "--categories" "$d" "$before"
}

# A UTF-8 corpus file with one GBK line, and one with a NUL byte in a text field.
case_import_mixed_encoding() {
  local d before
  d=$(fresh 7)
  before=$(snapshot "$d")
  {
    sed -n '1,4p' corpus.tsv
    sed -n '5p' corpus.tsv | iconv -f UTF-8 -t GBK
    sed -n '6,$p' corpus.tsv
  } > mixed.tsv
  if [[ ${PIPESTATUS[0]} != 0 ]] || cmp -s mixed.tsv corpus.tsv; then
    fail "could not make the mixed-encoding file"
    return
  fi
  run --data-dir "$d" -q import --replace mixed.tsv
  expect_exit 2 "GBK line"
  expect_stderr_matches "GBK line" 'mixed\.tsv:5([^0-9]|$)'
  expect_unchanged "GBK line" "$d" "$before"

  python3 - << 'EOF'
lines = open("corpus.tsv", "rb").read().split(b"\n")
head, sep, text = lines[3].rpartition(b"\t")
lines[3] = head + sep + text[:6] + b"\x00" + text[6:]
open("nul.tsv", "wb").write(b"\n".join(lines))
EOF
  run --data-dir "$d" -q import --replace nul.tsv
  expect_exit 2 "NUL byte"
  expect_stderr_matches "NUL byte" 'nul\.tsv:4([^0-9]|$)'
  expect_unchanged "NUL byte" "$d" "$before"
}

# A data folder whose name holds connection-string syntax.
case_data_dir_connection_syntax() {
  local dir="$work/a;Driver=Foo" listing
  mkdir -p "$dir"
  listing=$(ls -A "$work")
  run --data-dir "$dir" -q import corpus.tsv
  if [[ $rc == 0 ]]; then
    [[ -f $dir/corpus.db ]] || fail "exit 0 but no corpus.db in the folder \"a;Driver=Foo\""
    [[ ! -e $work/a ]] || fail "exit 0 but a file \"a\" was made beside the folder"
    [[ $(ls -A "$work") == "$listing" ]] ||
      fail "new entries in the working folder: $(comm -13 <(echo "$listing") <(ls -A "$work") | tr '\n' ' ')"
  else
    expect_exit 1 "import"
    expect_stderr_contains "import" --data-dir
    [[ ! -e $work/a ]] || fail "a file \"a\" was made beside the folder"
  fi
  rm -rf -- "$dir" "$work/a"
}

# Output to a full device is a write error, reported.
case_stdout_full() {
  local d
  d=$(fresh 9)
  RUN_STDOUT=/dev/full run --data-dir "$d" "${ranges[@]}" -q evaluate
  expect_exit 2 "evaluate"
  expect_stderr_matches "evaluate" 'write|standard output'
  RUN_STDOUT=/dev/full run --data-dir "$d" "${ranges[@]}" -q print-dictionary
  expect_exit 2 "print-dictionary"
  expect_stderr_matches "print-dictionary" 'write|standard output'
  RUN_STDOUT=/dev/full run --data-dir "$d" "${ranges[@]}" -q show 1
  expect_exit 2 "show 1"
  expect_stderr_matches "show 1" 'write|standard output'
}

# The lexicon cache changes nothing a run prints: a cold start that writes it, a warm start that
# reads it, a start without it, a start over a damaged cache (rewritten whole) and a start whose
# cache folder cannot be made (one warning line, exit 0) all give the same words and start-up
# lines.
case_lexicon_cache() {
  local expected cache_file
  printf '%s\n' '中国人民银行今天宣布，研究生命起源的实验取得了新进展。' > "$work/headline.txt"
  rm -rf -- "$work/cache"
  NEWSCLASS_LEXICON_CACHE=off run segment "$work/headline.txt"
  expect_exit 0 "segment without cache"
  expected=$(cat "$out" "$err")
  run segment "$work/headline.txt"
  expect_exit 0 "segment, cold cache"
  [[ $(cat "$out" "$err") == "$expected" ]] || fail "cold cache: output differs"
  cache_file=$(find "$work/cache/newsclass" -name 'dict.txt-*.lexicon' 2> /dev/null | head -n 1)
  [[ -n $cache_file ]] || { fail "no cache file under $work/cache/newsclass"; return; }
  local saved
  saved=$(sha "$cache_file")
  run segment "$work/headline.txt"
  expect_exit 0 "segment, warm cache"
  [[ $(cat "$out" "$err") == "$expected" ]] || fail "warm cache: output differs"
  # Damaged in the middle, then cut off: each time rebuilt to the same bytes.
  printf 'XXXXXXXX' | dd of="$cache_file" bs=1 seek=300000 conv=notrunc status=none
  run segment "$work/headline.txt"
  [[ $(cat "$out" "$err") == "$expected" ]] || fail "damaged cache: output differs"
  [[ $(sha "$cache_file") == "$saved" ]] || fail "damaged cache was not rewritten"
  truncate -s 1000 "$cache_file"
  run segment "$work/headline.txt"
  [[ $(cat "$out" "$err") == "$expected" ]] || fail "cut-off cache: output differs"
  [[ $(sha "$cache_file") == "$saved" ]] || fail "cut-off cache was not rewritten"
  # A cache folder that is a file cannot be made.
  : > "$work/cache-is-a-file"
  XDG_CACHE_HOME=$work/cache-is-a-file run segment "$work/headline.txt"
  expect_exit 0 "segment, unwritable cache"
  [[ $(cat "$out") == "$(NEWSCLASS_LEXICON_CACHE=off "$bin" segment "$work/headline.txt" 2> /dev/null)" ]] ||
    fail "unwritable cache: words differ"
  local warnings
  warnings=$(grep -c 'the lexicon cache is not saved' "$err")
  [[ $warnings == 1 ]] || fail "unwritable cache: $warnings warning lines, expected 1 (stderr: $(stderr_excerpt))"
}

# Categories the vector files do not know are a usage error that lists the known ones.
case_unknown_categories() {
  local d before
  d=$(fresh 10)
  stale "$d" predictions.dat
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" --categories alpha,beta -q classify --k 10
  expect_exit 1 "classify"
  expect_stderr_contains "classify" history
  expect_unchanged "classify" "$d" "$before"
}

# A lexicon that does not exist stops build-dictionary.
case_missing_lexicon() {
  local d before
  d=$(fresh 11)
  stale "$d" dict.dat
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" --lexicon /nonexistent/lexicon.txt -q build-dictionary
  expect_exit 2 "build-dictionary"
  expect_stderr_contains "build-dictionary" /nonexistent/lexicon.txt
  expect_unchanged "build-dictionary" "$d" "$before"
}

# dict.dat with a posting count of 0 (the first posting of the first word).
case_dictionary_zero_count() {
  local d before
  d=$(fresh 12-dict)
  if ! python3 - "$d/dict.dat" << 'EOF'; then
import sys
path = sys.argv[1]
lines = open(path, "rb").read().split(b"\n")
fields = lines[3].split(b" ")
assert len(fields) >= 4 and fields[2] == b";", lines[3][:40]
fields[1] = b"0"
lines[3] = b" ".join(fields)
open(path, "wb").write(b"\n".join(lines))
EOF
    fail "could not edit dict.dat"
    return
  fi
  stale "$d" trainingVSM.dat testingVSM.dat
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 2 "build-vectors"
  expect_stderr_contains "build-vectors" dict.dat
  expect_unchanged "build-vectors" "$d" "$before"
}

# predictions.dat whose line 2 repeats the id of line 1.
case_predictions_repeated_id() {
  local d before
  d=$(fresh 12-rep)
  sed -i '1p' "$d/predictions.dat"
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q evaluate
  expect_exit 2 "evaluate"
  expect_stderr_contains "evaluate" predictions.dat
  expect_stderr_matches "evaluate" '(line 2|predictions\.dat:2)([^0-9]|$)'
  expect_unchanged "evaluate" "$d" "$before"
}

# predictions.dat with CR-only line ends: the same report as with LF ends, or an error naming
# the file.
case_predictions_cr_line_ends() {
  local d
  d=$(fresh 12-cr)
  run --data-dir "$d" "${ranges[@]}" -q evaluate
  expect_exit 0 "evaluate with LF line ends"
  cp "$out" "$work/report.lf"
  tr '\n' '\r' < "$base/predictions.dat" > "$d/predictions.dat"
  run --data-dir "$d" "${ranges[@]}" -q evaluate
  if [[ $rc == 0 ]]; then
    cmp -s "$out" "$work/report.lf" || fail "exit 0 but the report differs from the LF one"
  else
    expect_exit 2 "evaluate with CR line ends"
    expect_stderr_contains "evaluate with CR line ends" predictions.dat
  fi
}

# Importing 100,000 lines with as many categories finishes; prints how long it took.
case_import_many_categories() {
  local d start seconds count
  d=$work/13
  mkdir "$d"
  awk 'BEGIN { for (i = 1; i <= 100000; i++) printf "train\tcat%d\tt\ttext\n", i }' > many.tsv
  start=$EPOCHREALTIME
  run --data-dir "$d" -q import --replace many.tsv
  seconds=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')
  note="import took ${seconds}s"
  expect_exit 0 "import"
  count=$(python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute(
  "SELECT COUNT(DISTINCT Categorization) FROM TrainingCorpus").fetchone()[0])' "$d/corpus.db" 2>&1)
  [[ $count == 100000 ]] || fail "TrainingCorpus holds $count categories, expected 100000"
  rm -rf -- "$d" many.tsv
}

# Messages of usage errors: one line, "newsclass:" first, short.
case_message_unknown_option() {
  run --bogus
  expect_exit 1 "--bogus"
  expect_one_line_message "--bogus"
}

case_message_negative_count() {
  local d
  d=$(fresh msg-count)
  run --data-dir "$d" "${ranges[@]}" -q select-features --measure chi --count -5
  expect_exit 1 "--count -5"
  expect_one_line_message "--count -5"
}

case_message_import_folder() {
  local d before
  d=$(fresh msg-folder)
  before=$(snapshot "$d")
  run --data-dir "$d" -q import /tmp
  expect_exit 2 "import /tmp"
  expect_stderr_contains "import /tmp" "/tmp: is a folder"
  expect_unchanged "import /tmp" "$d" "$before"
}

# dict.dat that is a folder is not reported as missing.
case_message_dictionary_is_folder() {
  local d
  d=$(fresh msg-dict-folder)
  rm "$d/dict.dat"
  mkdir "$d/dict.dat"
  run --data-dir "$d" "${ranges[@]}" -q build-vectors
  expect_exit 2 "build-vectors"
  expect_stderr_contains "build-vectors" dict.dat
  if grep -qiF "no such file" "$err"; then
    fail "build-vectors: stderr says \"no such file\" for a folder ($(stderr_excerpt))"
  fi
}

# --categories swallowing the command name leaves no command: a usage error, not the default run.
case_message_categories_eats_command() {
  local d before
  d=$(fresh msg-cat)
  stale "$d" trainingVSM.dat testingVSM.dat
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" -q --categories build-dictionary
  expect_exit 1 "--categories build-dictionary"
  expect_unchanged "--categories build-dictionary" "$d" "$before"
}

# print-dictionary never sends a raw ESC byte to the terminal.
case_message_escape_in_word() {
  local d lines
  d=$(fresh msg-esc)
  run --data-dir "$d" "${ranges[@]}" -q print-dictionary
  expect_exit 0 "print-dictionary before the edit"
  lines=$(wc -l < "$out")
  python3 - "$d/dict.dat" << 'EOF'
import sys
path = sys.argv[1]
lines = open(path, "rb").read().split(b"\n")
lines[1] = b"\x1b[31m" + lines[1]
open(path, "wb").write(b"\n".join(lines))
EOF
  run --data-dir "$d" "${ranges[@]}" -q print-dictionary
  expect_exit 0 "print-dictionary"
  if grep -q $'\x1b' "$out"; then
    fail "print-dictionary: standard output holds a raw ESC byte"
  fi
  [[ $(wc -l < "$out") == "$lines" ]] ||
    fail "print-dictionary: $(wc -l < "$out") lines, expected $lines as before the edit"
}

# classify with an empty or garbage trainingVSM.dat.
case_message_bad_training_vectors() {
  local d before kind
  for kind in empty garbage; do
    d=$(fresh "msg-vsm-$kind")
    if [[ $kind == empty ]]; then
      : > "$d/trainingVSM.dat"
    else
      head -c 4096 /dev/urandom > "$d/trainingVSM.dat"
    fi
    stale "$d" predictions.dat
    before=$(snapshot "$d")
    run --data-dir "$d" "${ranges[@]}" -q classify --k 10
    expect_exit 2 "$kind trainingVSM.dat"
    expect_stderr_contains "$kind trainingVSM.dat" trainingVSM.dat
    expect_unchanged "$kind trainingVSM.dat" "$d" "$before"
  done
}

# The pipeline's JSON report is valid JSON.
case_pipeline_json() {
  local d
  d=$(fresh json)
  RUN_STDOUT=$work/r.json run --data-dir "$d" "${ranges[@]}" -q pipeline "${pipeline_options[@]}" \
    --format json
  expect_exit 0 "pipeline --format json"
  python3 -m json.tool "$work/r.json" > /dev/null 2> "$work/json.err" ||
    fail "r.json is not valid JSON: $(head -c 160 "$work/json.err" | tr '\n' ' ')"
}

# ---------------------------------------------------------------------------------------------
# The sample run every case starts from.

base=$work/base
mkdir "$base"
run --data-dir "$base" -q import --replace corpus.tsv
if [[ $rc != 0 ]]; then
  echo "FAIL setup: import of the sample corpus: exit $rc ($(stderr_excerpt))"
  echo "0 passed, 1 failed"
  exit 1
fi
run --data-dir "$base" "${ranges[@]}" -q pipeline "${pipeline_options[@]}"
if [[ $rc != 0 ]]; then
  echo "FAIL setup: sample pipeline: exit $rc ($(stderr_excerpt))"
  echo "0 passed, 1 failed"
  exit 1
fi

cases=(
  1-two-writers:case_two_writers
  2a-vectors-no-TestingCorpus:case_vectors_no_testing_table
  2b-vectors-null-text:case_vectors_null_text
  2c-vectors-testing-file-is-folder:case_vectors_testing_file_is_folder
  2d-vectors-no-database:case_vectors_no_database
  3-default-run-missing-input:case_default_run_missing_input
  4a-bad-id-ranges:case_bad_id_ranges
  4b-article-id-beyond-int32:case_article_id_beyond_int32
  5-locked-database:case_locked_database
  6-category-with-blank:case_category_with_blank
  7-import-mixed-encoding:case_import_mixed_encoding
  8-data-dir-connection-syntax:case_data_dir_connection_syntax
  9-stdout-full:case_stdout_full
  10-unknown-categories:case_unknown_categories
  11-missing-lexicon:case_missing_lexicon
  12a-dictionary-zero-count:case_dictionary_zero_count
  12b-predictions-repeated-id:case_predictions_repeated_id
  12c-predictions-cr-line-ends:case_predictions_cr_line_ends
  13-import-many-categories:case_import_many_categories
  msg-unknown-option:case_message_unknown_option
  msg-negative-count:case_message_negative_count
  msg-import-folder:case_message_import_folder
  msg-dictionary-is-folder:case_message_dictionary_is_folder
  msg-categories-eats-command:case_message_categories_eats_command
  msg-escape-in-word:case_message_escape_in_word
  msg-bad-training-vectors:case_message_bad_training_vectors
  msg-pipeline-json:case_pipeline_json
  lexicon-cache:case_lexicon_cache
)

# More cases live in tests/faults.d/*.sh, one file per theme; each defines its case functions
# with the helpers above and appends "name:function" entries to `cases`.
for more in "$script_dir"/faults.d/*.sh; do
  [[ -e $more ]] || continue
  # shellcheck source=/dev/null
  source "$more"
done

# FAULTS_ONLY=PATTERN runs only the cases whose name matches the extended regular expression.
passed=0
failed=0
for entry in "${cases[@]}"; do
  name=${entry%%:*}
  if [[ -n ${FAULTS_ONLY:-} ]] && ! [[ $name =~ $FAULTS_ONLY ]]; then continue; fi
  why=""
  note=""
  "${entry#*:}"
  if [[ -z $why ]]; then
    echo "ok $name${note:+ ($note)}"
    passed=$((passed + 1))
  else
    echo "FAIL $name${note:+ ($note)}: $why"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[[ $failed == 0 && $passed -gt 0 ]]
