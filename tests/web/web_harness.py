"""The browser host's test rig: a site folder holding the page and the
published content, served by the project's nginx (scripts/nginx-serve.sh),
the content optionally through the misbehaving test server
(tests/server/test_server.py) behind it, and headless Chromium on the page.

Paths come from the environment, as scripts/test.sh sets them:
  TAMBER_WEB_BUILD   the emcmake build (build-web): page/, page-signed/,
                     tests/libs/*.wasm, examples/lobby/tblobby.wasm
  TAMBER_CATALOGUE   a native tamber-catalogue (for the example content)
"""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402  (the desktop tests' publishing and signing helpers)

WEB_BUILD = os.environ.get("TAMBER_WEB_BUILD", os.path.join(ROOT, "build-web"))

# The status record web_host.js keeps, and the updater's states it reports.
STATE_COMPLETE = 5


def missing():
    """Why the browser tests cannot run here, or None."""
    try:
        from browser import CHROMEDRIVER, CHROMIUM
    except ImportError:
        return "python3-selenium is not installed (scripts/install-deps.sh web)"
    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.path.exists(tool):
            return f"{tool} is not installed (scripts/install-deps.sh web)"
    if not os.path.exists(os.path.join(WEB_BUILD, "page", "index.wasm")):
        return f"no browser build in {WEB_BUILD} (emcmake cmake -B build-web && ninja -C build-web)"
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError(f"the server on port {port} ended with exit code {process.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing answers on port {port}")


def web_library(name):
    with open(os.path.join(WEB_BUILD, "tests", "libs", name + ".wasm"), "rb") as f:
        return f.read()


def forged(module):
    """A WebAssembly module of the same size with one letter of a text in
    its data changed: it still loads and runs, but it is not the module
    that was published."""
    at = module.find(b"foreign object")
    if at < 0:
        raise ValueError("no text to change in the module")
    return module[:at] + b"F" + module[at + 1:]


# Set before the page's own script: the recording library's log, in the
# page's memory file system, and what the tests ask of the recorder.
TEST_PRELUDE = """<style>
  /* The canvas at whole pixels from the viewport's corner, where the
     driver's pointer lands exactly. */
  body { display: block; }
</style>
<script>
  var tamberTestEnvironment = %s;
  var Module = { canvas: document.getElementById('tamber-canvas'), preRun: [function() {
    for (var name in tamberTestEnvironment) ENV[name] = tamberTestEnvironment[name];
  }] };
</script>
"""


class Site:
    """A folder with the page (index.html and its script and module, from
    `page` in the build) and `content/`, served by nginx on a free port.
    With `misbehaving` the content is served by the test server
    (tests/server/test_server.py, on `server_port`) on the same folder,
    through nginx, and misbehaves as set_rules asks."""

    def __init__(self, page="page", misbehaving=False, environment=None):
        self.dir = tempfile.mkdtemp(prefix="tamber-web-")
        # nginx's workers run as an unprivileged user.
        os.chmod(self.dir, 0o755)
        self.content = os.path.join(self.dir, "content")
        os.makedirs(self.content)
        build_page = os.path.join(WEB_BUILD, page)
        for name in ("index.js", "index.wasm", "index.html"):
            os.symlink(os.path.join(build_page, name), os.path.join(self.dir, name))
        # test.html: the page with the tests' environment for the recorder.
        with open(os.path.join(build_page, "index.html")) as f:
            html = f.read()
        prelude = TEST_PRELUDE % json.dumps(dict({"TAMBER_RECORDER_LOG": "/record.log"}, **(environment or {})))
        start = html.index("<script>\n  var Module")
        end = html.index("</script>", start) + len("</script>\n")
        # The page's own check stays; only its Module line is replaced.
        own = html[start:end].replace("  var Module = { canvas: document.getElementById('tamber-canvas') };\n", "")
        with open(os.path.join(self.dir, "test.html"), "w") as f:
            f.write(html[:start] + prelude + own + html[end:])
        self.server = self.nginx = None
        self.port = free_port()
        self.log = os.path.join(self.dir, "access.log")
        self.rules = os.path.join(self.dir, "rules.json")
        command = [os.path.join(ROOT, "scripts", "nginx-serve.sh"), "--log", self.log]
        try:
            if misbehaving:
                self.set_rules({})
                self.server = subprocess.Popen(
                    [sys.executable, os.path.join(ROOT, "tests", "server", "test_server.py"), "--port", "0",
                     "--root", self.dir, "--rules", self.rules, "--log", os.path.join(self.dir, "server.log")],
                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
                self.server_port = int(self.server.stdout.readline())
                command += ["--proxy", "/content/", f"http://127.0.0.1:{self.server_port}/content/"]
            command += [self.dir, str(self.port), os.path.join(self.dir, ".nginx")]
            self.nginx = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_for_port(self.port, self.nginx)
        except Exception:
            self.close()
            raise

    def set_rules(self, rules):
        """The test server's misbehaviour: {path below content/: directives}."""
        with open(self.rules, "w") as f:
            json.dump({"/content/" + path: rule for path, rule in rules.items()}, f)

    def url(self, page="test.html"):
        return f"http://127.0.0.1:{self.port}/{page}"

    def requests(self):
        """The content paths requested so far (GET /content/NAME STATUS),
        as NAME."""
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            rows = [line.split() for line in f]
        return [row[1][len("/content/"):] for row in rows if len(row) == 3 and row[1].startswith("/content/")]

    def clear_requests(self):
        open(self.log, "w").close()
        # nginx keeps the file open: it appends at the new end.

    def close(self):
        for process in (self.nginx, self.server):
            if process and process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        if self.server:
            self.server.stdout.close()
        shutil.rmtree(self.dir, ignore_errors=True)


class Page:
    """Headless Chromium on a site's page, with its own profile (the store
    lives in the profile's IndexedDB)."""

    def __init__(self, url, profile=None):
        from browser import ConsoleLog, start_browser
        self.profile = profile or tempfile.mkdtemp(prefix="tamber-profile-")
        self.driver = start_browser(profile=self.profile)
        self.console = ConsoleLog(self.driver)
        self.driver.get(url)

    def status(self):
        return self.driver.execute_script("return window.Module && Module.tamber ? Module.tamber : null") or {}

    def wait(self, predicate, timeout=30, what="the page"):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            status = self.status()
            if status and predicate(status):
                return status
            time.sleep(0.1)
        raise AssertionError(f"{what} did not happen within {timeout} s; status {self.status()};"
                             f" console:\n" + "\n".join(self.console.lines()[-30:]))

    def read_file(self, path):
        """A file of the page's file system as text, or None."""
        return self.driver.execute_script(
            "try { return Module.FS.readFile(arguments[0], {encoding: 'utf8'}); } catch (e) { return null; }", path)

    def record(self):
        text = self.read_file("/record.log") or ""
        return [line for line in text.splitlines() if line]

    def store_files(self):
        return self.driver.execute_script("""
            var out = {};
            var walk = function(dir) {
              Module.FS.readdir(dir).forEach(function(name) {
                if (name === '.' || name === '..') return;
                var path = dir + '/' + name;
                var stat = Module.FS.stat(path);
                if (Module.FS.isDir(stat.mode)) walk(path); else out[path.substr(7)] = stat.size;
              });
            };
            walk('/store');
            return out;""")

    def canvas_png(self):
        return self.driver.find_element("id", "tamber-canvas").screenshot_as_png

    def close(self):
        try:
            self.driver.quit()
        except Exception:
            pass


class WebTest(unittest.TestCase):
    """Skips the whole class where the browser tests cannot run."""

    @classmethod
    def setUpClass(cls):
        reason = missing()
        if reason:
            raise unittest.SkipTest(reason)
