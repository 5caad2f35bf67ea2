// The progress dialog's window on Windows: the modeless dialog of template
// 207 (status text, progress bar, count label and counts, cancel button),
// made on the dialog thread from the module this code is linked into.
#pragma once

#include <memory>

#include "src/dialogs/ProgressView.h"

namespace dialogs::win32 {

std::unique_ptr<ProgressView> MakeProgressView();

}  // namespace dialogs::win32
