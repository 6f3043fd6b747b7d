"""tamber end to end, headless: the update and the handover, the second
run, a failed update's screen, recorded input reaching the game library,
the library's own requests (display mode, close), and repeatable runs of
the example lobby."""

import hashlib
import os
import re
import shutil
import signal
import subprocess
import unittest

from native import HOST, LOBBY, RECORDER_COLOUR, TamberTest, XDisplay, harness, pixel, read_png


class UpdateAndHandover(TamberTest):
    def test_first_run_shows_the_progress_screen_then_hands_over_and_the_second_asks_only_for_the_lists(self):
        self.publish_recorder({"data/a.bin": b"x" * 300000})
        first = self.run_host("--frames", "3", "--snapshot-every", "1",
                              env=self.environment(TAMBER_RECORDER_SEND_PACKET=1))
        self.assertEqual(first.returncode, 0, first.output)

        progress = [n for n in first.names() if n.startswith("progress-")]
        self.assertTrue(progress, first.names())
        shot = first.png(progress[0])
        self.assertEqual(shot[:2], (800, 600))
        self.assertEqual(pixel(shot, 5, 5), harness.BACKGROUND)
        self.assertEqual([n for n in first.names() if n.startswith("lobby-")],
                         ["lobby-000001.png", "lobby-000002.png", "lobby-000003.png"])
        self.assertEqual(pixel(first.png("final.png"), 400, 300), RECORDER_COLOUR)

        requests = self.server.requests()
        self.assertEqual(requests[:2], ["/.pm_file_list", "/.tb_file_list"])
        self.assertEqual(sorted(requests[2:]), ["/data/a.bin", "/tblobby.so"])
        for name in ("tblobby.so", "data/a.bin"):
            self.assertTrue(os.path.isfile(os.path.join(self.store, name)), name)
        # Nothing but the store is written: the home folder stays empty.
        self.assertFalse(os.path.exists(os.path.join(self.work, "home")))

        calls = self.calls()
        self.assertEqual(calls[0], "attach")
        self.assertRegex(calls[1], r"^load self 0x[0-9a-f]+ 0$")
        self.assertIn("set_server_path " + harness.BASE_URL, calls)
        self.assertIn("set_application_type 2", calls)
        # The host's export, found by its plain name, reaches the library.
        self.assertIn("host export found", calls)
        self.assertIn("send_packet 17 34", calls)
        self.assertEqual(calls[-3:], ["on_wm_close", "unload", "detach"])

        self.server.clear_requests()
        second = self.run_host("--frames", "2")
        self.assertEqual(second.returncode, 0, second.output)
        self.assertEqual(self.server.requests(), ["/.pm_file_list", "/.tb_file_list"])

    def test_a_terminate_signal_closes_like_the_close_box(self):
        self.publish_recorder()
        host = subprocess.Popen([HOST], env=self.environment(), cwd=self.work, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)
        self.addCleanup(lambda: host.poll() is None and host.kill())
        self.assertTrue(harness.wait_until(lambda: "set_application_type 2" in self.calls(), timeout=60))
        host.send_signal(signal.SIGTERM)
        self.assertEqual(host.wait(timeout=30), 0, host.stdout.read())
        self.assertEqual(self.calls()[-3:], ["on_wm_close", "unload", "detach"])

    def test_a_library_finds_the_shared_objects_it_needs_beside_it_in_the_store(self):
        self.publish_split_lobby()
        run = self.run_host("--frames", "1")
        self.assertEqual(run.returncode, 0, run.output)
        self.assertIn("companion 4242", self.calls())

    def test_a_failed_update_ends_on_its_screen_and_in_the_log(self):
        self.server.set_rules('{"/.pm_file_list": {"status": 404}}')
        run = self.run_host("--frames", "2")
        self.assertEqual(run.returncode, 0, run.output)
        shot = run.png("final.png")
        self.assertEqual(pixel(shot, 5, 5), harness.BACKGROUND)
        self.assertNotIn("load", " ".join(self.calls()))
        with open(os.path.join(self.store, "download.log")) as f:
            self.assertIn(".pm_file_list", f.read())

    def test_a_lobby_that_cannot_be_loaded_shows_the_error_code(self):
        self.publish_recorder()
        run = self.run_host("--frames", "2", env=self.environment(TAMBER_RECORDER_LOAD="0x80004005"))
        self.assertEqual(run.returncode, 0, run.output)
        self.assertIn("load self", " ".join(self.calls()))
        self.assertEqual(pixel(run.png("final.png"), 5, 5), harness.BACKGROUND)

    def test_a_missing_snapshot_folder_is_made_and_one_that_cannot_be_is_refused(self):
        self.publish_recorder()
        shots = os.path.join(self.work, "new-shots")
        run = self.run_host("--frames", "1", "--snapshot", shots)
        self.assertEqual(run.returncode, 0, run.output)
        self.assertTrue(os.path.isfile(os.path.join(shots, "final.png")))
        run = self.run_host("--frames", "1", "--snapshot", os.path.join(self.work, "no", "such"))
        self.assertEqual(run.returncode, 2)
        self.assertIn("no folder", run.output)

    def test_bad_options_and_input_files_fail_clearly(self):
        run = self.run_host("--bogus")
        self.assertEqual(run.returncode, 2)
        self.assertIn("unknown option", run.output)
        script = os.path.join(self.work, "bad.txt")
        with open(script, "w") as f:
            f.write("10 mouse_move 0 1,2\n5 mouse_move 0 1,2\n")
        run = self.run_host("--frames", "1", "--input", script)
        self.assertEqual(run.returncode, 2)
        self.assertIn("line 2: time goes back", run.output)


SIGNED_HOST = os.environ.get("TAMBER_SIGNED_HOST", "")


@unittest.skipUnless(SIGNED_HOST, "TAMBER_SIGNED_HOST is not set")
class SignedContent(TamberTest):
    """tamber-signed, the host built with the test key of tests/keys, against
    a server that someone between it and the operator controls: they serve
    the genuine files of the releases they have seen, swapped around, or
    bytes of their own. Each attack is refused with one log line naming it;
    nothing is loaded and nothing in the store changes."""

    def publish(self, release=1, **options):
        harness.sign(self.www, "content_key.pem", release=release, **options)

    def run_signed(self):
        run = self.run_host("--frames", "2", host=SIGNED_HOST)
        self.assertEqual(run.returncode, 0, run.output)
        return run

    def served(self, *names):
        return harness.read_files(self.www, names)

    def store_state(self):
        return harness.folder_files(self.store)

    def refused(self, line):
        """One run that ends in `line` (a pattern, when compiled), loads
        nothing and changes no file of the store."""
        before = self.store_state()
        log = os.path.join(self.store, "download.log")
        if os.path.exists(log):
            os.remove(log)
        run = self.run_signed()
        with open(log) as f:
            lines = [entry.split("] ", 1)[1] for entry in f.read().splitlines()]
        if isinstance(line, re.Pattern):
            self.assertEqual(len(lines), 1, lines)
            self.assertRegex(lines[0], line)
        else:
            self.assertEqual(lines, [line])
        self.assertEqual(self.calls(), [])
        self.assertEqual(pixel(run.png("final.png"), 5, 5), harness.BACKGROUND)
        self.assertEqual(self.store_state(), before)
        return run

    def accepted(self):
        run = self.run_signed()
        self.assertIn("set_application_type 2", self.calls())
        with open(os.path.join(self.www, "tblobby.so"), "rb") as f:
            with open(os.path.join(self.store, "tblobby.so"), "rb") as g:
                self.assertTrue(f.read() == g.read())
        os.remove(self.calls_log)  # the next run starts a log of its own
        return run

    def test_a_forged_lobby_of_the_listed_size_is_never_written_or_loaded(self):
        """The genuine signed release, and a lobby of the listed size with
        one byte changed: one line, the old copy kept, nothing loaded;
        served the genuine lobby, the host replaces the old copy and hands
        over."""
        self.publish_recorder({"data/a.bin": b"chips\n"})
        self.publish()
        lobby = os.path.join(self.www, "tblobby.so")
        with open(lobby, "rb") as f:
            genuine = f.read()
        forged = harness.forged(genuine)
        with open(lobby, "wb") as f:
            f.write(forged)
        os.makedirs(self.store)
        with open(os.path.join(self.store, "tblobby.so"), "wb") as f:
            f.write(b"the old lobby")

        run = self.run_signed()
        with open(os.path.join(self.store, "download.log")) as f:
            lines = [line.split("] ", 1)[1] for line in f.read().splitlines()]
        self.assertEqual(lines, [f"'{harness.BASE_URL}tblobby.so': SHA-256 differs from the catalogue: "
                                 f"{hashlib.sha256(genuine).hexdigest().upper()} listed, "
                                 f"{hashlib.sha256(forged).hexdigest().upper()} downloaded"])
        self.assertEqual(self.calls(), [])
        self.assertEqual(pixel(run.png("final.png"), 5, 5), harness.BACKGROUND)
        self.assertEqual(sorted(os.listdir(self.store)),
                         [".tb_release (accepted)", "data", "download.log", "tblobby.so"])
        with open(os.path.join(self.store, "tblobby.so"), "rb") as f:
            self.assertEqual(f.read(), b"the old lobby")

        with open(lobby, "wb") as f:
            f.write(genuine)
        run = self.run_signed()
        self.assertIn("set_application_type 2", self.calls())
        with open(os.path.join(self.store, "tblobby.so"), "rb") as f:
            self.assertTrue(f.read() == genuine)

    def test_old_swapped_expired_and_retired_releases_are_refused(self):
        """Release 1, then release 2 are published and accepted; whoever kept their files then serves them back in every
        combination, and a release signed with a key retired by rotation."""
        url = harness.BASE_URL
        self.publish_recorder({"data/a.bin": b"chips\n"})
        self.publish(1)
        release_1 = self.served(".tb_release", ".pm_file_list", ".tb_file_list")
        self.accepted()
        # Release 2: a data file changed, its size kept (so that the two
        # catalogues differ only in a digest).
        with open(os.path.join(self.www, "data", "a.bin"), "wb") as f:
            f.write(b"chops\n")
        harness.publish(self.www, self.served("tblobby.so", "data/a.bin"),
                        self.served(".tb_file_list")[".tb_file_list"].decode())
        self.publish(2)
        release_2 = self.served(".tb_release", ".pm_file_list", ".tb_file_list")
        self.accepted()
        self.accepted()  # the second start of the same release

        def serve(files):
            for name, data in files.items():
                with open(os.path.join(self.www, name), "wb") as f:
                    f.write(data)

        # Rollback: all of release 1, genuine and signed.
        serve(release_1)
        self.refused(f"'{url}.tb_release': rolled back from release 2 to 1")
        # Mix and match: release 2's statement with release 1's catalogue.
        serve(release_2)
        serve({".pm_file_list": release_1[".pm_file_list"]})
        old, new = release_1[".pm_file_list"], release_2[".pm_file_list"]
        self.refused(f"'{url}.pm_file_list': SHA-256 differs from the release statement: "
                     f"{hashlib.sha256(new).hexdigest().upper()} listed, "
                     f"{hashlib.sha256(old).hexdigest().upper()} downloaded")
        # One list served as the other.
        serve(release_2)
        serve({".pm_file_list": release_2[".tb_file_list"]})
        self.refused(f"'{url}.pm_file_list': size differs from the release statement: "
                     f"{len(release_2['.pm_file_list'])} bytes listed, {len(release_2['.tb_file_list'])} downloaded")
        # Freeze: release 3, genuinely signed, long expired.
        serve(release_2)
        self.publish(3, expires="2020-01-01T00:00:00Z")
        run = self.refused(re.compile(re.escape(f"'{url}.tb_release': expired on 2020-01-01T00:00:00Z "
                                                "(this computer's clock: ") + r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ\)$"))
        final = run.png("final.png")
        self.assertIn(harness.FILE_TEXT, {pixel(final, x, y) for x in range(220, 580) for y in range(322, 340)})

        # Rotation to other_key, signed by both: accepted; from then on
        # content_key alone is refused.
        with open(os.path.join(self.www, ".tb_release"), "wb") as f:
            f.write(harness.release_statement(self.www, 3, ["content_key.pem", "other_key.pem"],
                                              key_set=["other_key.pem"]))
        self.accepted()
        self.publish(4)
        self.refused(f"'{url}.tb_release': too few signatures: 0 valid of 1 needed")
        with open(os.path.join(self.www, ".tb_release"), "wb") as f:
            f.write(harness.release_statement(self.www, 4, ["other_key.pem"]))
        self.accepted()


# Input as a studio writes it: times from the lobby's first frame (20 ms a
# frame). Press decisions by x (the recorder's bands): below 200 a click,
# 200-399 a drag, from 400 a held press.
ROUTING_INPUT = """\
0   mouse_move        0    100,100
20  left_button_down  0x1  100,100   # a click
40  left_button_up    0    100,100
60  left_button_down  0x1  300,100   # a drag, dropped
80  mouse_move        0x1  320,120
100 left_button_up    0    320,120
120 left_button_down  0x1  300,300   # a drag, cancelled with Escape
140 key_down          0x1B 1
160 left_button_up    0    300,300
180 left_button_down  0x1  500,100   # a held press that moves 4 px: still a click
200 mouse_move        0x1  504,104
220 left_button_up    0    504,104
240 mouse_wheel       0x780000 50,60
260 key_down          0x41 1
260 key_down          0x41 0x40000001
270 character         0x61 1
280 key_up            0x41 0xC0000001
300 key_down          0x74 0x40000003   # one message counting three repeats
"""


def routed(calls):
    """The library's input calls, without pointer moves and frames."""
    keep = ("mouse_down", "mouse_click", "mouse_drag", "mouse_up", "mouse_wheel", "key_", "on_wm_char", "drag.begin",
            "drag.move", "drag.drop", "drag.cancel")
    return [c for c in calls if c.startswith(keep)]


class Input(TamberTest):

    def test_replayed_input_is_routed_as_quillon_routes_it(self):
        self.publish_recorder()
        script = os.path.join(self.work, "input.txt")
        with open(script, "w") as f:
            f.write(ROUTING_INPUT)
        env = self.environment(TAMBER_RECORDER_PRESS_BANDS=1, TAMBER_RECORDER_DRAG=1)
        run = self.run_host("--frames", "20", "--input", script, env=env)
        self.assertEqual(run.returncode, 0, run.output)
        self.assertEqual(routed(self.calls()), [
            "mouse_down 0 100 100 0", "mouse_click 0 100 100 0", "mouse_up 0 100 100",
            # The release moves the drag to its point before the drop.
            "mouse_down 0 300 100 0", "mouse_drag 0 300 100", "drag.begin 300 100", "drag.move 320 120",
            "drag.move 320 120", "drag.drop 320 120",
            "mouse_down 0 300 300 0", "mouse_drag 0 300 300", "drag.begin 300 300", "drag.cancel",
            "mouse_up 0 300 300",
            # A held press within the drag distance is a click at the press, without mouse_up.
            "mouse_down 0 500 100 0", "mouse_click 0 500 100 0",
            "mouse_wheel 50 60 120", "key_down 65", "key_repeat 65", "on_wm_char 97", "key_up 65",
            "key_repeat 116", "key_repeat 116", "key_repeat 116",
        ])

    def test_the_library_can_switch_the_display_mode_and_close_the_host(self):
        self.publish_recorder()
        script = os.path.join(self.work, "input.txt")
        with open(script, "w") as f:
            f.write("0 character 0x66 1\n40 character 0x66 1\n80 character 0x71 1\n")
        env = self.environment(TAMBER_RECORDER_POST_KEYS=1)
        run = self.run_host("--frames", "1000", "--input", script, env=env)
        self.assertEqual(run.returncode, 0, run.output)
        calls = self.calls()
        self.assertEqual(calls.count("posted 0x8003"), 2, calls)
        self.assertIn("posted 0x10", calls)
        # Closed by the library's WM_CLOSE long before the frames ran out.
        self.assertNotIn("final.png", run.names())
        self.assertEqual(calls[-3:], ["on_wm_close", "unload", "detach"])


# A chip picked up from the stack and dropped on the spot, in the example
# lobby.
CHIP_INPUT = """\
0   mouse_move        0    250,545
200 left_button_down  0x1  250,545
220 mouse_move        0x1  270,520
240 mouse_move        0x1  350,430
260 mouse_move        0x1  400,390
280 left_button_up    0    400,390
300 mouse_move        0    420,420
"""


class Repeatable(TamberTest):
    def test_the_same_input_gives_the_same_frames(self):
        if not LOBBY or not os.path.exists(LOBBY):
            self.skipTest("no example lobby built")
        self.publish_example_lobby()
        script = os.path.join(self.work, "chip.txt")
        with open(script, "w") as f:
            f.write(CHIP_INPUT)
        # Once with each headless driver: the snapshots are the host's frame,
        # whatever shows it. (The offscreen driver maps the system's EGL
        # libraries, whose allocations outlive the run.)
        offscreen = self.environment(SDL_VIDEODRIVER="offscreen", ASAN_OPTIONS="detect_leaks=0")
        runs = [self.run_host("--frames", "30", "--snapshot-every", "10", "--input", script, env=env)
                for env in (offscreen, self.environment())]
        for run in runs:
            self.assertEqual(run.returncode, 0, run.output)
        for name in ("lobby-000010.png", "lobby-000020.png", "final.png"):
            with open(os.path.join(runs[0].snapshots, name), "rb") as a, \
                    open(os.path.join(runs[1].snapshots, name), "rb") as b:
                self.assertEqual(a.read(), b.read(), name)
        # The lobby drew itself, and the chip changed the frame.
        before = read_png(os.path.join(runs[0].snapshots, "lobby-000010.png"))
        after = read_png(os.path.join(runs[0].snapshots, "final.png"))
        self.assertNotEqual(pixel(after, 5, 5), harness.BACKGROUND)
        self.assertNotEqual(before[2], after[2])


if __name__ == "__main__":
    unittest.main()


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("xdotool"), "Xvfb and xdotool are not installed")
class OnAnXDisplay(TamberTest):
    """tamber in a real X window: xdotool's input reaches the library as
    under quillon.exe, Alt+Enter switches to fullscreen and back, and the
    recorded session replays headless to the same calls."""

    def setUp(self):
        super().setUp()
        self.display = XDisplay()
        self.addCleanup(self.display.close)

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + [str(a) for a in args], env=dict(os.environ, DISPLAY=self.display.name),
                              capture_output=True, text=True, timeout=20).stdout.strip()

    def test_real_input_is_routed_recorded_and_replayed(self):
        self.publish_recorder()
        record = os.path.join(self.work, "recorded.txt")
        # Xlib's and the input method's allocations outlive the run.
        env = self.environment(DISPLAY=self.display.name, SDL_VIDEODRIVER="x11", TAMBER_RECORDER_PRESS_BANDS=1,
                               TAMBER_RECORDER_DRAG=1, ASAN_OPTIONS="detect_leaks=0")
        host = subprocess.Popen([HOST, "--record", record], env=env, cwd=self.work, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True)
        self.addCleanup(lambda: host.poll() is None and host.kill())
        self.assertTrue(harness.wait_until(lambda: "set_application_type 2" in self.calls(), timeout=60))
        window = self.xdotool("search", "--name", "^Online Casino$").split()[0]
        step = ["sleep", "0.15"]
        self.xdotool("mousemove", "--window", window, 100, 100, *step, "click", 1, *step,
                     "mousemove", "--window", window, 300, 100, *step, "mousedown", 1, *step,
                     "mousemove", "--window", window, 320, 120, *step, "mouseup", 1, *step,
                     "mousemove", "--window", window, 300, 300, *step, "mousedown", 1, *step,
                     "key", "Escape", *step, "mouseup", 1, *step,
                     "click", 4, *step, "type", "--delay", 50, "aHi!")
        self.assertTrue(harness.wait_until(lambda: "key_up 49" in self.calls()))
        # Each character after its key's key_down, shift for 'H' and '!'.
        typed = [c for c in self.calls() if c.startswith(("key_down", "on_wm_char"))]
        self.assertEqual(typed[-7:], ["key_down 72", "on_wm_char 72", "key_down 73", "on_wm_char 105",
                                      "key_down 16", "key_down 49", "on_wm_char 33"])

        # Fullscreen and back. Xvfb offers no 800 x 600 mode and, without a
        # window manager, nothing resizes the window: the host says which
        # mode it took.
        self.xdotool("key", "alt+Return", "sleep", "0.5", "key", "alt+Return", "sleep", "0.5", "key", "alt+F4")
        self.assertEqual(host.wait(timeout=30), 0)
        output = host.stdout.read()
        self.assertRegex(output, r"fullscreen mode, the desktop's mode with the frame scaled\n(.*\n)*.*windowed mode")
        live = routed(self.calls())
        self.assertEqual(live[:3], ["mouse_down 0 100 100 0", "mouse_click 0 100 100 0", "mouse_up 0 100 100"])
        for call in ("drag.drop 320 120", "drag.cancel", "mouse_wheel 300 300 120", "on_wm_char 97", "key_down 65"):
            self.assertIn(call, live)
        self.assertEqual(self.calls()[-3:], ["on_wm_close", "unload", "detach"])

        # The recording, replayed headless, gives the library the same calls.
        with open(record) as f:
            lines = [line for line in f if line.strip() and not line.startswith("#")]
        last_ms = int(lines[-1].split()[0])
        os.remove(self.calls_log)
        replay = self.run_host("--frames", str(last_ms // 20 + 5), "--input", record,
                               env=self.environment(TAMBER_RECORDER_PRESS_BANDS=1, TAMBER_RECORDER_DRAG=1))
        self.assertEqual(replay.returncode, 0, replay.output)
        self.maxDiff = None
        self.assertEqual(routed(self.calls()), live)
