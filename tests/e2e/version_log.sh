#!/bin/bash
# `pelorant --version` in English and Japanese, and the log file that a run
# writes once "OfficeAddinLog" is set in the stand-in registry (its rotation
# and folder rules are the logger's own tests').
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start
unset LC_ALL LC_MESSAGES

english=$(LANG=en_US.UTF-8 "$prog" --version)
[ "$english" = $'PowerPoint Add-in Translation  Version 3, 0, 5, 20\n\nCopyright (C) 2013-2026 Talvoren. All rights reserved.' ] ||
  fail "English version box: [$english]"

japanese=$(LANG=ja_JP.UTF-8 "$prog" --version)
[ "$japanese" = $'PowerPointアドイン翻訳  Version 3, 0, 5, 20\n\nCopyright (C) 2013-2026 Talvoren. All rights reserved.' ] ||
  fail "Japanese version box: [$japanese]"

# Without the English module beside it the program speaks Japanese.
mkdir "$dir/alone"
cp "$prog" "$dir/alone/pelorant"
alone=$(LANG=en_US.UTF-8 "$dir/alone/pelorant" --version | head -n 1)
[ "$alone" = "PowerPointアドイン翻訳  Version 3, 0, 5, 20" ] || fail "no module: [$alone]"

logdir="$TMPDIR/Talvoren/AddinLog"
"$prog" --version >/dev/null
[ ! -e "$logdir" ] || fail "log folder created while logging is off"

"$prog" reg add 'HKCU\Software\Talvoren\OfficeAddIn' /v OfficeAddinLog /t REG_DWORD /d 1 /f >/dev/null ||
  fail "reg add OfficeAddinLog"
"$prog" --version >/dev/null
log="$logdir/TVPPAddinsLog0.txt"
if [ -f "$log" ]; then
  grep -qaE $'^[0-9]{4}/[0-9]{1,2}/[0-9]{1,2} [0-9]{1,2}:[0-9]{1,2}:[0-9]{1,2}\\.[0-9]{1,3}  2000 pelorant:version ShowVersion CmdVersion [0-9]+\r$' "$log" ||
    fail "log line layout: $(cat -A "$log")"
else
  fail "no log file at $log"
fi

# An unwritable folder and no usable temporary folder: the program still works.
touch "$dir/plain"
out=$(TMPDIR="$dir/plain" "$prog" reg add 'HKCU\Software\Talvoren\OfficeAddIn' /v LogFolderPath /t REG_SZ /d "$dir/plain/sub" /f 2>&1 &&
      TMPDIR="$dir/plain" LANG=en_US.UTF-8 "$prog" --version 2>&1)
case "$out" in *"Version 3, 0, 5, 20"*) ;; *) fail "unwritable log folder broke the program: [$out]" ;; esac

e2e_end version_log
