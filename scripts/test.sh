#!/usr/bin/env bash
# Sets up this machine (Debian 12) and runs every test of every build:
#   native g++ with AddressSanitizer + UndefinedBehaviorSanitizer,
#   native clang (warnings as errors, optimised) with the benchmarks,
#   the 64-bit Windows build (MinGW x86-64) with its tests and the
#   end-to-end tests of quillon.exe under 64-bit Wine and Xvfb, on every
#   machine,
#   the 32-bit Windows build (MinGW i686), quillon.exe as specified: its
#   tests under the system's 32-bit Wine where that runs; elsewhere (a
#   kernel that runs 64-bit programs only, or a 32-bit Wine that could not
#   be installed) the checks that need no execution (export tables, stack
#   bytes popped) and an end-to-end smoke test of quillon.exe under a
#   private 32-bit Wine run by user-mode emulation (qemu-i386), and the
#   output says so and why.
# The packages come in layers (scripts/install-deps.sh): the core, which
# must install, and the system's 32-bit Wine and the release tools, which
# may not.
# Then the operator's release kit (scripts/release.sh, tests/release): the
# release made twice and compared, its signatures, the 64-bit installer
# under a fresh 64-bit Wine prefix, the .deb; and the browser host, built
# with Debian's Emscripten (build-web) and tested in headless Chromium
# (tests/web), an optional layer like the release tools.
# The run ends with a table of every stage (passed, failed or not run, with
# the reason) and exits non-zero when a stage failed; the last lines name
# each stage that failed or was not run.
# Usage: scripts/test.sh [--no-install]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

install=1
[ "${1:-}" = "--no-install" ] && install=0
jobs="${TAMBER_JOBS:-$(nproc)}"

# Every stage ends as passed, failed or not run, and a failed stage stops
# only the stages that need it, so one run shows every failure. A stage's
# command runs in a subshell with errexit on; exit code 77 means "not run"
# (something this machine cannot provide), and its last line of output is
# the reason. Only a failed core install ends the run at once.
not_run_code=77
declare -a stage_names=() stage_times=() stage_results=() stage_reasons=()
current_stage=""
stage_log="$(mktemp)"
# A stage's result (empty for one that has not run) or, with "reasons", why
# it was not run.
stage_field() {  # stage name, results | reasons
  local -n values="stage_$2"
  local i
  for i in "${!stage_names[@]}"; do
    [ "${stage_names[$i]}" = "$1" ] && { echo "${values[$i]}"; return; }
  done
  [ "$2" = results ] || echo "it was not started"
}
result_of() { stage_field "$1" results; }
record() {  # name, seconds, result, reason
  stage_names+=("$1") stage_times+=("$2") stage_results+=("$3") stage_reasons+=("$4")
}
# stage NAME [NEEDED STAGE ...] -- COMMAND...
stage() {
  local name="$1" need result why
  shift
  local -a needs=()
  while [ "$1" != -- ]; do needs+=("$1"); shift; done
  shift
  for need in "${needs[@]}"; do
    result="$(result_of "$need")"
    if [ "$result" != passed ]; then
      case "$result" in
        failed) why="it needs \"$need\", which failed" ;;
        *) why="it needs \"$need\", which was not run: $(stage_field "$need" reasons)" ;;
      esac
      printf '\n=== %s: not run: %s\n' "$name" "$why"
      record "$name" 0 "not run" "$why"
      return 0
    fi
  done
  printf '\n=== %s\n' "$name"
  current_stage="$name"
  local start=$SECONDS status
  set +e
  ( set -e; "$@" ) 2>&1 | tee "$stage_log"
  status=${PIPESTATUS[0]}
  set -e
  local seconds=$((SECONDS - start)) last
  last="$(grep -v '^[[:space:]]*$' "$stage_log" | tail -n 1 || true)"
  current_stage=""
  case "$status" in
    0) record "$name" "$seconds" passed "" ;;
    "$not_run_code") record "$name" "$seconds" "not run" "$last" ;;
    *) record "$name" "$seconds" failed "exit code $status" ;;
  esac
  printf '=== %s: %s (%ds)\n' "$name" "${stage_results[-1]}" "$seconds"
}
summary() {
  local status=$? i failed=() not_run=() why=()
  rm -f "$stage_log"
  printf '\nStages:\n'
  for i in "${!stage_names[@]}"; do
    printf '  %-8s %5ss  %s%s\n' "${stage_results[$i]}" "${stage_times[$i]}" "${stage_names[$i]}" \
      "${stage_reasons[$i]:+: ${stage_reasons[$i]}}"
    case "${stage_results[$i]}" in
      failed) failed+=("${stage_names[$i]}") ;;
      "not run") not_run+=("${stage_names[$i]}") why+=("${stage_reasons[$i]}") ;;
    esac
  done
  printf '%d stages passed, %d failed, %d not run\n' \
    $((${#stage_names[@]} - ${#failed[@]} - ${#not_run[@]})) "${#failed[@]}" "${#not_run[@]}"
  if [ "$status" -ne 0 ] && [ "${#failed[@]}" = 0 ]; then
    printf '\nFAILED: the test command itself ended with exit code %d%s; its output is above.\n' "$status" \
      "${current_stage:+ in stage \"$current_stage\"}"
  fi
  for i in "${failed[@]}"; do printf 'FAILED: stage "%s"; its output is above.\n' "$i"; done
  for i in "${!not_run[@]}"; do printf 'NOT RUN: stage "%s": %s\n' "${not_run[$i]}" "${why[$i]}"; done
  if [ "${#failed[@]}" -gt 0 ] && [ "$status" = 0 ]; then exit 1; fi
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
wine_tests() {  # win32 | win64, build dir
  wine_prefix "$1"
  run_tests "$2"
}
win32_static_checks() {
  echo "32-bit Windows test suites NOT run: $(tamber_wine32_why_not)."
  echo "Running the 32-bit build's checks that need no execution (export tables, stack bytes popped);"
  echo "its end-to-end smoke test runs under user-mode emulation (qemu-i386) in the stages below."
  ctest --test-dir build-win32 --output-on-failure -L static
}
private_wine32() {
  "$root/scripts/wine32-root.sh" build-win32/wine32-root
}
smoke32() {
  python3 tests/e2e/smoke32.py --build build-win32
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
# The release kit's tests build the release hosts themselves (twice, for
# the comparison) for a base URL of their own, so that their test server
# does not meet the other suites' on 8642; the lobby they publish is the
# recording test library of the 64-bit and the clang builds.
release_kit() {
  local tool
  for tool in makensis osslsigncode lintian; do
    if ! command -v "$tool" >/dev/null; then
      echo "the release tools are not installed ($tool is missing; scripts/install-deps.sh release installs them)"
      exit 77
    fi
  done
  TAMBER_BASE_URL="http://127.0.0.1:${TAMBER_RELEASE_TEST_PORT:-8762}/" \
    TAMBER_TEST_SERVER="$root/tests/server/test_server.py" \
    TAMBER_RECORDER_DLL="$root/build-win64/tests/libs/recorder.dll" \
    TAMBER_HOST_TOOL="$root/build-win64/tests/e2e/host_tool.exe" \
    TAMBER_RECORDER_SO="$root/build-clang/tests/libs/recorder.so" \
    TAMBER_JOBS="$jobs" \
    python3 -m unittest discover -s "$root/tests/release" -p "test_*.py" -v
}
# The browser host: its page, the example lobby and the tests' libraries
# as WebAssembly side modules.
web_build() {
  if ! command -v emcmake >/dev/null; then
    echo "Emscripten is not installed (scripts/install-deps.sh web installs it)"
    exit 77
  fi
  emcmake cmake -S "$root" -B build-web -G Ninja -DTAMBER_WERROR=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C build-web -j "$jobs"
}
# Its tests in headless Chromium, against the project's nginx; the content
# they publish is catalogued by the clang build's tamber-catalogue.
web_tests() {
  local tool
  for tool in /usr/bin/chromium /usr/bin/chromedriver; do
    if [ ! -x "$tool" ]; then
      echo "Chromium is not installed ($tool is missing; scripts/install-deps.sh web installs it)"
      exit 77
    fi
  done
  if ! /usr/bin/python3 -c 'import selenium' 2>/dev/null; then
    echo "Selenium is not installed (python3-selenium; scripts/install-deps.sh web installs it)"
    exit 77
  fi
  TAMBER_WEB_BUILD="$root/build-web" \
    TAMBER_CATALOGUE="$root/build-clang/tools/tamber-catalogue" \
    /usr/bin/python3 -m unittest discover -s "$root/tests/web" -p "test_*.py" -v
}
fuzzing() {
  if [ -x scripts/fuzz.sh ]; then scripts/fuzz.sh; fi
}

if [ "$install" = 1 ]; then
  stage "install packages (core)" -- "$root/scripts/install-deps.sh" core
  if [ "$(result_of "install packages (core)")" != passed ]; then
    echo "The core packages could not be installed, so nothing can be built (apt's reasons are above)."
    exit 1
  fi
  stage "install 32-bit Wine (optional)" -- "$root/scripts/install-deps.sh" wine32
  stage "install release tools (optional)" -- "$root/scripts/install-deps.sh" release
  stage "install browser tools (optional)" -- "$root/scripts/install-deps.sh" web
fi
gcc="native build (g++, sanitizers)" clang="native build (clang, optimised)"
win64="Windows build (MinGW x86-64)" win32="Windows build (MinGW i686)"
stage "$gcc" -- native_gcc
stage "native tests (g++, sanitizers)" "$gcc" -- run_tests build
stage "$clang" -- native_clang
stage "native tests (clang)" "$clang" -- run_tests build-clang
stage "$win64" -- windows build-win64 toolchain-x86_64-w64-mingw32
stage "64-bit Wine prefix" -- wine_prefix win64
stage "64-bit Windows tests under 64-bit Wine" "$win64" "64-bit Wine prefix" -- wine_tests win64 build-win64
stage "$win32" -- windows build-win32 toolchain-i686-w64-mingw32
# shellcheck source=wine-env.sh
source "$root/scripts/wine-env.sh" probe
if tamber_wine32_runs; then
  stage "32-bit Windows tests under 32-bit Wine" "$win32" -- wine_tests win32 build-win32
else
  stage "32-bit static checks" "$win32" -- win32_static_checks
  stage "private 32-bit Wine for emulation" -- private_wine32
  stage "32-bit smoke test under emulation (qemu-i386)" "$win32" "private 32-bit Wine for emulation" -- smoke32
fi
release_needs=("$clang" "$win64" "64-bit Wine prefix")
[ "$install" = 0 ] || release_needs+=("install release tools (optional)")
stage "release kit (installers, packages, reproducibility)" "${release_needs[@]}" -- release_kit
web_needs=()
[ "$install" = 0 ] || web_needs+=("install browser tools (optional)")
stage "browser build (Emscripten)" "${web_needs[@]}" -- web_build
stage "browser tests (headless Chromium)" "browser build (Emscripten)" "$clang" -- web_tests
stage "fuzzing" -- fuzzing
# bench-host.sh measures the 32-bit host where the system's 32-bit Wine runs.
stage "benchmarks" "$clang" "$(tamber_wine32_runs && echo "$win32" || echo "$win64")" -- benchmarks
