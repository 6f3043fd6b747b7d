#!/usr/bin/env python3
"""Fetches qemu-i386 (user-mode emulation, a static program) from Debian's
bookworm-backports into DEST, without installing anything system-wide.

The 32-bit Wine runs under it where the kernel runs 64-bit programs only
(scripts/wine32-emulated.sh). Debian 12's own QEMU 7.2 works too, but spends
minutes of CPU in every Wine process; the backported QEMU 10 does not.

The download is checked as apt checks it: the suite's InRelease against
Debian's archive keyring (gpgv), the package index against the digest
InRelease gives, the package against the digest the index gives. Only
usr/bin/qemu-i386 is taken from the package.

Usage: scripts/fetch-qemu.py DEST     (prints nothing more once DEST holds it)
Exit code 0 with DEST/qemu-i386 in place, else 1 with the reason.
"""

import hashlib
import lzma
import os
import shutil
import subprocess
import sys
import tempfile
import urllib.request

MIRROR = os.environ.get("TAMBER_DEBIAN_MIRROR", "http://deb.debian.org/debian")
SUITE = "bookworm-backports"
PACKAGE = "qemu-user"
MEMBER = "./usr/bin/qemu-i386"
KEYRING = "/usr/share/keyrings/debian-archive-keyring.gpg"
INDEX = "main/binary-amd64/Packages.xz"


class FetchError(Exception):
    pass


def download(url, path):
    try:
        with urllib.request.urlopen(url, timeout=60) as response, open(path, "wb") as out:
            shutil.copyfileobj(response, out, 1 << 20)
    except OSError as error:
        raise FetchError(f"downloading {url} failed: {error}") from error


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def verified_release(work):
    """The signed text of the suite's InRelease, after gpgv has checked it."""
    signed = os.path.join(work, "InRelease")
    download(f"{MIRROR}/dists/{SUITE}/InRelease", signed)
    if not os.path.isfile(KEYRING):
        raise FetchError(f"{KEYRING} is missing (package debian-archive-keyring)")
    plain = os.path.join(work, "Release")
    result = subprocess.run(["gpgv", "--keyring", KEYRING, "--output", plain, signed],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise FetchError(f"the signature of {SUITE}'s InRelease does not verify: {result.stderr.strip()}")
    with open(plain, encoding="utf-8", errors="replace") as f:
        return f.read()


def index_digest(release):
    """The SHA256 line for the package index in the Release text."""
    in_sha256 = False
    for line in release.splitlines():
        if not line.startswith(" "):
            in_sha256 = line.startswith("SHA256:")
            continue
        fields = line.split()
        if in_sha256 and len(fields) == 3 and fields[2] == INDEX:
            return fields[0]
    raise FetchError(f"{SUITE}'s Release names no SHA256 for {INDEX}")


def package_entry(index_text):
    """Filename and SHA256 of the package's entry in the index."""
    for stanza in index_text.split("\n\n"):
        fields = {}
        for line in stanza.splitlines():
            if ":" in line and not line.startswith(" "):
                key, value = line.split(":", 1)
                fields[key] = value.strip()
        if fields.get("Package") == PACKAGE and "Filename" in fields and "SHA256" in fields:
            return fields["Filename"], fields["SHA256"]
    raise FetchError(f"{SUITE} has no package {PACKAGE}")


def fetch(dest):
    target = os.path.join(dest, "qemu-i386")
    if os.access(target, os.X_OK):
        return target
    os.makedirs(dest, exist_ok=True)
    with tempfile.TemporaryDirectory(dir=dest) as work:
        release = verified_release(work)
        packed = os.path.join(work, "Packages.xz")
        download(f"{MIRROR}/dists/{SUITE}/{INDEX}", packed)
        if sha256_of(packed) != index_digest(release):
            raise FetchError(f"{INDEX} does not match the digest in {SUITE}'s Release")
        with lzma.open(packed, "rt", encoding="utf-8", errors="replace") as f:
            filename, digest = package_entry(f.read())
        deb = os.path.join(work, "package.deb")
        print(f"fetch-qemu: downloading {MIRROR}/{filename}", file=sys.stderr)
        download(f"{MIRROR}/{filename}", deb)
        if sha256_of(deb) != digest:
            raise FetchError(f"{filename} does not match the digest in the package index")
        tar = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", deb], stdout=subprocess.PIPE)
        extract = subprocess.run(["tar", "-x", "-C", work, MEMBER], stdin=tar.stdout,
                                 stderr=subprocess.PIPE, text=True)
        tar.stdout.close()
        if tar.wait() != 0 or extract.returncode != 0:
            raise FetchError(f"unpacking {MEMBER} from {filename} failed: {extract.stderr.strip()}")
        # Into place under its final name only once whole.
        os.chmod(os.path.join(work, MEMBER), 0o755)
        os.replace(os.path.join(work, MEMBER), target)
    return target


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        fetch(sys.argv[1])
    except FetchError as error:
        print(f"fetch-qemu: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
