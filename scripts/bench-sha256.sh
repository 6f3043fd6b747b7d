#!/usr/bin/env bash
# Measures the host's SHA-256 in one run against the usual command-line tools:
#   - hash_file on one 256 MiB file, SHA extensions path vs `openssl dgst
#     -sha256` (target: at least 0.9 times its throughput);
#   - the same with the portable path vs `sha256sum` (target: at least 0.9);
#   - the up-to-date test (needs_download) over 1,000 files totalling 256 MiB
#     vs `sha256sum -c` (target: at least 2 times faster with SHA extensions).
# Every command reads from the page cache. The commands compared run in
# turns, several times, and each keeps its best time. Ratios are throughputs:
# above 1 means Tamber is faster. All the commands are single-threaded, so
# the targets are judged on CPU time (user + system), which other work on a
# shared machine barely moves; the wall-time ratio is printed beside it.
#
# Usage: scripts/bench-sha256.sh [BUILD_DIR]
#   BUILD_DIR  a native Release build to use (default build-clang, the test
#              command's optimised build; configured so if it is not there)
#   TAMBER_BENCH_RUNS  turns per comparison (default 3; one fewer for the
#                      slow portable ones, to keep the script short)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-clang}"
runs="${TAMBER_BENCH_RUNS:-3}"
slow_runs=$((runs > 1 ? runs - 1 : 1))

for tool in openssl sha256sum; do
  command -v "$tool" >/dev/null || { echo "bench-sha256: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Release -DTAMBER_BENCH=ON >/dev/null
fi
ninja -C "$build" -j2 tamber-catalogue >/dev/null
tool="$build/tools/tamber-catalogue"

work="$(mktemp -d "${TMPDIR:-/tmp}/tamber-sha256-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
size=$((256 << 20))
head -c "$size" /dev/urandom >"$work/big.bin"
mkdir "$work/files"
split -n 1000 -a 3 -d "$work/big.bin" "$work/files/f"
cat "$work/big.bin" "$work/files"/* >/dev/null

declare -A wall cpu
# run_once NAME COMMAND...: runs it once and keeps its best wall and CPU
# (user + system) seconds.
run_once() {
  local name="$1"
  shift
  local TIMEFORMAT='%3R %3U %3S' w c
  if ! { time "$@" >"$work/out.$name" 2>"$work/err.$name"; } 2>"$work/time"; then
    echo "$name failed: $*" >&2
    cat "$work/err.$name" >&2
    exit 1
  fi
  read -r w c < <(awk '{ printf "%s %.3f\n", $1, $2 + $3 }' "$work/time")
  if [ -z "${wall[$name]:-}" ] || awk -v a="$w" -v b="${wall[$name]}" 'BEGIN { exit !(a < b) }'; then wall[$name]="$w"; fi
  if [ -z "${cpu[$name]:-}" ] || awk -v a="$c" -v b="${cpu[$name]}" 'BEGIN { exit !(a < b) }'; then cpu[$name]="$c"; fi
}

row() { # LABEL NAME
  awk -v label="$1" -v w="${wall[$2]}" -v c="${cpu[$2]}" -v bytes="$size" \
    'BEGIN { printf "  %-34s %6.2f s wall %6.2f s CPU %6.0f MB/s (CPU)\n", label, w, c, (c > 0 ? bytes / c / 1e6 : 0) }'
}

ratio() { # LABEL OURS THEIRS [TARGET]: throughput ratio = their time / our time
  awk -v label="$1" -v ow="${wall[$2]}" -v tw="${wall[$3]}" -v oc="${cpu[$2]}" -v tc="${cpu[$3]}" -v target="${4:-}" \
    'BEGIN {
       r = (oc > 0 ? tc / oc : 0); rw = (ow > 0 ? tw / ow : 0)
       verdict = (target == "" ? "for information" : "target >= " target "x: " (r >= target ? "met" : "MISSED"))
       printf "  %-38s %5.2fx (wall %5.2fx)  %s\n", label, r, rw, verdict
     }'
}

lower() { tr 'A-F' 'a-f'; }

hardware="$("$tool" --engine)"
echo "SHA-256 on $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), best of $runs turns ($slow_runs for the portable ones)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# One 256 MiB file.
for ((i = 0; i < runs; i++)); do
  [ "$hardware" = hardware ] && run_once hardware "$tool" --hash "$work/big.bin"
  run_once openssl openssl dgst -sha256 "$work/big.bin"
done
for ((i = 0; i < slow_runs; i++)); do
  run_once portable env TAMBER_SHA256_PORTABLE=1 "$tool" --hash "$work/big.bin"
  run_once sha256sum sha256sum "$work/big.bin"
done
reference="$(cut -d' ' -f1 "$work/out.sha256sum")"
[ "$(cut -d' ' -f1 "$work/out.portable" | lower)" = "$reference" ] || { echo "portable digest differs" >&2; exit 1; }
[ "$(awk '{ print $NF }' "$work/out.openssl")" = "$reference" ] || { echo "openssl digest differs" >&2; exit 1; }
if [ "$hardware" = hardware ]; then
  [ "$(cut -d' ' -f1 "$work/out.hardware" | lower)" = "$reference" ] || { echo "hardware digest differs" >&2; exit 1; }
fi

echo "One file of 256 MiB:"
if [ "$hardware" = hardware ]; then row "tamber hash_file, SHA extensions" hardware; fi
row "openssl dgst -sha256" openssl
row "tamber hash_file, portable" portable
row "sha256sum" sha256sum
echo

# 1,000 files: the catalogue is written by the tool, the sha256sum check
# list is derived from it.
"$tool" "$work/files" >/dev/null
awk -v dir="$work/files" '{ printf "%s  %s/%s\n", tolower($3), dir, $1 }' "$work/files/.pm_file_list" >"$work/SUMS"
for ((i = 0; i < runs; i++)); do
  if [ "$hardware" = hardware ]; then run_once verify "$tool" --verify "$work/files"; fi
  run_once sha256sum_check sha256sum -c --quiet "$work/SUMS"
done
for ((i = 0; i < slow_runs; i++)); do
  run_once verify_portable env TAMBER_SHA256_PORTABLE=1 "$tool" --verify "$work/files"
done
grep -qx '1000 files, 1000 current, 0 outdated' "$work/out.verify_portable" || { echo "verify failed" >&2; exit 1; }

echo "Up-to-date test of 1000 files, 256 MiB in all:"
if [ "$hardware" = hardware ]; then row "needs_download, SHA extensions" verify; fi
row "needs_download, portable" verify_portable
row "sha256sum -c" sha256sum_check
echo

echo "Ratios by CPU time (throughput; above 1 is faster):"
if [ "$hardware" = hardware ]; then
  ratio "SHA extensions vs openssl" hardware openssl 0.9
  ratio "portable vs sha256sum" portable sha256sum 0.9
  ratio "check: SHA extensions vs sha256sum -c" verify sha256sum_check 2
else
  echo "  (no SHA extensions on this CPU: the hardware comparisons are skipped)"
  ratio "portable vs sha256sum" portable sha256sum 0.9
fi
ratio "check: portable vs sha256sum -c" verify_portable sha256sum_check
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
