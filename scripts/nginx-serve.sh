#!/usr/bin/env bash
# Serves a folder with nginx on 127.0.0.1, in the foreground, for the
# download benchmarks: static files only, sendfile, no access log. Stop it
# by ending the process; the caller waits for it to answer.
#
# Usage: scripts/nginx-serve.sh ROOT PORT STATE_DIR
#   STATE_DIR  a folder for nginx's configuration, logs and temporary files
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 ROOT PORT STATE_DIR" >&2
  exit 2
fi
root="$1"
port="$2"
state="$3"
mkdir -p "$state/logs" "$state/temp"
cat >"$state/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $state/nginx.pid;
error_log $state/logs/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  default_type application/octet-stream;
  client_body_temp_path $state/temp/body;
  proxy_temp_path $state/temp/proxy;
  fastcgi_temp_path $state/temp/fastcgi;
  uwsgi_temp_path $state/temp/uwsgi;
  scgi_temp_path $state/temp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $root;
    location / { }
  }
}
CONF
exec nginx -p "$state" -c "$state/nginx.conf" -e "$state/logs/error.log"
