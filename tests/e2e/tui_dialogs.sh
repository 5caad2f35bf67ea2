#!/bin/bash
# The terminal dialogs, driven in tmux (see tui_dialogs.py).
exec python3 "$(dirname "$0")/tui_dialogs.py" "$1"
