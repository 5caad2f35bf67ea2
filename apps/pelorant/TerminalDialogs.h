// Full-screen terminal views of the options and dictionary lookup dialogs
// (and of the input boxes and message boxes they open), for people at a
// terminal. Built from the same control table as the window views, so the
// pages, controls and rules are the dialogs' own.
#pragma once

#include <string>

namespace app {

// Makes these views, and the progress line, the ones the add-in's dialogs
// open with. The program calls it once at start, as the Windows add-in
// registers its window views once.
void RegisterTerminalViews();

// False when stdin or stdout is not a terminal: nobody could answer.
bool TerminalAvailable();

// What the command line answers for the person at the terminal: the word
// typed into the next dictionary lookup before it searches by itself, and
// how the last dialog was closed (IDOK, IDCANCEL; 0 when none closed since
// the last call), which the add-in's command keeps to itself.
void TypeIntoNextLookup(const std::wstring& word);
int TakeDialogClose();

}  // namespace app
