#!/usr/bin/env bash
# Runs a command with nginx serving one folder over HTTPS on 127.0.0.1, three
# times over on ports of their own, with throwaway certificates made for the
# run (scripts/make-test-certs.sh); then stops nginx and removes everything.
# The command sees:
#   TAMBER_TLS_CA              the test CA's certificate (PEM), which only
#                              the tests trust
#   TAMBER_TLS_ROOT            the folder served (tests write their files there)
#   TAMBER_TLS_URL             https://localhost:PORT/, a certificate for
#                              localhost and 127.0.0.1 from the test CA
#   TAMBER_TLS_OTHER_NAME_URL  https://localhost:PORT/, a certificate from the
#                              test CA for another name
#   TAMBER_TLS_UNKNOWN_CA_URL  https://localhost:PORT/, a certificate for
#                              localhost from a CA nobody trusts
#   TAMBER_TLS_TEST_SERVER_URL https://localhost:PORT/, the misbehaving test
#                              server (tests/server/test_server.py) on the
#                              same folder with the test CA's certificate
#   TAMBER_TLS_TEST_SERVER_RULES  that server's rules file
# Without nginx or openssl the command runs without them, and the HTTPS
# tests skip, saying so.
# Usage: with-tls-server.sh COMMAND [ARGS...]; exits with the command's code.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

for tool in nginx openssl python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "with-tls-server: no $tool, running without the HTTPS test servers" >&2
    exec "$@"
  fi
done

work="$(mktemp -d "${TMPDIR:-/tmp}/tamber-tls.XXXXXX")"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! "$here/make-test-certs.sh" "$work/certs"; then
  echo "with-tls-server: could not make the test certificates" >&2
  exit 1
fi
mkdir -p "$work/www"
# nginx's worker may run as another user (nobody, when started as root).
chmod 755 "$work" "$work/www"
# Three free ports for nginx, held together while they are chosen so they
# differ; the test server finds its own.
read -r -a ports < <(python3 -c '
import socket
held = [socket.socket() for _ in range(3)]
for s in held: s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held))')

names=(server other-name unknown-ca)
for i in 0 1 2; do
  name="${names[$i]}"
  "$here/nginx-serve.sh" "$work/www" "${ports[$i]}" "$work/nginx-$name" \
    "$work/certs/$name.pem" "$work/certs/$name.key" >"$work/nginx-$name.out" 2>&1 &
  pids+=($!)
done
python3 "$here/../tests/server/test_server.py" --root "$work/www" --rules "$work/rules.json" \
  --tls-cert "$work/certs/server.pem" --tls-key "$work/certs/server.key" --max-lifetime 1800 \
  >"$work/test-server.port" 2>"$work/test-server.err" &
pids+=($!)
for i in 0 1 2; do
  up=
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/${ports[$i]}") 2>/dev/null; then up=1; break; fi
    kill -0 "${pids[$i]}" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$up" ]; then
    echo "with-tls-server: nginx did not start on port ${ports[$i]}" >&2
    cat "$work/nginx-${names[$i]}.out" "$work/nginx-${names[$i]}/logs/error.log" >&2 2>/dev/null
    exit 1
  fi
done

test_port=
for _ in $(seq 1 100); do
  test_port="$(head -n 1 "$work/test-server.port" 2>/dev/null)"
  [ -n "$test_port" ] && break
  kill -0 "${pids[3]}" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$test_port" ]; then
  echo "with-tls-server: the test server did not start" >&2
  cat "$work/test-server.err" >&2
  exit 1
fi

export TAMBER_TLS_CA="$work/certs/ca.pem"
export TAMBER_TLS_ROOT="$work/www"
export TAMBER_TLS_URL="https://localhost:${ports[0]}/"
export TAMBER_TLS_OTHER_NAME_URL="https://localhost:${ports[1]}/"
export TAMBER_TLS_UNKNOWN_CA_URL="https://localhost:${ports[2]}/"
export TAMBER_TLS_TEST_SERVER_URL="https://localhost:$test_port/"
export TAMBER_TLS_TEST_SERVER_RULES="$work/rules.json"
"$@"
