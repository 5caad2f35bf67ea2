// Full-screen terminal views of the options and dictionary lookup dialogs
// (and of the input boxes and message boxes they open), for people at a
// terminal. Built from the same control table as the window views, so the
// pages, controls and rules are the dialogs' own.
//
// A TerminalUi must live while any of these views runs; it owns the widget
// toolkit's application object and, for its lifetime, shows the add-in's
// message boxes as terminal dialogs instead of lines on stderr.
#pragma once

#include <memory>

#include "src/dialogs/DialogViews.h"

namespace app {

class TerminalUi {
 public:
  TerminalUi();
  ~TerminalUi();
  TerminalUi(const TerminalUi&) = delete;
  TerminalUi& operator=(const TerminalUi&) = delete;

  // False when stdin or stdout is not a terminal: nobody could answer.
  static bool Available();
  // The view makers of this terminal.
  dialogs::DialogViewFactories Factories();

 private:
  struct State;
  std::unique_ptr<State> mState;
};

}  // namespace app
