// The progress dialog of the Linux program: one progress line on stderr
// (status, count and percentage, rewritten in place), and Ctrl-C in the
// place of the cancel button, which asks the cancel question. Lines are only
// written when stderr is a terminal. posix only.
#pragma once

#include <memory>

#include "src/dialogs/ProgressView.h"

namespace dialogs {

// `forceOutput` writes the line even when stderr is not a terminal (tests).
std::unique_ptr<ProgressView> MakeTerminalProgressView(bool forceOutput = false);

}  // namespace dialogs
