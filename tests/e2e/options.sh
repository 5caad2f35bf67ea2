#!/bin/bash
# `pelorant options` as a new user would run it: every command, the option
# file's default place, and bad input that fails clearly and changes nothing.
set -u
. "$(dirname "$0")/lib/common.sh"
e2e_start
expect_ok() { expect 0 options "$@"; }
expect_error() {
  local hive_before
  hive_before=$(cat "$PELORANT_REGISTRY/HKCU.reg" 2>/dev/null)
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

e2e_end options
