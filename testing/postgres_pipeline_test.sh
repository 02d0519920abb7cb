#!/usr/bin/env bash
# Runs the whole pipeline on the sample corpus twice, once from the embedded SQLite database and
# once from a PostgreSQL server, and requires byte-identical data files and the same evaluation
# report; then checks that database faults (wrong password, server down, missing table) end with
# the database error line and exit code 2, show no password and leave every data file as it was.
# Usage: postgres_pipeline_test.sh NEWSCLASS_BINARY   (skips, exit 77, without NEWSCLASS_TEST_PG)
set -uo pipefail
newsclass=$(realpath "$1")
if [ -z "${NEWSCLASS_TEST_PG:-}" ]; then
  echo "skipped: NEWSCLASS_TEST_PG names no PostgreSQL server (.ci/run starts one)"
  exit 77
fi
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cd "$root/sample"
ranges=(--train-range 1-120 --test-range 1-30 --console-encoding utf-8 -q)
pipeline() {  # data-dir, then extra global options
  local dir=$1; shift
  "$newsclass" --data-dir "$dir" "$@" import --replace corpus.tsv >"$dir.import.log" 2>&1 ||
    { fail "import into $dir failed: $(cat "$dir.import.log")"; return; }
  "$newsclass" --data-dir "$dir" "$@" "${ranges[@]}" pipeline --count 300 --k 5 \
    >"$dir.pipeline.log" 2>&1 || { fail "pipeline on $dir failed: $(tail -5 "$dir.pipeline.log")"; return; }
  "$newsclass" --data-dir "$dir" "$@" "${ranges[@]}" evaluate --format csv >"$dir.report.csv" 2>&1 ||
    fail "evaluate on $dir failed: $(cat "$dir.report.csv")"
}
mkdir -p "$work/sqlite" "$work/postgres"
pipeline "$work/sqlite"
pipeline "$work/postgres" --db "$NEWSCLASS_TEST_PG"
for file in dict.dat contingency.dat keywords.dat trainingVSM.dat testingVSM.dat predictions.dat; do
  if ! cmp -s "$work/sqlite/$file" "$work/postgres/$file"; then
    fail "$file differs between SQLite and PostgreSQL"
  elif [ ! -s "$work/sqlite/$file" ]; then
    fail "$file is empty"
  fi
done
cmp -s "$work/sqlite.report.csv" "$work/postgres.report.csv" ||
  fail "evaluation reports differ: $(diff "$work/sqlite.report.csv" "$work/postgres.report.csv" | head -5)"

# Faults: each ends with "database error in <operation>: [SQLSTATE] message" and exit 2, shows
# no password and leaves the data files exactly as they were.
snapshot() { (cd "$work/postgres" && sha256sum dict.dat contingency.dat keywords.dat trainingVSM.dat testingVSM.dat predictions.dat); }
before=$(snapshot)
wrong_password=$(echo "$NEWSCLASS_TEST_PG" | sed 's/PWD=[^;]*/PWD=not-the-password/')
server_down=$(echo "$NEWSCLASS_TEST_PG" | sed 's/Port=[0-9]*/Port=1/')
check_fault() {  # name, then the command's arguments
  local name=$1; shift
  "$newsclass" --data-dir "$work/postgres" "${ranges[@]}" "$@" >"$work/fault.out" 2>"$work/fault.err"
  local code=$?
  [ $code -eq 2 ] || fail "$name: exit code $code, expected 2"
  grep -Eq '^database error in [A-Za-z]+: \[[0-9A-Z]{5}\] ' "$work/fault.err" ||
    fail "$name: no database error line: $(cat "$work/fault.err")"
  if grep -q -e 'not-the-password' -e 'newsclass-test' "$work/fault.out" "$work/fault.err"; then
    fail "$name: a password is shown"
  fi
  [ "$(snapshot)" = "$before" ] || fail "$name: data files changed"
}
check_fault "wrong password" --db "$wrong_password" build-dictionary
check_fault "server down" --db "$server_down" build-dictionary
check_fault "missing table" --db "$NEWSCLASS_TEST_PG" build-dictionary --table NoSuchTable
check_fault "wrong password while classifying" --db "$wrong_password" classify --k 5

if [ $failures -eq 0 ]; then
  echo "postgres pipeline: data files identical, report identical, faults reported"
  exit 0
fi
exit 1
