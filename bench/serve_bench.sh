#!/usr/bin/env bash
# newsclass serve on loopback, measured with wrk (bench/serve_post.lua POSTs JSON bodies to
# /v1/predict), beside the service users would write instead (bench/peer_serve.py: jieba +
# scikit-learn behind Python's ThreadingHTTPServer) in the same run. Imports
# ../shared/corpora/thucnews-titles.tsv.gz (skipped cleanly when absent), builds the linear model
# of the README's command line for headlines (words+chars, every term, linear SVMs raised by the
# ten nearest headlines) and the default KNN model, and for each server and model measures, for
# --seconds each after a one-second warm-up:
#   - one headline per request on one connection (wrk -c1 -t1): requests/s, the client's latency
#     p50/p90/p99 (wrk) and the server's time p50/p99 (the access lines' "ms" figure);
#   - batches of 32 testing headlines per request (rotated across requests) on 8 connections
#     (wrk -c8 -t2): headlines/s and the same percentiles;
# then, for the linear model, reload under load: while wrk runs 8 connections with batches of 32,
# reruns the pipeline on the served data folder once, then sends SIGHUP twice (each once the
# previous model answers), and checks that no request failed, that every answer came from a model
# generation the server had loaded and that no connection was answered by an older model after a
# newer one; prints how slow the first answers of each new model were.
# Prints the goals beside the figures. wrk, the servers and the pipeline share the machine's
# cores. Every server it starts is stopped (SIGTERM) and its exit status checked. Not part of the
# tests.
#
# usage: bench/serve_bench.sh [CORPUS.tsv[.gz]] [--seconds S] [--build DIR] [--no-peer]
#   S: seconds of each measured wrk run (default 10)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
corpus="$root/../shared/corpora/thucnews-titles.tsv.gz"
build="$root/build"
seconds=10
peer=1
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$(realpath "$2"); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --no-peer) peer=0; shift ;;
    -*) echo "usage: $0 [CORPUS.tsv[.gz]] [--seconds S] [--build DIR] [--no-peer]" >&2; exit 2 ;;
    *) corpus=$1; shift ;;
  esac
done
if [ ! -f "$corpus" ]; then
  echo "serve bench: corpus $corpus not found, skipped"
  exit 0
fi
case "$seconds" in
  ''|*[!0-9]*|0) echo "serve bench: --seconds takes a whole number of seconds from 1" >&2; exit 2 ;;
esac
for tool in wrk curl /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "serve bench needs $tool (apt-get install wrk curl python3)"; exit 1; }
done
if [ "$peer" = 1 ] && ! /usr/bin/python3 -c 'import jieba, sklearn' 2>/dev/null; then
  echo "serve bench: no python3-jieba or python3-sklearn, the peer is left out (apt-get install python3-jieba python3-sklearn)"
  peer=0
fi
newsclass="$build/newsclass"
[ -x "$newsclass" ] || "$root/scripts/setup.sh" "$build" >/dev/null

work=$(mktemp -d)
started=()  # every process started in the background and not yet waited for
forget() { local kept=() pid; for pid in "${started[@]}"; do [ "$pid" = "$1" ] || kept+=("$pid"); done; started=("${kept[@]}"); }
cleanup() {
  local pid
  for pid in "${started[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${started[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cd "$work"
case "$corpus" in
  *.gz) zcat "$corpus" >corpus.tsv ;;
  *) cp "$corpus" corpus.tsv ;;
esac
cp "$root/sample/stopwords.txt" stopwords.txt
: >dict.txt  # no user words
export XDG_CACHE_HOME=$work/cache TMPDIR=$work  # the lexicon cache and jieba's stay in here
categories=$(awk -F'\t' '($1=="train"||$1=="test") && !($2 in s){s[$2]=1; o=o (o?",":"") $2} END{print o}' corpus.tsv)
read -r training testing < <(awk -F'\t' '$1=="train"{r++} $1=="test"{e++} END{print r+0, e+0}' corpus.tsv)
awk -F'\t' '$1=="test"{print ($4 != "" ? $4 : $3)}' corpus.tsv >testing.txt
# One body a line: each testing headline alone, and the testing headlines 32 at a time.
/usr/bin/python3 - testing.txt <<'PY'
import json, sys
lines = [l.rstrip('\n') for l in open(sys.argv[1], encoding='utf-8')]
with open('single.txt', 'w', encoding='utf-8') as out:
    for line in lines:
        out.write(json.dumps({'texts': [line], 'top': 3}, ensure_ascii=False) + '\n')
with open('batch32.txt', 'w', encoding='utf-8') as out:
    for start in range(0, len(lines) - 31, 32):
        out.write(json.dumps({'texts': lines[start:start + 32], 'top': 3}, ensure_ascii=False) + '\n')
PY
cores=$(nproc)
echo "machine: $(lscpu | awk -F': +' '/Model name/{print $2; exit}'), $cores cores, $(free -g | awk '/Mem:/{print $2}') GB"
echo "corpus: $(basename "$corpus"), $training training and $testing testing headlines; $seconds s per run after 1 s of warm-up; wrk and the servers share the $cores cores (load average before: $(cut -d' ' -f1-3 /proc/loadavg))"

common=(--train-range "1-$training" --test-range "1-$testing" --categories "$categories" -q
        --console-encoding utf-8)
linear_options=(pipeline --terms words+chars --classifier linear --count 0 --knn-weight 0.5 --k 10)
knn_options=(pipeline)
"$newsclass" --data-dir base "${common[@]}" import corpus.tsv >/dev/null 2>&1
for model in linear knn; do
  mkdir -p "$model"
  cp base/corpus.db "$model/"
done
"$newsclass" --data-dir linear "${common[@]}" "${linear_options[@]}" >linear-pipeline.out 2>&1 ||
  { echo "serve bench: the linear pipeline failed:"; tail -5 linear-pipeline.out; exit 1; }
"$newsclass" --data-dir knn "${common[@]}" "${knn_options[@]}" >knn-pipeline.out 2>&1 ||
  { echo "serve bench: the KNN pipeline failed:"; tail -5 knn-pipeline.out; exit 1; }

problems=()  # what went wrong with a server, printed at the end
server_pid=
port=
start_server() {  # log file, then the command; sets server_pid and port once /v1/health says 200
  local log=$1
  shift
  "$@" 2>"$log" >/dev/null &
  server_pid=$!
  started+=("$server_pid")
  port=
  local waited=0
  while [ -z "$port" ]; do
    port=$(sed -n '1s/.*listening on http:\/\/[^:]*:\([0-9][0-9]*\).*/\1/p' "$log")
    [ -n "$port" ] && break
    kill -0 "$server_pid" 2>/dev/null || { echo "serve bench: $* ended before it listened:"; tail -5 "$log"; exit 1; }
    sleep 0.1
    waited=$((waited + 1))
    [ "$waited" -lt 1800 ] || { echo "serve bench: $* did not listen within 180 s"; exit 1; }
  done
  until [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/v1/health")" = 200 ]; do
    kill -0 "$server_pid" 2>/dev/null || { echo "serve bench: $* ended before it was ready:"; tail -5 "$log"; exit 1; }
    sleep 0.1
    waited=$((waited + 1))
    [ "$waited" -lt 1800 ] || { echo "serve bench: $* was not ready within 180 s"; exit 1; }
  done
}

stop_server() {  # name; SIGTERM, then the exit status must be 0
  local name=$1 status=0
  kill -TERM "$server_pid"
  wait "$server_pid" || status=$?
  forget "$server_pid"
  [ "$status" = 0 ] || problems+=("$name exited with status $status after SIGTERM")
}

# The server's times of the answered predictions in the log from line FROM on, one a line.
server_times() {
  tail -n "+$2" "$1" | awk '/"POST \/v1\/predict" 200 / {for (i = 2; i <= NF; i++) if ($i == "ms") print $(i - 1)}'
}
# The nearest-rank percentile P of the numbers on standard input.
percentile() {
  sort -g | awk -v p="$1" '{v[NR] = $1} END {if (NR == 0) {print "nan"; exit} i = int(p / 100 * NR); if (i < p / 100 * NR) i++; if (i < 1) i = 1; print v[i]}'
}

printf '%-28s %4s %5s %10s %11s %25s %17s %7s  %s\n' "server, model" conn texts requests/s headlines/s \
  "client p50/p90/p99 ms" "server p50/p99 ms" failed goal
measure() {  # label, log, connections, wrk threads, bodies file, texts per body, goal kind
  local label=$1 log=$2 connections=$3 threads=$4 bodies=$5 texts=$6 goal=$7 from figures
  wrk -t"$threads" -c"$connections" -d1s --timeout 5s -s "$root/bench/serve_post.lua" \
    "http://127.0.0.1:$port/v1/predict" -- "$bodies" >/dev/null
  sleep 0.2  # the warm-up's last access lines
  from=$(($(wc -l <"$log") + 1))
  wrk -t"$threads" -c"$connections" -d"${seconds}s" --timeout 5s --latency -s "$root/bench/serve_post.lua" \
    "http://127.0.0.1:$port/v1/predict" -- "$bodies" >wrk.out
  figures=$(grep '^wrk-figures ' wrk.out) || { echo "serve bench: wrk printed no figures:"; cat wrk.out; exit 1; }
  sleep 0.2
  local server_p50 server_p99
  server_p50=$(server_times "$log" "$from" | percentile 50)
  server_p99=$(server_times "$log" "$from" | percentile 99)
  local refused
  refused=$(tail -n "+$from" "$log" | grep -c '"POST /v1/predict" [^2]' || true)
  [ "$refused" = 0 ] || problems+=("$label, $connections connections: $refused predictions answered with a status other than 2xx (access log)")
  awk -v label="$label" -v c="$connections" -v texts="$texts" -v goal="$goal" -v s50="$server_p50" \
      -v s99="$server_p99" -v f="$figures" 'BEGIN {
    n = split(f, w, " "); for (i = 2; i < n; i += 2) v[w[i]] = w[i + 1]
    rps = v["requests"] / v["seconds"]; failed = v["connect"] + v["read"] + v["write"] + v["status"] + v["timeout"]
    g = "-"
    if (goal == "latency") g = "server p50 < 1 ms, p99 < 5 ms: " ((s50 + 0 < 1 && s99 + 0 < 5) ? "met" : "MISSED")
    else if (goal ~ /^[0-9]+$/) g = sprintf(">= %d headlines/s: %s", goal, rps * texts >= goal ? "met" : "MISSED")
    printf "%-28s %4d %5d %10.0f %11.0f %25s %17s %7d  %s\n", label, c, texts, rps, rps * texts,
      sprintf("%.3f / %.3f / %.3f", v["p50"], v["p90"], v["p99"]), sprintf("%.3f / %.3f", s50, s99), failed, g }'
}

for model in linear knn; do
  start_server "serve-$model.err" "$newsclass" --data-dir "$model" "${common[@]}" serve --port 0
  measure "newsclass, $model" "serve-$model.err" 1 1 single.txt 1 latency
  measure "newsclass, $model" "serve-$model.err" 8 2 batch32.txt 32 "$([ "$model" = linear ] && echo 20000 || echo 10000)"
  stop_server "newsclass serve ($model)"
done
if [ "$peer" = 1 ]; then
  for model in linearsvc-words-chars knn; do
    start_server "peer-$model.err" /usr/bin/python3 "$root/bench/peer_serve.py" corpus.tsv stopwords.txt \
      --classifier "$model" --port 0
    measure "peer, $model" "peer-$model.err" 1 1 single.txt 1 -
    measure "peer, $model" "peer-$model.err" 8 2 batch32.txt 32 -
    stop_server "peer ($model)"
  done
fi

# Reload under load, one event after the other while wrk runs (8 connections, batches of 32) so
# that each reload path is taken on its own: after a second, the pipeline is run again on the
# served folder (its model.json records the new files' times, so the server, which looks at it
# every second, loads it); once that model answers, SIGHUP; once that one answers, SIGHUP again.
# wrk runs --seconds, or until a second after the last load if that is later.
log=serve-reload.err
loads_ended() { grep -E -c '^newsclass serve: (model [0-9]+ loaded in|loading model [0-9]+ failed)' "$log" || true; }
wait_for_loads() {  # the number of ended loads to wait for (model 1's included), what began them
  local waited=0
  until [ "$(loads_ended)" -ge "$1" ]; do
    sleep 0.1
    waited=$((waited + 1))
    if [ "$waited" -ge 300 ]; then
      problems+=("reload under load: the load after $2 had not ended 30 s later")
      return 0
    fi
  done
}
start_server "$log" "$newsclass" --data-dir linear "${common[@]}" serve --port 0
from=$(($(wc -l <"$log") + 1))
wrk_start=$(date +%s.%N)
wrk -t2 -c8 -d"$((seconds * 10))s" --timeout 5s -s "$root/bench/serve_post.lua" \
  "http://127.0.0.1:$port/v1/predict" -- batch32.txt >wrk-reload.out &
wrk_pid=$!
started+=("$wrk_pid")
sleep 1
pipeline_status=0
"$newsclass" --data-dir linear "${common[@]}" "${linear_options[@]}" >reload-pipeline.out 2>&1 ||
  pipeline_status=$?
if [ "$pipeline_status" = 0 ]; then
  wait_for_loads 2 "the pipeline rewrote the folder"
else
  problems+=("the pipeline rerun under load failed with status $pipeline_status: $(tail -n 1 reload-pipeline.out)")
fi
kill -HUP "$server_pid"
wait_for_loads "$(($(loads_ended) + 1))" "the first SIGHUP"
kill -HUP "$server_pid"
wait_for_loads "$(($(loads_ended) + 1))" "the second SIGHUP"
sleep 1
rest=$(awk -v s="$seconds" -v a="$wrk_start" -v b="$(date +%s.%N)" 'BEGIN {r = s - (b - a); print (r > 0 ? r : 0)}')
sleep "$rest"
kill -INT "$wrk_pid"  # wrk stops and prints its figures
wait "$wrk_pid"
forget "$wrk_pid"
wrk_lines=$(wc -l <"$log")  # the log's lines written while wrk ran
stop_server "newsclass serve (reload under load)"
figures=$(grep '^wrk-figures ' wrk-reload.out) || { echo "serve bench: wrk printed no figures:"; cat wrk-reload.out; exit 1; }
echo
awk -v f="$figures" -v logfile="$log" -v from="$from" -v until="$wrk_lines" '
  BEGIN { n = split(f, w, " "); for (i = 2; i < n; i += 2) v[w[i]] = w[i + 1] }
  FILENAME == logfile && /^newsclass serve: model [0-9]+ loaded in/ {
    loaded[$4] = 1; order = order " " $4; if (FNR <= until) during[$4] = 1 }
  FILENAME == logfile && /^newsclass serve: loading model [0-9]+ failed/ { failedLoads = failedLoads "; " $0 }
  FILENAME == logfile && FNR >= from && /"POST \/v1\/predict" / {
    answered++
    if ($4 != 200) { refused++; next }
    generation = $NF; connection = $1
    seen[generation]++
    for (i = 2; i <= NF; i++) if ($i == "ms") ms = $(i - 1) + 0
    if (seen[generation] <= 8 && ms > firstSlowest[generation]) firstSlowest[generation] = ms
    if (!(generation in loaded)) unknown++
    if (connection in last && generation + 0 < last[connection]) backwards++
    last[connection] = generation + 0
  }
  END {
    failed = v["connect"] + v["read"] + v["write"] + v["status"] + v["timeout"]
    list = ""
    for (g = 1; g <= 1000; g++) if (g in seen) list = list " " g
    printf "reload under load (1 pipeline rerun, 2 SIGHUP; linear, 8 connections, batches of 32, %.1f s): %d requests, %d failed, generations seen:%s\n",
      v["seconds"], v["requests"], failed + refused, list
    printf "  wrk: %d non-2xx answers, socket errors connect %d read %d write %d timeout %d; client p50/p90/p99 %.3f / %.3f / %.3f ms\n",
      v["status"], v["connect"], v["read"], v["write"], v["timeout"], v["p50"], v["p90"], v["p99"]
    printf "  access log: %d predictions answered, %d not 200; generations loaded:%s\n", answered, refused, order
    for (g = 1; g <= 1000; g++) if (g in seen)
      printf "    model %d answered %d predictions; the slowest of its first 8: %.3f ms\n", g, seen[g], firstSlowest[g]
    if (unknown) printf "  FAILED: %d answers name a generation the server never reported loading\n", unknown
    if (backwards) printf "  FAILED: %d answers came from an older model than the previous answer on the same connection\n", backwards
    for (g in during) if (!(g in seen)) printf "  note: model %d was loaded while wrk ran but answered no prediction\n", g
    if (failedLoads != "") printf "  model loads that failed: %s\n", substr(failedLoads, 3)
  }' "$log"
server_p99=$(server_times "$log" "$from" | percentile 99)
server_max=$(server_times "$log" "$from" | sort -g | tail -n 1)
echo "  server time during the reloads: p50 $(server_times "$log" "$from" | percentile 50) ms, p99 $server_p99 ms, slowest $server_max ms"
grep -E '^newsclass serve: ' "$log" | sed 's/^/  /'

if [ ${#problems[@]} -gt 0 ]; then
  echo
  printf 'problem: %s\n' "${problems[@]}"
fi
