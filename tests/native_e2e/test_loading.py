"""Where tamber takes its game libraries from: the store, by full path. A
tblobby.so and a libcompanion.so planted beside a copy of tamber and in the
folder it is started from are never loaded; a signed host whose store
cannot be made does not start."""

import os
import shutil
import subprocess
import unittest

from native import HOST, TamberTest, harness

PLANTED = os.environ.get("TAMBER_PLANTED_SO", "")
PLANTED_COMPANION = os.environ.get("TAMBER_PLANTED_COMPANION_SO", "")
SIGNED_HOST = os.environ.get("TAMBER_SIGNED_HOST", "")


class PlantedLibraries(TamberTest):
    def setUp(self):
        super().setUp()
        self.planted_log = os.path.join(self.work, "planted.log")
        # A copy of the program in a folder anyone can write to, and the
        # libraries planted beside it and in the starting folder (self.work).
        self.downloads = os.path.join(self.work, "downloads")
        os.makedirs(self.downloads)
        self.program = os.path.join(self.downloads, "tamber")
        shutil.copy2(HOST, self.program)
        for folder in (self.downloads, self.work):
            shutil.copy(PLANTED, os.path.join(folder, "tblobby.so"))
            shutil.copy(PLANTED_COMPANION, os.path.join(folder, "libcompanion.so"))

    def environment(self, **settings):
        return super().environment(TAMBER_PLANTED_LOG=self.planted_log, **settings)

    def assert_nothing_planted_was_loaded(self):
        self.assertFalse(os.path.exists(self.planted_log), "a planted library was loaded")
        self.assertNotIn("companion 666", self.calls())

    def test_the_store_s_lobby_and_companion_load_and_the_planted_ones_never(self):
        self.publish_split_lobby()
        run = self.run_host("--frames", "1", host=self.program)
        self.assertEqual(run.returncode, 0, run.output)
        self.assertIn("companion 4242", self.calls())
        self.assert_nothing_planted_was_loaded()

    def test_tamber_gives_no_run_path_to_the_libraries_it_loads(self):
        # An executable's DT_RPATH is searched for the dependencies of every
        # library it loads that has no run path of its own: one of $ORIGIN
        # would make the program's folder a library folder.
        dynamic = subprocess.run(["readelf", "-d", HOST], check=True, capture_output=True, text=True).stdout
        self.assertNotIn("(RPATH)", dynamic)

    def test_without_a_store_the_default_host_runs_from_its_starting_folder_and_never_its_own(self):
        # A regular file where the store's folder belongs: it cannot be made.
        with open(self.data_home, "w") as f:
            f.write("not a folder\n")
        self.publish_split_lobby()
        run = self.run_host("--frames", "1", host=self.program)
        self.assertEqual(run.returncode, 0, run.output)
        # The update replaced the starting folder's planted copies with the
        # published ones, and those were loaded.
        self.assertIn("companion 4242", self.calls())
        self.assert_nothing_planted_was_loaded()
        with open(os.environ["TAMBER_WITH_COMPANION_SO"], "rb") as f, \
                open(os.path.join(self.work, "tblobby.so"), "rb") as written:
            self.assertEqual(written.read(), f.read())

    @unittest.skipUnless(SIGNED_HOST, "TAMBER_SIGNED_HOST is not set")
    def test_without_a_store_a_signed_host_does_not_start(self):
        with open(self.data_home, "w") as f:
            f.write("not a folder\n")
        self.publish_split_lobby()
        harness.sign(self.www, "content_key.pem")
        self.server.clear_requests()
        run = self.run_host("--frames", "1", host=SIGNED_HOST)
        self.assertEqual(run.returncode, 255, run.output)
        self.assertIn("The folder for the game files could not be set up.", run.output)
        self.assertEqual(self.server.requests(), [])
        self.assertEqual(self.calls(), [])
        self.assert_nothing_planted_was_loaded()


if __name__ == "__main__":
    unittest.main()
