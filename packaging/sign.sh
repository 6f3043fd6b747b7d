#!/usr/bin/env bash
# Authenticode-signs one Windows program in place with osslsigncode, when
# scripts/release.sh was given a code-signing certificate; otherwise does
# nothing. Called for quillon.exe (packaging/stage.cmake), and by makensis
# for the uninstaller and the installer (NSIS.template.in). It takes
# everything from the environment, so that no password is ever on a
# command line:
#   TAMBER_SIGN_PKCS12         the certificate and key (PKCS#12); empty: no signing
#   TAMBER_SIGN_PASSWORD_FILE  a file holding the PKCS#12 password
#   TAMBER_SIGN_TIMESTAMP      an RFC 3161 timestamp server's URL, or empty
#   TAMBER_SIGN_DESCRIPTION    the name shown in Windows' signature prompts
#   SOURCE_DATE_EPOCH          the signing time when there is no timestamp
#                              server, so that a signature is the same in
#                              every build
# Usage: packaging/sign.sh FILE.exe
set -euo pipefail
file="${1:?usage: sign.sh FILE.exe}"
[ -n "${TAMBER_SIGN_PKCS12:-}" ] || exit 0
if [ ! -f "${TAMBER_SIGN_PASSWORD_FILE:-}" ]; then
  echo "sign.sh: TAMBER_SIGN_PASSWORD_FILE names no file, so $file cannot be signed" >&2
  exit 1
fi
options=(-pkcs12 "$TAMBER_SIGN_PKCS12" -readpass "$TAMBER_SIGN_PASSWORD_FILE" -h sha256)
[ -z "${TAMBER_SIGN_DESCRIPTION:-}" ] || options+=(-n "$TAMBER_SIGN_DESCRIPTION")
if [ -n "${TAMBER_SIGN_TIMESTAMP:-}" ]; then
  options+=(-ts "$TAMBER_SIGN_TIMESTAMP")
elif [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  options+=(-time "$SOURCE_DATE_EPOCH")
fi
signed="$file.signed"
rm -f "$signed"
if ! said="$(osslsigncode sign "${options[@]}" -in "$file" -out "$signed" 2>&1)"; then
  rm -f "$signed"
  echo "sign.sh: osslsigncode could not sign $file:" >&2
  echo "$said" >&2
  exit 1
fi
mv -f "$signed" "$file"
echo "signed $(basename "$file")"
