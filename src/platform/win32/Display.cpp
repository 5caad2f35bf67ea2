#include "src/platform/Display.h"

#include <windows.h>

namespace platform {

bool GetScreenInfo(ScreenInfo* info) {
  RECT work{};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return false;
  HDC dc = ::GetDC(nullptr);
  if (dc == nullptr) return false;
  const int dpiX = ::GetDeviceCaps(dc, LOGPIXELSX);
  const int dpiY = ::GetDeviceCaps(dc, LOGPIXELSY);
  ::ReleaseDC(nullptr, dc);
  if (dpiX <= 0 || dpiY <= 0) return false;
  info->workArea = ScreenRect{work.left, work.top, work.right - work.left, work.bottom - work.top};
  info->dpiX = dpiX;
  info->dpiY = dpiY;
  return true;
}

bool GetFrameClientArea(const std::wstring& frameClass, ScreenRect* area) {
  HWND frame = ::FindWindowW(frameClass.c_str(), nullptr);
  if (frame == nullptr) return false;
  HWND client = ::FindWindowExW(frame, nullptr, L"MDIClient", nullptr);
  if (client == nullptr) return false;
  RECT rc{};
  if (!::GetClientRect(client, &rc)) return false;
  *area = ScreenRect{rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
  return true;
}

}  // namespace platform
