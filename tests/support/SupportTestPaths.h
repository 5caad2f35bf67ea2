// Where the tests of the support services find what the build produced.
#pragma once

#include <string>

#include "src/platform/ResourceModules.h"
#include "src/platform/System.h"

namespace supporttest {

// The English resource module the build puts beside the program (Linux) or
// beside Pelorant.dll (Windows); empty when it has not been built.
inline std::wstring BuiltEnglishModule() {
  std::wstring sep(1, platform::PathSeparator());
  std::wstring up = platform::ModuleFolder() + L".." + sep;
  std::wstring name = L"OfficeAddInRes1033" + platform::ResourceModuleExtension();
  for (const std::wstring& folder : {up + L"apps" + sep + L"pelorant" + sep,
                                     up + L"src" + sep + L"addin" + sep + L"win32" + sep}) {
    if (platform::PathExists(folder + name)) return folder + name;
  }
  return std::wstring();
}

}  // namespace supporttest
