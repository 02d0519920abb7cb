#!/usr/bin/env bash
# predict as a pipe another program keeps open: each answer must arrive while standard input is
# still open, line by line; the running program has glibc's heap on large pages. Prints
# `ok NAME` or `FAIL NAME: why`.
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

# Once running, the program has started itself again with glibc's heap on 2 MiB pages,
# keeping the user's other tunables, or the user's own choice of it.
heap_pages() {  # GLIBC_TUNABLES given (or "-" for none), GLIBC_TUNABLES expected
  local given=$1 expected=$2 pid tunables=""
  rm -f answered
  if [[ $given == - ]]; then
    { echo "出版社推出新版古典文学丛书"; sleep 20; } | env -u GLIBC_TUNABLES "$bin" "${common[@]}" predict > answered 2>&1 &
  else
    { echo "出版社推出新版古典文学丛书"; sleep 20; } | GLIBC_TUNABLES=$given "$bin" "${common[@]}" predict > answered 2>&1 &
  fi
  for _ in $(seq 300); do [[ -s answered ]] && break; sleep 0.1; done
  pid=$(pgrep -n -f -- "--data-dir data .*predict$")
  # glibc splits the variable at its colons, in place, as it reads it: the pieces follow it.
  [[ -n $pid ]] && tunables=$(tr '\0' '\n' < "/proc/$pid/environ" | awk '
    /^GLIBC_TUNABLES=/ { value = substr($0, 16); more = 1; next }
    more && /^glibc\./ { value = value ":" $0; next }
    { more = 0 }
    END { print value }')
  if [[ $tunables == "$expected" ]]; then
    echo "ok GLIBC_TUNABLES ${given/#-/unset} -> $tunables"
  else
    echo "FAIL GLIBC_TUNABLES ${given/#-/unset}: \"$tunables\", expected \"$expected\" ($(cat answered))"; failed=1
  fi
  [[ -n $pid ]] && kill "$pid" 2>/dev/null
  wait
}
heap_pages - glibc.malloc.hugetlb=1
heap_pages glibc.malloc.check=0 glibc.malloc.check=0:glibc.malloc.hugetlb=1
heap_pages glibc.malloc.hugetlb=0 glibc.malloc.hugetlb=0
exit $failed
