#include <windows.h>

// The module handle is needed to find the add-in's own folder and resources.
HINSTANCE gAddinModule = nullptr;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    gAddinModule = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
