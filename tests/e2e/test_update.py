"""The host's first job end to end: quillon.exe brings an empty store up to
date from a real HTTP server, shows its progress screen, and hands over to
the lobby library (the recording test library as "tblobby.dll"); a second
run finds everything current; failures show their screen and one log line.
"""

import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

import harness

QUILLON = os.environ.get("TAMBER_QUILLON", "")
HOST_TOOL = os.environ.get("TAMBER_HOST_TOOL", "")
RECORDER = os.environ.get("TAMBER_RECORDER_DLL", "")
SERVER = os.environ.get("TAMBER_TEST_SERVER", "")
BASE_URL = os.environ.get("TAMBER_BASE_URL", "http://127.0.0.1:8642/")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def publish(folder, files, dependencies):
    """Writes files and the two lists the update server serves."""
    lines = []
    for name in sorted(files):
        data = files[name]
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        lines.append(f"{name} {len(data)} {hashlib.sha256(data).hexdigest().upper()}\n")
    with open(os.path.join(folder, ".pm_file_list"), "w") as f:
        f.writelines(lines)
    with open(os.path.join(folder, ".tb_file_list"), "w") as f:
        f.write(dependencies)


class UpdateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not re.match(r"^http://127\.0\.0\.1:\d+/$", BASE_URL):
            raise unittest.SkipTest(f"the host was built for {BASE_URL}, not a local test server")
        cls.display = harness.XDisplay()
        cls.work = tempfile.mkdtemp(prefix="tamber-e2e-")
        cls.content = os.path.join(cls.work, "content")
        with open(RECORDER, "rb") as f:
            lobby = f.read()
        cls.files = {
            "tblobby.dll": lobby,
            "data/a.bin": bytes(range(256)) * 700,  # several reads of 64 KiB
            "data/b.txt": b"chips\n",
        }
        publish(cls.content, cls.files, "tblobby.dll: +data/\n")
        cls.server_log = os.path.join(cls.work, "requests.log")
        port = BASE_URL.rstrip("/").rsplit(":", 1)[1]
        cls.server = subprocess.Popen(
            ["python3", SERVER, "--port", port, "--root", cls.content, "--log", cls.server_log,
             "--max-lifetime", "900"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        cls.server.stdout.readline()  # the port: the server is listening

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        cls.server.wait(timeout=10)
        cls.display.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.calls_path = os.path.join(self.work, f"calls-{self.id().rsplit('.', 1)[1]}.log")
        self.host = harness.Host(QUILLON, HOST_TOOL, self.display, env={
            "TAMBER_RECORDER_LOG": windows_path(self.calls_path),
            "TAMBER_RECORDER_QUIET_FRAMES": "1",
        })
        open(self.server_log, "w").close()

    def tearDown(self):
        self.host.kill()
        with open(os.path.join(self.content, ".rules.json"), "w") as f:
            f.write("{}")

    def calls(self):
        try:
            with open(self.calls_path) as f:
                return [line.rstrip("\n").split(": ", 1)[1] for line in f if ": " in line]
        except FileNotFoundError:
            return []

    def requests(self):
        with open(self.server_log) as f:
            return [line.split("\t")[1] for line in f if line.strip()]

    def store_files(self):
        found = set()
        for folder, _, names in os.walk(self.host.store):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), self.host.store).replace(os.sep, "/"))
        return found

    def run_to_lobby(self):
        self.host.start()
        self.assertTrue(harness.wait_until(lambda: "set_application_type 2" in self.calls(), timeout=60),
                        f"no handover; calls: {self.calls()}")

    def close(self):
        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.assertEqual(self.host.wait_exit(), 0)

    def test_first_run_downloads_everything_then_hands_over_and_a_second_run_only_reads_the_lists(self):
        self.host.clear_store()
        self.run_to_lobby()
        handover = [c for c in self.calls() if c.split(" ")[0] in ("load", "set_server_path", "set_application_type")]
        self.assertEqual(len(handover), 3, handover)
        self.assertRegex(handover[0], r"^load self 0x[0-9a-f]+ 0$")  # its own module, the main window, 0
        self.assertNotEqual(handover[0], "load self 0x0 0")
        self.assertEqual(handover[1:], [f"set_server_path {BASE_URL}", "set_application_type 2"])
        # The store holds exactly the server's files, byte for byte; no log.
        self.assertEqual(self.store_files(), set(self.files))
        for name, data in self.files.items():
            with open(os.path.join(self.host.store, name), "rb") as f:
                self.assertEqual(f.read(), data, name)
        # Lists first, then the queue in ascending byte order.
        self.assertEqual(self.requests(), ["/.pm_file_list", "/.tb_file_list", "/data/a.bin", "/data/b.txt",
                                           "/tblobby.dll"])
        # The library draws every frame from now on (the recorder paints green).
        shot = self.host.screenshot()
        self.assertEqual(self.host.client_pixel(shot, 400, 300), (0x28, 0x8C, 0x3C))
        self.close()
        last = [c for c in self.calls() if c not in ("attach", "detach")][-2:]
        self.assertEqual(last, ["on_wm_close", "unload"])

        open(self.server_log, "w").close()
        os.remove(self.calls_path)
        self.run_to_lobby()
        self.assertEqual(self.requests(), ["/.pm_file_list", "/.tb_file_list"])
        self.close()

    def check_failure(self, rules):
        self.host.clear_store()
        with open(os.path.join(self.content, ".rules.json"), "w") as f:
            f.write(rules)
        self.host.start()
        log = os.path.join(self.host.store, "download.log")
        self.assertTrue(harness.wait_until(lambda: os.path.exists(log), timeout=60), "nothing was logged")
        time.sleep(1)
        with open(log) as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertEqual(self.calls(), [])  # the lobby was never loaded
        # The error screen: the status line and the file line are drawn in
        # their colours on the panel. Full glyph coverage blends to each
        # component minus one: (c * 255) >> 8.
        shot = self.host.screenshot()
        cx, cy, _, _ = self.host.client_rect()
        status = {shot.pixel(cx + x, cy + y) for x in range(300, 520) for y in range(290, 312)}
        self.assertIn((0xFD, 0xD7, 0x8F), status, "no status line")
        filename = {shot.pixel(cx + x, cy + y) for x in range(330, 490) for y in range(322, 340)}
        self.assertIn((0x64, 0x3F, 0x2A), filename, "no file line")
        self.close()
        return lines[0]

    def test_a_file_answered_with_404_ends_the_update_with_one_log_line(self):
        line = self.check_failure('{"/data/b.txt": {"status": 404}}')
        self.assertRegex(line, r"^\[\w{3} \w{3} \d{2} \d{2}:\d{2}:\d{2} \d{4}\] "
                               rf"Cannot open '{BASE_URL}data/b.txt': HTTP status 404$")
        # The file before it stays written.
        self.assertIn("data/a.bin", self.store_files())

    def test_the_lobby_missing_on_the_server_ends_the_update_with_one_log_line(self):
        line = self.check_failure('{"/tblobby.dll": {"status": 404}}')
        self.assertTrue(line.endswith(f"Cannot open '{BASE_URL}tblobby.dll': HTTP status 404"), line)


if __name__ == "__main__":
    unittest.main()
