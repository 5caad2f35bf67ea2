#!/bin/sh
# Runs the dialog view suite on a private Xvfb display with the system
# language of Wine set to ja or en.
#   run.sh ja|en test_dialogviews.exe [gtest args]
# The suite has a Wine prefix of its own: the windows it opens live on an X
# display that ends with the run, and no other suite's process may have
# joined that desktop. Xvfb has no window manager, so Wine draws the frames
# and captions itself (Managed=N). The fonts the string tables name are mapped to fonts Debian installs
# (Noto Sans CJK for the Japanese UI font), as Windows would have them.
set -eu
lang=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
tools=$here/../../tools
# Title bars use the system's own fonts (MS Shell Dlg, Segoe UI, Tahoma);
# on a Japanese system they cover Japanese, as Windows' own do.
case $lang in
  ja) export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 system_font="Noto Sans CJK JP" ;;
  *) export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 system_font="Liberation Sans" ;;
esac
build=$(dirname "$1")
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
export WINEPREFIX="$build/wineprefix-dialogviews"
reg=fonts-$lang.reg
# regedit reads UTF-16 with a byte order mark.
{
  printf '\377\376'
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"\357\274\255\357\274\263 \357\274\260\343\202\264\343\202\267\343\203\203\343\202\257"="Noto Sans CJK JP"\r\n"Segoe UI"="%s"\r\n"Tahoma"="%s"\r\n"MS Shell Dlg"="%s"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n' "$system_font" "$system_font" "$system_font" |
    iconv -f UTF-8 -t UTF-16LE
} >"$reg"
# The prefix's processes end before the display does, so the next run
# starts a desktop on its own display.
"$tools/with-xvfb.sh" sh -c '"$1" regedit /S "$2" && shift 2 && "$@"; rc=$?; timeout 60 /usr/lib/wine/wineserver -w; exit $rc' \
  sh "$tools/wine-run.sh" "$reg" "$tools/wine-run.sh" "$@"
