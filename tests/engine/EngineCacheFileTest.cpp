#include <gtest/gtest.h>

#include "tests/engine/EngineCacheTestEnv.h"
#include "src/engine/EngineCaches.h"
#include "src/platform/Strings.h"

using namespace engine;
using enginetest::Entry;
using enginetest::List;
using enginetest::Utf16File;

namespace {

EngineEntryList Parse(const std::string& bytes) {
  EngineCacheTable table;
  std::wstring reason;
  EXPECT_TRUE(ParseCacheFile(bytes, &table, &reason)) << platform::ToUtf8(reason);
  EngineEntryList entries;
  EXPECT_TRUE(EntriesFromTable(table, &entries, &reason)) << platform::ToUtf8(reason);
  return entries;
}

// Tabs and line breaks inside cells cannot break the table; every other
// character and field comes back, and the file written again is the same.
TEST(EngineCacheFileFormat, WritesBomHeaderRowsTabsAndCrLfAndReadsBackEveryField) {
  const std::string bytes = FormatCacheFile(TableFromEntries(
      List({Entry(L"apertium", L"eng-spa", L"\u82F1\u8A9E - \U0001F600", 0, 0x401), Entry(L"g", L"x", L"a\tb\r\nc\nd\re", 1, -5)})));
  EXPECT_EQ(bytes, Utf16File(L"Checked\tEngineGroup\tEngineID\tFromLang\tToLang\tFlags\tDisplayName\tProductName\tProductNameShort\r\n"
                             L"0\tapertium\teng-spa\ten\tes\t1025\t\u82F1\u8A9E - \U0001F600\tProd\tP\r\n"
                             L"1\tg\tx\ten\tes\t-5\ta b  c d e\tProd\tP\r\n"));
  EngineEntryList back = Parse(bytes);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(enginetest::Describe(back[0].second), L"apertium:eng-spa 0 en>es 1025 \u82F1\u8A9E - \U0001F600|Prod|P");
  EXPECT_EQ(back[0].first, L"apertium:eng-spa");
  EXPECT_EQ(back[1].second.DisplayName(), L"a b  c d e");
  EXPECT_EQ(FormatCacheFile(TableFromEntries(back)), bytes) << "a field was lost or changed on the way back";
}

TEST(EngineCacheFileRead, ColumnsAreMatchedByNameInAnyOrderAndUnknownOnesIgnored) {
  EngineEntryList entries = Parse(Utf16File(L"Extra\tEngineID\tChecked\tEngineGroup\tDisplayName\r\n"
                                            L"zz\tid1\t0\tg\tOne\r\nzz\tid2\t1\tg\tTwo\r\n"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].first, L"g:id1");
  EXPECT_EQ(entries[0].second.Checked(), 0);
  EXPECT_EQ(entries[0].second.DisplayName(), L"One");
  EXPECT_EQ(entries[1].second.EngineID(), L"id2");
  EXPECT_EQ(entries[0].second.Flags(), 0) << "a missing column leaves its field at the default";
}

TEST(EngineCacheFileRead, OnlyZeroMeansUncheckedAndFlagsTakeTheirBaseFromThePrefix) {
  EngineEntryList entries = Parse(Utf16File(
      L"EngineID\tChecked\tFlags\r\na\t0\t1025\r\nb\t2\t0x401\r\nc\tno\t010\r\nd\t\tjunk\r\ne\t00\t-1\r\nf\r\n"));
  std::vector<int> checked, flags;
  for (const auto& [key, e] : entries) {
    checked.push_back(e.Checked());
    flags.push_back(e.Flags());
  }
  EXPECT_EQ(checked, (std::vector<int>{0, 1, 1, 1, 1, 1}));
  EXPECT_EQ(flags, (std::vector<int>{1025, 1025, 8, 0, -1, 0}));
}

TEST(EngineCacheFileRead, MissingBomBareLineFeedsAndEmptyFilesAreAccepted) {
  EXPECT_EQ(Parse(Utf16File(L"EngineGroup\tEngineID\r\ng\tx\r\n", false)).at(0).first, L"g:x");
  EXPECT_EQ(Parse(Utf16File(L"EngineGroup\tEngineID\ng\tx")).at(0).first, L"g:x");
  EXPECT_TRUE(Parse("").empty());
  EXPECT_TRUE(Parse(std::string("\xFF\xFE", 2)).empty());
  EXPECT_TRUE(Parse(Utf16File(L"Checked\tEngineGroup\r\n\r\n")).empty());
}

TEST(EngineCacheFileRead, DamagedBytesAreRejected) {
  std::string utf8 = "Checked\tEngineGroup\r\n1\tg\r\n";  // a UTF-8 copy read as UTF-16: no known column
  if (utf8.size() % 2) utf8 += ' ';
  const std::string cases[] = {std::string("\xFF\xFE" "A\0B", 5),                 // odd length
                               std::string("\xFF\xFE" "\x00\xD8" "A\0", 6),      // a lone high surrogate
                               std::string("\xFF\xFE" "A\0\0\0B\0", 8), utf8};  // NUL: a binary file
  for (const std::string& bytes : cases) {
    EngineCacheTable table;
    EngineEntryList entries;
    std::wstring reason;
    EXPECT_FALSE(ParseCacheFile(bytes, &table, &reason) && EntriesFromTable(table, &entries, &reason)) << bytes.size();
    EXPECT_FALSE(reason.empty());
  }
}

}  // namespace
