#!/usr/bin/env bash
# Runs a command with the misbehaving test HTTP server (tests/server/
# test_server.py) listening on 127.0.0.1, then stops the server and removes
# its folder. The command sees:
#   TAMBER_TEST_URL          http://127.0.0.1:PORT/
#   TAMBER_TEST_ROOT         the folder the server serves (tests write their
#                            files and .rules.json there)
#   TAMBER_TEST_REQUEST_LOG  one tab-separated line per request
# Usage: with-test-server.sh COMMAND [ARGS...]; exits with the command's code.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
server="$here/../tests/server/test_server.py"

work="$(mktemp -d "${TMPDIR:-/tmp}/tamber-server.XXXXXX")"
mkdir -p "$work/www"
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

python3 "$server" --root "$work/www" --log "$work/requests.log" --max-lifetime 1800 >"$work/port" 2>"$work/server.err" &
server_pid=$!
port=
for _ in $(seq 1 100); do
  port="$(head -n 1 "$work/port" 2>/dev/null)"
  [ -n "$port" ] && break
  if ! kill -0 "$server_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "with-test-server: the test server did not start" >&2
  cat "$work/server.err" >&2
  exit 1
fi

export TAMBER_TEST_URL="http://127.0.0.1:$port/"
export TAMBER_TEST_ROOT="$work/www"
export TAMBER_TEST_REQUEST_LOG="$work/requests.log"
"$@"
