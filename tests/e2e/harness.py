"""Drives quillon.exe under Wine on an Xvfb display, the way a player would.

The harness owns an Xvfb display, a Wine prefix (the project's own for the
architecture of the build under test, TAMBER_WINE_ARCH, set up by
scripts/wine-env.sh) and the host process. It reads the screen with
ImageMagick's `import`, sends input with `xdotool`, and reaches the host
window from inside Wine with host_tool.exe (post a message, read the client
area's position).
"""

import hashlib
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))

WM_CLOSE = 0x0010
WM_APP_TOGGLE = 0x8003

WINDOWED_STYLE = 0x92CA0000
WINDOWED_EX_STYLE = 0x00040300
FULLSCREEN_STYLE = 0x92080000
# Styles the system adds on its own: clip siblings (every top-level window)
# and disabled (while a modal dialog is up).
SYSTEM_STYLES = 0x04000000 | 0x08000000

# The bootstrap applet's screen, as RGB on the screen: the background, the
# panel's inside (the background darkened to 63/256), its border, and the
# status and file lines where glyphs cover a pixel fully (each component c
# blends to (c * 255) >> 8).
BACKGROUND = (0x25, 0, 0)
PANEL_INSIDE = (9, 0, 0)
PANEL_BORDER = (0xFE, 0xD8, 0x90)
STATUS_TEXT = (0xFD, 0xD7, 0x8F)
FILE_TEXT = (0x64, 0x3F, 0x2A)

QUILLON = os.environ.get("TAMBER_QUILLON", "")
HOST_TOOL = os.environ.get("TAMBER_HOST_TOOL", "")
RECORDER = os.environ.get("TAMBER_RECORDER_DLL", "")
TEST_SERVER = os.environ.get("TAMBER_TEST_SERVER", "")
BASE_URL = os.environ.get("TAMBER_BASE_URL", "http://127.0.0.1:8642/")
WINE_ARCH = os.environ.get("TAMBER_WINE_ARCH", "win64")


def local_port(url):
    """The port of a base URL on this machine (http://127.0.0.1:PORT/), or
    None for any other URL."""
    match = re.match(r"^http://127\.0\.0\.1:(\d+)/$", url)
    return match.group(1) if match else None


def windows_path(path):
    """A Unix path as Wine's Z: drive shows it."""
    return "Z:" + path.replace("/", "\\")


def publish(folder, files, dependencies):
    """Writes files (name to bytes) and the two lists an update server serves."""
    lines = []
    for name in sorted(files):
        data = files[name]
        path = os.path.join(folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        lines.append(f"{name} {len(data)} {hashlib.sha256(data).hexdigest().upper()}\n")
    with open(os.path.join(folder, ".pm_file_list"), "w") as f:
        f.writelines(lines)
    with open(os.path.join(folder, ".tb_file_list"), "w") as f:
        f.write(dependencies)


KEYS = os.path.join(ROOT, "tests", "keys")


RELEASE_CONTEXT = b"tamber release statement\0"


def key_point(pem):
    """The 65-byte public point of the private key in tests/keys/PEM."""
    der = subprocess.run(["openssl", "pkey", "-in", os.path.join(KEYS, pem), "-pubout", "-outform", "DER"],
                         stdout=subprocess.PIPE, check=True).stdout
    return der[-65:]


def release_statement(folder, release, signers, key_set=None, threshold=1, expires="2099-12-31T00:00:00Z"):
    """The release statement of the two lists in `folder` as they are now,
    written here from the format's description (not by the publisher tool,
    so that the host is tested against the format itself): signed with each
    private key in `signers` (file names in tests/keys), naming the key set
    `key_set` (default: the signers) with `threshold`."""
    lists = ""
    for name in (".pm_file_list", ".tb_file_list"):
        with open(os.path.join(folder, name), "rb") as f:
            data = f.read()
        lists += f"list {name} {len(data)} {hashlib.sha256(data).hexdigest().upper()}\n"
    points = sorted(key_point(pem) for pem in (key_set or signers))
    body = (f"tamber-release 1\nrelease {release}\nexpires {expires}\n{lists}"
            f"keys {threshold} {' '.join(p.hex().upper() for p in points)}\n").encode()
    text = body
    for pem in signers:
        der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", os.path.join(KEYS, pem)],
                             input=RELEASE_CONTEXT + body, stdout=subprocess.PIPE, check=True).stdout
        key_id = hashlib.sha256(key_point(pem)).hexdigest().upper()
        text += f"signature {key_id} {der.hex().upper()}\n".encode()
    return text


def sign(folder, key, release=1, **options):
    """Publishes `folder`'s two lists as release `release`, signed with
    `key` (see release_statement): writes folder/.tb_release."""
    with open(os.path.join(folder, ".tb_release"), "wb") as f:
        f.write(release_statement(folder, release, [key], **options))


def read_files(folder, names):
    """{name: bytes} of each of `names` in `folder`."""
    files = {}
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = f.read()
    return files


def folder_files(folder):
    """{relative path: bytes} of every file below `folder` but its download
    log: what a run may change in a store."""
    files = {}
    for top, _, names in os.walk(folder):
        for name in names:
            if name != "download.log":
                path = os.path.join(top, name)
                with open(path, "rb") as f:
                    files[os.path.relpath(path, folder)] = f.read()
    return files


def forged(library):
    """`library` with one byte changed where no loader looks (the text of a
    PE file's DOS stub, an ELF file's compiler note): it still loads and
    runs, but it is not the library that was published."""
    for marker in (b"This program cannot be run in DOS mode", b"GCC: ("):
        at = library.find(marker)
        if at >= 0:
            return library[:at] + bytes([library[at] ^ 0x20]) + library[at + 1:]
    raise ValueError("no byte to change that the loader ignores")


class PublishedContentTest(unittest.TestCase):
    """A suite over one published content folder: the recording library as
    "tblobby.dll" and the class's `data_files` under data/, served by the
    test server at the base URL, and one Xvfb display. `prepare_content`
    may change the folder before the server starts. Everything is undone
    after the class, even when its set-up fails half-way."""

    work_prefix = "tamber-e2e-"
    data_files = {}

    @classmethod
    def prepare_content(cls):
        pass

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix=cls.work_prefix)
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        cls.content = os.path.join(cls.work, "content")
        with open(RECORDER, "rb") as f:
            cls.files = {"tblobby.dll": f.read(), **cls.data_files}
        publish(cls.content, cls.files, "tblobby.dll: +data/\n")
        cls.prepare_content()
        cls.server = ContentServer(cls.content, os.path.join(cls.work, "requests.log"))
        cls.addClassCleanup(cls.server.close)
        cls.display = XDisplay()
        cls.addClassCleanup(cls.display.close)


class ContentServer:
    """The test server (tests/server) serving `root` on the port of the
    host's build-time base URL, logging every request."""

    def __init__(self, root, log):
        port = local_port(BASE_URL)
        if not port:
            raise unittest.SkipTest(f"the host was built for {BASE_URL}, not a local test server")
        self.root = root
        self.log = log
        self.errors = tempfile.TemporaryFile(mode="w+")
        self.proc = subprocess.Popen(
            ["python3", TEST_SERVER, "--port", port, "--root", root, "--log", log, "--max-lifetime", "900"],
            stdout=subprocess.PIPE, stderr=self.errors, text=True)
        # The server prints its port once it is listening; it ends at once
        # when the port is taken (scripts/run.sh serves on the same one).
        if not self.proc.stdout.readline():
            self.proc.wait(timeout=10)
            self.errors.seek(0)
            error = self.errors.read().strip().splitlines()
            raise RuntimeError(f"the test server could not listen on port {port} of {BASE_URL} "
                               f"(is another program, e.g. scripts/run.sh, serving there?): "
                               f"{error[-1] if error else 'no message'}")

    def set_rules(self, rules):
        """Misbehaviour for the next requests, as the server's JSON rules."""
        with open(os.path.join(self.root, ".rules.json"), "w") as f:
            f.write(rules)

    def clear_requests(self):
        open(self.log, "w").close()

    def requests(self):
        """The paths requested since the log was last cleared."""
        with open(self.log) as f:
            return [line.split("\t")[1] for line in f if line.strip()]

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.errors.close()


def read_calls(path):
    """The recording library's calls, without the "<file>: " prefix."""
    try:
        with open(path) as f:
            return [line.rstrip("\n").split(": ", 1)[1] for line in f if ": " in line]
    except FileNotFoundError:
        return []


def wine_environment(arch=None):
    """The environment scripts/wine-env.sh sets up for `arch` (win32 or
    win64; the build under test's by default), as a dict. TAMBER_WINE and
    TAMBER_WINESERVER name the loader and the server to run."""
    out = subprocess.run(
        ["bash", "-c", f'source "{ROOT}/scripts/wine-env.sh" "$1" && env -0', "wine-env", arch or WINE_ARCH],
        check=True, capture_output=True).stdout
    env = {}
    for item in out.split(b"\0"):
        if b"=" in item:
            key, value = item.split(b"=", 1)
            env[key.decode()] = value.decode()
    return env


class XDisplay:
    """A private Xvfb server, or the caller's display when KEEP_DISPLAY is set."""

    def __init__(self, width=1024, height=768, depth=24):
        self.proc = None
        for number in range(90, 140):
            if os.path.exists(f"/tmp/.X{number}-lock"):
                continue
            proc = subprocess.Popen(
                ["Xvfb", f":{number}", "-screen", "0", f"{width}x{height}x{depth}", "-nolisten", "tcp"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.time() + 10
            while time.time() < deadline:
                if proc.poll() is not None:
                    break
                if os.path.exists(f"/tmp/.X11-unix/X{number}"):
                    self.proc = proc
                    self.name = f":{number}"
                    return
                time.sleep(0.05)
            proc.kill()
        raise RuntimeError("could not start Xvfb")

    def close(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait(timeout=10)
            self.proc = None


class Screenshot:
    """The whole screen as 8-bit RGB."""

    def __init__(self, display):
        data = subprocess.run(
            ["import", "-display", display, "-window", "root", "-depth", "8", "rgb:-"],
            check=True, capture_output=True).stdout
        geometry = subprocess.run(
            ["xdotool", "getdisplaygeometry"], check=True, capture_output=True, text=True,
            env=dict(os.environ, DISPLAY=display)).stdout.split()
        self.width, self.height = int(geometry[0]), int(geometry[1])
        self.data = data

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def save_png(self, path, display):
        subprocess.run(["import", "-display", display, "-window", "root", path], check=False)


class Host:
    """quillon.exe running under Wine on `display`.

    desktop: (name, width, height) runs the host in a Wine virtual desktop of
    that size (where display mode changes work); host_tool then looks there.
    log: a file that receives Wine's standard error (its debug channels).
    cwd: the folder the host is started in (the test's own by default).
    """

    def __init__(self, quillon, host_tool, display, env=None, desktop=None, log=None, cwd=None):
        self.quillon = quillon
        self.cwd = cwd
        self.host_tool = host_tool
        self.display = display
        self.env = wine_environment()
        self.env["DISPLAY"] = display.name
        if env:
            self.env.update(env)
        self.desktop = desktop
        if desktop:
            self.env["TAMBER_DESKTOP"] = desktop[0]
        self.log = log
        self.proc = None

    # The store: "Quillon" under Wine's per-user local application-data folder.
    @property
    def store(self):
        user = os.environ.get("USER") or os.environ.get("LOGNAME") or "root"
        return os.path.join(self.env["WINEPREFIX"], "drive_c", "users", user, "AppData", "Local", "Quillon")

    def clear_store(self):
        shutil.rmtree(self.store, ignore_errors=True)

    def start(self, timeout=60, wait=True):
        """Launches quillon.exe; with `wait`, returns once its window is up."""
        wine = self.env["TAMBER_WINE"]
        command = [wine, self.quillon]
        if self.desktop:
            name, width, height = self.desktop
            command = [wine, "explorer", f"/desktop={name},{width}x{height}", self.quillon]
        err = open(self.log, "w") if self.log else subprocess.DEVNULL
        try:
            self.proc = subprocess.Popen(command, env=self.env, stdout=subprocess.DEVNULL, stderr=err, cwd=self.cwd)
        finally:
            if self.log:
                err.close()
        if wait and self.tool("wait", str(timeout)) != 0:
            raise AssertionError("the host window did not appear")

    def log_text(self):
        """What Wine has written to the log so far."""
        if not self.log:
            return ""
        with open(self.log, errors="replace") as f:
            return f.read()

    def download_log_lines(self, timeout=60):
        """The lines of the store's download.log once it exists and the host
        has had a moment to finish it; None if nothing is logged in time."""
        log = os.path.join(self.store, "download.log")
        if not wait_until(lambda: os.path.exists(log), timeout=timeout):
            return None
        time.sleep(1)
        with open(log) as f:
            return f.read().splitlines()

    def tool(self, *args, capture=False):
        # Output goes through a file, not a pipe: Wine's helper processes
        # (wineserver, services) may inherit a pipe and hold it open long
        # after the tool has ended.
        with tempfile.TemporaryFile(mode="w+") as out:
            result = subprocess.run([self.env["TAMBER_WINE"], self.host_tool, *args], env=self.env, stdout=out,
                                    stderr=subprocess.DEVNULL, timeout=120)
            out.seek(0)
            return out.read() if capture else result.returncode

    def post(self, message, wparam=0, lparam=0):
        return self.tool("post", str(message), str(wparam), str(lparam))

    def window_info(self):
        """The window rectangle (left, top, right, bottom), style, extended style."""
        values = self.tool("window", capture=True).split()
        return tuple(int(v) for v in values[:4]), int(values[4], 16), int(values[5], 16)

    def work_area(self):
        """The work area (left, top, right, bottom) and the screen size."""
        values = [int(v) for v in self.tool("workarea", capture=True).split()]
        return tuple(values[:4]), tuple(values[4:6])

    def toplevels(self):
        """Titles of the host process's visible top-level windows."""
        return [t for t in self.tool("toplevels", capture=True).splitlines() if t]

    def xdotool(self, *args):
        """Runs xdotool on the host's display; returns its output."""
        return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.display.name),
                              capture_output=True, text=True, timeout=60).stdout.strip()

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def client_rect(self):
        x, y, w, h = (int(v) for v in self.tool("client", capture=True).split())
        return x, y, w, h

    def screenshot(self):
        return Screenshot(self.display.name)

    def client_pixels(self, shot):
        """A reader of `shot` in client coordinates: pixel(x, y). The client
        area is asked for once (each question runs a Wine process)."""
        cx, cy, _, _ = self.client_rect()
        return lambda x, y: shot.pixel(cx + x, cy + y)

    def bootstrap_screen_shown(self):
        """The bootstrap applet's screen is in the client area: its
        background and the inside of its panel."""
        pixel = self.client_pixels(self.screenshot())
        return pixel(20, 20) == BACKGROUND and pixel(220, 335) == PANEL_INSIDE

    def is_windowed(self):
        """The window has its windowed styles and an 800 x 600 client area,
        centred in the work area."""
        (left, top, right, bottom), style, ex_style = self.window_info()
        (work_left, work_top, work_right, work_bottom), _ = self.work_area()
        width, height = right - left, bottom - top
        return (style & ~SYSTEM_STYLES == WINDOWED_STYLE and ex_style == WINDOWED_EX_STYLE
                and self.client_rect()[2:] == (800, 600)
                and left == work_left + (work_right - work_left - width) // 2
                and top == work_top + (work_bottom - work_top - height) // 2)

    def is_fullscreen(self):
        """The window is a caption-less popup covering an 800 x 600 screen."""
        rect, style, _ = self.window_info()
        _, screen = self.work_area()
        return (style & ~SYSTEM_STYLES == FULLSCREEN_STYLE and rect == (0, 0, 800, 600)
                and screen == (800, 600) and self.client_rect() == (0, 0, 800, 600))

    def keys(self, window_name, *keys):
        """Gives the X window named `window_name` the keyboard and presses
        each key (xdotool key names, e.g. "alt+Return")."""
        window = self.xdotool("search", "--name", window_name).split()[0]
        self.xdotool("windowfocus", "--sync", window)
        for key in keys:
            self.xdotool("key", "--clearmodifiers", key)

    def wait_exit(self, timeout=30):
        return self.proc.wait(timeout=timeout)

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        subprocess.run([self.env["TAMBER_WINESERVER"], "-k"], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wait_until(predicate, timeout=20, interval=0.1):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(interval)
    return False


def artefact_dir():
    """Where failing tests leave their screenshots."""
    path = os.environ.get("TAMBER_E2E_ARTEFACTS") or os.path.join(tempfile.gettempdir(), "tamber-e2e")
    os.makedirs(path, exist_ok=True)
    return path
