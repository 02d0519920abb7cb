#!/usr/bin/env python3
"""newsclass serve against the built program: the answers equal predict's for the sample
corpus's testing texts (KNN, linear, logistic), every refused request with its status and
message, the limits, slow clients, reload (a changed model.json, SIGHUP, a model that fails to
load) and the drain on SIGTERM. Prints `ok NAME` or `FAIL NAME: why`; exit 1 on a failure,
77 when the segmenter's lexicon is not installed.

    tests/serve_test.py BINARY SOURCE-DIR
"""
import http.client
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

LEXICON = "/usr/lib/python3/dist-packages/jieba/dict.txt"
COMMON = ["--train-range", "1-120", "--test-range", "1-30", "--console-encoding", "utf-8", "-q"]

failures = []


def check(name, condition, why=""):
    if condition:
        print(f"ok {name}")
    else:
        print(f"FAIL {name}: {why}")
        failures.append(name)


class Server:
    """A newsclass serve process on a free loopback port."""

    def __init__(self, binary, folder, *options):
        self.log_path = os.path.join(folder, "..", os.path.basename(folder) + "-serve.log")
        self.log = open(self.log_path, "w+b")
        self.process = subprocess.Popen(
            [binary, "--data-dir", folder, *COMMON, "serve", "--port", "0", *options],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.log)
        self.port = None
        deadline = time.time() + 30
        while time.time() < deadline and self.port is None:
            match = re.search(rb"listening on http://127\.0\.0\.1:(\d+)", self.log_text().encode())
            if match:
                self.port = int(match.group(1))
            elif self.process.poll() is not None:
                raise RuntimeError("serve ended: " + self.log_text())
            else:
                time.sleep(0.02)
        if self.port is None:
            raise RuntimeError("serve did not listen: " + self.log_text())
        self.wait_ready()

    def log_text(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode("utf-8", "replace")

    def wait_ready(self, generation=1, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            status, body = self.request("GET", "/v1/health")
            if status == 200 and json.loads(body)["model"]["generation"] >= generation:
                return json.loads(body)
            if self.process.poll() is not None:
                raise RuntimeError("serve ended: " + self.log_text())
            time.sleep(0.05)
        raise RuntimeError(f"model {generation} not ready: " + self.log_text())

    def request(self, method, path, body=None, headers=None, connection=None):
        own = connection is None
        connection = connection or http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        if isinstance(body, (dict, list)):
            body = json.dumps(body, ensure_ascii=False).encode()
        elif isinstance(body, str):
            body = body.encode()
        connection.request(method, path, body=body, headers=headers or {})
        response = connection.getresponse()
        data = response.read()
        self.last_headers = response.headers
        if own:
            connection.close()
        return response.status, data.decode("utf-8")

    def predict(self, texts, **fields):
        status, body = self.request("POST", "/v1/predict", dict(texts=texts, **fields))
        if status != 200:
            raise RuntimeError(f"predict answered {status}: {body}")
        return json.loads(body)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()
        return self.process.returncode


def run(binary, folder, *arguments, stdin=None):
    return subprocess.run([binary, "--data-dir", folder, *COMMON, *arguments], input=stdin,
                          capture_output=True, check=True).stdout.decode("utf-8")


def predicted(binary, folder, lines, *options):
    """predict's jsonl answers to the lines, as (label, scores, extra) per line."""
    text = "".join(line + "\n" for line in lines)
    answers = []
    for row in run(binary, folder, "predict", "--format", "jsonl", *options,
                   stdin=text.encode()).splitlines():
        answer = json.loads(row)
        answers.append(answer)
    return answers


def same_answers(served, expected, what):
    """The server's results against predict's jsonl answers, scores compared as doubles."""
    for i, (result, answer) in enumerate(zip(served["results"], expected)):
        label = answer["category"]
        scores = [(s["category"], s["score"]) for s in answer.get("top", [])]
        got = [(s["category"], s["score"]) for s in result["scores"]]
        if result["label"] != label or got != scores:
            return f"{what} text {i}: served {result['label']} {got}, predict {label} {scores}"
        for extra in ("neighbours", "terms"):
            if extra in answer and answer[extra] != result.get(extra):
                return f"{what} text {i}: {extra} {result.get(extra)} vs {answer[extra]}"
    if len(served["results"]) != len(expected):
        return f"{what}: {len(served['results'])} results for {len(expected)} texts"
    return ""


def testing_texts(source):
    texts = []
    with open(os.path.join(source, "sample", "corpus.tsv"), encoding="utf-8") as corpus:
        next(corpus)
        for row in corpus:
            split, _, title, text = row.rstrip("\n").split("\t")
            if split == "test":
                texts.append(title + "，" + text)
    return texts


def build_folder(binary, work, name, *pipeline):
    folder = os.path.join(work, name)
    run(binary, folder, "import", "corpus.tsv")
    run(binary, folder, "pipeline", *pipeline)
    return folder


def main():
    binary, source = os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2])
    if not os.path.exists(LEXICON):
        print(f"serve test skipped: {LEXICON} is not installed")
        return 77
    work = tempfile.mkdtemp(prefix="newsclass-serve.")
    try:
        for name in ("corpus.tsv", "stopwords.txt", "dict.txt"):
            shutil.copy(os.path.join(source, "sample", name), work)
        os.chdir(work)
        os.environ.update(NEWSCLASS_LEXICON_CACHE="off", NEWSCLASS_VECTOR_CACHE="off")
        texts = testing_texts(source) + ["", "   ", "ASCII only words", "的了"]
        folders = {
            "knn": build_folder(binary, work, "knn"),
            "linear": build_folder(binary, work, "linear", "--classifier", "linear"),
            "logistic": build_folder(binary, work, "logistic", "--classifier", "logistic",
                                     "--terms", "words+chars"),
        }
        answers_equal_predict(binary, folders, texts)
        cannot_start(binary, work, folders)
        refusals(binary, folders)
        limits_and_slow_clients(binary, folders)
        reload(binary, work, texts)
        drain(binary, folders, texts)
    finally:
        os.chdir("/")
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


def answers_equal_predict(binary, folders, texts):
    for kind, folder in folders.items():
        server = Server(binary, folder)
        try:
            options = ["--top", "100"]
            fields = {}
            if kind == "knn":
                options.append("--neighbours")
                fields["neighbours"] = True
            else:
                options.append("--explain")
                fields["explain"] = True
            expected = predicted(binary, folder, texts, *options)
            served = server.predict(texts, **fields)
            check(f"{kind}: every testing text answered as predict answers it",
                  same_answers(served, expected, kind) == "", same_answers(served, expected, kind))
            one_by_one = [server.predict([text], **fields)["results"][0] for text in texts]
            check(f"{kind}: one text a request answers alike",
                  one_by_one == served["results"], "answers differ with the batch")
            top = server.predict(texts[:3], top=2)
            check(f"{kind}: top 2 keeps the two best scores",
                  all(len(r["scores"]) <= 2 for r in top["results"]) and
                  [r["scores"] for r in top["results"]] ==
                  [r["scores"][:2] for r in served["results"][:3]], json.dumps(top))
            unlabelled = served["results"][len(texts) - 4]
            check(f"{kind}: an empty text is unlabelled",
                  unlabelled["label"] == "" and unlabelled["scores"] == [], json.dumps(unlabelled))
            check(f"{kind}: the answer names its model",
                  served["model"]["classifier"] == kind and served["model"]["generation"] == 1 and
                  re.fullmatch(r"[0-9a-f]{16}", served["model"]["fingerprint"]) is not None,
                  json.dumps(served["model"]))
            status, body = server.request("GET", "/v1/model")
            described = json.loads(body)
            check(f"{kind}: /v1/model gives model.json's facts and the categories",
                  status == 200 and described["facts"]["classifier"] == kind and
                  described["categories"] == ["history", "culture", "reading", "military",
                                              "society&law", "entertainment"], body[:300])
            if kind == "knn":
                status, page = server.request("GET", "/")
                check("the page is UTF-8 HTML that loads nothing from elsewhere",
                      status == 200 and
                      server.last_headers["Content-Type"] == "text/html; charset=utf-8" and
                      'id="text"' in page and 'id="label"' in page and
                      re.search(r"(src|href)\s*=|@import|url\(", page) is None, page[:200])
                status, metrics = server.request("GET", "/metrics")
                count = re.search(r'^newsclass_requests_total\{path="/v1/predict",status="200"\} '
                                  r'(\d+)$', metrics, re.M)
                texts_total = re.search(r"^newsclass_texts_total (\d+)$", metrics, re.M)
                check("/metrics counts the predictions and their texts",
                      status == 200 and count is not None and
                      int(count.group(1)) == len(texts) + 2 and texts_total is not None and
                      int(texts_total.group(1)) == 2 * len(texts) + 3 and
                      'newsclass_request_seconds_bucket{path="/v1/predict",le="+Inf"}' in metrics,
                      metrics[:600])
        finally:
            code = server.stop()
        lines = [l for l in server.log_text().splitlines() if '"POST /v1/predict"' in l]
        check(f"{kind}: one access line per request",
              len(lines) == len(texts) + 2 and
              all(re.fullmatch(r'127\.0\.0\.1:\d+ "POST /v1/predict" 200 \d+ bytes [0-9.]+ ms '
                               r'texts \d+ model 1', l) for l in lines), "\n".join(lines[:3]))
        check(f"{kind}: SIGTERM ends serve with exit 0", code == 0, f"exit {code}")


def cannot_start(binary, work, folders):
    """A folder without a model, or a port another program holds: serve says so and ends."""
    empty = os.path.join(work, "empty")
    os.mkdir(empty)
    ended = subprocess.run([binary, "--data-dir", empty, *COMMON, "serve", "--port", "0"],
                           capture_output=True, timeout=60)
    errors = ended.stderr.decode()
    check("a folder without a model: serve stops with exit 2 and names model.json",
          ended.returncode == 2 and errors.endswith(
              "newsclass serve: the model could not be loaded; stopping\n"
              f"newsclass: {empty}/model.json: no such file: the data folder holds no model (run "
              "pipeline, or the stages, first)\n"), f"exit {ended.returncode}: {errors}")
    taken = socket.socket()
    taken.bind(("127.0.0.1", 0))
    taken.listen()
    port = taken.getsockname()[1]
    ended = subprocess.run([binary, "--data-dir", folders["knn"], *COMMON, "serve", "--port",
                            str(port)], capture_output=True, timeout=60)
    taken.close()
    check("a port in use: serve stops with exit 2 and names the address",
          ended.returncode == 2 and ended.stderr.decode() ==
          f"newsclass: cannot listen on 127.0.0.1:{port}: Address already in use\n",
          f"exit {ended.returncode}: {ended.stderr.decode()}")


def refusals(binary, folders):
    server = Server(binary, folders["linear"], "--max-texts", "3", "--max-body", "2000")
    knn = Server(binary, folders["knn"])
    try:
        cases = [
            ("bad JSON", '{"texts": ["a"', 400,
             "the body is not JSON: parse error at line 1, column 15: syntax error while parsing "
             "array - unexpected end of input; expected ']'"),
            ("not an object", '["a"]', 400,
             'the body must be a JSON object with "texts", got a list'),
            ("texts missing", "{}", 400, '"texts" is missing: give a list of texts to label'),
            ("texts a string", '{"texts": "a"}', 400,
             '"texts" must be a list of strings, got a string'),
            ("a text a number", '{"texts": ["a", 3]}', 400,
             '"texts"[1] must be a string, got a number'),
            ("empty list", '{"texts": []}', 400, '"texts" is empty: give at least one text'),
            ("too long a list", '{"texts": ["a", "b", "c", "d"]}', 400,
             '"texts" holds 4 texts, more than 3 (--max-texts)'),
            ("top 0", '{"texts": ["a"], "top": 0}', 400,
             '"top" must be a whole number from 1 to 2147483647, got 0'),
            ("top a string", '{"texts": ["a"], "top": "3"}', 400,
             '"top" must be a whole number from 1 to 2147483647, got a string'),
            ("top a fraction", '{"texts": ["a"], "top": 1.5}', 400,
             '"top" must be a whole number from 1 to 2147483647, got 1.5'),
            ("explain not a flag", '{"texts": ["a"], "explain": 1}', 400,
             '"explain" must be true or false, got a number'),
            ("unknown field", '{"texts": ["a"], "k": 3}', 400,
             'unknown field "k" (the fields are texts, top, neighbours and explain)'),
            ("neighbours of a linear model", '{"texts": ["a"], "neighbours": true}', 400,
             '"neighbours": the linear classifier has no neighbours'),
            ("invalid UTF-8", b'{"texts": ["\xe4\xb8"]}', 400,
             "the body is not valid UTF-8 (byte 12)"),
            ("body over --max-body", '{"texts": ["' + "a" * 2000 + '"]}', 400,
             "the body is longer than 2000 bytes (--max-body)"),
            ("deep nesting", '{"texts": [[[[[[["a"]]]]]]]}', 400,
             "the body nests deeper than a request does"),
        ]
        for name, body, status, message in cases:
            got_status, got = server.request("POST", "/v1/predict", body,
                                             {"Content-Type": "application/json"})
            check(f"refused: {name}", got_status == status and json.loads(got) == {"error": message},
                  f"{got_status} {got}")
        got_status, got = knn.request("POST", "/v1/predict", '{"texts": ["a"], "explain": true}')
        check("refused: explain of a KNN", got_status == 400 and json.loads(got) == {
            "error": '"explain": the knn classifier answers by its neighbours (ask for "neighbours")'},
            f"{got_status} {got}")
        got_status, got = server.request("GET", "/v2/predict")
        check("a path that does not exist: 404", got_status == 404 and json.loads(got) == {
            "error": "no such path: /v2/predict (the paths are GET /, POST /v1/predict, "
                     "GET /v1/health, GET /v1/model and GET /metrics)"}, f"{got_status} {got}")
        got_status, got = server.request("GET", "/v1/predict")
        check("a path asked with the wrong method: 405",
              got_status == 405 and json.loads(got) == {"error": "/v1/predict takes POST"} and
              server.last_headers["Allow"] == "POST", f"{got_status} {got}")
        # A bad request and a good one on the same connection: the second is answered.
        connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=30)
        first = server.request("POST", "/v1/predict", '{"texts": 1}', connection=connection)
        second = server.request("POST", "/v1/predict", '{"texts": ["出版社推出新版古典文学丛书"]}',
                                connection=connection)
        connection.close()
        check("a refused request leaves its connection usable",
              first[0] == 400 and second[0] == 200 and
              json.loads(second[1])["results"][0]["label"] == "reading", f"{first} {second}")
    finally:
        server.stop()
        knn.stop()


def raw_reply(raw):
    """One whole answer read off a socket: its head and the body its Content-Length gives."""
    raw.settimeout(10)
    data = b""
    while b"\r\n\r\n" not in data:
        more = raw.recv(4096)
        if not more:
            return data.decode("utf-8", "replace")
        data += more
    head, body = data.split(b"\r\n\r\n", 1)
    length = re.search(rb"Content-Length: (\d+)", head)
    while length and len(body) < int(length.group(1)):
        more = raw.recv(4096)
        if not more:
            break
        body += more
    return (head + b"\r\n\r\n" + body).decode("utf-8", "replace")


def limits_and_slow_clients(binary, folders):
    server = Server(binary, folders["linear"], "--timeout", "1", "--max-body", "100000")
    try:
        # A client that sends half a request and stalls is dropped after the timeout, while
        # another is answered meanwhile.
        stalled = socket.create_connection(("127.0.0.1", server.port))
        stalled.sendall(b"POST /v1/predict HTTP/1.1\r\nHost: x\r\nContent-Length: 50\r\n\r\n{\"te")
        answered = server.predict(["国家队备战亚洲杯，主教练公布集训名单"])
        stalled.settimeout(10)
        started = time.time()
        try:
            data = stalled.recv(4096)
            while data and b"HTTP/1.1" not in data:
                data = stalled.recv(4096)
        except OSError:
            data = b""
        waited = time.time() - started
        stalled.close()
        check("a stalled client is dropped after --timeout while others are answered",
              answered["results"][0]["label"] != "" and waited < 8, f"waited {waited:.1f} s")
        # A body announced longer than the limit is refused before it is read.
        raw = socket.create_connection(("127.0.0.1", server.port))
        raw.sendall(b"POST /v1/predict HTTP/1.1\r\nHost: x\r\nContent-Length: 100001\r\n\r\n")
        reply = raw_reply(raw)
        raw.close()
        check("an announced body over --max-body is refused unread",
              reply.startswith("HTTP/1.1 400") and
              '{"error":"the body is longer than 100000 bytes (--max-body)"}' in reply, reply[:200])
        # The same body sent in chunks, with no length announced.
        raw = socket.create_connection(("127.0.0.1", server.port))
        chunk = b'{"texts": ["' + b"a" * 60000
        raw.sendall(b"POST /v1/predict HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
                    b"%x\r\n%s\r\n" % (len(chunk), chunk) * 2 + b"0\r\n\r\n")
        reply = raw_reply(raw)
        raw.close()
        check("a chunked body over --max-body is refused",
              reply.startswith("HTTP/1.1 400") and "(--max-body)" in reply, reply[:200])
        status, _ = server.request("GET", "/v1/health")
        check("the server answers after the refusals", status == 200, str(status))
    finally:
        server.stop()


def reload(binary, work, texts):
    folder = build_folder(binary, work, "reloaded")
    server = Server(binary, folder)
    try:
        before = server.predict(texts[:10])
        # The folder is rebuilt as a linear model while the server answers: model.json changes
        # and the new model takes over.
        run(binary, folder, "pipeline", "--classifier", "linear")
        health = server.wait_ready(generation=2, timeout=30)
        after = server.predict(texts[:10])
        expected = predicted(binary, folder, texts[:10], "--top", "100")
        check("a changed model.json loads the new model beside the old and swaps",
              health["model"]["classifier"] == "linear" and before["model"]["generation"] == 1 and
              after["model"]["generation"] == 2 and same_answers(after, expected, "linear") == "",
              json.dumps(health) + same_answers(after, expected, "linear"))
        server.process.send_signal(signal.SIGHUP)
        health = server.wait_ready(generation=3, timeout=30)
        check("SIGHUP loads the model again", health["model"]["generation"] == 3, json.dumps(health))
        # A model file damaged behind the folder's back no longer matches model.json: the reload
        # fails, and the old model keeps answering.
        with open(os.path.join(folder, "linear.model"), "ab") as model:
            model.write(b"\n")
        server.process.send_signal(signal.SIGHUP)
        deadline = time.time() + 30
        while time.time() < deadline and "loading model 4 failed" not in server.log_text():
            time.sleep(0.05)
        still = server.predict(texts[:10])
        check("a model that fails to load is reported and the old one stays",
              "loading model 4 failed: " in server.log_text() and
              "model 3 keeps answering" in server.log_text() and
              still["model"]["generation"] == 3 and still["results"] == after["results"],
              server.log_text()[-600:])
        # A model.json that cannot be read as facts fails once, and is not tried again until
        # it changes.
        facts = os.path.join(folder, "model.json")
        with open(facts, "rb") as original:
            kept = original.read()
        with open(facts, "wb") as broken:
            broken.write(b"{\"k\": \"3.5\"}")
        time.sleep(3.5)
        failed = server.log_text().count("failed: ")
        status, _ = server.request("GET", "/v1/health")
        check("a broken model.json fails once and is not retried while it stays",
              failed == 2 and status == 200, f"{failed} failures\n" + server.log_text()[-800:])
        with open(facts, "wb") as restored:
            restored.write(kept)
    finally:
        server.stop()
    reload_under_load(binary, folder, texts)


def reload_under_load(binary, folder, texts):
    """Requests on several connections while the model is reloaded: none fails, and each
    answer is the old model's or the new one's."""
    run(binary, folder, "pipeline", "--classifier", "linear")
    server = Server(binary, folder)
    batch = texts[:8]
    knn_answers = None
    try:
        linear_answers = server.predict(batch)["results"]
        results = []
        stop = threading.Event()

        def client():
            connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=60)
            while not stop.is_set():
                status, body = server.request("POST", "/v1/predict", {"texts": batch},
                                              connection=connection)
                results.append((status, json.loads(body) if status == 200 else body))
            connection.close()

        threads = [threading.Thread(target=client) for _ in range(4)]
        for thread in threads:
            thread.start()
        run(binary, folder, "pipeline")  # KNN
        server.wait_ready(generation=2, timeout=30)
        time.sleep(0.3)
        server.process.send_signal(signal.SIGHUP)
        server.wait_ready(generation=3, timeout=30)
        time.sleep(0.3)
        stop.set()
        for thread in threads:
            thread.join()
        knn_answers = server.predict(batch)["results"]
        failed = [r for r in results if r[0] != 200]
        wrong = [r for r in results if r[0] == 200 and not (
            (r[1]["model"]["generation"] == 1 and r[1]["results"] == linear_answers) or
            (r[1]["model"]["generation"] in (2, 3) and r[1]["results"] == knn_answers))]
        generations = sorted({r[1]["model"]["generation"] for r in results if r[0] == 200})
        check("reload under load: no request fails, every answer is the old or the new model's",
              not failed and not wrong and len(results) > 20 and 1 in generations and
              3 in generations, f"{len(results)} requests, {len(failed)} failed, {len(wrong)} "
                                f"wrong, generations {generations}")
    finally:
        server.stop()


def drain(binary, folders, texts):
    server = Server(binary, folders["knn"], "--max-texts", "100000", "--max-body", "100000000")
    many = [t for t in texts if t.strip()] * 400
    outcome = {}

    def big_request():
        try:
            outcome["answer"] = server.request("POST", "/v1/predict", {"texts": many})
        except Exception as error:  # noqa: BLE001 - the failure is what the check reports
            outcome["error"] = repr(error)

    sender = threading.Thread(target=big_request)
    sender.start()
    deadline = time.time() + 30
    in_flight = False
    while time.time() < deadline and not in_flight and sender.is_alive():
        _, metrics = server.request("GET", "/metrics")
        in_flight = re.search(r"^newsclass_requests_in_flight 1$", metrics, re.M) is not None
    server.process.send_signal(signal.SIGTERM)
    sender.join()
    code = server.process.wait(60)
    refused = False
    try:
        socket.create_connection(("127.0.0.1", server.port), timeout=2).close()
    except OSError:
        refused = True
    status, body = outcome.get("answer", (0, outcome.get("error", "")))
    check("SIGTERM answers the request in flight, stops accepting and exits 0",
          in_flight and status == 200 and len(json.loads(body)["results"]) == len(many) and
          code == 0 and refused and "SIGTERM: no new connections" in server.log_text() and
          server.log_text().rstrip().endswith("newsclass serve: stopped"),
          f"in flight seen {in_flight}, status {status}, exit {code}, refused {refused}\n" +
          server.log_text()[-400:])
    server.log.close()


if __name__ == "__main__":
    sys.exit(main())
