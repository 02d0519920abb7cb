#!/usr/bin/env bash
# Writes the fuzz targets' seed inputs into fuzz/seeds/: files newsclass itself writes from a
# small corpus cut from the sample (three training and one testing article of each category),
# so that every seed is a file the loader must accept. Run it again when a file format changes;
# with SEED-FOLDER names (lexicon_cache, vector_cache, ...) only those folders of fuzz/seeds/ are
# written again and the others are left as they are.
# Usage: fuzz/make_seeds.sh NEWSCLASS-BINARY [SEED-FOLDER...]
set -euo pipefail
cd "$(dirname "$0")/.."
newsclass=$(realpath "$1")
shift
work=$(mktemp -d)
seeds=$work/seeds
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache
unset NEWSCLASS_LEXICON_CACHE NEWSCLASS_VECTOR_CACHE

# Three training and one testing article of each category, in the sample's order.
awk -F'\t' 'NR == 1 { print; next }
            { n[$1 FS $2]++ }
            ($1 == "train" && n[$1 FS $2] <= 3) || ($1 == "test" && n[$1 FS $2] <= 1)' \
  sample/corpus.tsv >"$work/corpus.tsv"

run() {
  "$newsclass" --console-encoding gbk -q --no-progress --lexicon "$PWD/testdata/tiny_lexicon.txt" \
    --user-dict "$PWD/sample/dict.txt" --stopwords "$PWD/sample/stopwords.txt" "$@" >/dev/null \
    2>"$work/stderr" || { cat "$work/stderr" >&2; return 1; }
}
for classifier in knn linear; do
  run --data-dir "$work/$classifier" import --replace "$work/corpus.tsv"
  run --data-dir "$work/$classifier" --train-range 1-18 --test-range 1-6 \
    pipeline --count 40 --classifier "$classifier"
done
run --data-dir "$work/logistic" import --replace "$work/corpus.tsv"
run --data-dir "$work/logistic" --train-range 1-18 --test-range 1-6 \
  pipeline --count 0 --classifier logistic --terms words+chars --class-weight balanced
run --data-dir "$work/tfidf" import --replace "$work/corpus.tsv"
run --data-dir "$work/tfidf" --train-range 1-18 --test-range 1-6 \
  pipeline --measure ig --count 40 --weighting tfidf --vote similarity
for weighting in spec tfidf; do
  run --data-dir "$work/binary-$weighting" import --replace "$work/corpus.tsv"
  run --data-dir "$work/binary-$weighting" --train-range 1-18 --test-range 1-6 \
    pipeline --count 40 --weighting "$weighting" --vector-format binary
done
# predict keeps a binary copy of the training vectors in the cache folder.
echo | "$newsclass" --data-dir "$work/knn" -q --no-progress predict >/dev/null 2>&1

mkdir -p "$seeds"/{import_lines,dictionary_file,contingency_file,keywords_file,vector_file}
mkdir -p "$seeds"/{predictions_file,model_json,linear_model,lexicon,lexicon_cache,vector_cache}
mkdir -p "$seeds"/predict_input "$seeds"/binary_vector_file "$seeds"/predict_request
# The default weighting's vectors are stored densely, tfidf's sparsely.
for layout in dense:spec sparse:tfidf; do
  cp "$work/binary-${layout#*:}/trainingVSM.dat" "$seeds/binary_vector_file/training-${layout%%:*}.bin"
  cp "$work/binary-${layout#*:}/testingVSM.dat" "$seeds/binary_vector_file/testing-${layout%%:*}.bin"
done
cp "$work/corpus.tsv" "$seeds/import_lines/utf8.tsv"
iconv -f UTF-8 -t GBK "$work/corpus.tsv" >"$seeds/import_lines/gbk.tsv"
cp "$work/knn/dict.dat" "$seeds/dictionary_file/dict.dat"
cp "$work/knn/contingency.dat" "$seeds/contingency_file/contingency.dat"
for classifier in knn tfidf; do
  cp "$work/$classifier/keywords.dat" "$seeds/keywords_file/$classifier.dat"
  cp "$work/$classifier/trainingVSM.dat" "$seeds/vector_file/training-$classifier.dat"
  cp "$work/$classifier/testingVSM.dat" "$seeds/vector_file/testing-$classifier.dat"
  cp "$work/$classifier/predictions.dat" "$seeds/predictions_file/$classifier.dat"
  cp "$work/$classifier/model.json" "$seeds/model_json/$classifier.json"
done
cp "$work/linear/model.json" "$seeds/model_json/linear.json"
cp "$work/linear/linear.model" "$seeds/linear_model/six-categories.model"
cp "$work/logistic/model.json" "$seeds/model_json/logistic.json"
cp "$work/logistic/linear.model" "$seeds/linear_model/logistic-words-chars.model"
cp testdata/tiny_lexicon.txt "$seeds/lexicon/tiny_lexicon.txt"
cp sample/dict.txt "$seeds/lexicon/user_dict.txt"
cp sample/stopwords.txt "$seeds/lexicon/stopwords.txt"
cp "$XDG_CACHE_HOME"/newsclass/*.lexicon "$seeds/lexicon_cache/tiny.lexicon"
cp "$XDG_CACHE_HOME"/newsclass/*.vectors "$seeds/vector_cache/training.vectors"

# predict's first byte chooses the options (fuzz/predict_input_fuzzer.cc): 0 text from standard
# input with KNN, 3 tsv --tsv, 4 jsonl, 36 jsonl --neighbours, 24 linear from a FILE.
testing_texts() { awk -F'\t' '$1 == "test" { print $4 }' "$work/corpus.tsv"; }
{ printf '\000'; testing_texts; } >"$seeds/predict_input/text-knn"
{ printf '\003'; testing_texts | awk '{ print "a" NR "\t" $0 }'; } >"$seeds/predict_input/tsv-ids"
{ printf '\004'; testing_texts; echo; } >"$seeds/predict_input/jsonl-knn"
{ printf '\044'; testing_texts | head -n 2; } >"$seeds/predict_input/jsonl-neighbours"
{ printf '\030'; testing_texts; } >"$seeds/predict_input/text-linear-file"

# serve's request bodies: the testing texts in one request, and the fields each alone.
testing_texts | head -n 8 | python3 -c '
import json, sys
texts = [line.rstrip("\n") for line in sys.stdin]
json.dump({"texts": texts}, sys.stdout, ensure_ascii=False)' >"$seeds/predict_request/texts.json"
printf '{"texts": ["国家队备战亚洲杯", "", "ASCII"], "top": 3}' >"$seeds/predict_request/top.json"
printf '{"texts": ["\\u51fa\\u7248\\u793e"], "neighbours": true, "explain": false}' \
  >"$seeds/predict_request/flags.json"

if [[ $# -eq 0 ]]; then
  rm -rf fuzz/seeds
  cp -r "$seeds" fuzz/seeds
else
  for folder in "$@"; do
    [[ -d $seeds/$folder ]] || { echo "$0: no seed folder $folder" >&2; exit 1; }
    rm -rf "fuzz/seeds/$folder"
    cp -r "$seeds/$folder" "fuzz/seeds/$folder"
  done
fi
du -sh fuzz/seeds
