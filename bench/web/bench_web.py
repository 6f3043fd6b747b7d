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


def lobby_files():
    examples = os.path.join(web_harness.ROOT, "examples", "content", "lobby")
    files = {"lobby/" + name: open(os.path.join(examples, name), "rb").read() for name in os.listdir(examples)}
    with open(os.path.join(web_harness.WEB_BUILD, "examples", "lobby", "tblobby.wasm"), "rb") as f:
        files["tblobby.wasm"] = f.read()
    files["data/big.bin"] = bytes(i % 251 for i in range(BIG))
    return files


def measure(site, presenter):
    page = Page(site.url("index.html" + ("?present=webgl" if presenter == "webgl" else "")))
    try:
        status = page.wait(lambda s: s["libraryLoaded"], 120, "the lobby")
        time.sleep(3)  # the lobby's own frames
        status = page.status()
        steps = status["stepMs"][-120:]
        bare = page.driver.execute_script("return Module._tamber_web_bare_presents(120) / 120")
        times = dict(zip(status["states"], status["stateTimes"]))
        frames = dict(zip(status["states"], status["stateFrames"]))
        return {
            "presenter": status["presenter"],
            "step": statistics.median(steps),
            "bare": bare,
            "first": status["firstFrameMs"],
            "download_ms": times.get(web_harness.STATE_COMPLETE, 0) - times.get(4, 0),
            "download_frames": frames.get(web_harness.STATE_COMPLETE, 0) - frames.get(4, 0),
        }
    finally:
        page.close()


def main():
    reason = web_harness.missing()
    if reason:
        print(f"bench-web: not run: {reason}")
        return 0
    site = Site()
    try:
        files = lobby_files()
        harness.publish(site.content, files, "tblobby.wasm: +lobby/ data/big.bin\n")
        results = {p: measure(site, p) for p in ("2d", "webgl")}
    finally:
        site.close()
    two_d, webgl = results["2d"], results["webgl"]
    print(f"presenter: bare loop {two_d['bare']:.3f} ms/frame with putImageData, "
          f"{webgl['bare']:.3f} ms/frame with {webgl['presenter']}: ratio webgl/2d "
          f"{webgl['bare'] / two_d['bare']:.2f}")
    print(f"frame: host step {two_d['step']:.3f} ms against the bare loop's {two_d['bare']:.3f} ms: "
          f"ratio {two_d['step'] / two_d['bare']:.2f} (goal at most 1.30)")
    print(f"first frame: {two_d['first']:.0f} ms after navigation (webgl: {webgl['first']:.0f} ms)")
    seconds = two_d["download_ms"] / 1000
    if seconds > 0:
        rate = BIG / seconds
        fps = two_d["download_frames"] / seconds
        cap = READ_CAP * fps
        print(f"download: {BIG / 1048576:.0f} MiB in {seconds:.2f} s = {rate / 1024:.0f} KiB/s against "
              f"64 KiB x {fps:.1f} frames/s = {cap / 1024:.0f} KiB/s: ratio {rate / cap:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
