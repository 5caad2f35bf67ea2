#!/bin/bash
# The corpus run of translate_corpus.sh through Apertium's English-Spanish
# pair where it is installed, on the sample of decks that script picks.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/common.sh"
if ! have_eng_spa; then
  echo "SKIP: Apertium's eng-spa pair is not installed"
  exit 0
fi
PELORANT_CORPUS_MODE=Apertium:eng-spa exec bash "$here/translate_corpus.sh" "$@"
