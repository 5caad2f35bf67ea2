#!/bin/bash
# The shipped DLL as it leaves the build: self-contained (only system DLLs
# imported, no mingw runtime beside it), a GUI module (never a console), the
# four COM exports, and the English resource module in the same folder.
set -euo pipefail
dll=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
fail() { echo "FAIL: $*" >&2; exit 1; }
headers=$("$objdump" -p "$dll")
system='^(ADVAPI32|GDI32|KERNEL32|msvcrt|ole32|OLEAUT32|SHELL32|USER32|COMCTL32|COMDLG32|SHLWAPI|VERSION|WINMM|UxTheme|IMM32|RPCRT4|WINHTTP)\.dll$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ -n "$imports" ] || fail "no import table found"
while read -r name; do
  grep -Eiq "$system" <<<"$name" || fail "imports $name, which is not part of Windows"
done <<<"$imports"
grep -Eq 'Subsystem[[:space:]]+00000002' <<<"$headers" || fail "not a GUI module"
for export in DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer; do
  grep -Eq "\] $export\$" <<<"$headers" || fail "does not export $export"
done
[ -f "$(dirname "$dll")/OfficeAddInRes1033.dll" ] || fail "OfficeAddInRes1033.dll is not beside $dll"
echo "ok: $(wc -l <<<"$imports") system imports, GUI, four exports, English module beside"
