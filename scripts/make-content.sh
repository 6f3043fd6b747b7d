#!/usr/bin/env bash
# Assembles the example content an operator publishes on the update server:
#
#   OUT_DIR/tblobby.dll     the example lobby library, from a Windows build
#   OUT_DIR/lobby/...       its assets (examples/content/lobby/)
#   OUT_DIR/.tb_file_list   what tblobby.dll needs (examples/content/.tb_file_list)
#   OUT_DIR/.pm_file_list   the catalogue: name, size and SHA-256 of every
#                           file, written by the publisher tool tamber-catalogue
#   OUT_DIR/.pm_file_list.sig, OUT_DIR/.tb_file_list.sig
#                           with --sign only: the lists' signatures, for a
#                           host built with the matching public key
#                           (-DTAMBER_CONTENT_KEY=KEY.pub.pem)
#
# Usage: scripts/make-content.sh [--sign KEY.pem] BUILD_DIR OUT_DIR
#   KEY.pem    an ECDSA P-256 private key (openssl genpkey -algorithm EC
#              -pkeyopt ec_paramgen_curve:P-256 -out KEY.pem); signing needs
#              a native tamber-catalogue
#   BUILD_DIR  a Windows build (cmake/toolchain-i686-w64-mingw32.cmake) in
#              which tblobby is built: ninja -C BUILD_DIR tblobby
#   OUT_DIR    a new or empty folder; serve it as the update server's base URL
#
# tamber-catalogue is looked for in this order: $TAMBER_CATALOGUE (a command,
# e.g. "scripts/wine-run.sh path/to/tamber-catalogue.exe"); the native builds
# build/ and build-clang/ of this checkout; PATH; BUILD_DIR's own
# tools/tamber-catalogue.exe, run under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

sign_key=""
if [ $# -ge 1 ] && [ "$1" = "--sign" ]; then
  if [ $# -lt 2 ] || [ ! -f "$2" ]; then
    echo "make-content: --sign needs a private key file" >&2
    exit 2
  fi
  sign_key="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
  shift 2
fi
if [ $# -ne 2 ]; then
  echo "usage: $0 [--sign KEY.pem] BUILD_DIR OUT_DIR" >&2
  exit 2
fi
build_dir="$(cd "$1" && pwd)"
out_dir="$2"
content="$root/examples/content"

library="$build_dir/examples/lobby/tblobby.dll"
if [ ! -f "$library" ]; then
  echo "make-content: $library not found; build it with: ninja -C $1 tblobby" >&2
  exit 1
fi
# Stale files would end up in the catalogue and be downloaded by every host.
if [ -d "$out_dir" ] && [ -n "$(ls -A "$out_dir")" ]; then
  echo "make-content: $out_dir is not empty" >&2
  exit 1
fi

find_catalogue_tool() {
  if [ -n "${TAMBER_CATALOGUE:-}" ]; then
    echo "$TAMBER_CATALOGUE"
    return
  fi
  local candidate
  for candidate in "$root/build/tools/tamber-catalogue" "$root/build-clang/tools/tamber-catalogue"; do
    if [ -x "$candidate" ]; then
      echo "$candidate"
      return
    fi
  done
  if command -v tamber-catalogue >/dev/null; then
    command -v tamber-catalogue
    return
  fi
  if [ -f "$build_dir/tools/tamber-catalogue.exe" ]; then
    echo "$root/scripts/wine-run.sh $build_dir/tools/tamber-catalogue.exe"
    return
  fi
  return 1
}
if ! catalogue_tool="$(find_catalogue_tool)"; then
  echo "make-content: tamber-catalogue not found; build it (ninja -C build tamber-catalogue)" \
       "or set TAMBER_CATALOGUE" >&2
  exit 1
fi

mkdir -p "$out_dir/lobby"
cp "$library" "$out_dir/tblobby.dll"
cp "$content"/lobby/* "$out_dir/lobby/"
cp "$content/.tb_file_list" "$out_dir/.tb_file_list"

# $catalogue_tool may be a command with arguments (the Wine case).
if [ -n "$sign_key" ]; then
  # shellcheck disable=SC2086
  $catalogue_tool --sign "$sign_key" "$out_dir"
else
  # shellcheck disable=SC2086
  $catalogue_tool "$out_dir"
fi
# shellcheck disable=SC2086
$catalogue_tool --verify "$out_dir" >/dev/null

echo "make-content: $out_dir is ready:"
cat "$out_dir/.pm_file_list"
