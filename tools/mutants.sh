#!/bin/bash
# Mutation check of the suites: applies each one-line change of product code
# listed in tools/mutants.tsv to a scratch work tree, rebuilds only the test
# program that should notice it, runs that program's named tests, and prints
# whether the change was killed (the tests failed) or survived (they passed).
# A survivor is a fault no test catches.
#
#   tools/mutants.sh              every mutation on the committed HEAD
#   tools/mutants.sh --check      only check that every pattern occurs once
#   tools/mutants.sh REGEX        only the lines of the list matching REGEX
#
# The scratch tree (PELORANT_MUTANTS_TREE, by default a git worktree beside
# this checkout named <checkout>-mutants) has its own build folder at the same
# relative place as this one, so ccache serves every unchanged object and one
# mutation costs one object, one link and one filtered test run. The source
# files of this checkout are never touched. Slow: not part of CI.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
list="$repo/tools/mutants.tsv"
tree=${PELORANT_MUTANTS_TREE:-$(dirname "$repo")/$(basename "$repo")-mutants}
check_only=0
only=.
case "${1:-}" in
  --check) check_only=1 ;;
  "") ;;
  *) only=$1 ;;
esac

# The list: file, text to find (once in that file), its replacement, test
# program, gtest filter; tab-separated; '#' starts a comment line.
entries() { grep -v '^#' "$list" | grep -v '^[[:space:]]*$' | grep -E -- "$only"; }

# Replaces the only occurrence of FROM in FILE by TO; fails when FROM occurs
# not exactly once, so a list that drifted from the code says so.
mutate() {
  python3 - "$1" "$2" "$3" <<'EOF'
import sys
path, old, new = sys.argv[1:4]
text = open(path, encoding="utf-8").read()
n = text.count(old)
if n != 1:
    sys.exit(f"{path}: pattern found {n} times: {old}")
open(path, "w", encoding="utf-8").write(text.replace(old, new))
EOF
}

if [ $check_only = 1 ]; then
  bad=0
  while IFS=$'\t' read -r file from to binary filter; do
    [ -n "$filter" ] || { echo "incomplete line: $file $from" >&2; bad=1; continue; }
    python3 -c 'import sys; t=open(sys.argv[1]).read(); n=t.count(sys.argv[2]); sys.exit(0 if n==1 else f"{sys.argv[1]}: found {n} times: {sys.argv[2]}")' \
      "$repo/$file" "$from" || bad=1
  done < <(entries)
  echo "$(entries | wc -l) mutations listed"
  exit $bad
fi

if [ ! -e "$tree/.git" ]; then
  git -C "$repo" worktree add --detach "$tree" HEAD >/dev/null || exit 1
fi
git -C "$tree" checkout -q --detach "$(git -C "$repo" rev-parse HEAD)" && git -C "$tree" reset -q --hard || exit 1
build="$tree/build/linux"
state=$(mktemp -d)
trap 'git -C "$tree" reset -q --hard; rm -rf "$state"' EXIT
(cd "$tree" && cmake --preset linux >/dev/null) || exit 1

# Runs one test program's filtered tests with the suites' private registry
# and configuration folder; fails when they fail or when none ran.
run_tests() {
  local program filter log=$state/log
  program=$(find "$build/tests" -name "$1" -type f -perm -u+x | head -1)
  filter=$2
  [ -n "$program" ] || return 2
  rm -rf "$state/registry" "$state/config"
  (cd "$build" && PELORANT_TEST_SOURCE_DIR="$tree" PELORANT_REGISTRY="$state/registry" XDG_CONFIG_HOME="$state/config" \
    timeout 300 "$program" --gtest_filter="$filter" >"$log" 2>&1)
  local rc=$?
  grep -q '^\[  PASSED  \] [1-9]' "$log" || [ $rc -ne 0 ] || return 3
  return $rc
}

build_target() { cmake --build "$build" --target "$1" >"$state/build.log" 2>&1; }

killed=0 survived=0 invalid=0
declare -A baseline
while IFS=$'\t' read -r file from to binary filter; do
  # The named tests must build and pass on the unchanged tree, or the
  # mutation's result says nothing.
  key="$binary $filter"
  if [ -z "${baseline[$key]:-}" ]; then
    git -C "$tree" reset -q --hard
    if build_target "$binary" && run_tests "$binary" "$filter"; then baseline[$key]=ok; else baseline[$key]=bad; fi
  fi
  if [ "${baseline[$key]}" != ok ]; then
    result=invalid; invalid=$((invalid + 1)); why=" (tests fail or run nothing unchanged)"
  elif ! mutate "$tree/$file" "$from" "$to" 2>"$state/mutate.log"; then
    result=invalid; invalid=$((invalid + 1)); why=" ($(cat "$state/mutate.log"))"
  elif ! build_target "$binary"; then
    result=invalid; invalid=$((invalid + 1)); why=" (does not build)"
  elif run_tests "$binary" "$filter"; then
    result=SURVIVED; survived=$((survived + 1)); why=
  else
    result=killed; killed=$((killed + 1)); why=
  fi
  git -C "$tree" checkout -q -- "$file"
  printf '%-8s %s: %s -> %s [%s %s]%s\n' "$result" "$file" "$from" "$to" "$binary" "$filter" "$why"
done < <(entries)
echo "mutations: $((killed + survived + invalid)); killed: $killed; survived: $survived; invalid: $invalid"
[ $survived -eq 0 ] && [ $invalid -eq 0 ]
