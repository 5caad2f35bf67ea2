#!/bin/bash
# Pelorant.msi under Wine, as a Windows user meets it, in a prefix of its own
# made fresh for the run: installed with msiexec, the PowerPoint stand-in
# finds the add-in from what the package wrote and translates a corpus deck
# with it; installing the same package again, and then a newer one over it,
# leaves one installed product and one add-in entry; an older package over
# the newer one is refused; removal leaves no file, key or value of ours
# beyond the user's own settings, which stay.
set -u
msi="$1"
wxs="$2"
server="$3"
standin="$4"
engine_dll="$5"
here=$(cd "$(dirname "$0")" && pwd)
source_dir="${PELORANT_SOURCE_DIR:-$here/../..}"
corpus="$source_dir/../shared/corpus/real"
wixl="${PELORANT_WIXL:-wixl}"
[ -x "$server" ] || { echo "FAIL: $server is missing: build the linux preset first" >&2; exit 1; }
[ -f "$msi" ] || { echo "FAIL: $msi is missing" >&2; exit 1; }
build=$(cd "$(dirname "$standin")" && while [ ! -f CMakeCache.txt ] && [ "$PWD" != / ]; do cd ..; done; pwd)
export WINEPREFIX="$build/wineprefix-installer"
wine() { timeout -k 10 300 "$source_dir/tools/wine-run.sh" "$@"; }
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
out=$(mktemp -d)
cleanup() {
  timeout 60 /usr/lib/wine/wineserver -k >/dev/null 2>&1
  rm -rf "$out" "$WINEPREFIX"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
rm -rf "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1
# The registry files are written once the prefix's server has nothing left to do.
settle() { timeout 60 /usr/lib/wine/wineserver -w; }
program_dir="$WINEPREFIX/drive_c/Program Files/Talvoren"
# Sections of a registry file that mention the add-in: its class, type
# library, ProgIDs, product name or folder.
ours() {  # ours FILE: one line per section (its key) that holds something of ours
  python3 - "$1" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
pattern = re.compile(r"03673A7E-14CB-4B46-A8C5-18E3A6C7C433|58584FC9-5192-40AC-BCE7-4502DEC2183D|"
                     r"VelmoraMsPowerPoint|Talvoren", re.I)
for section in re.split(r"\n(?=\[)", text):
    if pattern.search(section):
        print(section.split("\n", 1)[0])
PY
}
# Installed products named like ours, each with its version.
products() {
  python3 - "$WINEPREFIX/system.reg" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8", errors="replace").read()
for section in re.split(r"\n(?=\[)", text):
    head = section.split("\n", 1)[0]
    if "\\\\CurrentVersion\\\\Uninstall\\\\" in head and '"DisplayName"="Talvoren PowerPoint AddIn"' in section:
        version = re.search(r'"DisplayVersion"="([^"]*)"', section)
        print(version.group(1) if version else "?")
PY
}
addin_entries() {  # the PowerPoint add-in keys, machine and user
  grep -c -i '^\[Software\\\\Microsoft\\\\Office\\\\PowerPoint\\\\Addins\\\\' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" |
    awk -F: '{ n += $2 } END { print n + 0 }'
}
install() {  # install MSI LOG: msiexec /i, quietly, with its log
  wine msiexec /i "$(winpath "$1")" /qn /l*v "$(winpath "$2")" >/dev/null 2>&1
}

settle
ours "$WINEPREFIX/system.reg" >"$out/before.system"
ours "$WINEPREFIX/user.reg" >"$out/before.user"

# Installed: both DLLs in the program folder, the add-in found and working.
install "$msi" "$out/install1.log" || fail "msiexec /i $(basename "$msi") failed: $(tail -n 5 "$out/install1.log" | tr -d '\r')"
for f in Pelorant.dll OfficeAddInRes1033.dll; do
  [ -f "$program_dir/Addins/Office/$f" ] || fail "$f is not in Program Files\\Talvoren\\Addins\\Office"
done
settle
[ "$(products)" = 3.0.5.20 ] || fail "after one install the installed products are: $(products | tr '\n' ' ')"
wine regsvr32 /s "$(winpath "$engine_dll")" || fail "regsvr32 the fake engine"
if [ -d "$corpus" ]; then
  deck=poi__table_test2.pptx
  if ! PELORANT_FAKE_TRANSFORM=bracket timeout -k 10 300 "$server" -- "$source_dir/tools/wine-run.sh" "$standin" \
      open "$(winpath "$corpus/$deck")" click .BUTTON.TRAN-MODE.FakeCom:fake.en.ja click .BUTTON.TRAN-ALL \
      save "$(winpath "$out/$deck")" disconnect 2>"$out/standin.log"; then
    fail "the stand-in with the installed add-in: $(head -c 600 "$out/standin.log")"
  elif ! python3 "$source_dir/tests/e2e/check_bracketed.py" "$corpus/$deck" "$out/$deck" >"$out/check"; then
    fail "$deck through the installed add-in: $(head -n 3 "$out/check" | cut -c 1-300)"
  fi
else
  echo "note: no corpus at $corpus; the installed add-in is not run"
fi
wine regsvr32 /u /s "$(winpath "$engine_dll")" || fail "regsvr32 /u the fake engine"

# The same package again, then a newer one: still one product, one add-in.
install "$msi" "$out/install2.log" || fail "installing the same package twice failed"
settle
[ "$(products)" = 3.0.5.20 ] || fail "after installing twice the installed products are: $(products | tr '\n' ' ')"
[ "$(addin_entries)" = 1 ] || fail "after installing twice there are $(addin_entries) add-in keys"
mkdir -p "$out/files"
msiextract -C "$out/files" "$msi" >/dev/null || fail "msiextract $(basename "$msi")"
files=$(dirname "$(find "$out/files" -name Pelorant.dll | head -n 1)")
newer="$out/Pelorant-3.0.6.1.msi"
(cd "$files" && "$wixl" -a x64 -D Version=3.0.6.1 -D UpgradeBelow=3.0.7 -o "$newer" "$wxs" 2>/dev/null) ||
  fail "wixl could not build a newer package"
install "$newer" "$out/install3.log" || fail "the newer package over the older failed: $(tail -n 5 "$out/install3.log" | tr -d '\r')"
settle
[ "$(products)" = 3.0.6.1 ] || fail "after the newer package the installed products are: $(products | tr '\n' ' ')"
[ "$(addin_entries)" = 1 ] || fail "after the newer package there are $(addin_entries) add-in keys"
[ -f "$program_dir/Addins/Office/Pelorant.dll" ] || fail "the newer package left no Pelorant.dll"
if install "$msi" "$out/install4.log"; then fail "the older package was installed over the newer one"; fi
settle
[ "$(products)" = 3.0.6.1 ] || fail "after refusing the older package the installed products are: $(products | tr '\n' ' ')"

# Removed: nothing of ours left beyond what was there before and the user's
# settings (the add-in's own key under HKEY_CURRENT_USER), which stay.
wine msiexec /x "$(winpath "$newer")" /qn /l*v "$(winpath "$out/remove.log")" >/dev/null 2>&1 ||
  fail "msiexec /x failed: $(tail -n 5 "$out/remove.log" | tr -d '\r')"
settle
[ ! -e "$program_dir" ] || fail "removal left $(find "$program_dir" | head -n 5 | tr '\n' ' ')"
ours "$WINEPREFIX/system.reg" >"$out/after.system"
if ! diff "$out/before.system" "$out/after.system" >"$out/diff.system"; then
  fail "removal left machine keys: $(grep '^>' "$out/diff.system" | head -n 8 | tr '\n' ' ')"
fi
ours "$WINEPREFIX/user.reg" | grep -v -i '^\[Software\\\\Talvoren\\\\OfficeAddIn' >"$out/after.user"
if ! diff "$out/before.user" "$out/after.user" >"$out/diff.user"; then
  fail "removal left user keys: $(grep '^>' "$out/diff.user" | head -n 8 | tr '\n' ' ')"
fi
if [ -d "$corpus" ] && ! grep -q -i '^\[Software\\\\Talvoren\\\\OfficeAddIn\\\\RegV1' "$WINEPREFIX/user.reg"; then
  fail "the user's settings did not stay"
fi
[ "$failures" -eq 0 ] || exit 1
echo "installer: passed"
