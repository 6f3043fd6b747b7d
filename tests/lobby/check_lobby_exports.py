#!/usr/bin/env python3
"""check_lobby_exports.py OBJDUMP DLL: tblobby.dll must export exactly the 26
decorated entry-point names, and nothing else (no undecorated twins)."""
import re
import subprocess
import sys

EXPECTED = sorted([
    "_applet_load@12", "_applet_unload@0", "_applet_receive_packet@8",
    "_applet_update@4", "_applet_render@16", "_applet_render2@4",
    "_applet_get_cursor@8", "_applet_mouse_down@16", "_applet_mouse_drag@12",
    "_applet_mouse_click@16", "_applet_mouse_wheel@12", "_applet_mouse_move@8",
    "_applet_mouse_up@12", "_applet_key_down@4", "_applet_key_repeat@4",
    "_applet_key_up@4", "_applet_get_balance@0", "_applet_set_message@4",
    "_applet_io_state@4", "_applet_on_wm_lobby@0", "_applet_on_wm_async_select@4",
    "_applet_send_packet@8", "_applet_on_wm_char@4", "_applet_set_server_path@4",
    "_applet_on_wm_close@0", "_applet_set_application_type@4",
])


def exported_names(objdump, path):
    text = subprocess.run([objdump, "-p", path], check=True, capture_output=True, text=True).stdout
    table = text.split("[Ordinal/Name Pointer] Table", 1)
    names = []
    if len(table) == 2:
        for line in table[1].splitlines()[1:]:
            m = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s*$", line)
            if not m:
                break
            names.append(m.group(1))
    return sorted(names)


def main():
    objdump, path = sys.argv[1], sys.argv[2]
    names = exported_names(objdump, path)
    if names != EXPECTED:
        print("FAIL missing", sorted(set(EXPECTED) - set(names)), "unexpected", sorted(set(names) - set(EXPECTED)))
        print("0 passed, 1 failed")
        return 1
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
