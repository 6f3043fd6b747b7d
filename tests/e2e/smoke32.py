#!/usr/bin/env python3
"""The 32-bit quillon.exe end to end where the system's 32-bit Wine cannot run
it (a kernel that runs 64-bit programs only, or no wine32 installed): a
private 32-bit Wine under qemu-i386 (scripts/wine32-emulated.sh, with the
root of scripts/wine32-root.sh). Exits 77 when that Wine cannot be had.

What only the 32-bit build exercises at run time: the host binds the lobby
library's stdcall entry points by their decorated names ("_applet_load@12"),
calls them with the stdcall convention, exports "_applet_send_packet@8" to the
library, and downloads through 32-bit WinINet.

  1. first start with an empty store: the progress screen is seen, the
     content set is downloaded, the host hands over to the recording library
     (published as tblobby.dll), which calls the host's export once and gets
     its packet back; WM_CLOSE ends the host with exit code 0;
  2. second start: only the two lists are requested; WM_CLOSE, exit code 0.

Everything runs 10-30 times slower than natively, and the prefix's first
start takes minutes, so every wait is long. Prints the recording library's
calls, the time of each phase, and a closing "N passed, N failed" line.

Usage (arguments or the environment variables the e2e tests use):
  tests/e2e/smoke32.py --build build-win32
  tests/e2e/smoke32.py --quillon Q.exe --host-tool T.exe --recorder R.dll \\
      --base-url http://127.0.0.1:8655/
The base URL must be the one quillon.exe was built with, on 127.0.0.1.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))


def cmake_cache_value(build, name):
    try:
        with open(os.path.join(build, "CMakeCache.txt")) as f:
            for line in f:
                if line.startswith(name + ":"):
                    return line.split("=", 1)[1].strip()
    except FileNotFoundError:
        pass
    return None


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", help="the 32-bit build tree (finds the programs and the base URL)")
    parser.add_argument("--quillon", default=os.environ.get("TAMBER_QUILLON"))
    parser.add_argument("--host-tool", default=os.environ.get("TAMBER_HOST_TOOL"))
    parser.add_argument("--recorder", default=os.environ.get("TAMBER_RECORDER_DLL"))
    parser.add_argument("--base-url", default=os.environ.get("TAMBER_BASE_URL"))
    parser.add_argument("--emu-folder", help="where the emulation folder goes (default BUILD/wine32-emu)")
    parser.add_argument("--wait", type=float, default=300, help="seconds allowed for each step (default 300)")
    args = parser.parse_args()
    if args.build:
        build = os.path.abspath(args.build)
        args.quillon = args.quillon or os.path.join(build, "src", "quillon.exe")
        args.host_tool = args.host_tool or os.path.join(build, "tests", "e2e", "host_tool.exe")
        args.recorder = args.recorder or os.path.join(build, "tests", "libs", "recorder.dll")
        args.base_url = args.base_url or cmake_cache_value(build, "TAMBER_BASE_URL")
        args.emu_folder = args.emu_folder or os.path.join(build, "wine32-emu")
    args.base_url = args.base_url or "http://127.0.0.1:8642/"
    for name in ("quillon", "host_tool", "recorder"):
        path = getattr(args, name)
        if not path or not os.path.isfile(path):
            parser.error(f"--{name.replace('_', '-')}: no such file: {path}")
        setattr(args, name, os.path.abspath(path))
    if not args.emu_folder:
        args.emu_folder = os.path.join(os.path.dirname(os.path.dirname(args.quillon)), "wine32-emu")
    return args


ARGS = parse_arguments()
# The harness reads these when it is imported.
os.environ["TAMBER_QUILLON"] = ARGS.quillon
os.environ["TAMBER_HOST_TOOL"] = ARGS.host_tool
os.environ["TAMBER_RECORDER_DLL"] = ARGS.recorder
os.environ["TAMBER_BASE_URL"] = ARGS.base_url
os.environ.setdefault("TAMBER_TEST_SERVER", os.path.join(ROOT, "tests", "server", "test_server.py"))
sys.path.insert(0, HERE)
import harness  # noqa: E402


class Results:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"PASS  {name}", flush=True)
        else:
            self.failed += 1
            print(f"FAIL  {name}" + (f": {detail}" if detail else ""), flush=True)
        return ok


class Phases:
    def __init__(self):
        self.times = []

    def run(self, name, function, results=None):
        print(f"--- {name}", flush=True)
        start = time.monotonic()
        try:
            return function()
        except Exception as error:  # a step that broke off counts as failed
            if results is None:
                raise
            results.check(f"{name} ran to its end", False, f"{type(error).__name__}: {error}")
            return None
        finally:
            seconds = time.monotonic() - start
            self.times.append((name, seconds))
            print(f"--- {name}: {seconds:.0f}s", flush=True)


# The exit code of a test that could not run here (the private 32-bit Wine
# cannot be had), as the scripts use it.
NOT_RUN = 77


def emulated_environment():
    """Builds the emulation folder and the prefix; the environment to run the
    emulated Wine with, or the exit code of the script that failed."""
    script = os.path.join(ROOT, "scripts", "wine32-emulated.sh")
    result = subprocess.run(
        ["bash", "-c", 'source "$0" && { wine32_emulated "$1" >&2 || exit; } && env -0', script, ARGS.emu_folder],
        stdout=subprocess.PIPE)
    if result.returncode != 0:
        return result.returncode
    env = {}
    for item in result.stdout.split(b"\0"):
        if b"=" in item:
            key, value = item.split(b"=", 1)
            env[key.decode()] = value.decode()
    return env


class EmulatedHost(harness.Host):
    """The harness's host, run by the emulated Wine instead of the one
    scripts/wine-env.sh sets up."""

    def __init__(self, environment, display, env):
        self.quillon = ARGS.quillon
        self.host_tool = ARGS.host_tool
        self.display = display
        self.env = dict(environment)
        self.env["DISPLAY"] = display.name
        self.env.update(env)
        self.desktop = None
        self.log = None
        self.cwd = None
        self.proc = None

    def tool(self, *args, capture=False):
        # The harness allows host_tool two minutes; under emulation its start
        # alone may take longer. Output goes through a file, as there.
        with tempfile.TemporaryFile(mode="w+") as out:
            result = subprocess.run(["wine", self.host_tool, *args], env=self.env, stdout=out,
                                    stderr=subprocess.DEVNULL, timeout=ARGS.wait)
            out.seek(0)
            return out.read() if capture else result.returncode


def progress_screen_on(display):
    """The bootstrap screen's background and panel inside, with some of its
    border or status text, are on the screen. Read from the X screen alone:
    asking Wine where the client area is would start another emulated
    process, which takes longer than the download."""
    colours = {}
    shot = harness.Screenshot(display.name)
    data = shot.data
    for i in range(0, len(data) - 2, 3 * 7):  # every 7th pixel is plenty
        pixel = (data[i], data[i + 1], data[i + 2])
        colours[pixel] = colours.get(pixel, 0) + 1
    return (colours.get(harness.BACKGROUND, 0) > 10000 and colours.get(harness.PANEL_INSIDE, 0) > 1000
            and (colours.get(harness.PANEL_BORDER, 0) > 0 or colours.get(harness.STATUS_TEXT, 0) > 0))


def main():
    results = Results()
    phases = Phases()
    work = tempfile.mkdtemp(prefix="tamber-smoke32-")
    content = os.path.join(work, "content")
    calls_path = os.path.join(work, "calls.log")
    with open(ARGS.recorder, "rb") as f:
        files = {
            "tblobby.dll": f.read(),
            "data/a.bin": bytes(range(256)) * 700,
            "data/b.txt": b"chips\n",
        }
    harness.publish(content, files, "tblobby.dll: +data/\n")

    environment = phases.run("emulated Wine prefix", emulated_environment)
    if environment == NOT_RUN:
        print("the 32-bit smoke test was not run: its 32-bit Wine cannot be had here (the line above says why)")
        return NOT_RUN
    if isinstance(environment, int):
        results.check("the emulated Wine started", False,
                      "the emulated Wine failed to start (see scripts/wine32-emulated.sh's messages above)")
        print(f"{results.passed} passed, {results.failed} failed")
        return 1
    results.check("the emulated Wine started", True)

    server = harness.ContentServer(content, os.path.join(work, "requests.log"))
    display = harness.XDisplay()
    host = EmulatedHost(environment, display, {
        "TAMBER_RECORDER_LOG": harness.windows_path(calls_path),
        "TAMBER_RECORDER_QUIET_FRAMES": "1",
        "TAMBER_RECORDER_SEND_PACKET": "1",
    })
    keeper = None
    wait = ARGS.wait

    def calls():
        return harness.read_calls(calls_path)

    def close(label):
        posted = host.post(harness.WM_CLOSE)
        results.check(f"{label}: WM_CLOSE posted to the host window", posted == 0, f"host_tool exit code {posted}")
        try:
            code = host.wait_exit(timeout=wait)
        except subprocess.TimeoutExpired:
            code = "still running"
        results.check(f"{label}: the host exited with code 0", code == 0, f"exit code {code}")

    def first_start():
        host.clear_store()
        server.clear_requests()
        # The largest file comes slowly, so the progress screen stays up.
        server.set_rules('{"/data/a.bin": {"slow": 200}}')
        host.start(wait=False)
        started = harness.wait_until(lambda: "/data/a.bin" in server.requests(), timeout=wait, interval=0.5)
        results.check("first start: the download began", started, f"requests: {server.requests()}")
        seen = started and harness.wait_until(lambda: progress_screen_on(display), timeout=60, interval=1)
        if not seen:
            harness.Screenshot(display.name).save_png(os.path.join(harness.artefact_dir(), "smoke32-progress.png"),
                                                      display.name)
        results.check("first start: the progress screen is shown", seen)
        # A library the host let go of again ("detach") ends the wait early.
        harness.wait_until(lambda: {"host export returned", "detach"} & set(calls()), timeout=wait, interval=0.5)
        handed_over = "host export returned" in calls()
        results.check("first start: handover to the lobby library", handed_over, f"calls: {calls()}")
        handover = [c for c in calls() if c.split(" ")[0] in ("load", "set_server_path", "set_application_type")]
        results.check("first start: load, set_server_path, set_application_type in order",
                      len(handover) == 3 and handover[0].startswith("load self 0x") and handover[0] != "load self 0x0 0"
                      and handover[1:] == [f"set_server_path {ARGS.base_url}", "set_application_type 2"],
                      f"{handover}")
        exported = [c for c in calls() if c.startswith("host export") or c.startswith("send_packet")]
        results.check("first start: the host's _applet_send_packet@8 reaches the library's send_packet",
                      exported == ["host export found", "send_packet 17 34", "host export returned"], f"{exported}")
        results.check("first start: lists, then the files in ascending size",
                      server.requests() == ["/.pm_file_list", "/.tb_file_list", "/data/a.bin", "/data/b.txt",
                                            "/tblobby.dll"], f"{server.requests()}")
        stored = {}
        for name in files:
            try:
                with open(os.path.join(host.store, name), "rb") as f:
                    stored[name] = f.read() == files[name]
            except OSError:
                stored[name] = False
        results.check("first start: the store holds the content set byte for byte", all(stored.values()),
                      f"{stored}")
        close("first start")
        last = [c for c in calls() if c not in ("attach", "detach")][-2:]
        results.check("first start: on_wm_close, then unload", last == ["on_wm_close", "unload"], f"{last}")

    def second_start():
        server.clear_requests()
        server.set_rules("{}")
        os.rename(calls_path, calls_path + ".first")
        host.start(wait=False)
        handed_over = harness.wait_until(lambda: "set_application_type 2" in calls(), timeout=wait, interval=0.5)
        results.check("second start: handover to the lobby library", handed_over, f"calls: {calls()}")
        results.check("second start: only the two lists requested",
                      server.requests() == ["/.pm_file_list", "/.tb_file_list"], f"{server.requests()}")
        close("second start")

    try:
        # A Windows process that idles between the two starts, so that Wine's
        # session (services, explorer, the prefix check) is started once.
        keeper = subprocess.Popen(["wine", "cmd"], env=host.env, stdin=subprocess.PIPE,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        phases.run("first start", first_start, results)
        if results.failed == 0:
            phases.run("second start", second_start, results)
        print("--- the recording library's calls")
        for path in (calls_path + ".first", calls_path):
            for line in harness.read_calls(path):
                print(f"  {line}")
    finally:
        if keeper:
            keeper.stdin.close()
        host.kill()
        if keeper:
            try:
                keeper.wait(timeout=60)
            except subprocess.TimeoutExpired:
                keeper.kill()
        server.close()
        display.close()
        shutil.rmtree(work, ignore_errors=True)
    print("--- phases")
    for name, seconds in phases.times:
        print(f"  {seconds:6.0f}s  {name}")
    print(f"{results.passed} passed, {results.failed} failed")
    return 0 if results.failed == 0 else 1


if __name__ == "__main__":
    # A stopped test run (timeout, Ctrl+C) still ends the host, the server
    # and the display through main's clean-up.
    signal.signal(signal.SIGTERM, lambda signum, frame: sys.exit(128 + signum))
    sys.exit(main())
