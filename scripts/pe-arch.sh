#!/usr/bin/env bash
# Prints which Wine a Windows program needs, from its PE header's machine
# field: win32 (i386) or win64 (x86-64). Fails for anything else.
# Usage: scripts/pe-arch.sh PROGRAM
set -euo pipefail
file="$1"
word() {  # offset, bytes: an unsigned little-endian number from the file
  od -An -t u"$2" -j "$1" -N "$2" "$file" | tr -d ' '
}
[ "$(head -c 2 "$file")" = "MZ" ] || { echo "pe-arch: $file is not a Windows program" >&2; exit 1; }
pe="$(word 60 4)"
case "$(word $((pe + 4)) 2)" in
  332) echo win32 ;;     # 0x014c, i386
  34404) echo win64 ;;   # 0x8664, x86-64
  *) echo "pe-arch: $file is for a machine Wine cannot run here" >&2; exit 1 ;;
esac
