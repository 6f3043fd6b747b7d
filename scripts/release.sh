#!/usr/bin/env bash
# The operator's release: from one settings file to the files players get.
#
#   OUT/<package>-<version>-win32.zip         quillon.exe (32-bit) and a read-me
#   OUT/<package>-<version>-win32-setup.exe   its per-user installer (NSIS)
#   OUT/<package>-<version>-win64.zip         the same for 64-bit Windows
#   OUT/<package>-<version>-win64-setup.exe
#   OUT/<package>_<version>_amd64.deb         tamber for Debian and Ubuntu
#   OUT/<package>-<version>-linux-x86_64.tar.gz
#   OUT/SHA256SUMS                            the SHA-256 of each of them
#
# The settings (packaging/example.settings shows them all) are checked
# first: a malformed base URL, a bad content key or any other bad setting
# stops the release with the reason before anything is built. Each host is
# then configured (CMakePresets.json: release-win32, release-win64,
# release-linux) and built once, and CPack makes its packages
# (packaging/). With a code-signing certificate every program, uninstaller
# and installer is Authenticode-signed with osslsigncode.
#
# The build is reproducible: the same sources and settings give the same
# bytes in any folder. File times come from SOURCE_DATE_EPOCH (default:
# the time of the checkout's last commit).
#
# Usage: scripts/release.sh --settings FILE --out DIR [options]
#   --settings FILE        the operator's settings
#   --out DIR              where the packages go: a new or empty folder
#   --set KEY=VALUE        a setting given here instead of (or over) the file
#   --work DIR             keep the build folders (build-release-*) in DIR and
#                          reuse them; by default a temporary folder is used
#                          and removed
#   --pkcs12 FILE          sign with this certificate and key (PKCS#12) ...
#   --password-file FILE   ... whose password is in FILE, or
#   --password-env NAME    ... in the environment variable NAME
#   --timestamp URL        an RFC 3161 timestamp server for the signatures
# The password is handed to osslsigncode in a file, never on a command line.
# TAMBER_JOBS sets the build's parallel jobs (default: the number of CPUs).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

say() { echo "release: $*" >&2; }
usage() {  # [exit code]
  sed -n '/^# Usage:/,/^# TAMBER_JOBS/s/^# \{0,1\}//p' "$0" >&2
  exit "${1:-2}"
}

step="reading the arguments"
scratch=""
finish() {
  local status=$?
  trap - EXIT
  [ -z "$scratch" ] || rm -rf "$scratch"
  if [ "$status" -ne 0 ] && [ "$status" -ne 2 ]; then
    say "FAILED while $step (exit code $status); the output above says why"
  fi
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM

settings="" out="" work="" pkcs12="" password_file="" password_env="" timestamp=""
declare -a overrides=()
need_value() { [ $# -ge 2 ] && [ -n "$2" ] || { say "$1 needs a value"; usage; }; }
while [ $# -gt 0 ]; do
  case "$1" in
    --settings) need_value "$@"; settings="$2"; shift 2 ;;
    --out) need_value "$@"; out="$2"; shift 2 ;;
    --set) need_value "$@"; overrides+=(--set "$2"); shift 2 ;;
    --work) need_value "$@"; work="$2"; shift 2 ;;
    --pkcs12) need_value "$@"; pkcs12="$2"; shift 2 ;;
    --password-file) need_value "$@"; password_file="$2"; shift 2 ;;
    --password-env) need_value "$@"; password_env="$2"; shift 2 ;;
    --timestamp) need_value "$@"; timestamp="$2"; shift 2 ;;
    -h | --help) usage 0 ;;
    *) say "unknown argument '$1'"; usage ;;
  esac
done
[ -n "$settings" ] || { say "--settings FILE is needed"; usage; }
[ -n "$out" ] || { say "--out DIR is needed"; usage; }

step="checking the settings"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/tamber-release.XXXXXX")"
chmod 700 "$scratch"
python3 "$root/packaging/settings.py" "$settings" "$scratch/settings.cmake" "$scratch/settings.sh" \
  "${overrides[@]}" || { status=$?; step="checking the settings (nothing was built)"; exit "$status"; }
platforms="" product_name=""  # set by settings.sh
# shellcheck source=/dev/null
source "$scratch/settings.sh"

step="checking the signing certificate"
signing=""
if [ -n "$pkcs12" ]; then
  [ -r "$pkcs12" ] || { say "--pkcs12: cannot read '$pkcs12'"; exit 1; }
  pkcs12="$(cd "$(dirname "$pkcs12")" && pwd)/$(basename "$pkcs12")"
  if [ -n "$password_env" ]; then
    [ -n "${!password_env+set}" ] || { say "--password-env: the variable $password_env is not set"; exit 1; }
    (umask 077 && printf '%s' "${!password_env}" >"$scratch/password")
    # Not passed on to the build's processes.
    unset "$password_env"
    password_file="$scratch/password"
  elif [ -z "$password_file" ]; then
    say "--pkcs12 needs --password-file FILE or --password-env NAME"
    exit 1
  fi
  [ -r "$password_file" ] || { say "--password-file: cannot read '$password_file'"; exit 1; }
  password_file="$(cd "$(dirname "$password_file")" && pwd)/$(basename "$password_file")"
  if ! reason="$(openssl pkcs12 -in "$pkcs12" -passin "file:$password_file" -noout 2>&1)" &&
     ! reason="$(openssl pkcs12 -legacy -in "$pkcs12" -passin "file:$password_file" -noout 2>&1)"; then
    say "the certificate '$pkcs12' cannot be opened with that password: ${reason%%$'\n'*}"
    exit 1
  fi
  if [ -n "$timestamp" ] && ! [[ "$timestamp" =~ ^https?://[^[:space:]]+$ ]]; then
    say "--timestamp: '$timestamp' is not an http:// or https:// URL"
    exit 1
  fi
  signing=1
elif [ -n "$password_file$password_env$timestamp" ]; then
  say "--password-file, --password-env and --timestamp go with --pkcs12"
  exit 1
fi

step="checking the tools"
missing=()
for tool in cmake cpack ninja python3; do command -v "$tool" >/dev/null || missing+=("$tool (core)"); done
case " $platforms " in *" win"*)
  command -v makensis >/dev/null || missing+=("makensis (package nsis)") ;;
esac
case " $platforms " in *" win32 "*)
  command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=("i686-w64-mingw32-g++-posix (core)") ;;
esac
case " $platforms " in *" win64 "*)
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=("x86_64-w64-mingw32-g++-posix (core)") ;;
esac
case " $platforms " in *" linux "*)
  for tool in dpkg-deb dpkg-shlibdeps; do command -v "$tool" >/dev/null || missing+=("$tool (core)"); done ;;
esac
[ -z "$signing" ] || command -v osslsigncode >/dev/null || missing+=("osslsigncode (package osslsigncode)")
if [ "${#missing[@]}" -gt 0 ]; then
  say "missing: ${missing[*]}; scripts/install-deps.sh installs them (the layer is named beside each)"
  exit 1
fi

step="preparing the output folder $out"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
if [ -n "$(ls -A "$out")" ]; then
  say "the output folder $out is not empty: give a new or empty one"
  exit 1
fi
if [ -n "$work" ]; then
  mkdir -p "$work"
  work="$(cd "$work" && pwd)"
else
  work="$scratch"
fi

# What makes the build the same everywhere: the release's time, UTC for
# any date written, one locale for any order.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null)" || {
    say "SOURCE_DATE_EPOCH is not set and $root has no git history to take the release's time from"
    exit 1
  }
fi
[[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || { say "SOURCE_DATE_EPOCH must be a time in seconds: '$SOURCE_DATE_EPOCH'"; exit 1; }
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
jobs="${TAMBER_JOBS:-$(nproc)}"
echo "Release of $product_name for: $platforms (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH$([ -n "$signing" ] && echo ", signed"))"

for platform in $platforms; do
  build="$work/build-release-$platform"
  step="configuring the $platform host (in $build)"
  echo "--- $platform"
  cmake --preset "release-$platform" -B "$build" -C "$scratch/settings.cmake" >"$scratch/configure.log" 2>&1 || {
    cat "$scratch/configure.log" >&2; exit 1; }
  step="building the $platform host (in $build)"
  cmake --build "$build" -j "$jobs"
  step="packaging the $platform host (cpack in $build)"
  rm -rf "$build/packages"
  (
    if [ -n "$signing" ]; then
      export TAMBER_SIGN_PKCS12="$pkcs12" TAMBER_SIGN_PASSWORD_FILE="$password_file"
      export TAMBER_SIGN_TIMESTAMP="$timestamp" TAMBER_SIGN_DESCRIPTION="$product_name"
    fi
    cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >"$build/cpack.log" 2>&1 || {
      cat "$build/cpack.log" >&2; exit 1; }
  )
  grep -E '^(signed|CPack: - package:)' "$build/cpack.log" || true
  find "$build/packages" -maxdepth 1 -type f \( -name '*.exe' -o -name '*.zip' -o -name '*.deb' -o -name '*.tar.gz' \) \
    -exec mv -t "$out" {} +
done

step="writing SHA256SUMS"
(cd "$out" && sha256sum -- * >"$scratch/SHA256SUMS" && mv "$scratch/SHA256SUMS" SHA256SUMS)
echo "--- $out"
(cd "$out" && ls -l --time-style=+ -- * | awk '{printf "  %10d  %s\n", $5, $NF}')
step="finishing"
