// The add-in's own string table (Japanese) and version block, compiled into
// the program from the tables in this folder. Texts are UTF-8 with C escapes
// already resolved; strings are sorted by id.
#pragma once

#include <cstdint>
#include <span>

namespace resources {

struct StringEntry {
  unsigned id;
  const char* utf8;
};

struct VersionEntry {
  const char* name;
  const char* utf8;
};

// A button face as the program's own resources carry it: an icon or a
// bitmap, 0xAARRGGBB pixels, rows from the top.
struct PictureEntry {
  unsigned id;
  bool icon;
  int width;
  int height;
  const std::uint32_t* pixels;
};

std::span<const StringEntry> OwnStrings();
// Empty where the program's module carries the faces as real resources.
std::span<const PictureEntry> OwnPictures();
std::span<const VersionEntry> OwnVersion();
// The first translation of the version block, "%04x%04x".
const char* OwnVersionTranslation();

}  // namespace resources
