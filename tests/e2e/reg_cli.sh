#!/bin/bash
# `pelorant reg` against a private registry folder: values of every type are
# added, queried in reg.exe's layout, confirmed or refused, and deleted; a
# broken hive file is kept aside and never overwritten.
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start
reg=$PELORANT_REGISTRY
mkdir -p "$reg"

key='HKCU\Software\Talvoren\OfficeAddIn'

expect 0 reg add "$key" /v OfficeAddinLog /t REG_DWORD /d 1 /f
contains "$out" "The operation completed successfully."
expect 0 reg add "$key" /v LogFolderPath /t REG_EXPAND_SZ /d '%temp%\Talvoren\AddinLog' /f
expect 0 reg add "$key" /v PPLogFileName /d 'Log "quoted" \ name' /f
expect 0 reg add "$key" /v Pairs /t REG_MULTI_SZ /d 'en.ja#ja.en' /s '#' /f
expect 0 reg add "$key" /v Limit /t REG_QWORD /d 0x100000000 /f
expect 0 reg add "$key" /v Raw /t REG_BINARY /d 00ff7f /f
expect 0 reg add "$key\RegV1\PowerPoint" /ve /d 'default set' /f

expect 0 reg query "$key"
contains "$out" 'HKEY_CURRENT_USER\Software\Talvoren\OfficeAddIn'
contains "$out" '    OfficeAddinLog    REG_DWORD    0x1'
contains "$out" '    LogFolderPath    REG_EXPAND_SZ    %temp%\Talvoren\AddinLog'
contains "$out" '    PPLogFileName    REG_SZ    Log "quoted" \ name'
contains "$out" '    Pairs    REG_MULTI_SZ    en.ja\0ja.en'
contains "$out" '    Limit    REG_QWORD    0x100000000'
contains "$out" '    Raw    REG_BINARY    00FF7F'
contains "$out" 'HKEY_CURRENT_USER\Software\Talvoren\OfficeAddIn\RegV1'

expect 0 reg query 'HKEY_CURRENT_USER\software\talvoren' /s
contains "$out" '    (Default)    REG_SZ    default set'

expect 0 reg query "$key" /v officeaddinlog
contains "$out" 'OfficeAddinLog    REG_DWORD    0x1'
expect 1 reg query "$key" /v NoSuchValue
contains "$err" "unable to find"

# The hive file is regedit's export syntax.
grep -q '^Windows Registry Editor Version 5.00' "$reg/HKCU.reg" || fail "HKCU.reg lacks the header"
grep -q '^"OfficeAddinLog"=dword:00000001$' "$reg/HKCU.reg" || fail "HKCU.reg lacks the dword line"
grep -q '^"LogFolderPath"=hex(2):' "$reg/HKCU.reg" || fail "HKCU.reg lacks the hex(2) line"

# Overwriting without /f asks; nobody to ask means no, and nothing changes.
expect 1 reg add "$key" /v OfficeAddinLog /t REG_DWORD /d 7
expect 0 reg query "$key" /v OfficeAddinLog
contains "$out" 'REG_DWORD    0x1'
PELORANT_ANSWER=yes expect 0 reg add "$key" /v OfficeAddinLog /t REG_DWORD /d 7
expect 0 reg query "$key" /v OfficeAddinLog
contains "$out" 'REG_DWORD    0x7'
# A scripted answer on stdin is read when stdin is a terminal; here it is
# not, so the preset answer decides.
PELORANT_ANSWER=no expect 1 reg delete "$key" /v OfficeAddinLog
expect 0 reg query "$key" /v OfficeAddinLog

# Bad input: clear errors, nothing written.
cp "$reg/HKCU.reg" "$reg/before"
expect 2 reg add "$key" /v X /t REG_DWORD /d 4294967296 /f
contains "$err" "invalid REG_DWORD data"
expect 2 reg add "$key" /v X /t REG_BINARY /d 0g /f
expect 2 reg add "$key" /v X /t REG_WHATEVER /d 1 /f
expect 2 reg add 'HKXX\Software' /v X /d 1 /f
expect 2 reg add "$key" /v X /bogus /f
expect 2 reg frobnicate "$key"
expect 2 reg delete HKCU /f
cmp -s "$reg/HKCU.reg" "$reg/before" || fail "a refused command changed HKCU.reg"

# Deletion of values, of all values, and of whole trees.
expect 0 reg delete "$key" /v Raw /f
expect 1 reg query "$key" /v Raw
expect 1 reg delete "$key" /v Raw /f
expect 0 reg delete "$key" /va /f
expect 0 reg query "$key"
case "$out" in *REG_*) fail "values left after /va: $out" ;; esac
contains "$out" 'OfficeAddIn\RegV1'
expect 0 reg delete 'HKCU\Software\Talvoren' /f
expect 1 reg query 'HKCU\Software\Talvoren'
expect 1 reg delete 'HKCU\Software\Talvoren' /f

# Machine-wide hives live beside it under PELORANT_REGISTRY.
expect 0 reg add 'HKLM\Software\Talvoren\OfficeAddIn' /v LogLevel /t REG_DWORD /d 2000 /f
[ -f "$reg/HKLM.reg" ] || fail "HKLM.reg not created"
expect 0 reg query 'HKLM\Software\Talvoren\OfficeAddIn' /v LogLevel
contains "$out" '0x7d0'

# A hive file that cannot be parsed is moved aside, reported, and kept.
printf 'not a registry file\n' >"$reg/HKCR.reg"
expect 1 reg query 'HKCR\CLSID'
contains "$err" "cannot be read"
ls "$reg"/HKCR.reg.bad-* >/dev/null 2>&1 || fail "the broken HKCR.reg was not moved aside"
grep -q '^not a registry file$' "$reg"/HKCR.reg.bad-* || fail "the broken file's content was changed"
expect 0 reg add 'HKCR\CLSID\{X}' /ve /d 'new' /f
grep -q '^not a registry file$' "$reg"/HKCR.reg.bad-* || fail "the broken file was overwritten"

e2e_end reg_cli
