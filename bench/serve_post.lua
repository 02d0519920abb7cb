-- wrk script of bench/serve_bench.sh: POSTs the JSON bodies of a file (one body a line) to
-- /v1/predict, each connection's thread taking them in turn from its own starting line, and
-- prints its figures on one line for the script to read:
--   wrk-figures requests R seconds S p50 P p90 P p99 P connect C read R write W status S timeout T
-- (latencies in milliseconds; status counts the answers that were not 2xx or 3xx).
--
-- usage: wrk -s bench/serve_post.lua URL -- BODIES.txt

local threads = {}
local counter = 0

function setup(thread)
  thread:set("id", counter)
  counter = counter + 1
  table.insert(threads, thread)
end

function init(args)
  local path = args[1]
  if path == nil then
    error("serve_post.lua: give the bodies file after --")
  end
  requests = {}
  local headers = {["Content-Type"] = "application/json"}
  for line in io.lines(path) do
    if line ~= "" then
      table.insert(requests, wrk.format("POST", "/v1/predict", headers, line))
    end
  end
  if #requests == 0 then
    error("serve_post.lua: " .. path .. " holds no body")
  end
  -- Threads start far apart in the list, so that they do not send the same texts together.
  nextRequest = (id * 7919) % #requests + 1
end

function request()
  local answer = requests[nextRequest]
  nextRequest = nextRequest % #requests + 1
  return answer
end

function done(summary, latency, requests)
  local e = summary.errors
  io.write(string.format(
    "wrk-figures requests %d seconds %.6f p50 %.3f p90 %.3f p99 %.3f connect %d read %d write %d status %d timeout %d\n",
    summary.requests, summary.duration / 1e6, latency:percentile(50) / 1000,
    latency:percentile(90) / 1000, latency:percentile(99) / 1000,
    e.connect, e.read, e.write, e.status, e.timeout))
end
