// Abbreviation tables (UTF-16LE lines) as the sentence splitter loads them,
// then used to cut a text made of the entries themselves.
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "src/engine/EngineFamilies.h"
#include "src/engine/SentenceSplitter.h"
#include "src/platform/Strings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::WriteScratchFile("abbrev_en.tbl", data, size);
  std::vector<std::wstring> entries;
  if (engine::LoadAbbreviations(L"en", &entries, platform::FromUtf8(fuzz::ScratchFolder()))) {
    for (const auto& entry : entries) {
      if (entry.empty()) fuzz::Fail("an empty abbreviation was kept");
      if (entry.find(L"\r\n") != std::wstring::npos) fuzz::Fail("an abbreviation holds a line end");
    }
    std::wstring text = L"A sentence. ";
    for (const auto& entry : entries) text += entry + L" word. ";
    auto spans = engine::SplitIntoSentences(text, entries);
    if (!engine::SpansCoverText(spans, static_cast<std::int32_t>(text.size())))
      fuzz::Fail("sentences do not cover the text");
  } else if (!entries.empty()) {
    fuzz::Fail("a refused table left entries");
  }
  return 0;
}
