# File handling cases: the lock file, temporary files, durability, standard streams, and a
# long-lived predict. Sourced by tests/faults.sh, whose helpers these use.

# A lock file that is a symbolic link (to a file, or dangling) is refused by readers and writers
# alike, naming it; the file it points to is neither truncated nor created.
case_files_symlinked_lock() {
  local d before victim_sha what
  d=$(fresh symlinked-lock)
  printf 'precious\n' > "$work/victim"
  victim_sha=$(sha "$work/victim")
  rm -f -- "$d/newsclass.lock"
  ln -s "$work/victim" "$d/newsclass.lock"
  before=$(snapshot "$d")
  for what in predict evaluate build-dictionary pipeline; do
    case $what in
      predict) printf '国家队备战亚洲杯\n' > "$work/lines.txt"; run --data-dir "$d" -q predict "$work/lines.txt" ;;
      evaluate) run --data-dir "$d" "${ranges[@]}" -q evaluate ;;
      build-dictionary) run --data-dir "$d" "${ranges[@]}" -q build-dictionary ;;
      pipeline) run --data-dir "$d" "${ranges[@]}" -q pipeline "${pipeline_options[@]}" ;;
    esac
    expect_exit 2 "$what"
    expect_one_line_message "$what"
    expect_stderr_contains "$what" \
      "$d/newsclass.lock: not a regular file (a symbolic link or a folder); remove it"
  done
  expect_file_unchanged "victim after every command" "$work/victim" "$victim_sha"
  [[ -L $d/newsclass.lock ]] || fail "the planted link was replaced"
  expect_unchanged "with a symlinked lock" "$d" "$before"
  rm -f -- "$d/newsclass.lock"
  ln -s "$work/created" "$d/newsclass.lock"
  run --data-dir "$d" "${ranges[@]}" -q build-dictionary
  expect_exit 2 "dangling link"
  [[ ! -e $work/created ]] || fail "dangling link: its target was created"
}

# plant_temporaries DIR: stale temporary files of dead runs, and lookalikes that must stay.
plant_temporaries() {
  printf 'stale' > "$1/trainingVSM.dat.Ab3xYz.tmp"
  printf 'stale' > "$1/dict.dat.000000.tmp"
  printf 'keep' > "$1/x.tmp"
  printf 'keep' > "$1/a.ABCDEFG.tmp"
  printf 'keep' > "$1/a.ABC-EF.tmp"
  printf 'precious\n' > "$work/victim"
  ln -sfn "$work/victim" "$1/link.ABCDEF.tmp"
  mkdir -p "$1/folder.ABCDEF.tmp"
}

# names DIR: the names in DIR, one line, sorted.
names() { (cd "$1" && LC_ALL=C ls -A | tr '\n' ' '); }

# Temporary files left by dead runs: a reader leaves every file alone, a writer removes exactly
# the "<name>.XXXXXX.tmp" regular files and nothing else. Then a pipeline killed while writing
# leaves its temporary file, and the next writer removes it.
case_files_stale_temporaries() {
  local d before after_reader want pid i left
  d=$(fresh stale-temporaries)
  plant_temporaries "$d"
  before=$(names "$d")
  printf '国家队备战亚洲杯\n' > "$work/lines.txt"
  run --data-dir "$d" -q predict "$work/lines.txt"
  expect_exit 0 "predict"
  run --data-dir "$d" "${ranges[@]}" -q evaluate
  expect_exit 0 "evaluate"
  after_reader=$(names "$d")
  [[ $after_reader == "$before" ]] || fail "a reader changed the folder: $before -> $after_reader"
  run --data-dir "$d" "${ranges[@]}" -q build-dictionary
  expect_exit 0 "build-dictionary"
  want=$(echo "$before" | tr ' ' '\n' | grep -v -e '^trainingVSM.dat.Ab3xYz.tmp$' -e '^dict.dat.000000.tmp$' |
    grep -v '^$' | tr '\n' ' ')
  [[ $(names "$d") == "$want" ]] || fail "after a writer: $(names "$d"), expected $want"
  [[ $(cat "$work/victim") == precious ]] || fail "the file behind link.ABCDEF.tmp changed"

  # kill -9 while a temporary file is being written.
  d=$(fresh killed-pipeline)
  "$bin" --data-dir "$d" "${ranges[@]}" -q pipeline "${pipeline_options[@]}" \
    < /dev/null > /dev/null 2>&1 &
  pid=$!
  left=""
  for ((i = 0; i < 3000; i++)); do
    left=$(cd "$d" && ls -A | grep -E '\.[A-Za-z0-9]{6}\.tmp$' | head -n 1)
    [[ -n $left ]] && break
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.002
  done
  kill -9 "$pid" 2> /dev/null
  wait "$pid" 2> /dev/null
  left=$(cd "$d" && ls -A | grep -E '\.[A-Za-z0-9]{6}\.tmp$' | tr '\n' ' ')
  if [[ -z $left ]]; then
    note="the killed pipeline left no temporary file; planted ones only"
    return
  fi
  run --data-dir "$d" "${ranges[@]}" -q build-dictionary
  expect_exit 0 "build-dictionary after kill -9"
  left=$(cd "$d" && ls -A | grep -E '\.[A-Za-z0-9]{6}\.tmp$' | tr '\n' ' ')
  [[ -z $left ]] || fail "temporary files of the killed run stay: $left"
}

# With standard input, output or error closed, every command stops at once (exit 2) with one
# line naming the stream (when standard error is open), before it opens any file: the lock file
# and the data folder keep their bytes.
case_files_closed_streams() {
  local d before lock_sha stream
  d=$(fresh closed-streams)
  before=$(snapshot "$d")
  lock_sha=$(sha "$d/newsclass.lock")
  timeout -k 5 60 "$bin" --data-dir "$d" -q predict < /dev/null >&- 2> "$err"
  rc=$?
  expect_exit 2 "predict >&-"
  expect_one_line_message "predict >&-"
  [[ $(cat "$err") == "newsclass: standard output is closed" ]] ||
    fail "predict >&-: stderr is \"$(stderr_excerpt)\""
  timeout -k 5 60 "$bin" --data-dir "$d" -q predict <&- > "$out" 2> "$err"
  rc=$?
  expect_exit 2 "predict <&-"
  [[ $(cat "$err") == "newsclass: standard input is closed" ]] ||
    fail "predict <&-: stderr is \"$(stderr_excerpt)\""
  [[ ! -s $out ]] || fail "predict <&-: answered $(wc -l < "$out") lines"
  timeout -k 5 60 "$bin" --data-dir "$d" "${ranges[@]}" -q build-dictionary < /dev/null > "$out" 2>&-
  rc=$?
  expect_exit 2 "build-dictionary 2>&-"
  [[ ! -s $out ]] || fail "build-dictionary 2>&-: wrote to standard output"
  # Before option parsing too: a usage error would otherwise be written into a reused descriptor.
  timeout -k 5 60 "$bin" --no-such-option < /dev/null >&- 2> "$err"
  rc=$?
  expect_exit 2 "unknown option >&-"
  expect_file_unchanged "newsclass.lock" "$d/newsclass.lock" "$lock_sha"
  expect_unchanged "closed streams" "$d" "$before"
}

# Every replaced file is fsynced before its rename, and the folder after it: build-dictionary's
# dict.dat and build-vectors' pair, watched with strace.
case_files_fsync_order() {
  local d
  if ! command -v strace > /dev/null; then
    note="skipped: strace is not installed"
    return
  fi
  d=$(fresh fsync-order)
  # A sanitizer build's leak check cannot run under a tracer; the rest of its checks still do.
  local ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
  export ASAN_OPTIONS
  (cd "$work" && timeout -k 5 120 strace -f -o "$work/trace" -e trace=fsync,fdatasync,rename,renameat,renameat2,openat,close \
    "$bin" --data-dir "$d" "${ranges[@]}" -q build-dictionary < /dev/null > "$out" 2> "$err")
  rc=$?
  expect_exit 0 "build-dictionary under strace"
  check_fsync_order "build-dictionary" "$d" dict.dat
  (cd "$work" && timeout -k 5 120 strace -f -o "$work/trace" -e trace=fsync,fdatasync,rename,renameat,renameat2,openat,close \
    "$bin" --data-dir "$d" "${ranges[@]}" -q build-vectors < /dev/null > "$out" 2> "$err")
  rc=$?
  expect_exit 0 "build-vectors under strace"
  check_fsync_order "build-vectors" "$d" trainingVSM.dat testingVSM.dat
}

# check_fsync_order WHAT DIR NAME...: in $work/trace, each DIR/NAME's temporary file is fsynced
# before any of the renames, each is renamed over DIR/NAME, and DIR itself is fsynced after the
# last rename.
check_fsync_order() {
  local what=$1 dir=$2 problem
  shift 2
  problem=$(python3 - "$work/trace" "$dir" "$@" << 'PY'
import re, sys
trace, folder, names = sys.argv[1], sys.argv[2], sys.argv[3:]
fds = {}          # (pid, fd) -> path
events = []       # ("fsync", path) or ("rename", from, to)
for line in open(trace, errors="replace"):
    m = re.match(r"(\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+)", line)
    if not m:
        continue
    pid, call, args, result = m.group(1), m.group(2), m.group(3), int(m.group(4))
    if call == "openat" and result >= 0:
        p = re.search(r'"((?:[^"\\]|\\.)*)"', args)
        if p:
            fds[(pid, result)] = p.group(1)
    elif call == "close":
        fds.pop((pid, int(args.split(",")[0])), None)
    elif call in ("fsync", "fdatasync") and result == 0:
        events.append(("fsync", fds.get((pid, int(args)), "?")))
    elif call.startswith("rename") and result == 0:
        paths = re.findall(r'"((?:[^"\\]|\\.)*)"', args)
        if len(paths) == 2:
            events.append(("rename", paths[0], paths[1]))
problems = []
renames = [i for i, e in enumerate(events) if e[0] == "rename" and e[2] in [folder + "/" + n for n in names]]
if len(renames) != len(names):
    problems.append("%d renames onto %s, expected %d" % (len(renames), names, len(names)))
else:
    for i in renames:
        temporary = events[i][1]
        synced = [j for j, e in enumerate(events) if e == ("fsync", temporary)]
        if not synced or min(synced) > min(renames):
            problems.append(temporary.rsplit("/", 1)[-1] + " not fsynced before the renames")
    after = [j for j, e in enumerate(events) if e == ("fsync", folder) and j > max(renames)]
    if not after:
        problems.append("the folder is not fsynced after the rename")
print("; ".join(problems))
PY
)
  [[ -z $problem ]] || fail "$what: $problem"
}

# predict kept open on a FIFO holds the lock only while it loads: a pipeline on the same folder
# then runs to its end without waiting, and the still-running predict answers more lines.
case_files_predict_releases_lock() {
  local d fifo pid i answered
  d=$(fresh predict-open)
  fifo=$work/predict.fifo
  rm -f -- "$fifo"
  mkfifo "$fifo"
  timeout -k 5 120 "$bin" --data-dir "$d" -q predict --format tsv < "$fifo" > "$work/answers" 2> "$work/predict.err" &
  pid=$!
  exec {writer}> "$fifo"
  printf '国家队备战亚洲杯，主教练公布集训名单\n' >&"$writer"
  answered=0
  for ((i = 0; i < 300; i++)); do
    [[ $(wc -l < "$work/answers") -ge 1 ]] && { answered=1; break; }
    sleep 0.1
  done
  ((answered)) || fail "predict gave no first answer within 30 s ($(head -c 160 "$work/predict.err"))"
  RUN_TIMEOUT=60 run --data-dir "$d" "${ranges[@]}" -q pipeline "${pipeline_options[@]}"
  expect_exit 0 "pipeline beside a running predict"
  if grep -qF "in use by another newsclass run" "$err"; then
    fail "pipeline waited for predict"
  fi
  printf '出版社推出新版古典文学丛书\n' >&"$writer"
  answered=0
  for ((i = 0; i < 300; i++)); do
    [[ $(wc -l < "$work/answers") -ge 2 ]] && { answered=1; break; }
    sleep 0.1
  done
  ((answered)) || fail "predict stopped answering after the pipeline"
  exec {writer}>&-
  wait "$pid"
  rc=$?
  expect_exit 0 "predict after its input closed"
  if [[ $(wc -l < "$work/answers") == 2 ]] && ! grep -qvP '^\d+\t\S+\t[-0-9.]+$' "$work/answers"; then
    :
  else
    fail "predict's answers are not two tsv lines: $(head -c 160 "$work/answers" | tr '\n' '|')"
  fi
}

cases+=(
  files-symlinked-lock:case_files_symlinked_lock
  files-stale-temporaries:case_files_stale_temporaries
  files-closed-streams:case_files_closed_streams
  files-fsync-order:case_files_fsync_order
  files-predict-releases-lock:case_files_predict_releases_lock
)
