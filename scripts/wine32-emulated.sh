#!/usr/bin/env bash
# 32-bit Wine under user-mode emulation, for the 32-bit smoke test: on a
# machine whose kernel runs 64-bit programs only (32-bit Wine there fails with
# "Exec format error"), and on one whose system install of 32-bit Wine
# failed. The 32-bit Wine comes from a private root (scripts/wine32-root.sh:
# Debian's wine32 for i386 and its dependencies, unpacked into the build
# tree), never from the system: the emulator takes every absolute path it is
# asked for from that root first (qemu's -L), so the loader, its libraries and
# its loader cache are the root's, and the system needs no i386 package.
#
# Wine starts every new process (wineboot, services, explorer, the program
# itself) by executing `wine` and `wineserver` from the folder of the running
# loader. So the emulation folder holds a copy of the 32-bit loader beside
# two scripts of those names that run the real loader and the 32-bit server
# under qemu-i386: every child stays under emulation. The folders Wine
# reaches relative to its loader (../i386-linux-gnu for ntdll.so and the
# DLLs, ../share/wine for wine.inf and the fonts) are links into the root.
#
# The layout mirrors the system's, where the loader is /usr/lib/wine/wine:
#   <folder>/lib/wine/wine        script: the loader under qemu
#   <folder>/lib/wine/wineserver  script: ROOT/usr/lib/wine/wineserver32 under qemu
#   <folder>/lib/wine/wine.real   copy of ROOT/usr/lib/wine/wine
#   <folder>/qemu/qemu-i386       the emulator (see wine32_emulated_qemu)
#   <folder>/lib/i386-linux-gnu   -> ROOT/usr/lib/i386-linux-gnu
#   <folder>/share                -> ROOT/usr/share
# where ROOT is $TAMBER_WINE32_ROOT/root, by default
# <folder>/../wine32-root/root, made or brought up to date here when needed.
#
# Usage:
#   scripts/wine32-emulated.sh FOLDER
#       builds FOLDER if needed, sets up the prefix once, and prints
#       TAMBER_WINE=... TAMBER_WINESERVER=... WINEPREFIX=... (one per line)
#   source scripts/wine32-emulated.sh; wine32_emulated FOLDER
#       the same from a sourcing script; it also exports those variables
#       together with WINEARCH, WINEDEBUG, WINEDLLOVERRIDES, WINELOADER and
#       WINESERVER, and puts FOLDER/lib/wine first on PATH so that `wine` and
#       `wineserver` are the emulated ones.
# Both end with status 77 when the private root cannot be had (the reason on
# one line), 1 on any other failure.
#
# The prefix is TAMBER_WINE32_EMU_PREFIX, by default .wine32-emu in the
# repository root (WINEARCH=win32). Its first start under emulation takes
# minutes; it is given TAMBER_WINE32_EMU_BOOT_TIMEOUT seconds (default 300)
# and one retry, and a failure is reported as the emulated Wine's.

wine32_emulated_fail() {
  echo "wine32-emulated: the emulated Wine failed to start: $*" >&2
  return 1
}

# Prints the qemu-i386 to run Wine with: TAMBER_QEMU_I386 if set; else the
# QEMU 10 of Debian's bookworm-backports, fetched and checked into
# FOLDER/qemu by scripts/fetch-qemu.py (QEMU 7.2, Debian 12's own, spends
# minutes of CPU in every Wine process on the address-space reservations
# Wine makes at start, which makes a prefix's first start take a quarter of
# an hour); else Debian 12's qemu-i386-static, with a warning.
wine32_emulated_qemu() {
  local folder="$1" root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  if [ -n "${TAMBER_QEMU_I386:-}" ]; then
    echo "$TAMBER_QEMU_I386"
    return 0
  fi
  if python3 "$root/scripts/fetch-qemu.py" "$folder/qemu" >&2; then
    echo "$folder/qemu/qemu-i386"
    return 0
  fi
  local system
  system="$(command -v qemu-i386-static || true)"
  [ -n "$system" ] || { wine32_emulated_fail "no qemu-i386: fetching it failed and qemu-i386-static is not installed (package qemu-user-static)"; return 1; }
  echo "wine32-emulated: using $system instead; every Wine process will take minutes" >&2
  echo "$system"
}

# Writes the emulation folder. Safe to run again: it rewrites the scripts
# and links, and keeps the loader copy when it is current.
wine32_emulated_folder() {
  local folder="$1" here status
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  mkdir -p "$folder/lib/wine" || return 1
  folder="$(cd "$folder" && pwd)"
  local private="${TAMBER_WINE32_ROOT:-$(dirname "$folder")/wine32-root}"
  "$here/wine32-root.sh" "$private" && status=0 || status=$?
  [ "$status" = 0 ] || return "$status"
  local root
  root="$(cd "$private/root" && pwd)" || return 1
  local qemu loader="$root/usr/lib/wine/wine" server="$root/usr/lib/wine/wineserver32"
  [ -f "$loader" ] || { wine32_emulated_fail "$loader is missing from the private root"; return 1; }
  [ -f "$server" ] || { wine32_emulated_fail "$server is missing from the private root"; return 1; }

  qemu="$(wine32_emulated_qemu "$folder")" || return 1
  ln -sfn "$root/usr/lib/i386-linux-gnu" "$folder/lib/i386-linux-gnu"
  ln -sfn "$root/usr/share" "$folder/share"
  local bin="$folder/lib/wine"
  cmp -s "$loader" "$bin/wine.real" || cp "$loader" "$bin/wine.real" || return 1

  # -L makes the root's files the ones the emulated programs see: the
  # dynamic loader, the libraries and the root's own /etc/ld.so.cache.
  # -R reserves the guest's whole address space up front: without it Wine
  # often fails early with "failed to map the shared user data: c0000018".
  # -0 sets the loader's argv[0] to this script, the name Wine runs again
  # for every process it starts.
  cat >"$bin/wine" <<EOF
#!/bin/sh
exec "$qemu" -L "$root" -R 0xf7000000 -0 "$bin/wine" "$bin/wine.real" "\$@"
EOF
  cat >"$bin/wineserver" <<EOF
#!/bin/sh
exec "$qemu" -L "$root" -R 0xf7000000 "$server" "\$@"
EOF
  chmod 755 "$bin/wine" "$bin/wineserver"
}

# Exports the environment of the emulated Wine for FOLDER.
wine32_emulated_env() {
  local folder
  folder="$(cd "$1" && pwd)" || return 1
  local root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  export TAMBER_WINE32_EMU_FOLDER="$folder"
  export TAMBER_WINE="$folder/lib/wine/wine"
  export TAMBER_WINESERVER="$folder/lib/wine/wineserver"
  export WINELOADER="$TAMBER_WINE"
  export WINESERVER="$TAMBER_WINESERVER"
  export WINEPREFIX="${TAMBER_WINE32_EMU_PREFIX:-$root/.wine32-emu}"
  export WINEARCH=win32
  export WINEDEBUG="${WINEDEBUG:--all}"
  # No Mono or Gecko prompts; and no desktop menu entries or crash debugger:
  # each would be one more emulated process taking minutes.
  export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d,winedbg.exe=d"
  case ":$PATH:" in
    *":$folder/lib/wine:"*) ;;
    *) export PATH="$folder/lib/wine:$PATH" ;;
  esac
}

# One attempt at the prefix's first start: wineboot, the GDI renderer (Wine's
# OpenGL renderer makes every DirectDraw surface lock slow on Xvfb), then
# waits for the server to finish writing the registry.
wine32_emulated_boot_once() {
  local timeout="$1" log="$2"
  # The first process gives up waiting for wineboot after five minutes
  # ("boot event wait timed out"), which under emulation is too short; the
  # boot goes on regardless, so its end is waited for with the server.
  timeout -k 10 "$timeout" "$TAMBER_WINE" wineboot -i >>"$log" 2>&1
  timeout -k 10 "$timeout" "$TAMBER_WINESERVER" -w >>"$log" 2>&1 || return 1
  timeout -k 10 "$timeout" "$TAMBER_WINE" reg add 'HKCU\Software\Wine\Direct3D' \
    /v renderer /t REG_SZ /d gdi /f >>"$log" 2>&1 || return 1
  timeout -k 10 "$timeout" "$TAMBER_WINESERVER" -w >>"$log" 2>&1 || return 1
  [ -f "$WINEPREFIX/system.reg" ] && grep -qi '"renderer"="gdi"' "$WINEPREFIX/user.reg"
}

# Sets up the prefix once (under a lock, so parallel callers wait for the
# first), with one retry in a fresh prefix.
wine32_emulated_prefix() {
  [ -f "$WINEPREFIX/.tamber-ready" ] && return 0
  local timeout="${TAMBER_WINE32_EMU_BOOT_TIMEOUT:-300}"
  mkdir -p "$(dirname "$WINEPREFIX")" || return 1
  (
    exec 9>"$WINEPREFIX.lock"
    flock 9
    [ -f "$WINEPREFIX/.tamber-ready" ] && exit 0
    local log="$TAMBER_WINE32_EMU_FOLDER/boot.log" attempt
    : >"$log"
    for attempt in 1 2; do
      echo "wine32-emulated: setting up $WINEPREFIX under emulation (attempt $attempt; this takes minutes)" >&2
      local start=$SECONDS
      if wine32_emulated_boot_once "$timeout" "$log"; then
        touch "$WINEPREFIX/.tamber-ready"
        echo "wine32-emulated: prefix ready in $((SECONDS - start))s" >&2
        exit 0
      fi
      echo "wine32-emulated: attempt $attempt failed after $((SECONDS - start))s" >&2
      "$TAMBER_WINESERVER" -k >/dev/null 2>&1
      case "$WINEPREFIX" in /|"") ;; *) rm -rf "$WINEPREFIX" ;; esac
    done
    wine32_emulated_fail "wineboot did not complete twice (Wine's output: $log):"
    tail -n 20 "$log" >&2
    exit 1
  )
}

# The whole setup: folder, environment, prefix.
wine32_emulated() {
  local folder="${1:?usage: wine32_emulated FOLDER}"
  wine32_emulated_folder "$folder" || return
  wine32_emulated_env "$folder" || return 1
  wine32_emulated_prefix
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  [ $# -eq 1 ] || { echo "usage: $0 FOLDER (e.g. build-win32/wine32-emu)" >&2; exit 2; }
  wine32_emulated "$1" >&2 || exit
  echo "TAMBER_WINE=$TAMBER_WINE"
  echo "TAMBER_WINESERVER=$TAMBER_WINESERVER"
  echo "WINEPREFIX=$WINEPREFIX"
fi
