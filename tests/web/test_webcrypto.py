"""The WebCrypto verifier (src/platform/web/webcrypto_signature.*) in
headless Chromium, and the signed host's release check over it.

setUpClass builds tests/web/webcrypto_page.cpp with the verifier and the
release check into a temporary folder and serves it on a free port; keys and
signatures are made here with openssl. Each check polls the page's ready()
from a timer, as frames would, until WebCrypto's answer is in.
Run with /usr/bin/python3 (the system's selenium).
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402

SOURCES = ["tests/web/webcrypto_page.cpp", "src/platform/web/webcrypto_signature.cpp", "src/update/release.cpp",
           "src/update/signature.cpp", "src/update/sha256.cpp", "src/update/file_store.cpp",
           "src/update/download_log.cpp", "src/update/file_list.cpp", "src/cpu/cpu_features.cpp",
           "src/platform/native/replace_file.cpp"]
PAGE_HTML = b"""<!doctype html><meta charset=utf-8><script>
var pageErrors = [];
addEventListener('error', function(e) { pageErrors.push(String(e.message)); });
addEventListener('unhandledrejection', function(e) { pageErrors.push(String(e.reason)); });
var Module = {onRuntimeInitialized: function() { window.pageReady = true; }};
</script><script src=page.js></script>"""

# Polls `ready` until it is true, then gives `verify`'s answer; `early` is
# verify's answer before the first ready, `asks` how many readies it took.
POLL_SCRIPT = """
const [ready, verify, types, args, done] = arguments;
const call = (name) => Module.ccall(name, 'number', types, args);
const early = call(verify);
const started = performance.now();
let asks = 0;
(function poll() {
  ++asks;
  if (!call(ready)) { setTimeout(poll, 1); return; }
  done({early: early, asks: asks, answer: call(verify), ms: performance.now() - started,
        kept: Object.keys(tamberWebCrypto.answers).length, errors: pageErrors});
})();
"""
VERIFY = ("page_ready", "page_verify", ["string", "string", "string"])
CHECK = ("page_statement_ready", "page_statement_check", ["string", "number", "string"])
ACCEPTED, REFUSED = 0, 1


def openssl(*args, data=None):
    return subprocess.run(["openssl", *args], input=data, stdout=subprocess.PIPE, check=True).stdout


def raw_of(der):
    """r||s of a DER ECDSA signature, 32 bytes each."""
    assert der[0] == 0x30
    out, at = b"", 2
    for _ in range(2):
        length = der[at + 1]
        out += der[at + 2:at + 2 + length].lstrip(b"\0").rjust(32, b"\0")
        at += 2 + length
    return out


class Key:
    def __init__(self, folder, name):
        self.pem = os.path.join(folder, name + ".pem")
        openssl("ecparam", "-genkey", "-name", "prime256v1", "-noout", "-out", self.pem)
        self.point = openssl("pkey", "-in", self.pem, "-pubout", "-outform", "DER")[-65:]

    def sign(self, message):
        return raw_of(openssl("dgst", "-sha256", "-sign", self.pem, data=message))


def flip(data, bit):
    return data[:bit // 8] + bytes([data[bit // 8] ^ (0x80 >> bit % 8)]) + data[bit // 8 + 1:]


class WebCryptoTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for tool in ("em++", "openssl"):
            if not shutil.which(tool):
                raise unittest.SkipTest(f"{tool} is not installed")
        try:
            from browser import CHROMEDRIVER, CHROMIUM, serve_folder, start_browser
        except ImportError as error:
            raise unittest.SkipTest(f"no selenium ({error}): run with /usr/bin/python3")
        if not (os.path.exists(CHROMIUM) and os.path.exists(CHROMEDRIVER)):
            raise unittest.SkipTest("chromium or chromedriver is not installed")
        cls.work = tempfile.mkdtemp(prefix="tamber-webcrypto-")
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        env = dict(os.environ, NODE_PATH=os.environ.get("NODE_PATH", "/usr/share/nodejs"))
        subprocess.run(["em++", "-std=c++20", "-O1", "-Wall", "-Wextra", "-Werror", "-I", "src",
                        *SOURCES, "--js-library", "src/platform/web/webcrypto_signature.js",
                        "-sEXPORTED_RUNTIME_METHODS=ccall,FS", "-o", os.path.join(cls.work, "page.js")],
                       cwd=ROOT, env=env, check=True)
        with open(os.path.join(cls.work, "page.html"), "wb") as f:
            f.write(PAGE_HTML)

        cls.server = serve_folder(cls.work)
        cls.addClassCleanup(cls.server.server_close)
        cls.addClassCleanup(cls.server.shutdown)
        cls.driver = start_browser()
        cls.addClassCleanup(cls.driver.quit)
        cls.driver.set_script_timeout(30)
        cls.keys = [Key(cls.work, "first"), Key(cls.work, "second")]

    def setUp(self):
        # A fresh page: a fresh store (the page's memory file system) too.
        self.driver.get(f"http://127.0.0.1:{self.server.server_address[1]}/page.html")
        harness.wait_until(lambda: self.driver.execute_script("return window.pageReady === true"), timeout=30)

    def poll(self, kind, *args):
        ready, verify, types = kind
        return self.driver.execute_async_script(POLL_SCRIPT, ready, verify, types, list(args))

    def verify(self, point, message, signature):
        return self.poll(VERIFY, point.hex(), message.hex(), signature.hex())

    def test_a_signature_verifies_only_under_its_key_over_its_message(self):
        key, other = self.keys
        message = b"tamber release statement\0" + os.urandom(300)
        signature = key.sign(message)
        good = self.verify(key.point, message, signature)
        self.assertEqual((good["early"], good["answer"]), (0, 1))
        self.assertGreater(good["asks"], 1)  # the answer comes later, never from the first ready
        for what, point, text, raw in (
                ("r changed", key.point, message, flip(signature, 13)),
                ("s changed", key.point, message, flip(signature, 300)),
                ("message changed", key.point, flip(message, 1000), signature),
                ("another key", other.point, message, signature),
                ("r and s swapped", key.point, message, signature[32:] + signature[:32])):
            with self.subTest(what):
                self.assertEqual(self.verify(point, text, raw)["answer"], 0)
        # Checks of this message are kept for the statement's later verify();
        # another message's check forgets them.
        self.assertEqual(self.verify(key.point, message, signature)["kept"], 3)
        later = b"the next statement"
        self.assertEqual(self.verify(key.point, later, key.sign(later))["kept"], 1)

    def test_a_key_off_the_curve_answers_false_without_an_exception(self):
        key = self.keys[0]
        message = b"any message"
        signature = key.sign(message)
        for what, point in (("y changed", flip(key.point, 8 * 64 + 7)),
                            ("all zero", b"\x04" + bytes(64)),
                            ("compressed marker", b"\x02" + key.point[1:])):
            with self.subTest(what):
                answer = self.verify(point, message, signature)
                self.assertEqual((answer["early"], answer["answer"], answer["errors"]), (0, 0, []))
        self.assertEqual(self.verify(key.point, message, signature)["answer"], 1)

    def test_the_release_check_waits_for_webcrypto_and_then_decides(self):
        folder = os.path.join(self.work, "release")
        harness.publish(folder, {"tblobby.dll": b"library"}, "tblobby.dll:\n")
        # harness.release_statement signs with keys of tests/keys.
        pems = ["content_key.pem", "other_key.pem"]
        text = harness.release_statement(folder, 1, pems, threshold=2).decode()
        points = " ".join(harness.key_point(pem).hex() for pem in pems)
        tampered = text.replace("\nrelease 1\n", "\nrelease 2\n")
        refused = self.poll(CHECK, tampered, 2, points)
        self.assertEqual(refused["answer"], REFUSED)
        log = self.driver.execute_script("return FS.readFile('download.log', {encoding: 'utf8'})")
        self.assertIn("'page/.tb_release': a signature does not verify: 0 valid of 2 needed", log)

        accepted = self.poll(CHECK, text, 2, points)
        self.assertEqual((accepted["answer"], accepted["errors"]), (ACCEPTED, []))
        self.assertGreater(accepted["asks"], 1)
        self.assertEqual(accepted["kept"], 2)  # the two signatures of this statement
        record = self.driver.execute_script("return FS.readFile('.tb_release (accepted)', {encoding: 'utf8'})")
        self.assertTrue(record.startswith("tamber-accepted 1\nrelease 1\n"), record)
        print(f"\nstatement with 2 signatures: verdict after {accepted['asks']} readies, "
              f"{accepted['ms']:.1f} ms", file=sys.stderr)


if __name__ == "__main__":
    unittest.main()
