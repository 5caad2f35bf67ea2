#!/bin/bash
# The HTTP engine against Debian's apertium-apy: the deck comes out as the
# in-process Apertium translates it, eight runs at once alike.
. "$(dirname "$0")/lib/common.sh"
e2e_start corpus
command -v apertium-apy >/dev/null || { fail "apertium-apy is not installed (tools/deps.sh)"; exit 1; }
unset PELORANT_FAKE_ENGINE
deck="$corpus/docling__powerpoint_sample.pptx"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
apertium-apy -p "$port" /usr/share/apertium/modes >"$dir/apy.log" 2>&1 &
pids=($!)
timeout 30 bash -c "until echo >/dev/tcp/127.0.0.1/$port; do sleep 0.1; done" 2>/dev/null
expect 0 engines add-server apy "http://127.0.0.1:$port" || exit 1

# texts MODE OUT: `show` of the deck translated through MODE.
texts() {
  "$prog" translate "$deck" -o "$2" --mode "$1" >/dev/null 2>"$2.err" || fail "the run through $1 failed: $(cat "$2.err")"
  "$prog" show "$2" | tail -n +2
}
texts Apertium:eng-spa "$dir/local.pptx" >"$dir/local.txt"
texts Http:apy:eng-spa "$dir/http.pptx" >"$dir/http.txt"
diff "$dir/local.txt" "$dir/http.txt" >"$dir/diff" || fail "apertium-apy translated otherwise: $(head -20 "$dir/diff")"
grep -q 'Mesa de la prueba' "$dir/http.txt" || fail "nothing was translated: $(head -5 "$dir/http.txt")"

# Eight users at once.
start=$SECONDS
# A run that failed shows no deck, so its failure is seen here too.
load=()
for i in 1 2 3 4 5 6 7 8; do texts Http:apy:eng-spa "$dir/load$i.pptx" >"$dir/load$i.txt" & load+=($!); done
wait "${load[@]}"
for i in 1 2 3 4 5 6 7 8; do cmp -s "$dir/http.txt" "$dir/load$i.txt" || fail "run $i of 8 gave another deck"; done
echo "http_apy: 8 runs at once took $((SECONDS - start)) s"

e2e_end http_apy
