"""The pixel converters built for the browser: the WebAssembly SIMD set
against the scalar rule, and how much faster it converts a frame.

Builds tests/web/convert_page.cpp with the converters' sources by em++
-msimd128 into a temporary folder, serves it on a free port and
reads what the page writes to the console. Run with the system's Python:
/usr/bin/python3 tests/web/test_convert.py
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

PAGE = """<!doctype html>
<html><body><script src="convert.js"></script></body></html>
"""


def build(folder):
    sources = [os.path.join(HERE, "convert_page.cpp")]
    sources += sorted(glob.glob(os.path.join(ROOT, "src", "display", "pixel_convert*.cpp")))
    env = dict(os.environ, NODE_PATH=os.environ.get("NODE_PATH", "/usr/share/nodejs"))
    command = ["em++", "-std=c++20", "-O2", "-msimd128", "-Wall", "-Wextra", "-Werror", "-DTAMBER_HOST",
               "-I", os.path.join(ROOT, "src"), "-I", os.path.join(ROOT, "sdk"), *sources,
               "-o", os.path.join(folder, "convert.js")]
    result = subprocess.run(command, env=env, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("em++ failed:\n" + result.stdout + result.stderr)
    with open(os.path.join(folder, "convert.html"), "w") as page:
        page.write(PAGE)


def page_lines(entries):
    """The page's own lines ("convert: ..."), without the console's source
    prefix and quotes."""
    lines = []
    for entry in entries:
        at = entry.find("convert: ")
        if at >= 0:
            lines.append(entry[at:].rstrip('"'))
    return lines


class ConvertPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("em++"):
            raise unittest.SkipTest("em++ (Emscripten) is not installed")
        import browser
        for program in (browser.CHROMIUM, browser.CHROMEDRIVER):
            if not os.path.exists(program):
                raise unittest.SkipTest(f"{program} is not installed")
        cls.folder = tempfile.mkdtemp(prefix="tamber-convert-")
        cls.server = cls.driver = None
        try:
            build(cls.folder)
            cls.server = browser.serve_folder(cls.folder)
            cls.driver = browser.start_browser()
            log = browser.ConsoleLog(cls.driver)
            cls.driver.get(f"http://127.0.0.1:{cls.server.server_address[1]}/convert.html")
            finished = log.wait_for("convert: done", timeout=300)
            cls.lines = page_lines(log.lines())
            if not finished:
                raise RuntimeError("the page did not finish:\n" + "\n".join(log.lines()))
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.driver:
            cls.driver.quit()
        if cls.server:
            cls.server.shutdown()
            cls.server.server_close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_every_packed_routine_writes_the_scalar_bytes(self):
        self.assertIn("convert: sets wasm-simd128", self.lines)
        mismatches = [line for line in self.lines if line.startswith("convert: mismatch")]
        self.assertEqual(mismatches, [])
        summary = [line for line in self.lines if line.startswith("convert: checked")]
        self.assertEqual(summary, ["convert: checked 9 routines, 0 mismatches"])

    def test_measure_a_frame(self):
        # Reported, not judged: the time depends on the machine.
        measured = [line for line in self.lines if line.startswith("convert: measure")]
        self.assertEqual(len(measured), 2)
        for line in measured:
            print(line, file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
