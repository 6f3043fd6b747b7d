#!/usr/bin/env bash
# tamber measured headless (SDL's offscreen driver) and, where Xvfb is
# installed, on an X display: the time to the first frame, the progress
# screen's and the example lobby's frame rates, each against the bare loop
# that only converts and presents an 800 x 600 frame through the same SDL
# path (bench/sdl/present_loop.cpp), measured in the same run. The host's
# frame time should be at most 1.3 times the loop's. Then the host's
# download throughput on the bulk set (BENCH_MIB MiB in 64 files, default
# 64) from nginx against curl fetching the same URLs from the same server:
# at least 0.8 times curl's.
#
# Usage: scripts/bench-tamber.sh [BUILD_DIR]
#   BUILD_DIR  a native build with the benchmarks (-DTAMBER_BENCH=ON), as the
#              test command's build-clang is (the default); its base URL must
#              be a local one (the default http://127.0.0.1:8642/)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build-clang}" && pwd)"

if ! grep -q '^TAMBER_BENCH:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  echo "bench-tamber: $build is not a native build configured with -DTAMBER_BENCH=ON" >&2
  exit 1
fi
base_url="$(sed -n 's/^TAMBER_BASE_URL:STRING=//p' "$build/CMakeCache.txt")"
port="$(echo "$base_url" | sed -n 's|^http://127\.0\.0\.1:\([0-9]*\)/$|\1|p')"
if [ -z "$port" ]; then
  echo "bench-tamber: $build was built for $base_url, not a local server" >&2
  exit 1
fi
port_free() {
  "$root/scripts/port-free.sh" "$port" && return 0
  echo "bench-tamber: port $port of the base URL $base_url is taken by another program; free it and run again" >&2
  exit 1
}
port_free
ninja -C "$build" -j2 tamber-measure tblobby tamber_present_loop tamber-catalogue >/dev/null

work="$(mktemp -d)"
server=""
xvfb=""
cleanup() {
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The example lobby, and a bulk file served slowly so that the progress
# screen stays up for a few seconds.
www="$work/www"
mkdir -p "$www/lobby" "$www/bulk"
cp "$build/examples/lobby/tblobby.so" "$www/"
cp "$root"/examples/content/lobby/* "$www/lobby/"
head -c 1500000 /dev/zero | tr '\0' 'b' > "$www/bulk/data.bin"
printf 'tblobby.so: +lobby/ bulk/data.bin\n' > "$www/.tb_file_list"
"$build/tools/tamber-catalogue" "$www" >/dev/null
printf '{"/bulk/data.bin": {"slow": 2}}\n' > "$www/.rules.json"
python3 "$root/tests/server/test_server.py" --port "$port" --root "$www" --log "$work/requests.log" \
  --max-lifetime 600 > "$work/server.out" 2>&1 &
server=$!
for _ in $(seq 50); do [ -s "$work/server.out" ] && break; sleep 0.1; done
if ! kill -0 "$server" 2>/dev/null; then
  echo "bench-tamber: the test server did not start:" >&2
  cat "$work/server.out" >&2
  exit 1
fi

# frames/s over the lines of a statistics file whose lobby column is $2.
rate() {
  awk -v lobby="$2" '$3 == lobby { if (!seen) { t0 = $1; f0 = $2; seen = 1 } t = $1; f = $2 }
    END { if (t > t0) printf "%.1f", (f - f0) * 1000 / (t - t0); else printf "0" }' "$1"
}

best() { awk '$1 > best { best = $1 } END { print best + 0 }'; }
least() { awk 'NR == 1 || $1 < least { least = $1 } END { print least + 0 }'; }

measure() {  # label; the environment names the video driver
  local label="$1" stats="$work/stats-$1"
  local loop first progress lobby
  rm -f "$stats-loop"
  # The host and the loop take turns, five times each, and each keeps its
  # best run: other programs on the machine only ever slow a run down, and
  # both sides get the same chances.
  local rounds="1 2 3 4 5" round
  for round in $rounds; do
    rm -rf "$work/data"
    XDG_DATA_HOME="$work/data" TAMBER_FRAME_STATS="$stats-$round" "$build/src/tamber-measure" --frames 600 >/dev/null
    "$build/bench/sdl/tamber_present_loop" 1000 | awk '{ print $2 }' >> "$stats-loop"
  done
  loop="$(best < "$stats-loop")"
  first="$(for round in $rounds; do awk 'NR == 1 { print $1 }' "$stats-$round"; done | least)"
  progress="$(for round in $rounds; do rate "$stats-$round" 0; echo; done | best)"
  lobby="$(for round in $rounds; do rate "$stats-$round" 1; echo; done | best)"
  echo "tamber ($label): first frame after ${first} ms"
  awk -v p="$progress" -v l="$lobby" -v b="$loop" 'BEGIN {
    printf "  progress screen %8.1f frames/s   frame time %.2fx the bare loop'"'"'s\n", p, (p > 0 ? b / p : 0)
    printf "  example lobby   %8.1f frames/s   frame time %.2fx the bare loop'"'"'s\n", l, (l > 0 ? b / l : 0)
    printf "  bare loop       %8.1f frames/s   (convert + present, 800 x 600)\n", b }'
}

SDL_VIDEODRIVER=offscreen measure headless
xvfb_measure() {
if command -v Xvfb >/dev/null; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$work/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
  DISPLAY=":$(cat "$work/display")" SDL_VIDEODRIVER=x11 measure xvfb
else
  echo "tamber (xvfb): not measured, Xvfb is not installed"
fi
}
xvfb_measure

# Download throughput: the bulk set on nginx at the base URL's port (the
# test server stops first). The host's time is that of a whole run into an
# empty store less that of a run whose store is complete (start-up, the two
# lists, one lobby frame): what is left is the download.
kill "$server" 2>/dev/null || true
wait "$server" 2>/dev/null || true
server=""
if ! command -v nginx >/dev/null || ! command -v curl >/dev/null; then
  echo "tamber download: not measured, nginx or curl is missing (scripts/install-deps.sh)"
  exit 0
fi
mib="${BENCH_MIB:-64}"
bulk="$work/bulk"
mkdir -p "$bulk/lobby" "$bulk/files"
cp "$build/examples/lobby/tblobby.so" "$bulk/"
cp "$root"/examples/content/lobby/* "$bulk/lobby/"
for i in $(seq -w 1 64); do
  head -c $((mib * 1024 * 16)) /dev/urandom > "$bulk/files/f$i.bin"
done
printf 'tblobby.so: +lobby/ +files/\n' > "$bulk/.tb_file_list"
"$build/tools/tamber-catalogue" "$bulk" >/dev/null
chmod -R a+rX "$work"
port_free
"$root/scripts/nginx-serve.sh" "$bulk" "$port" "$work/nginx" &
server=$!
for _ in $(seq 50); do curl -s -o /dev/null "$base_url.tb_file_list" && break; sleep 0.1; done

now() { date +%s.%N; }
host_run() {
  local start end
  start="$(now)"
  SDL_VIDEODRIVER=offscreen XDG_DATA_HOME="$work/bulk-store" TAMBER_FRAME_STATS="$work/bulk-stats" \
    "$build/src/tamber-measure" --frames 1 >/dev/null 2>&1
  end="$(now)"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
awk '{ print $1 }' "$bulk/.pm_file_list" | while read -r name; do
  printf 'url = "%s%s"\noutput = "%s"\n' "$base_url" "$name" "$work/curl/$name"
done > "$work/curl.config"
curl -s --create-dirs -K "$work/curl.config"  # into the page cache
rm -rf "$work/curl" "$work/bulk-store"
full="$(host_run)"
# Only a complete store makes the time a download time.
for file in "$bulk"/files/*.bin; do
  if ! cmp -s "$file" "$work/bulk-store/quillon/files/$(basename "$file")"; then
    echo "bench-tamber: the host did not download files/$(basename "$file") of the bulk set" >&2
    exit 1
  fi
done
# The updater reads at most 64 KiB a frame: the frame rate during the
# download sets a ceiling.
ceiling="$(awk -v r="$(rate "$work/bulk-stats" 0)" 'BEGIN { printf "%.1f", r * 64 / 1024 }')"
lists_only="$(host_run)"
start="$(now)"
curl -s --create-dirs -K "$work/curl.config"
end="$(now)"
awk -v mib="$mib" -v full="$full" -v lists="$lists_only" -v a="$start" -v b="$end" -v ceiling="$ceiling" 'BEGIN {
  host = full - lists; c = b - a
  printf "tamber download (%d MiB from nginx): %.3f s, %.1f MiB/s (64 KiB a frame allows %.1f MiB/s)\n",
    mib, host, mib / host, ceiling
  printf "  curl %.3f s, %.1f MiB/s; ratio %.2f (target >= 0.80)\n", c, mib / c, c / host }'
