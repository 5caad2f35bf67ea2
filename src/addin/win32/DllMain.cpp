#include <windows.h>

#include "src/dialogs/win32/Win32SmallDialogViews.h"

// The module handle is needed to find the add-in's own folder and resources.
HINSTANCE gAddinModule = nullptr;

// Nothing is freed here: at DLL_PROCESS_DETACH the loader lock is held, and
// FreeLibrary under it can deadlock. The language resource module is
// released at shut-down (ReleaseLanguageResources) instead.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    gAddinModule = instance;
    DisableThreadLibraryCalls(instance);
    // Only makers are stored here; no window or library is touched under
    // the loader lock.
    dialogs::win32::RegisterWindowViews();
  }
  return TRUE;
}
