#include "src/platform/Display.h"

#include <mutex>

namespace platform {
namespace {

// The document host's windows live on this screen; the command line and
// tests may change it, so it is guarded for the odd caller off the
// user-interface thread.
std::mutex gScreenMutex;
ScreenInfo gScreen{ScreenRect{0, 0, 1920, 1080}, 96, 96};

}  // namespace

bool GetScreenInfo(ScreenInfo* info) {
  std::lock_guard<std::mutex> lock(gScreenMutex);
  *info = gScreen;
  return gScreen.dpiX > 0 && gScreen.dpiY > 0;
}

bool GetFrameClientArea(const std::wstring&, ScreenRect* area) {
  std::lock_guard<std::mutex> lock(gScreenMutex);
  *area = gScreen.workArea;
  return true;
}

void SetVirtualScreen(const ScreenInfo& info) {
  std::lock_guard<std::mutex> lock(gScreenMutex);
  gScreen = info;
}

}  // namespace platform
