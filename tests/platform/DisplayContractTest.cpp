// The display contract: a work area and pixels per inch the window
// arrangement can convert to points, on the real screen and the virtual one.
#include <gtest/gtest.h>

#include "src/platform/Display.h"
#include "src/platform/Registry.h"

namespace {

TEST(DisplayContract, TheScreenHasAnAreaAndADensity) {
  platform::ScreenInfo info;
  ASSERT_TRUE(platform::GetScreenInfo(&info));
  EXPECT_GT(info.dpiX, 0);
  EXPECT_GT(info.dpiY, 0);
  EXPECT_GT(info.workArea.width, 0);
  EXPECT_GT(info.workArea.height, 0);
  // No host frame of this name exists anywhere.
  platform::ScreenRect frame;
  if (platform::RegistryHiveFile(platform::Hive::CurrentUser).empty()) {
    EXPECT_FALSE(platform::GetFrameClientArea(L"PelorantNoSuchFrameClass", &frame));
  }
}

}  // namespace
