// What each platform supplies beneath the portable parts of System.h: the
// message box and beep as the system shows them, used when no handler is
// installed.
#pragma once

#include "src/platform/System.h"

namespace platform::native {

int ShowMessageBox(const MessageBoxRequest& request);
void AlertBeep(unsigned iconType);
void WriteDiagnostic(const std::wstring& message);

}  // namespace platform::native
