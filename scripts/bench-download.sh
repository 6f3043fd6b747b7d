#!/usr/bin/env bash
# Download throughput of a whole update run against curl, measured in the
# same run on the same server.
#
# Starts nginx on 127.0.0.1 serving 1,000 generated files (256 MiB in all)
# with their .pm_file_list and .tb_file_list, then alternately
#   - runs tamber_update_download_bench: the updater over the libcurl client,
#     stepping in a loop with no frame drawn, into an empty store;
#   - runs curl fetching the same URLs one after another (one process, one
#     connection), writing the same files;
# and prints both throughputs and their ratio (target: at least 0.8).
# nginx is stopped and every file removed at the end.
#
# Usage: scripts/bench-download.sh [BUILD_DIR]   (default: build-clang, the
# test command's optimised build with the benchmarks; configured so if it
# does not exist)
# Environment: BENCH_RUNS (default 3), BENCH_FILES (1000), BENCH_MIB (256),
# BENCH_TMPDIR (default /dev/shm when it has room, else TMPDIR or /tmp).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-clang}"
runs="${BENCH_RUNS:-3}"
file_count="${BENCH_FILES:-1000}"
total_mib="${BENCH_MIB:-256}"

for tool in nginx curl python3; do
  command -v "$tool" >/dev/null || { echo "bench-download: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Release -DTAMBER_BENCH=ON >/dev/null
fi
ninja -C "$build" -j2 tamber_update_download_bench >/dev/null
bench="$build/bench/update_download/tamber_update_download_bench"

# Files go to memory (/dev/shm) where there is room, so that the disk's
# write speed does not drown the difference between the two downloaders.
scratch="${BENCH_TMPDIR:-}"
if [ -z "$scratch" ]; then
  scratch="${TMPDIR:-/tmp}"
  if [ -d /dev/shm ] && [ -w /dev/shm ] &&
     [ "$(df -Pk /dev/shm | awk 'NR == 2 {print $4}')" -gt $((4 * total_mib * 1024)) ]; then
    scratch=/dev/shm
  fi
fi
work="$(mktemp -d "$scratch/tamber-bench-download.XXXXXX")"
nginx_pid=
cleanup() {
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
chmod 755 "$work"
mkdir -p "$work/www"

# The content: files/dNN/fNNNN.bin of random sizes adding up to the total,
# random bytes, listed with their SHA-256 digests; the root needs them all.
python3 - "$work/www" "$file_count" "$total_mib" <<'PY'
import hashlib, os, random, sys
www, count, total = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]) * 1024 * 1024
rng = random.Random(1)
weights = [rng.uniform(0.05, 1.95) for _ in range(count)]
scale = total / sum(weights)
sizes = [int(w * scale) for w in weights]
sizes[-1] += total - sum(sizes)
lines = []
for i, size in enumerate(sizes):
    name = "files/d%02d/f%04d.bin" % (i % 16, i)
    data = os.urandom(size)
    path = os.path.join(www, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    lines.append("%s %d %s\n" % (name, size, hashlib.sha256(data).hexdigest().upper()))
with open(os.path.join(www, ".pm_file_list"), "w") as f:
    f.writelines(lines)
with open(os.path.join(www, ".tb_file_list"), "w") as f:
    f.write("bench.root: +files/\n")
with open(os.path.join(www, "..", "urls"), "w") as f:
    for line in [".pm_file_list 0", ".tb_file_list 0"] + lines:
        f.write(line.split()[0] + "\n")
PY
chmod -R a+rX "$work/www"

port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
"$root/scripts/nginx-serve.sh" "$work/www" "$port" "$work/nginx" &
nginx_pid=$!
base="http://127.0.0.1:$port/"
for _ in $(seq 1 50); do
  curl -s -o /dev/null "$base.tb_file_list" && break
  sleep 0.1
done

# curl's work: the same URLs, one process, in the updater's order.
sort -o "$work/urls" "$work/urls"
while read -r name; do
  printf 'url = "%s%s"\noutput = "%s"\n' "$base" "$name" "$work/curl/$name"
done <"$work/urls" >"$work/curl.config"

now() { date +%s.%N; }
file_bytes=$((total_mib * 1024 * 1024))
updater_times=()
curl_times=()
# A first, untimed curl run puts every file into the page cache.
mkdir -p "$work/curl"
curl -s --create-dirs -K "$work/curl.config"
for run in $(seq 1 "$runs"); do
  rm -rf "$work/store" "$work/curl"
  mkdir -p "$work/store" "$work/curl"
  out="$("$bench" "$base" "$work/store" bench.root)"
  bytes="$(awk '$1 == "bytes" {print $2}' <<<"$out")"
  if [ "$bytes" != "$file_bytes" ]; then
    echo "bench-download: the updater fetched $bytes bytes, expected $file_bytes" >&2
    exit 1
  fi
  updater_times+=("$(awk '$1 == "seconds" {print $2}' <<<"$out")")

  start="$(now)"
  curl -s --create-dirs -K "$work/curl.config"
  end="$(now)"
  curl_times+=("$(python3 -c "print($end - $start)")")
done

python3 - "$file_bytes" "${updater_times[*]}" "${curl_times[*]}" <<'PY'
import statistics, sys
size = int(sys.argv[1])
updater = [float(t) for t in sys.argv[2].split()]
curl = [float(t) for t in sys.argv[3].split()]
u, c = statistics.median(updater), statistics.median(curl)
mib = size / (1024 * 1024)
print("files: %d MiB; runs: %d (medians)" % (mib, len(updater)))
print("updater: %.3f s  %8.1f MiB/s   (%s)" % (u, mib / u, " ".join("%.3f" % t for t in updater)))
print("curl:    %.3f s  %8.1f MiB/s   (%s)" % (c, mib / c, " ".join("%.3f" % t for t in curl)))
ratio = c / u
print("ratio updater/curl throughput: %.2f (target >= 0.80) %s" % (ratio, "OK" if ratio >= 0.8 else "BELOW TARGET"))
PY
