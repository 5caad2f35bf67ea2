#!/bin/bash
# `pelorant text` and `pelorant lookup` over a scripted fake engine (and
# over Apertium when eng-spa is installed): sentences translated with line
# breaks kept, unknown modes refused, engine failures reported with the
# source kept, Ctrl-C answered yes cancels a hanging engine.
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start

# script LINES... : writes the fake engine side, one TAB-separated directive a line.
script() {
  printf '%s\n' "implementation	FakeMT" "pair	en-es	en	es	9	English - Spanish	Fake MT	Fake" \
    "dictionary	house	house: casa (n f)" "$@" >"$PELORANT_FAKE_ENGINE"
}
# run CODE INPUT ARGS... : pelorant with INPUT on stdin.
run() { input=$2 expect "$1" "${@:3}"; }

script
run 0 "The dog is big. It runs fast." text --mode FakeMT:en-es
[ "$out" = "THE DOG IS BIG. IT RUNS FAST." ] || fail "text from stdin: [$out]"

run 0 "" text --mode fakemt:EN-ES one two
[ "$out" = "ONE TWO" ] || fail "text from arguments, key case ignored: [$out]"

run 0 $'First line.\nSecond line.\n\nLast.\n' text --mode FakeMT:en-es
[ "$out" = $'FIRST LINE.\nSECOND LINE.\n\nLAST.' ] || fail "line breaks kept: [$out]"

run 2 "x" text --mode FakeMT:xx-yy
contains "$err" "unknown translation mode 'FakeMT:xx-yy'"
contains "$err" "FakeMT:en-es"
[ -z "$out" ] || fail "nothing printed for an unknown mode: [$out]"

# A pair installed after the list was built is found by its key at once.
script "pair	de-en	de	en	1	German - English	Fake MT	Fake"
run 0 "" text --mode FakeMT:de-en eins
[ "$out" = "EINS" ] || fail "a pair installed after the list was built: [$out]"

run 2 "x" text --mode
run 2 "x" text --frobnicate

run 0 "" lookup --mode FakeMT:en-es house
[ "$out" = "house: casa (n f)" ] || fail "lookup: [$out]"
run 1 "" lookup --mode FakeMT:en-es zzzz
[ -n "$err" ] || fail "a word not found says so"
run 2 "" lookup --mode FakeMT:en-es

# A failing translation keeps the source and says so.
script "request	translate	3	30006	0"
run 1 "Broken sentence." text --mode FakeMT:en-es
[ "$out" = "Broken sentence." ] || fail "failed translation keeps the source: [$out]"
contains "$err" "could not be translated"

# An engine that cannot be opened prints the engine's and the add-in's messages.
script "request	open	3	30004	0"
run 1 "Hello." text --mode FakeMT:en-es
[ -z "$out" ] || fail "nothing printed when the engine cannot be opened: [$out]"
[ "$(printf '%s\n' "$err" | grep -c '^pelorant text: ')" -ge 2 ] || fail "two messages expected: $err"

# Ctrl-C on a hanging engine asks; the preset answer yes cancels the run.
script "request	translate	hang	0	0"
export PELORANT_ANSWER=yes
printf 'Never answered.' | "$prog" text --mode FakeMT:en-es >"$dir/out" 2>"$dir/err" &
interrupt $!
unset PELORANT_ANSWER
[ "$rc" -eq 1 ] || fail "a cancelled run exits 1, got $rc: $(cat "$dir/err")"
contains "$(cat "$dir/err")" "cancelled"

# Real translation when Apertium's English-Spanish pair is installed.
if have_eng_spa; then
  rm -f "$PELORANT_FAKE_ENGINE"
  unset PELORANT_FAKE_ENGINE
  rm -rf "$XDG_CONFIG_HOME"
  run 0 "The dog is big. It runs fast." text --mode Apertium:eng-spa
  contains "$out" "perro"
  contains "$out" "rápidamente"
  run 0 "" lookup --mode Apertium:eng-spa house
  contains "$out" "casa"
fi

e2e_end text_cli
