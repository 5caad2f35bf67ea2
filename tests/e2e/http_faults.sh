#!/bin/bash
# The HTTP engine against a loopback server that misbehaves on purpose
# (tests/http/fault_server.py): a fault is named and nothing written; servers
# refused, pairs kept when a server goes, LibreTranslate batches and its key.
. "$(dirname "$0")/lib/common.sh"
e2e_start corpus
unset PELORANT_FAKE_ENGINE
deck="$corpus/docling__powerpoint_sample.pptx"

# start_server MODE [ARGS...]: a fresh server at $port, logging to $dir/requests.
start_server() {
  kill "${pids[@]}" 2>/dev/null
  exec 3< <(exec python3 "$here/../http/fault_server.py" "$@" 2>"$dir/requests")
  pids=($!)
  read -r -t 60 port <&3 || { fail "the fault server did not start ($*)"; exit 1; }
}
listed() { expect 0 engines list; grep -q "$1" <<<"$out"; }

# A fault of each kind ends the run at the first; only the endless answer
# meets the short time-out.
while IFS='|' read -r mode api pair ms said; do
  start_server "$mode" --api "$api"
  expect 0 engines add-server bad "http://127.0.0.1:$port" --api "$api" --timeout-ms "$ms"
  says 1 "the translation server \"bad\" (http://127.0.0.1:$port) $said" translate "$deck" -o "$dir/out.pptx" --mode "Http:bad:$pair"
  contains "$err" "nothing was written"
  [ ! -e "$dir/out.pptx" ] || fail "$mode: a result was written"
  sent=$(grep -c '^REQ /translate' "$dir/requests")
  [ "$sent" -eq 1 ] || fail "$mode: $sent translate requests reached the server after its first fault"
  expect 0 engines remove-server bad
done <<'EOF_FAULTS'
error500|apy|eng-spa|60000|answered with HTTP status 500
drip|apy|eng-spa|2000|did not answer in time
count|libretranslate|en-es|60000|gave an unreadable answer: the answer holds
EOF_FAULTS

# Servers that do not answer as they should are not added.
kill "${pids[@]}"
says 1 "\"gone\" (http://127.0.0.1:$port) could not be reached" engines add-server gone "http://127.0.0.1:$port"
expect 2 engines add-server x "ftp://127.0.0.1:$port"
listed Http: && fail "a refused server is listed: $out"

# A server that goes keeps its pairs, unreachable; a removed one is gone.
start_server ok
says 0 "added with 1 pairs" engines add-server team "http://127.0.0.1:$port"
listed '^Http:team:eng-spa .*team  *0x0009' || fail "the added pair is not listed: $out"
kill "${pids[@]}"
expect 0 engines refresh
grep -q '^Http:team:eng-spa .*team (unreachable)  *0x0000' <<<"$out" || fail "the pair was not kept as unreachable: $out"
says 2 "the translation mode Http:team:eng-spa cannot translate now: its engine did not answer" \
  translate "$deck" -o "$dir/out.pptx" --mode Http:team:eng-spa
[ ! -e "$dir/out.pptx" ] || fail "an unreachable server's pair translated"
expect 0 engines remove-server team
listed Http:team && fail "a removed server is listed: $out"

# LibreTranslate: texts go in arrays, the key with them and nowhere else;
# lookup says it has no dictionary.
start_server ok --api libretranslate
printf 'sekrit-key-42\n' >"$dir/key.txt"
expect 0 engines add-server lt "http://127.0.0.1:$port" --api libretranslate --key-file "$dir/key.txt"
expect 0 translate "$deck" -o "$dir/lt.pptx" --mode Http:lt:en-es
largest=$(awk '$2 == "/translate" && $3 > m { m = $3 } END { print m + 0 }' "$dir/requests")
[ "$largest" -gt 1 ] || fail "no request carried more than one text"
grep -q 'KEY sekrit-key-42' "$dir/requests" || fail "the key did not reach the server"
says 0 "TEST TABLE SLIDE" show "$dir/lt.pptx"
grep -rq 'sekrit-key-42' "$XDG_CONFIG_HOME" "$TMPDIR" 2>/dev/null && fail "the key was written outside the registry"
grep -q 'sekrit-key-42' "$PELORANT_REGISTRY/HKCU.reg" || fail "the key was not stored"
says 1 "the engine of Http:lt:en-es has no dictionary to look words up in" lookup --mode Http:lt:en-es house

e2e_end http_faults
