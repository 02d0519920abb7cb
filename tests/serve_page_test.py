#!/usr/bin/env python3
"""serve's page in a real browser: headless Chromium, driven through its DevTools protocol on a
pipe, opens GET /, types a headline into the text box, clicks the button and must find the
label predict gives that headline in the page, with a bar per score. Prints `ok NAME` or
`FAIL NAME: why`; exit 1 on a failure, 77 when Chromium or the segmenter's lexicon is absent.

    tests/serve_page_test.py BINARY SOURCE-DIR
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serve_test  # noqa: E402  (the server and folder helpers)

HEADLINE = "国家队备战亚洲杯，主教练公布集训名单"


class Browser:
    """Headless Chromium with --remote-debugging-pipe: it reads commands on its descriptor 3
    and writes answers and events on 4, each message JSON ending in a NUL byte."""

    def __init__(self, chromium, profile):
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def place_pipes():
            # Copies above 4 first, so that neither end is overwritten by the other; dup2 onto
            # another number clears close-on-exec, which every other descriptor keeps.
            read_end, write_end = os.dup(to_browser_read), os.dup(from_browser_write)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)

        self.process = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--remote-debugging-pipe", f"--user-data-dir={profile}", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=place_pipes, close_fds=False)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def send(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply.get("result", {})
            self.events.append(reply)

    def receive(self):
        while b"\0" not in self.buffer:
            data = os.read(self.from_browser, 1 << 16)
            if not data:
                raise RuntimeError("chromium closed its pipe")
            self.buffer += data
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def wait_event(self, method, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline:
            for event in self.events:
                if event.get("method") == method:
                    self.events.remove(event)
                    return event
            self.events.append(self.receive())
        raise RuntimeError(f"no {method} within {timeout} s")

    def close(self):
        try:
            self.send("Browser.close")
        except Exception:  # noqa: BLE001 - it may be gone already
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def find_chromium():
    for path in ("/usr/bin/chromium", "/usr/bin/chromium-browser"):
        if os.access(path, os.X_OK):
            return path
    return None


def main():
    binary, source = os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2])
    chromium = find_chromium()
    if chromium is None:
        print("serve page test skipped: chromium is not installed (Debian package chromium)")
        return 77
    if not os.path.exists(serve_test.LEXICON):
        print(f"serve page test skipped: {serve_test.LEXICON} is not installed")
        return 77
    work = tempfile.mkdtemp(prefix="newsclass-page.")
    server = browser = None
    try:
        for name in ("corpus.tsv", "stopwords.txt", "dict.txt"):
            shutil.copy(os.path.join(source, "sample", name), work)
        os.chdir(work)
        os.environ.update(NEWSCLASS_LEXICON_CACHE="off", NEWSCLASS_VECTOR_CACHE="off")
        folder = serve_test.build_folder(binary, work, "linear", "--classifier", "linear")
        expected = serve_test.predicted(binary, folder, [HEADLINE], "--top", "5")[0]
        server = serve_test.Server(binary, folder)
        browser = Browser(chromium, os.path.join(work, "profile"))
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.send("Target.attachToTarget",
                               {"targetId": target, "flatten": True})["sessionId"]
        browser.send("Page.enable", session=session)
        browser.send("Page.navigate", {"url": f"http://127.0.0.1:{server.port}/"}, session=session)
        browser.wait_event("Page.loadEventFired")

        def evaluate(expression):
            result = browser.send("Runtime.evaluate",
                                  {"expression": expression, "returnByValue": True,
                                   "awaitPromise": True}, session=session)
            return result["result"].get("value")

        browser.send("Runtime.evaluate", {"expression": "document.getElementById('text').focus()"},
                     session=session)
        browser.send("Input.insertText", {"text": HEADLINE}, session=session)
        box = evaluate("JSON.stringify(document.getElementById('label').getBoundingClientRect())")
        box = json.loads(box)
        x, y = box["x"] + box["width"] / 2, box["y"] + box["height"] / 2
        for kind in ("mousePressed", "mouseReleased"):
            browser.send("Input.dispatchMouseEvent",
                         {"type": kind, "x": x, "y": y, "button": "left", "clickCount": 1},
                         session=session)
        label = None
        deadline = time.time() + 20
        while time.time() < deadline and label is None:
            label = evaluate("(document.querySelector('#answers .label') || {}).textContent || null")
            if label is None:
                time.sleep(0.1)
        bars = evaluate("document.querySelectorAll('#answers .bar').length")
        shown = evaluate("Array.from(document.querySelectorAll('#answers .category'))"
                         ".map(e => e.textContent).join(',')")
        status = evaluate("document.getElementById('status').textContent")
        serve_test.check("the page labels a typed headline as predict does",
                         label == expected["category"] and label != "",
                         f"page shows {label!r}, predict says {expected['category']!r}")
        serve_test.check("the page draws a bar per score, best first",
                         bars == len(expected["top"]) and
                         shown == ",".join(s["category"] for s in expected["top"]),
                         f"{bars} bars for {shown}")
        serve_test.check("the page says which model answers", status == "model 1: linear",
                         repr(status))
    finally:
        if browser is not None:
            browser.close()
        if server is not None:
            server.stop()
        os.chdir("/")
        shutil.rmtree(work, ignore_errors=True)
    return 1 if serve_test.failures else 0


if __name__ == "__main__":
    sys.exit(main())
