"""The browser host's screens against golden images: the progress screen
of a failed download (its text drawn by the browser's font engine) and the
example lobby, as headless Chromium shows the canvas.

A screen may differ from its golden image in at most 0.2% of its pixels
(by more than 32 in a channel): the lobby's text cursor blinks. Where a
golden image is missing, or TAMBER_UPDATE_GOLDEN=1, the screen is written
as the golden image and the test fails, to be looked at and committed.
"""

import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import web_harness  # noqa: E402
from web_harness import Page, Site, WebTest, harness, web_library  # noqa: E402

GOLDEN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "golden")
FAILED_HTTP_STATUS = 9


def rgb(png):
    """The pixels of a PNG as RGB bytes, and its size (ImageMagick)."""
    size = subprocess.run(["convert", png, "-format", "%w %h", "info:"], stdout=subprocess.PIPE, check=True,
                          text=True).stdout.split()
    data = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], stdout=subprocess.PIPE, check=True).stdout
    return data, (int(size[0]), int(size[1]))


class GoldenScreens(WebTest):
    def compare(self, page, name):
        golden = os.path.join(GOLDEN, name + ".png")
        actual = os.path.join(tempfile.gettempdir(), f"tamber-web-{name}.png")
        with open(actual, "wb") as f:
            f.write(page.canvas_png())
        if os.environ.get("TAMBER_UPDATE_GOLDEN") == "1" or not os.path.exists(golden):
            os.makedirs(GOLDEN, exist_ok=True)
            with open(golden, "wb") as f, open(actual, "rb") as shot:
                f.write(shot.read())
            self.fail(f"{golden} written from this run's screen: look at it and commit it")
        want, want_size = rgb(golden)
        got, got_size = rgb(actual)
        self.assertEqual(got_size, want_size, f"the screen ({actual}) has another size than {golden}")
        differing = sum(1 for i in range(0, len(want), 3)
                        if max(abs(want[i] - got[i]), abs(want[i + 1] - got[i + 1]), abs(want[i + 2] - got[i + 2])) > 32)
        pixels = want_size[0] * want_size[1]
        self.assertLessEqual(differing, pixels // 500,
                             f"{differing} of {pixels} pixels differ from {golden}; this run's screen is {actual}")

    def test_the_progress_screen_of_a_failed_download(self):
        site = Site(misbehaving=True)
        self.addCleanup(site.close)
        harness.publish(site.content, {"tblobby.wasm": web_library("recorder"), "data/a.bin": b"x" * 1000},
                        "tblobby.wasm: data/a.bin\n")
        site.set_rules({"data/a.bin": {"status": 404}})
        page = Page(site.url())
        self.addCleanup(page.close)
        page.wait(lambda s: s["updateState"] == FAILED_HTTP_STATUS, 30, "the failed download")
        time.sleep(0.5)
        self.compare(page, "progress_failed")

    def test_the_example_lobby(self):
        site = Site()
        self.addCleanup(site.close)
        examples = os.path.join(web_harness.ROOT, "examples", "content", "lobby")
        files = {}
        for name in os.listdir(examples):
            with open(os.path.join(examples, name), "rb") as f:
                files["lobby/" + name] = f.read()
        with open(os.path.join(web_harness.WEB_BUILD, "examples", "lobby", "tblobby.wasm"), "rb") as f:
            files["tblobby.wasm"] = f.read()
        harness.publish(site.content, files, "tblobby.wasm: +lobby/\n")
        page = Page(site.url())
        self.addCleanup(page.close)
        page.wait(lambda s: s["libraryLoaded"], 60, "the lobby")
        time.sleep(1.5)
        self.compare(page, "lobby")


if __name__ == "__main__":
    unittest.main()
