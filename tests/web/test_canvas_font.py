"""The browser host's canvas font engine in headless Chromium.

Builds tests/web/canvas_font_page.cpp with the engine and the drawing code
into a temporary folder with em++, serves it from a local HTTP server and
calls the page's exported functions. Native FreeType with Liberation Sans
(what "Arial" is on these machines) measures the bold 20-pixel "Retrieving
file list..." 188 pixels wide with a 22-pixel line (ascent 18, descent 4);
the canvas must come close and agree with itself exactly.

Run with /usr/bin/python3 (the system's selenium).
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

STATUS = "Retrieving file list..."

PAGE = """<!doctype html><meta charset="utf-8"><title>canvas font</title>
<script>var Module = {onRuntimeInitialized: function() { window.pageReady = true; }};</script>
<script src="page.js"></script>
"""


def missing_tools():
    from browser import CHROMIUM, CHROMEDRIVER
    if not shutil.which("em++"):
        return "em++ is not installed"
    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.path.exists(tool):
            return f"{tool} is not installed"
    try:
        import selenium  # noqa: F401
    except ImportError:
        return "selenium is missing (run with /usr/bin/python3)"
    return None


def build_page(folder):
    sources = [os.path.join(HERE, "canvas_font_page.cpp")]
    for sub, names in (("src/platform/web", ("canvas_font.cpp", "run_cache.cpp")),
                       ("src/draw", sorted(os.listdir(os.path.join(ROOT, "src/draw")))),
                       ("src/cpu", sorted(os.listdir(os.path.join(ROOT, "src/cpu"))))):
        sources += [os.path.join(ROOT, sub, n) for n in names if n.endswith(".cpp")]
    environment = dict(os.environ, NODE_PATH="/usr/share/nodejs")
    subprocess.run(["em++", "-std=c++20", "-O2", "-Wall", "-Wextra", "-Werror", "-DTAMBER_HOST",
                    "-I" + os.path.join(ROOT, "src"), "-I" + os.path.join(ROOT, "sdk"), *sources,
                    "--js-library", os.path.join(ROOT, "src/platform/web/canvas_font.js"),
                    "-sALLOW_MEMORY_GROWTH=1", "-sEXPORTED_RUNTIME_METHODS=ccall",
                    "-o", os.path.join(folder, "page.js")],
                   check=True, env=environment, capture_output=True, text=True)
    with open(os.path.join(folder, "index.html"), "w") as page:
        page.write(PAGE)


class CanvasFontTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        reason = missing_tools()
        if reason:
            raise unittest.SkipTest(reason)
        cls.folder = tempfile.mkdtemp(prefix="tamber-font-")
        try:
            build_page(cls.folder)
        except subprocess.CalledProcessError as failure:
            shutil.rmtree(cls.folder)
            raise AssertionError("em++ failed:\n" + failure.stderr) from None
        from browser import ConsoleLog, serve_folder, start_browser
        cls.server = serve_folder(cls.folder)
        cls.driver = start_browser()
        cls.console = ConsoleLog(cls.driver)
        cls.driver.get(f"http://127.0.0.1:{cls.server.server_address[1]}/index.html")
        deadline = time.monotonic() + 30
        while not cls.driver.execute_script("return window.pageReady === true"):
            if time.monotonic() > deadline:
                lines = "\n".join(cls.console.lines())
                cls.tearDownClass()
                raise AssertionError("the page did not start:\n" + lines)
            time.sleep(0.1)
        cls.bold = cls.call("page_font", "number", -20, 700, 0, 0, "Arial")
        cls.small = cls.call("page_font", "number", -13, 400, 0, 0, "Arial")

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.shutdown()
        cls.server.server_close()
        shutil.rmtree(cls.folder)

    @classmethod
    def call(cls, name, returns, *arguments):
        types = ["string" if isinstance(a, str) else "number" for a in arguments]
        value = cls.driver.execute_script(
            "return Module.ccall(arguments[0], arguments[1], arguments[2], arguments[3]);",
            name, returns, types, list(arguments))
        return json.loads(value) if returns == "string" else value

    def measure(self, font, text):
        return self.call("page_measure", "string", font, text)

    def render(self, font, text, right, bottom):
        return self.call("page_render", "string", font, text, right, bottom)

    def test_metrics_are_close_to_freetype_and_consistent(self):
        self.assertGreaterEqual(self.bold, 0)
        m = self.measure(self.bold, STATUS)
        self.assertIn("Liberation Sans", m["css"])
        self.assertEqual(m["css"], "700 20px Arial, 'Liberation Sans', sans-serif")
        self.assertLessEqual(abs(m["width"] - 188), 4, m)
        self.assertLessEqual(abs(m["height"] - 22), 1, m)
        self.assertIn(m["descent"], (4, 5), m)
        self.assertEqual(m["height"], m["ascent"] + m["descent"])
        # Whole-pixel advances, no kerning: a run is its characters' sum,
        # and "AV" is no narrower than "A" and "V" apart.
        self.assertEqual(m["width"], m["sum"])
        self.assertEqual(self.measure(self.bold, "AVAV To")["width"], self.measure(self.bold, "AVAV To")["sum"])
        small = self.measure(self.small, STATUS)
        self.assertLess(small["width"], m["width"])
        self.assertLessEqual(abs(small["width"] - 112), 4, small)
        self.assertEqual(small["height"], small["ascent"] + small["descent"])
        self.assertEqual(self.measure(self.bold, "")["width"], 0)

    def test_cell_height_and_other_faces(self):
        # A positive height asks for the cell: ascent plus descent.
        # Liberation Sans's cell is 1.117 em: 22 pixels are a 19.7-pixel em.
        cell = self.measure(self.call("page_font", "number", 22, 700, 0, 0, "Arial"), STATUS)
        self.assertLessEqual(abs(cell["height"] - 22), 1, cell)
        self.assertTrue(cell["css"].startswith("700 19.6"), cell["css"])
        self.assertLess(cell["width"], self.measure(self.bold, STATUS)["width"])
        # A face the machine lacks falls back to the generic family; a
        # quote in its name does not break the CSS.
        odd = self.call("page_font", "number", -20, 400, 1, 0, "No Such 'Face'")
        m = self.measure(odd, STATUS)
        self.assertTrue(m["css"].startswith("italic 400 20px 'No Such \\'Face\\''"), m["css"])
        self.assertGreater(m["width"], 100)

    def test_surrogate_pair_is_one_glyph(self):
        s = self.call("page_surrogates", "string", self.bold)
        self.assertGreater(s["pair"], 0)
        self.assertLess(s["pair"], s["high"] + s["low"], s)
        m = self.measure(self.bold, "a\U0001D400b")
        self.assertEqual(m["width"], m["sum"])

    def test_render_stays_in_the_measured_width(self):
        m = self.measure(self.bold, STATUS)
        r = self.render(self.bold, STATUS, 400, m["height"])
        self.assertTrue(r["grey"])
        self.assertEqual(r["outside"], 0, "bytes outside the rectangle changed")
        self.assertGreater(r["full"], 100, "no solid strokes: " + str(r))
        self.assertLess(r["max_x"], m["width"] + 1)
        self.assertGreater(r["max_x"], m["width"] - 8)
        # Drawn from the top of the line: capitals start a little below it
        # and the descender of "g" reaches into the descent.
        self.assertIn(r["min_y"], range(1, 6), r)
        self.assertGreater(r["max_y"], m["ascent"])
        self.assertLess(r["max_y"], m["height"])
        # Clipped: a narrower rectangle keeps its pixels inside.
        clipped = self.render(self.bold, STATUS, 50, 10)
        self.assertEqual(clipped["outside"], 0)
        self.assertLess(clipped["max_x"], 50)
        self.assertEqual(self.render(self.bold, "   ", 30, 22)["lit"], 0)

    def test_repeated_renders_come_from_the_cache(self):
        before = self.call("page_counts", "string")
        first = self.render(self.small, "Cached run", 120, 15)
        after_first = self.call("page_counts", "string")
        again = [self.render(self.small, "Cached run", 120, 15) for _ in range(5)]
        after = self.call("page_counts", "string")
        self.assertEqual(after_first["misses"] - before["misses"], 1)
        self.assertEqual(after_first["canvas"] - before["canvas"], 1)
        self.assertEqual(after["hits"] - after_first["hits"], 5)
        self.assertEqual(after["canvas"], after_first["canvas"])
        self.assertTrue(all(r == first for r in again), "a cached render differs from the canvas's")
        # Another clip rectangle is another run.
        self.render(self.small, "Cached run", 121, 15)
        self.assertEqual(self.call("page_counts", "string")["canvas"], after["canvas"] + 1)

    def test_progress_screen_rasterises_each_line_once(self):
        fixed = self.call("page_progress", "string", 100, 0)
        self.assertEqual(fixed["distinct"], 2)
        self.assertEqual(fixed["misses"], 2, fixed)
        self.assertEqual(fixed["canvas"], 2, fixed)
        self.assertEqual(fixed["hits"], 198, fixed)
        self.assertGreater(fixed["lit"], 200, "the status line was not drawn")
        changing = self.call("page_progress", "string", 100, 1)
        self.assertEqual(changing["distinct"], 10)
        self.assertEqual(changing["canvas"], 10, changing)
        self.assertEqual(changing["hits"], 90, changing)
        print(f"\n100 progress frames: {fixed['micros'] / 1000:.1f} ms fixed, "
              f"{changing['micros'] / 1000:.1f} ms with a changing line", file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
