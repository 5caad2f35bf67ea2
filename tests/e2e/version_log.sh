#!/bin/bash
# `pelorant --version` in English and Japanese, and the log file that a run
# writes once "OfficeAddinLog" is set in the stand-in registry (the line
# layout, rotation, folder rules and the fallback to Japanese without the
# English module are the support suite's).
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start
unset LC_ALL LC_MESSAGES

for box in 'en_US.UTF-8|PowerPoint Add-in Translation' 'ja_JP.UTF-8|PowerPointアドイン翻訳'; do
  shown=$(LANG=${box%%|*} "$prog" --version)
  [ "$shown" = "${box#*|}"$'  Version 3, 0, 5, 20\n\nCopyright (C) 2013-2026 Talvoren. All rights reserved.' ] ||
    fail "${box%%|*} version box: [$shown]"
done

logdir="$TMPDIR/Talvoren/AddinLog"
"$prog" --version >/dev/null
[ ! -e "$logdir" ] || fail "log folder created while logging is off"
"$prog" reg add 'HKCU\Software\Talvoren\OfficeAddIn' /v OfficeAddinLog /t REG_DWORD /d 1 /f >/dev/null ||
  fail "reg add OfficeAddinLog"
"$prog" --version >/dev/null
contains "$(cat "$logdir/TVPPAddinsLog0.txt" 2>&1)" "  2000 pelorant:version ShowVersion CmdVersion "

e2e_end version_log
