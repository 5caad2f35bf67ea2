// The text form of a registry hive: the "Windows Registry Editor Version
// 5.00" export syntax, stored as UTF-8. The posix registry keeps one such
// file per hive; the model and parser are portable so that the format is
// tested on both platforms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "src/platform/Registry.h"

namespace platform::regfile {

struct Value {
  std::wstring name;  // empty for the default value ("@")
  RegType type = RegType::None;
  std::vector<std::uint8_t> data;  // as the registry stores it
  std::vector<std::string> comments;  // "; ..." lines written above it by hand
};

// A key with its values (in the order they were first set) and sub-keys
// (sorted case-insensitively, as the registry enumerates them).
struct Key {
  std::wstring name;
  std::vector<Value> values;
  std::vector<Key> subkeys;
  // "; ..." lines above the key's section; on the hive root, the lines at
  // the end of the file. A rewrite keeps them where they were.
  std::vector<std::string> comments;

  Key* FindSubkey(std::wstring_view name);
  const Key* FindSubkey(std::wstring_view name) const;
  // Returns the existing sub-key of that name (any case) or a new one.
  Key& AddSubkey(std::wstring_view name);
  bool RemoveSubkey(std::wstring_view name);

  Value* FindValue(std::wstring_view name);
  const Value* FindValue(std::wstring_view name) const;
  void SetValue(std::wstring_view name, RegType type, std::vector<std::uint8_t> data);
  bool RemoveValue(std::wstring_view name);

  // Follows a backslash-separated path; empty components are skipped.
  Key* Find(std::wstring_view path);
  const Key* Find(std::wstring_view path) const;
};

struct ParseResult {
  bool ok = true;
  int line = 0;           // 1-based line of the first error
  std::string message;    // what is wrong there
};

// Parses a whole file whose keys must all lie under `hiveName`
// ("HKEY_CURRENT_USER"); the hive's root key receives them. Deletion
// entries ("[-KEY]", "name"=-) are applied as regedit applies them. Keys
// nested deeper than 512 levels are refused, as the registry refuses them.
ParseResult Parse(std::string_view text, std::wstring_view hiveName, Key* root);

// Writes the tree in the same syntax: every key gets its own section,
// parents before children (the hive root only when it has values).
std::string Serialize(const Key& root, std::wstring_view hiveName);

// Splits a registry path into its components, skipping empty ones.
std::vector<std::wstring> SplitPath(std::wstring_view path);

}  // namespace platform::regfile
