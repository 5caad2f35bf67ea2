#!/bin/bash
# `pelorant text` and `pelorant lookup` over a scripted engine: line breaks
# kept, unknown modes refused, failures reported, Ctrl-C cancels.
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start

# script LINES...: the engine side, a directive a line.
script() {
  printf '%s\n' "implementation	FakeMT" "pair	en-es	en	es	9	English - Spanish	Fake MT	Fake" \
    "dictionary	house	house: casa (n f)" "$@" >"$PELORANT_FAKE_ENGINE"
}

# CODE|STDIN|OUTPUT|ARGUMENTS (\n a line break): a key's case does not
# matter; a pair installed after the list was built is found at once.
script "pair	de-en	de	en	1	German - English	Fake MT	Fake"
while IFS='|' read -r code in want args; do
  printf -v input '%b' "$in"
  expect "$code" $args
  [ "$out" = "$(printf '%b' "$want")" ] || fail "$args: [$out]"
done <<'CASES'
0|The dog is big. It runs fast.|THE DOG IS BIG. IT RUNS FAST.|text --mode FakeMT:en-es
0||ONE TWO|text --mode fakemt:EN-ES one two
0|First line.\nSecond line.\n\nLast.\n|FIRST LINE.\nSECOND LINE.\n\nLAST.|text --mode FakeMT:en-es
0||EINS|text --mode FakeMT:de-en eins
0||house: casa (n f)|lookup --mode FakeMT:en-es house
CASES
input=x says 2 "unknown translation mode 'FakeMT:xx-yy'" text --mode FakeMT:xx-yy
contains "$err" "FakeMT:en-es"
[ -z "$out" ] || fail "nothing printed for an unknown mode: [$out]"
input= expect 1 lookup --mode FakeMT:en-es zzzz
[ -n "$err" ] || fail "a word not found says so"

# A failing translation keeps the source and says so.
script "request	translate	3	30006	0"
input="Broken sentence." says 1 "could not be translated" text --mode FakeMT:en-es
[ "$out" = "Broken sentence." ] || fail "failed translation keeps the source: [$out]"

# An engine that cannot be opened prints the engine's and the add-in's messages.
script "request	open	3	30004	0"
input="Hello." expect 1 text --mode FakeMT:en-es
[ -z "$out" ] || fail "nothing printed when the engine cannot be opened: [$out]"
[ "$(printf '%s\n' "$err" | grep -c '^pelorant text: ')" -ge 2 ] || fail "two messages expected: $err"

# Ctrl-C on a hanging engine asks; the preset answer yes cancels the run.
script "request	translate	hang	0	0"
input='Never answered.' cancels text --mode FakeMT:en-es

e2e_end text_cli
