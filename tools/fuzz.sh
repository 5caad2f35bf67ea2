#!/bin/bash
# Runs one fuzz target over its seeds for a while:
#
#   tools/fuzz.sh TARGET SECONDS [libFuzzer options...]
#
# TARGET is a name from fuzz/CMakeLists.txt (regfile, option_file,
# engines_tsv, abbreviations, resource_module, pptx_show, pptx_edit,
# pptx_translate); `all` runs each in turn for SECONDS. Builds the fuzz
# preset first. What the run adds to the corpus stays in
# build/fuzz/corpus/TARGET for the next run; a crash, leak, hang or excess
# allocation is written to build/fuzz/findings/TARGET/ and makes the script
# fail. The last line per target sums up executions per second and coverage.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: tools/fuzz.sh TARGET SECONDS [libFuzzer options...]}
seconds=${2:?usage: tools/fuzz.sh TARGET SECONDS [libFuzzer options...]}
shift 2
targets=(regfile option_file glossary engines_tsv abbreviations resource_module pptx_show pptx_edit pptx_translate)

bash tools/deps.sh --fuzz
cmake --preset fuzz >/dev/null
nice -n 19 cmake --build --preset fuzz -j "$(nproc)"

export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

run_one() {
  local t=$1; shift
  local bin=build/fuzz/fuzz/fuzz_$t seeds=build/fuzz/fuzz/seeds/$t
  local corpus=build/fuzz/corpus/$t findings=build/fuzz/findings/$t log=build/fuzz/fuzz-$t.log
  [ -x "$bin" ] || { echo "fuzz.sh: no target $t (one of: ${targets[*]})" >&2; return 2; }
  mkdir -p "$corpus" "$findings"
  # Timeouts leave room for a machine busy with other builds: a hang is a
  # loop that never ends, not a slow minute.
  local dict timeout=30 dirs=("$corpus" "$seeds")
  case $t in
    regfile) dict=fuzz/reg.dict ;;
    option_file) dict=fuzz/profile.dict ;;
    glossary) dict=fuzz/glossary.dict ;;
    engines_tsv|abbreviations) dict=fuzz/utf16.dict ;;
    resource_module) dict=fuzz/resource.dict ;;
    pptx_*) dict=fuzz/pptx.dict timeout=180
            # The real decks, read in place; libFuzzer writes only to the first folder.
            [ -d ../shared/corpus/real ] && dirs+=(../shared/corpus/real) ;;
  esac
  echo "== fuzz $t for ${seconds}s"
  local rc=0
  SECONDS=0
  # Diagnostics about damaged input go to the closed stdout and stderr;
  # libFuzzer's own report and the sanitizers' still reach the log.
  nice -n 19 "$bin" -max_total_time="$seconds" -timeout=$timeout -rss_limit_mb=2048 \
    -dict="$dict" -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$findings/" "$@" "${dirs[@]}" \
    >"$log" 2>&1 || rc=$?
  local done_line execs rate
  done_line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$log" | tail -1 || true)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  echo "$t: ${execs:-?} runs in ${SECONDS}s, ${rate:-?} exec/s, $(grep -o 'cov: [0-9]* ft: [0-9]*' <<<"$done_line" || echo 'no coverage line')"
  if [ $rc -ne 0 ]; then
    echo "fuzz.sh: $t FAILED (exit $rc); the input is in $findings/, the report in $log:" >&2
    grep -E -A25 '==[0-9]+==ERROR|fuzz property failed|deadly signal|Timeout|out-of-memory|ERROR: libFuzzer' "$log" | head -60 >&2
  fi
  return $rc
}

status=0
if [ "$target" = all ]; then
  for t in "${targets[@]}"; do run_one "$t" "$@" || status=1; done
else
  run_one "$target" "$@" || status=1
fi
exit $status
