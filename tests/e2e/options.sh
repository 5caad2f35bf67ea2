#!/bin/bash
# `pelorant options` as a new user would run it, against a private stand-in
# registry and data folder: every command end to end, the option file's
# default place, and bad input that must fail clearly and change nothing
# (the stored keys' and the option file's layout are the options suite's).
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start
work=$dir
mkdir -p "$PELORANT_REGISTRY"
run() { "$prog" options "$@" >"$work/out" 2>"$work/err"; }
expect_ok() { run "$@" || fail "options $* exited $? ($(cat "$work/err"))"; }
expect_error() {
  local hive_before
  hive_before=$(cat "$PELORANT_REGISTRY/HKCU.reg" 2>/dev/null)
  if run "$@"; then fail "options $* should fail"; fi
  [ -s "$work/err" ] || fail "options $* failed without a message"
  [ "$hive_before" = "$(cat "$PELORANT_REGISTRY/HKCU.reg" 2>/dev/null)" ] || fail "options $* changed the registry"
}
has_line() { grep -qxF -- "$2" "$1" || fail "$1 lacks the line: $2"; }
lacks() { ! grep -qF -- "$2" "$1" || fail "$1 holds: $2"; }

expect_ok add Bilingual
expect_ok set Bilingual DualPrint=True _TimeOutMSec=0x3E8 --hidden
expect_ok export Bilingual "$work/x/b.ini"
[ -f "$work/x/b.ini" ] || fail "export did not create the folder and file"
expect_ok import Copy "$work/x/b.ini" --hidden
expect_ok show Copy --hidden
has_line "$work/out" "Name=Copy"
has_line "$work/out" "DualPrint=True"
has_line "$work/out" "_TimeOutMSec=-1"
[ "$(grep -c '=' "$work/out")" = 43 ] || fail "show --hidden should list 43 values"
expect_ok show Bilingual --hidden
has_line "$work/out" "_TimeOutMSec=1000"
expect_ok show Copy
lacks "$work/out" "_TimeOutMSec"
expect_ok list
[ "$(cat "$work/out")" = $'* default\n  Bilingual\n  Copy' ] || fail "list: $(cat "$work/out")"

# Bad input: a clear message, a failing status, and nothing changed.
expect_error set Copy Dualprint=True
expect_error set Copy DualPrint=yes
expect_error set Copy WindowAlign=5 DualPrint=False
expect_error set Copy _TimeOutMSec=10
expect_error set Copy _TimeOutMSec=ten --hidden
expect_error set Nobody DualPrint=True
expect_error add Copy
expect_error remove default
expect_error select Nobody
expect_error import Other "$work/missing.ini"
printf '[Elsewhere]\r\nDualPrint=True\r\n' >"$work/nosection.ini"
expect_error import Other "$work/nosection.ini"
expect_error export Nobody "$work/n.ini"
expect_error export Copy "$work/x"
expect_error reset </dev/null
expect_error bogus

# A glossary is kept with its whole path; one that cannot be used is refused.
printf '# terms\nPelorant\t\nslide\tdiapositiva\n' >"$work/terms.tsv"
pushd "$work" >/dev/null
expect_ok set Copy Glossary=terms.tsv
popd >/dev/null
expect_ok show Copy
has_line "$work/out" "Glossary=$work/terms.tsv"
expect_error set Copy Glossary="$work/none.tsv"
grep -qF "$work/none.tsv: there is no such file" "$work/err" || fail "a missing glossary is not named: $(cat "$work/err")"
printf 'slide diapositiva\n' >"$work/bad.tsv"
expect_error set Copy Glossary="$work/bad.tsv"
grep -qF "line 1 has no tab" "$work/err" || fail "a bad glossary line is not named: $(cat "$work/err")"
expect_ok set Copy Glossary=
lacks "$PELORANT_REGISTRY/HKCU.reg" '"Glossary"'

# Names outside ASCII go through the registry and the default file place.
name='Übersicht 日本'
expect_ok add "$name"
expect_ok export "$name"
[ -f "$XDG_CONFIG_HOME/Talvoren/Addins/Office/$name.ini" ] || fail "default export place not used"
expect_ok import "Kopie" "$XDG_CONFIG_HOME/Talvoren/Addins/Office/$name.ini"
expect_ok select "$name"
expect_ok remove Kopie
expect_ok list
[ "$(cat "$work/out")" = $'  default\n  Bilingual\n  Copy\n* '"$name" ] || fail "list: $(cat "$work/out")"

PELORANT_ANSWER=yes run reset || fail "reset after a Yes failed"
expect_ok list
[ "$(cat "$work/out")" = "* default" ] || fail "reset should leave only default: $(cat "$work/out")"

e2e_end options
