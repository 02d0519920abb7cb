#!/usr/bin/env bash
# Checks where the progress line goes, against a built newsclass binary: under a pseudo-terminal
# (script) a quiet stage draws its progress line and redraws it in place; with standard error in
# a pipe, with --no-progress, or without -q on the terminal that standard output shares, no
# progress text appears anywhere. Prints `ok NAME` or `FAIL NAME: why` per case.
#
#   tests/progress.sh BINARY [SOURCE-DIR]
set -u
bin=$(realpath -- "$1")
src=$(realpath -- "${2:-$(dirname -- "$0")/..}")
if ! command -v script > /dev/null; then
  echo "progress test skipped: script (Debian package bsdutils) is not installed"
  exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/newsclass-progress.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
cp "$src/sample/corpus.tsv" "$src/sample/stopwords.txt" "$src/sample/dict.txt" "$work/"
cd "$work" || exit 1
export NEWSCLASS_LEXICON_CACHE=off NEWSCLASS_VECTOR_CACHE=off
common=(--data-dir data --train-range 1-120 --test-range 1-30 --console-encoding utf-8)
"$bin" "${common[@]}" import corpus.tsv > /dev/null || { echo "FAIL setup: import"; exit 1; }

failed=0
check() {  # NAME CONDITION-MESSAGE: reports the last test's result
  if [[ $1 == ok ]]; then echo "ok $2"; else echo "FAIL $2: $3"; failed=1; fi
}
# Runs newsclass under a pseudo-terminal; its whole terminal output goes to the named file.
on_terminal() {
  local out=$1; shift
  script -qec "$(printf '%q ' "$bin" "$@")" /dev/null > "$out" < /dev/null
}

on_terminal tty.txt "${common[@]}" -q build-dictionary
redraws=$(grep -o $'\rdictionary: [0-9]*/120 articles' tty.txt | wc -l)
if [[ $redraws -ge 2 ]] && grep -q $'\rdictionary: 120/120 articles (100%)' tty.txt &&
   grep -q $'\r\e\\[K' tty.txt; then
  check ok "terminal: the dictionary's progress line is drawn, redrawn and erased"
else
  check fail "terminal" "expected a redrawn progress line, got: $(cat -v tty.txt | head -c 400)"
fi
if grep -q "dictionary: 120 words\|dictionary: [0-9]* words" tty.txt; then
  check ok "terminal: the stage's own summary line follows"
else
  check fail "terminal summary" "$(cat -v tty.txt | head -c 400)"
fi

"$bin" "${common[@]}" -q build-dictionary > pipe.txt 2>&1 < /dev/null
if grep -q "articles (" pipe.txt || grep -q $'\r' pipe.txt; then
  check fail "pipe" "progress text in a pipe: $(cat -v pipe.txt | head -c 400)"
else
  check ok "pipe: no progress text"
fi

on_terminal off.txt "${common[@]}" -q --no-progress build-dictionary
if grep -q "articles (" off.txt; then
  check fail "--no-progress" "$(cat -v off.txt | head -c 400)"
else
  check ok "--no-progress: no progress text on a terminal"
fi

on_terminal loud.txt "${common[@]}" build-dictionary
if grep -q "articles (" loud.txt; then
  check fail "without -q" "the progress line would fight the per-article lines: $(cat -v loud.txt | head -c 400)"
else
  check ok "without -q on the same terminal: no progress text"
fi
# predict over a file with its answers in a file: the line goes to the terminal, not among them.
"$bin" "${common[@]}" -q pipeline --measure chi --count 300 --k 5 > /dev/null
awk -F'\t' '$1=="test"{print $4}' corpus.tsv > articles.txt
script -qec "$(printf '%q ' "$bin" "${common[@]}" predict articles.txt) > answers.txt" /dev/null \
  > predict-tty.txt < /dev/null
if grep -q $'\rpredict articles.txt: 30/30 lines (100%)' predict-tty.txt &&
   [[ $(wc -l < answers.txt) -eq 30 ]] && ! grep -q "lines (" answers.txt; then
  check ok "predict: the progress line on the terminal, the answers alone in their file"
else
  check fail "predict" "$(cat -v predict-tty.txt | head -c 300) / $(head -c 200 answers.txt)"
fi
exit $failed
