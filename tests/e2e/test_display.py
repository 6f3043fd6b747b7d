"""quillon.exe's window and display under Wine: a centred window titled
"Online Casino" that shows the frame, Alt+Enter and message 0x8003 switching
between windowed and fullscreen mode (a real switch in a Wine virtual
desktop, a silent fall-back where the X server cannot change its mode), and
the display-mode dialog on an 8-bit desktop."""

import os
import struct
import tempfile
import time
import unittest

import harness

QUILLON = harness.QUILLON
HOST_TOOL = harness.HOST_TOOL

WM_APP_TOGGLE = harness.WM_APP_TOGGLE
WS_CAPTION = 0x00C00000
# The mode switch Xvfb refuses, as Wine reports it on its "system" channel.
MODE_CHANGE_REFUSED = "ChangeDisplaySettings"


class DisplayTestCase(unittest.TestCase):
    depth = 24
    desktop = None

    @classmethod
    def setUpClass(cls):
        cls.display = harness.XDisplay(depth=cls.depth)

    @classmethod
    def tearDownClass(cls):
        cls.display.close()

    def setUp(self):
        self.log = tempfile.NamedTemporaryFile(prefix="tamber-wine-", suffix=".log", delete=False).name
        self.host = harness.Host(QUILLON, HOST_TOOL, self.display, env={"WINEDEBUG": "-all,err+system"},
                                 desktop=self.desktop, log=self.log)
        self.host.clear_store()

    def tearDown(self):
        self.host.kill()
        os.unlink(self.log)

    def save_screen(self, name):
        harness.Screenshot(self.display.name).save_png(
            os.path.join(harness.artefact_dir(), f"{self.id()}-{name}.png"), self.display.name)

    def assert_eventually(self, predicate, message, timeout=20):
        if not harness.wait_until(predicate, timeout=timeout, interval=0.2):
            self.save_screen("failed")
            self.fail(message)


class WindowedTest(DisplayTestCase):
    """On Xvfb itself, which has one fixed screen mode: fullscreen mode is
    refused, and the host stays in its window without a word."""

    def test_window_shows_the_frame_and_switching_falls_back_silently(self):
        self.host.start()
        windows = self.host.xdotool("search", "--name", "^Online Casino$").split()
        self.assertEqual(len(windows), 1)
        self.assertEqual(self.host.xdotool("getwindowname", windows[0]), "Online Casino")
        self.assert_eventually(self.host.bootstrap_screen_shown, "the frame never reached the window")
        self.assertTrue(self.host.is_windowed(), self.host.window_info())
        self.assertEqual(self.host.toplevels(), ["Online Casino"])

        # Alt+Enter twice, then message 0x8003 twice: each one asks for the
        # other mode. Where the X server can change its mode the window goes
        # fullscreen and comes back; Xvfb cannot, Wine reports the refused
        # mode change, and the host (after the system sound) stays in its
        # window without a message box.
        fullscreen = False
        for ask in ("alt+Return", "alt+Return", WM_APP_TOGGLE, WM_APP_TOGGLE):
            refusals = self.host.log_text().count(MODE_CHANGE_REFUSED)
            if ask == WM_APP_TOGGLE:
                self.assertEqual(self.host.post(ask), 0)
            else:
                self.host.keys("^Online Casino$", ask)
            if fullscreen:
                self.assert_eventually(self.host.is_windowed, f"{ask} did not go back to the window")
                fullscreen = False
            else:
                refused = lambda: self.host.log_text().count(MODE_CHANGE_REFUSED) > refusals
                self.assert_eventually(lambda: self.host.is_fullscreen() or refused(), f"{ask} did not switch")
                if refused():
                    self.assert_eventually(self.host.is_windowed, f"not back in the window after {ask} was refused")
                else:
                    fullscreen = True
            self.assert_eventually(self.host.bootstrap_screen_shown, f"no frame after {ask}")
            self.assertEqual(self.host.toplevels(), ["Online Casino"], f"after {ask}")
            self.assertTrue(self.host.running())
        self.assertFalse(fullscreen)

        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.assertEqual(self.host.wait_exit(), 0)


class FullscreenTest(DisplayTestCase):
    """In a Wine virtual desktop the display mode can change: fullscreen mode
    really sets 800 x 600 and shows the frame by flipping."""

    desktop = ("tamber", 1024, 768)

    def test_alt_enter_and_message_8003_switch_both_ways(self):
        self.host.start()
        self.assert_eventually(self.host.bootstrap_screen_shown, "the frame never reached the window")
        self.assertTrue(self.host.is_windowed(), self.host.window_info())

        desktop_window = "^tamber - Wine desktop$"
        for ask in ("alt+Return", WM_APP_TOGGLE):
            send = (lambda: self.host.post(ask)) if ask == WM_APP_TOGGLE else (lambda: self.host.keys(desktop_window, ask))
            send()
            self.assert_eventually(self.host.is_fullscreen, f"{ask} did not go fullscreen")
            _, style, _ = self.host.window_info()
            self.assertEqual(style & WS_CAPTION, 0)
            self.assert_eventually(self.host.bootstrap_screen_shown, f"no frame in fullscreen mode after {ask}")
            self.save_screen(f"fullscreen-{ask}")

            send()
            self.assert_eventually(self.host.is_windowed, f"{ask} did not go back to the window")
            self.assert_eventually(self.host.bootstrap_screen_shown, f"no frame back in the window after {ask}")
            self.assertEqual(self.host.toplevels(), ["Online Casino"])
        self.assertNotIn(MODE_CHANGE_REFUSED, self.host.log_text())

        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.host.wait_exit()


class DialogTest(DisplayTestCase):
    """On an 8-bit desktop the host cannot draw in its window, so every frame
    asks with the display-mode dialog instead."""

    depth = 8

    def dialog_shown(self):
        return "Tamber" in self.host.toplevels()

    def test_escape_keeps_the_dialog_and_the_buttons_answer(self):
        self.host.start()
        self.assert_eventually(self.dialog_shown, "the display-mode dialog did not appear")
        self.assertIn("Online Casino", self.host.toplevels())

        # Escape does not close it: only its three buttons do.
        self.host.keys("^Tamber$", "Escape")
        time.sleep(1.5)
        self.assertTrue(self.dialog_shown())
        self.assertTrue(self.host.running())

        # Enter chooses the default button, Fullscreen: Xvfb refuses the mode,
        # the host falls back to its window, and the next frame asks again.
        dialog = self.host.xdotool("search", "--name", "^Tamber$").split()
        self.host.keys("^Tamber$", "Return")
        self.assert_eventually(lambda: MODE_CHANGE_REFUSED in self.host.log_text(),
                               "Enter did not choose Fullscreen")
        self.assert_eventually(lambda: self.dialog_shown() and
                               self.host.xdotool("search", "--name", "^Tamber$").split() != dialog,
                               "the dialog did not come back after Fullscreen")

        # Retry: the depth is tested again on the next frame, and it asks again.
        dialog = self.host.xdotool("search", "--name", "^Tamber$").split()
        self.host.keys("^Tamber$", "alt+r")
        self.assert_eventually(lambda: self.dialog_shown() and
                               self.host.xdotool("search", "--name", "^Tamber$").split() != dialog,
                               "the dialog did not come back after Retry")
        self.assertTrue(self.host.running())

        # Quit closes the host normally.
        self.host.keys("^Tamber$", "alt+q")
        self.assertEqual(self.host.wait_exit(), 0)


def pe_resources(path):
    """The resources of a PE file: {(type, id, language): bytes}."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    layout = []
    for i in range(sections):
        at = optional + optional_size + 40 * i
        virtual_size, address, raw_size, raw_at = struct.unpack_from("<IIII", data, at + 8)
        layout.append((address, max(virtual_size, raw_size), raw_at))

    def offset(rva):
        for address, size, raw_at in layout:
            if address <= rva < address + size:
                return rva - address + raw_at
        raise ValueError(f"RVA {rva:#x} is in no section")

    base = offset(resource_rva)
    found = {}

    def walk(at, path):
        named, numbered = struct.unpack_from("<HH", data, at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
            key = path + [name if not name & 0x80000000 else f"name@{name & 0x7FFFFFFF}"]
            if target & 0x80000000:
                walk(base + (target & 0x7FFFFFFF), key)
            else:
                rva, size = struct.unpack_from("<II", data, base + target)
                found[tuple(key)] = data[offset(rva):offset(rva) + size]

    walk(base, [])
    return found


def read_text(data, at):
    """A NUL-terminated UTF-16 string, or an ordinal (0xFFFF, id)."""
    if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def parse_dialog_ex(data):
    """An extended dialog template: its header and its controls."""
    version, signature, _, ex_style, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
    at = 26
    menu, at = read_text(data, at)
    window_class, at = read_text(data, at)
    title, at = read_text(data, at)
    point_size, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    face, at = read_text(data, at + 6)
    dialog = dict(version=version, signature=signature, ex_style=ex_style, style=style, rect=(x, y, cx, cy),
                  menu=menu, window_class=window_class, title=title,
                  font=(point_size, weight, italic, charset, face), controls=[])
    for _ in range(count):
        at = (at + 3) & ~3
        _, item_ex_style, item_style, ix, iy, icx, icy, item_id = struct.unpack_from("<IIIhhhhi", data, at)
        item_class, at = read_text(data, at + 24)
        text, at = read_text(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        dialog["controls"].append((item_id, item_class, text, item_style, item_ex_style, (ix, iy, icx, icy)))
    return dialog


class ResourcesTest(unittest.TestCase):
    """quillon.exe's own resources, read from the file."""

    @classmethod
    def setUpClass(cls):
        cls.resources = pe_resources(QUILLON)

    def resource(self, kind, number):
        return self.resources[(kind, number, 1033)]  # English (United States)

    def test_display_mode_dialog_template(self):
        dialog = parse_dialog_ex(self.resource(5, 103))
        self.assertEqual((dialog["version"], dialog["signature"]), (1, 0xFFFF))  # DIALOGEX
        self.assertEqual(dialog["style"], 0x80C008C0)
        self.assertEqual(dialog["ex_style"], 0)
        self.assertEqual(dialog["rect"], (0, 0, 197, 71))
        self.assertEqual((dialog["menu"], dialog["window_class"]), ("", ""))
        self.assertEqual(dialog["title"], "Tamber")
        self.assertEqual(dialog["font"], (8, 400, 0, 0, "MS Sans Serif"))
        message = ("The display mode of the desktop is not supported. Either switch to fullscreen mode, or change "
                   "the current desktop properties and press the Retry button.")
        button, static = 0x80, 0x82
        self.assertEqual(dialog["controls"], [
            (1000, button, "&Fullscreen", 0x50010001, 0, (19, 50, 50, 14)),
            (1001, button, "&Quit", 0x50010000, 0, (129, 50, 50, 14)),
            (3, button, "&Retry", 0x50010000, 0, (75, 50, 50, 14)),
            (-1, static, message, 0x50020000, 0, (6, 10, 185, 30)),
        ])

    def test_strings_accelerator_icon_and_manifest(self):
        # String table block 1 holds ids 0-15: each a length and UTF-16 text.
        block, strings, at = self.resource(6, 1), [], 0
        while at < len(block):
            length = struct.unpack_from("<H", block, at)[0]
            strings.append(block[at + 2:at + 2 + 2 * length].decode("utf-16-le"))
            at += 2 + 2 * length
        self.assertEqual(strings[1], "Online Casino")
        self.assertEqual(strings[6], "The attempt to go back to windowed mode failed. The application cannot continue.")
        self.assertEqual(strings[3], "The main window could not be created. The application cannot continue.\n"
                                     "Error code: 0x%08lX.")
        self.assertEqual(strings[2], 'A required file, "%s", was not found. The application cannot continue.')
        self.assertEqual(strings[4], "DirectDraw could not be initialized. The application cannot continue.\n"
                                     "Error code: 0x%08lX.")
        self.assertEqual(strings[5], "The attempt to switch to fullscreen mode failed. "
                                     "Press Ok to try to continue in windowed mode.")
        self.assertEqual(strings[7], "The attempt to switch to windowed mode failed. "
                                     "Press Ok to try to go back to fullscreen mode.")
        self.assertEqual(strings[8], "The attempt to go back to fullscreen mode failed. The application cannot continue.")
        self.assertEqual(strings[9], "The specified dynamic-link library could not be loaded.\n"
                                     "Error code: 0x%08lX.")
        self.assertEqual(strings[0], "")
        self.assertFalse(any(strings[10:]))  # ids 10-15 unused

        # Alt+Enter: virtual key, Alt, no highlighting, last entry; command 40110.
        self.assertEqual(struct.unpack_from("<HHH", self.resource(9, 102)), (0x80 | 0x13, 0x0D, 40110))

        group = self.resource(14, 102)
        self.assertEqual(struct.unpack_from("<HHH", group)[:2], (0, 1))
        self.assertGreaterEqual(struct.unpack_from("<H", group, 4)[0], 1)

        manifest = self.resource(24, 1).decode("utf-8")
        self.assertIn('name="Microsoft.Windows.Common-Controls" version="6.0.0.0"', " ".join(manifest.split()))


if __name__ == "__main__":
    unittest.main()
