// Shows nothing and answers a window for every call, so that the caller
// takes the help as shown and tries no other way.
#include <windows.h>

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpW(HWND, LPCWSTR, UINT, DWORD_PTR) {
  return ::GetDesktopWindow();
}
