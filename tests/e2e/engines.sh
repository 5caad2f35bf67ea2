#!/bin/bash
# `pelorant engines` over a scripted fake engine side: the refresh triggers,
# check marks that survive rebuilds, a damaged cache file, a side that cannot
# list (the cache file's layout is the engine suite's).
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start
tmp=$dir
mkdir -p "$PELORANT_REGISTRY" "$XDG_CONFIG_HOME"
cache="$XDG_CONFIG_HOME/Talvoren/Addins/Office/Engines.tsv"

T=$'\t'
cat > "$tmp/side1.txt" <<EOF_SIDE
implementation${T}FakeMT
pair${T}en-es${T}en${T}es${T}0x9${T}English - Spanish${T}Fake MT${T}Fake
pair${T}es-en${T}es${T}en${T}1${T}Spanish - English${T}Fake MT${T}Fake
EOF_SIDE
# The same implementation after an engine update: one more pair.
cp "$tmp/side1.txt" "$tmp/side2.txt"
echo "pair${T}de-en${T}de${T}en${T}1${T}German - English${T}Fake MT${T}Fake" >> "$tmp/side2.txt"

set_machine_trigger() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\OfficeAddIn]\r\n"RefreshTrigger"="%s"\r\n' "$1" \
    > "$PELORANT_REGISTRY/HKLM.reg"
}
run() { PELORANT_FAKE_ENGINE="$tmp/$2" expect "$1" engines "${@:3}"; }  # run CODE SIDE ARGS...
listed() { grep -q "$1" <<<"$out"; }

set_machine_trigger "install-1"

# First start: the engines are asked and the file is written.
run 0 side1.txt list
listed '^FakeMT:en-es .*English - Spanish.*Fake MT.*0x0009.*yes' || fail "en-es missing: $out"
listed '^FakeMT:es-en ' || fail "es-en missing"
[ -f "$cache" ] || fail "no Engines.tsv written"
grep -q '"RefreshTrigger"="install-1"' "$PELORANT_REGISTRY/HKCU.reg" || fail "user trigger not advanced"

# Triggers equal: the engine side is not asked, so the new pair stays unseen.
run 0 side2.txt list
listed '^FakeMT:de-en ' && fail "second list asked the engines although the triggers were equal"
listed '^FakeMT:en-es ' || fail "second list lost en-es"
# A key the list does not know makes one rebuild, which finds the new pair.
run 0 side2.txt check FakeMT:de-en

# Uncheck, then an installer changes the trigger: the rebuild finds the new
# pair and keeps the mark; keys are typed by people: letter case does not matter.
run 0 side2.txt uncheck FakeMT:en-es
set_machine_trigger "install-2"
run 0 side2.txt list
listed '^FakeMT:de-en .*yes$' || fail "changed trigger did not rebuild: $out"
listed '^FakeMT:en-es .*no$' || fail "check mark lost in the rebuild"
run 0 side2.txt check fakemt:EN-ES
run 0 side2.txt list
listed '^FakeMT:en-es .*yes$' || fail "check in other letter case did not stick"

# Unknown key and bad usage.
run 1 side2.txt check FakeMT:xx-yy
contains "$err" "no engine pair has the key 'FakeMT:xx-yy'"
run 2 side2.txt frobnicate
run 2 side2.txt check

# A damaged cache file is reported, kept aside, and the list rebuilt.
printf 'garbage' > "$cache"
run 0 side2.txt list
contains "$err" 'could not be read'
[ "$(cat "$cache.damaged" 2>/dev/null)" = "garbage" ] || fail "damaged cache not kept aside"
listed '^FakeMT:de-en ' || fail "no rebuild after a damaged cache"
[ "$(head -c 2 "$cache" | od -An -tx1 | tr -d ' ')" = "fffe" ] || fail "cache not rewritten"

# An engine side that cannot list: the message, and the cached pairs stay.
printf '%s\n' "implementation${T}FakeMT" "callfail${T}listing${T}0x80004005" > "$tmp/broken.txt"
run 0 broken.txt refresh
[ -n "$err" ] || fail "failing engine side not reported"
listed '^FakeMT:en-es ' || fail "a failing listing dropped the cached pairs"

e2e_end engines
