#!/bin/bash
# Runs the Windows IDispatch host test as the child of the Linux stand-in
# program, then checks on Linux that every text of the decks it translated
# went through the engine exactly once.
set -u
server="$1"
test_exe="$2"
here=$(cd "$(dirname "$0")" && pwd)
source_dir="${PELORANT_SOURCE_DIR:-$here/../..}"
corpus="$source_dir/../shared/corpus/real"
if [ ! -x "$server" ]; then
  echo "FAIL: $server is missing: build the linux preset's standin_host first" >&2
  exit 1
fi
if [ ! -d "$corpus" ]; then
  echo "SKIP: no corpus at $corpus"
  exit 0
fi
export PELORANT_CORPUS_DIR=$(cd "$corpus" && pwd -P)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export PELORANT_DISPATCH_OUT="$out"
timeout -k 10 500 "$server" -- "$source_dir/tools/wine-run.sh" "$test_exe" || exit 1
failures=0
for deck in poi__table_test2.pptx poi__smartart-simple.pptx poi__45545_Comment.pptx sc__autoshape-case001.pptx \
  poi__keyframes.pptx; do
  if [ ! -f "$out/$deck" ]; then
    echo "FAIL: $deck was not written" >&2
    failures=$((failures + 1))
  elif ! python3 "$source_dir/tests/e2e/check_bracketed.py" "$corpus/$deck" "$out/$deck" >"$out/check"; then
    echo "FAIL: $deck: $(wc -l <"$out/check") problem(s):" >&2
    head -n 5 "$out/check" | cut -c 1-300 >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] || exit 1
echo "dispatch_host: every text went through the engine exactly once"
