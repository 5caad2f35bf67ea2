#include "apps/pelorant/TextColumns.h"

#include <cstdint>

namespace app {

std::size_t TextColumns(std::wstring_view text, bool accelerators) {
  std::size_t n = 0;
  for (wchar_t c : text) {
    if (accelerators && c == L'&') continue;
    const auto u = static_cast<std::uint32_t>(c);
    const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3) ||
                      (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                      (u >= 0xFFE0 && u <= 0xFFE6) || (u >= 0x20000 && u <= 0x3FFFD);
    n += wide ? 2 : 1;
  }
  return n;
}

}  // namespace app
