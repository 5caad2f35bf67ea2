#!/bin/bash
# `pelorant engines`, `text` and `lookup` over a scripted engine side: listing,
# check marks, a damaged cache file, a side that cannot list (when to rebuild
# and what a rebuild keeps are the engine suite's); line breaks kept, unknown
# modes refused, failures reported, Ctrl-C cancels.
. "$(dirname "$0")/lib/common.sh"
e2e_start
cache="$XDG_CONFIG_HOME/Talvoren/Addins/Office/Engines.tsv"

# side2.txt: side1.txt updated, one pair more; broken.txt cannot list.
pair() { printf 'pair\t%s\t%s\t%s\t%s\t%s\tFake MT\tFake\n' "$@"; }
{ printf 'implementation\tFakeMT\n'; pair en-es en es 0x9 "English - Spanish"; pair es-en es en 1 "Spanish - English"; } >"$dir/side1.txt"
{ cat "$dir/side1.txt"; pair de-en de en 1 "German - English"; } >"$dir/side2.txt"
printf 'implementation\tFakeMT\ncallfail\tlisting\t0x80004005\n' >"$dir/broken.txt"
run() { PELORANT_FAKE_ENGINE="$dir/$2" expect "$1" engines "${@:3}"; }  # run CODE SIDE ARGS...
listed() { grep -q "$1" <<<"$out" || fail "not listed: $1: $out"; }

# First start: the engines are asked and the file is written.
run 0 side1.txt list
listed '^FakeMT:en-es .*English - Spanish.*Fake MT.*0x0009.*yes'
listed '^FakeMT:es-en '
[ -f "$cache" ] || fail "no Engines.tsv written"

# A key the list does not know makes a rebuild that finds it; one no side has is refused.
run 0 side2.txt check FakeMT:de-en
PELORANT_FAKE_ENGINE="$dir/side2.txt" says 1 "no engine pair has the key 'FakeMT:xx-yy'" engines check FakeMT:xx-yy

# Unchecked and checked again, a key's letter case not mattering.
for turn in 'uncheck FakeMT:en-es|no' 'check fakemt:EN-ES|yes'; do
  run 0 side2.txt ${turn%|*}
  run 0 side2.txt list
  listed "^FakeMT:en-es .*${turn#*|}\$"
done

# A damaged cache file is reported and the list rebuilt.
printf 'garbage' >"$cache"
run 0 side2.txt list
contains "$err" 'could not be read'
listed '^FakeMT:de-en '

# An engine side that cannot list: the message, and the cached pairs stay.
run 0 broken.txt refresh
[ -n "$err" ] || fail "failing engine side not reported"
listed '^FakeMT:en-es '

# script LINES...: side1.txt with a dictionary, and LINES, for text and lookup.
script() {
  { cat "$dir/side1.txt"; printf '%s\n' "dictionary	house	house: casa (n f)" "$@"; } >"$PELORANT_FAKE_ENGINE"
}

# CODE|STDIN|OUTPUT|ARGUMENTS (\n a line break): a key's case does not
# matter; a pair installed after the list was built is found at once.
script "pair	fr-en	fr	en	1	French - English	Fake MT	Fake"
while IFS='|' read -r code in want args; do
  printf -v input '%b' "$in"
  expect "$code" $args
  [ "$out" = "$(printf '%b' "$want")" ] || fail "$args: [$out]"
done <<'CASES'
0|The dog is big. It runs fast.|THE DOG IS BIG. IT RUNS FAST.|text --mode FakeMT:en-es
0||ONE TWO|text --mode fakemt:EN-ES one two
0|First line.\nSecond line.\n\nLast.\n|FIRST LINE.\nSECOND LINE.\n\nLAST.|text --mode FakeMT:en-es
0||UN|text --mode FakeMT:fr-en un
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

e2e_end engines
