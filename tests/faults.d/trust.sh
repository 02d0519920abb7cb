# Files newsclass reads back are trusted only as far as their every value checks out: linear.model
# line by line, the binary caches value by value after their checksum; a linear model over a
# category without training articles is refused; JSON and HTML output never carry a raw control
# byte. Sourced by tests/faults.sh.

# xxh3 FILE: rewrites the last 8 bytes of FILE with the XXH3-64 of the bytes before them, as the
# caches' writers do (through the system's libxxhash, which newsclass links too).
xxh3_reseal() {
  python3 - "$1" << 'EOF'
import ctypes, ctypes.util, struct, sys
lib = ctypes.CDLL(ctypes.util.find_library("xxhash") or "libxxhash.so.0")
lib.XXH3_64bits.restype = ctypes.c_uint64
lib.XXH3_64bits.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
data = bytearray(open(sys.argv[1], "rb").read())
body = bytes(data[:-8])
data[-8:] = struct.pack("<Q", lib.XXH3_64bits(body, len(body)))
open(sys.argv[1], "wb").write(data)
EOF
}

# record_as_built DIR NAME: rewrites the "file NAME" digest in DIR/model.json for the file as it
# now is (size, modification time in ns, XXH3-64), as if a stage had just written it, so that a
# file damaged on purpose reaches its loader's own checks instead of the stale-file check.
record_as_built() {
  python3 - "$1" "$2" << 'EOF'
import ctypes, ctypes.util, json, os, sys
folder, name = sys.argv[1], sys.argv[2]
lib = ctypes.CDLL(ctypes.util.find_library("xxhash") or "libxxhash.so.0")
lib.XXH3_64bits.restype = ctypes.c_uint64
lib.XXH3_64bits.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
path = os.path.join(folder, name)
data = open(path, "rb").read()
status = os.stat(path)
model_path = os.path.join(folder, "model.json")
facts = json.loads(open(model_path, "rb").read().decode("latin-1"))
facts["file " + name] = "%d %d %016x" % (len(data), status.st_mtime_ns,
                                         lib.XXH3_64bits(data, len(data)))
body = ",\n  ".join(json.dumps(k) + ": " + json.dumps(v) for k, v in sorted(facts.items()))
open(model_path, "wb").write(("{\n  " + body + "\n}\n").encode("latin-1"))
EOF
}

# patch_bytes FILE OFFSET HEX: writes the bytes HEX at OFFSET of FILE (a negative OFFSET counts
# from the end).
patch_bytes() {
  python3 - "$@" << 'EOF'
import sys
path, offset, value = sys.argv[1], int(sys.argv[2]), bytes.fromhex(sys.argv[3])
data = bytearray(open(path, "rb").read())
if offset < 0:
    offset += len(data)
data[offset:offset + len(value)] = value
open(path, "wb").write(data)
EOF
}

# A linear.model damaged in each way liblinear itself would accept: predict refuses it with the
# line at fault (exit 2), liblinear prints nothing of its own, and the folder stays as it was.
case_trust_linear_model() {
  local d good before answers damage edit lines
  d=$(fresh trust-linear)
  run --data-dir "$d" "${ranges[@]}" -q pipeline --measure chi --count 1000 --classifier linear
  expect_exit 0 "linear pipeline"
  [[ -z $why ]] || return
  printf '%s\n' "考古队在豫北发现商代晚期贵族墓葬群" "本届电影节开幕影片" > trust-in.txt
  run --data-dir "$d" -q predict trust-in.txt
  expect_exit 0 "predict with the trained model"
  answers=$(cat "$out")
  good=$work/trust-linear.model
  cp "$d/linear.model" "$good"
  lines=$(wc -l < "$good")
  # sed expression|what the message must say after the file's name
  for damage in \
    "2s/.*/nr_class 5/|line 2: nr_class 5 does not match the 6 categories" \
    "2s/.*/nr_klass 6/|line 2: \"nr_klass 6\" is not the nr_class line" \
    "3s/.*/label 0 1 2 3 4 4/|line 3: label 4 is listed twice" \
    "3s/.*/label 0 1 2 3 4 9/|line 3: label \"9\" is not a category number (0 to 5)" \
    "4s/.*/nr_feature -5/|line 4: nr_feature -5 is not a feature count" \
    "5s/.*/bias nan/|line 5: bias \"nan\" is not 1" \
    "7s/^[^ ]*/nan/|line 7: weight 1 \"nan\" is not a finite number" \
    "\$s/ [^ ]* \$/ -inf /|line $lines: weight 6 \"-inf\" is not a finite number" \
    "\$a 0 0 0 0 0 0|line $((lines + 1)): text after the" \
    "\$d|line $lines: weight row $((lines - 6)) of $((lines - 6)) is missing"; do
    edit=${damage%%|*}
    sed "$edit" "$good" > "$d/linear.model"
    record_as_built "$d" linear.model
    before=$(snapshot "$d")
    run --data-dir "$d" -q predict trust-in.txt
    expect_exit 2 "predict ($edit)"
    expect_one_line_message "predict ($edit)"
    expect_stderr_contains "predict ($edit)" "$d/linear.model: ${damage##*|}"
    grep -q "unknown text\|18446744073709551611" "$err" && fail "predict ($edit): liblinear's own reading shows"
    [[ -s $out ]] && fail "predict ($edit): answered from a refused model"
    expect_unchanged "predict ($edit)" "$d" "$before"
  done
  # The file as trained still loads and answers as before.
  cp "$good" "$d/linear.model"
  record_as_built "$d" linear.model
  run --data-dir "$d" -q predict trust-in.txt
  expect_exit 0 "predict with the model restored"
  [[ $(cat "$out") == "$answers" ]] || fail "the restored model answers otherwise"
  rm -f trust-in.txt "$good"
}

# A vector cache and a lexicon cache forged with a NaN and a recomputed checksum: predict answers
# as from the text files and rewrites each cache as it was saved.
case_trust_forged_caches() {
  local d answers cache lexicon good_cache good_lexicon
  d=$(fresh trust-caches)
  printf '%s\n' "考古队在豫北发现商代晚期贵族墓葬群" "本届电影节开幕影片" > trust-in.txt
  ls "$XDG_CACHE_HOME/newsclass" > "$work/trust-caches.before" 2> /dev/null
  run --data-dir "$d" -q predict trust-in.txt
  expect_exit 0 "predict (saves the caches)"
  answers=$(cat "$out")
  cache=$(ls "$XDG_CACHE_HOME/newsclass" | grep -vxF -f "$work/trust-caches.before" | grep '^trainingVSM\.dat-.*\.vectors$')
  lexicon=$(ls "$XDG_CACHE_HOME/newsclass" | grep '\.lexicon$' | head -n 1)
  if [[ -z $cache || -z $lexicon ]]; then
    fail "no new vector cache or no lexicon cache in $XDG_CACHE_HOME/newsclass"
    return
  fi
  cache=$XDG_CACHE_HOME/newsclass/$cache
  lexicon=$XDG_CACHE_HOME/newsclass/$lexicon
  good_cache=$(sha "$cache")
  good_lexicon=$(sha "$lexicon")
  # The first weight of the vector cache: after the 40-byte frame header and the key padded to
  # 8 bytes comes the payload, whose vector count and length (16 bytes) precede the ids, padded
  # to 8 bytes too.
  local weights
  weights=$(python3 -c 'import struct, sys
f = open(sys.argv[1], "rb")
key, = struct.unpack("<Q", f.read(40)[24:32])
pad = lambda n: (n + 7) // 8 * 8
f.seek(40 + pad(key))
count, dim = struct.unpack("<QQ", f.read(16))
print(40 + pad(key) + 16 + pad(count * 4))' "$cache")
  patch_bytes "$cache" "$weights" 000000000000f87f   # a quiet NaN
  xxh3_reseal "$cache"
  # The last node's value of the lexicon cache (just before the checksum).
  patch_bytes "$lexicon" -16 000000000000f87f
  xxh3_reseal "$lexicon"
  [[ $(sha "$cache") != "$good_cache" && $(sha "$lexicon") != "$good_lexicon" ]] ||
    fail "the forged caches equal the saved ones; the case tests nothing"
  run --data-dir "$d" -q predict trust-in.txt
  expect_exit 0 "predict over forged caches"
  [[ $(cat "$out") == "$answers" ]] || fail "predict over forged caches answers otherwise"
  expect_file_unchanged "the vector cache, rebuilt" "$cache" "$good_cache"
  expect_file_unchanged "the lexicon cache, rebuilt" "$lexicon" "$good_lexicon"
  rm -f trust-in.txt "$work/trust-caches.before"
}

# A listed category without a training article: the linear classifier refuses it by name before
# any stage writes; KNN works with the same list.
case_trust_category_without_articles() {
  local d before
  d=$(fresh trust-empty-category)
  before=$(snapshot "$d")
  run --data-dir "$d" "${ranges[@]}" --categories history,culture,nosuch -q pipeline \
    --measure chi --count 1000 --classifier linear
  expect_exit 1 "linear pipeline"
  expect_one_line_message "linear pipeline"
  expect_stderr_contains "linear pipeline" "--categories: nosuch has no training article in TrainingCorpus ids 1-120"
  expect_unchanged "linear pipeline" "$d" "$before"
  run --data-dir "$d" "${ranges[@]}" --categories history,culture,nosuch -q classify --classifier linear
  expect_exit 1 "linear classify"
  expect_stderr_contains "linear classify" "nosuch has no training article"
  expect_unchanged "linear classify" "$d" "$before"
  run --data-dir "$d" "${ranges[@]}" --categories history,culture,nosuch -q pipeline \
    --measure chi --count 1000 --k 10 --format json
  expect_exit 0 "KNN pipeline"
  grep -q 'inf\|nan' "$out" && fail "KNN pipeline json holds inf or nan"
}

# Categories and titles holding DEL, ESC and BEL: evaluate's json, pipeline's json, predict's
# jsonl and model.json parse as JSON and give the names back; the HTML page holds no raw control
# byte but its line ends.
case_trust_control_bytes_in_output() {
  local d cats
  d=$work/trust-ctl
  rm -rf -- "$d"
  mkdir "$d"
  python3 - corpus.tsv trust-ctl.tsv << 'EOF'
import sys
rows = open(sys.argv[1], encoding="utf-8").read().split("\n")
names = {"history": "hi\x7fstory", "culture": "cul\x1bture", "reading": "read\x07ing"}
out = [rows[0]]
for row in rows[1:]:
    if not row:
        continue
    f = row.split("\t")
    f[1] = names.get(f[1], f[1])
    if f[0] == "test":
        f[2] = "\x1b[31m\x07" + f[2] + "\x7f"
        # Stored as another category: these testing articles are misclassified, so the page
        # lists them with their titles.
        if f[1] == "hi\x7fstory":
            f[1] = "cul\x1bture"
    out.append("\t".join(f))
open(sys.argv[2], "w", encoding="utf-8").write("\n".join(out) + "\n")
EOF
  cats=$'hi\x7fstory,cul\x1bture,read\x07ing,military,society&law,entertainment'
  run --data-dir "$d" -q import --replace trust-ctl.tsv
  expect_exit 0 "import"
  run --data-dir "$d" "${ranges[@]}" --categories "$cats" -q pipeline "${pipeline_options[@]}" --format json
  expect_exit 0 "pipeline"
  cp "$out" "$work/trust-pipeline.json"
  run --data-dir "$d" -q evaluate --format json
  expect_exit 0 "evaluate json"
  cp "$out" "$work/trust-evaluate.json"
  run --data-dir "$d" -q evaluate --format html
  expect_exit 0 "evaluate html"
  cp "$out" "$work/trust-evaluate.html"
  printf '7\t\x1b[31m考古\x07队在豫北发现商代晚期贵族墓葬群\x7f\n8\t电影节\n' > trust-ctl-in.tsv
  run --data-dir "$d" -q predict --tsv --format jsonl trust-ctl-in.tsv
  expect_exit 0 "predict jsonl"
  cp "$out" "$work/trust-predict.jsonl"
  [[ -z $why ]] || return
  local result
  result=$(python3 - "$work" "$d/model.json" "$cats" << 'EOF' 2>&1
import json, sys
work, model, cats = sys.argv[1], sys.argv[2], sys.argv[3]
names = cats.split(",")
problems = []
def load(path, text):
    try:
        return json.loads(text)
    except ValueError as error:
        problems.append("%s is not JSON: %s" % (path, error))
for path in (work + "/trust-pipeline.json", work + "/trust-evaluate.json"):
    doc = load(path, open(path, encoding="utf-8").read())
    if doc is not None and not set(names[:3]) <= set(doc["confusion"]["labels"]):
        problems.append("%s: labels %r lack the control-byte names" % (path, doc["confusion"]["labels"]))
lines = open(work + "/trust-predict.jsonl", encoding="utf-8").read().splitlines()
if len(lines) != 2:
    problems.append("predict gave %d lines, expected 2" % len(lines))
seen = set()
for line in lines:
    answer = load("predict's jsonl", line)
    if answer is not None:
        # A line without a keyword of the model has an empty answer and no top list.
        for top in answer.get("top", []):
            seen.add(top["category"])
            if top["category"] not in names:
                problems.append("predict's jsonl: unknown category %r" % top["category"])
if not seen & set(names[:3]):
    problems.append("predict's jsonl names no category holding a control byte: %r" % sorted(seen))
doc = load(model, open(model, encoding="utf-8").read())
if doc is not None and doc.get("categories") != cats:
    problems.append("model.json: categories %r" % doc.get("categories"))
page = open(work + "/trust-evaluate.html", "rb").read()
raw = sorted({hex(b) for b in page if (b < 0x20 and b != 0x0A) or b == 0x7F})
if raw:
    problems.append("the HTML page holds raw control bytes " + " ".join(raw))
for shown in (b"hi\\x7fstory", b"cul\\x1bture", b"\\x1b[31m\\x07"):
    if shown not in page:
        problems.append("the HTML page does not show %r" % shown.decode())
print("; ".join(problems))
EOF
)
  [[ -z $result ]] || fail "$result"
  rm -rf -- "$d" trust-ctl.tsv trust-ctl-in.tsv "$work"/trust-*.json "$work"/trust-predict.jsonl \
    "$work/trust-evaluate.html"
}

cases+=(
  trust-linear-model:case_trust_linear_model
  trust-forged-caches:case_trust_forged_caches
  trust-category-without-articles:case_trust_category_without_articles
  trust-control-bytes-in-output:case_trust_control_bytes_in_output
)
