#!/usr/bin/env bash
# Makes a throwaway certificate authority and server certificates for the
# HTTPS tests, with openssl, in a folder of the test run. Nothing here is
# ever trusted outside a test: the tests hand ca.pem to the libcurl client's
# CA setting, or put it into the Wine prefix's root store for the length of
# the test and take it out again.
#
#   ca.pem                 the test CA (trusted by the tests)
#   server.pem/.key        localhost and 127.0.0.1, from the test CA
#   other-name.pem/.key    a certificate for another name (other.invalid),
#                          from the test CA
#   unknown-ca.pem/.key    localhost and 127.0.0.1 again, but from a second
#                          CA that no test trusts
#
# Usage: scripts/make-test-certs.sh DIR   (DIR is made if need be)
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
dir="$1"
mkdir -p "$dir"
cd "$dir"

days=2
ca() {  # NAME SUBJECT
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days "$days" \
    -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
leaf() {  # NAME CA COMMON_NAME SUBJECT_ALT_NAMES
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$3" 2>/dev/null
  printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature,keyEncipherment" \
    "extendedKeyUsage=serverAuth" "subjectAltName=$4" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -out "$1.pem" -days "$days" \
    -extfile "$1.ext" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}

ca ca "Tamber Test CA (throwaway)"
ca stranger-ca "Tamber Stranger CA (throwaway, never trusted)"
leaf server ca localhost "DNS:localhost,IP:127.0.0.1"
leaf other-name ca other.invalid "DNS:other.invalid"
leaf unknown-ca stranger-ca localhost "DNS:localhost,IP:127.0.0.1"
rm -f ca.key stranger-ca.key ./*.srl
