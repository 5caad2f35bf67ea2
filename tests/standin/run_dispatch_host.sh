#!/bin/bash
# Runs the Windows IDispatch host test as the child of the Linux stand-in
# program, over the corpus decks.
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
timeout -k 10 300 "$server" -- "$source_dir/tools/wine-run.sh" "$test_exe"
