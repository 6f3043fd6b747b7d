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
# It runs the 32-bit quillon.exe (build-win32) where the system's 32-bit Wine
# runs, else the 64-bit one (build-win64), and says which and why. The
# packages come in two layers (scripts/install-deps.sh): the core, which the
# 64-bit host needs and which must install, and the optional 32-bit Wine,
# whose failure only makes this run the 64-bit host.
#
# With --signed the host is built with a content key (one of one) and the
# content is published with a signed release statement: a key pair is made
# once in BUILD/content-key/ (key.pem stays there; key.pub.pem goes into the
# host), and the statement is made by the native tamber-catalogue, built in
# build/. Its release number is the time of the run, so that it is above
# whatever an earlier run's host accepted into its store. Without --signed
# the host is built without a key.
#
# With --web it runs the browser host instead: builds the page (build-web,
# Debian's Emscripten) and the example content for it, serves both with
# nginx on 127.0.0.1:${TAMBER_WEB_PORT:-8680} and prints the URL to open;
# without a display it also opens the page in headless Chromium and saves
# screenshots of it to build-web/screenshots/. It serves until Ctrl+C, or
# for TAMBER_RUN_SECONDS when that is set.
#
# Usage: scripts/run.sh [--no-install] [--signed | --web]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

step="setting up"
server_pid=""
xvfb_pid=""
browser_pid=""""
host_pid=""
wine_started=""
# On any end, Ctrl+C included: the host, Wine's server, Xvfb and the update
# server this script started all go.
finish() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$host_pid" ] && kill -0 "$host_pid" 2>/dev/null; then kill "$host_pid" 2>/dev/null; fi
  [ -n "$browser_pid" ] && kill "$browser_pid" 2>/dev/null
  if [ -n "$wine_started" ]; then timeout 15 "$TAMBER_WINESERVER" -k 2>/dev/null; fi
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  if [ "$status" -eq 130 ]; then
    echo "run.sh: interrupted while $step; everything it started has been stopped." >&2
  elif [ "$status" -ne 0 ]; then
    echo "run.sh: FAILED while $step (exit code $status); the output above says why." >&2
  fi
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

install=1
signed=""
web=""
for argument in "$@"; do
  case "$argument" in
    --no-install) install="" ;;
    --signed) signed=1 ;;
    --web) web=1 ;;
    *) echo "usage: $0 [--no-install] [--signed | --web]" >&2; exit 2 ;;
  esac
done
if [ -n "$signed" ] && [ -n "$web" ]; then
  echo "usage: $0 [--no-install] [--signed | --web]" >&2
  exit 2
fi

# The browser host: the page and its content, served by nginx.
run_web() {
  step="installing packages (scripts/install-deps.sh core, web)"
  if [ -n "$install" ]; then
    "$root/scripts/install-deps.sh" core
    "$root/scripts/install-deps.sh" web || {
      echo "run.sh: the browser host needs Emscripten and Chromium, which could not be installed (the line above says why)." >&2
      exit 1
    }
  fi
  command -v emcmake >/dev/null || { echo "run.sh: Emscripten is not installed (scripts/install-deps.sh web)" >&2; exit 1; }
  local build="$root/build-web" port="${TAMBER_WEB_PORT:-8680}"
  step="building the publisher tool in build/"
  cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
  ninja -C "$root/build" tamber-catalogue
  step="building the page in $build"
  emcmake cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$build" tamber_page tblobby
  step="publishing the example content"
  local content="$build/content" site="$build/site"
  rm -rf "$content" "$site"
  TAMBER_CATALOGUE="$root/build/tools/tamber-catalogue" "$root/scripts/make-content.sh" --web "$build" "$content"
  # The folder an operator serves: the page, and the content beside it
  # under the base URL the page was built with (content/).
  mkdir -p "$site"
  cp "$build/page/index.html" "$build/page/index.js" "$build/page/index.wasm" "$site/"
  cp -r "$content/web" "$site/content"
  step="starting nginx on port $port"
  if ! "$root/scripts/port-free.sh" "$port"; then
    echo "run.sh: port $port is taken by another program; set TAMBER_WEB_PORT to another port." >&2
    exit 1
  fi
  "$root/scripts/nginx-serve.sh" --log "$build/access.log" "$site" "$port" "$build/nginx" &
  server_pid=$!
  local url="http://127.0.0.1:$port/" served=0
  for _ in $(seq 1 100); do
    if curl -sf -o /dev/null "$url"; then served=1; break; fi
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  [ "$served" = 1 ] || { echo "run.sh: nginx did not answer on port $port; its log: $build/nginx/logs/error.log" >&2; exit 1; }
  echo "Serving $site (requests in $build/access.log)."
  echo "Open $url in a browser: it downloads the content into the browser's storage, then shows the lobby."
  if [ -z "${DISPLAY:-}" ] && [ -x /usr/bin/chromium ]; then
    step="opening the page in headless Chromium"
    /usr/bin/python3 "$root/tests/web/snapshot.py" "$url" "$build/screenshots" "${TAMBER_RUN_SECONDS:-30}" &
    browser_pid=$!
  fi
  step="serving the page"
  if [ -n "${TAMBER_RUN_SECONDS:-}" ]; then
    sleep "$TAMBER_RUN_SECONDS"
    [ -z "$browser_pid" ] || { wait "$browser_pid" || echo "run.sh: the headless browser run failed (its output is above)" >&2; browser_pid=""; }
  else
    echo "Press Ctrl+C to stop serving."
    wait "$server_pid"
  fi
  exit 0
}
[ -z "$web" ] || run_web

step="installing packages (scripts/install-deps.sh)"
[ -z "$install" ] || "$root/scripts/install-deps.sh"

# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh" probe
if tamber_wine32_runs; then
  arch=win32 build="$root/build-win32" toolchain=toolchain-i686-w64-mingw32
  echo "Running the 32-bit quillon.exe: this machine runs 32-bit programs."
else
  arch=win64 build="$root/build-win64" toolchain=toolchain-x86_64-w64-mingw32
  echo "Running the 64-bit quillon.exe: $(tamber_wine32_why_not)."
fi

content_key=""
if [ -n "$signed" ]; then
  step="making the content key in $build/content-key"
  key_dir="$build/content-key"
  if [ ! -f "$key_dir/key.pem" ]; then
    mkdir -p "$key_dir"
    openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$key_dir/key.pem"
  fi
  openssl pkey -in "$key_dir/key.pem" -pubout -out "$key_dir/key.pub.pem"
  content_key="$key_dir/key.pub.pem"
  echo "Signed content: the host verifies the release statement with $content_key"
fi

step="building quillon.exe in $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTAMBER_CONTENT_KEY="$content_key" -DTAMBER_CONTENT_KEY_THRESHOLD=1 >/dev/null
ninja -C "$build" quillon tblobby tamber-catalogue host_tool
quillon="$build/src/quillon.exe"
host_tool="$build/tests/e2e/host_tool.exe"

step="setting up the Wine prefix"
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh" "$arch"

step="publishing the example content"

# The content, published afresh from this checkout.
content="$build/content"
rm -rf "$content"
if [ -n "$signed" ]; then
  # Signing takes the native publisher tool.
  cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
  ninja -C "$root/build" tamber-catalogue
  TAMBER_CATALOGUE="$root/build/tools/tamber-catalogue" \
    "$root/scripts/make-content.sh" --sign "$key_dir/key.pem" --release "$(date -u +%s)" "$build" "$content"
else
  TAMBER_CATALOGUE="$root/scripts/wine-run.sh $build/tools/tamber-catalogue.exe" \
    "$root/scripts/make-content.sh" "$build" "$content"
fi

# The update server: the base URL the host was built with.
step="starting the update server"
base_url="$(sed -n 's/^TAMBER_BASE_URL:STRING=//p' "$build/CMakeCache.txt")"
if [[ "$base_url" =~ ^http://(127\.0\.0\.1|localhost):([0-9]+)/$ ]]; then
  port="${BASH_REMATCH[2]}"
  if ! "$root/scripts/port-free.sh" "$port"; then
    echo "run.sh: port $port of the base URL $base_url is taken by another program" \
         "(the end-to-end tests use it too while they run); free it and run again." >&2
    exit 1
  fi
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$content" >"$build/server.log" 2>&1 &
  server_pid=$!
  served=0
  for _ in $(seq 1 100); do
    if curl -sf -o /dev/null "$base_url.pm_file_list"; then served=1; break; fi
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ "$served" != 1 ]; then
    echo "run.sh: the update server on port $port did not answer (is the port taken?); its log:" >&2
    cat "$build/server.log" >&2
    exit 1
  fi
  echo "Update server: $base_url serving $content (requests in $build/server.log)"
elif [ -n "$base_url" ]; then
  echo "The host was built for $base_url; publish $content there."
fi

# A Wine server of this prefix still running from an earlier run (a test
# run, another run.sh) keeps the display it started with; a host started now
# would join it and fail to open its window once that display has gone.
timeout 15 "$TAMBER_WINESERVER" -k 2>/dev/null || true

store="$WINEPREFIX/drive_c/users/${USER:-root}/AppData/Local/Quillon"
echo "Store: $store"
step="running quillon.exe"

if [ -n "${DISPLAY:-}" ]; then
  echo "Running quillon.exe on $DISPLAY; close its window to end."
  wine_started=1
  "$TAMBER_WINE" "$quillon" && status=0 || status=$?
else
  step="starting Xvfb"
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    # Ready once its socket is there; a display number taken meanwhile
    # makes it end, and the next number is tried.
    for _ in $(seq 1 100); do
      [ -S "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if [ -S "/tmp/.X11-unix/X$n" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      break
    fi
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  done
  if [ -z "$xvfb_pid" ]; then
    echo "run.sh: no Xvfb display could be started (displays :90 to :140 tried)" >&2
    exit 1
  fi
  step="running quillon.exe"
  shots="$build/screenshots"
  rm -rf "$shots"
  mkdir -p "$shots"
  echo "No display: running on Xvfb $DISPLAY; screenshots go to $shots"
  wine_started=1
  "$TAMBER_WINE" "$quillon" &
  host_pid=$!
  seconds="${TAMBER_RUN_SECONDS:-30}"
  for i in $(seq 1 "$seconds"); do
    sleep 1
    kill -0 "$host_pid" 2>/dev/null || break
    import -window root "$shots/$(printf '%03d' "$i").png" 2>/dev/null || true
  done
  "$TAMBER_WINE" "$host_tool" post 0x10 >/dev/null 2>&1 || true
  wait "$host_pid" && status=0 || status=$?
  host_pid=""
  # Wine's helper processes go before their X server does.
  timeout 15 "$TAMBER_WINESERVER" -w 2>/dev/null || true
  wine_started=""
fi
echo "quillon.exe ($arch) ended with exit code $status"
if [ -f "$store/download.log" ]; then echo "download.log:"; cat "$store/download.log"; fi
step="running quillon.exe (it ended with exit code $status)"
exit "$status"
