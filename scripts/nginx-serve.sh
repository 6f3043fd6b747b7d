#!/usr/bin/env bash
# Serves a folder with nginx on 127.0.0.1, in the foreground, for the
# download benchmarks: static files only, sendfile, no access log. Stop it
# by ending the process; the caller waits for it to answer. With a
# certificate and its key it serves HTTPS instead (the HTTPS tests).
#
# Usage: scripts/nginx-serve.sh ROOT PORT STATE_DIR [CERT KEY]
#   STATE_DIR  a folder for nginx's configuration, logs and temporary files
#   CERT KEY   PEM files of the server certificate and its key
set -euo pipefail
if [ $# -ne 3 ] && [ $# -ne 5 ]; then
  echo "usage: $0 ROOT PORT STATE_DIR [CERT KEY]" >&2
  exit 2
fi
root="$1"
port="$2"
state="$3"
listen="127.0.0.1:$port"
tls=""
if [ $# -eq 5 ]; then
  listen="$listen ssl"
  tls="ssl_certificate $(realpath "$4"); ssl_certificate_key $(realpath "$5");"
fi
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
    listen $listen;
    $tls
    root $root;
    location / { }
  }
}
CONF
exec nginx -p "$state" -c "$state/nginx.conf" -e "$state/logs/error.log"
