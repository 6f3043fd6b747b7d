#!/usr/bin/env python3
"""The header that compiles the content keys into a host: the same key set
gives the same header whatever order the keys are given in, and a set the
host could not use (a threshold it can never reach, a key twice, a private
key) stops the build with a reason and writes nothing."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "..", "..", "tools", "content_key_header.py")
CONTENT, OTHER = os.path.join(HERE, "content_key.pub.pem"), os.path.join(HERE, "other_key.pub.pem")


def run(*args):
    out = os.path.join(tempfile.mkdtemp(), "content_key.h")
    proc = subprocess.run([sys.executable, SCRIPT] + list(args[:-1]) + [out] + list(args[-1]),
                          capture_output=True, text=True)
    text = open(out).read() if os.path.exists(out) else None
    return proc.returncode, proc.stderr, text


class ContentKeyHeader(unittest.TestCase):
    def test_a_key_set_is_written_in_one_order_with_its_threshold(self):
        status, _, first = run("--threshold", "2", [CONTENT, OTHER])
        self.assertEqual(status, 0)
        _, _, second = run("--threshold", "2", [OTHER, CONTENT])
        self.assertEqual(first, second)
        self.assertIn("content_keys{2, {", first)
        self.assertEqual(first.count("{{\n"), 2)  # one point each
        status, _, single = run([CONTENT])
        self.assertEqual(status, 0)
        self.assertIn("content_keys{1, {", single)

    def test_a_set_the_host_could_not_use_is_refused(self):
        rows = [
            (("--threshold", "3", [CONTENT, OTHER]), "the threshold must be from 1 to 2"),
            (("--threshold", "0", [CONTENT]), "the threshold must be from 1 to 1"),
            (([CONTENT, CONTENT],), "given twice"),
            (([os.path.join(HERE, "content_key.pem")],), "this is a private key"),
        ]
        for args, reason in rows:
            status, error, text = run(*args)
            self.assertEqual(status, 1, args)
            self.assertIn(reason, error)
            self.assertIsNone(text)


if __name__ == "__main__":
    unittest.main()
