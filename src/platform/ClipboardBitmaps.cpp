#include <cstring>

#include "src/platform/Clipboard.h"

namespace platform {
namespace {

constexpr size_t kHeaderSize = 40;

void Put32(std::string* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::string* out, std::uint16_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8));
}
std::uint32_t Get32(const std::string& in, size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<size_t>(i)]);
  return v;
}

}  // namespace

std::string DibFromPicture(const Picture& picture) {
  const size_t stride = (static_cast<size_t>(picture.width) * 3 + 3) & ~size_t{3};
  std::string dib;
  Put32(&dib, kHeaderSize);
  Put32(&dib, static_cast<std::uint32_t>(picture.width));
  Put32(&dib, static_cast<std::uint32_t>(picture.height));
  Put16(&dib, 1);   // planes
  Put16(&dib, 24);  // bits per pixel
  Put32(&dib, 0);   // BI_RGB
  Put32(&dib, static_cast<std::uint32_t>(stride * static_cast<size_t>(picture.height)));
  for (int i = 0; i < 4; ++i) Put32(&dib, 0);  // resolution and palette: none
  for (int y = picture.height - 1; y >= 0; --y) {
    const size_t rowStart = dib.size();
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t p = picture.pixels[static_cast<size_t>(y) * static_cast<size_t>(picture.width) +
                                             static_cast<size_t>(x)];
      dib.push_back(static_cast<char>(p & 0xFF));
      dib.push_back(static_cast<char>((p >> 8) & 0xFF));
      dib.push_back(static_cast<char>((p >> 16) & 0xFF));
    }
    dib.resize(rowStart + stride, '\0');
  }
  return dib;
}

bool PictureFromDib(const std::string& dib, Picture* picture) {
  if (dib.size() < kHeaderSize || Get32(dib, 0) < kHeaderSize) return false;
  const std::int32_t width = static_cast<std::int32_t>(Get32(dib, 4));
  const std::int32_t height = static_cast<std::int32_t>(Get32(dib, 8));
  const unsigned bits = static_cast<unsigned char>(dib[14]) | (static_cast<unsigned char>(dib[15]) << 8);
  const std::uint32_t compression = Get32(dib, 16);
  if (width <= 0 || height == 0 || width > 4096 || height > 4096 || height < -4096 ||
      (bits != 24 && bits != 32) || compression != 0)
    return false;
  const bool bottomUp = height > 0;
  const size_t rows = static_cast<size_t>(bottomUp ? height : -height);
  const size_t bytes = bits / 8;
  const size_t stride = (static_cast<size_t>(width) * bytes + 3) & ~size_t{3};
  const size_t start = Get32(dib, 0);
  if (dib.size() < start || (dib.size() - start) / stride < rows) return false;
  Picture read;
  read.width = width;
  read.height = static_cast<int>(rows);
  read.pixels.reserve(rows * static_cast<size_t>(width));
  for (size_t y = 0; y < rows; ++y) {
    const size_t row = start + (bottomUp ? rows - 1 - y : y) * stride;
    for (size_t x = 0; x < static_cast<size_t>(width); ++x) {
      const size_t at = row + x * bytes;
      read.pixels.push_back(0xFF000000u | static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at])) |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at + 1])) << 8 |
                            static_cast<std::uint32_t>(static_cast<unsigned char>(dib[at + 2])) << 16);
    }
  }
  *picture = std::move(read);
  return true;
}

}  // namespace platform
