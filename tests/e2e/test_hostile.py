"""quillon.exe against an update server that misbehaves: frames keep
running while a transfer crawls or a reply never comes, the window closes
with exit code 0 within 5 s in every phase, and a failed transfer leaves one
log line, the previous file and a bounded memory.
"""

import os
import time
import unittest

import harness
from harness import PANEL_BORDER

QUILLON = harness.QUILLON
HOST_TOOL = harness.HOST_TOOL
BASE_URL = harness.BASE_URL

# How long the host may take to end after WM_CLOSE.
CLOSE_SECONDS = 5
# How far above its idle size the host's memory may grow.
MEMORY_SLACK_KIB = 256 * 1024
PREVIOUS = b"the previous content\n"


class HostileServerTest(harness.PublishedContentTest):
    work_prefix = "tamber-e2e-hostile-"
    data_files = {"data/a.bin": bytes(range(256)) * 800}  # 200 KiB

    def setUp(self):
        self.host = harness.Host(QUILLON, HOST_TOOL, self.display)
        self.host.clear_store()
        self.server.clear_requests()

    def tearDown(self):
        self.host.kill()
        self.server.set_rules("{}")

    def start_with(self, rules, previous=True):
        """Starts the host against `rules`, with the previous content of
        data/a.bin in the store."""
        self.server.set_rules(rules)
        if previous:
            os.makedirs(os.path.join(self.host.store, "data"), exist_ok=True)
            with open(os.path.join(self.host.store, "data", "a.bin"), "wb") as f:
                f.write(PREVIOUS)
        self.host.start()

    def wait_for_request(self, path):
        self.assertTrue(harness.wait_until(lambda: path in self.server.requests(), timeout=30),
                        f"{path} was never asked for: {self.server.requests()}")

    def assert_frames_run(self):
        """The progress screen's activity bars (one lit bar, moved on every
        frame's step) are seen in more than one place."""
        cx, cy, _, _ = self.host.client_rect()
        lit = set()
        for _ in range(6):
            shot = self.host.screenshot()
            lit.add(tuple(i for i in range(5) if shot.pixel(cx + 188, cy + 291 + 4 * i) == PANEL_BORDER))
            if len(lit) > 1:
                return
            time.sleep(0.15)
        self.fail(f"the activity bars did not move: {lit}")

    def assert_closes(self):
        started = time.monotonic()
        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.assertEqual(self.host.wait_exit(timeout=CLOSE_SECONDS + 5), 0)
        self.assertLess(time.monotonic() - started, CLOSE_SECONDS)

    def log_lines(self):
        try:
            with open(os.path.join(self.host.store, "download.log")) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def previous_kept(self):
        with open(os.path.join(self.host.store, "data", "a.bin"), "rb") as f:
            return f.read() == PREVIOUS

    def resident_kib(self):
        """The resident size of the Wine process running quillon.exe, or
        None when it cannot be read."""
        try:
            with open(f"/proc/{self.host.proc.pid}/cmdline", "rb") as f:
                if b"quillon" not in f.read():
                    return None
            with open(f"/proc/{self.host.proc.pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1])
        except OSError:
            pass
        return None

    def test_a_drip_fed_file_keeps_the_frames_running_and_the_window_closes(self):
        self.start_with('{"/data/a.bin": {"drip": 20}}')
        self.wait_for_request("/data/a.bin")
        self.assert_frames_run()
        self.assert_closes()
        self.assertEqual(self.log_lines(), [])
        self.assertTrue(self.previous_kept())

    def test_a_reply_that_never_comes_or_crawls_in_leaves_the_window_closable(self):
        for path, rule in (("/.pm_file_list", '{"delay": 60000}'),
                           ("/.pm_file_list", '{"headdrip": 50}'),
                           ("/.tb_file_list", '{"stall": 10}')):
            with self.subTest(path=path, rule=rule):
                self.server.clear_requests()
                self.start_with('{"%s": %s}' % (path, rule), previous=False)
                self.wait_for_request(path)
                self.assert_frames_run()
                self.assert_closes()
                self.assertEqual(self.log_lines(), [])
                self.host.kill()

    def test_an_endless_body_fails_with_one_line_keeps_the_file_and_the_memory(self):
        self.start_with('{"/data/a.bin": {"endless": true}}')
        idle = self.resident_kib()
        self.assertTrue(harness.wait_until(lambda: self.log_lines(), timeout=30), "nothing was logged")
        largest = idle
        for _ in range(10):  # the abandoned body may still be coming in
            size = self.resident_kib()
            if size is not None and largest is not None:
                largest = max(largest, size)
            time.sleep(0.2)
        lines = self.log_lines()
        self.assertEqual(len(lines), 1, lines)
        self.assertTrue(lines[0].endswith(f"'{BASE_URL}data/a.bin': read error 8"), lines[0])
        self.assertTrue(self.previous_kept())
        self.assert_closes()
        if idle is None or largest is None:
            self.skipTest("the host process's resident size cannot be read")
        self.assertLess(largest - idle, MEMORY_SLACK_KIB)

    def test_a_redirect_loop_fails_with_one_line(self):
        self.start_with('{"/data/a.bin": {"redirect": [302, "/data/a.bin"]}}')
        self.assertTrue(harness.wait_until(lambda: self.log_lines(), timeout=30), "nothing was logged")
        time.sleep(0.5)
        lines = self.log_lines()
        self.assertEqual(len(lines), 1, lines)
        self.assertRegex(lines[0], rf"Cannot open '{BASE_URL}data/a.bin': error \d+$")
        self.assertTrue(self.previous_kept())
        self.assertLessEqual(self.server.requests().count("/data/a.bin"), 11)
        self.assert_closes()


if __name__ == "__main__":
    unittest.main()
