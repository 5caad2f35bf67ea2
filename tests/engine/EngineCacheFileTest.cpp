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

// Each row as "key checked flags display": columns are matched by name in
// any order, unknown ones ignored and missing ones left at the default; only
// "0" is unchecked and flags take their base from the prefix; a missing BOM,
// bare line feeds and empty files are taken.
TEST(EngineCacheFileRead, RowsGiveTheirFieldsWhateverTheLayout) {
  const struct {
    std::string bytes;
    std::vector<std::wstring> rows;
  } cases[] = {
      {Utf16File(L"Extra\tEngineID\tChecked\tEngineGroup\tDisplayName\r\nzz\tid1\t0\tg\tOne\r\nzz\tid2\t1\tg\tTwo\r\n"),
       {L"g:id1 0 0 One", L"g:id2 1 0 Two"}},
      {Utf16File(L"EngineGroup\tEngineID\tChecked\tFlags\r\ng\ta\t0\t1025\r\ng\tb\t2\t0x401\r\ng\tc\tno\t010\r\n"
                 L"g\td\t\tjunk\r\ng\te\t00\t-1\r\ng\tf\r\n"),
       {L"g:a 0 1025 ", L"g:b 1 1025 ", L"g:c 1 8 ", L"g:d 1 0 ", L"g:e 1 -1 ", L"g:f 1 0 "}},
      {Utf16File(L"EngineGroup\tEngineID\r\ng\tx\r\n", false), {L"g:x 1 0 "}},
      {Utf16File(L"EngineGroup\tEngineID\ng\tx"), {L"g:x 1 0 "}},
      {"", {}},
      {std::string("\xFF\xFE", 2), {}},
      {Utf16File(L"Checked\tEngineGroup\r\n\r\n"), {}},
  };
  for (const auto& c : cases) {
    std::vector<std::wstring> rows;
    for (const auto& [key, e] : Parse(c.bytes))
      rows.push_back(key + L" " + std::to_wstring(e.Checked()) + L" " + std::to_wstring(e.Flags()) + L" " + e.DisplayName());
    EXPECT_EQ(rows, c.rows) << c.bytes.size();
  }
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
