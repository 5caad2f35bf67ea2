#include <gtest/gtest.h>

#include "tests/engine/EngineCacheTestEnv.h"
#include "src/engine/EngineFamilies.h"

using namespace engine;
using namespace enginetest;

namespace {

class AbbreviationTest : public EngineEnvTest {};

// The language's table wins over the common one and .tbl over .tbb, the
// common .tbb last; entries are cut at CR LF only and empty ones dropped;
// no table or an unreadable one gives nothing; a language code cannot reach
// outside the folder.
TEST_F(AbbreviationTest, TheTableFoundAndItsEntries) {
  using V = std::vector<std::wstring>;
  const std::string common = Utf16File(L"common.\r\n"), tbb = Utf16File(L"tbb.\r\n");
  const struct {
    const char* what;
    std::vector<std::pair<std::wstring, std::string>> files;
    const wchar_t* language;
    bool found;
    V entries;
  } cases[] = {
      {"tbb over common", {{L"abbrev.tbl", common}, {L"abbrev_en.tbb", tbb}}, L"en", true, {L"tbb."}},
      {"tbl over tbb",
       {{L"abbrev.tbl", common}, {L"abbrev_en.tbb", tbb}, {L"abbrev_en.tbl", Utf16File(L"Mr.\r\nDr.\r\ne.g.\r\n")}},
       L"en", true, {L"Mr.", L"Dr.", L"e.g."}},
      {"common for another", {{L"abbrev.tbl", common}, {L"abbrev_en.tbb", tbb}}, L"de", true, {L"common."}},
      {"common tbb last", {{L"abbrev.tbb", Utf16File(L"z.B.", false)}}, L"de", true, {L"z.B."}},
      {"entries", {{L"abbrev_fr.tbl", Utf16File(L"M.\r\n\r\nMme.\r\nvs. etc.\r\n\u00E9t\u00E9.")}}, L"fr", true,
       {L"M.", L"Mme.", L"vs. etc.", L"\u00E9t\u00E9."}},
      {"no table", {}, L"en", false, {}},
      {"unreadable", {{L"abbrev_en.tbl", std::string("\xFF\xFE" "A\0B", 5)}}, L"en", false, {}},
      {"outside the folder", {{L"abbrev.tbl", Utf16File(L"safe.\r\n")}}, L"../../etc/x", true, {L"safe."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(platform::NativePath(Folder()));
    for (const auto& [name, bytes] : c.files) MakeFile(name, bytes);
    V entries{L"stale"};
    EXPECT_EQ(LoadAbbreviations(c.language, &entries, Folder()), c.found);
    EXPECT_EQ(entries, c.entries);
  }
}

}  // namespace
