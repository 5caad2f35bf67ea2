#!/bin/bash
# The HTTP engine against Debian's apertium-apy on a loopback port: the
# sample deck comes out as the in-process Apertium engine translates it, and
# eight runs at once against the one server all give that same deck.
set -u
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib/common.sh"
e2e_corpus
command -v apertium-apy > /dev/null || { fail "apertium-apy is not installed (tools/deps.sh)"; exit 1; }
tmp=$(mktemp -d)
apy_pid=
trap '[ -n "$apy_pid" ] && kill "$apy_pid" 2>/dev/null; rm -rf "$tmp"' EXIT
e2e_user "$tmp"
unset PELORANT_FAKE_ENGINE
deck="$corpus/docling__powerpoint_sample.pptx"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
apertium-apy -p "$port" /usr/share/apertium/modes > "$tmp/apy.log" 2>&1 &
apy_pid=$!
for _ in $(seq 300); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/listPairs', timeout=1)" 2> /dev/null && break
  sleep 0.1
done
"$prog" engines add-server apy "http://127.0.0.1:$port" > "$tmp/out" 2>&1 || { fail "add-server: $(cat "$tmp/out")"; exit 1; }

# What each shape, cell and notes page says, without the file's name.
texts() { "$prog" show "$1" | tail -n +2; }

"$prog" translate "$deck" -o "$tmp/local.pptx" --mode Apertium:eng-spa > /dev/null 2> "$tmp/err" ||
  fail "the in-process run failed: $(cat "$tmp/err")"
"$prog" translate "$deck" -o "$tmp/http.pptx" --mode Http:apy:eng-spa > /dev/null 2> "$tmp/err" ||
  fail "the run through apertium-apy failed: $(cat "$tmp/err")"
texts "$tmp/local.pptx" > "$tmp/local.txt"
texts "$tmp/http.pptx" > "$tmp/http.txt"
diff "$tmp/local.txt" "$tmp/http.txt" > "$tmp/diff" || fail "apertium-apy translated otherwise: $(head -20 "$tmp/diff")"
grep -q 'Mesa de la prueba' "$tmp/http.txt" || fail "nothing was translated: $(head -5 "$tmp/http.txt")"

# Eight users at once.
start=$SECONDS
pids=()
for i in 1 2 3 4 5 6 7 8; do
  "$prog" translate "$deck" -o "$tmp/load$i.pptx" --mode Http:apy:eng-spa > /dev/null 2> "$tmp/load$i.err" &
  pids+=($!)
done
for i in 1 2 3 4 5 6 7 8; do
  wait "${pids[$((i - 1))]}" || fail "run $i of 8 failed: $(cat "$tmp/load$i.err")"
  texts "$tmp/load$i.pptx" | diff -q "$tmp/http.txt" - > /dev/null || fail "run $i of 8 gave another deck"
done
echo "http_apy: 8 runs at once took $((SECONDS - start)) s"

e2e_end http_apy
