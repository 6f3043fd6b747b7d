#!/usr/bin/env bash
# The browser host's figures (bench/web/bench_web.py): presenters compared,
# the host's frame against a bare convert-and-present loop, the first
# frame, the download rate against 64 KiB a frame. Needs the browser build
# (build-web) and Chromium; says "not run" and succeeds without them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ ! -x /usr/bin/python3 ] || ! /usr/bin/python3 -c 'import selenium' 2>/dev/null; then
  echo "bench-web: not run: python3-selenium is not installed (scripts/install-deps.sh web)"
  exit 0
fi
TAMBER_WEB_BUILD="${TAMBER_WEB_BUILD:-$root/build-web}" exec /usr/bin/python3 "$root/bench/web/bench_web.py"
