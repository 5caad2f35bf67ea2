# Shared by the end-to-end scripts: the program under test (the script's
# first argument), the corpus beside the checkout, a user of their own
# (registry, settings, temporary folder and scripted engine in one fresh
# folder), running the program and the checks.
# Source it as ". "$(dirname "$0")/lib/common.sh"".

prog=${1:?usage: $0 PATH-TO-PELORANT}

# Sets `corpus`; without one the script has nothing to check and says so.
e2e_corpus() {
  corpus="${PELORANT_SOURCE_DIR:-$(dirname "${BASH_SOURCE[0]}")/../../..}/../shared/corpus/real"
  [ -d "$corpus" ] || { echo "SKIP: no corpus at $corpus"; exit 0; }
}

# e2e_start: `dir` is a fresh folder, removed on exit with the processes
# `pids` names (servers the script started), that holds the user's
# settings and temporary copies; the scripted engine is read from
# dir/fake.txt, empty (no engine) until the script writes it.
e2e_start() {
  dir=$(mktemp -d)
  pids=()
  trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$dir"' EXIT
  e2e_home=$dir
  export PELORANT_REGISTRY="$dir/reg" XDG_CONFIG_HOME="$dir/config" TMPDIR="$dir/tmp" PELORANT_FAKE_ENGINE="$dir/fake.txt"
  unset PELORANT_ANSWER
  mkdir -p "$TMPDIR"
  touch "$PELORANT_FAKE_ENGINE"
}

# expect CODE ARGS...: runs the program with ARGS and `input` (if set) on
# stdin; its output in $out, its errors in $err, its status in $rc.
expect() {
  local want="$1"
  shift
  out=$(printf '%s' "${input-}" | "$prog" "$@" 2>"$e2e_home/err")
  rc=$?
  err=$(cat "$e2e_home/err")
  [ "$rc" -eq "$want" ] || fail "$* exited $rc, expected $want: ${err:0:600}"
}
# says CODE TEXT ARGS...: expect CODE ARGS..., and TEXT in what it printed.
says() {
  expect "$1" "${@:3}"
  contains "$out$err" "$2"
}
# prints TEXT ARGS...: expect 0 ARGS..., and TEXT all it printed on stdout.
prints() {
  expect 0 "${@:2}"
  [ "$out" = "$1" ] || fail "${*:2}: printed [$out], expected [$1]"
}

# bracket_engine [LINES...]: the scripted engine answers every text of its
# one pair, Test:en-xx, with the text in brackets; LINES are more directives.
bracket_engine() {
  printf '%s\n' "implementation	Test" "pair	en-xx	en	xx	9	English - Test	Test MT	Test" "transform	bracket" \
    "$@" >"$PELORANT_FAKE_ENGINE"
}

# cancels ARGS...: runs the program with ARGS and `input` (if set) on stdin,
# presses Ctrl-C on it, once it catches it, until it ends (a question is
# answered yes), and checks that it ended cancelled with status 1.
cancels() {
  printf '%s' "${input-}" | PELORANT_ANSWER=yes "$prog" "$@" >/dev/null 2>"$e2e_home/err" &
  local pid=$! presses=0 caught
  while caught=$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status" 2>/dev/null) && [ -n "$caught" ] && ((presses++ < 600)); do
    ((16#$caught & 2)) && kill -INT "$pid" 2>/dev/null
    sleep 0.1
  done
  wait "$pid"
  rc=$?
  [ "$rc" -eq 1 ] || fail "$* exited $rc when cancelled: $(cat "$e2e_home/err")"
  contains "$(cat "$e2e_home/err")" "cancelled"
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
# e2e_end NAME: the script's verdict and status.
e2e_end() {
  [ "$failures" -eq 0 ] && echo "$1: all checks passed"
  exit $((failures > 0))
}
