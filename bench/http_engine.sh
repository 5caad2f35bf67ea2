#!/bin/bash
# The HTTP engine against Debian's apertium-apy on a loopback port, beside
# the in-process Apertium engine and beside curl sending the very requests
# the engine sent (recorded through a proxy in an unmeasured first pass):
# curl is the transport's floor. Decks: the corpus sample and
# poi__customGeo. Only the ratios mean anything.
#   bash bench/http_engine.sh [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/linux}
pelorant=$build/apps/pelorant/pelorant
corpus=$root/../shared/corpus/real
tmp=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; rm -rf "$tmp"' EXIT
export PELORANT_REGISTRY=$tmp/reg XDG_CONFIG_HOME=$tmp/config TMPDIR=$tmp/tmp
mkdir -p "$TMPDIR"

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
wait_for() { for _ in $(seq 300); do curl -sf "$1" > /dev/null && return; sleep 0.1; done; echo "no answer from $1" >&2; exit 1; }

port=$(free_port)
apertium-apy -p "$port" /usr/share/apertium/modes > "$tmp/apy.log" 2>&1 &
pids+=($!)
apy=http://127.0.0.1:$port
wait_for "$apy/listPairs"

python3 "$root/bench/record_proxy.py" "$apy" "$tmp/recorded" > "$tmp/proxy.port" &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/proxy.port" ] && break; sleep 0.1; done
"$pelorant" engines add-server apy "$apy" > /dev/null
"$pelorant" engines add-server rec "http://127.0.0.1:$(cat "$tmp/proxy.port")" > /dev/null

seconds() {  # seconds COMMAND...: wall seconds of the command
  local t0 t1
  t0=$(date +%s.%N)
  "$@" > /dev/null 2>&1
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc
}

printf '%-34s %9s %9s %9s   %s\n' deck in-process http curl "http/in-process  http/curl"
for deck in docling__powerpoint_sample poi__customGeo; do
  : > "$tmp/recorded"
  "$pelorant" translate "$corpus/$deck.pptx" -o "$tmp/rec.pptx" --mode Http:rec:eng-spa > /dev/null 2>&1
  # One curl, one kept-alive connection, the recorded requests in order.
  python3 - "$tmp/recorded" "$apy/translate" > "$tmp/curl.cfg" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    body = json.loads(line)
    print('next\nurl = "%s"\ndata = %s\nheader = "Content-Type: application/x-www-form-urlencoded"\noutput = "/dev/null"' % (sys.argv[2], json.dumps(body)))
PY
  sed -i '1d' "$tmp/curl.cfg"
  # Warm the server's pipeline and the page cache alike for all three.
  "$pelorant" translate "$corpus/$deck.pptx" -o "$tmp/warm.pptx" --mode Http:apy:eng-spa > /dev/null 2>&1
  local_s=$(seconds "$pelorant" translate "$corpus/$deck.pptx" -o "$tmp/a.pptx" --mode Apertium:eng-spa)
  http_s=$(seconds "$pelorant" translate "$corpus/$deck.pptx" -o "$tmp/b.pptx" --mode Http:apy:eng-spa)
  curl_s=$(seconds curl -s --config "$tmp/curl.cfg")
  printf '%-34s %8.2fs %8.2fs %8.2fs   %6.2f          %6.2f   (%d requests)\n' "$deck" "$local_s" "$http_s" "$curl_s" \
    "$(echo "$http_s / $local_s" | bc -l)" "$(echo "$http_s / $curl_s" | bc -l)" "$(wc -l < "$tmp/recorded")"
done
