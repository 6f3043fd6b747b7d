#!/usr/bin/env bash
# The whole host measured under Wine and Xvfb: time to the first frame, the
# progress screen's and the lobby's frame rates, and the host's download
# throughput against curl; then the frame rate of the bare convert+present
# loop (bench/win32/present_loop.exe) that the progress screen's frame is
# judged against (scripts/measure-host.py prints them).
#
# Usage: scripts/bench-host.sh [BUILD_DIR] [measure-host.py options]
#   BUILD_DIR  a Windows build configured with -DTAMBER_MEASURE_HOST=ON, as
#              the test command's are (default: build-win32 where this
#              machine runs 32-bit programs, else build-win64); its base URL
#              must be a local one (the default http://127.0.0.1:8642/)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh" probe
if tamber_wine32_runs; then build="$root/build-win32"; else build="$root/build-win64"; fi
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then
  build="$(cd "$1" && pwd)"
  shift
fi

for tool in nginx curl python3 Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "bench-host: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
if ! grep -q '^TAMBER_MEASURE_HOST:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  echo "bench-host: $build is not a Windows build configured with -DTAMBER_MEASURE_HOST=ON" \
       "(scripts/test.sh configures build-win32 and build-win64 so)" >&2
  exit 1
fi
ninja -C "$build" -j2 quillon-measure tblobby host_tool present_loop >/dev/null

arch="$("$root/scripts/pe-arch.sh" "$build/src/quillon-measure.exe")"
echo "bench-host: measuring the $([ "$arch" = win32 ] && echo 32 || echo 64)-bit quillon.exe of $build"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh" "$arch"
exec python3 "$root/scripts/measure-host.py" --build "$build" "$@"
