"""fetch_http in headless Chromium against a server that misbehaves.

setUpClass builds tests/web/fetch_http_page.cpp with the client into a
temporary folder and serves it, with the endpoints below, on port 8810; a
second server on 8811 is another origin. Each test loads the page afresh and
starts requests through its page_start; the page prints what each did.
Run with /usr/bin/python3 (the system's selenium).
"""

import gzip
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import CHROMEDRIVER, CHROMIUM, ConsoleLog, start_browser  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
PORT, CROSS_PORT = 8810, 8811
ORIGIN, CROSS_ORIGIN = f"http://127.0.0.1:{PORT}", f"http://127.0.0.1:{CROSS_PORT}"
CAP = 1024 * 1024  # the unread bytes fetch_http.js holds for one request
CHUNK = 65536  # the most one read of the response stream adds to them
PAGE_HTML = b"<!doctype html><meta charset=utf-8><script src=page.js></script>"


def body(size):
    # 251 is prime: bytes delivered out of order or twice change the sum.
    return (bytes(range(251)) * (size // 251 + 1))[:size]


def fnv1a(data):
    value = 2166136261
    for byte in data:
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return value


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, port, build):
        super().__init__(("127.0.0.1", port), Handler)
        self.build = build
        self.stopping = threading.Event()
        self.endless_sent = 0
        self.dropped = set()  # paths whose client closed the connection


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, data=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if not any(name == "Transfer-Encoding" for name, _ in headers):
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def chunked(self, data, last=True):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        for start in range(0, len(data), 16384):
            piece = data[start:start + 16384]
            self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
        if last:
            self.wfile.write(b"0\r\n\r\n")
        self.close_connection = not last

    def do_GET(self):
        server, path = self.server, self.path
        parts = path.strip("/").split("/")
        number = int(parts[1]) if len(parts) > 1 and parts[1].isdigit() else 0
        if path == "/page.html":
            self.reply(200, PAGE_HTML, [("Content-Type", "text/html")])
        elif path in ("/page.js", "/page.wasm"):
            with open(os.path.join(server.build, path[1:]), "rb") as f:
                kind = "application/wasm" if path.endswith("wasm") else "text/javascript"
                self.reply(200, f.read(), [("Content-Type", kind)])
        elif parts[0] == "body":
            self.reply(200, body(number))
        elif parts[0] == "cors":
            self.reply(200, body(number), [("Access-Control-Allow-Origin", "*")])
        elif parts[0] == "chunked":
            self.chunked(body(number))
        elif path == "/cut":  # a chunked body without its last chunk
            self.chunked(body(100000), last=False)
        elif path == "/short":  # 40000 of an announced 100000
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(body(40000))
            self.close_connection = True
        elif path == "/gzip":
            self.reply(200, gzip.compress(body(200000)), [("Content-Encoding", "gzip")])
        elif parts[0] == "redirect":
            if number == 0:
                self.reply(200, body(1000))
            else:
                self.reply(302, headers=[("Location", f"/redirect/{number - 1}")])
        elif path == "/hang":  # never answers; notes when the client gives up
            while not server.stopping.is_set():
                if select.select([self.connection], [], [], 0.1)[0] and not self.connection.recv(1):
                    server.dropped.add(path)
                    break
            self.close_connection = True
        elif path == "/endless":  # a body without end, as fast as it is taken
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            block = body(65536)
            try:
                while not server.stopping.is_set():
                    self.wfile.write(block)
                    server.endless_sent += len(block)
            except OSError:
                server.dropped.add(path)
            self.close_connection = True
        else:
            self.reply(404)


def wait_until(condition, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


@unittest.skipUnless(shutil.which("em++"), "em++ is not installed")
@unittest.skipUnless(os.path.exists(CHROMIUM) and os.path.exists(CHROMEDRIVER), "chromium is not installed")
class FetchHttpTest(unittest.TestCase):
    last_case = 0

    @classmethod
    def setUpClass(cls):
        cls.build = tempfile.mkdtemp(prefix="tamber-fetch-http-")
        env = dict(os.environ, NODE_PATH=os.environ.get("NODE_PATH", "/usr/share/nodejs"))
        # An initial memory this small grows while the large body is read.
        subprocess.run(
            ["em++", "-std=c++20", "-O2", "-Wall", "-Wextra", "-Werror", "-I" + os.path.join(ROOT, "src"),
             os.path.join(ROOT, "tests/web/fetch_http_page.cpp"),
             os.path.join(ROOT, "src/platform/web/fetch_http.cpp"),
             "--js-library", os.path.join(ROOT, "src/platform/web/fetch_http.js"),
             "-sALLOW_MEMORY_GROWTH=1", "-sINITIAL_MEMORY=8MB", "-sEXPORTED_RUNTIME_METHODS=ccall",
             "-o", os.path.join(cls.build, "page.js")], check=True, env=env)
        cls.servers = [Server(PORT, cls.build), Server(CROSS_PORT, cls.build)]
        for server in cls.servers:
            threading.Thread(target=server.serve_forever, daemon=True).start()
        cls.driver = start_browser()

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        for server in cls.servers:
            server.stopping.set()
            server.shutdown()
            server.server_close()
        shutil.rmtree(cls.build, ignore_errors=True)

    def setUp(self):
        self.driver.get(ORIGIN + "/page.html")
        self.console = ConsoleLog(self.driver)
        self.assertTrue(self.console.wait_for("page ready session=yes"), self.console.lines())

    def call(self, name, *args):
        types = ["string" if isinstance(a, str) else "number" for a in args]
        return self.driver.execute_script(
            f"return Module.ccall('{name}', 'number', {types!r}, arguments[0])", list(args))

    def start(self, url, reading=True):
        # Numbered across the tests: an earlier page's lines may still be in the log.
        FetchHttpTest.last_case += 1
        case = FetchHttpTest.last_case
        self.call("page_start", case, url if "://" in url else ORIGIN + url, int(reading))
        return case

    def line(self, case, prefix, timeout=20):
        """The rest of the page's line for `case` that starts with `prefix`."""
        pattern = re.compile(rf"case {case} ((?:{prefix})[^\"]*)")

        def found():
            return next((m.group(1) for m in map(pattern.search, self.console.lines()) if m), None)
        self.assertTrue(wait_until(found, timeout), f"no 'case {case} {prefix}' in {self.console.lines()}")
        return found()

    def assert_fetched(self, url, size, length):
        case = self.start(url)
        self.assertEqual(self.line(case, "open"), f"open ready status=200 length={length}")
        self.assertEqual(self.line(case, "end|failed", timeout=60), f"end bytes={size} sum={fnv1a(body(size))}")

    def test_bodies_with_and_without_a_length(self):
        self.assert_fetched("/body/0", 0, 0)
        self.assert_fetched("/body/3000000", 3000000, 3000000)
        # Read into memory that grew meanwhile: each copy took HEAPU8 afresh.
        self.assertGreater(self.driver.execute_script("return HEAPU8.length"), 8 * 1024 * 1024)
        self.assert_fetched("/chunked/300000", 300000, "none")
        # The browser decodes the body: the header's (encoded) length is not given.
        self.assert_fetched("/gzip", 200000, "none")
        self.assert_fetched("/redirect/3", 1000, 1000)
        self.assert_fetched(CROSS_ORIGIN + "/cors/5000", 5000, 5000)

    def test_broken_bodies_and_opens(self):
        cut, short, loop = self.start("/cut"), self.start("/short"), self.start("/redirect/25")
        self.assertRegex(self.line(cut, "end|failed"), r"^failed error=18 bytes=\d+$")
        # Short of its length is an end: the fetcher compares the sizes. The
        # browser may drop the bytes that came with the close.
        ended = re.fullmatch(r"end bytes=(\d+) sum=\d+", self.line(short, "end|failed"))
        self.assertTrue(ended and int(ended.group(1)) <= 40000, self.console.lines())
        self.assertEqual(self.line(loop, "open"), "open failed error=7")
        cross = self.start(CROSS_ORIGIN + "/body/1000")
        self.assertEqual(self.line(cross, "open"), "open failed error=7")
        # Ours names the URL; the browser's own line says why.
        self.assertTrue(self.console.wait_for(f"fetch of {CROSS_ORIGIN}/body/1000 failed: TypeError"),
                        self.console.lines())
        self.assertTrue(self.console.wait_for("CORS policy"), self.console.lines())

    def test_a_server_that_never_answers_holds_up_no_frame(self):
        case = self.start("/hang")
        time.sleep(1)
        frames = self.call("page_frames")
        time.sleep(1)
        self.assertGreater(self.call("page_frames") - frames, 20)
        self.assertFalse([line for line in self.console.lines() if f"case {case} " in line])
        self.call("page_close", case, 2)
        self.assertTrue(wait_until(lambda: "/hang" in self.servers[0].dropped), "the fetch was not aborted")

    def test_an_endless_body_unread_stays_bounded(self):
        server = self.servers[0]
        case = self.start("/endless", reading=False)
        self.line(case, "open ready")
        held = []
        # The server is held back once the cap is reached: what it has sent
        # stops growing.
        def settled():
            held.append(self.call("page_buffered_bytes"))
            sent = server.endless_sent
            time.sleep(0.5)
            return sent == server.endless_sent and sent > CAP
        self.assertTrue(wait_until(settled, timeout=30), f"the server never stopped: {server.endless_sent}")
        held.append(self.call("page_buffered_bytes"))
        self.assertGreaterEqual(held[-1], CAP)
        self.assertLessEqual(max(held), CAP + CHUNK)
        self.call("page_close", case, 2)
        self.assertTrue(wait_until(lambda: "/endless" in server.dropped), "the fetch was not aborted")
        self.assertEqual(self.call("page_buffered_bytes"), 0)

    def test_closing_the_session_fails_its_requests(self):
        hang, endless = self.start("/hang"), self.start("/endless")
        self.line(endless, "open ready")
        self.call("page_close_session")
        self.assertEqual(self.line(hang, "open"), "open failed error=56")
        self.assertRegex(self.line(endless, "end|failed"), r"^failed error=56 bytes=\d+$")
        self.call("page_close", hang, 2)
        self.call("page_close", endless, 2)
        self.call("page_close_session")
        late = self.start("/body/10")
        self.assertEqual(self.line(late, "start"), "start failed error=43")
        frames = self.call("page_frames")
        self.assertTrue(wait_until(lambda: self.call("page_frames") > frames + 10), "the frame loop stopped")


if __name__ == "__main__":
    unittest.main()
