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


class Library(StartTest):
    # The handover calls the host's export; 'q' makes the library post
    # WM_CLOSE; the library's cursor is the hand.
    environment = {"TAMBER_RECORDER_SEND_PACKET": "1", "TAMBER_RECORDER_POST_KEYS": "1",
                   "TAMBER_RECORDER_CURSOR": "32649", "TAMBER_RECORDER_QUIET_FRAMES": "1"}

    def calls(self):
        return [line.split(": ", 1)[1] for line in self.page.record()]

    def test_the_host_export_the_cursor_and_a_posted_close_reach_and_come_from_the_library(self):
        from selenium.webdriver.common.action_chains import ActionChains

        self.start()
        self.assertIn("host export found", self.calls())
        self.assertIn("send_packet 17 34", self.calls())
        canvas = self.page.driver.find_element("id", "tamber-canvas")
        ActionChains(self.page.driver).move_to_element_with_offset(canvas, 10, 10).perform()
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and canvas.value_of_css_property("cursor") != "pointer":
            time.sleep(0.1)
        self.assertEqual(canvas.value_of_css_property("cursor"), "pointer")
        # The library posts WM_CLOSE: the host shuts down and draws no more.
        canvas.send_keys("q")
        self.assertTrue(self.page.console.wait_for("tamber: closed", 10), "\n".join(self.page.console.lines()))
        self.assertEqual(self.calls()[-2:], ["on_wm_close", "unload"])
        frames = self.page.status()["frames"]
        time.sleep(0.5)
        self.assertEqual(self.page.status()["frames"], frames)


class LoadFailures(WebTest):
    def run_lobby(self, lobby):
        site = Site()
        self.addCleanup(site.close)
        harness.publish(site.content, {"tblobby.wasm": lobby}, "tblobby.wasm:\n")
        page = Page(site.url())
        self.addCleanup(page.close)
        return page

    def test_a_library_with_the_required_entry_points_only_runs_on_the_defaults(self):
        page = self.run_lobby(web_library("minimal"))
        page.wait(lambda s: s["libraryLoaded"] and s["frames"] > 30, 60, "the minimal library's frames")
        self.assertRegex(page.record()[1], r": load \w+ 0x[0-9a-f]+ 0$")

    def test_a_file_that_is_no_module_is_the_load_failure_row(self):
        page = self.run_lobby(b"MZ this is not WebAssembly")
        self.assertTrue(page.console.wait_for("tamber: cannot load /store/tblobby.wasm", 30),
                        "\n".join(page.console.lines()))
        time.sleep(0.5)
        status = page.status()
        self.assertFalse(status["libraryLoaded"])
        self.assertEqual(status["updateState"], 0)  # the updater is done: the screen shows the load result
        self.assertTrue(page.read_file("/store/tblobby.wasm"))  # the file stays in the store


if __name__ == "__main__":
    unittest.main()
