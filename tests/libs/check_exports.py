#!/usr/bin/env python3
"""Checks the export tables of the Windows builds' game libraries and host
with objdump, on the build machine (nothing here runs under Wine).

--arch win32|win64: which build. On 32-bit Windows the entry points carry
the decorated stdcall names ("_applet_load@12") and each must pop exactly
its argument bytes on return ("ret $0xc", read from the disassembly); on
64-bit Windows the names are the plain C names ("applet_load").
--library NAME=PATH: the DLL must export exactly the entry points listed
below for NAME, and nothing else (no undecorated twins).
--host PATH: the host program must export applet_send_packet alone, as
ordinal 1, under the module name "quillon.exe", and, since the host a
player runs reads no environment variable, import no
GetEnvironmentVariable.

The entry points and their argument bytes are written out here on purpose,
independently of the SDK header's table from which the build derives them:
a wrong table cannot pass its own test.
"""
import argparse
import re
import subprocess
import sys

ARGUMENT_BYTES = {
    "load": 12, "unload": 0, "receive_packet": 8, "update": 4, "render": 16,
    "render2": 4, "get_cursor": 8, "mouse_down": 16, "mouse_drag": 12,
    "mouse_click": 16, "mouse_wheel": 12, "mouse_move": 8, "mouse_up": 12,
    "key_down": 4, "key_repeat": 4, "key_up": 4, "get_balance": 0,
    "set_message": 4, "io_state": 4, "on_wm_lobby": 0, "on_wm_async_select": 4,
    "send_packet": 8, "on_wm_char": 4, "set_server_path": 4, "on_wm_close": 0,
    "set_application_type": 4,
}
ALL = sorted(ARGUMENT_BYTES)

EXPECTED = {
    "recorder": ALL,
    "tblobby": ALL,
    "minimal": ["load", "get_balance", "receive_packet"],
    "no_receive": ["load", "unload", "get_balance"],
    "load_fails": ["load", "unload", "receive_packet", "get_balance", "mouse_move"],
    "calls_host": ["load", "unload", "receive_packet", "get_balance", "send_packet"],
}


def exported_name(arch, operation):
    if arch == "win32":
        return f"_applet_{operation}@{ARGUMENT_BYTES[operation]}"
    return f"applet_{operation}"


def headers(objdump, path):
    return subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout


def export_table(objdump, path):
    """(module name, image base, {name: (ordinal, rva)}) of a PE file."""
    text = headers(objdump, path)
    image_base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    if "The Export Tables" not in text:
        return None, image_base, {}
    section = text.split("The Export Tables", 1)[1]
    name = re.search(r"^Name\s+[0-9a-fA-F]+\s+(\S+)", section, re.M)
    base = re.search(r"^Export Address Table -- Ordinal Base (\d+)", section, re.M)
    ordinal_base = int(base.group(1)) if base else 1
    rvas = {}
    for m in re.finditer(r"^\s*\[\s*(\d+)\] \+base\[\s*\d+\]\s+([0-9a-fA-F]+) Export RVA", section, re.M):
        rvas[int(m.group(1))] = int(m.group(2), 16)
    exports = {}
    table = section.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines()[1:]:
            m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)\s*$", line)
            if not m:
                break
            index = int(m.group(1))
            exports[m.group(2)] = (ordinal_base + index, rvas.get(index))
    return (name.group(1) if name else None), image_base, exports


def bytes_popped(objdump, path, address):
    """The operand of the first return instruction from `address` on: the
    bytes of arguments the function pops (0 for a plain ret)."""
    text = subprocess.run([objdump, "-d", "--no-show-raw-insn", f"--start-address={address:#x}",
                           f"--stop-address={address + 0x4000:#x}", path],
                          check=True, capture_output=True, text=True).stdout
    for line in text.splitlines():
        m = re.match(r"\s*[0-9a-f]+:\s+ret[lq]?\s*(\$0x[0-9a-f]+)?\s*$", line)
        if m:
            return int(m.group(1)[1:], 16) if m.group(1) else 0
    return None


def check_library(objdump, arch, label, path):
    """Problems with one library's exports, as text lines."""
    _, image_base, exports = export_table(objdump, path)
    expected = {exported_name(arch, op): op for op in EXPECTED[label]}
    problems = []
    missing = sorted(set(expected) - set(exports))
    extra = sorted(set(exports) - set(expected))
    if missing or extra:
        problems.append(f"{label}: missing {missing}, unexpected {extra}")
    if arch == "win32":
        for name, op in sorted(expected.items()):
            if name not in exports or exports[name][1] is None:
                continue
            popped = bytes_popped(objdump, path, image_base + exports[name][1])
            if popped != ARGUMENT_BYTES[op]:
                problems.append(f"{label}: {name} pops {popped} bytes on return, not {ARGUMENT_BYTES[op]}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--arch", required=True, choices=["win32", "win64"])
    parser.add_argument("--library", action="append", default=[], metavar="NAME=PATH")
    parser.add_argument("--host")
    args = parser.parse_args()

    failures = []
    checked = 0
    for item in args.library:
        label, path = item.split("=", 1)
        checked += 1
        problems = check_library(args.objdump, args.arch, label, path)
        if problems:
            failures.append("\n     ".join(problems))

    if args.host:
        checked += 1
        module, _, exports = export_table(args.objdump, args.host)
        name = "_applet_send_packet@8" if args.arch == "win32" else "applet_send_packet"
        found = sorted((ordinal, n) for n, (ordinal, _) in exports.items())
        if module != "quillon.exe" or found != [(1, name)]:
            failures.append(f"host: module name {module!r}, exports {found}; expected "
                            f"'quillon.exe' exporting [(1, '{name}')]")
        reads = sorted(set(re.findall(r"\bGetEnvironmentVariable\w*", headers(args.objdump, args.host))))
        if reads:
            failures.append(f"host: imports {reads}: the host a player runs reads no environment")

    for f in failures:
        print("FAIL", f)
    print(f"{checked - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
