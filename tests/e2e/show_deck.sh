#!/bin/bash
# `pelorant show` over real decks: the tree names slides, shape kinds,
# placeholders, merged table cells once, comments with authors and notes;
# --json is valid JSON; damaged decks fail with the file named and nothing
# is written next to them. translate_corpus.sh shows every deck of the
# corpus as JSON.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/common.sh"
e2e_corpus
# Only what show writes may appear here: no user folders.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

out=$("$prog" show "$corpus/pptx__shp-shapes.pptx" 2>"$dir/err") || fail "show shp-shapes: $(cat "$dir/err")"
contains "$out" "pptx__shp-shapes.pptx: 2 slides"
contains "$out" "[placeholder: title] Title 3: \"shapes[0]\""
contains "$out" "[table] Table 1"
contains "$out" "(1,1) \"shapes[3]\""
contains "$out" "[SmartArt] Diagram 7"
contains "$out" "[chart] Chart 2"
contains "$out" "[group] Group 4"
contains "$out" "    [auto shape] Oval 2"

out=$("$prog" show "$corpus/poi__table_test2.pptx") || fail "show table_test2"
contains "$out" "7 x 6 cells"
# The header cell spanning columns 2 and 3 is listed once.
case "$out" in *"(1,3)"*) fail "merged cell (1,3) listed on its own" ;; esac

out=$("$prog" show "$corpus/poi__45545_Comment.pptx") || fail "show 45545_Comment"
contains "$out" "comment XPVMWARE01 (X): \"testdoc\""

# A deck of the strict class lists its comments as any other does.
out=$("$prog" show "$corpus/oxsdk___HC_viewPr-PresentationViewProperties-showComments-1.pptx") || fail "show strict deck"
contains "$out" "comment Harshal Doshi (HD): \"PowerPoint Rocks!!!\""

out=$("$prog" show "$corpus/pptx__prs-notes.pptx") || fail "show prs-notes"
contains "$out" "Notes: \"Notes\""

"$prog" show --json "$corpus/poi__stress022.pptx" >"$dir/s.json" 2>"$dir/err" || fail "show --json stress022: $(cat "$dir/err")"
python3 - "$dir/s.json" <<'PY' || fail "stress022 JSON"
import json, sys
d = json.load(open(sys.argv[1]))
assert len(d["slides"]) == 45, len(d["slides"])
assert d["slides"][0]["index"] == 1
kinds = {s["type"] for sl in d["slides"] for s in sl["shapes"]}
assert "SmartArt" in kinds and "table" in kinds, kinds
PY

for bad in poi__Divino_Revelado.pptx poi__clusterfuzz-testcase-minimized-POIXSLFFuzzer-6254434927378432.pptx oxsdk__encrypted_pptx.pptx; do
  cp "$corpus/$bad" "$dir/$bad"
  before=$(sha256sum "$dir/$bad")
  "$prog" show "$dir/$bad" >"$dir/out" 2>"$dir/err"
  rc=$?
  [ "$rc" -eq 1 ] || fail "show $bad exited $rc, expected 1"
  contains "$(cat "$dir/err")" "$bad"
  [ -s "$dir/out" ] && fail "show $bad printed output"
  [ "$(sha256sum "$dir/$bad")" = "$before" ] || fail "show changed $bad"
  [ "$(ls "$dir" | wc -l)" -eq 4 ] || fail "files appeared beside $bad: $(ls "$dir")"
  rm -f "$dir/$bad"
done
contains "$("$prog" show "$corpus/oxsdk__encrypted_pptx.pptx" 2>&1)" "password-protected"

"$prog" show >/dev/null 2>&1
[ $? -eq 2 ] || fail "show without a deck should be a usage error"
"$prog" show --bogus x.pptx >/dev/null 2>&1
[ $? -eq 2 ] || fail "unknown option should be a usage error"
out=$("$prog" show "$dir/missing.pptx" 2>&1)
contains "$out" "file not found"

e2e_end show_deck
