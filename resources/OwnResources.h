// The add-in's own string table (Japanese) and version block, compiled into
// the program from the tables in this folder. Texts are UTF-8 with C escapes
// already resolved; strings are sorted by id.
#pragma once

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

std::span<const StringEntry> OwnStrings();
std::span<const VersionEntry> OwnVersion();
// The first translation of the version block, "%04x%04x".
const char* OwnVersionTranslation();

}  // namespace resources
