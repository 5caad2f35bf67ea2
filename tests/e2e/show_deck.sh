#!/bin/bash
# `pelorant show` over real decks: slides, shape kinds, placeholders, merged
# cells once, comments; --json; damaged decks fail, named, writing nothing.
. "$(dirname "$0")/lib/common.sh"
e2e_start corpus
mkdir "$dir/w"  # only what show writes may appear here

shows() {  # shows DECK TEXT...: show DECK prints every TEXT
  local shown
  shown=$("$prog" show "$corpus/$1" 2>"$dir/err") || fail "show $1: $(cat "$dir/err")"
  for text in "${@:2}"; do contains "$shown" "$text"; done
}
shows pptx__shp-shapes.pptx "pptx__shp-shapes.pptx: 2 slides" "[placeholder: title] Title 3: \"shapes[0]\"" \
  "[table] Table 1" "(1,1) \"shapes[3]\"" "[SmartArt] Diagram 7" "[chart] Chart 2" "[group] Group 4" "    [auto shape] Oval 2"
shows poi__45545_Comment.pptx "comment XPVMWARE01 (X): \"testdoc\""
shows poi__table_test2.pptx "7 x 6 cells"
# The header cell spanning columns 2 and 3 is listed once.
case "$("$prog" show "$corpus/poi__table_test2.pptx")" in *"(1,3)"*) fail "merged cell (1,3) listed on its own" ;; esac

"$prog" show --json "$corpus/poi__stress022.pptx" | python3 -c 'import json, sys; d = json.load(sys.stdin)
assert len(d["slides"]) == 45 and "SmartArt" in {s["type"] for sl in d["slides"] for s in sl["shapes"]}' ||
  fail "show --json stress022"

for bad in poi__Divino_Revelado.pptx poi__clusterfuzz-testcase-minimized-POIXSLFFuzzer-6254434927378432.pptx oxsdk__encrypted_pptx.pptx; do
  cp "$corpus/$bad" "$dir/w/$bad"
  says 1 "$bad" show "$dir/w/$bad"
  [ -z "$out" ] || fail "show $bad printed output"
  cmp -s "$corpus/$bad" "$dir/w/$bad" || fail "show changed $bad"
  [ "$(ls "$dir/w")" = "$bad" ] || fail "files appeared beside $bad: $(ls "$dir/w")"
  rm -f "$dir/w/$bad"
done
contains "$err" "password-protected"

contains "$("$prog" show "$dir/missing.pptx" 2>&1)" "file not found"

e2e_end show_deck
