#!/usr/bin/env bash
# The whole host measured under Wine and Xvfb: time to the first frame, the
# progress screen's and the lobby's frame rates, and quillon.exe's download
# throughput against curl (scripts/measure-host.py prints them).
#
# Usage: scripts/bench-host.sh [BUILD_DIR] [measure-host.py options]
#   BUILD_DIR  a Windows build (default build-win32, configured with the
#              MinGW toolchain if it does not exist); its base URL must be a
#              local one (the default http://127.0.0.1:8642/)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-win32"
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build="$(cd "$1" && pwd)"
  shift
fi

for tool in nginx curl python3 wine Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "bench-host: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" >/dev/null
fi
ninja -C "$build" -j2 quillon tblobby host_tool >/dev/null

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh"
exec python3 "$root/scripts/measure-host.py" --build "$build" "$@"
