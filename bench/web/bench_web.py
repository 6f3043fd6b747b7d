#!/usr/bin/env python3
"""The browser host's figures, each a ratio measured in one run of one page
(this machine is shared: compare, don't clock):

  presenter  a bare loop presenting the same frame with putImageData and
             with a WebGL texture (the page keeps putImageData unless
             WebGL is faster)
  frame      the host's whole animation-frame step in the lobby against
             the bare convert-and-present loop in the same page (goal: at
             most 1.3 times)
  first      the time from navigation to the first presented frame
  download   a large file's download rate against the read cap of 64 KiB
             per frame times the frame rate measured meanwhile

Usage: /usr/bin/python3 bench/web/bench_web.py   (TAMBER_WEB_BUILD as for the tests)
"""

import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "web"))
import web_harness  # noqa: E402
from web_harness import Page, Site, harness  # noqa: E402

BIG = 8 * 1024 * 1024
READ_CAP = 64 * 1024
DOWNLOADING = 4


def lobby_files():
    examples = os.path.join(web_harness.ROOT, "examples", "content", "lobby")
    files = {"lobby/" + name: open(os.path.join(examples, name), "rb").read() for name in os.listdir(examples)}
    with open(os.path.join(web_harness.WEB_BUILD, "examples", "lobby", "tblobby.wasm"), "rb") as f:
        files["tblobby.wasm"] = f.read()
    files["data/big.bin"] = bytes(i % 251 for i in range(BIG))
    return files


# A bare loop in the same page, with the host's own loop paused: each of
# 300 animation frames converts and presents the host's current frame once;
# the mean time of one (the page's clock has a resolution of 0.1 ms, with
# jitter: means, not medians). The first present of an animation frame
# costs more than later ones (the canvas was just composited), so the two
# loops never share a frame.
BARE_LOOP = """
var done = arguments[arguments.length - 1], times = [];
Module.pauseMainLoop();
function frame() {
  times.push(Module._tamber_web_bare_presents(1));
  if (times.length < 300) { requestAnimationFrame(frame); return; }
  Module.resumeMainLoop();
  done(times.reduce(function(a, b) { return a + b; }, 0) / times.length);
}
requestAnimationFrame(frame);
"""


def measure(site, presenter):
    page = Page(site.url("index.html" + ("?present=webgl" if presenter == "webgl" else "")))
    try:
        page.wait(lambda s: s["libraryLoaded"], 120, "the lobby")
        time.sleep(6)  # the lobby's own frames
        status = page.status()
        page.driver.set_script_timeout(60)
        bare = page.driver.execute_async_script(BARE_LOOP)
        # The first time each state was shown (a state comes again for
        # every file: checking, then downloading).
        times, frames = {}, {}
        for state, at, frame in zip(status["states"], status["stateTimes"], status["stateFrames"]):
            times.setdefault(state, at)
            frames.setdefault(state, frame)
        return {
            "presenter": status["presenter"],
            "step": statistics.mean(status["stepMs"][-300:]),
            "bare": bare,
            "first": status["firstFrameMs"],
            "download_ms": times.get(web_harness.STATE_COMPLETE, 0) - times.get(DOWNLOADING, 0),
            "download_frames": frames.get(web_harness.STATE_COMPLETE, 0) - frames.get(DOWNLOADING, 0),
        }
    finally:
        page.close()


def main():
    reason = web_harness.missing()
    if reason:
        print(f"bench-web: not run: {reason}")
        return 0
    files = lobby_files()
    total = sum(len(data) for data in files.values())
    results = {}
    for name, lobby in (("lobby", None), ("minimal", web_harness.web_library("minimal"))):
        site = Site()
        try:
            if lobby is None:
                harness.publish(site.content, files, "tblobby.wasm: +lobby/ data/big.bin\n")
                results["2d"] = measure(site, "2d")
                results["webgl"] = measure(site, "webgl")
            else:
                harness.publish(site.content, {"tblobby.wasm": lobby}, "tblobby.wasm:\n")
                results[name] = measure(site, "2d")
        finally:
            site.close()
    two_d, webgl, minimal = results["2d"], results["webgl"], results["minimal"]
    print(f"presenter: bare loop {two_d['bare']:.3f} ms/frame with putImageData, "
          f"{webgl['bare']:.3f} ms/frame with {webgl['presenter']}: ratio webgl/2d "
          f"{webgl['bare'] / two_d['bare']:.2f}")
    print(f"frame: host step {minimal['step']:.3f} ms (a library with the three required entry points only) "
          f"against the bare loop's {minimal['bare']:.3f} ms: ratio {minimal['step'] / minimal['bare']:.2f} "
          f"(goal at most 1.30)")
    print(f"frame: with the example lobby drawing, host step {two_d['step']:.3f} ms: ratio "
          f"{two_d['step'] / two_d['bare']:.2f} (the lobby's own drawing included)")
    print(f"first frame: {two_d['first']:.0f} ms after navigation (webgl: {webgl['first']:.0f} ms)")
    seconds = two_d["download_ms"] / 1000
    if seconds > 0:
        rate = total / seconds
        fps = two_d["download_frames"] / seconds
        cap = READ_CAP * fps
        print(f"download: {total / 1048576:.1f} MiB in {seconds:.2f} s = {rate / 1024:.0f} KiB/s against "
              f"64 KiB x {fps:.1f} frames/s = {cap / 1024:.0f} KiB/s: ratio {rate / cap:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
