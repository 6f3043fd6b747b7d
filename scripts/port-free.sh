#!/usr/bin/env bash
# Succeeds when 127.0.0.1:PORT can be bound, that is, when no other program
# serves there: a script that is about to serve on a fixed port asks first,
# so that it never measures or tests someone else's server by mistake.
#
# Usage: scripts/port-free.sh PORT
set -euo pipefail
# SO_REUSEADDR, as servers set it: connections of a server that has just
# stopped, still in TIME_WAIT, do not count; a listening socket still does.
exec python3 -c '
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))' "$1" 2>/dev/null
