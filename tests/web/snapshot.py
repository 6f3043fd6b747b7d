#!/usr/bin/env python3
"""Opens the browser host's page in headless Chromium, as scripts/run.sh
--web does on a machine without a display, and saves a screenshot of the
canvas every second.

Usage: /usr/bin/python3 tests/web/snapshot.py URL FOLDER [SECONDS]
"""

import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import ConsoleLog, start_browser  # noqa: E402


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    url, folder = sys.argv[1], sys.argv[2]
    seconds = int(sys.argv[3]) if len(sys.argv) == 4 else 30
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    profile = tempfile.mkdtemp(prefix="tamber-snapshot-")
    driver = start_browser(profile=profile)
    console = ConsoleLog(driver)
    lobby_at = None
    try:
        driver.get(url)
        start = time.monotonic()
        for n in range(1, seconds + 1):
            time.sleep(max(0.0, start + n - time.monotonic()))
            status = driver.execute_script("return window.Module && Module.tamber ? Module.tamber : null") or {}
            if lobby_at is None and status.get("libraryLoaded"):
                lobby_at = time.monotonic() - start
            driver.find_element("id", "tamber-canvas").screenshot(os.path.join(folder, f"{n:03d}.png"))
        for line in console.lines():
            if "tamber" in line or "download.log" in line:
                print("browser console:", line)
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    last = os.path.join(folder, f"{seconds:03d}.png")
    if lobby_at is None:
        print(f"snapshot: the lobby was not reached within {seconds} s; screenshots in {folder} (last {last})")
        return 1
    print(f"snapshot: the lobby was on screen {lobby_at:.1f} s after the page opened; screenshots in {folder} (last {last})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
