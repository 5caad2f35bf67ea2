# Shared by the end-to-end scripts that drive the program over corpus decks:
# the corpus beside the checkout, a user of their own (registry, settings,
# temporary folder and scripted engine in one fresh folder), and the checks.
# Source it as ". "$(dirname "$0")/lib/common.sh"".

# Sets `corpus`; without one the script has nothing to check and says so.
e2e_corpus() {
  corpus="${PELORANT_SOURCE_DIR:-$(dirname "${BASH_SOURCE[0]}")/../../..}/../shared/corpus/real"
  if [ ! -d "$corpus" ]; then
    echo "SKIP: no corpus at $corpus"
    exit 0
  fi
}

# e2e_user DIR: the program's settings and temporary copies stay in DIR, and
# the scripted engine is read from DIR/fake.txt.
e2e_user() {
  export PELORANT_REGISTRY="$1/reg" XDG_CONFIG_HOME="$1/config" TMPDIR="$1/tmp"
  export PELORANT_FAKE_ENGINE="$1/fake.txt"
  unset PELORANT_ANSWER
  mkdir -p "$TMPDIR"
}

# e2e_start: `dir` is a fresh folder, removed on exit, and the user's own.
e2e_start() {
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
  e2e_user "$dir"
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
contains() {
  case "$1" in *"$2"*) return 0 ;; esac
  fail "expected to find [$2] in: ${1:0:600}"
}
