#include <gtest/gtest.h>

#include "tests/engine/EngineCacheTestEnv.h"
#include "src/engine/EngineFamilies.h"

using namespace engine;
using namespace enginetest;

namespace {

class AbbreviationTest : public EngineEnvTest {};

TEST_F(AbbreviationTest, TheLanguageTableWinsOverTheCommonOneAndTblOverTbb) {
  MakeFile(L"abbrev.tbl", Utf16File(L"common.\r\n"));
  MakeFile(L"abbrev_en.tbb", Utf16File(L"tbb.\r\n"));
  std::vector<std::wstring> entries;
  ASSERT_TRUE(LoadAbbreviations(L"en", &entries, Folder()));
  EXPECT_EQ(entries, std::vector<std::wstring>{L"tbb."});

  MakeFile(L"abbrev_en.tbl", Utf16File(L"Mr.\r\nDr.\r\ne.g.\r\n"));
  ASSERT_TRUE(LoadAbbreviations(L"en", &entries, Folder()));
  EXPECT_EQ(entries, (std::vector<std::wstring>{L"Mr.", L"Dr.", L"e.g."}));

  // Another language falls back on the common table.
  ASSERT_TRUE(LoadAbbreviations(L"de", &entries, Folder()));
  EXPECT_EQ(entries, std::vector<std::wstring>{L"common."});
}

TEST_F(AbbreviationTest, TheCommonTbbIsTheLastResort) {
  MakeFile(L"abbrev.tbb", Utf16File(L"z.B.", false));
  std::vector<std::wstring> entries;
  ASSERT_TRUE(LoadAbbreviations(L"de", &entries, Folder()));
  EXPECT_EQ(entries, std::vector<std::wstring>{L"z.B."});
}

TEST_F(AbbreviationTest, EntriesAreSplitAtCrLfOnlyAndEmptyOnesDropped) {
  MakeFile(L"abbrev_fr.tbl", Utf16File(L"M.\r\n\r\nMme.\r\nvs. etc.\r\n\u00E9t\u00E9."));
  std::vector<std::wstring> entries;
  ASSERT_TRUE(LoadAbbreviations(L"fr", &entries, Folder()));
  EXPECT_EQ(entries, (std::vector<std::wstring>{L"M.", L"Mme.", L"vs. etc.", L"\u00E9t\u00E9."}));
}

TEST_F(AbbreviationTest, NoTableOrAnUnreadableOneGivesNoEntries) {
  std::vector<std::wstring> entries{L"stale"};
  EXPECT_FALSE(LoadAbbreviations(L"en", &entries, Folder()));
  EXPECT_TRUE(entries.empty());

  MakeFile(L"abbrev_en.tbl", std::string("\xFF\xFE" "A\0B", 5));
  entries = {L"stale"};
  EXPECT_FALSE(LoadAbbreviations(L"en", &entries, Folder()));
  EXPECT_TRUE(entries.empty());
}

TEST_F(AbbreviationTest, ALanguageCodeCannotReachOutsideTheFolder) {
  MakeFile(L"abbrev.tbl", Utf16File(L"safe.\r\n"));
  std::vector<std::wstring> entries;
  ASSERT_TRUE(LoadAbbreviations(L"../../etc/x", &entries, Folder()));
  EXPECT_EQ(entries, std::vector<std::wstring>{L"safe."});
}

}  // namespace
