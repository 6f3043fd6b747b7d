#!/usr/bin/env bash
# Figures of the two HTTP clients under the updater, measured in one run
# (no test checks them: the machine is shared and noisy):
#   small    2,000 small files (50 to 500 bytes) from nginx: seconds and
#            updater steps per file, natively (libcurl) and under 64-bit
#            Wine (WinINet), stepping in a loop and paced as frames of
#            BENCH_FRAME_MS (the steps per file are then frames per file);
#   big      one 256 MiB file from nginx under Wine: the host process's peak
#            private memory against the file's size (goal: the file plus at
#            most 8 MiB), 64-bit, and 32-bit under emulation with
#            BENCH_WIN32=1 (scripts/wine32-emulated.sh: slow);
#   hostile  files through 10-hop redirect chains whose every hop has an
#            endless body (tests/server/test_server.py): the seconds, and
#            the threads of the WinINet host's process before the run,
#            right after it and 5 s after it. Each such hop keeps its
#            connection while WinINet's close drains it, that is for as
#            long as the server sends, and the closer's later hops wait
#            with theirs: N files hold some 10 N connections on both sides
#            (and the test server a thread each), which is why the default
#            is 200 files, not 2,000, whose 20,000 connections meet the
#            usual limit of open files.
#
# Usage: scripts/bench-http.sh
# Environment: BENCH_PARTS ("small big hostile"), BENCH_SMALL_FILES (2000),
# BENCH_BIG_MIB (256), BENCH_HOSTILE_FILES (200), BENCH_FRAME_MS (3),
# BENCH_WIN32 (0). Builds: build-clang (native, the test command's) and
# build-win64 / build-win32 (Windows), configured as scripts/test.sh does.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
parts="${BENCH_PARTS:-small big hostile}"
small_files="${BENCH_SMALL_FILES:-2000}"
big_mib="${BENCH_BIG_MIB:-256}"
hostile_files="${BENCH_HOSTILE_FILES:-200}"
frame_ms="${BENCH_FRAME_MS:-3}"

for tool in nginx python3; do
  command -v "$tool" >/dev/null || { echo "bench-http: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
for build in build-clang build-win64; do
  [ -f "$root/$build/CMakeCache.txt" ] || { echo "bench-http: $root/$build is not configured (scripts/test.sh)" >&2; exit 1; }
done
ninja -C "$root/build-clang" -j2 tamber_update_download_bench >/dev/null
ninja -C "$root/build-win64" -j2 download_run >/dev/null
native="$root/build-clang/bench/update_download/tamber_update_download_bench"
win64="$root/build-win64/bench/win32/download_run.exe"

work="$(mktemp -d "${TMPDIR:-/tmp}/tamber-bench-http.XXXXXX")"
server_pid=
stop_server() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=
  fi
}
cleanup() {
  stop_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
chmod 755 "$work"

# Content: COUNT files files/dNN/fNNNNN.bin of SIZE_MIN to SIZE_MAX random
# bytes under DIR, with their lists; the root "bench.root" needs them all.
make_content() {  # dir count size_min size_max
  python3 - "$@" <<'PY'
import hashlib, os, random, sys
www, count, low, high = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(1)
lines = []
for i in range(count):
    name = "files/d%02d/f%05d.bin" % (i % 16, i)
    data = rng.randbytes(rng.randint(low, high))
    path = os.path.join(www, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    lines.append("%s %d %s\n" % (name, len(data), hashlib.sha256(data).hexdigest().upper()))
with open(os.path.join(www, ".pm_file_list"), "w") as f:
    f.writelines(lines)
with open(os.path.join(www, ".tb_file_list"), "w") as f:
    f.write("bench.root: +files/\n")
PY
  chmod -R a+rX "$1"
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

serve_nginx() {  # dir
  local port
  port="$(free_port)"
  "$root/scripts/nginx-serve.sh" "$1" "$port" "$work/nginx" &
  server_pid=$!
  base="http://127.0.0.1:$port/"
  for _ in $(seq 1 50); do
    python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1])' "$base.tb_file_list" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "bench-http: nginx did not answer on $base" >&2
  exit 1
}

# Runs one update into a fresh store; prints the program's figures.
run_native() {  # base frame_ms
  rm -rf "$work/store" && mkdir -p "$work/store"
  "$native" "$1" "$work/store" bench.root "$2"
}
run_wine() {  # arch program base frame_ms
  rm -rf "$work/store" && mkdir -p "$work/store"
  (
    if [ "$1" = win32 ]; then
      # shellcheck source=wine32-emulated.sh
      source "$root/scripts/wine32-emulated.sh"
      wine32_emulated "$root/build-win32/wine32-emu" >/dev/null
    else
      # shellcheck source=wine-env.sh
      source "$root/scripts/wine-env.sh" "$1"
    fi
    "$TAMBER_WINE" "$2" "$3" "Z:$work/store" bench.root "$4"
  )
}
figure() { tr -d "\r" <<<"$2" | awk -v k="$1" '$1 == k {print $2}'; }

if [[ " $parts " == *" small "* ]]; then
  mkdir -p "$work/small"
  make_content "$work/small" "$small_files" 50 500
  serve_nginx "$work/small"
  echo "== $small_files small files (50 to 500 bytes) from nginx"
  printf '%-34s %9s %9s %14s\n' "client, pacing" seconds steps "steps per file"
  for client in native win64; do
    for pace in 0 "$frame_ms"; do
      if [ "$client" = native ]; then out="$(run_native "$base" "$pace")"; else out="$(run_wine win64 "$win64" "$base" "$pace")"; fi
      steps="$(figure steps "$out")"
      label="$([ "$client" = native ] && echo "libcurl (native)" || echo "WinINet (64-bit Wine)"), $([ "$pace" = 0 ] && echo loop || echo "${pace} ms frames")"
      printf '%-34s %9.2f %9d %14.2f\n' "$label" "$(figure seconds "$out")" "$steps" \
        "$(python3 -c "print($steps / $small_files)")"
    done
  done
  stop_server
fi

if [[ " $parts " == *" big "* ]]; then
  mkdir -p "$work/big/files"
  python3 - "$work/big" "$big_mib" <<'PY'
import hashlib, os, sys
www, mib = sys.argv[1], int(sys.argv[2])
digest = hashlib.sha256()
block = os.urandom(1 << 20)
with open(os.path.join(www, "files", "big.bin"), "wb") as f:
    for i in range(mib):
        piece = bytes([i & 255]) + block[1:]
        f.write(piece)
        digest.update(piece)
with open(os.path.join(www, ".pm_file_list"), "w") as f:
    f.write("files/big.bin %d %s\n" % (mib << 20, digest.hexdigest().upper()))
with open(os.path.join(www, ".tb_file_list"), "w") as f:
    f.write("bench.root: +files/\n")
PY
  chmod -R a+rX "$work/big"
  serve_nginx "$work/big"
  echo "== one $big_mib MiB file from nginx, stepping in a loop"
  # Wine keeps no count of private memory: there the figure is the growth
  # of the peak working set (the process's peak resident memory) over the
  # working set before the run, which is at least the private memory the
  # run added.
  printf '%-24s %9s %20s %14s\n' host seconds "peak memory added" "above file"
  arches=win64
  [ "${BENCH_WIN32:-0}" = 1 ] && arches="win64 win32"
  for arch in $arches; do
    program="$win64"
    if [ "$arch" = win32 ]; then
      ninja -C "$root/build-win32" -j2 download_run >/dev/null
      program="$root/build-win32/bench/win32/download_run.exe"
    fi
    out="$(run_wine "$arch" "$program" "$base" 0)"
    added="$(figure peak_private "$out")"
    what=private
    if [ "$added" = 0 ]; then
      added="$(( $(figure peak_working "$out") - $(figure working_before "$out") ))"
      what="working set"
    fi
    printf '%-24s %9.2f %14.1f MiB %11.1f MiB  (%s)\n' "WinINet ($arch Wine)" "$(figure seconds "$out")" \
      "$(python3 -c "print($added / 1048576)")" "$(python3 -c "print(($added - ($big_mib << 20)) / 1048576)")" "$what"
  done
  stop_server
fi

if [[ " $parts " == *" hostile "* ]]; then
  mkdir -p "$work/hostile"
  make_content "$work/hostile" "$hostile_files" 50 500
  python3 "$root/tests/server/test_server.py" --root "$work/hostile" --max-lifetime 3600 >"$work/port" 2>/dev/null &
  server_pid=$!
  for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
  base="http://127.0.0.1:$(head -n 1 "$work/port")/__endlesshops/__hops/10/"
  echo "== $hostile_files files, each (and each list) through 10 redirects with endless bodies"
  out="$(run_wine win64 "$win64" "$base" 0)"
  printf 'WinINet (64-bit Wine): %.2f s; threads before %d, right after %d, 5 s after %d\n' \
    "$(figure seconds "$out")" "$(figure threads_before "$out")" "$(figure threads_after "$out")" \
    "$(figure threads_later "$out")"
  stop_server
fi
