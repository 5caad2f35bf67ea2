// A picture as the platform services hand it around: button faces from the
// program's resources and on the host's buttons, bitmaps on the clipboard.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// 0xAARRGGBB pixels, rows from the top.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
  bool Empty() const { return width <= 0 || height <= 0; }
};

}  // namespace platform
