"""quillon.exe with an https base URL (quillon-https.exe, built for
TAMBER_TEST_HTTPS_URL) against nginx serving the content over TLS with
throwaway certificates (scripts/make-test-certs.sh). The Wine prefix trusts
the test CA only while these tests run (trust_ca.exe puts it into the
prefix's root store and takes it out again): a set downloads and hands over;
a certificate for another name, or from a CA nobody trusts, fails the first
list with one log line that carries WinINet's error code.
"""

import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

import harness

QUILLON_HTTPS = os.environ.get("TAMBER_QUILLON_HTTPS", "")
TRUST_CA = os.environ.get("TAMBER_TRUST_CA", "")
HTTPS_URL = os.environ.get("TAMBER_TEST_HTTPS_URL", "")

# WinINet's certificate errors.
ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038
ERROR_INTERNET_INVALID_CA = 12045
ERROR_INTERNET_SEC_CERT_REV_FAILED = 12057


class TlsServer:
    """scripts/nginx-serve.sh serving `root` over TLS with one certificate
    on the port of the test host's base URL, until close()."""

    def __init__(self, root, port, state, cert, key):
        self.proc = subprocess.Popen([os.path.join(harness.ROOT, "scripts", "nginx-serve.sh"), root, port, state,
                                      cert, key], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 20
        while time.time() < deadline:
            if self.proc.poll() is not None:
                break
            try:
                socket.create_connection(("127.0.0.1", int(port)), timeout=1).close()
                return
            except OSError:
                time.sleep(0.1)
        self.close()
        raise RuntimeError(f"nginx did not serve HTTPS on port {port} (is another program using it?)")

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
        self.proc.wait(timeout=10)


class HttpsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not (QUILLON_HTTPS and TRUST_CA and HTTPS_URL):
            raise unittest.SkipTest("no HTTPS test host (TAMBER_QUILLON_HTTPS, TAMBER_TRUST_CA, TAMBER_TEST_HTTPS_URL)")
        for tool in ("nginx", "openssl"):
            if not shutil.which(tool):
                raise unittest.SkipTest(f"no {tool}: the HTTPS tests need it")
        match = re.match(r"^https://localhost:(\d+)/$", HTTPS_URL)
        if not match:
            raise unittest.SkipTest(f"the HTTPS test host was built for {HTTPS_URL}, not a local server")
        cls.port = match.group(1)
        cls.work = tempfile.mkdtemp(prefix="tamber-e2e-https-")
        os.chmod(cls.work, 0o755)  # nginx's worker may run as another user
        cls.certs = os.path.join(cls.work, "certs")
        subprocess.run([os.path.join(harness.ROOT, "scripts", "make-test-certs.sh"), cls.certs], check=True)
        cls.content = os.path.join(cls.work, "content")
        with open(harness.RECORDER, "rb") as f:
            lobby = f.read()
        cls.files = {"tblobby.dll": lobby, "data/a.bin": bytes(range(256)) * 700, "data/b.txt": b"chips\n"}
        harness.publish(cls.content, cls.files, "tblobby.dll: +data/\n")
        cls.env = harness.wine_environment()
        cls.ca = harness.windows_path(os.path.join(cls.certs, "ca.pem"))
        cls.display = harness.XDisplay()
        # Wine's desktop process, started by the first program of the
        # prefix, serves the host later: it needs the display.
        cls.env["DISPLAY"] = cls.display.name
        if cls.trust("add") != 0:
            cls.display.close()
            raise RuntimeError("could not put the test CA into the Wine prefix's root store")

    @classmethod
    def tearDownClass(cls):
        removed = cls.trust("remove") == 0 and cls.trust("has") == 1
        subprocess.run([cls.env["TAMBER_WINESERVER"], "-k"], env=cls.env, check=False)
        cls.display.close()
        shutil.rmtree(cls.work, ignore_errors=True)
        if not removed:
            raise RuntimeError("the test CA is still in the Wine prefix's root store")

    @classmethod
    def trust(cls, verb):
        return subprocess.run([cls.env["TAMBER_WINE"], TRUST_CA, verb, cls.ca], env=cls.env,
                              stdout=subprocess.DEVNULL, timeout=120).returncode

    def setUp(self):
        self.calls_path = os.path.join(self.work, f"calls-{self.id().rsplit('.', 1)[1]}.log")
        self.host = harness.Host(QUILLON_HTTPS, harness.HOST_TOOL, self.display, env={
            "TAMBER_RECORDER_LOG": harness.windows_path(self.calls_path),
            "TAMBER_RECORDER_QUIET_FRAMES": "1",
        })
        self.host.clear_store()
        self.server = None

    def tearDown(self):
        self.host.kill()
        if self.server:
            self.server.close()

    def serve(self, certificate):
        state = os.path.join(self.work, "nginx-" + certificate)
        self.server = TlsServer(self.content, self.port, state, os.path.join(self.certs, certificate + ".pem"),
                                os.path.join(self.certs, certificate + ".key"))

    def calls(self):
        return harness.read_calls(self.calls_path)

    def close(self):
        self.assertEqual(self.host.post(harness.WM_CLOSE), 0)
        self.assertEqual(self.host.wait_exit(), 0)

    def test_a_set_downloads_over_https_and_hands_over(self):
        self.serve("server")
        self.host.start()
        self.assertTrue(harness.wait_until(lambda: "set_application_type 2" in self.calls(), timeout=60),
                        f"no handover; calls: {self.calls()}")
        self.assertIn(f"set_server_path {HTTPS_URL}", self.calls())
        for name, data in self.files.items():
            with open(os.path.join(self.host.store, name), "rb") as f:
                self.assertEqual(f.read(), data, name)
        self.assertFalse(os.path.exists(os.path.join(self.host.store, "download.log")))
        self.close()

    def check_list_failure(self, certificate, errors):
        self.serve(certificate)
        self.host.start()
        lines = self.host.download_log_lines()
        self.assertIsNotNone(lines, "nothing was logged")
        self.assertEqual(len(lines), 1, lines)
        self.assertRegex(lines[0], r"^\[\w{3} \w{3} \d{2} \d{2}:\d{2}:\d{2} \d{4}\] "
                                   + re.escape(f"Cannot open '{HTTPS_URL}.pm_file_list': error ")
                                   + "(" + "|".join(str(e) for e in errors) + ")$")
        self.assertEqual(self.calls(), [])  # the lobby was never loaded
        self.assertEqual(os.listdir(self.host.store), ["download.log"])  # nothing downloaded
        self.close()

    def test_a_certificate_for_another_name_fails_the_list(self):
        self.check_list_failure("other-name", [ERROR_INTERNET_SEC_CERT_CN_INVALID])

    def test_a_certificate_from_an_unknown_ca_fails_the_list(self):
        # Windows names the unknown CA; Wine checks revocation after the
        # root and reports that a chain to no trusted root could not be
        # checked for revocation either, the last of its findings.
        self.check_list_failure("unknown-ca", [ERROR_INTERNET_INVALID_CA, ERROR_INTERNET_SEC_CERT_REV_FAILED])


if __name__ == "__main__":
    unittest.main()
