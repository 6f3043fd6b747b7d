#!/usr/bin/env python3
"""Measures quillon.exe as a player meets it, under Wine on a private Xvfb
display, and prints the figures of one run:

  - the time from start to the first presented frame;
  - the frame rate on the progress screen while it downloads, and in the
    example lobby afterwards;
  - the download throughput of quillon.exe, in the foreground, against curl
    fetching the same files from the same server one after another;
  - the frame rate of a bare loop (present_loop.exe) that opens the host's
    window and display device through the host's code and only converts and
    presents an 800 x 600 frame each frame, with the same DirectDraw calls
    and blit flags: the fastest the host's frame can be under this Wine, on
    the same display and Wine prefix, right after the host has ended.

The update server is nginx on the host's build-time base URL, serving the
example content plus generated bulk files the lobby is made to need. The
host built for measuring (quillon-measure.exe) reports its frames through
TAMBER_FRAME_STATS (src/shell/frame_stats.h).

Since the host reads at most 64 KiB a frame, the progress screen's frame
rate caps its download speed. The targets: a progress-screen frame that
takes at most 1.3 times the bare loop's frame, and a download of at least
0.8 x 64 KiB x the progress screen's frame rate. (A fixed frame rate is no
target: the windowed blit asks for no tearing, which Wine's software
blitter serves one pixel at a time, so the bare loop itself sets the pace.)

Usage: scripts/measure-host.py [--build DIR] [--mib N] [--lobby-seconds S]
                               [--loop-seconds S]
Run it through scripts/bench-host.sh, which builds what it needs and sets up
the Wine prefix.
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402  (the end-to-end tests' Xvfb, Wine and host helpers)

FRAME_READ = 64 * 1024
MIB = 1024 * 1024
# The progress screen's frame may take at most this many times the bare
# convert+present loop's.
FRAME_RATIO_TARGET = 1.3


def cache_value(build, name):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split("=", 1)[1].strip()
    return ""


def make_content(www, build, mib):
    """The example content, plus `mib` MiB of random files under measure/
    that the lobby's dependency list now asks for."""
    files = {}
    with open(os.path.join(build, "examples", "lobby", "tblobby.dll"), "rb") as f:
        files["tblobby.dll"] = f.read()
    assets = os.path.join(ROOT, "examples", "content", "lobby")
    for name in sorted(os.listdir(assets)):
        with open(os.path.join(assets, name), "rb") as f:
            files[f"lobby/{name}"] = f.read()
    rng = random.Random(7)
    piece = 4 * MIB
    for i in range(max(1, mib * MIB // piece)):
        files[f"measure/{i:03d}.bin"] = rng.randbytes(piece)
    with open(os.path.join(ROOT, "examples", "content", ".tb_file_list")) as f:
        dependencies = f.read()
    harness.publish(www, files, dependencies + "tblobby.dll: +measure/\n")
    return files


class Nginx:
    """scripts/nginx-serve.sh serving `www` on `port`, until close()."""

    def __init__(self, work, www, port):
        # A server already there would answer in nginx's place and be
        # measured instead.
        if subprocess.run([os.path.join(ROOT, "scripts", "port-free.sh"), port]).returncode != 0:
            raise SystemExit(f"measure-host: port {port} is taken by another program; free it and run again")
        self.proc = subprocess.Popen([os.path.join(ROOT, "scripts", "nginx-serve.sh"), www, port,
                                      os.path.join(work, "nginx")])
        base = f"http://127.0.0.1:{port}/"
        for _ in range(100):
            if subprocess.run(["curl", "-sf", "-o", "/dev/null", base + ".tb_file_list"]).returncode == 0:
                return
            time.sleep(0.05)
        raise SystemExit(f"measure-host: nginx did not answer on {base}")

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


def read_stats(path):
    """The host's report lines: (ms, frames, lobby, state, done, total)."""
    try:
        with open(path) as f:
            return [tuple(int(v) for v in line.split()) for line in f if len(line.split()) == 6]
    except FileNotFoundError:
        return []


def rate(lines, column):
    """Per second between the first and the last line, and the seconds."""
    if len(lines) < 2 or lines[-1][0] == lines[0][0]:
        return None, 0.0
    seconds = (lines[-1][0] - lines[0][0]) / 1000
    return (lines[-1][column] - lines[0][column]) / seconds, seconds


def run_present_loop(loop, env, display, work, seconds):
    """Runs present_loop.exe for `seconds` on `display`; returns its frame
    rate, or None and why not."""
    out_path = os.path.join(work, "present-loop.txt")
    log_path = os.path.join(work, "present-loop.log")
    # Output goes through files, not pipes: Wine's helper processes may
    # inherit a pipe and hold it open.
    with open(log_path, "w") as log:
        try:
            result = subprocess.run([env["TAMBER_WINE"], loop, f"{seconds:g}", harness.windows_path(out_path)],
                                    env=dict(env, DISPLAY=display.name), stdout=log, stderr=log,
                                    timeout=seconds + 120)
        except subprocess.TimeoutExpired:
            return None, "did not end"
    with open(log_path, errors="replace") as f:
        said = " ".join(f.read().split())
    try:
        with open(out_path) as f:
            frames, _, fps, failed = f.read().split()
    except (FileNotFoundError, ValueError):
        return None, f"wrote no figures (exit code {result.returncode}: {said or 'nothing said'})"
    if result.returncode != 0 or int(failed) or not int(frames):
        return None, (f"exit code {result.returncode}, {frames} frames, {failed} failed presents"
                      f"{': ' + said if said else ''}")
    return float(fps), None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="a Windows build with quillon-measure.exe")
    parser.add_argument("--mib", type=int, default=128, help="bulk content to download (MiB)")
    parser.add_argument("--lobby-seconds", type=float, default=4.0)
    parser.add_argument("--curl-runs", type=int, default=3)
    parser.add_argument("--loop-seconds", type=float, default=4.0,
                        help="how long the bare convert+present loop runs")
    args = parser.parse_args()

    build = os.path.abspath(args.build)
    base_url = cache_value(build, "TAMBER_BASE_URL")
    port = harness.local_port(base_url)
    if not port:
        raise SystemExit(f"measure-host: the host was built for {base_url!r}, not a local server")
    # The host built for measuring: the player's quillon.exe writes no
    # statistics.
    quillon = os.path.join(build, "src", "quillon-measure.exe")
    host_tool = os.path.join(build, "tests", "e2e", "host_tool.exe")
    loop = os.path.join(build, "bench", "win32", "present_loop.exe")
    if not os.path.isfile(loop):
        raise SystemExit(f"measure-host: {loop} is missing (ninja -C {build} present_loop)")

    # Everything the run writes lives in one folder inside the Wine prefix,
    # on the same file system as the host's store, and goes at the end, the
    # store's downloads with it.
    env = harness.wine_environment()
    work = tempfile.mkdtemp(prefix="tamber-measure-", dir=os.path.join(env["WINEPREFIX"], "drive_c"))
    display = server = host = None
    try:
        www = os.path.join(work, "www")
        files = make_content(www, build, args.mib)
        subprocess.run(["chmod", "-R", "a+rX", work], check=True)
        bulk = sum(len(data) for name, data in files.items() if name.startswith("measure/"))
        server = Nginx(work, www, port)
        display = harness.XDisplay()

        stats_path = os.path.join(work, "frames.txt")
        host = harness.Host(quillon, host_tool, display, env={"TAMBER_FRAME_STATS": harness.windows_path(stats_path)})
        host.clear_store()
        host.tool("workarea")  # starts the Wine server, so that the host's start is the host's alone
        launched = time.monotonic()
        host.start(wait=False)  # the stats file tells when the first frame is up
        first_seen = None
        deadline = launched + 600
        while time.monotonic() < deadline:
            lines = read_stats(stats_path)
            if lines and first_seen is None:
                first_seen = time.monotonic() - launched
            if any(line[2] for line in lines):
                break
            if host.proc.poll() is not None:
                raise SystemExit("measure-host: quillon.exe ended before the lobby")
            time.sleep(0.005)
        else:
            raise SystemExit("measure-host: no lobby within ten minutes")
        time.sleep(args.lobby_seconds)
        host.post(harness.WM_CLOSE)
        exit_code = host.wait_exit(timeout=60)

        lines = read_stats(stats_path)
        downloading = [line for line in lines if not line[2] and line[3] == 4]
        progress = [line for line in lines if not line[2] and 1 <= line[3] <= 4]
        lobby = [line for line in lines if line[2]]
        progress_fps, progress_seconds = rate(progress, 1)
        download_rate, download_seconds = rate(downloading, 4)
        lobby_fps, lobby_seconds = rate(lobby, 1)

        # The bare loop, on the same display and Wine prefix, once the host
        # has gone (nothing else draws).
        loop_fps, loop_failure = run_present_loop(loop, env, display, work, args.loop_seconds)

        stored = lambda name: os.path.join(host.store, name)
        missing = [name for name, data in files.items()
                   if not os.path.isfile(stored(name)) or os.path.getsize(stored(name)) != len(data)]

        # curl: the same requests in the same order (the lists, then the
        # catalogue in byte order), one process, one connection.
        names = [".pm_file_list", ".tb_file_list"] + sorted(files)
        config = os.path.join(work, "curl.config")
        curl_dir = os.path.join(work, "curl")
        with open(config, "w") as f:
            for name in names:
                f.write(f'url = "{base_url}{name}"\noutput = "{curl_dir}/{name}"\n')
        curl_times = []
        for _ in range(args.curl_runs):
            shutil.rmtree(curl_dir, ignore_errors=True)
            start = time.monotonic()
            subprocess.run(["curl", "-s", "--create-dirs", "-K", config], check=True)
            curl_times.append(time.monotonic() - start)
        total = sum(len(data) for data in files.values())
        curl_rate = total / statistics.median(curl_times)
    finally:
        if host:
            host.kill()
            host.clear_store()  # 128 MiB of bulk files are no one's content
        if server:
            server.close()
        if display:
            display.close()
        shutil.rmtree(work, ignore_errors=True)

    print(f"content: {len(files)} files, {total / MIB:.1f} MiB ({bulk / MIB:.0f} MiB of bulk files)")
    print(f"exit code: {exit_code}; store complete: {'yes' if not missing else 'NO, missing ' + ', '.join(missing)}")
    if lines:
        print(f"time to first frame: {lines[0][0]} ms after WinMain began, "
              f"{first_seen * 1000:.0f} ms after wine was started")
    if progress_fps:
        print(f"progress screen: {progress_fps:.0f} frames/s over {progress_seconds:.1f} s")
    else:
        print("progress screen: too short to measure (raise --mib)")
    if lobby_fps:
        print(f"lobby: {lobby_fps:.0f} frames/s over {lobby_seconds:.1f} s")
    if download_rate:
        print(f"download: quillon.exe {download_rate / MIB:.1f} MiB/s over {download_seconds:.1f} s; "
              f"curl {curl_rate / MIB:.1f} MiB/s (median of {len(curl_times)}); "
              f"ratio {download_rate / curl_rate:.2f}")
    if loop_fps:
        print(f"bare convert+present loop: {loop_fps:.0f} frames/s")
    else:
        print(f"bare convert+present loop: FAILED, {loop_failure}")
    if progress_fps:
        if loop_fps:
            # Frame times: the host's progress-screen frame against the
            # loop's.
            ratio = loop_fps / progress_fps
            verdict = ratio <= FRAME_RATIO_TARGET
            print(f"target: progress screen frame <= {FRAME_RATIO_TARGET:g} x the bare loop's: "
                  f"{'OK' if verdict else 'ABOVE TARGET'} (ratio {ratio:.2f})")
        if download_rate:
            ceiling = FRAME_READ * progress_fps
            verdict = download_rate >= 0.8 * ceiling
            print(f"target: download >= 0.8 x 64 KiB x {progress_fps:.0f} frames/s = "
                  f"{0.8 * ceiling / MIB:.1f} MiB/s: {'OK' if verdict else 'BELOW TARGET'} "
                  f"({download_rate / ceiling:.2f} of the ceiling)")
    return 0 if exit_code == 0 and not missing and loop_fps else 1


if __name__ == "__main__":
    sys.exit(main())
