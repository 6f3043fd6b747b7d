"""Where quillon.exe takes the lobby library and the libraries it imports
from: the store, and the system folder. A tblobby.dll, or a DLL the lobby
imports, planted beside a copy of quillon.exe (a Downloads folder) is never
loaded; without a store the default host runs from the folder it was
started in, and the signed host does not start.

The lobby here is the split test library (with_companion, which imports
libcompanion.dll and records "companion 4242"); the planted ones are a
recorder that logs to its own file and a libcompanion.dll that answers 666.
"""

import os
import shutil
import unittest

import harness

QUILLON = harness.QUILLON
QUILLON_SIGNED = os.environ.get("TAMBER_QUILLON_SIGNED", "")
WITH_COMPANION = os.environ.get("TAMBER_WITH_COMPANION_DLL", "")
COMPANION = os.environ.get("TAMBER_COMPANION_DLL", "")
PLANTED = os.environ.get("TAMBER_PLANTED_DLL", "")
PLANTED_COMPANION = os.environ.get("TAMBER_PLANTED_COMPANION_DLL", "")


@unittest.skipUnless(WITH_COMPANION and PLANTED, "the split and planted test libraries are not named")
class PlantedLibraryTest(harness.PublishedContentTest):
    work_prefix = "tamber-e2e-loading-"

    @classmethod
    def prepare_content(cls):
        with open(WITH_COMPANION, "rb") as f:
            lobby = f.read()
        with open(COMPANION, "rb") as f:
            companion = f.read()
        cls.companion_name = os.path.basename(COMPANION)
        cls.lobby = lobby
        cls.files = {"tblobby.dll": lobby, cls.companion_name: companion}
        shutil.rmtree(cls.content)
        harness.publish(cls.content, cls.files, f"tblobby.dll: {cls.companion_name}\n")
        harness.sign(cls.content, "content_key.pem")

    def setUp(self):
        name = self.id().rsplit(".", 1)[1]
        self.calls_path = os.path.join(self.work, f"calls-{name}.log")
        self.planted_log = os.path.join(self.work, f"planted-{name}.log")
        # A copy of the host in a folder anyone can write to.
        self.downloads = os.path.join(self.work, f"downloads-{name}")
        os.makedirs(self.downloads)
        self.program = os.path.join(self.downloads, "quillon.exe")
        self.server.clear_requests()
        self.host = None
        self.blocked_store = None

    def tearDown(self):
        if self.host:
            self.host.kill()
        if self.blocked_store and os.path.isfile(self.blocked_store):
            os.remove(self.blocked_store)

    def plant(self, folder, lobby=True, companion=True):
        if lobby:
            shutil.copy(PLANTED, os.path.join(folder, "tblobby.dll"))
        if companion:
            shutil.copy(PLANTED_COMPANION, os.path.join(folder, self.companion_name))

    def start(self, quillon, cwd=None, block_store=False):
        shutil.copy(quillon, self.program)
        self.host = harness.Host(self.program, harness.HOST_TOOL, self.display, cwd=cwd, env={
            "TAMBER_RECORDER_LOG": harness.windows_path(self.calls_path),
            "TAMBER_PLANTED_LOG": harness.windows_path(self.planted_log),
        })
        self.host.clear_store()
        if block_store:
            # A file where the store's folder belongs: it cannot be made.
            self.blocked_store = self.host.store
            os.makedirs(os.path.dirname(self.blocked_store), exist_ok=True)
            with open(self.blocked_store, "w") as f:
                f.write("not a folder\n")
        self.host.start()

    def calls(self):
        return harness.read_calls(self.calls_path)

    def hands_over_to_the_published_lobby(self):
        self.assertTrue(harness.wait_until(lambda: "companion 4242" in self.calls(), timeout=60),
                        f"no handover; calls: {self.calls()}, requests: {self.server.requests()}")
        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.assertEqual(self.host.wait_exit(), 0)
        self.assert_nothing_planted_was_loaded()

    def assert_nothing_planted_was_loaded(self):
        self.assertEqual(harness.read_calls(self.planted_log), [], "the planted lobby was loaded")
        self.assertNotIn("companion 666", self.calls())

    def test_a_lobby_planted_beside_the_program_is_never_loaded(self):
        self.plant(self.downloads, companion=False)
        self.start(QUILLON)
        self.hands_over_to_the_published_lobby()

    def test_a_dll_the_lobby_imports_planted_beside_the_program_is_never_loaded(self):
        self.plant(self.downloads, lobby=False)
        self.start(QUILLON)
        self.hands_over_to_the_published_lobby()

    def test_without_a_store_the_default_host_runs_from_its_starting_folder_and_never_its_own(self):
        start = os.path.join(self.work, "start-default")
        os.makedirs(start)
        self.plant(self.downloads)
        self.start(QUILLON, cwd=start, block_store=True)
        self.hands_over_to_the_published_lobby()
        # The update wrote the lobby into the starting folder, which it loaded.
        with open(os.path.join(start, "tblobby.dll"), "rb") as f:
            self.assertEqual(f.read(), self.lobby)

    @unittest.skipUnless(QUILLON_SIGNED, "TAMBER_QUILLON_SIGNED is not set")
    def test_without_a_store_the_signed_host_does_not_start(self):
        start = os.path.join(self.work, "start-signed")
        os.makedirs(start)
        self.plant(self.downloads)
        self.plant(start)
        self.start(QUILLON_SIGNED, cwd=start, block_store=True)
        # The start-up failure: a message box over the main window, and
        # nothing requested, written or loaded.
        self.assertTrue(harness.wait_until(lambda: len(self.host.toplevels()) >= 2, timeout=30),
                        self.host.toplevels())
        self.host.xdotool("key", "Return")
        self.assertEqual(self.host.wait_exit(), 255)
        self.assertEqual(self.server.requests(), [])
        self.assertEqual(sorted(os.listdir(start)), sorted(["tblobby.dll", self.companion_name]))
        self.assertEqual(self.calls(), [])
        self.assert_nothing_planted_was_loaded()


if __name__ == "__main__":
    unittest.main()
