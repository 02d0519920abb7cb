# Sourced by the benchmarks that scale thucnews-titles up (bench/vector_format_bench.sh,
# bench/mpi_bench.sh):
#   repeat_headlines CORPUS.tsv.gz SIZE >corpus.tsv   its training headlines repeated to SIZE,
#                                                     then its first 3,600 testing headlines
#   categories_of corpus.tsv                           its categories, comma-separated, in order
repeat_headlines() {
  zcat "$1" | awk -F'\t' -v n="$2" '
    NR == 1 { print; next }
    $1 == "train" { train[t++] = $0 }
    $1 == "test" && s < 3600 { test[s++] = $0 }
    END { for (i = 0; i < n; i++) print train[i % t]; for (i = 0; i < s; i++) print test[i] }'
}

categories_of() {
  awk -F'\t' 'NR > 1 && !($2 in seen) { seen[$2] = 1; list = list (list ? "," : "") $2 } END { print list }' "$1"
}
