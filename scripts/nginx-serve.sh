#!/usr/bin/env bash
# Serves a folder with nginx on 127.0.0.1, in the foreground, for the
# download benchmarks and the browser host: static files only, sendfile, no
# access log. Stop it by ending the process; the caller waits for it to
# answer. With a certificate and its key it serves HTTPS instead (the HTTPS
# tests).
#
# Usage: scripts/nginx-serve.sh [--log FILE] [--proxy PREFIX URL] ROOT PORT STATE_DIR [CERT KEY]
#   --log FILE          every request's path and status, one a line, in FILE
#   --proxy PREFIX URL  requests under PREFIX (/content/) go to URL
#                       (http://127.0.0.1:8000/content/) unbuffered, so the
#                       server behind it streams, stalls and misbehaves as
#                       it likes
#   STATE_DIR  a folder for nginx's configuration, logs and temporary files
#   CERT KEY   PEM files of the server certificate and its key
set -euo pipefail
access_log="access_log off;"
proxy=""
while [ $# -gt 0 ]; do
  case "$1" in
    --log)
      access_log="log_format paths '\$request_method \$uri \$status'; access_log $2 paths;"
      shift 2 ;;
    --proxy)
      proxy="location $2 { proxy_pass $3; proxy_buffering off; proxy_request_buffering off; proxy_http_version 1.1; proxy_redirect off; proxy_read_timeout 300s; }"
      shift 3 ;;
    *) break ;;
  esac
done
if [ $# -ne 3 ] && [ $# -ne 5 ]; then
  echo "usage: $0 [--log FILE] [--proxy PREFIX URL] ROOT PORT STATE_DIR [CERT KEY]" >&2
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
  $access_log
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  default_type application/octet-stream;
  # The browser host's page: WebAssembly is compiled while it streams in
  # only when it comes as application/wasm.
  types { text/html html; application/javascript js; application/wasm wasm; image/png png; }
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
    $proxy
  }
}
CONF
exec nginx -p "$state" -c "$state/nginx.conf" -e "$state/logs/error.log"
