# Shared by the end-to-end scripts: the program under test ($1), their folder
# (`here`), the corpus, a fresh user of their own, running the program and the checks.
set -u
prog=${1:?usage: $0 PATH-TO-PELORANT}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# e2e_start [corpus]: `dir` holds the user's settings, temporary copies and scripted
# engine (empty until written); on exit it goes, and the processes `pids` names.
# With corpus, a script skips where `corpus` is not.
e2e_start() {
  corpus="${PELORANT_SOURCE_DIR:-$here/../..}/../shared/corpus/real"
  [ -z "${1-}" ] || [ -d "$corpus" ] || { echo "SKIP: no corpus at $corpus"; exit 0; }
  dir=$(mktemp -d)
  pids=()
  trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$dir"' EXIT
  export PELORANT_REGISTRY="$dir/reg" XDG_CONFIG_HOME="$dir/config" TMPDIR="$dir/tmp" PELORANT_FAKE_ENGINE="$dir/fake.txt"
  unset PELORANT_ANSWER
  mkdir -p "$TMPDIR" "$PELORANT_REGISTRY" "$XDG_CONFIG_HOME"
  touch "$PELORANT_FAKE_ENGINE"
}

# expect CODE ARGS...: runs the program with `input` on stdin; $out, $err, $rc.
expect() {
  out=$(printf '%s' "${input-}" | "$prog" "${@:2}" 2>"$dir/err")
  rc=$?
  err=$(cat "$dir/err")
  [ "$rc" -eq "$1" ] || fail "${*:2} exited $rc, expected $1: ${err:0:600}"
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

# bracket_engine [LINES...]: Test:en-xx brackets every text; LINES are more directives.
bracket_engine() {
  printf '%s\n' "implementation	Test" "pair	en-xx	en	xx	9	English - Test	Test MT	Test" "transform	bracket" \
    "$@" >"$PELORANT_FAKE_ENGINE"
}

# cancels ARGS...: presses Ctrl-C on the program, once it catches it, until
# it ends (questions answered yes), cancelled with status 1.
cancels() {
  printf '%s' "${input-}" | PELORANT_ANSWER=yes "$prog" "$@" >/dev/null 2>"$dir/err" &
  local pid=$! presses=0 caught
  while caught=$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status" 2>/dev/null) && [ -n "$caught" ] && ((presses++ < 600)); do
    ((16#$caught & 2)) && kill -INT "$pid" 2>/dev/null
    sleep 0.1
  done
  wait "$pid"
  rc=$?
  [ "$rc" -eq 1 ] || fail "$* exited $rc when cancelled: $(cat "$dir/err")"
  contains "$(cat "$dir/err")" "cancelled"
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
