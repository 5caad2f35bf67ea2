// Option files as a user or another program left them (profile format,
// UTF-8 or UTF-16 by byte-order mark): the profile text itself, whose
// rewrite (line ends made uniform) must read back to the same entries, and
// the option section read, rewritten and read again without losing a value.
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "src/options/OptionFile.h"
#include "src/platform/ProfileDocument.h"
#include "src/platform/ProfileFile.h"
#include "src/platform/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  bool lossless = false;
  platform::ProfileDocument doc = platform::ProfileDocument::Parse(bytes, &lossless);
  doc.SetKey(L"Other", L"key", L"value");
  std::string written = doc.Serialize();
  bool writtenLossless = false;
  platform::ProfileDocument reread = platform::ProfileDocument::Parse(written, &writtenLossless);
  if (lossless) {
    if (!writtenLossless) fuzz::Fail("a rewritten profile file does not decode");
    for (const wchar_t* section : {options::kOptionSection, L"Other"}) {
      if (reread.SectionEntries(section) != doc.SectionEntries(section))
        fuzz::Fail("a rewritten profile file reads other entries");
    }
  }

  fuzz::ClearScratchFolder();
  std::wstring path = platform::FromUtf8(fuzz::WriteScratchFile("options.ini", data, size));
  std::vector<std::wstring> names, values;
  if (!options::ReadOptionSection(path, options::kOptionSection, &names, &values)) return 0;
  if (!options::WriteOptionSection(path, options::kOptionSection, names, values)) return 0;
  std::vector<std::wstring> keptNames, keptValues;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    keptNames.push_back(names[i]);
    keptValues.push_back(values[i]);
  }
  std::vector<std::wstring> namesAgain, valuesAgain;
  options::ReadOptionSection(path, options::kOptionSection, &namesAgain, &valuesAgain);
  if (namesAgain != keptNames || valuesAgain != keptValues) fuzz::Fail("a rewritten option section reads differently");
  return 0;
}
