#!/usr/bin/env bash
# predict as a pipe another program keeps open: each answer must arrive while standard input is
# still open, line by line. Prints `ok NAME` or `FAIL NAME: why`.
#
#   tests/predict_stream.sh BINARY [SOURCE-DIR]
set -u
bin=$(realpath -- "$1")
src=$(realpath -- "${2:-$(dirname -- "$0")/..}")
lexicon=/usr/lib/python3/dist-packages/jieba/dict.txt
if [[ ! -f $lexicon ]]; then
  echo "predict stream test skipped: $lexicon is not installed"
  exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/newsclass-predict.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
cp "$src/sample/corpus.tsv" "$src/sample/stopwords.txt" "$src/sample/dict.txt" "$work/"
cd "$work" || exit 1
export NEWSCLASS_LEXICON_CACHE=off NEWSCLASS_VECTOR_CACHE=off
common=(--data-dir data --train-range 1-120 --test-range 1-30 --console-encoding utf-8 -q)
"$bin" "${common[@]}" import corpus.tsv > /dev/null &&
  "$bin" "${common[@]}" pipeline --measure chi --count 1000 --k 10 > /dev/null ||
  { echo "FAIL setup: the sample pipeline failed"; exit 1; }

failed=0
coproc PREDICT { "$bin" "${common[@]}" predict --format tsv 2> predict.err; }
# bash unsets PREDICT_PID as soon as it reaps the coprocess, which may happen before the wait
# below once the input is closed; the number kept here still finds its exit status.
predict_pid=$PREDICT_PID
for question in "国家队备战亚洲杯，主教练公布集训名单" "出版社推出新版古典文学丛书"; do
  echo "$question" >&"${PREDICT[1]}"
  if IFS= read -r -t 30 answer <&"${PREDICT[0]}"; then
    if [[ $answer =~ ^[0-9]+$'\t'[a-z\&]+$'\t'[0-9.]+$ ]]; then
      echo "ok answered while the input is open: $answer"
    else
      echo "FAIL answer: unexpected \"$answer\""; failed=1
    fi
  else
    echo "FAIL streaming: no answer within 30 s with the input open ($(cat predict.err))"; failed=1
    break
  fi
done
exec {PREDICT[1]}>&-
wait "$predict_pid"
status=$?
if [[ $status -eq 0 ]]; then echo "ok exits 0 when the input closes"; else echo "FAIL exit status $status"; failed=1; fi
exit $failed
