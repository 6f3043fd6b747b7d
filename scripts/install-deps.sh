#!/usr/bin/env bash
# Installs everything the two builds, the tests and the local update server
# need on a fresh Debian 12 machine. Safe to run again: apt skips what is there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

packages=(
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
  # running and driving quillon.exe: 64-bit Wine runs everywhere, 32-bit
  # Wine where the kernel runs 32-bit programs (under user-mode emulation
  # elsewhere)
  wine wine64 wine32:i386 qemu-user-static xvfb xdotool x11-utils imagemagick
  # scripts/fetch-qemu.py checks the emulator it fetches as apt does
  gpgv debian-archive-keyring xz-utils
  # Wine's TLS (schannel) for the HTTPS tests: only recommended by libwine
  libgnutls30 libgnutls30:i386
)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in the middle of a sync serves indexes that do not match their
# release file ("File has unexpected size"); that passes within minutes, so
# the update is tried three times. If an index still fails, apt keeps the
# others, and the install below decides whether what it has is enough.
updated=0
for wait in 30 90 0; do
  if $SUDO apt-get update -q -o Acquire::Retries=3; then
    updated=1
    break
  fi
  [ "$wait" = 0 ] || { echo "install-deps: apt-get update failed; trying again in $wait s" >&2; sleep "$wait"; }
done
if [ "$updated" != 1 ]; then
  echo "install-deps: apt-get update failed three times (see above); installing from the package indexes apt has" >&2
fi
if ! $SUDO apt-get install -y -q -o Acquire::Retries=3 --no-install-recommends "${packages[@]}"; then
  echo "install-deps: installing the packages failed (see above); the list is in $0" >&2
  [ "$updated" = 1 ] || echo "install-deps: the package indexes could not all be updated: check the network and the package sources" >&2
  exit 1
fi

