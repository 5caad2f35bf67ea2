#!/bin/bash
# Sets up and runs the main job on a sample deck: installs what it needs,
# builds the Linux program, and shows what the add-in sees and does today:
# its version box, the engine language pairs Apertium provides, the deck's
# slides and shapes, and a translation of the deck's first texts.
#
#   bash tools/run-sample.sh [DECK]
#
# Without DECK it takes the corpus sample deck beside the checkout when there
# is one, otherwise a small deck the program makes itself.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc)" --target pelorant
pelorant=./build/linux/apps/pelorant/pelorant

deck="${1:-}"
if [ -z "$deck" ]; then
  for candidate in ../shared/corpus/real/docling__powerpoint_sample.pptx ../shared/corpus/real/poi__testPPT.ppsx; do
    if [ -f "$candidate" ]; then deck=$candidate; break; fi
  done
fi

echo "== pelorant --version"
$pelorant --version
echo
echo "== pelorant engines list"
$pelorant engines list
echo
if [ -n "$deck" ]; then
  echo "== pelorant show $deck"
  $pelorant show "$deck"
  echo
  echo "== the deck's first texts, English to Spanish through Apertium"
  $pelorant show --json "$deck" |
    grep -o '"text": *"[^"]*"' | sed 's/^"text": *"//; s/"$//' | grep -v '^ *$' | head -5 |
    while IFS= read -r line; do
      printf '  %s\n  -> %s\n' "$line" "$($pelorant text --mode Apertium:eng-spa "$line")"
    done
else
  echo "== pelorant text --mode Apertium:eng-spa"
  echo "The dog is big. It runs fast." | $pelorant text --mode Apertium:eng-spa
fi
