#!/usr/bin/env python3
"""Checks PE export tables with objdump -p.

--library NAME=PATH: the DLL must export exactly the decorated names listed
below for NAME, and nothing else (no undecorated "applet_load@12" twins).
--host PATH: the host program must export "_applet_send_packet@8" alone, as
ordinal 1, under the module name "quillon.exe".

The expected names are written out here rather than derived from the build
files, so a wrong argument count there is caught.
"""
import argparse
import re
import subprocess
import sys

ENTRY_POINTS = [
    "_applet_load@12", "_applet_unload@0", "_applet_receive_packet@8",
    "_applet_update@4", "_applet_render@16", "_applet_render2@4",
    "_applet_get_cursor@8", "_applet_mouse_down@16", "_applet_mouse_drag@12",
    "_applet_mouse_click@16", "_applet_mouse_wheel@12", "_applet_mouse_move@8",
    "_applet_mouse_up@12", "_applet_key_down@4", "_applet_key_repeat@4",
    "_applet_key_up@4", "_applet_get_balance@0", "_applet_set_message@4",
    "_applet_io_state@4", "_applet_on_wm_lobby@0", "_applet_on_wm_async_select@4",
    "_applet_send_packet@8", "_applet_on_wm_char@4", "_applet_set_server_path@4",
    "_applet_on_wm_close@0", "_applet_set_application_type@4",
]

EXPECTED = {
    "recorder": ENTRY_POINTS,
    "minimal": ["_applet_load@12", "_applet_get_balance@0", "_applet_receive_packet@8"],
    "no_receive": ["_applet_load@12", "_applet_unload@0", "_applet_get_balance@0"],
    "load_fails": ["_applet_load@12", "_applet_unload@0", "_applet_receive_packet@8",
                   "_applet_get_balance@0", "_applet_mouse_move@8"],
    "calls_host": ["_applet_load@12", "_applet_unload@0", "_applet_receive_packet@8",
                   "_applet_get_balance@0", "_applet_send_packet@8"],
}


def export_table(objdump, path):
    """Returns (module name, ordinal base, [(ordinal, name)]) of a PE file."""
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    if "The Export Tables" not in text:
        return None, None, []
    section = text.split("The Export Tables", 1)[1]
    name = re.search(r"^Name\s+[0-9a-fA-F]+\s+(\S+)", section, re.M)
    base = re.search(r"^Ordinal Base\s+(\d+)", section, re.M)
    ordinal_base = int(base.group(1)) if base else 1
    exports = []
    table = section.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines()[1:]:
            m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)\s*$", line)
            if not m:
                break
            exports.append((ordinal_base + int(m.group(1)), m.group(2)))
    return (name.group(1) if name else None), ordinal_base, exports


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--library", action="append", default=[], metavar="NAME=PATH")
    parser.add_argument("--host")
    args = parser.parse_args()

    failures = []
    checked = 0
    for item in args.library:
        label, path = item.split("=", 1)
        _, _, exports = export_table(args.objdump, path)
        names = [n for _, n in exports]
        expected = EXPECTED[label]
        checked += 1
        if sorted(names) != sorted(expected):
            missing = sorted(set(expected) - set(names))
            extra = sorted(set(names) - set(expected))
            failures.append(f"{label}: missing {missing}, unexpected {extra}")

    if args.host:
        checked += 1
        module, _, exports = export_table(args.objdump, args.host)
        if module != "quillon.exe" or exports != [(1, "_applet_send_packet@8")]:
            failures.append(f"host: module name {module!r}, exports {exports}; expected "
                            "'quillon.exe' exporting [(1, '_applet_send_packet@8')]")

    for f in failures:
        print("FAIL", f)
    print(f"{checked - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
