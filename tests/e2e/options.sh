#!/bin/bash
# `pelorant options` as a new user would run it: every command, the option
# file's default place, and bad input that fails clearly and changes nothing;
# then `pelorant reg` on the same registry folder: values of every type added,
# queried, confirmed or refused, deleted; a broken hive reported.
. "$(dirname "$0")/lib/common.sh"
e2e_start
expect_ok() { expect 0 options "$@"; }
expect_error() {
  local hive_before=$(cat "$PELORANT_REGISTRY/HKCU.reg" 2>/dev/null)
  "$prog" options "$@" >/dev/null 2>"$dir/err" </dev/null && fail "options $* should fail"
  [ -s "$dir/err" ] || fail "options $* failed without a message"
  [ "$hive_before" = "$(cat "$PELORANT_REGISTRY/HKCU.reg" 2>/dev/null)" ] || fail "options $* changed the registry"
}

expect_ok add Bilingual
expect_ok set Bilingual DualPrint=True _TimeOutMSec=0x3E8 --hidden
expect_ok export Bilingual "$dir/x/b.ini"
expect_ok import Copy "$dir/x/b.ini" --hidden
expect_ok show Copy --hidden
grep -qx "Name=Copy" <<<"$out" && grep -qx "DualPrint=True" <<<"$out" || fail "the imported set: $out"
says 0 "_TimeOutMSec=1000" options show Bilingual --hidden
expect_ok show Copy
case "$out" in *_TimeOutMSec*) fail "show without --hidden listed a hidden value" ;; esac
prints $'* default\n  Bilingual\n  Copy' options list

# Bad input: a clear message, a failing status, and nothing changed.
expect_error set Copy DualPrint=yes
expect_error set Copy WindowAlign=5 DualPrint=False
expect_error set Nobody DualPrint=True
expect_error add Copy
expect_error remove default
expect_error import Other "$dir/missing.ini"
expect_error export Copy "$dir/x"
expect_error reset

# A glossary is kept with its whole path; one that cannot be used, refused.
printf '# terms\nPelorant\t\nslide\tdiapositiva\n' >"$dir/terms.tsv"
(cd "$dir" && "$prog" options set Copy Glossary=terms.tsv) || fail "options set Glossary"
says 0 "Glossary=$dir/terms.tsv" options show Copy
printf 'slide diapositiva\n' >"$dir/bad.tsv"
expect_error set Copy Glossary="$dir/bad.tsv"
expect_ok set Copy Glossary=
grep -qF '"Glossary"' "$PELORANT_REGISTRY/HKCU.reg" && fail "an emptied glossary is still stored"

# Names outside ASCII go through the registry and the default file place.
name='Übersicht 日本'
expect_ok add "$name"
expect_ok export "$name"
expect_ok import "Kopie" "$XDG_CONFIG_HOME/Talvoren/Addins/Office/$name.ini"
expect_ok select "$name"
prints $'  default\n  Bilingual\n  Copy\n* '"$name"$'\n  Kopie' options list

PELORANT_ANSWER=yes expect_ok reset
prints "* default" options list

# `pelorant reg`, the registry itself.
reg=$PELORANT_REGISTRY
key='HKCU\Software\Talvoren\OfficeAddIn'

says 0 "The operation completed successfully." reg add "$key" /v OfficeAddinLog /t REG_DWORD /d 1 /f
expect 0 reg add "$key" /v LogFolderPath /t REG_EXPAND_SZ /d '%temp%\Talvoren\AddinLog' /f
expect 0 reg add "$key" /v PPLogFileName /d 'Log "quoted" \ name' /f
expect 0 reg add "$key" /v Pairs /t REG_MULTI_SZ /d 'en.ja#ja.en' /s '#' /f
expect 0 reg add "$key" /v Limit /t REG_QWORD /d 0x100000000 /f
expect 0 reg add "$key" /v Raw /t REG_BINARY /d 00ff7f /f
expect 0 reg add "$key\RegV1\PowerPoint" /ve /d 'default set' /f

expect 0 reg query "$key"
for line in 'HKEY_CURRENT_USER\Software\Talvoren\OfficeAddIn' '    OfficeAddinLog    REG_DWORD    0x1' \
  '    LogFolderPath    REG_EXPAND_SZ    %temp%\Talvoren\AddinLog' '    PPLogFileName    REG_SZ    Log "quoted" \ name' \
  '    Pairs    REG_MULTI_SZ    en.ja\0ja.en' '    Limit    REG_QWORD    0x100000000' '    Raw    REG_BINARY    00FF7F' \
  'HKEY_CURRENT_USER\Software\Talvoren\OfficeAddIn\RegV1'; do
  contains "$out" "$line"
done
says 0 '    (Default)    REG_SZ    default set' reg query 'HKEY_CURRENT_USER\software\talvoren' /s
says 0 'OfficeAddinLog    REG_DWORD    0x1' reg query "$key" /v officeaddinlog
says 1 "unable to find" reg query "$key" /v NoSuchValue

# Without /f it asks: no terminal means no, unless PELORANT_ANSWER says.
expect 1 reg add "$key" /v OfficeAddinLog /t REG_DWORD /d 7
says 0 'REG_DWORD    0x1' reg query "$key" /v OfficeAddinLog
PELORANT_ANSWER=yes expect 0 reg add "$key" /v OfficeAddinLog /t REG_DWORD /d 7
says 0 'REG_DWORD    0x7' reg query "$key" /v OfficeAddinLog
PELORANT_ANSWER=no expect 1 reg delete "$key" /v OfficeAddinLog
expect 0 reg query "$key" /v OfficeAddinLog

# Bad input: clear errors, nothing written.
cp "$reg/HKCU.reg" "$reg/before"
says 2 "invalid REG_DWORD data" reg add "$key" /v X /t REG_DWORD /d 4294967296 /f
expect 2 reg add "$key" /v X /t REG_BINARY /d 0g /f
expect 2 reg add "$key" /v X /t REG_WHATEVER /d 1 /f
expect 2 reg add 'HKXX\Software' /v X /d 1 /f
expect 2 reg add "$key" /v X /bogus /f
expect 2 reg delete HKCU /f
cmp -s "$reg/HKCU.reg" "$reg/before" || fail "a refused command changed HKCU.reg"

# Deletion of values, of all values, and of whole trees.
expect 0 reg delete "$key" /v Raw /f
expect 1 reg query "$key" /v Raw
expect 0 reg delete "$key" /va /f
says 0 'OfficeAddIn\RegV1' reg query "$key"
case "$out" in *REG_*) fail "values left after /va: $out" ;; esac
expect 0 reg delete 'HKCU\Software\Talvoren' /f
expect 1 reg query 'HKCU\Software\Talvoren'

# Machine-wide hives live beside it.
expect 0 reg add 'HKLM\Software\Talvoren\OfficeAddIn' /v LogLevel /t REG_DWORD /d 2000 /f
says 0 '0x7d0' reg query 'HKLM\Software\Talvoren\OfficeAddIn' /v LogLevel

# A hive file that cannot be parsed is reported.
printf 'not a registry file\n' >"$reg/HKCR.reg"
says 1 "cannot be read" reg query 'HKCR\CLSID'

e2e_end options
