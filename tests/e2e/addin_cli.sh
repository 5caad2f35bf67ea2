#!/bin/bash
# The program as PowerPoint with the add-in loaded: the menu, the mode, the
# clipboard (a file, or the desktop's under Xvfb with xclip), the version box
# in two languages, the log, copy and paste translation.
. "$(dirname "$0")/lib/common.sh"
e2e_start corpus
export PELORANT_CLIPBOARD_FILE="$dir/clipboard"
unset DISPLAY
bracket_engine "pair	en-zz	en	yy	8	English - Zulu	Test MT	Test"
deck="$dir/deck.pptx"
cp "$corpus/docling__powerpoint_sample.pptx" "$deck"

# The menu as built; --mode shows a choice without keeping it.
expect 0 mode Test:en-xx
says 0 "tag=VelmoraMsPowerPoint.Addin.MENU.TRAN-MODE.Test:en-xx  [chosen]" menu
expect 0 menu --mode Test:en-zz --json
python3 -c 'import json, sys; assert json.loads(sys.argv[1])["mode"] == "Test:en-zz"' "$out" || fail "menu --json: $out"
prints Test:en-xx mode
expect 2 mode Nope:zz
prints Test:en-zz mode test:EN-ZZ
prints Test:en-zz mode
says 1 "not available for the translation mode Test:en-zz" copy "$deck" --slide 1 --shape "Title 1"
expect 0 mode Test:en-xx

# The clipboard itself.
expect 0 clipboard set "Grüße, 日本"
prints "Grüße, 日本" clipboard get

# The version box in English and Japanese; no log while logging is off.
for box in 'en_US.UTF-8|PowerPoint Add-in Translation' 'ja_JP.UTF-8|PowerPointアドイン翻訳'; do
  shown=$(env -u LC_ALL -u LC_MESSAGES LANG=${box%%|*} "$prog" --version)
  [ "$shown" = "${box#*|}"$'  Version 3, 0, 5, 20\n\nCopyright (C) 2013-2026 Talvoren. All rights reserved.' ] ||
    fail "${box%%|*} version box: [$shown]"
done
[ ! -e "$TMPDIR/Talvoren/AddinLog" ] || fail "log folder created while logging is off"

# Copy, then paste, with the click handlers in the log.
"$prog" reg add 'HKCU\Software\Talvoren\OfficeAddIn' /v OfficeAddinLog /t REG_DWORD /d 1 /f >/dev/null
expect 0 copy "$deck" --slide 1 --shape "Title 1" --shape "Subtitle 2"
prints $'⟦Test Table Slide⟧\r\n\r\n⟦With footnote⟧\r\n\r' clipboard get  # the shell drops the final line feed
expect 0 paste "$deck" -o "$dir/pasted.pptx" --slide 1 --shape "Subtitle 2"
says 0 'Subtitle 2: "⟦⟦Test Table Slide⟧⟧↵↵⟦⟦With footnote⟧⟧' show "$dir/pasted.pptx"
contains "$out" 'Title 1: "Test Table Slide"'
expect 0 paste "$deck" -o "$dir/box.pptx" --slide 1 --text 1:4 --shape "Title 1"
contains "$("$prog" show "$dir/box.pptx")" '"⟦⟦Test Table Slide⟧⟧↵↵⟦⟦With footnote⟧⟧↵↵ Table Slide"'
expect 0 translate "$deck" -o "$dir/all.pptx" -q --mode Test:en-xx
expect 0 --version
log=$(cat "$TMPDIR"/Talvoren/AddinLog/TVPPAddinsLog*.txt 2>/dev/null)
for handler in TranCopyClick TranPasteClick TranAllClick; do contains "$log" "AddinMain:$handler"; done
contains "$log" "  2000 pelorant:version ShowVersion CmdVersion "
cmp -s "$corpus/docling__powerpoint_sample.pptx" "$deck" || fail "the deck was changed"

# An empty clipboard: nothing is pasted and nothing written.
expect 0 clipboard set ""
expect 1 paste "$deck" -o "$dir/none.pptx" --slide 1 --shape "Subtitle 2"
[ ! -e "$dir/none.pptx" ] || fail "paste of nothing wrote a deck"

# The desktop's clipboard.
if command -v Xvfb >/dev/null && command -v xclip >/dev/null; then
  # A display of its own, named by Xvfb once it takes connections.
  exec 4< <(exec Xvfb -displayfd 1 -nolisten tcp 2>/dev/null)
  pids=($!)
  read -r -t 60 n <&4 || fail "Xvfb did not start"
  export DISPLAY=":$n"
  unset PELORANT_CLIPBOARD_FILE
  printf 'from the desktop' | xclip -selection clipboard -i  # it takes the selection after it returns
  timeout 60 sh -c 'until [ "$(xclip -selection clipboard -o)" = "from the desktop" ]; do sleep 0.1; done' 2>/dev/null
  prints "from the desktop" clipboard get
  expect 0 copy "$deck" --slide 1 --shape "Title 1"
  desk=$(timeout 60 xclip -selection clipboard -o)
  [ "$desk" = $'⟦Test Table Slide⟧\r\n\r' ] || fail "desktop copy: $(printf %q "$desk")"
  expect 0 paste "$deck" -o "$dir/desk.pptx" --slide 1 --shape "Subtitle 2"
  contains "$("$prog" show "$dir/desk.pptx")" 'Subtitle 2: "⟦⟦Test Table Slide⟧⟧'
fi

e2e_end addin_cli
