"""A player's input, sent with xdotool to quillon.exe under Wine, reaching
the lobby library (the recording test library as "tblobby.dll") in the order
and with the arguments the host promises: clicks, held presses, drags with
drop and with Escape, the wheel, keys with repeats and characters; and the
library's own messages: 0x8003 to switch the display mode, WM_CLOSE to quit.

The recorder answers a press by where it is: 0 (click) left of x = 200,
1 (drag at once) from 200 to 399, 2 (wait and see) from 400 on, and hands
out its drag object. Pointer positions in the expectations are client
coordinates.
"""

import os
import shutil
import tempfile
import time
import unittest

import harness

# Calls that follow every mouse event; the tests look at the others.
CURSOR_QUERIES = ("get_cursor", "drag.get_cursor")


class LobbyTestCase(unittest.TestCase):
    """One host run per class, with the recorder as the lobby."""

    desktop = None
    recorder_settings = {}

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="tamber-input-")
        content = os.path.join(cls.work, "content")
        with open(harness.RECORDER, "rb") as f:
            harness.publish(content, {"tblobby.dll": f.read()}, "tblobby.dll:\n")
        cls.server = harness.ContentServer(content, os.path.join(cls.work, "requests.log"))
        cls.display = harness.XDisplay()
        cls.calls_path = os.path.join(cls.work, "calls.log")
        cls.wine_log = os.path.join(cls.work, "wine.log")
        env = {"TAMBER_RECORDER_LOG": harness.windows_path(cls.calls_path),
               "TAMBER_RECORDER_QUIET_FRAMES": "1",
               "WINEDEBUG": "-all,err+system"}
        env.update(cls.recorder_settings)
        cls.host = harness.Host(harness.QUILLON, harness.HOST_TOOL, cls.display, env=env,
                                desktop=cls.desktop, log=cls.wine_log)
        cls.host.clear_store()
        cls.host.start()
        if not harness.wait_until(lambda: "set_application_type 2" in cls.calls(), timeout=60):
            cls.tearDownClass()
            raise AssertionError("the lobby library was never handed over to")

    @classmethod
    def tearDownClass(cls):
        cls.host.kill()
        cls.server.close()
        cls.display.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    @classmethod
    def calls(cls):
        return harness.read_calls(cls.calls_path)

    def events(self, since):
        """The calls after index `since`, without the cursor queries."""
        return [c for c in self.calls()[since:] if c.split(" ")[0] not in CURSOR_QUERIES]

    def wait_for(self, since, last, timeout=15):
        """Waits until `last` is among the calls after `since`; then a moment
        more, so that a call that should not come has the chance to."""
        if not harness.wait_until(lambda: last in self.events(since), timeout=timeout):
            self.fail(f"no '{last}'; calls: {self.events(since)}")
        time.sleep(0.3)
        return self.events(since)

    def wait_for_count(self, since, name, count, timeout=15):
        """Waits until `count` calls of `name` follow `since`; returns them."""
        found = lambda: [c for c in self.events(since) if c.split(" ")[0] == name]
        if not harness.wait_until(lambda: len(found()) >= count, timeout=timeout):
            self.fail(f"fewer than {count} '{name}'; calls: {self.events(since)}")
        time.sleep(0.3)
        return found()


class InputTest(LobbyTestCase):
    recorder_settings = {"TAMBER_RECORDER_PRESS_BANDS": "1", "TAMBER_RECORDER_DRAG": "1",
                         "TAMBER_RECORDER_CURSOR": "32649"}

    def setUp(self):
        self.host.keys("^Online Casino$")  # the keyboard goes to the host
        self.origin = self.host.client_rect()[:2]

    def point(self, x, y):
        """Moves the pointer to client (x, y) and waits until the library
        has seen it; returns where the next calls begin."""
        since = len(self.calls())
        self.move(x, y)
        self.wait_for(since, f"mouse_move {x} {y}")
        return len(self.calls())

    def move(self, x, y):
        """Moves the pointer without waiting (during a press or a drag)."""
        self.host.xdotool("mousemove", str(self.origin[0] + x), str(self.origin[1] + y))

    def test_clicks_with_each_button_are_pressed_clicked_and_released(self):
        since = self.point(100, 120)
        self.host.xdotool("click", "1")
        self.assertEqual(self.wait_for(since, "mouse_up 0 100 120"),
                         ["mouse_down 0 100 120 0", "mouse_click 0 100 120 0", "mouse_up 0 100 120"])
        since = self.point(110, 500)
        self.host.xdotool("click", "3")
        self.assertEqual(self.wait_for(since, "mouse_up 1 110 500"),
                         ["mouse_down 1 110 500 0", "mouse_click 1 110 500 0", "mouse_up 1 110 500"])
        since = self.point(120, 300)
        self.host.xdotool("click", "2")
        self.assertEqual(self.wait_for(since, "mouse_up 2 120 300"),
                         ["mouse_down 2 120 300 0", "mouse_click 2 120 300 0", "mouse_up 2 120 300"])

    def test_a_held_press_released_in_place_is_one_click_and_a_double_click_is_clicked_at_once(self):
        since = self.point(500, 150)
        self.host.xdotool("mousedown", "1")
        time.sleep(0.3)
        self.host.xdotool("mouseup", "1")
        # The click comes at the release, at the press point; no mouse_up.
        self.assertEqual(self.wait_for(since, "mouse_click 0 500 150 0"),
                         ["mouse_down 0 500 150 0", "mouse_click 0 500 150 0"])

        time.sleep(1)  # not a double click with the press before
        since = self.point(600, 450)
        self.host.xdotool("click", "--repeat", "2", "--delay", "100", "1")
        self.assertEqual(self.wait_for(since, "mouse_up 0 600 450"),
                         ["mouse_down 0 600 450 0", "mouse_click 0 600 450 0",
                          "mouse_down 0 600 450 1", "mouse_click 0 600 450 1", "mouse_up 0 600 450"])

    def test_a_held_press_moved_beyond_the_drag_distance_drags_from_the_press_point_and_drops(self):
        since = self.point(450, 300)
        self.host.xdotool("mousedown", "1")
        self.move(452, 301)  # within the drag distance: the library sees nothing
        time.sleep(0.5)
        self.assertEqual(self.events(since), ["mouse_down 0 450 300 0"])
        self.move(480, 320)
        self.wait_for(since, "drag.move 480 320")
        self.move(500, 340)
        self.wait_for(since, "drag.move 500 340")
        self.host.xdotool("mouseup", "1")
        self.assertEqual(self.wait_for(since, "drag.Release 1"), [
            "mouse_down 0 450 300 0",
            "mouse_drag 0 450 300", "drag.AddRef 2", "drag.begin 450 300", "drag.move 480 320",
            "drag.move 500 340",
            # The drop: the drag's move, the library's mouse_move, the drop,
            # and the drag object let go of last.
            "drag.AddRef 3", "drag.move 500 340", "drag.Release 2", "mouse_move 500 340",
            "drag.drop 500 340", "drag.Release 1"])

    def test_a_drag_ignores_other_input_and_escape_cancels_it(self):
        since = self.point(300, 200)
        self.host.xdotool("mousedown", "1")
        self.wait_for(since, "drag.begin 300 200")
        self.move(320, 260)
        self.wait_for(since, "drag.move 320 260")
        # Another button, the wheel and a key press reach nobody; the key's
        # character and its release still reach the library (Escape's too).
        self.host.xdotool("click", "3")
        self.host.xdotool("click", "4")
        self.host.xdotool("key", "a")
        self.wait_for(since, "key_up 65")
        self.host.xdotool("key", "Escape")
        self.wait_for(since, "key_up 27")
        # After the cancel the release is a plain mouse_up.
        self.host.xdotool("mouseup", "1")
        self.assertEqual(self.wait_for(since, "mouse_up 0 320 260"), [
            "mouse_down 0 300 200 0", "mouse_drag 0 300 200", "drag.AddRef 2", "drag.begin 300 200",
            "drag.move 320 260",
            "on_wm_char 97", "key_up 65",
            "drag.cancel", "drag.Release 1", "mouse_move 320 260", "on_wm_char 27", "key_up 27",
            "mouse_up 0 320 260"])

    def test_wheel_turns_carry_the_pointer_and_a_signed_delta(self):
        since = self.point(150, 450)
        self.host.xdotool("click", "4")
        self.host.xdotool("click", "5")
        self.host.xdotool("click", "5")
        self.assertEqual(self.wait_for_count(since, "mouse_wheel", 3),
                         ["mouse_wheel 150 450 120", "mouse_wheel 150 450 -120", "mouse_wheel 150 450 -120"])

    def test_a_held_key_repeats_and_typed_characters_arrive_with_their_keys(self):
        since = len(self.calls())
        self.host.xdotool("keydown", "b")
        time.sleep(1.2)  # long enough for the keyboard's own repetition
        self.host.xdotool("keyup", "b")
        keys = self.wait_for(since, "key_up 66")
        self.assertEqual(keys[:2], ["key_down 66", "on_wm_char 98"])
        repeats = keys[2:-1]
        self.assertGreater(len(repeats), 0, keys)
        self.assertEqual(repeats, ["key_repeat 66", "on_wm_char 98"] * (len(repeats) // 2), keys)
        self.assertEqual(keys[-1], "key_up 66")

        # One key message that counts three repetitions: the first goes out
        # as it is, two more repeats follow.
        WM_KEYDOWN, VK_F5 = 0x0100, 0x74
        since = len(self.calls())
        self.assertEqual(self.host.post(WM_KEYDOWN, VK_F5, 0x40000003), 0)
        self.assertEqual(self.wait_for_count(since, "key_repeat", 3), ["key_repeat 116"] * 3)

        since = len(self.calls())
        self.host.xdotool("type", "--delay", "50", "Hi!")
        typed = self.wait_for(since, "key_up 49")
        self.assertEqual([c for c in typed if c.startswith("on_wm_char")],
                         ["on_wm_char 72", "on_wm_char 105", "on_wm_char 33"])
        # Each character follows its key's key_down (shift for 'H' and '!').
        for key, char in (("key_down 72", "on_wm_char 72"), ("key_down 73", "on_wm_char 105"),
                          ("key_down 49", "on_wm_char 33")):
            self.assertLess(typed.index(key), typed.index(char), typed)
        self.assertEqual(typed.count("key_down 16"), 2, typed)


class LibraryMessagesTest(LobbyTestCase):
    """The library posts to the window it was given: 'f' asks for the other
    display mode (0x8003), 'q' closes the window. In a Wine virtual desktop
    the mode can really change."""

    desktop = ("tamber-input", 1024, 768)
    recorder_settings = {"TAMBER_RECORDER_POST_KEYS": "1"}

    def test_the_library_switches_the_display_mode_and_quits(self):
        desktop_window = "^tamber-input - Wine desktop$"
        self.assertTrue(harness.wait_until(self.host.is_windowed), self.host.window_info())
        since = len(self.calls())
        self.host.keys(desktop_window, "f")
        self.assertTrue(harness.wait_until(self.host.is_fullscreen), self.host.window_info())
        self.host.keys(desktop_window, "f")
        self.assertTrue(harness.wait_until(self.host.is_windowed), self.host.window_info())
        self.assertEqual([c for c in self.calls()[since:] if c.startswith(("on_wm_char", "posted"))],
                         ["on_wm_char 102", "posted 0x8003", "on_wm_char 102", "posted 0x8003"])

        since = len(self.calls())
        self.host.keys(desktop_window, "q")
        self.assertEqual(self.host.wait_exit(), 0)
        ends = [c for c in self.calls()[since:] if c.split(" ")[0] not in ("key_up", "key_down", "detach")]
        self.assertEqual(ends, ["on_wm_char 113", "posted 0x10", "on_wm_close", "unload"])


if __name__ == "__main__":
    unittest.main()
