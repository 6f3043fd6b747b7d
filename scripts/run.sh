#!/usr/bin/env bash
# Sets up this machine (Debian 12), builds quillon.exe and runs it under Wine:
# on your display when DISPLAY is set, otherwise on a private Xvfb display,
# saving screenshots to build-win32/screenshots/ and closing the host after
# TAMBER_RUN_SECONDS (default 20).
# Usage: scripts/run.sh [--no-install]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

[ "${1:-}" = "--no-install" ] || "$root/scripts/install-deps.sh"

cmake -S "$root" -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C build-win32 quillon host_tool
quillon="$root/build-win32/src/quillon.exe"
host_tool="$root/build-win32/tests/e2e/host_tool.exe"

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"

xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  done
  sleep 1
  shots="$root/build-win32/screenshots"
  mkdir -p "$shots"
  echo "No display: running on Xvfb $DISPLAY; screenshots go to $shots"
  wine "$quillon" &
  host_pid=$!
  seconds="${TAMBER_RUN_SECONDS:-20}"
  for i in $(seq 1 "$seconds"); do
    sleep 1
    kill -0 "$host_pid" 2>/dev/null || break
    import -window root "$shots/$(printf '%03d' "$i").png" 2>/dev/null || true
  done
  wine "$host_tool" post 0x10 >/dev/null 2>&1 || true
  wait "$host_pid" && status=0 || status=$?
  echo "quillon.exe ended with exit code $status"
  exit "$status"
fi

echo "Running quillon.exe on $DISPLAY; close its window to end."
wine "$quillon"
