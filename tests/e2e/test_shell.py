"""quillon.exe starts under Wine, runs frames into its window, and ends with
exit code 0 when its window is closed."""

import os
import unittest

import harness

QUILLON = os.environ.get("TAMBER_QUILLON", "")
HOST_TOOL = os.environ.get("TAMBER_HOST_TOOL", "")


class ShellTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = harness.XDisplay()

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def setUp(self):
        self.host = harness.Host(QUILLON, HOST_TOOL, self.display)
        self.host.clear_store()

    def tearDown(self):
        self.host.kill()

    def test_runs_frames_and_exits_cleanly_on_close(self):
        self.host.start()
        self.assertTrue(harness.wait_until(self.host.bootstrap_screen_shown),
                        "the frame never reached the window")
        _, _, width, height = self.host.client_rect()
        self.assertEqual((width, height), (800, 600))

        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.assertEqual(self.host.wait_exit(), 0)
        # The store exists: the host made it its working directory.
        self.assertTrue(os.path.isdir(self.host.store))


if __name__ == "__main__":
    unittest.main()
