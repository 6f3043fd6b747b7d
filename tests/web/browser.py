"""Headless Chromium driven by Selenium, for the browser host's tests.

Debian's chromium and chromium-driver with python3-selenium (the system's
Python: /usr/bin/python3 has the packaged selenium). Chromium runs without
its sandbox when the tests run as root, which it refuses otherwise, and
with software rendering, so every machine draws the same pixels.
"""

import functools
import http.server
import os
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service

CHROMIUM = os.environ.get("TAMBER_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("TAMBER_CHROMEDRIVER", "/usr/bin/chromedriver")


def start_browser(width=1024, height=768, profile=None):
    """A headless Chromium with its console log kept. `profile` is a folder
    for the browser's data (the store persists in it between browsers);
    None gives a fresh one."""
    options = Options()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--disable-gpu", "--disable-dev-shm-usage",
                     "--use-gl=angle", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                     "--force-device-scale-factor=1", "--hide-scrollbars",
                     "--autoplay-policy=no-user-gesture-required",
                     "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
                     "--disable-backgrounding-occluded-windows",
                     f"--window-size={width},{height}"):
        options.add_argument(argument)
    if os.geteuid() == 0:
        options.add_argument("--no-sandbox")
    if profile:
        options.add_argument(f"--user-data-dir={profile}")
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


class ConsoleLog:
    """The page's console, read as it comes: Chromium hands each entry out
    once, so the entries are kept here."""

    def __init__(self, driver):
        self.driver = driver
        self.entries = []

    def lines(self):
        for entry in self.driver.get_log("browser"):
            self.entries.append(entry["message"])
        return self.entries

    def wait_for(self, text, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if any(text in line for line in self.lines()):
                return True
            time.sleep(0.1)
        return False


class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, ".wasm": "application/wasm"}

    def log_message(self, *args):
        pass


def serve_folder(folder):
    """A static HTTP server for `folder` on a free port of 127.0.0.1, in a
    thread of its own: its port is server.server_address[1]; end it with
    shutdown() and server_close()."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(_QuietHandler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server
