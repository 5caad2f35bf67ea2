#!/bin/bash
# The corpus run of translate_corpus.sh through Apertium's English-Spanish
# pair where it is installed, on the sample of decks that script picks.
apertium -l 2>/dev/null | grep -qE '^[[:space:]]*eng-spa[[:space:]]*$' ||
  { echo "SKIP: Apertium's eng-spa pair is not installed"; exit 0; }
PELORANT_CORPUS_MODE=Apertium:eng-spa exec bash "$(cd "$(dirname "$0")" && pwd)/translate_corpus.sh" "$@"
