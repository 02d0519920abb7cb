#!/usr/bin/env bash
# Cold start of `newsclass segment` on a one-line input, without the lexicon cache and with a
# warm one (in a temporary XDG_CACHE_HOME): each way RUNS times (default 20), printing the
# fastest, median and mean wall time of a whole process in milliseconds.
# usage: bench/cold_start_bench.sh [BUILD_DIR] [RUNS]     (default: build, 20)
#        NEWSCLASS_LEXICON picks another lexicon.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
newsclass="$(realpath -m -- "${1:-$root/build}")/newsclass"
runs="${2:-20}"
lexicon="${NEWSCLASS_LEXICON:-/usr/lib/python3/dist-packages/jieba/dict.txt}"
if [[ ! -x "$newsclass" ]]; then
  echo "cold_start_bench: $newsclass not found; build it first" >&2
  exit 1
fi
work="$(mktemp -d)"
trap 'rm -rf -- "$work"' EXIT
printf '%s\n' '中国人民银行今天宣布下调金融机构存款准备金率' > "$work/headline.txt"
cd "$work"

# measure LABEL ENV...: RUNS timed runs of the command under the given environment settings.
measure() {
  local label=$1 i start end
  shift
  local times=()
  for ((i = 0; i < runs; i++)); do
    start=$EPOCHREALTIME
    env "$@" "$newsclass" --lexicon "$lexicon" segment headline.txt > /dev/null 2>&1
    end=$EPOCHREALTIME
    times+=("$(echo "($end - $start) * 1000" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | awk -v label="$label" '
    { t[NR] = $1; sum += $1 }
    END { printf "%-28s fastest %7.1f ms   median %7.1f ms   mean %7.1f ms   (%d runs)\n",
                 label, t[1], t[int((NR + 1) / 2)], sum / NR, NR }'
}

measure "without the cache" NEWSCLASS_LEXICON_CACHE=off
env XDG_CACHE_HOME="$work/cache" "$newsclass" --lexicon "$lexicon" segment headline.txt > /dev/null 2>&1
measure "with a warm cache" XDG_CACHE_HOME="$work/cache" NEWSCLASS_LEXICON_CACHE=on
