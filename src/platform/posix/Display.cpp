#include "src/platform/Display.h"

namespace platform {
namespace {

// The document host's windows live on this screen.
constexpr ScreenInfo kScreen{ScreenRect{0, 0, 1920, 1080}, 96, 96};

}  // namespace

bool GetScreenInfo(ScreenInfo* info) {
  *info = kScreen;
  return true;
}

bool GetFrameClientArea(const std::wstring&, ScreenRect* area) {
  *area = kScreen.workArea;
  return true;
}

}  // namespace platform
