#!/bin/bash
# Every deck of the corpus through the bracket engine: one that opens gives
# an output that opens, shows as JSON and passes check_bracketed.py; damaged,
# encrypted and empty decks fail with a message and write nothing; no
# temporary copy outlives its run.
. "$(dirname "$0")/lib/common.sh"
e2e_start corpus
mkdir -p "$dir/out"
bracket_engine

# A real engine (translate_corpus_apertium.sh) runs on the decks with fields
# or links and every sixth other.
mode="${PELORANT_CORPUS_MODE:-Test:en-xx}"
real=$([ "$mode" = Test:en-xx ] || echo --real)
decks=0 ran=0
while IFS=$'\t' read -r file _ _ _ _ note; do
  decks=$((decks + 1))
  [ -n "$real" ] && [ $((decks % 6)) -ne 1 ] && ! [[ "$note" =~ hyperlinks=|fields= ]] && continue
  ran=$((ran + 1))
  out="$dir/out/$file"
  "$prog" translate "$corpus/$file" -o "$out" --mode "$mode" -q >/dev/null 2>"$dir/err"
  rc=$?
  case "$note" in
    CORRUPT* | PASSWORD-PROTECTED* | *"slides=0;"*)
      [ "$rc" -eq 1 ] || fail "$file: exited $rc, expected 1"
      [ -s "$dir/err" ] || fail "$file: failed without a message"
      [ -e "$out" ] && fail "$file: an output was written"
      ;;
    *)
      if [ "$rc" -ne 0 ]; then
        fail "$file ($mode): exited $rc: $(head -c 400 "$dir/err")"
      elif ! "$prog" show --json "$out" >"$out.json" 2>"$dir/err"; then
        fail "$file ($mode): the output does not open again: $(head -c 400 "$dir/err")"
      else
        printf '%s\t%s\t%s\n' "$corpus/$file" "$out" "$out.json" >>"$dir/outputs"
      fi
      ;;
  esac
  [ -z "$(ls -A "$TMPDIR")" ] || fail "$file: temporary files left: $(ls "$TMPDIR")"
  rm -rf "${TMPDIR:?}"/*
done < <(tail -n +2 "$corpus/MANIFEST.tsv")

# One checker for every output: an interpreter's start costs more than a deck.
if ! python3 "$here/check_bracketed.py" --each "$dir/outputs" $real >"$dir/check"; then
  fail "($mode) $(cut -d: -f1 "$dir/check" | sort -u | wc -l) deck(s) with $(wc -l <"$dir/check") problem(s):"
  head -n 20 "$dir/check" | cut -c 1-300 >&2
fi
[ "$decks" -gt 40 ] || fail "only $decks decks in the manifest"
e2e_end "translate_corpus ($ran of $decks decks)"
