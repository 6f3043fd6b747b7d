"""Signed content end to end: quillon-signed.exe (the host built with the
test key of tests/keys) fetches the release statement first and hands over
only to the release it names. Whoever sits between it and the operator and
serves genuine files of releases they have seen, swapped around, or bytes of
their own, is refused with one log line naming the attack: nothing is loaded
and nothing in the store changes. The default quillon.exe requests no
statement.
"""

import hashlib
import os
import re
import unittest

import harness
from harness import FILE_TEXT, STATUS_TEXT

QUILLON_SIGNED = os.environ.get("TAMBER_QUILLON_SIGNED", "")
BASE_URL = harness.BASE_URL
LISTS = (".tb_release", ".pm_file_list", ".tb_file_list")


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

    def start(self, quillon, store_files=None, keep_store=False):
        """Starts `quillon` on a store that holds only `store_files` (name to
        bytes), or with `keep_store` on the store the last run left."""
        if os.path.exists(self.calls_path):
            os.remove(self.calls_path)
        self.server.clear_requests()
        self.host = harness.Host(quillon, harness.HOST_TOOL, self.display, env={
            "TAMBER_RECORDER_LOG": harness.windows_path(self.calls_path),
            "TAMBER_RECORDER_QUIET_FRAMES": "1",
        })
        if not keep_store:
            self.host.clear_store()
        log = os.path.join(self.host.store, "download.log")
        if os.path.exists(log):
            os.remove(log)
        for name, data in (store_files or {}).items():
            path = os.path.join(self.host.store, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        self.host.start()

    def served(self, *names):
        return harness.read_files(self.content, names)

    def keep(self, *names):
        """Restores each of `names` as it is now once the test is over."""
        for name, data in self.served(*names).items():
            self.saved.setdefault(name, data)

    def replace(self, name, data):
        """Serves `data` as `name` (None: removes it) for this test only."""
        self.keep(name)
        path = os.path.join(self.content, name)
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

    def store_state(self):
        return harness.folder_files(self.host.store)

    def refuses(self, before=None):
        """The one log line of a refused run: nothing loaded, no file but the
        statement and the lists requested, the store as `before` (by default
        empty but for the record of an accepted statement)."""
        lines = self.host.download_log_lines()
        self.assertIsNotNone(lines, "nothing was logged")
        self.assertEqual(len(lines), 1, lines)
        self.assertEqual(harness.read_calls(self.calls_path), [])
        self.assertEqual([p for p in self.server.requests() if "file_list" not in p and "tb_release" not in p], [])
        if before is None:
            self.assertLessEqual(set(self.store_state()), {".tb_release (accepted)"})
        else:
            self.assertEqual(self.store_state(), before)
        self.shows_the_failure()
        self.host.kill()
        return lines[0].split("] ", 1)[1]

    def shows_the_failure(self):
        pixel = self.host.client_pixels(self.host.screenshot())
        self.assertIn(STATUS_TEXT, {pixel(x, y) for x in range(300, 520) for y in range(290, 312)}, "no status line")
        self.assertIn(FILE_TEXT, {pixel(x, y) for x in range(330, 490) for y in range(322, 340)}, "no file line")

    def test_a_signed_release_hands_over_and_the_default_host_requests_no_statement(self):
        self.start(QUILLON_SIGNED)
        self.hands_over()
        self.assertEqual(self.server.requests(), ["/.tb_release", "/.pm_file_list", "/.tb_file_list",
                                                  "/data/b.txt", "/tblobby.dll"])
        self.start(harness.QUILLON)
        self.hands_over()
        self.assertEqual(self.server.requests(), ["/.pm_file_list", "/.tb_file_list", "/data/b.txt", "/tblobby.dll"])

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
        self.assertEqual(sorted(os.listdir(self.host.store)),
                         [".tb_release (accepted)", "data", "download.log", "tblobby.dll"])
        with open(os.path.join(self.host.store, "tblobby.dll"), "rb") as f:
            self.assertEqual(f.read(), b"the old lobby")
        self.assertEqual(os.listdir(os.path.join(self.host.store, "data")), ["b.txt"])

    def test_a_list_served_as_the_other_is_refused(self):
        lists = self.served(".pm_file_list", ".tb_file_list")
        self.replace(".pm_file_list", lists[".tb_file_list"])
        self.start(QUILLON_SIGNED)
        self.assertEqual(self.refuses(), f"'{BASE_URL}.pm_file_list': size differs from the release statement: "
                                         f"{len(lists['.pm_file_list'])} bytes listed, "
                                         f"{len(lists['.tb_file_list'])} downloaded")

    def test_rollback_mix_and_match_freeze_and_retired_keys_are_refused(self):
        self.keep(*LISTS)
        release_1 = self.served(*LISTS)
        self.start(QUILLON_SIGNED)
        self.hands_over()
        # Release 2: a data file changed, its size kept (so that the two
        # catalogues differ only in a digest).
        self.replace("data/b.txt", b"chops\n")
        harness.publish(self.content, self.served("tblobby.dll", "data/b.txt"),
                        self.served(".tb_file_list")[".tb_file_list"].decode())
        harness.sign(self.content, "content_key.pem", release=2)
        release_2 = self.served(*LISTS)
        self.start(QUILLON_SIGNED, keep_store=True)
        self.hands_over()
        before = self.store_state()

        for name, data in release_1.items():
            self.replace(name, data)
        self.start(QUILLON_SIGNED, keep_store=True)
        self.assertEqual(self.refuses(before), f"'{BASE_URL}.tb_release': rolled back from release 2 to 1")

        for name, data in release_2.items():
            self.replace(name, data)
        self.replace(".pm_file_list", release_1[".pm_file_list"])
        self.start(QUILLON_SIGNED, keep_store=True)
        new, old = release_2[".pm_file_list"], release_1[".pm_file_list"]
        self.assertEqual(self.refuses(before),
                         f"'{BASE_URL}.pm_file_list': SHA-256 differs from the release statement: "
                         f"{hashlib.sha256(new).hexdigest().upper()} listed, "
                         f"{hashlib.sha256(old).hexdigest().upper()} downloaded")

        # Freeze: a genuinely signed release 3 that expired long ago; the
        # screen says so where the file name would be.
        self.replace(".pm_file_list", release_2[".pm_file_list"])
        harness.sign(self.content, "content_key.pem", release=3, expires="2020-01-01T00:00:00Z")
        self.start(QUILLON_SIGNED, keep_store=True)
        self.assertRegex(self.refuses(before),
                         re.escape(f"'{BASE_URL}.tb_release': expired on 2020-01-01T00:00:00Z (this computer's "
                                   "clock: ") + r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\)$")

        # Rotation to other_key, signed by both, is taken; content_key alone
        # is refused from then on.
        with open(os.path.join(self.content, ".tb_release"), "wb") as f:
            f.write(harness.release_statement(self.content, 3, ["content_key.pem", "other_key.pem"],
                                              key_set=["other_key.pem"]))
        self.start(QUILLON_SIGNED, keep_store=True)
        self.hands_over()
        before = self.store_state()
        harness.sign(self.content, "content_key.pem", release=4)
        self.start(QUILLON_SIGNED, keep_store=True)
        self.assertEqual(self.refuses(before), f"'{BASE_URL}.tb_release': too few signatures: 0 valid of 1 needed")


if __name__ == "__main__":
    unittest.main()
