"""Runs tamber, the native host, headless the way a studio's CI would: SDL's
dummy (or offscreen) video driver, a private store ($XDG_DATA_HOME), the frame clock
(--frames), snapshots read back as pixels, recorded input replayed.

The update server is tests/server on the port of the build's base URL, as
the Wine suite's harness starts it (tests/e2e/harness.py, shared here)."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
import harness  # noqa: E402  (publish, ContentServer, read_calls, colours)

HOST = os.environ.get("TAMBER_HOST", "")
RECORDER = os.environ.get("TAMBER_RECORDER_SO", "")
LOBBY = os.environ.get("TAMBER_LOBBY_SO", "")

# The recorder's default frame colour, as RGB.
RECORDER_COLOUR = (0x28, 0x8C, 0x3C)


def read_png(path):
    """(width, height, rows of RGB byte strings) of an 8-bit RGB PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path} is not a PNG file")
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if (depth, colour) != (8, 2):
                raise ValueError(f"{path}: not 8-bit RGB")
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = 1 + 3 * width
    rows = []
    for y in range(height):
        row = raw[y * stride:(y + 1) * stride]
        if row[0] != 0:
            raise ValueError(f"{path}: filtered rows are not read here")
        rows.append(row[1:])
    return width, height, rows


def pixel(png, x, y):
    row = png[2][y]
    return tuple(row[3 * x:3 * x + 3])


class Run:
    """One finished run of tamber."""

    def __init__(self, returncode, output, snapshots):
        self.returncode = returncode
        self.output = output
        self.snapshots = snapshots

    def png(self, name):
        return read_png(os.path.join(self.snapshots, name))

    def names(self):
        return sorted(os.listdir(self.snapshots))


class TamberTest(unittest.TestCase):
    """A private store and content folder per test, the test server around
    each test."""

    def setUp(self):
        if not HOST or not os.path.exists(HOST):
            self.fail(f"TAMBER_HOST ({HOST!r}) does not name the built tamber")
        self.work = tempfile.mkdtemp(prefix="tamber-native-e2e-")
        self.data_home = os.path.join(self.work, "data")
        self.store = os.path.join(self.data_home, "quillon")
        self.www = os.path.join(self.work, "www")
        os.makedirs(self.www)
        self.calls_log = os.path.join(self.work, "calls.log")
        self.server = harness.ContentServer(self.www, os.path.join(self.work, "requests.log"))
        self.addCleanup(self.server.close)
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def environment(self, **settings):
        env = dict(os.environ)
        env.update({
            # The dummy driver keeps the leak checker of sanitizer builds
            # meaningful: the offscreen driver maps the system's EGL
            # libraries, which leave allocations behind at exit.
            "SDL_VIDEODRIVER": "dummy",
            "SDL_AUDIODRIVER": "dummy",
            "XDG_DATA_HOME": self.data_home,
            "HOME": os.path.join(self.work, "home"),
            "TAMBER_RECORDER_LOG": self.calls_log,
            "TAMBER_RECORDER_QUIET_FRAMES": "1",
        })
        env.update({k: str(v) for k, v in settings.items()})
        return env

    def run_host(self, *args, env=None, timeout=120, snapshots=None, host=None):
        """Runs `host` (tamber by default) to its end."""
        if snapshots is None:
            snapshots = tempfile.mkdtemp(dir=self.work, prefix="shots-")
        command = [host or HOST] + list(args)
        if "--frames" in args and "--snapshot" not in args:
            command += ["--snapshot", snapshots]
        proc = subprocess.run(command, env=env or self.environment(), cwd=self.work, capture_output=True,
                              text=True, timeout=timeout)
        return Run(proc.returncode, proc.stdout + proc.stderr, snapshots)

    def publish_recorder(self, extra_files=None):
        with open(RECORDER, "rb") as f:
            files = {"tblobby.so": f.read()}
        files.update(extra_files or {})
        deps = "tblobby.so: " + " ".join(sorted(n for n in files if n != "tblobby.so")) + "\n"
        harness.publish(self.www, files, deps)

    def publish_split_lobby(self):
        """A lobby that needs a shared object of its own (libcompanion.so),
        published beside it."""
        with open(os.environ["TAMBER_WITH_COMPANION_SO"], "rb") as f:
            lobby = f.read()
        with open(os.environ["TAMBER_COMPANION_SO"], "rb") as f:
            companion = f.read()
        harness.publish(self.www, {"tblobby.so": lobby, "libcompanion.so": companion},
                        "tblobby.so: libcompanion.so\n")

    def publish_example_lobby(self):
        """The Linux set of the example content, as the publishing step
        (scripts/make-content.sh) makes it from this build."""
        build = os.path.dirname(os.path.dirname(os.path.dirname(LOBBY)))  # BUILD/examples/lobby/tblobby.so
        out = os.path.join(self.work, "content")
        subprocess.run([os.path.join(harness.ROOT, "scripts", "make-content.sh"), "--linux", build, out],
                       check=True, capture_output=True, timeout=60)
        for name in os.listdir(os.path.join(out, "linux")):
            shutil.move(os.path.join(out, "linux", name), self.www)

    def calls(self):
        return harness.read_calls(self.calls_log)


class XDisplay:
    """A private Xvfb display, for runs that take real input (xdotool)."""

    def __init__(self, width=1024, height=768):
        read, write = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", f"{width}x{height}x24",
                                      "-nolisten", "tcp"], pass_fds=(write,), stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            self.proc.kill()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
