#!/usr/bin/env python3
"""Checks what the hosts link for signed lists, without running them.

usage: check_hosts.py --objdump OBJDUMP [--unsigned HOST.exe] --signed HOST.exe

A host built without a content key imports nothing from bcrypt.dll and holds
no ".tb_release" name (it requests no release statement); the signed host
imports CNG's verification and names the statement.
"""
import argparse
import subprocess
import sys

# The release statement's name (release_statement_name in src/update/release.h).
STATEMENT = b".tb_release"


def imports(objdump, path):
    """{dll name (lower case): [imported names]} from the import tables."""
    out = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    tables, current = {}, None
    for line in out.splitlines():
        line = line.strip()
        if line.startswith("DLL Name:"):
            current = tables.setdefault(line.split(":", 1)[1].strip().lower(), [])
        elif current is not None and line and line.split()[-1].startswith("BCrypt"):
            current.append(line.split()[-1])
    return tables


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--unsigned")
    parser.add_argument("--signed", required=True)
    args = parser.parse_args()
    failures = []
    if args.unsigned:
        if "bcrypt.dll" in imports(args.objdump, args.unsigned):
            failures.append(f"{args.unsigned}: imports bcrypt.dll, built without a content key")
        with open(args.unsigned, "rb") as f:
            if STATEMENT in f.read():
                failures.append(f"{args.unsigned}: holds '.tb_release', built without a content key")
    signed = imports(args.objdump, args.signed).get("bcrypt.dll", [])
    for name in ("BCryptImportKeyPair", "BCryptVerifySignature"):
        if name not in signed:
            failures.append(f"{args.signed}: does not import {name} from bcrypt.dll")
    with open(args.signed, "rb") as f:
        if STATEMENT not in f.read():
            failures.append(f"{args.signed}: does not name the release statement '.tb_release'")
    for failure in failures:
        print(failure, file=sys.stderr)
    if not failures:
        print("hosts: the unsigned host links no signature code; the signed one verifies with CNG")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
