#!/bin/bash
# `pelorant engines` over a scripted engine side: listing, check marks, a
# damaged cache file, a side that cannot list (when to rebuild and what a
# rebuild keeps are the engine suite's).
set -u
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

# A key the list does not know makes a rebuild that finds it.
run 0 side2.txt check FakeMT:de-en

# Unchecked and checked again, a key's letter case not mattering.
run 0 side2.txt uncheck FakeMT:en-es
run 0 side2.txt list
listed '^FakeMT:en-es .*no$'
run 0 side2.txt check fakemt:EN-ES
run 0 side2.txt list
listed '^FakeMT:en-es .*yes$'

# An unknown key.
PELORANT_FAKE_ENGINE="$dir/side2.txt" says 1 "no engine pair has the key 'FakeMT:xx-yy'" engines check FakeMT:xx-yy

# A damaged cache file is reported and the list rebuilt.
printf 'garbage' >"$cache"
run 0 side2.txt list
contains "$err" 'could not be read'
listed '^FakeMT:de-en '

# An engine side that cannot list: the message, and the cached pairs stay.
run 0 broken.txt refresh
[ -n "$err" ] || fail "failing engine side not reported"
listed '^FakeMT:en-es '

e2e_end engines
