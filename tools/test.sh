#!/bin/bash
# Sets up and runs every test: installs what it needs, builds the linux and
# windows presets, runs the Linux tests natively and the Windows tests under Wine,
# then runs every fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh --all
jobs=$(nproc)

# Dialog, clipboard and rendering tests want an X display.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  for n in $(seq 91 120); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
      Xvfb :$n -screen 0 1280x1024x24 >/dev/null 2>&1 &
      xvfb_pid=$!
      trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
      export DISPLAY=:$n
      break
    fi
  done
fi

status=0
for preset in linux windows; do
  echo "== $preset: configure and build"
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset -j "$jobs"
  if [ $preset = windows ]; then
    # Create the Wine prefix once, before tests start in parallel.
    WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  fi
  echo "== $preset: test"
  ctest --preset $preset -j "$jobs" || status=1
done

# Every parser of outside input under libFuzzer for a short, bounded time
# (tools/fuzz.sh TARGET SECONDS runs one for longer). A fuzz build that fails
# fails the run like any other.
echo "== fuzz: build and run each target for ${PELORANT_FUZZ_SECONDS:-30}s"
bash tools/fuzz.sh all "${PELORANT_FUZZ_SECONDS:-30}" || status=1
exit $status
