#!/bin/sh
# Runs a command with DISPLAY set to a private Xvfb server that ends with it.
# Xvfb picks a free display number itself (-displayfd), so suites running at
# the same time never share or fight over one.
#   tools/with-xvfb.sh command [args...]
set -u
fifo_dir=$(mktemp -d)
trap 'rm -rf "$fifo_dir"' EXIT
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo_dir/display" 2>"$fifo_dir/xvfb.log" &
xvfb=$!
# The display number arrives on fd 3 once the server accepts connections;
# give up after ten seconds.
display=
tries=0
while [ -z "$display" ] && [ $tries -lt 100 ]; do
  display=$(head -n1 "$fifo_dir/display" 2>/dev/null)
  kill -0 $xvfb 2>/dev/null || break
  [ -n "$display" ] || { sleep 0.1; tries=$((tries + 1)); }
done
if [ -z "$display" ]; then
  echo "with-xvfb: Xvfb did not start:" >&2
  cat "$fifo_dir/xvfb.log" >&2
  kill $xvfb 2>/dev/null
  exit 1
fi
DISPLAY=":$display" "$@"
rc=$?
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null
exit $rc
