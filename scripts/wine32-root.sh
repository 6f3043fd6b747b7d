#!/usr/bin/env bash
# A private 32-bit Wine for the emulated 32-bit smoke test: Debian 12's
# wine32 and its dependencies for i386, resolved and downloaded by apt in a
# private state of its own and unpacked into FOLDER/root, which qemu-i386
# then uses as its root (-L). The system's package architectures and
# packages are not touched; this works where the kernel runs 64-bit
# programs only and where the system's i386 indexes are broken.
#
# apt runs with its own configuration, state, cache and source list
# (FOLDER/apt), APT::Architecture i386 and an empty dpkg status. Its sources
# are the main and updates suites, each checked against Debian's archive
# keyring as apt always does; the security suite is left out (it adds
# nothing a test of the host needs, and its i386 index is the one that
# breaks). Download only; each package is unpacked with dpkg -x, which runs
# no maintainer script, so the steps of those scripts that Wine needs are
# done here (see finish_root).
#
# Usage: scripts/wine32-root.sh FOLDER       (e.g. build-win32/wine32-root)
# Exit code 0 with FOLDER/root ready; 77 when it cannot be had (apt could not
# fetch it; the last line says why); 1 when unpacking it failed.
#
# The root is reused while it is current: its indexes are checked at most
# once every TAMBER_WINE32_ROOT_MAX_AGE seconds (default a day), and a
# package set that has not changed is not unpacked again; packages already
# downloaded stay in FOLDER/apt/cache. Without network access a root that is
# ready is used as it is. TAMBER_DEBIAN_MIRROR overrides the archive.
set -uo pipefail

[ $# -eq 1 ] || { echo "usage: $0 FOLDER (e.g. build-win32/wine32-root)" >&2; exit 2; }
mkdir -p "$1" || exit 1
folder="$(cd "$1" && pwd)"
mirror="${TAMBER_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
# Wine, its TLS (only recommended by libwine) and the font Wine maps
# "Arial" to, as on the system.
packages=(wine32 libgnutls30 fonts-liberation2)
max_age="${TAMBER_WINE32_ROOT_MAX_AGE:-86400}"
root="$folder/root"
stamp="$root/.tamber-packages"

say() { echo "wine32-root: $*" >&2; }
# One line for "cannot be had", then exit 77.
cannot() { say "32-bit Wine could not be fetched: $*"; exit 77; }

if [ -f "$stamp" ] && [ $(($(date +%s) - $(stat -c %Y "$stamp"))) -lt "$max_age" ]; then
  exit 0
fi
[ -f "$keyring" ] || cannot "$keyring is missing (package debian-archive-keyring)"

# The private apt. APT_CONFIG is read before /etc/apt/apt.conf.d, and it
# points every directory apt reads or writes into FOLDER/apt, so nothing of
# the system's configuration, state or sources takes part; only a proxy the
# system's apt uses is carried over.
apt="$folder/apt"
mkdir -p "$apt/etc/apt.conf.d" "$apt/etc/preferences.d" "$apt/etc/sources.list.d" \
         "$apt/state/lists/partial" "$apt/cache/archives/partial" "$apt/log" || exit 1
: >"$apt/state/status"
cat >"$apt/etc/sources.list" <<EOF
deb [arch=i386 signed-by=$keyring] $mirror bookworm main
deb [arch=i386 signed-by=$keyring] $mirror bookworm-updates main
EOF
{
  echo "Dir::Etc \"$apt/etc\";"
  echo "Dir::Etc::Trusted \"$apt/etc/trusted.gpg\";"
  echo "Dir::Etc::TrustedParts \"$apt/etc/trusted.gpg.d\";"
  echo "Dir::State \"$apt/state\";"
  echo "Dir::State::status \"$apt/state/status\";"
  echo "Dir::Cache \"$apt/cache\";"
  echo "Dir::Log \"$apt/log\";"
  echo 'APT::Architecture "i386";'
  echo 'APT::Architectures { "i386"; };'
  echo 'APT::Install-Recommends "false";'
  echo 'Acquire::Languages "none";'
  echo 'Acquire::Retries "3";'
  # The download runs as the user who runs this (root in CI), since apt's
  # unprivileged download user may not reach a folder in a home directory;
  # what is downloaded is checked against the keyring all the same.
  echo 'APT::Sandbox::User "root";'
  proxy="$(APT_CONFIG=/dev/null apt-config dump Acquire::http::Proxy 2>/dev/null | sed -n 's/^Acquire::http::Proxy "\(.*\)";$/\1/p')"
  [ -z "$proxy" ] || echo "Acquire::http::Proxy \"$proxy\";"
} >"$apt/etc/apt.conf"
[ "$(id -u)" -eq 0 ] || sed -i '/APT::Sandbox::User/d' "$apt/etc/apt.conf"
private_apt() { APT_CONFIG="$apt/etc/apt.conf" "$@"; }

log="$folder/apt.log"
: >"$log"
# Why apt failed, in one line: the first index or package it could not
# fetch, else its first error.
apt_reason() {
  local line
  line="$(grep -m1 -E '^(W|E): Failed to fetch ' "$log" || grep -m1 '^E: ' "$log")"
  echo "${line#?: }"
}

# apt-get update ends with 0 even when it could fetch no index ("W: Failed
# to fetch ..."), so its output is read as well.
updated=1
private_apt apt-get update -q >>"$log" 2>&1 || updated=0
grep -q -E '^(W|E): Failed to fetch ' "$log" && updated=0
if [ "$updated" = 0 ] && [ -f "$stamp" ]; then
  say "could not check whether the private root is current ($(apt_reason)); using it as it is"
  exit 0
fi

# The package set apt resolves, as "name version architecture" rows; a root
# unpacked from the same set is current.
want="$(private_apt apt-get install -s -q "${packages[@]}" 2>>"$log" |
        sed -n 's/^Inst \([^ ]*\) (\([^ ]*\) [^[]*\[\([a-z0-9]*\)\]).*/\1 \2 \3/p' | sort)"
if [ -z "$want" ]; then
  cannot "$(apt_reason)"
fi
if [ -f "$stamp" ] && [ "$want" = "$(cat "$stamp")" ]; then
  touch "$stamp"
  exit 0
fi

say "downloading wine32 for i386 and its dependencies ($(wc -l <<<"$want") packages) into $apt/cache"
start=$SECONDS
private_apt apt-get install -q -y --download-only "${packages[@]}" >>"$log" 2>&1 ||
  cannot "$(apt_reason)"
private_apt apt-get autoclean -q >>"$log" 2>&1 || true

# Unpacked into a fresh folder, put in place only once whole.
fresh="$folder/root.new"
rm -rf "$fresh"
mkdir -p "$fresh" || exit 1
while read -r name version arch; do
  deb="$apt/cache/archives/${name}_${version//:/%3a}_${arch}.deb"
  [ -f "$deb" ] || { say "apt downloaded no $deb"; exit 1; }
  dpkg -x "$deb" "$fresh" || { say "unpacking $deb failed"; exit 1; }
done <<<"$want"

# What dpkg -x leaves out of the maintainer scripts, as far as Wine needs it.
# The others of this set (libc6, debconf, fontconfig-config, libgcrypt20,
# libglib2.0-0, libgssapi-krb5-2, libgstreamer1.0-0, libpulse0) restart
# services, ask debconf questions or build caches that Wine can do without.
finish_root() {
  local r="$1"
  # libwine's postinst: MinGW's zlib1.dll (libz-mingw-w64) becomes a Wine
  # builtin DLL: bytes 64-95 of its header (the DOS stub after the PE
  # header offset) hold "Wine builtin DLL" and zeros. Without it no process
  # starts ("zlib1.dll (which is needed by user32.dll) not found").
  local zlib="$r/usr/i686-w64-mingw32/lib/zlib1.dll" dlls="$r/usr/lib/i386-linux-gnu/wine/i386-windows"
  [ -f "$zlib" ] || { say "$zlib is missing (package libz-mingw-w64)"; return 1; }
  [ -d "$dlls" ] || { say "$dlls is missing (package libwine)"; return 1; }
  cp "$zlib" "$dlls/zlib1.dll" || return 1
  { printf 'Wine builtin DLL'; head -c 16 /dev/zero; } |
    dd of="$dlls/zlib1.dll" bs=1 seek=64 conv=notrunc status=none || return 1
  # libc-bin's trigger: the loader cache. The emulated ld.so reads
  # /etc/ld.so.cache through the emulator's root, and without a cache of its
  # own it finds the host's /lib32 libraries first.
  echo 'include /etc/ld.so.conf.d/*.conf' >"$r/etc/ld.so.conf"
  ldconfig -r "$r" || { say "ldconfig -r $r failed"; return 1; }
  # Not a maintainer script's step: the root's fontconfig keeps its font
  # caches in the root (at the path the root will have once in place), not
  # in the system's /var/cache/fontconfig or the user's home.
  mkdir -p "$r/var/cache/fontconfig" &&
    sed -i -e "s|<cachedir>/var/cache/fontconfig</cachedir>|<cachedir>$root/var/cache/fontconfig</cachedir>|" \
           -e '/<cachedir prefix="xdg">/d' -e '/<cachedir>~\/.fontconfig</d' "$r/etc/fonts/fonts.conf" || return 1
}
finish_root "$fresh" || exit 1
echo "$want" >"$fresh/.tamber-packages"
rm -rf "$root"
mv "$fresh" "$root" || exit 1
say "private root ready in $((SECONDS - start))s: $root ($(du -sh "$root" | cut -f1))"
