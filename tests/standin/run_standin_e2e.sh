#!/bin/bash
# The add-in end to end under Wine: Pelorant.dll registered with regsvr32,
# the PowerPoint stand-in (served by the Linux document host) loads it from
# its registration, connects it, and clicks it over corpus decks with the
# fake COM engine server, which brackets every text it is sent: the menu and
# toolbar as connection builds them, "translate all" saved and checked on
# Linux (every text, charts' and masters' included, through the engine
# exactly once, every other part unchanged: the Linux corpus test's check),
# a click while the command runs,
# a click after the host's connection went (the add-in finds the host again),
# a connection while the command runs,
# a disconnection while it runs and while its progress dialog is open, and
# the dialog's cancel button. Connection shows no engine-list message while
# the engine server works, and shows both when an engine is genuinely missing.
# Every button gets its face, as a host of version 9 takes it (pasted from
# the clipboard) and as later ones do (picture and mask); the faces are drawn on a sheet beside the dialog
# screenshots (PELORANT_SCREENSHOT_DIR) to be looked at.
set -u
server="$1"
standin="$2"
dll="$3"
engine_dll="$4"
pelorant="$5"
here=$(cd "$(dirname "$0")" && pwd)
source_dir="${PELORANT_SOURCE_DIR:-$here/../..}"
corpus="$source_dir/../shared/corpus/real"
for f in "$server" "$pelorant"; do
  [ -x "$f" ] || { echo "FAIL: $f is missing: build the linux preset first" >&2; exit 1; }
done
[ -d "$corpus" ] || { echo "SKIP: no corpus at $corpus"; exit 0; }
corpus=$(cd "$corpus" && pwd -P)
build=$(cd "$(dirname "$standin")" && while [ ! -f CMakeCache.txt ] && [ "$PWD" != / ]; do cd ..; done; pwd)
# The add-in's progress dialog needs a display: a private Xvfb one (this
# script runs under tools/with-xvfb.sh) and a Wine prefix of its own, whose
# processes all end before that display does, so that no other suite's
# process joins a desktop that is about to vanish.
export WINEPREFIX="$build/wineprefix-standin"
wine() { timeout -k 10 300 "$source_dir/tools/wine-run.sh" "$@"; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
out=$(mktemp -d)
cleanup() {
  wine regsvr32 /u /s "$(winpath "$dll")" >/dev/null 2>&1
  wine regsvr32 /u /s "$(winpath "$engine_dll")" >/dev/null 2>&1
  rm -rf "$out"
  timeout 60 /usr/lib/wine/wineserver -w
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
# A program that stops reading its answers is said to have, and waited for:
# its last words are in the log when the step is judged.
"$server" -- sh -c 'exec 0<&-; echo "G 1 Version"; sleep 0.2; echo "last words" >&2' 2>"$out/stopped"
status=$?
grep -q 'last words' "$out/stopped" && grep -q 'stopped reading' "$out/stopped" && [ "$status" = 3 ] ||
  fail "a program that stopped reading: status $status, log: $(head -c 300 "$out/stopped")"
wine regsvr32 /s "$(winpath "$dll")" || { echo "FAIL: regsvr32 Pelorant.dll" >&2; exit 1; }
wine regsvr32 /s "$(winpath "$engine_dll")" || { echo "FAIL: regsvr32 the fake engine" >&2; exit 1; }
# A fresh engine list, so that the add-in asks the engine server itself
# rather than a list kept from an earlier run.
fresh_engine_list() {
  rm -f "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Talvoren/Addins/Office/Engines.tsv
}
fresh_engine_list
mode=.BUTTON.TRAN-MODE.FakeCom:fake.en.ja
export PELORANT_FAKE_TRANSFORM=bracket
check() {  # check SOURCE TRANSLATION: every text through the engine exactly once
  python3 "$source_dir/tests/e2e/check_bracketed.py" "$1" "$2"
}
run() {  # run LOG STEP...
  local log="$1"
  shift
  timeout -k 10 300 "$server" -- "$source_dir/tools/wine-run.sh" "$standin" "$@" 2>"$log"
  local status=$?
  # On a full disk the log takes no word, not even this one: say so here.
  [ "$status" -eq 0 ] || echo "(exit status $status)" >>"$log" ||
    echo "$(basename "$log") ended with status $status; its log could not be written: $(df -h "$log" | tail -n 1)" >&2
  return "$status"
}
# The engine-list messages (the list could not be obtained; no engine is
# available) in either language of the resources, as the stand-in reports
# the message boxes it closed.
message_text() {  # message_text ID: one pattern for the message's texts
  awk -F '\t' -v id="$1" '$1 == id { printf "%s%s", sep, $3; sep = "|" }' \
    "$source_dir/resources/strings.en.txt" "$source_dir/resources/strings.ja.txt" | sed 's/\./\\./g'
}
list_failed=$(message_text 1252)
no_engine=$(message_text 1253)
[ -n "$list_failed" ] && [ -n "$no_engine" ] || { echo "FAIL: no texts for messages 1252 and 1253" >&2; exit 1; }
shown() {  # shown LOG PATTERN: the stand-in closed a message box with that text
  grep -E "^standin: closed a message box: ($2)" "$1" >/dev/null
}
others() {  # others LOG PATTERN: the message boxes closed whose text is not one of PATTERN
  grep '^standin: closed a message box: ' "$1" | grep -v -E "^standin: closed a message box: ($2)"
}

# The stand-in connects with launch kind 1, passed as the host passes it (an
# array of VARIANTs): disconnection then stores the toolbar's visibility.
settings_key='HKCU\Software\Talvoren\OfficeAddIn\RegV1\PowerPoint'
wine reg delete "$settings_key" /v Menu.ToolbarVisible /f >/dev/null 2>&1

# Connection builds the same menu and toolbar as on Linux (list entries
# depend on the engines, so they are left out of the comparison).
deck=poi__table_test2.pptx
# Midway the stand-in lets go of the connection object and takes a new one,
# as a host may: the connected add-in keeps its module loaded, and its
# buttons still work.
if ! run "$out/run1" open "$(winpath "$corpus/$deck")" menu click "$mode" release click .BUTTON.TRAN-ALL \
  save "$(winpath "$out/$deck")" disconnect; then
  fail "the stand-in run over $deck failed: $(grep -v '^[0-9]' "$out/run1" | head -c 600)"
fi
grep -P '^\d+\t' "$out/run1" | cut -f 2 | grep -v -e '^toolbar$' -e 'TRAN-MODE\.' -e 'TRAN-OPT\.' >"$out/tags.win"
PELORANT_REGISTRY="$out/reg" XDG_CONFIG_HOME="$out/config" "$pelorant" menu --json 2>/dev/null |
  python3 -c 'import json, sys
m = json.load(sys.stdin)
def walk(items):
    for i in items:
        yield i["tag"]
print(m["menu"]["tag"])
for t in walk(m["menu"]["items"]): print(t)
for t in walk(m["toolbar"]["items"]): print(t)' | grep -v -e 'TRAN-MODE\.' -e 'TRAN-OPT\.' >"$out/tags.linux"
if [ ! -s "$out/tags.win" ] || ! diff "$out/tags.linux" "$out/tags.win" >"$out/tags.diff"; then
  fail "the menu and toolbar differ from the Linux program's: $(head -c 600 "$out/tags.diff")"
fi
if ! wine reg query "$settings_key" /v Menu.ToolbarVisible 2>/dev/null | grep -q 'Menu.ToolbarVisible.*REG_SZ.*1'; then
  fail "disconnection after a start with launch kind 1 did not store the toolbar's visibility"
fi
if [ ! -f "$out/$deck" ]; then
  fail "$deck: no translation was saved"
elif ! check "$corpus/$deck" "$out/$deck" >"$out/check"; then
  fail "$deck: $(wc -l <"$out/check") problem(s): $(head -n 3 "$out/check" | cut -c 1-300)"
fi

# A click while "translate all" runs is refused, and the run still ends well.
deck=poi__smartart-simple.pptx
if ! run "$out/run2" open "$(winpath "$corpus/$deck")" click "$mode" during-run .BUTTON.TRAN-ALL click .BUTTON.TRAN-SHEET \
  save "$(winpath "$out/$deck")" disconnect; then
  fail "a click during the run: $(head -c 600 "$out/run2")"
elif ! check "$corpus/$deck" "$out/$deck" >"$out/check"; then
  fail "$deck after a click during the run: $(head -n 3 "$out/check" | cut -c 1-300)"
fi

# Disconnecting while the run goes on leaves nothing of the host behind.
if ! run "$out/run3" open "$(winpath "$corpus/$deck")" click "$mode" during-run .BUTTON.TRAN-ALL disconnect; then
  fail "a disconnection during the run: $(head -c 600 "$out/run3")"
fi
# The host connecting the add-in again while the run goes on: the run stops,
# and the add-in then stands connected once, with one set of its controls.
if ! run "$out/run-connect" open "$(winpath "$corpus/$deck")" click "$mode" during-run .BUTTON.TRAN-ALL connect \
  menu disconnect; then
  fail "a connection during the run: $(grep -v '^[0-9]' "$out/run-connect" | head -c 600)"
elif [ "$(grep -c -P '^\d+\t[^\t]*\.BUTTON\.TRAN-ALL\t' "$out/run-connect")" != 1 ]; then
  fail "a connection during the run left $(grep -c -P '^\d+\t[^\t]*\.BUTTON\.TRAN-ALL\t' "$out/run-connect") translate-all buttons"
fi
# In one run: a deck with comments, one with links and fields, a
# macro-enabled one (saved as such), and three with charts (titles, axis
# titles, texts read from the data, data labels with a field beside text
# formatted alike, a second pair of axes), translated all the same.
python3 "$source_dir/tests/e2e/lib/combo_chart.py" "$corpus/pptx__shp-common-props.pptx" "$out/combo.pptx"
sources=("$corpus/poi__45545_Comment.pptx" "$corpus/sc__autoshape-case001.pptx" "$corpus/poi__keyframes.pptx"
  "$corpus/pptx__cht-axis-props.pptx" "$corpus/sc__025_chart.pptx" "$out/combo.pptx")
translation() {  # translation SOURCE: where its translation is saved, macro-enabled as its source
  local name="translated-$(basename "$1")"
  [[ $name == *keyframes* ]] && name="${name%.pptx}.pptm"
  echo "$out/$name"
}
steps=(open "$(winpath "${sources[0]}")" click "$mode")
for source in "${sources[@]}"; do
  [ "$source" = "${sources[0]}" ] || steps+=(open "$(winpath "$source")")
  steps+=(click .BUTTON.TRAN-ALL save "$(winpath "$(translation "$source")")")
done
if ! run "$out/run4" "${steps[@]}" disconnect; then
  fail "the stand-in run over the comment, link and chart decks failed: $(head -c 600 "$out/run4")"
fi
for source in "${sources[@]}"; do
  deck=$(translation "$source")
  if ! check "$source" "$deck" >"$out/check"; then
    fail "$deck: $(wc -l <"$out/check") problem(s): $(head -n 3 "$out/check" | cut -c 1-300)"
  fi
done

# Disconnecting while the progress dialog is open closes it and cancels the
# run; the stand-in sees its window before, and none once the command ends.
deck=poi__table_test2.pptx
if ! run "$out/run5" open "$(winpath "$corpus/$deck")" click "$mode" during-run .BUTTON.TRAN-ALL dialog-disconnect; then
  fail "a disconnection with the progress dialog open: $(head -c 600 "$out/run5")"
fi

# The dialog's cancel button stops the run: the command ends, the dialog
# goes, and what the run left is not a full translation.
if ! run "$out/run6" open "$(winpath "$corpus/$deck")" click "$mode" during-run .BUTTON.TRAN-ALL dialog-cancel \
  save "$(winpath "$out/cancelled.pptx")" disconnect; then
  fail "the progress dialog's cancel button: $(head -c 600 "$out/run6")"
elif check "$corpus/$deck" "$out/cancelled.pptx" >/dev/null; then
  fail "the cancel button did not stop the run: $deck was translated in full"
fi
# The host's connection goes under the connected add-in: the next click
# finds the host again among the running objects by its ProgID, and the
# whole deck is translated.
if ! run "$out/run-reconnect" open "$(winpath "$corpus/$deck")" click "$mode" host-dies click .BUTTON.TRAN-ALL \
  save "$(winpath "$out/reconnected.pptx")" disconnect; then
  fail "a click after the host's connection went: $(head -c 600 "$out/run-reconnect")"
elif ! check "$corpus/$deck" "$out/reconnected.pptx" >"$out/check"; then
  fail "$deck after the host's connection went: $(head -n 3 "$out/check" | cut -c 1-300)"
fi
# Button faces, by host version; the sheets go beside the screenshots.
sheets="${PELORANT_SCREENSHOT_DIR:-$out}"
mkdir -p "$sheets"
for version in 9.0 16.0; do
  log="$out/faces-$version"
  if ! timeout -k 10 300 "$server" --report-version "$version" -- "$source_dir/tools/wine-run.sh" "$standin" \
      faces "$(winpath "$out/faces-$version.ppm")" disconnect 2>"$log"; then
    fail "button faces with a host of version $version: $(grep -v '^[0-9]' "$log" | head -c 600)"
  elif [ "$(grep -c '^face' "$log")" -ne 22 ]; then
    fail "button faces with a host of version $version: $(grep -c '^face' "$log") buttons looked at, not 22"
  fi
  [ -s "$out/faces-$version.ppm" ] &&
    convert "$out/faces-$version.ppm" -scale 400% -bordercolor white -border 8 "$sheets/button-faces-$version.png"
done

# Every connection above found the working engine, and every click worked:
# no message box at all.
for log in "$out"/run[1-6] "$out/run-reconnect" "$out/run-connect"; do
  if grep -q '^standin: closed a message box' "$log"; then
    fail "$(basename "$log") showed a message box: $(grep '^standin: closed' "$log" | head -c 600)"
  fi
done

# Version and Help each show what they are for and nothing after it: the
# version box once, and at most that the help file is missing.
no_file=$(message_text 1401)
run "$out/run9" open "$(winpath "$corpus/$deck")" click .MENU.VERSION click .MENU.HELP disconnect
if [ "$(grep -c '^standin: closed a message box: .*  Version ' "$out/run9")" != 1 ]; then
  fail "the version click did not show its box once: $(grep '^standin: closed' "$out/run9" | head -c 600)"
elif [ "$(grep -c -E "^standin: closed a message box: ($no_file)" "$out/run9")" -gt 1 ] ||
  others "$out/run9" ".*  Version |$no_file" >"$out/others"; then
  fail "version or help showed more than its own box: $(grep '^standin: closed' "$out/run9" | head -c 600)"
fi

# An engine that is genuinely missing still shows the messages: an
# implementation of the server without a usable engine beside the working
# one shows both; with no engine server at all the list cannot be obtained.
deck=poi__table_test2.pptx
fresh_engine_list
PELORANT_FAKE_FAULTY_IMPLEMENTATIONS=1 run "$out/run7" open "$(winpath "$corpus/$deck")" disconnect
if ! shown "$out/run7" "$no_engine" || ! shown "$out/run7" "$list_failed"; then
  fail "an unavailable engine implementation showed no engine-list message: $(head -c 600 "$out/run7")"
elif others "$out/run7" "$list_failed|$no_engine" >"$out/others"; then
  fail "an unavailable engine implementation showed more: $(head -c 600 "$out/others")"
fi
wine regsvr32 /u /s "$(winpath "$engine_dll")" || fail "regsvr32 /u the fake engine"
fresh_engine_list
run "$out/run8" open "$(winpath "$corpus/$deck")" disconnect
if ! shown "$out/run8" "$list_failed"; then
  fail "connecting without an engine server showed no engine-list message: $(head -c 600 "$out/run8")"
elif others "$out/run8" "$list_failed|$no_engine" >"$out/others"; then
  fail "connecting without an engine server showed more: $(head -c 600 "$out/others")"
fi
[ "$failures" -eq 0 ] || exit 1
echo "standin_e2e: passed"
