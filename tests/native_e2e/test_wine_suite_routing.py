"""The Wine suite's input tests (tests/e2e/test_input.py), run unchanged
against tamber on an Xvfb display: the same xdotool input must reach the
recording library as the same calls as under quillon.exe. The suite's
harness is pointed at tamber for the duration of each class's set-up."""

import os
import shutil
import subprocess
import tempfile
import unittest

from native import HOST, RECORDER, harness

import test_input as wine_input  # noqa: E402  (tests/e2e, on the path through native)


class NativeHost:
    """tamber in the shape of the Wine harness's Host: started on `display`
    with the X11 video driver, a private store, found by its window title."""

    def __init__(self, quillon, host_tool, display, env=None, desktop=None, log=None):
        self.display = display
        self.home = tempfile.mkdtemp(prefix="tamber-routing-")
        self.env = dict(os.environ, DISPLAY=display.name, SDL_VIDEODRIVER="x11",
                        XDG_DATA_HOME=os.path.join(self.home, "data"), HOME=os.path.join(self.home, "home"),
                        # Xlib's allocations outlive the run.
                        ASAN_OPTIONS="detect_leaks=0")
        self.env.update(env or {})
        self.proc = None

    @property
    def store(self):
        return os.path.join(self.env["XDG_DATA_HOME"], "quillon")

    def clear_store(self):
        shutil.rmtree(self.store, ignore_errors=True)

    def start(self, timeout=60, wait=True):
        self.proc = subprocess.Popen([HOST], env=self.env, cwd=self.home, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        if wait and not harness.wait_until(lambda: self.xdotool("search", "--name", "^Online Casino$"),
                                           timeout=timeout):
            raise AssertionError("the host window did not appear")

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.display.name),
                              capture_output=True, text=True, timeout=60).stdout.strip()

    def client_rect(self):
        window = self.xdotool("search", "--name", "^Online Casino$").split()[0]
        values = dict(line.split("=", 1) for line in self.xdotool("getwindowgeometry", "--shell", window).split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def keys(self, window_name, *keys):
        window = self.xdotool("search", "--name", window_name).split()[0]
        self.xdotool("windowfocus", "--sync", window)
        for key in keys:
            self.xdotool("key", "--clearmodifiers", key)

    def post(self, message, wparam=0, lparam=0):
        raise unittest.SkipTest("nothing outside tamber can post to its window")

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait_exit(self, timeout=30):
        return self.proc.wait(timeout=timeout)

    def kill(self):
        if self.running():
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.home, ignore_errors=True)


def native_publish(folder, files, dependencies):
    """The suite publishes the recorder as tblobby.dll; tamber's is .so."""
    renamed = {("tblobby.so" if name == "tblobby.dll" else name): data for name, data in files.items()}
    harness_publish(folder, renamed, dependencies.replace("tblobby.dll:", "tblobby.so:"))


harness_publish = harness.publish


@unittest.skipUnless(shutil.which("Xvfb") and shutil.which("xdotool"), "Xvfb and xdotool are not installed")
class InputTest(wine_input.InputTest):
    @classmethod
    def setUpClass(cls):
        patched = {"Host": NativeHost, "QUILLON": HOST, "RECORDER": RECORDER, "windows_path": lambda p: p,
                   "publish": native_publish}
        saved = {name: getattr(harness, name) for name in patched}
        for name, value in patched.items():
            setattr(harness, name, value)
        try:
            super().setUpClass()
        finally:
            for name, value in saved.items():
                setattr(harness, name, value)


if __name__ == "__main__":
    unittest.main()
