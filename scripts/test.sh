#!/usr/bin/env bash
# Sets up this machine (Debian 12) and runs every test of both builds:
#   native g++ with AddressSanitizer + UndefinedBehaviorSanitizer,
#   native clang (warnings as errors, optimised) with the benchmarks,
#   the Windows build (MinGW, i686) with its tests and the end-to-end tests
#   of quillon.exe under Wine and Xvfb.
# Usage: scripts/test.sh [--no-install]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

install=1
[ "${1:-}" = "--no-install" ] && install=0
jobs="${TAMBER_JOBS:-$(nproc)}"

declare -a stage_names=() stage_times=()
stage() {
  local name="$1"
  shift
  printf '\n=== %s\n' "$name"
  local start=$SECONDS
  "$@"
  stage_names+=("$name")
  stage_times+=($((SECONDS - start)))
  printf '=== %s: %ds\n' "$name" $((SECONDS - start))
}
summary() {
  printf '\nStage times:\n'
  local i
  for i in "${!stage_names[@]}"; do
    printf '  %5ds  %s\n' "${stage_times[$i]}" "${stage_names[$i]}"
  done
}
trap summary EXIT

configure() {  # dir, extra cmake arguments...
  local dir="$1"
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DTAMBER_WERROR=ON "$@" >/dev/null
}

native_gcc() {
  configure build -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DTAMBER_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
  ninja -C build -j "$jobs"
}
native_clang() {
  configure build-clang -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release -DTAMBER_BENCH=ON
  ninja -C build-clang -j "$jobs"
}
windows() {
  configure build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-w64-mingw32.cmake" -DCMAKE_BUILD_TYPE=Release
  ninja -C build-win32 -j "$jobs"
}
run_tests() {  # dir
  ctest --test-dir "$1" --output-on-failure -j "$jobs"
}
wine_prefix() {
  # shellcheck source=wine-env.sh
  source "$root/scripts/wine-env.sh"
}
benchmarks() {
  local bench
  for bench in build-clang/bench/tamber_*_bench; do
    [ -x "$bench" ] || continue
    echo "--- $(basename "$bench")"
    "$bench" --benchmark_min_time=0.2
  done
  local script
  for script in scripts/bench-*.sh; do
    [ -x "$script" ] || continue
    echo "--- $(basename "$script")"
    "$script"
  done
}
fuzzing() {
  if [ -x scripts/fuzz.sh ]; then scripts/fuzz.sh; fi
}

if [ "$install" = 1 ]; then stage "install packages" "$root/scripts/install-deps.sh"; fi
stage "native build (g++, sanitizers)" native_gcc
stage "native tests (g++, sanitizers)" run_tests build
stage "native build (clang, optimised)" native_clang
stage "native tests (clang)" run_tests build-clang
stage "Windows build (MinGW i686)" windows
stage "Wine prefix" wine_prefix
stage "Windows tests under Wine" run_tests build-win32
stage "fuzzing" fuzzing
stage "benchmarks" benchmarks
