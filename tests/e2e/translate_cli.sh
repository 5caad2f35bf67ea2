#!/bin/bash
# `pelorant translate` with the bracket test engine over a real deck: each
# range changes what it names; the deck changes only with --in-place;
# failures, cancels and arguments only the deck refutes give status 1 or 2
# and write nothing they should not; no temporary copy outlives a run.
. "$(dirname "$0")/lib/common.sh"
e2e_start corpus
mkdir -p "$dir/w"
run() { expect "$1" translate "${@:2}"; }
check() { # check SOURCE OUT [FLAG...]
  python3 "$here/check_bracketed.py" "$@" >"$dir/check" || fail "$2: $(head -n 5 "$dir/check")"
}
# with_shape PART XML: $dir/odd.pptx, the deck with XML added to PART's shape tree.
with_shape() {
  mkdir -p "$dir/x/${1%/*}"
  unzip -p "$deck" "$1" | sed "s|</p:spTree>|$2</p:spTree>|" >"$dir/x/$1"
  cp "$deck" "$dir/odd.pptx"
  (cd "$dir/x" && zip -q "$dir/odd.pptx" "$1")
}
# changed OUT: the lines of `show` that differ from the deck's.
changed() { diff "$dir/deck.txt" <("$prog" show "$1" | tail -n +2) | grep '^>' | sed 's/^> *//'; }
changes() { [ "$(changed "$1")" = "$2" ] || fail "$1 changed: $(changed "$1")"; }

deck="$dir/w/deck.pptx"
cp "$corpus/docling__powerpoint_sample.pptx" "$deck"
"$prog" show "$deck" | tail -n +2 >"$dir/deck.txt"
bracket_engine
m=(--mode Test:en-xx)

# All slides, a slide (with its notes page), two shapes, a shape's and a
# notes page's characters.
says 0 "written to $dir/all.pptx" translate "$deck" -o "$dir/all.pptx" "${m[@]}"
contains "$err" "3 slides"
run 0 "$deck" -o "$dir/slide.pptx" "${m[@]}" --slide 2
check "$deck" "$dir/slide.pptx" --only ppt/slides/slide2.xml ppt/notesSlides/notesSlide1.xml
run 0 "$deck" -o "$dir/shapes.pptx" "${m[@]}" --slide 2 --shape "Rectangle 3" --shape "Title 1"
check "$deck" "$dir/shapes.pptx" --only ppt/slides/slide2.xml#1 ppt/slides/slide2.xml#3
run 0 "$deck" -o "$dir/text.pptx" "${m[@]}" --slide 2 --shape "Rectangle 3" --text 3:9
changes "$dir/text.pptx" '[auto shape] Rectangle 3: "A ⟦rectangle⟧ shape with this text inside."'
run 0 "$deck" -o "$dir/notes.pptx" "${m[@]}" --slide 3 --notes --shape "Notes Placeholder 2" --text 7:5
changes "$dir/notes.pptx" 'Notes: "Final ⟦notes⟧ on the third slide.¶Second line of notes."'

# -q prints nothing; --json the summary alone.
run 0 "$deck" -o "$dir/q.pptx" "${m[@]}" -q
[ -z "$out$err" ] || fail "-q printed: $out$err"
run 0 "$deck" -o "$dir/j.pptx" "${m[@]}" --json --slide 3
python3 -c 'import json,sys; d=json.loads(sys.argv[1]); assert d["written"] and d["exitStatus"] == 0 and d["slides"] == 1 \
  and d["range"] == "slide" and d["segmentsTranslated"] >= 5, d' "$out" || fail "--json: $out"

# Overwriting the original (OutputDestType 0) or a translation copy (1):
# to OUT, or with --in-place over the deck's file.
for dest in 0 1; do
  expect 0 options set default OutputDestType=$dest
  run 0 "$deck" -o "$dir/dest$dest.pptx" "${m[@]}"
  check "$deck" "$dir/dest$dest.pptx"
  cp "$deck" "$dir/w/copy.pptx"
  run 0 "$dir/w/copy.pptx" --in-place "${m[@]}"
  check "$deck" "$dir/w/copy.pptx"
  [ "$(ls "$dir/w")" = "$(printf 'copy.pptx\ndeck.pptx')" ] || fail "files beside the deck: $(ls "$dir/w")"
done

# Arguments only the deck can refute.
says 2 "has 3 slides" translate "$deck" -o "$dir/x.pptx" "${m[@]}" --slide 4
says 2 "Rectangle 3" translate "$deck" -o "$dir/x.pptx" "${m[@]}" --slide 2 --shape Nope
run 2 "$deck" -o "$dir/x.pptx" "${m[@]}" --slide 2 --shape "Rectangle 3" --text 30:20
says 2 "Test:en-xx" translate "$deck" -o "$dir/x.pptx" --mode Test:xx-yy
says 2 "default" translate "$deck" -o "$dir/x.pptx" "${m[@]}" --options "no such set"
says 1 "missing.pptx" translate "$dir/missing.pptx" -o "$dir/x.pptx" "${m[@]}"

# A set's glossary gone bad stops the run before the deck opens;
# --glossary stands in for it, this run only.
printf 'Pelorant\t\n' >"$dir/terms.tsv"
expect 0 options set default Glossary="$dir/terms.tsv"
printf 'Pelorant kept\n' >"$dir/terms.tsv"
says 1 "The glossary could not be read" translate "$deck" -o "$dir/x.pptx" "${m[@]}"
contains "$err" "$dir/terms.tsv: line 1 has no tab"
[ -e "$dir/x.pptx" ] && fail "a run without its glossary wrote an output"
printf 'Pelorant\tPelorant\n' >"$dir/other.tsv"
run 0 "$deck" -o "$dir/x.pptx" "${m[@]}" --glossary "$dir/other.tsv"
says 0 "Glossary=$dir/terms.tsv" options show default

# A run that stops names where, in the summary and --json: a shape whose
# negative height cannot be doubled, on a slide and on a notes page.
odd='<p:sp><p:nvSpPr><p:cNvPr id="99" name="Odd Box"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr><p:spPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="100000" cy="-100000"/></a:xfrm></p:spPr><p:txBody><a:bodyPr/><a:p><a:r><a:t>Odd</a:t></a:r></a:p></p:txBody></p:sp>'
expect 0 options set default DualPrint=True DualPrintExpandShape=True Glossary=
while IFS='|' read -r part id place; do
  with_shape "$part" "$odd"
  says 1 "stopped at $place: " translate "$dir/odd.pptx" -o "$dir/odd-out.pptx" "${m[@]}"
  run 1 "$dir/odd.pptx" -o "$dir/odd-out.pptx" "${m[@]}" --json
  python3 -c 'import json,sys; e=json.loads(sys.argv[1])["errors"]; want=json.loads(sys.argv[2]); \
    assert [{k: x.get(k) for k in want} for x in e] == [want], e' "$out" "$id" || fail "--json of $part: $out"
done <<'CASES'
ppt/slides/slide3.xml|{"id": 1505, "slide": 3, "notes": false, "shape": "Odd Box"}|slide 3, shape "Odd Box"
ppt/notesSlides/notesSlide1.xml|{"id": 1506, "slide": 2, "notes": true, "shape": "Odd Box"}|notes page of slide 2, shape "Odd Box"
CASES
expect 0 options set default DualPrint=False DualPrintExpandShape=False

# Engine failures: one segment (the rest written), all, an engine that does not open.
bracket_engine "request	translate	3	30006	0	1"
says 1 "left (engine failed: 1)" translate "$deck" -o "$dir/part.pptx" "${m[@]}" --slide 2
contains "$err" "what was translated is written to"
[ "$(changed "$dir/part.pptx" | grep -c '⟦')" -ge 2 ] || fail "the other segments were not written"
for failing in "translate	3	30006	0" "open	3	30004	0"; do
  bracket_engine "request	$failing"
  run 1 "$deck" -o "$dir/none.pptx" "${m[@]}"
  [ -e "$dir/none.pptx" ] && fail "an output was written although the engine failed ($failing)"
  [ -n "$err" ] || fail "no message when the engine fails ($failing)"
done

# No real deck has a chart with secondary axes; a chart of the newer kind is left and counted.
bracket_engine
python3 "$here/lib/combo_chart.py" "$corpus/pptx__shp-common-props.pptx" "$dir/w/combo.pptx"
run 0 "$dir/w/combo.pptx" -o "$dir/combo.pptx" "${m[@]}"
check "$dir/w/combo.pptx" "$dir/combo.pptx"
says 0 "left (chart of a kind not read: 1)" translate "$corpus/oxsdk__Of16-01.pptx" -o "$dir/newer.pptx" "${m[@]}"
check "$corpus/oxsdk__Of16-01.pptx" "$dir/newer.pptx"

# The four switches of the parts beyond the slides, off, leave those parts.
parts=(TranslatesAltText TranslatesLinkTips TranslatesCharts TranslatesMasters)
expect 0 options set default "${parts[@]/%/=False}"
cp "$corpus/poi__customGeo.pptx" "$corpus/poi__stress021.pptx" "$dir/w/"
for name in poi__customGeo poi__stress021 combo; do
  run 0 "$dir/w/$name.pptx" -o "$dir/$name-kept.pptx" "${m[@]}"
  check "$dir/w/$name.pptx" "$dir/$name-kept.pptx" --keep alt --keep tips --keep charts --keep masters
done
expect 0 options set default "${parts[@]/%/=True}"

# Ctrl-C on a hanging engine, with and without the progress line.
bracket_engine "request	translate	hang	0	0"
cancels translate "$deck" -o "$dir/c.pptx" "${m[@]}"
cancels translate "$deck" -o "$dir/c.pptx" "${m[@]}" -q

cmp -s "$corpus/docling__powerpoint_sample.pptx" "$deck" || fail "the deck changed"
[ -z "$(ls -A "$TMPDIR")" ] || fail "temporary files left: $(ls "$TMPDIR")"
e2e_end translate_cli
