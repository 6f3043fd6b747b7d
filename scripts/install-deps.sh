#!/usr/bin/env bash
# Installs what the builds, the tests and the local update server need on a
# Debian 12 machine, in layers, each its own apt transaction:
#
#   core    every build and every 64-bit test: compilers, CMake, MinGW,
#           64-bit Wine, Xvfb, nginx, SDL, OpenSSL and the tools the tests
#           call. No foreign architecture. It must succeed; if it does not,
#           the script says which packages apt could not install and why,
#           and exits 1.
#   wine32  the system's 32-bit Wine (wine32:i386), for the 32-bit test
#           suites. Only where the kernel runs 32-bit programs (probed with
#           a tiny 32-bit program before any i386 package is asked for);
#           only then is the i386 architecture added. Optional: when it
#           cannot be had the script says why in its last line and exits 77
#           (the usual code for "skipped"), and the 32-bit smoke test runs
#           under emulation from a private root instead
#           (scripts/wine32-root.sh), which needs no i386 packages on the
#           system at all.
#   release the operator's release tools (scripts/release.sh): NSIS for
#           the Windows installers, osslsigncode to sign them, lintian to
#           check the Linux package. Optional, like wine32: only the
#           release and its tests need it, so a package index that cannot
#           give it stops nothing else; it says why in its last line and
#           exits 77.
#   web     the browser host's tools: Debian's Emscripten, Chromium with
#           its WebDriver and Python's Selenium for the browser tests.
#           Optional in the same way: only the browser build and its tests
#           need it.
#
# Usage: scripts/install-deps.sh [core|wine32|release|web|all]    (default all)
#   all: core, then wine32, release and web; exits 1 only when core fails,
#   and 0 when only an optional layer could not be had (its line says so).
# Safe to run again: apt skips what is there.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

layer="${1:-all}"
case "$layer" in
  core | wine32 | release | web | all) ;;
  *) echo "usage: $0 [core|wine32|release|web|all]" >&2; exit 2 ;;
esac

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive

core_packages=(
  # native build and tests
  build-essential cmake ninja-build clang lld libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libcurl4-openssl-dev libfreetype-dev libfontconfig-dev fonts-liberation2
  # signed lists: the native verifier and the publisher tool's signing
  libssl-dev
  # the native host tamber
  libsdl2-dev
  python3 curl
  # the download benchmark's server (scripts/bench-download.sh) and the
  # HTTPS tests' servers (scripts/with-tls-server.sh)
  nginx
  # scripts/bench-sha256.sh compares with openssl; the HTTPS tests make
  # their throwaway certificates with it
  openssl
  # the Windows builds, 32-bit and 64-bit
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  # running and driving quillon.exe under 64-bit Wine, on every machine
  wine wine64 xvfb xdotool x11-utils imagemagick
  # Wine's TLS (schannel) for the HTTPS tests: only recommended by libwine
  libgnutls30
  # the 32-bit Wine under emulation: scripts/fetch-qemu.py and
  # scripts/wine32-root.sh check what they fetch as apt does; Debian 12's
  # own (slow) emulator is the fallback when the backported one cannot be had
  gpgv debian-archive-keyring xz-utils qemu-user-static
)
wine32_packages=(wine32:i386 libgnutls30:i386)
release_packages=(nsis osslsigncode lintian)
web_packages=(emscripten chromium chromium-driver python3-selenium)

say() { echo "install-deps: $*" >&2; }

# apt-get update; for the core three times over two minutes, since a mirror
# in the middle of a sync serves indexes that do not match their release
# file ("File has unexpected size") and that passes within minutes. An index
# that stays broken (one has been for days) is ignored by apt, which keeps
# the others; the install that follows then decides whether they are
# enough. The optional layer tries once: it has its fallback. The first
# index that failed is kept in index_failure.
index_failure=""
update_indexes() {  # waits between the tries, in seconds
  local wait log
  log="$(mktemp)"
  for wait in "$@" 0; do
    if $SUDO apt-get update -q -o Acquire::Retries=3 2>&1 | tee "$log"; then
      rm -f "$log"
      index_failure=""
      return 0
    fi
    index_failure="$(grep -m1 -E '^(W|E): Failed to fetch ' "$log" | sed 's/^.: //')"
    [ "$wait" = 0 ] || { say "apt-get update failed; trying again in $wait s"; sleep "$wait"; }
  done
  rm -f "$log"
  say "apt-get update failed (see above); installing from the package indexes apt has"
  return 1
}

# apt-get install of the given packages in one transaction, its output shown.
# It never removes a package to make room (--no-remove). On failure it says
# which packages apt named and its error lines, and keeps the first error in
# install_failure.
install_failure=""
install_packages() {  # layer name, packages...
  local name="$1" log
  shift
  log="$(mktemp)"
  if $SUDO apt-get install -y -q -o Acquire::Retries=3 --no-install-recommends --no-remove "$@" 2>&1 | tee "$log"; then
    rm -f "$log"
    return 0
  fi
  # The packages apt complains about: " name : Depends: ..." rows of its
  # unmet-dependency report, and "Unable to locate package name".
  local named errors
  named="$(sed -n -e 's/^ \{1,\}\([a-z0-9][a-z0-9.+:-]*\) : .*/\1/p' \
                  -e 's/^E: Unable to locate package \(.*\)/\1/p' "$log" | sort -u | tr '\n' ' ')"
  errors="$(grep '^E: ' "$log" | sed 's/^E: //')"
  rm -f "$log"
  say "the $name packages could not be installed${named:+: apt cannot install ${named% }}"
  [ -z "$errors" ] || sed 's/^/install-deps:   E: /' <<<"$errors" >&2
  install_failure="${errors%%$'\n'*}"
  return 1
}

install_core() {
  local updated=1
  update_indexes 30 90 || updated=0
  if ! install_packages core "${core_packages[@]}"; then
    say "nothing can be built without these (the list is in $0)"
    [ "$updated" = 1 ] || say "the package indexes could not all be updated (${index_failure:-see above}): check the network and the package sources"
    exit 1
  fi
}

# The optional 32-bit layer. Exits 77 with one line when it cannot be had.
install_wine32() {
  # shellcheck source=wine-env.sh
  source "$here/wine-env.sh" probe
  if tamber_wine32_runs; then
    echo "install-deps: the system's 32-bit Wine is installed and runs"
    return 0
  fi
  if ! tamber_kernel_runs_32bit; then
    say "32-bit Wine not installed: $(tamber_kernel_32bit_why_not);" \
        "the 32-bit smoke test runs under emulation from a private root (scripts/wine32-root.sh)"
    exit 77
  fi
  local added=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386 || { say "32-bit Wine not installed: dpkg could not add the i386 architecture"; exit 77; }
    added=1
  fi
  update_indexes || true
  if install_packages "32-bit Wine" "${wine32_packages[@]}"; then
    return 0
  fi
  # Leave the system as it was: the architecture goes again when this script
  # added it and no i386 package came with it.
  if [ -n "$added" ] && ! dpkg-query -W -f '${Architecture}\n' 2>/dev/null | grep -qx i386; then
    $SUDO dpkg --remove-architecture i386 || true
  fi
  say "32-bit Wine could not be installed: ${index_failure:+an index failed ($index_failure), and }apt said: ${install_failure:-no error line};" \
      "the 32-bit smoke test runs under emulation from a private root instead"
  exit 77
}

# The optional release layer. Exits 77 with one line when it cannot be had.
install_release() {
  if command -v makensis >/dev/null && command -v osslsigncode >/dev/null && command -v lintian >/dev/null; then
    echo "install-deps: the release tools (makensis, osslsigncode, lintian) are installed"
    return 0
  fi
  update_indexes || true
  if install_packages release "${release_packages[@]}"; then
    return 0
  fi
  say "the release tools (${release_packages[*]}) could not be installed: ${index_failure:+an index failed ($index_failure), and }apt said: ${install_failure:-no error line};" \
      "scripts/release.sh and its tests cannot run"
  exit 77
}

# The optional browser layer. Exits 77 with one line when it cannot be had.
web_tools_present() {
  command -v emcc >/dev/null && command -v chromium >/dev/null && command -v chromedriver >/dev/null &&
    /usr/bin/python3 -c 'import selenium' 2>/dev/null
}
install_web() {
  if web_tools_present; then
    echo "install-deps: the browser tools (emcc, chromium, chromedriver, selenium) are installed"
    return 0
  fi
  update_indexes || true
  if install_packages "browser" "${web_packages[@]}"; then
    return 0
  fi
  say "the browser tools (${web_packages[*]}) could not be installed: ${index_failure:+an index failed ($index_failure), and }apt said: ${install_failure:-no error line};" \
      "the browser host cannot be built or tested"
  exit 77
}

case "$layer" in
  core) install_core ;;
  wine32) install_wine32 ;;
  release) install_release ;;
  web) install_web ;;
  all)
    install_core
    # The optional layers in subshells of their own: an exit 77 ends only its layer.
    ( install_wine32 ) || [ $? = 77 ] || exit 1
    ( install_release ) || [ $? = 77 ] || exit 1
    ( install_web ) || [ $? = 77 ] || exit 1
    ;;
esac
