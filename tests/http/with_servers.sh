#!/bin/bash
# Runs the transport suite against loopback servers of its own: one
# fault_server.py per behaviour, their addresses in PELORANT_HTTP_<MODE>
# (PELORANT_HTTP_TLS: a good server behind a certificate no one trusts).
# Every server ends with the suite.
#   with_servers.sh [RUNNER...] TEST-BINARY
set -u
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$tmp"' EXIT

start() {  # start NAME MODE [ARGS...]: in the background, its port in $tmp/NAME.port
  local name=$1
  shift
  python3 "$here/fault_server.py" "$@" > "$tmp/$name.port" 2> "$tmp/$name.log" &
  pids+=($!)
}
address() {  # address NAME SCHEME: waits for the server's port
  local name=$1 scheme=$2 port=
  for _ in $(seq 300); do [ -s "$tmp/$name.port" ] && break; sleep 0.1; done
  port=$(head -1 "$tmp/$name.port")
  [ -n "$port" ] || { echo "the $name server did not start" >&2; exit 1; }
  export "PELORANT_HTTP_$name=$scheme://127.0.0.1:$port"
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/key.pem" -out "$tmp/cert.pem" -days 1 \
  -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 2>/dev/null || exit 1
modes="ok error500 stall huge wronglen"
for mode in $modes; do start "${mode^^}" "$mode"; done
start TLS ok --tls "$tmp/cert.pem" "$tmp/key.pem"
for mode in $modes; do address "${mode^^}" http; done
address TLS https
export GTEST_FILTER='HttpTransport*'
"$@"
