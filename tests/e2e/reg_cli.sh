#!/bin/bash
# `pelorant reg` against a private registry folder: values of every type
# added, queried, confirmed or refused, deleted; a broken hive reported.
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start
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

e2e_end reg_cli
