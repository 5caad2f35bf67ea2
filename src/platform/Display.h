// The screen as the window arrangement sees it: the desktop work area and
// the host frame's client area in pixels, and the logical pixels per inch.
// Windows asks the system; posix has a virtual screen of 1920x1080 at 96 dpi,
// which the document host's windows live on.
#pragma once

#include <string>

namespace platform {

struct ScreenRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ScreenRect&) const = default;
};

struct ScreenInfo {
  ScreenRect workArea;
  int dpiX = 96;
  int dpiY = 96;
  bool operator==(const ScreenInfo&) const = default;
};

// The desktop work area (without task bars) and the screen's logical pixels
// per inch; false when they cannot be read.
bool GetScreenInfo(ScreenInfo* info);
// The client area of the MDI client window inside the top-level window of
// class frameClass; false when there is no such window. Posix: the work area.
bool GetFrameClientArea(const std::wstring& frameClass, ScreenRect* area);

}  // namespace platform
