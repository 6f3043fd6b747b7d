"""The browser host against servers that misbehave, and against forged
content: whatever the server does, the tab keeps drawing frames, memory
stays bounded, the download log says what went wrong in one line, and a
signed page loads nothing the release statement does not vouch for.

The content comes from the test server (tests/server/test_server.py)
through nginx, so that it is the page's own origin; the test server's own
port is another origin, which sends no CORS headers.
"""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from web_harness import Page, Site, WebTest, forged, harness, web_library  # noqa: E402

FETCHING_CATALOGUE, FAILED_OPEN, FAILED_TRANSFER = 1, 8, 10
DATA = bytes(i % 251 for i in range(300_000))


class MisbehavingServer(WebTest):
    def setUp(self):
        self.site = Site(misbehaving=True)
        harness.publish(self.site.content, {"tblobby.wasm": web_library("recorder"), "data/a.bin": DATA},
                        "tblobby.wasm: data/a.bin\n")
        self.page = None

    def tearDown(self):
        if self.page:
            self.page.close()
        self.site.close()

    def serve(self, rules):
        self.site.set_rules(rules)
        self.page = Page(self.site.url())

    def log(self):
        return self.page.read_file("/store/download.log") or ""

    def frames_go_on(self):
        before = self.page.status()["frames"]
        time.sleep(1)
        after = self.page.status()["frames"]
        self.assertGreater(after - before, 20, "the tab stopped drawing frames")

    def test_a_server_that_never_answers_holds_up_no_frame(self):
        self.serve({".pm_file_list": {"delay": 120000}})
        self.page.wait(lambda s: s["frames"] > 10, 20, "the first frames")
        self.frames_go_on()
        self.assertEqual(self.page.status()["updateState"], FETCHING_CATALOGUE)

    def test_a_body_that_never_ends_is_cut_off_at_the_catalogue_size_with_memory_bounded(self):
        self.serve({"data/a.bin": {"endless": True}})
        status = self.page.wait(lambda s: s["updateState"] == FAILED_TRANSFER, 60, "the refused body")
        self.assertFalse(status["libraryLoaded"])
        self.assertRegex(self.log(), r"data/a\.bin")
        heap = self.page.driver.execute_script("return Module.HEAPU8.length")
        self.assertLess(heap, 64 * 1024 * 1024)
        self.frames_go_on()

    def test_a_stalled_body_fails_at_the_stall_limit_with_a_line(self):
        self.serve({"data/a.bin": {"stall": 1000}})
        self.page.wait(lambda s: s["updateState"] == FAILED_TRANSFER, 60, "the stall limit")
        self.assertRegex(self.log(), r"data/a\.bin': read error")

    def test_a_redirect_to_another_origin_without_cors_is_an_open_failure_with_the_browser_s_reason(self):
        other = f"http://127.0.0.1:{self.site.server_port}/content/.pm_file_list"
        self.serve({".pm_file_list": {"redirect": [302, other]}})
        self.page.wait(lambda s: s["updateState"] == FAILED_OPEN, 30, "the open failure")
        self.assertRegex(self.log(), r"Cannot open '.*\.pm_file_list': error \d+")
        self.assertTrue(self.page.console.wait_for("CORS", 5), "\n".join(self.page.console.lines()))

    def test_a_redirect_loop_is_an_open_failure(self):
        self.serve({".pm_file_list": {"redirect": [302, "/content/.pm_file_list"]}})
        self.page.wait(lambda s: s["updateState"] == FAILED_OPEN, 30, "the open failure")
        self.assertRegex(self.log(), r"Cannot open '.*\.pm_file_list': error \d+")


class SignedContent(WebTest):
    """The page built with the tests' content key: the genuine signed
    release loads; the genuine lists and statement served with a forged
    library load nothing (WebCrypto verifies the statement, the store's
    rules check every body)."""

    def start(self, lobby, key="content_key.pem"):
        site = Site(page="page-signed")
        self.addCleanup(site.close)
        harness.publish(site.content, {"tblobby.wasm": web_library("recorder"), "data/a.bin": DATA},
                        "tblobby.wasm: data/a.bin\n")
        harness.sign(site.content, key)
        if lobby is not None:
            with open(os.path.join(site.content, "tblobby.wasm"), "wb") as f:
                f.write(lobby)
        page = Page(site.url())
        self.addCleanup(page.close)
        return site, page

    def test_the_genuine_release_loads(self):
        site, page = self.start(None)
        page.wait(lambda s: s["libraryLoaded"], 60, "the handover")
        self.assertEqual(site.requests()[0], ".tb_release")
        self.assertIn(".tb_release (accepted)", page.store_files())

    def test_a_forged_library_under_the_genuine_statement_is_refused(self):
        site, page = self.start(forged(web_library("recorder")))
        status = page.wait(lambda s: s["updateState"] == FAILED_TRANSFER, 60, "the refusal")
        self.assertFalse(status["libraryLoaded"])
        self.assertEqual(page.record(), [])
        log = page.read_file("/store/download.log") or ""
        self.assertRegex(log, r"tblobby\.wasm': SHA-256 differs from the catalogue")
        self.assertNotIn("tblobby.wasm", page.store_files())

    def test_the_forgery_is_a_library_that_would_run(self):
        # Published as it is, unsigned, the forged module loads and runs:
        # the refusal above is the signature's doing, not a broken file.
        site = Site()
        self.addCleanup(site.close)
        harness.publish(site.content, {"tblobby.wasm": forged(web_library("recorder"))}, "tblobby.wasm:\n")
        page = Page(site.url())
        self.addCleanup(page.close)
        page.wait(lambda s: s["libraryLoaded"], 60, "the forged library's handover")
        self.assertTrue(any(": render " in line for line in page.record()))

    def test_a_statement_signed_with_another_key_is_refused(self):
        site, page = self.start(None, key="other_key.pem")
        page.wait(lambda s: s["updateState"] == FAILED_TRANSFER, 60, "the refusal")
        log = page.read_file("/store/download.log") or ""
        self.assertRegex(log, r"too few signatures: 0 valid of 1 needed")
        self.assertEqual(site.requests(), [".tb_release"])


if __name__ == "__main__":
    unittest.main()
