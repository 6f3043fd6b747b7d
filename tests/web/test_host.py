"""The browser host in headless Chromium, as a player meets it: the first
start on an empty store (progress screen, download, handover to the
recording library), the second start (only the two lists), a click and a
drag reaching the library, Alt+Enter, and misbehaving servers.

Run by scripts/test.sh with the system's Python (python3-selenium):
  TAMBER_WEB_BUILD=build-web TAMBER_CATALOGUE=... /usr/bin/python3 -m unittest tests/web/test_host.py
"""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_harness  # noqa: E402
from web_harness import Page, Site, WebTest, harness, web_library  # noqa: E402

FETCHING_CATALOGUE, DOWNLOADING, COMPLETE = 1, 4, 5
FAILED_OPEN, FAILED_HTTP_STATUS, FAILED_TRANSFER = 8, 9, 10

DATA = bytes(i % 251 for i in range(300_000))


def publish_recorder(folder, lobby=None):
    harness.publish(folder, {"tblobby.wasm": lobby or web_library("recorder"), "data/a.bin": DATA},
                    "tblobby.wasm: data/a.bin\n")


class StartTest(WebTest):
    """One site with the recorder as the lobby library and one data file."""

    environment = {}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.site = Site(environment=cls.environment)
        publish_recorder(cls.site.content)

    @classmethod
    def tearDownClass(cls):
        cls.site.close()

    def setUp(self):
        self.site.clear_requests()
        self.page = None

    def tearDown(self):
        if self.page:
            self.page.close()

    def start(self, profile=None):
        self.page = Page(self.site.url(), profile)
        return self.page.wait(lambda s: s["libraryLoaded"], 60, "the handover to the lobby library")


class FirstAndSecondStart(StartTest):
    def test_an_empty_store_is_filled_then_a_reload_asks_for_the_two_lists_only(self):
        status = self.start()
        # The progress screen was on the canvas while the lists and files came.
        self.assertIn(FETCHING_CATALOGUE, status["states"])
        self.assertIn(DOWNLOADING, status["states"])
        # The lists, then the lobby's dependencies before the lobby.
        self.assertEqual(self.site.requests(), [".pm_file_list", ".tb_file_list", "data/a.bin", "tblobby.wasm"])
        # The recorder's calls without its module name (which a side module
        # cannot look up: the browser has no dladdr).
        calls = [line.split(": ", 1)[1] for line in self.page.record()]
        base = f"http://127.0.0.1:{self.site.port}/content/"
        self.assertRegex(calls[1], r"^load \w+ 0x[0-9a-f]+ 0$")
        self.assertEqual(calls[2:4], [f"set_server_path {base}", "set_application_type 2"])
        self.assertTrue(any(call.startswith("render ") for call in calls))
        files = self.page.store_files()
        self.assertEqual(files["tblobby.wasm"], len(web_library("recorder")))
        self.assertEqual(files["data/a.bin"], len(DATA))
        self.assertTrue(status["storePersistent"], "the store is not in IndexedDB")

        # A reload: the store came back from IndexedDB, so only the lists.
        self.site.clear_requests()
        self.page.driver.execute_script("Module.tamber.libraryLoaded = false")
        self.page.driver.refresh()
        status = self.page.wait(lambda s: s["libraryLoaded"], 60, "the handover after the reload")
        self.assertEqual(self.site.requests(), [".pm_file_list", ".tb_file_list"])
        self.assertNotIn(DOWNLOADING, status["states"])

    def test_the_download_log_is_a_file_in_the_store_and_on_the_console(self):
        # A list that is not there: one line, on the console and in the store.
        site = Site()
        try:
            page = Page(site.url())
            try:
                status = page.wait(lambda s: s["updateState"] == FAILED_HTTP_STATUS, 30, "the refused list")
                self.assertFalse(status["libraryLoaded"])
                log = page.read_file("/store/download.log")
                self.assertRegex(log, r"\.pm_file_list.*404")
                self.assertTrue(page.console.wait_for("download.log: [", 5))
            finally:
                page.close()
        finally:
            site.close()


class Input(StartTest):
    # Presses left of x=200 are clicks at once, 200 to 399 drags, 400 on
    # held presses (the recorder's press bands).
    environment = {"TAMBER_RECORDER_PRESS_BANDS": "1", "TAMBER_RECORDER_DRAG": "1"}

    def test_a_click_and_a_drag_reach_the_library(self):
        from selenium.webdriver.common.action_chains import ActionChains

        self.start()
        canvas = self.page.driver.find_element("id", "tamber-canvas")

        def at(x, y):  # offsets from the canvas's centre
            return x - 400, y - 300

        actions = ActionChains(self.page.driver)
        actions.move_to_element_with_offset(canvas, *at(100, 100)).click()
        actions.move_to_element_with_offset(canvas, *at(300, 100)).click_and_hold()
        actions.move_to_element_with_offset(canvas, *at(310, 110))
        actions.move_to_element_with_offset(canvas, *at(320, 120)).release()
        actions.perform()
        keep = ("mouse_down", "mouse_click", "mouse_drag", "mouse_up", "drag.begin", "drag.drop")
        deadline = time.monotonic() + 10
        calls = []
        while time.monotonic() < deadline:
            calls = [line.split(": ", 1)[1] for line in self.page.record() if line.split(": ", 1)[1].startswith(keep)]
            if "drag.drop 320 120" in calls:
                break
            time.sleep(0.1)
        self.assertEqual(calls[:3], ["mouse_down 0 100 100 0", "mouse_click 0 100 100 0", "mouse_up 0 100 100"])
        self.assertEqual(calls[3:6], ["mouse_down 0 300 100 0", "mouse_drag 0 300 100", "drag.begin 300 100"])
        self.assertEqual(calls[-1], "drag.drop 320 120")

    def test_alt_enter_asks_for_fullscreen_and_a_second_one_gives_the_window_back(self):
        from selenium.webdriver.common.keys import Keys

        self.start()
        canvas = self.page.driver.find_element("id", "tamber-canvas")
        canvas.click()
        canvas.send_keys(Keys.ALT, Keys.ENTER)
        self.assertTrue(self.page.console.wait_for("tamber: fullscreen mode, 800 x 600", 10),
                        "\n".join(self.page.console.lines()))
        # Either the browser went fullscreen, or it refused and the host is
        # back in the window, as after a refused switch on Windows.
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            refused = any("fullscreen mode refused" in line for line in self.page.console.lines())
            if refused or self.page.status()["fullscreen"]:
                break
            time.sleep(0.1)
        if refused:
            self.assertTrue(self.page.console.wait_for("tamber: windowed mode", 5))
            return
        self.assertTrue(self.page.status()["fullscreen"])
        canvas.send_keys(Keys.ALT, Keys.ENTER)
        self.page.wait(lambda s: not s["fullscreen"], 10, "leaving fullscreen")
        windowed = [line for line in self.page.console.lines() if "tamber: windowed mode" in line]
        self.assertEqual(len(windowed), 2, windowed)  # the first open, and now


if __name__ == "__main__":
    unittest.main()
