"""Signed lists end to end: quillon-signed.exe (the host built with the test
key of tests/keys) hands over only when both lists' signatures verify, and
refuses a changed list or a missing signature with one log line and nothing
downloaded, and a file that is not the one the signed catalogue lists with
one log line, nothing written and nothing loaded; the default quillon.exe
ignores the signatures.
"""

import hashlib
import os
import shutil
import unittest

import harness
from harness import FILE_TEXT, STATUS_TEXT

QUILLON_SIGNED = os.environ.get("TAMBER_QUILLON_SIGNED", "")
BASE_URL = harness.BASE_URL


@unittest.skipUnless(QUILLON_SIGNED, "TAMBER_QUILLON_SIGNED is not set")
class SignedTest(harness.PublishedContentTest):
    work_prefix = "tamber-e2e-signed-"
    data_files = {"data/b.txt": b"chips\n"}

    @classmethod
    def prepare_content(cls):
        harness.sign(cls.content, "content_key.pem")

    def setUp(self):
        self.calls_path = os.path.join(self.work, f"calls-{self.id().rsplit('.', 1)[1]}.log")
        self.server.clear_requests()
        self.saved = {}
        self.host = None

    def tearDown(self):
        if self.host:
            self.host.kill()
        for name, data in self.saved.items():
            with open(os.path.join(self.content, name), "wb") as f:
                f.write(data)

    def start(self, quillon, store_files=None):
        """Starts `quillon` on a store that holds only `store_files` (name to bytes)."""
        self.host = harness.Host(quillon, harness.HOST_TOOL, self.display, env={
            "TAMBER_RECORDER_LOG": harness.windows_path(self.calls_path),
            "TAMBER_RECORDER_QUIET_FRAMES": "1",
        })
        self.host.clear_store()
        for name, data in (store_files or {}).items():
            path = os.path.join(self.host.store, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        self.host.start()

    def replace(self, name, data):
        """Serves `data` as `name` (None: removes it) for this test only."""
        path = os.path.join(self.content, name)
        with open(path, "rb") as f:
            self.saved[name] = f.read()
        if data is None:
            os.remove(path)
        else:
            with open(path, "wb") as f:
                f.write(data)

    def hands_over(self):
        self.assertTrue(harness.wait_until(lambda: "set_application_type 2" in harness.read_calls(self.calls_path),
                                           timeout=60), f"no handover; requests: {self.server.requests()}")
        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.assertEqual(self.host.wait_exit(), 0)

    def refuses(self):
        """The one log line of a refused run; nothing was downloaded or loaded."""
        lines = self.host.download_log_lines()
        self.assertIsNotNone(lines, "nothing was logged")
        self.assertEqual(len(lines), 1, lines)
        self.assertEqual(harness.read_calls(self.calls_path), [])
        self.assertEqual([p for p in self.server.requests() if "file_list" not in p], [])
        self.assertEqual(os.listdir(self.host.store), ["download.log"])
        self.shows_the_failure()
        return lines[0].split("] ", 1)[1]

    def shows_the_failure(self):
        pixel = self.host.client_pixels(self.host.screenshot())
        self.assertIn(STATUS_TEXT, {pixel(x, y) for x in range(300, 520) for y in range(290, 312)}, "no status line")
        self.assertIn(FILE_TEXT, {pixel(x, y) for x in range(330, 490) for y in range(322, 340)}, "no file line")

    def test_a_signed_set_hands_over_after_both_signatures(self):
        self.start(QUILLON_SIGNED)
        self.hands_over()
        self.assertEqual(self.server.requests(), ["/.pm_file_list", "/.pm_file_list.sig", "/.tb_file_list",
                                                  "/.tb_file_list.sig", "/data/b.txt", "/tblobby.dll"])

    def test_the_default_host_ignores_the_signatures(self):
        self.start(harness.QUILLON)
        self.hands_over()
        self.assertEqual(self.server.requests(), ["/.pm_file_list", "/.tb_file_list", "/data/b.txt", "/tblobby.dll"])

    def test_a_list_changed_by_one_byte_is_refused(self):
        with open(os.path.join(self.content, ".tb_file_list"), "rb") as f:
            listed = f.read()
        self.replace(".tb_file_list", listed.replace(b"+data/", b"+data."))
        self.start(QUILLON_SIGNED)
        self.assertEqual(self.refuses(), f"'{BASE_URL}.tb_file_list': signature does not verify")

    def test_a_forged_lobby_of_the_listed_size_is_never_written_or_loaded(self):
        genuine = self.files["tblobby.dll"]
        forged = harness.forged(genuine)
        self.replace("tblobby.dll", forged)
        self.start(QUILLON_SIGNED, store_files={"tblobby.dll": b"the old lobby"})
        lines = self.host.download_log_lines()
        self.assertIsNotNone(lines, "nothing was logged")
        self.assertEqual([line.split("] ", 1)[1] for line in lines], [
            f"'{BASE_URL}tblobby.dll': SHA-256 differs from the catalogue: "
            f"{hashlib.sha256(genuine).hexdigest().upper()} listed, "
            f"{hashlib.sha256(forged).hexdigest().upper()} downloaded"])
        self.assertEqual(self.server.requests()[-1], "/tblobby.dll")
        self.shows_the_failure()
        self.assertEqual(harness.read_calls(self.calls_path), [])
        # The old copy as it was, the genuine data file written before it,
        # and no temporary file.
        self.assertEqual(sorted(os.listdir(self.host.store)), ["data", "download.log", "tblobby.dll"])
        with open(os.path.join(self.host.store, "tblobby.dll"), "rb") as f:
            self.assertEqual(f.read(), b"the old lobby")
        self.assertEqual(os.listdir(os.path.join(self.host.store, "data")), ["b.txt"])

    def test_a_missing_signature_is_refused(self):
        self.replace(".pm_file_list.sig", None)
        self.start(QUILLON_SIGNED)
        self.assertEqual(self.refuses(), f"'{BASE_URL}.pm_file_list': signature is missing (HTTP status 404)")

    def test_a_signature_from_another_key_is_refused(self):
        other = os.path.join(self.work, "other")
        os.makedirs(other, exist_ok=True)
        shutil.copy(os.path.join(self.content, ".pm_file_list"), other)
        shutil.copy(os.path.join(self.content, ".tb_file_list"), other)
        harness.sign(other, "other_key.pem")
        with open(os.path.join(other, ".pm_file_list.sig"), "rb") as f:
            self.replace(".pm_file_list.sig", f.read())
        self.start(QUILLON_SIGNED)
        self.assertEqual(self.refuses(), f"'{BASE_URL}.pm_file_list': signature does not verify")


if __name__ == "__main__":
    unittest.main()
