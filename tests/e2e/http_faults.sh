#!/bin/bash
# The HTTP engine against a loopback server that misbehaves on purpose
# (tests/http/fault_server.py): every fault gives a message naming the
# server, the run writes nothing, and no exchange outlives the server's
# time-out. Also: servers that cannot be added, pairs kept when a server
# goes away, batches with the LibreTranslate API, the key kept to itself.
set -u
PELORANT="${1:?usage: http_faults.sh PATH-TO-PELORANT}"
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib/common.sh"
e2e_corpus
tmp=$(mktemp -d)
server_pid=
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$tmp"' EXIT
e2e_user "$tmp"
unset PELORANT_FAKE_ENGINE
fault_server="$here/../http/fault_server.py"
deck="$corpus/docling__powerpoint_sample.pptx"

# start_server MODE [ARGS...]: a fresh server; its port in $port, its
# request log in $tmp/requests.
start_server() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  rm -f "$tmp/port"
  python3 "$fault_server" "$@" > "$tmp/port" 2> "$tmp/requests" &
  server_pid=$!
  for _ in $(seq 100); do [ -s "$tmp/port" ] && break; sleep 0.1; done
  port=$(head -1 "$tmp/port")
  [ -n "$port" ] || { fail "the fault server did not start ($*)"; exit 1; }
}
run() {  # run ARGS...: stdout in $out, stderr in $err, status in $rc, seconds in $took
  local start=$SECONDS
  "$PELORANT" "$@" > "$tmp/out" 2> "$tmp/err"
  rc=$?
  took=$((SECONDS - start))
  out=$(cat "$tmp/out") err=$(cat "$tmp/err")
}

# Each fault of a running server: the fault, what the user reads. The
# time-out is 2 s; a run of the deck may take one of them, never one per
# sentence.
while IFS='|' read -r mode api said; do
  start_server "$mode" --api "$api"
  run engines add-server bad "http://127.0.0.1:$port" --api "$api" --timeout-ms 2000
  [ $rc -eq 0 ] || { fail "$mode: add-server exited $rc: $err"; continue; }
  pair=eng-spa
  [ "$api" = libretranslate ] && pair=en-es
  run translate "$deck" -o "$tmp/out.pptx" --mode "Http:bad:$pair"
  [ $rc -eq 1 ] || fail "$mode: translate exited $rc"
  contains "$err" "the translation server \"bad\" (http://127.0.0.1:$port) $said"
  contains "$err" "nothing was written"
  [ ! -e "$tmp/out.pptx" ] || fail "$mode: a result was written"
  [ "$took" -le 8 ] || fail "$mode: the run took ${took}s with a 2 s time-out"
  sent=$(grep -c '^REQ /translate' "$tmp/requests")
  [ "$sent" -eq 1 ] || fail "$mode: $sent translate requests reached the server after its first fault"
done <<'EOF_FAULTS'
error500|apy|answered with HTTP status 500
badjson|apy|gave an unreadable answer: the answer is not JSON
wronglen|apy|broke off the exchange
huge|libretranslate|gave an answer too long to take
drip|apy|did not answer in time
stall|libretranslate|did not answer in time
count|libretranslate|gave an unreadable answer: the answer holds
EOF_FAULTS
run engines remove-server bad

# Servers that do not answer as they should are not added.
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/key.pem" -out "$tmp/cert.pem" -days 1 \
  -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 2>/dev/null
start_server ok --tls "$tmp/cert.pem" "$tmp/key.pem"
run engines add-server tls "https://127.0.0.1:$port"
[ $rc -eq 1 ] || fail "a server with an unknown certificate was added"
contains "$err" "\"tls\" (https://127.0.0.1:$port) failed the secure connection check"
kill "$server_pid"; server_pid=
run engines add-server gone "http://127.0.0.1:$port"
[ $rc -eq 1 ] || fail "a server that refuses connections was added"
contains "$err" "\"gone\" (http://127.0.0.1:$port) could not be reached"
run engines add-server x "ftp://127.0.0.1:$port"
[ $rc -eq 2 ] || fail "an ftp URL was taken"
run engines list
case "$out" in *Http:*) fail "a refused server is listed: $out" ;; esac

# A server that goes away keeps its pairs, listed as unreachable, not
# working; one that answers again is back.
start_server ok
run engines add-server team "http://127.0.0.1:$port"
contains "$out" "added with 1 pairs"
# Words are looked up through the server's analyser.
run lookup --mode Http:team:eng-spa houses
[ $rc -eq 0 ] || fail "lookup through the server exited $rc: $err"
contains "$out" "houses (n, sg): HOUSES"
run engines list
echo "$out" | grep -q '^Http:team:eng-spa .*team  *0x0009' || fail "the added pair is not listed: $out"
kill "$server_pid"; server_pid=
run engines refresh
echo "$out" | grep -q '^Http:team:eng-spa .*team (unreachable)  *0x0000' || fail "the pair was not kept as unreachable: $out"
run translate "$deck" -o "$tmp/out.pptx" --mode Http:team:eng-spa
[ $rc -ne 0 ] && [ ! -e "$tmp/out.pptx" ] || fail "an unreachable server's pair translated ($rc)"
contains "$err" "the translation mode Http:team:eng-spa cannot translate now: its engine did not answer"
run engines remove-server team
run engines list
case "$out" in *Http:team*) fail "a removed server is listed: $out" ;; esac

# LibreTranslate: the texts announced ahead go as arrays, the key with them
# and nowhere else.
start_server ok --api libretranslate
printf 'sekrit-key-42\n' > "$tmp/key.txt"
run engines add-server lt "http://127.0.0.1:$port" --api libretranslate --key-file "$tmp/key.txt"
[ $rc -eq 0 ] || fail "add-server with a key exited $rc: $err"
run translate "$deck" -o "$tmp/lt.pptx" --mode Http:lt:en-es
[ $rc -eq 0 ] || fail "the LibreTranslate run exited $rc: $err"
largest=$(awk '$2 == "/translate" && $3 > m { m = $3 } END { print m + 0 }' "$tmp/requests")
[ "$largest" -gt 1 ] || fail "no request carried more than one text"
grep -q 'KEY sekrit-key-42' "$tmp/requests" || fail "the key did not reach the server"
run show "$tmp/lt.pptx"
contains "$out" "TEST TABLE SLIDE"
if grep -rq 'sekrit-key-42' "$XDG_CONFIG_HOME" "$TMPDIR" 2>/dev/null; then fail "the key was written outside the registry"; fi
grep -q 'sekrit-key-42' "$PELORANT_REGISTRY/HKCU.reg" || fail "the key was not stored"
# The LibreTranslate API has no dictionary, and lookup says so.
run lookup --mode Http:lt:en-es house
[ $rc -eq 1 ] || fail "lookup without a dictionary exited $rc"
contains "$err" "the engine of Http:lt:en-es has no dictionary to look words up in"

[ $failures -eq 0 ] && echo "http_faults: all checks passed"
exit $((failures > 0))
