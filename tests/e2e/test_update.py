"""The host's first job end to end: quillon.exe brings an empty store up to
date from a real HTTP server, shows its progress screen, and hands over to
the lobby library (the recording test library as "tblobby.dll"); a second
run finds everything current; failures show their screen and one log line.
"""

import os
import unittest

import harness
from harness import BACKGROUND, FILE_TEXT, PANEL_BORDER, PANEL_INSIDE, STATUS_TEXT

QUILLON = harness.QUILLON
HOST_TOOL = harness.HOST_TOOL
BASE_URL = harness.BASE_URL


class UpdateTest(harness.PublishedContentTest):
    work_prefix = "tamber-e2e-"
    data_files = {
        "data/a.bin": bytes(range(256)) * 700,  # several reads of 64 KiB
        "data/b.txt": b"chips\n",
    }

    def setUp(self):
        self.calls_path = os.path.join(self.work, f"calls-{self.id().rsplit('.', 1)[1]}.log")
        self.host = harness.Host(QUILLON, HOST_TOOL, self.display, env={
            "TAMBER_RECORDER_LOG": harness.windows_path(self.calls_path),
            "TAMBER_RECORDER_QUIET_FRAMES": "1",
        })
        self.server.clear_requests()

    def tearDown(self):
        self.host.kill()
        self.server.set_rules("{}")

    def calls(self):
        return harness.read_calls(self.calls_path)

    def requests(self):
        return self.server.requests()

    def store_files(self):
        found = set()
        for folder, _, names in os.walk(self.host.store):
            for name in names:
                found.add(os.path.relpath(os.path.join(folder, name), self.host.store).replace(os.sep, "/"))
        return found

    def run_to_lobby(self):
        self.host.start()
        self.wait_for_handover()

    def wait_for_handover(self):
        self.assertTrue(harness.wait_until(lambda: "set_application_type 2" in self.calls(), timeout=60),
                        f"no handover; calls: {self.calls()}")

    def close(self):
        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.assertEqual(self.host.wait_exit(), 0)

    def test_first_run_downloads_everything_then_hands_over_and_a_second_run_only_reads_the_lists(self):
        self.host.clear_store()
        # The largest file comes slowly, so that the progress screen stays up
        # long enough to be looked at.
        self.server.set_rules('{"/data/a.bin": {"slow": 20}}')
        self.host.start()
        self.assertTrue(harness.wait_until(lambda: "/data/a.bin" in self.requests(), timeout=60),
                        f"the download never started: {self.requests()}")
        pixel = self.host.client_pixels(self.host.screenshot())
        self.assertEqual(pixel(20, 20), BACKGROUND)
        self.assertEqual(pixel(220, 335), PANEL_INSIDE)
        for x, y in ((160, 300), (639, 300), (400, 252), (400, 347)):  # the border's four sides
            self.assertEqual(pixel(x, y), PANEL_BORDER, (x, y))
        self.assertEqual(pixel(159, 300), BACKGROUND)
        status = {pixel(x, y) for x in range(260, 560) for y in range(288, 312)}
        self.assertIn(STATUS_TEXT, status, "no status line")
        self.wait_for_handover()
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
        self.assertEqual(self.host.client_pixels(self.host.screenshot())(400, 300), (0x28, 0x8C, 0x3C))
        self.close()
        last = [c for c in self.calls() if c not in ("attach", "detach")][-2:]
        self.assertEqual(last, ["on_wm_close", "unload"])

        self.server.clear_requests()
        os.remove(self.calls_path)
        self.run_to_lobby()
        self.assertEqual(self.requests(), ["/.pm_file_list", "/.tb_file_list"])
        self.close()

    def check_failure(self, rules):
        self.host.clear_store()
        self.server.set_rules(rules)
        self.host.start()
        lines = self.host.download_log_lines()
        self.assertIsNotNone(lines, "nothing was logged")
        self.assertEqual(len(lines), 1, lines)
        self.assertEqual(self.calls(), [])  # the lobby was never loaded
        # The error screen: the status line and the file line are drawn in
        # their colours on the panel.
        pixel = self.host.client_pixels(self.host.screenshot())
        status = {pixel(x, y) for x in range(300, 520) for y in range(290, 312)}
        self.assertIn(STATUS_TEXT, status, "no status line")
        filename = {pixel(x, y) for x in range(330, 490) for y in range(322, 340)}
        self.assertIn(FILE_TEXT, filename, "no file line")
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
