#!/usr/bin/env bash
# pipeline across MPI ranks against one process, side by side on this machine: thucnews-titles'
# training headlines repeated to each size (its first 3,600 testing headlines), the default KNN
# pipeline with 1 rank x T threads (no mpirun) and R ranks x T/R threads (mpirun), each in text
# and binary vector form. Prints the seconds, the largest peak memory of a rank, the data
# folder's size, and checks that every run wrote the same predictions. Reads the corpus from
# ../shared/corpora (skipped with a message when absent). The ranks share one machine, so mpirun
# is told to use shared memory alone (--mca pml ob1 --mca btl self,vader), which saves the 0.2 s
# UCX takes to look for networks at start-up. Each layout runs --repeat times (3 by default)
# and the median is printed, as run times on a shared virtual machine vary by a fifth from one
# run to the next. Not part of the tests.
#
# usage: bench/mpi_bench.sh [--sizes "10000 32400"] [--forms "text binary"] [--ranks 2]
#                           [--repeat 3] [--build DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/bench/headlines.sh"
corpus="$root/../shared/corpora/thucnews-titles.tsv.gz"
build="$root/build"
sizes="10000 32400"
forms="text binary"
ranks=2
repeat=3
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath "$2"); shift 2 ;;
    --sizes) sizes=$2; shift 2 ;;
    --forms) forms=$2; shift 2 ;;
    --ranks) ranks=$2; shift 2 ;;
    --repeat) repeat=$2; shift 2 ;;
    *) echo "usage: $0 [--sizes LIST] [--forms LIST] [--ranks R] [--repeat N] [--build DIR]" >&2; exit 2 ;;
  esac
done
if [ ! -f "$corpus" ]; then
  echo "mpi bench: corpus $corpus not found, skipped"
  exit 0
fi
command -v mpirun >/dev/null || { echo "mpi bench: no mpirun (Debian openmpi-bin), skipped"; exit 0; }
newsclass="$build/newsclass"
[ -x "$newsclass" ] || "$root/scripts/setup.sh" "$build" >/dev/null
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$root/sample/stopwords.txt" stopwords.txt
: >dict.txt
echo "machine: $(lscpu | awk -F'[:] +' '/Model name/{print $2; exit}'), $cores cores"
printf '%-9s %-7s %-14s %8s %14s %10s\n' training form "ranks x thr" seconds "peak GB/rank" "folder GB"
for size in $sizes; do
  repeat_headlines "$corpus" "$size" >corpus.tsv
  categories=$(categories_of corpus.tsv)
  rm -rf corpus && "$newsclass" --data-dir corpus -q import corpus.tsv >/dev/null
  db="Driver=SQLite3;Database=$work/corpus/corpus.db"
  for form in $forms; do
    for layout in "1 $cores" "$ranks $((cores / ranks > 0 ? cores / ranks : 1))"; do
      read -r r threads <<<"$layout"
      times=()
      for _ in $(seq "$repeat"); do
        rm -rf data mem.* && mkdir data
        run=("$newsclass" --db "$db" --data-dir data -q --threads "$threads" --train-range "1-$size"
             --test-range 1-3600 --categories "$categories" pipeline --vector-format "$form" --format json)
        start=$(date +%s.%N)
        if [ "$r" = 1 ]; then
          /usr/bin/time -f '%M' -o mem.0 "${run[@]}" >report.json 2>/dev/null
        else
          mpirun --oversubscribe --mca pml ob1 --mca btl self,vader -n "$r" sh -c '/usr/bin/time -f %M -o mem.$OMPI_COMM_WORLD_RANK "$@"' \
            sh "${run[@]}" >report.json 2>/dev/null
        fi
        times+=("$(echo "$(date +%s.%N) - $start" | bc)")
      done
      seconds=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
      peak=$(cat mem.* | sort -n | tail -n 1)
      folder=$(du -sb data | cut -f1)
      awk -v size="$size" -v form="$form" -v layout="$r x $threads" -v s="$seconds" -v peak="$peak" \
          -v folder="$folder" 'BEGIN {
        printf "%-9s %-7s %-14s %8.2f %14.2f %10.2f\n", size, form, layout, s, peak / 1048576, folder / 1e9 }'
      cp data/predictions.dat "predictions-$size-$form-$r.dat"
    done
  done
  first=$(ls predictions-"$size"-*.dat | head -n 1)
  for other in predictions-"$size"-*.dat; do
    cmp -s "$first" "$other" || echo "mpi bench: $other predicts differently from $first"
  done
done
