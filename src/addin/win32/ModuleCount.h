// The module's count of live objects and server locks: DllCanUnloadNow lets
// the DLL go only when it is zero, no add-in is connected and the host holds
// none of its click sinks. Any thread.
#pragma once

#include <windows.h>

#include "src/platform/win32/ComOwners.h"

// The add-in's own module (set at DLL_PROCESS_ATTACH).
extern HINSTANCE gAddinModule;

namespace addin::win {

void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();

// A COM object of this DLL: it keeps the module in use while it lives.
template <class Self, class Interface>
class ModuleObject : public platform::win::ComObject<Self, Interface> {
 public:
  ModuleObject() { ModuleAddRef(); }

 protected:
  ~ModuleObject() { ModuleRelease(); }
};

}  // namespace addin::win
