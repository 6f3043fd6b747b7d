#!/usr/bin/env bash
# The host's main job on this machine (Debian 12): installs what it needs,
# builds quillon.exe and the example lobby, publishes the example content,
# serves it on the update server's base URL (fixed at build time), and runs
# quillon.exe under Wine: it downloads the content with its progress screen,
# then loads the lobby. Run it again: everything is current and the lobby
# comes up at once.
#
# With a display (DISPLAY set) the host runs there until you close it.
# Without one it runs on a private Xvfb display for TAMBER_RUN_SECONDS
# (default 30), saving a screenshot every second to build-win32/screenshots/,
# and is then closed.
#
# Usage: scripts/run.sh [--no-install]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

[ "${1:-}" = "--no-install" ] || "$root/scripts/install-deps.sh"

build="$root/build-win32"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" quillon tblobby tamber-catalogue host_tool
quillon="$build/src/quillon.exe"
host_tool="$build/tests/e2e/host_tool.exe"

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"

# The content, published afresh from this checkout.
content="$build/content"
rm -rf "$content"
TAMBER_CATALOGUE="$root/scripts/wine-run.sh $build/tools/tamber-catalogue.exe" \
  "$root/scripts/make-content.sh" "$build" "$content"

# The update server: the base URL the host was built with.
base_url="$(sed -n 's/^TAMBER_BASE_URL:STRING=//p' "$build/CMakeCache.txt")"
server_pid=""
xvfb_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
if [[ "$base_url" =~ ^http://(127\.0\.0\.1|localhost):([0-9]+)/$ ]]; then
  port="${BASH_REMATCH[2]}"
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$content" >"$build/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 50); do
    curl -sf -o /dev/null "$base_url.pm_file_list" && break
    sleep 0.1
  done
  echo "Update server: $base_url serving $content (requests in $build/server.log)"
elif [ -n "$base_url" ]; then
  echo "The host was built for $base_url; publish $content there."
fi

store="$WINEPREFIX/drive_c/users/${USER:-root}/AppData/Local/Quillon"
echo "Store: $store"

if [ -n "${DISPLAY:-}" ]; then
  echo "Running quillon.exe on $DISPLAY; close its window to end."
  wine "$quillon" && status=0 || status=$?
else
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  done
  sleep 1
  shots="$build/screenshots"
  rm -rf "$shots"
  mkdir -p "$shots"
  echo "No display: running on Xvfb $DISPLAY; screenshots go to $shots"
  wine "$quillon" &
  host_pid=$!
  seconds="${TAMBER_RUN_SECONDS:-30}"
  for i in $(seq 1 "$seconds"); do
    sleep 1
    kill -0 "$host_pid" 2>/dev/null || break
    import -window root "$shots/$(printf '%03d' "$i").png" 2>/dev/null || true
  done
  wine "$host_tool" post 0x10 >/dev/null 2>&1 || true
  wait "$host_pid" && status=0 || status=$?
  # Wine's helper processes go before their X server does.
  timeout 15 wineserver -w 2>/dev/null || true
fi
echo "quillon.exe ended with exit code $status"
[ -f "$store/download.log" ] && { echo "download.log:"; cat "$store/download.log"; }
exit "$status"
