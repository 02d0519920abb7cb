#!/usr/bin/env bash
# Segmenter figures on the PKU test set of ../shared/corpora/segmentation:
#   (a) lexicon load time, (b) segmentation speed in MB of UTF-8 text per second, measured on
#   the segmenter alone (text in memory) and on the whole `newsclass segment` command,
#   (c) precision, recall and F1 against the gold segmentation.
# usage: bench/segment_bench.sh [BUILD_DIR]     (default: build; needs newsclass and
#        bench/segmenter_bench built there). NEWSCLASS_LEXICON picks another lexicon.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" 2>/dev/null && pwd || true)"
corpora="${NEWSCLASS_CORPORA:-$root/../shared/corpora}"
pku="$corpora/segmentation"
segscore="$corpora/../tools/segscore.py"
lexicon="${NEWSCLASS_LEXICON:-/usr/lib/python3/dist-packages/jieba/dict.txt}"

if [[ ! -f "$pku/pku_test.utf8" || ! -f "$pku/pku_test_gold.utf8" || ! -f "$segscore" ]]; then
  echo "segment_bench: skipped: the PKU test set or its scorer is not in $corpora"
  exit 0
fi
newsclass="$build/newsclass"
bench="$build/bench/segmenter_bench"
for program in "$newsclass" "$bench"; do
  if [[ -z "$build" || ! -x "$program" ]]; then
    echo "segment_bench: $program not found; build it first (cmake --build BUILD_DIR)" >&2
    exit 1
  fi
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# No user dictionary: a dict.txt in the current folder must not change the figures.
options=(--console-encoding utf-8 --lexicon "$lexicon" --user-dict "$work/no-user-dict.txt")

echo "lexicon: $lexicon"
echo "text:    $pku/pku_test.utf8 ($(wc -c < "$pku/pku_test.utf8") bytes)"
echo
echo "== segmenter alone: lexicon load, then the text cut over and over in memory (>= 20 MB)"
"$bench" "$lexicon" "$pku/pku_test.utf8" 20

echo
echo "== newsclass segment, whole command (start-up, reading, GBK conversion, writing UTF-8)"
size=$(wc -c < "$pku/pku_test.utf8")
copies=$(( (20000000 + size - 1) / size ))
for ((i = 0; i < copies; ++i)); do cat "$pku/pku_test.utf8"; done > "$work/big.utf8"
bytes=$(wc -c < "$work/big.utf8")
# Wall-clock and processor (user + system) seconds of the command; on a shared machine the
# processor time is the steadier figure.
TIMEFORMAT='%R %U %S'
times=$( { time "$newsclass" "${options[@]}" segment "$work/big.utf8" > "$work/big.out" 2> /dev/null; } 2>&1 )
read -r wall user system <<< "$times"
awk -v bytes="$bytes" -v wall="$wall" -v cpu="$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" \
    -v copies="$copies" 'BEGIN {
  mb = bytes / 1e6
  printf "%.1f MB (%d copies of the text): %.3f s wall = %.2f MB/s, %.3f s processor = %.2f MB/s\n",
         mb, copies, wall, mb / wall, cpu, mb / cpu
}'

echo
echo "== quality against the gold segmentation"
echo "command: $(basename "$newsclass") ${options[*]} segment $pku/pku_test.utf8"
"$newsclass" "${options[@]}" segment "$pku/pku_test.utf8" > "$work/pku.out" 2> /dev/null
python3 "$segscore" "$pku/pku_test_gold.utf8" "$work/pku.out"
