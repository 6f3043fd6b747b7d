#!/usr/bin/env bash
# Assembles the example content an operator publishes on the update server,
# for Windows hosts (quillon.exe), for Linux hosts (tamber), for the browser
# host, or for several side by side. Each set is a folder of its own, served as the base URL of
# the hosts of its platform, with its own lists:
#
#   SET/tblobby.dll         the example lobby library (tblobby.so in the Linux set,
#                           tblobby.wasm in the browser's)
#   SET/lobby/...           its assets (examples/content/lobby/)
#   SET/.tb_file_list       what the lobby library needs (examples/content/.tb_file_list,
#                           naming the set's own library)
#   SET/.pm_file_list       the catalogue: name, size and SHA-256 of every
#                           file, written by the publisher tool tamber-catalogue
#   SET/.tb_release         with --sign only: the signed release statement
#                           (release number, expiry, both lists' sizes and
#                           digests, the key set), for hosts built with the
#                           matching public keys (-DTAMBER_CONTENT_KEY=KEY.pub.pem)
#
# Usage: scripts/make-content.sh [SIGNING] BUILD_DIR OUT_DIR
#          the Windows set in OUT_DIR itself
#        scripts/make-content.sh [SIGNING] [--windows BUILD_DIR] [--linux BUILD_DIR] [--web BUILD_DIR] OUT_DIR
#          each set named in OUT_DIR/windows, OUT_DIR/linux and OUT_DIR/web
#   SIGNING    --sign KEY.pem, once per key, [--threshold T] [--release N]:
#              the sets are signed as a first release (number 1 unless N is
#              given, 30 days) whose key set is the signing keys' public
#              keys, T of them needed (default 1): build the hosts with the
#              same keys and threshold
#              (-DTAMBER_CONTENT_KEY="a.pub.pem;b.pub.pem"
#              -DTAMBER_CONTENT_KEY_THRESHOLD=T). Later releases are made
#              with tamber-catalogue --sign on the published folder.
#   KEY.pem    an ECDSA P-256 private key (openssl genpkey -algorithm EC
#              -pkeyopt ec_paramgen_curve:P-256 -out KEY.pem); signing needs
#              a native tamber-catalogue
#   BUILD_DIR  for Windows a Windows build (cmake/toolchain-*-w64-mingw32.cmake),
#              for Linux a native build, for the browser a build made with
#              emcmake (build-web), in which tblobby is built:
#              ninja -C BUILD_DIR tblobby
#   OUT_DIR    a new or empty folder; serve it (or its windows/ and linux/
#              folders) as the update server's base URL
#
# tamber-catalogue is looked for in this order: $TAMBER_CATALOGUE (a command,
# e.g. "scripts/wine-run.sh path/to/tamber-catalogue.exe"); the native builds
# build/ and build-clang/ of this checkout, or the Linux BUILD_DIR; PATH; the
# Windows BUILD_DIR's own tools/tamber-catalogue.exe, run under Wine.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

usage() {
  echo "usage: $0 [--sign KEY.pem]... [--threshold T] [--release N] BUILD_DIR OUT_DIR" >&2
  echo "       $0 [--sign KEY.pem]... [--threshold T] [--release N] [--windows BUILD_DIR] [--linux BUILD_DIR] [--web BUILD_DIR] OUT_DIR" >&2
  exit 2
}

sign_keys=()
threshold=1
release=""
windows_build=""
linux_build=""
web_build=""
split=0
while [ $# -gt 1 ]; do
  case "$1" in
    --sign)
      if [ ! -f "$2" ]; then
        echo "make-content: --sign needs a private key file" >&2
        exit 2
      fi
      sign_keys+=("$(cd "$(dirname "$2")" && pwd)/$(basename "$2")")
      shift 2 ;;
    --threshold) threshold="$2"; shift 2 ;;
    --release) release="$2"; shift 2 ;;
    --windows) windows_build="$2"; split=1; shift 2 ;;
    --linux) linux_build="$2"; split=1; shift 2 ;;
    --web) web_build="$2"; split=1; shift 2 ;;
    *) break ;;
  esac
done
if [ "$split" = 0 ]; then
  [ $# -eq 2 ] || usage
  windows_build="$1"
  shift
fi
[ $# -eq 1 ] || usage
out_dir="$1"
content="$root/examples/content"

for build in "$windows_build" "$linux_build" "$web_build"; do
  if [ -n "$build" ] && [ ! -d "$build" ]; then
    echo "make-content: $build is not a build folder" >&2
    exit 1
  fi
done
[ -z "$windows_build" ] || windows_build="$(cd "$windows_build" && pwd)"
[ -z "$linux_build" ] || linux_build="$(cd "$linux_build" && pwd)"
[ -z "$web_build" ] || web_build="$(cd "$web_build" && pwd)"

check_library() {  # library file, build folder
  if [ ! -f "$1" ]; then
    echo "make-content: $1 not found; build it with: ninja -C $2 tblobby" >&2
    exit 1
  fi
}
[ -z "$windows_build" ] || check_library "$windows_build/examples/lobby/tblobby.dll" "$windows_build"
[ -z "$linux_build" ] || check_library "$linux_build/examples/lobby/tblobby.so" "$linux_build"
[ -z "$web_build" ] || check_library "$web_build/examples/lobby/tblobby.wasm" "$web_build"

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
  for candidate in "$root/build/tools/tamber-catalogue" "$root/build-clang/tools/tamber-catalogue" \
                   ${linux_build:+"$linux_build/tools/tamber-catalogue"}; do
    if [ -x "$candidate" ]; then
      echo "$candidate"
      return
    fi
  done
  if command -v tamber-catalogue >/dev/null; then
    command -v tamber-catalogue
    return
  fi
  if [ -n "$windows_build" ] && [ -f "$windows_build/tools/tamber-catalogue.exe" ]; then
    echo "$root/scripts/wine-run.sh $windows_build/tools/tamber-catalogue.exe"
    return
  fi
  return 1
}
if ! catalogue_tool="$(find_catalogue_tool)"; then
  echo "make-content: tamber-catalogue not found; build it (ninja -C build tamber-catalogue)" \
       "or set TAMBER_CATALOGUE" >&2
  exit 1
fi

# The signing arguments: each key, and the key set the statement carries,
# made of the keys' public halves.
sign_args=()
if [ "${#sign_keys[@]}" -gt 0 ]; then
  public_dir="$(mktemp -d "${TMPDIR:-/tmp}/make-content-keys.XXXXXX")"
  trap 'rm -rf "$public_dir"' EXIT
  key_set=()
  for key in "${sign_keys[@]}"; do
    sign_args+=(--sign "$key")
    public="$public_dir/${#key_set[@]}.pub.pem"
    if ! openssl pkey -in "$key" -pubout -out "$public" 2>/dev/null; then
      echo "make-content: $key holds no private key openssl can read" >&2
      exit 1
    fi
    key_set+=("$public")
  done
  sign_args+=(--key-set "${key_set[@]}" --threshold "$threshold")
  [ -z "$release" ] || sign_args+=(--release "$release")
elif [ "$threshold" != 1 ] || [ -n "$release" ]; then
  echo "make-content: --threshold and --release go with --sign" >&2
  exit 2
fi

publish() {  # set folder, library file
  local set_dir="$1" library="$2"
  local name
  name="$(basename "$library")"
  mkdir -p "$set_dir/lobby"
  cp "$library" "$set_dir/$name"
  cp "$content"/lobby/* "$set_dir/lobby/"
  # The dependency list names the set's own lobby library.
  sed "s/^tblobby\.dll:/$name:/" "$content/.tb_file_list" > "$set_dir/.tb_file_list"
  # $catalogue_tool may be a command with arguments (the Wine case).
  if [ "${#sign_args[@]}" -gt 0 ]; then
    # shellcheck disable=SC2086
    $catalogue_tool "${sign_args[@]}" "$set_dir"
  else
    # shellcheck disable=SC2086
    $catalogue_tool "$set_dir"
  fi
  # shellcheck disable=SC2086
  $catalogue_tool --verify "$set_dir" >/dev/null
  echo "make-content: $set_dir is ready:"
  cat "$set_dir/.pm_file_list"
}

if [ "$split" = 0 ]; then
  publish "$out_dir" "$windows_build/examples/lobby/tblobby.dll"
  exit 0
fi
[ -n "$windows_build$linux_build$web_build" ] || usage
[ -z "$windows_build" ] || publish "$out_dir/windows" "$windows_build/examples/lobby/tblobby.dll"
[ -z "$linux_build" ] || publish "$out_dir/linux" "$linux_build/examples/lobby/tblobby.so"
[ -z "$web_build" ] || publish "$out_dir/web" "$web_build/examples/lobby/tblobby.wasm"
