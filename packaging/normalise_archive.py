#!/usr/bin/env python3
"""Rewrites a .tar.gz or .zip in place so that its bytes depend on its
contents alone: entries sorted by name, every time SOURCE_DATE_EPOCH, owner
and group 0 (root), the gzip header without a time or file name. Each
entry's data and permission bits are kept.

Usage: normalise_archive.py ARCHIVE.tar.gz|ARCHIVE.zip
"""

import gzip
import io
import os
import sys
import tarfile
import time
import zipfile


def fail(message):
    sys.stderr.write(f"normalise_archive: {message}\n")
    sys.exit(1)


def normalise_tar(path, epoch):
    with tarfile.open(path, "r:gz") as source:
        members = [(m, source.extractfile(m).read() if m.isfile() else None) for m in source.getmembers()]
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.GNU_FORMAT) as target:
        for member, data in sorted(members, key=lambda item: item[0].name):
            member.mtime = epoch
            member.uid = member.gid = 0
            member.uname = member.gname = "root"
            target.addfile(member, io.BytesIO(data) if data is not None else None)
    with open(path, "wb") as f:
        with gzip.GzipFile(filename="", mode="wb", fileobj=f, compresslevel=9, mtime=0) as packed:
            packed.write(out.getvalue())


def normalise_zip(path, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip time starts in 1980
    with zipfile.ZipFile(path) as source:
        entries = [(info, source.read(info)) for info in source.infolist()]
    with zipfile.ZipFile(path + ".new", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as target:
        for info, data in sorted(entries, key=lambda item: item[0].filename):
            entry = zipfile.ZipInfo(info.filename, stamp)
            entry.external_attr = info.external_attr & 0xFFFF0010  # Unix mode and the folder bit
            entry.create_system = 3  # Unix: the mode above is read
            entry.compress_type = zipfile.ZIP_STORED if info.is_dir() else zipfile.ZIP_DEFLATED
            target.writestr(entry, data)
    os.replace(path + ".new", path)


def main():
    if len(sys.argv) != 2:
        fail("usage: normalise_archive.py ARCHIVE.tar.gz|ARCHIVE.zip")
    path = sys.argv[1]
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    if not epoch.isdigit():
        fail(f"SOURCE_DATE_EPOCH must be the release's time in seconds: {epoch!r}")
    try:
        if path.endswith(".tar.gz"):
            normalise_tar(path, int(epoch))
        elif path.endswith(".zip"):
            normalise_zip(path, int(epoch))
        else:
            fail(f"{path}: neither .tar.gz nor .zip")
    except (OSError, tarfile.TarError, zipfile.BadZipFile) as e:
        fail(f"{path}: {e}")


if __name__ == "__main__":
    main()
