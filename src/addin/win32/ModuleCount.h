// The module's count of live objects and server locks: DllCanUnloadNow lets
// the DLL go only when it is zero. Any thread.
#pragma once

#include <windows.h>

// The add-in's own module (set at DLL_PROCESS_ATTACH).
extern HINSTANCE gAddinModule;

namespace addin::win {

void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();

}  // namespace addin::win
