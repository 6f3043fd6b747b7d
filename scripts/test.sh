#!/usr/bin/env bash
# Sets up this machine (Debian 12) and runs every test of every build:
#   native g++ with AddressSanitizer + UndefinedBehaviorSanitizer,
#   native clang (warnings as errors, optimised) with the benchmarks,
#   the 64-bit Windows build (MinGW x86-64) with its tests and the
#   end-to-end tests of quillon.exe under 64-bit Wine and Xvfb, on every
#   machine,
#   the 32-bit Windows build (MinGW i686), quillon.exe as specified: its
#   tests under 32-bit Wine where this machine can run 32-bit programs;
#   where it cannot, the checks that need no execution (export tables,
#   stack bytes popped) and an end-to-end smoke test of quillon.exe under
#   32-bit Wine run by user-mode emulation (qemu-i386), and the output says
#   so and why.
# Usage: scripts/test.sh [--no-install]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

install=1
[ "${1:-}" = "--no-install" ] && install=0
jobs="${TAMBER_JOBS:-$(nproc)}"

declare -a stage_names=() stage_times=()
current_stage=""
stage() {
  local name="$1"
  shift
  current_stage="$name"
  printf '\n=== %s\n' "$name"
  local start=$SECONDS
  "$@"
  stage_names+=("$name")
  stage_times+=($((SECONDS - start)))
  printf '=== %s: %ds\n' "$name" $((SECONDS - start))
  current_stage=""
}
summary() {
  local status=$?
  printf '\nStage times:\n'
  local i
  for i in "${!stage_names[@]}"; do
    printf '  %5ds  %s\n' "${stage_times[$i]}" "${stage_names[$i]}"
  done
  if [ "$status" -ne 0 ]; then
    printf '\nFAILED: stage "%s" ended with exit code %d; its output is above.\n' "${current_stage:-setup}" "$status"
  fi
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
windows() {  # build dir, toolchain
  configure "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2.cmake" -DCMAKE_BUILD_TYPE=Release -DTAMBER_MEASURE_HOST=ON
  ninja -C "$1" -j "$jobs"
}
run_tests() {  # dir
  ctest --test-dir "$1" --output-on-failure -j "$jobs"
}
wine_prefix() {  # win32 | win64
  # shellcheck source=wine-env.sh
  source "$root/scripts/wine-env.sh" "$1"
}
win32_tests() {
  # shellcheck source=wine-env.sh
  source "$root/scripts/wine-env.sh" probe
  if tamber_wine32_runs; then
    wine_prefix win32
    run_tests build-win32
  else
    echo "32-bit Windows test suites NOT run: $(tamber_wine32_why_not)."
    echo "The 32-bit build was built; running its checks that need no execution (export tables, stack bytes popped),"
    echo "then its end-to-end smoke test under user-mode emulation (qemu-i386)."
    ctest --test-dir build-win32 --output-on-failure -L static
    stage "32-bit smoke test under emulation (qemu-i386)" python3 tests/e2e/smoke32.py --build build-win32
  fi
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
stage "Windows build (MinGW x86-64)" windows build-win64 toolchain-x86_64-w64-mingw32
stage "64-bit Wine prefix" wine_prefix win64
stage "64-bit Windows tests under 64-bit Wine" run_tests build-win64
stage "Windows build (MinGW i686)" windows build-win32 toolchain-i686-w64-mingw32
stage "32-bit Windows tests" win32_tests
stage "fuzzing" fuzzing
stage "benchmarks" benchmarks
