// What registering the add-in writes: its class and ProgIDs, its type
// library, the host's add-in key that loads it at start-up, and the add-in's
// own values under the machine-wide settings key. Unregistering removes
// exactly these and nothing else: the settings key also holds the installed
// defaults, the engine-cache refresh trigger and the log settings, and stays.
#pragma once

#include <string>

#include <windows.h>

namespace addin::win {

inline constexpr wchar_t kTypeLibId[] = L"{58584FC9-5192-40AC-BCE7-4502DEC2183D}";

// Both answer S_OK or the first failing HRESULT; they go on past a failure
// so that as much as possible is written (or removed).
HRESULT RegisterAddin(const std::wstring& modulePath);
HRESULT UnregisterAddin();

}  // namespace addin::win
