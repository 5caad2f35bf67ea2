// The message box of a program without windows: the box is printed as text
// and a question is answered on the terminal or by a preset answer. The
// posix ShowMessageBox runs it over stderr and the terminal; it is portable
// so that its behaviour is tested on both platforms with injected streams.
#pragma once

#include <functional>
#include <string>

#include "src/platform/System.h"

namespace platform {

struct ConsoleIo {
  // Receives the box's text, UTF-8, one or more whole lines.
  std::function<void(const std::string& utf8)> write;
  // Reads one answer line from the user; false at end of input. Only called
  // when `interactive` is set.
  std::function<bool(std::string* line)> readLine;
  bool interactive = false;
  // "yes", "no", "ok", "cancel" (any case); empty when none was preset.
  std::string presetAnswer;
};

// Shows the box through `io` and returns IDOK, IDCANCEL, IDYES or IDNO.
// A box with only an OK button never waits for an answer.
int ConsoleMessageBox(const MessageBoxRequest& request, ConsoleIo& io);

// The word that names a box's icon kind on the terminal: "error",
// "question", "warning", "information", or empty for a plain box.
std::string IconKindName(unsigned style);

}  // namespace platform
