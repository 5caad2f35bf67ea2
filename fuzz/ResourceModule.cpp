// The English resource module file: loaded as the add-in loads its texts,
// with its version block.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "src/platform/ResourceModules.h"
#include "src/platform/Strings.h"
#include "src/support/ResourceModule.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::wstring path = platform::FromUtf8(fuzz::WriteScratchFile("OfficeAddInRes1033.res", data, size));
  support::ResourceModule module(support::ResourceModule::Environment{platform::FromUtf8(fuzz::ScratchFolder() + "/"), 1033});
  if (!module.LoadResourceModule()) fuzz::Fail("the module could not be loaded nor replaced by the own strings");
  for (int id : {101, 203, 1301, 65535, 65536}) {
    if (module.LoadText(id).size() > static_cast<size_t>(support::ResourceModule::kMaxText)) fuzz::Fail("a text is too long");
  }
  (void)module.GetFontName();
  (void)module.GetCharset();
  platform::VersionBlock block;
  if (platform::ReadVersionBlock(path, &block) == block.empty()) fuzz::Fail("the version block answer contradicts it");
  return 0;
}
