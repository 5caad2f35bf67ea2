#!/bin/bash
# `pelorant engines` over a scripted fake engine side: the refresh triggers,
# check marks that survive rebuilds, a damaged cache file, a side that cannot
# list (the cache file's layout is the engine suite's).
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start
mkdir -p "$PELORANT_REGISTRY" "$XDG_CONFIG_HOME"
cache="$XDG_CONFIG_HOME/Talvoren/Addins/Office/Engines.tsv"

# side1.txt, and side2.txt: the same implementation after an engine update,
# with one more pair; broken.txt cannot list.
pair() { printf 'pair\t%s\t%s\t%s\t%s\t%s\tFake MT\tFake\n' "$@"; }
{ printf 'implementation\tFakeMT\n'; pair en-es en es 0x9 "English - Spanish"; pair es-en es en 1 "Spanish - English"; } >"$dir/side1.txt"
{ cat "$dir/side1.txt"; pair de-en de en 1 "German - English"; } >"$dir/side2.txt"
printf 'implementation\tFakeMT\ncallfail\tlisting\t0x80004005\n' >"$dir/broken.txt"
trigger() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\OfficeAddIn]\r\n"RefreshTrigger"="%s"\r\n' "$1" \
    >"$PELORANT_REGISTRY/HKLM.reg"
}
run() { PELORANT_FAKE_ENGINE="$dir/$2" expect "$1" engines "${@:3}"; }  # run CODE SIDE ARGS...
listed() { grep -q "$1" <<<"$out" || fail "not listed: $1: $out"; }

# First start: the engines are asked and the file is written.
trigger install-1
run 0 side1.txt list
listed '^FakeMT:en-es .*English - Spanish.*Fake MT.*0x0009.*yes'
listed '^FakeMT:es-en '
[ -f "$cache" ] || fail "no Engines.tsv written"
grep -q '"RefreshTrigger"="install-1"' "$PELORANT_REGISTRY/HKCU.reg" || fail "user trigger not advanced"

# Triggers equal: the engine side is not asked, so the new pair stays unseen.
run 0 side2.txt list
! grep -q '^FakeMT:de-en ' <<<"$out" || fail "second list asked the engines although the triggers were equal"
listed '^FakeMT:en-es '
# A key the list does not know makes one rebuild, which finds the new pair.
run 0 side2.txt check FakeMT:de-en

# Uncheck, then an installer changes the trigger: the rebuild finds the new
# pair and keeps the mark; keys are typed by people: letter case does not matter.
run 0 side2.txt uncheck FakeMT:en-es
trigger install-2
run 0 side2.txt list
listed '^FakeMT:de-en .*yes$'
listed '^FakeMT:en-es .*no$'
run 0 side2.txt check fakemt:EN-ES
run 0 side2.txt list
listed '^FakeMT:en-es .*yes$'

# Unknown key and bad usage.
PELORANT_FAKE_ENGINE="$dir/side2.txt" says 1 "no engine pair has the key 'FakeMT:xx-yy'" engines check FakeMT:xx-yy
run 2 side2.txt frobnicate
run 2 side2.txt check

# A damaged cache file is reported, kept aside, and the list rebuilt.
printf 'garbage' >"$cache"
run 0 side2.txt list
contains "$err" 'could not be read'
[ "$(cat "$cache.damaged" 2>/dev/null)" = "garbage" ] || fail "damaged cache not kept aside"
listed '^FakeMT:de-en '
[ "$(head -c 2 "$cache" | od -An -tx1 | tr -d ' ')" = "fffe" ] || fail "cache not rewritten"

# An engine side that cannot list: the message, and the cached pairs stay.
run 0 broken.txt refresh
[ -n "$err" ] || fail "failing engine side not reported"
listed '^FakeMT:en-es '

e2e_end engines
