#!/bin/bash
# Writes the seed corpora of the fuzz targets into OUT/<target>/: hives,
# option files and the engine cache as the program itself writes them, the
# English resource module and abbreviation tables. The deck targets take
# their seeds from the shared corpus directly (tools/fuzz.sh).
#
#   make_seeds.sh PELORANT ENGLISH_MODULE OUT
set -euo pipefail
pelorant=$1 module=$2 out=$3
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export PELORANT_REGISTRY="$work/registry" XDG_CONFIG_HOME="$work/config" HOME="$work"
export LSAN_OPTIONS="suppressions=$source_dir/fuzz/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
mkdir -p "$PELORANT_REGISTRY" "$XDG_CONFIG_HOME"
rm -rf "$out"
for t in regfile option_file glossary engines_tsv abbreviations resource_module pptx_show pptx_edit pptx_translate; do mkdir -p "$out/$t"; done
utf16() { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE; }
run() { "$pelorant" "$@" >/dev/null; }

# Hives: every value type, the default value, nested keys, and the option
# sets the options command stores.
key='HKCU\Software\Talvoren\OfficeAddIn\RegV1\Common'
run reg add "$key" /v Text /d 'a "quoted" \ text' /f
run reg add "$key" /ve /d default /f
run reg add "$key" /v Path /t REG_EXPAND_SZ /d '%APPDATA%\x' /f
run reg add "$key" /v Count /t REG_DWORD /d 0x7fffffff /f
run reg add "$key" /v Big /t REG_QWORD /d 18446744073709551615 /f
run reg add "$key" /v List /t REG_MULTI_SZ /s '|' /d 'one|two|three' /f
run reg add "$key" /v Blob /t REG_BINARY /d 00ff10ab /f
run reg add "$key" /v Nothing /t REG_NONE /f
run reg add "$key\\Deeper\\Still" /v Unicode /d 'Übersetzung 翻訳 🙂' /f
cp "$PELORANT_REGISTRY/HKCU.reg" "$out/regfile/values.reg"
run options add Bilingual
run options set Bilingual DualPrint=True
cp "$PELORANT_REGISTRY/HKCU.reg" "$out/regfile/options.reg"

# A wide hand-written hive, so that inputs may grow to thousands of keys.
{ printf 'Windows Registry Editor Version 5.00\r\n\r\n'
  for i in $(seq 1 300); do printf '[HKEY_CURRENT_USER\\Software\\K%d]\r\n"V"=dword:%08x\r\n\r\n' "$i" "$i"; done
} > "$out/regfile/wide.reg"

# Option files: exported sets in UTF-8, and the same in UTF-16LE.
run options export default "$out/option_file/default.ini"
run options export Bilingual "$out/option_file/bilingual.ini"
utf16 < "$out/option_file/bilingual.ini" > "$out/option_file/bilingual-utf16.ini"
printf '; kept by hand\r\n[Other]\r\nx=1\r\n\r\n' | cat - "$out/option_file/default.ini" > "$out/option_file/sections.ini"

# A glossary: a comment, a term with its translation, one kept as written.
printf '\xef\xbb\xbf# terms\r\nHelp Desk\tCentro de ayuda\r\nPelorant\t\n' > "$out/glossary/terms.txt"

# The engine cache, written by a rebuild over a scripted fake engine side.
T=$'\t'
printf 'implementation%sFakeMT\npair%sen-es%sen%ses%s0x9%sEnglish - Spanish%sFake MT%sFake\npair%sja-en%sja%sen%s1%s日本語 - English%sFake MT%sFake\n' \
  "$T" "$T" "$T" "$T" "$T" "$T" "$T" "$T" "$T" "$T" "$T" "$T" "$T" "$T" "$T" > "$work/side.txt"
PELORANT_FAKE_ENGINE="$work/side.txt" "$pelorant" engines refresh >/dev/null
cp "$XDG_CONFIG_HOME/Talvoren/Addins/Office/Engines.tsv" "$out/engines_tsv/Engines.tsv"

# Abbreviation tables, with and without a byte-order mark.
printf 'Mr.\r\nMrs.\r\ne.g.\r\ni.e.\r\nU.S.A.\r\nDr.\r\n' | utf16 > "$out/abbreviations/abbrev_en.tbl"
printf 'No.\r\nfig.\r\n' | iconv -f UTF-8 -t UTF-16LE > "$out/abbreviations/no-bom.tbl"

cp "$module" "$out/resource_module/"
