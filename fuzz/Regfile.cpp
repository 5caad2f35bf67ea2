// The ".reg" text of a registry hive: parsed, written back, parsed again
// (the rewrite must read as it was written), and, when it parses, read
// through the registry stand-in the way the add-in reads its settings.
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "src/platform/RegFile.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"

namespace {

using platform::RegKey;
using platform::regfile::Key;

void Walk(const RegKey& key, int depth) {
  std::vector<std::wstring> names;
  if (key.EnumValues(&names) == ERROR_SUCCESS) {
    for (const auto& name : names) {
      platform::RegValue value;
      if (key.QueryValue(name, &value) == ERROR_SUCCESS) (void)platform::RegValueBytes(value);
    }
  }
  names.clear();
  if (depth > 64 || key.EnumSubkeys(&names) != ERROR_SUCCESS) return;
  for (const auto& name : names) {
    RegKey sub;
    if (key.OpenSubkey(name, false, &sub) == ERROR_SUCCESS) Walk(sub, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ::setenv("PELORANT_REGISTRY", fuzz::ScratchFolder().c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring hive = L"HKEY_CURRENT_USER";
  std::string_view text(reinterpret_cast<const char*>(data), size);
  Key root;
  root.name = hive;
  if (!platform::regfile::Parse(text, hive, &root).ok) return 0;
  std::string written = platform::regfile::Serialize(root, hive);
  Key again;
  again.name = hive;
  auto reread = platform::regfile::Parse(written, hive, &again);
  if (!reread.ok) fuzz::Fail("a written hive does not parse: line " + std::to_string(reread.line) + ": " + reread.message);
  if (platform::regfile::Serialize(again, hive) != written) fuzz::Fail("a written hive reads back differently");

  fuzz::ClearScratchFolder();
  fuzz::WriteScratchFile("HKCU.reg", data, size);
  RegKey key;
  if (RegKey::Open(platform::Hive::CurrentUser, L"", false, &key) == ERROR_SUCCESS) Walk(key, 0);
  return 0;
}
