#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one for
# a bounded time, starting from the seed corpus in fuzz/corpus/<target>/.
# Fails on the first finding (crash, sanitizer report, model mismatch, leak,
# timeout); the input that caused it is kept in build-fuzz/fuzz-artifacts/.
#
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]
#   SECONDS_PER_TARGET defaults to $TAMBER_FUZZ_SECONDS, else 60.
#   TAMBER_FUZZ_BUILD overrides the build folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-${TAMBER_FUZZ_SECONDS:-60}}"
build="${TAMBER_FUZZ_BUILD:-$root/build-fuzz}"
targets=(lists store_name der_signature release)

case "$seconds" in
  '' | *[!0-9]*) echo "usage: $0 [SECONDS_PER_TARGET]" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAMBER_FUZZ=ON -DTAMBER_WERROR=ON >/dev/null
ninja -C "$build" -j2 "${targets[@]/#/tamber_fuzz_}"

# New inputs go to a scratch corpus; the seeds in the tree stay as they are.
work="$(mktemp -d "${TMPDIR:-/tmp}/tamber-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

status=0
for target in "${targets[@]}"; do
  artifacts="$build/fuzz-artifacts/$target"
  mkdir -p "$artifacts" "$work/$target"
  echo "== $target: ${seconds}s"
  if "$build/fuzz/tamber_fuzz_$target" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$work/$target" "$root/fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
    grep -E '^(stat::number_of_executed_units|stat::new_units_added)|^#[0-9]+.*DONE' "$work/$target.log" || true
    echo "== $target: no findings"
  else
    tail -n 40 "$work/$target.log"
    echo "== $target: FINDING (input kept in $artifacts/)" >&2
    status=1
  fi
done
exit "$status"
