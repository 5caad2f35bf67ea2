#!/bin/bash
# Sets up and runs the main job on a sample deck: installs what it needs,
# builds the Linux program and translates the deck from English to Spanish
# with Apertium, the way the add-in's "translate all slides" does it in
# PowerPoint: slides, notes pages, tables, groups, SmartArt and comments.
#
#   bash tools/run-sample.sh [DECK]
#
# The translation of DECK is written beside it as NAME.es.EXT (DECK itself
# is not changed). Without DECK the corpus sample deck beside the checkout
# is translated into build/sample/. The script says where it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target pelorant
pelorant=$PWD/build/linux/apps/pelorant/pelorant

deck="${1:-}"
if [ -n "$deck" ]; then
  [ -f "$deck" ] || { echo "run-sample: no deck at $deck" >&2; exit 2; }
  name=$(basename "$deck")
  out="$(dirname "$deck")/${name%.*}.es.${name##*.}"
else
  deck=../shared/corpus/real/docling__powerpoint_sample.pptx
  if [ ! -f "$deck" ]; then
    echo "run-sample: the sample deck $deck is not there; give a deck of your own:" >&2
    echo "  bash tools/run-sample.sh talk.pptx" >&2
    exit 2
  fi
  mkdir -p build/sample
  out=build/sample/docling__powerpoint_sample.es.pptx
fi

echo "== the translation modes Apertium offers"
"$pelorant" engines list
echo
echo "== translating $deck from English to Spanish"
"$pelorant" translate "$deck" -o "$out" --mode Apertium:eng-spa
echo
echo "== a few of its texts, before and after"
python3 - <("$pelorant" show --json "$deck") <("$pelorant" show --json "$out") <<'PY'
import json, sys
def texts(path):
    found = []
    def shape(s):
        if s.get("text", "").strip():
            found.append(s["text"])
        for c in s.get("table", {}).get("cells", []):
            if c["text"].strip():
                found.append(c["text"])
        for item in s.get("items", []):
            shape(item)
    for slide in json.load(open(path))["slides"]:
        for s in slide["shapes"]:
            shape(s)
        if slide["notes"].strip():
            found.append(slide["notes"])
    return found
pairs = [(b, a) for b, a in zip(texts(sys.argv[1]), texts(sys.argv[2])) if len(b.split()) > 2]
for before, after in pairs[:6]:
    flat = lambda t: " / ".join(p for p in t.replace("\v", "\r").split("\r") if p.strip())
    print(f"  {flat(before)}\n    -> {flat(after)}")
PY
echo
echo "The Spanish deck is $out"
echo "Open it in PowerPoint or LibreOffice Impress; to look at it as PDF pages:"
echo "  libreoffice --headless --convert-to pdf --outdir $(dirname "$out") $out"
