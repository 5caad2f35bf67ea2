#!/bin/sh
# Runs a Windows test binary under Wine with a private prefix beside the build.
# The first start creates the prefix (about ten seconds); later starts reuse it.
bin="$1"
dir=$(cd "$(dirname "$bin")" && pwd)
while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -f "$dir/CMakeCache.txt" ] || dir=$(cd "$(dirname "$bin")" && pwd)
export WINEPREFIX="${WINEPREFIX:-$dir/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
exec "$wine" "$@"
