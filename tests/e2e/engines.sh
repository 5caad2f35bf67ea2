#!/bin/bash
# `pelorant engines` over a scripted fake engine side: the cache file, the
# refresh triggers, check marks that survive rebuilds, a damaged cache file.
set -u
PELORANT="${1:?usage: engines.sh PATH-TO-PELORANT}"
. "$(dirname "$0")/lib/common.sh"
e2e_start
tmp=$dir
mkdir -p "$PELORANT_REGISTRY" "$XDG_CONFIG_HOME"
cache="$XDG_CONFIG_HOME/Talvoren/Addins/Office/Engines.tsv"

T=$'\t'
cat > "$tmp/side1.txt" <<EOF
implementation${T}FakeMT
pair${T}en-es${T}en${T}es${T}0x9${T}English - Spanish${T}Fake MT${T}Fake
pair${T}es-en${T}es${T}en${T}1${T}Spanish - English${T}Fake MT${T}Fake
EOF
# The same implementation after an engine update: one more pair.
cp "$tmp/side1.txt" "$tmp/side2.txt"
echo "pair${T}de-en${T}de${T}en${T}1${T}German - English${T}Fake MT${T}Fake" >> "$tmp/side2.txt"

set_machine_trigger() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\OfficeAddIn]\r\n"RefreshTrigger"="%s"\r\n' "$1" \
    > "$PELORANT_REGISTRY/HKLM.reg"
}
run() {  # run SIDE ARGS...: output in $tmp/out, errors in $tmp/err, status in $rc
  local side="$1"; shift
  PELORANT_FAKE_ENGINE="$tmp/$side" "$PELORANT" engines "$@" > "$tmp/out" 2> "$tmp/err"
  rc=$?
}

set_machine_trigger "install-1"

# First start: the engines are asked and the file is written.
run side1.txt list
[ $rc -eq 0 ] || fail "first list exited $rc: $(cat "$tmp/err")"
grep -q '^FakeMT:en-es .*English - Spanish.*Fake MT.*0x0009.*yes' "$tmp/out" || fail "en-es missing: $(cat "$tmp/out")"
grep -q '^FakeMT:es-en ' "$tmp/out" || fail "es-en missing"
[ -f "$cache" ] || fail "no Engines.tsv written"
[ "$(head -c 2 "$cache" | od -An -tx1 | tr -d ' ')" = "fffe" ] || fail "Engines.tsv has no UTF-16LE byte-order mark"
header=$(tail -c +3 "$cache" | iconv -f UTF-16LE -t UTF-8 | head -n 1)
[ "$header" = "Checked${T}EngineGroup${T}EngineID${T}FromLang${T}ToLang${T}Flags${T}DisplayName${T}ProductName${T}ProductNameShort"$'\r' ] \
  || fail "header line: $header"
grep -q '"RefreshTrigger"="install-1"' "$PELORANT_REGISTRY/HKCU.reg" || fail "user trigger not advanced"

# Triggers equal: the engine side is not asked, so the new pair stays unseen.
run side2.txt list
[ $rc -eq 0 ] || fail "second list exited $rc"
grep -q '^FakeMT:de-en ' "$tmp/out" && fail "second list asked the engines although the triggers were equal"
grep -q '^FakeMT:en-es ' "$tmp/out" || fail "second list lost en-es"
# A key the list does not know makes one rebuild, which finds the new pair.
run side2.txt check FakeMT:de-en
[ $rc -eq 0 ] || fail "a pair installed after the list was built was not found: $(cat "$tmp/err")"

# Uncheck, then an installer changes the trigger: the rebuild finds the new
# pair and keeps the mark.
run side2.txt uncheck FakeMT:en-es
[ $rc -eq 0 ] || fail "uncheck exited $rc: $(cat "$tmp/err")"
set_machine_trigger "install-2"
run side2.txt list
grep -q '^FakeMT:de-en .*yes$' "$tmp/out" || fail "changed trigger did not rebuild: $(cat "$tmp/out")"
grep -q '^FakeMT:en-es .*no$' "$tmp/out" || fail "check mark lost in the rebuild"
run side2.txt check FakeMT:en-es
run side2.txt list
grep -q '^FakeMT:en-es .*yes$' "$tmp/out" || fail "check did not stick"
# Keys are typed by people: the case of the letters does not matter.
run side2.txt uncheck fakemt:EN-ES
[ $rc -eq 0 ] || fail "uncheck in other letter case exited $rc: $(cat "$tmp/err")"
run side2.txt list
grep -q '^FakeMT:en-es .*no$' "$tmp/out" || fail "uncheck in other letter case did not stick"
run side2.txt check FakeMT:en-es

# Unknown key and bad usage.
run side2.txt check FakeMT:xx-yy
[ $rc -eq 1 ] || fail "unknown key exited $rc"
grep -q "no engine pair has the key 'FakeMT:xx-yy'" "$tmp/err" || fail "unknown key message: $(cat "$tmp/err")"
run side2.txt frobnicate
[ $rc -eq 2 ] || fail "unknown sub-command exited $rc"
run side2.txt check
[ $rc -eq 2 ] || fail "check without key exited $rc"

# A damaged cache file is reported, kept aside, and the list rebuilt.
printf 'garbage' > "$cache"
run side2.txt list
[ $rc -eq 0 ] || fail "list over a damaged cache exited $rc"
grep -q 'could not be read' "$tmp/err" || fail "damaged cache not reported: $(cat "$tmp/err")"
[ "$(cat "$cache.damaged" 2>/dev/null)" = "garbage" ] || fail "damaged cache not kept aside"
grep -q '^FakeMT:de-en ' "$tmp/out" || fail "no rebuild after a damaged cache"
[ "$(head -c 2 "$cache" | od -An -tx1 | tr -d ' ')" = "fffe" ] || fail "cache not rewritten"

# An engine side that cannot list: the message, and the cached pairs stay.
cat > "$tmp/broken.txt" <<EOF
implementation${T}FakeMT
callfail${T}listing${T}0x80004005
EOF
run broken.txt refresh
[ $rc -eq 0 ] || fail "refresh over a failing engine exited $rc"
[ -s "$tmp/err" ] || fail "failing engine side not reported"
grep -q '^FakeMT:en-es ' "$tmp/out" || fail "a failing listing dropped the cached pairs"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "engines: all passed"
