#include <gtest/gtest.h>

#include "tests/engine/EngineCacheTestEnv.h"
#include "src/engine/EngineCaches.h"
#include "src/platform/Strings.h"

using namespace engine;
using enginetest::Utf16File;

namespace {

EngineEntry Entry(std::wstring group, std::wstring id, std::wstring display, int checked = 1, int flags = 1) {
  EngineEntry e;
  e.SetEngineGroup(std::move(group));
  e.SetEngineID(std::move(id));
  e.SetFromLang(L"en");
  e.SetToLang(L"es");
  e.SetDisplayName(std::move(display));
  e.SetProductName(L"Prod");
  e.SetProductNameShort(L"P");
  e.SetChecked(checked);
  e.SetFlags(flags);
  return e;
}

EngineEntryList List(std::initializer_list<EngineEntry> entries) {
  EngineEntryList list;
  for (const auto& e : entries) list.emplace_back(e.EngineKey(), e);
  return list;
}

EngineEntryList Parse(const std::string& bytes) {
  EngineCacheTable table;
  std::wstring reason;
  EXPECT_TRUE(ParseCacheFile(bytes, &table, &reason)) << platform::ToUtf8(reason);
  EngineEntryList entries;
  EXPECT_TRUE(EntriesFromTable(table, &entries, &reason)) << platform::ToUtf8(reason);
  return entries;
}

TEST(EngineCacheFileFormat, WritesBomHeaderRowsTabsAndCrLf) {
  std::string bytes = FormatCacheFile(TableFromEntries(List({Entry(L"g", L"id1", L"English - Spanish", 0, 0x401)})));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));
  std::wstring text = platform::FromUtf16Le(std::string_view(bytes).substr(2));
  EXPECT_EQ(text,
            L"Checked\tEngineGroup\tEngineID\tFromLang\tToLang\tFlags\tDisplayName\tProductName\tProductNameShort\r\n"
            L"0\tg\tid1\ten\tes\t1025\tEnglish - Spanish\tProd\tP\r\n");
}

TEST(EngineCacheFileFormat, TabsAndLineBreaksInsideCellsCannotBreakTheTable) {
  EngineEntry e = Entry(L"g", L"id", L"a\tb\r\nc\nd\re");
  std::string bytes = FormatCacheFile(TableFromEntries(List({e})));
  EngineEntryList back = Parse(bytes);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].second.DisplayName(), L"a b  c d e");
  EXPECT_EQ(back[0].second.ProductName(), L"Prod");
}

TEST(EngineCacheFileFormat, RoundTripKeepsEveryFieldAndCharacter) {
  EngineEntry e = Entry(L"apertium", L"eng-spa", L"\u82F1\u8A9E - \U0001F600", 0, -5);
  EngineEntryList back = Parse(FormatCacheFile(TableFromEntries(List({e, Entry(L"g", L"x", L"y")}))));
  ASSERT_EQ(back.size(), 2u);
  const EngineEntry& r = back[0].second;
  EXPECT_EQ(back[0].first, L"apertium:eng-spa");
  EXPECT_EQ(r.EngineGroup(), L"apertium");
  EXPECT_EQ(r.EngineID(), L"eng-spa");
  EXPECT_EQ(r.FromLang(), L"en");
  EXPECT_EQ(r.ToLang(), L"es");
  EXPECT_EQ(r.DisplayName(), L"\u82F1\u8A9E - \U0001F600");
  EXPECT_EQ(r.Checked(), 0);
  EXPECT_EQ(r.Flags(), -5);
  EXPECT_EQ(back[1].second.Checked(), 1);
}

TEST(EngineCacheFileRead, ColumnsAreMatchedByNameInAnyOrderAndUnknownOnesIgnored) {
  std::string bytes = Utf16File(
      L"Extra\tEngineID\tChecked\tEngineGroup\tDisplayName\r\n"
      L"zz\tid1\t0\tg\tOne\r\n"
      L"zz\tid2\t1\tg\tTwo\r\n");
  EngineEntryList entries = Parse(bytes);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].first, L"g:id1");
  EXPECT_EQ(entries[0].second.Checked(), 0);
  EXPECT_EQ(entries[0].second.DisplayName(), L"One");
  EXPECT_EQ(entries[1].second.EngineID(), L"id2");
  // Missing columns leave their fields at the defaults.
  EXPECT_EQ(entries[0].second.FromLang(), L"");
  EXPECT_EQ(entries[0].second.Flags(), 0);
}

TEST(EngineCacheFileRead, OnlyZeroMeansUnchecked) {
  std::string bytes = Utf16File(
      L"EngineGroup\tEngineID\tChecked\r\n"
      L"g\ta\t0\r\n"
      L"g\tb\t2\r\n"
      L"g\tc\tno\r\n"
      L"g\td\t\r\n"
      L"g\te\t00\r\n"
      L"g\tf\r\n");
  EngineEntryList entries = Parse(bytes);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].second.Checked(), 0);
  for (size_t i = 1; i < entries.size(); ++i) EXPECT_EQ(entries[i].second.Checked(), 1) << i;
}

TEST(EngineCacheFileRead, FlagsTakeTheirBaseFromThePrefix) {
  std::string bytes = Utf16File(
      L"EngineID\tFlags\r\n"
      L"a\t1025\r\n"
      L"b\t0x401\r\n"
      L"c\t010\r\n"
      L"d\tjunk\r\n"
      L"e\t-1\r\n");
  EngineEntryList entries = Parse(bytes);
  std::vector<int> flags;
  for (const auto& [key, e] : entries) flags.push_back(e.Flags());
  EXPECT_EQ(flags, (std::vector<int>{1025, 1025, 8, 0, -1}));
}

TEST(EngineCacheFileRead, AFileWithoutBomOrWithBareLineFeedsReadsTheSame) {
  EngineEntryList a = Parse(Utf16File(L"EngineGroup\tEngineID\r\ng\tx\r\n", false));
  EngineEntryList b = Parse(Utf16File(L"EngineGroup\tEngineID\ng\tx"));
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(a[0].first, L"g:x");
  EXPECT_EQ(b[0].first, L"g:x");
}

TEST(EngineCacheFileRead, EmptyFilesGiveNoEntries) {
  EXPECT_TRUE(Parse("").empty());
  EXPECT_TRUE(Parse(std::string("\xFF\xFE", 2)).empty());
  EXPECT_TRUE(Parse(Utf16File(L"Checked\tEngineGroup\r\n\r\n")).empty());
}

TEST(EngineCacheFileRead, BytesThatAreNotUtf16TextAreRejected) {
  EngineCacheTable table;
  std::wstring reason;
  EXPECT_FALSE(ParseCacheFile(std::string("\xFF\xFE" "A\0B", 5), &table, &reason));
  EXPECT_FALSE(reason.empty());
  // A lone high surrogate.
  EXPECT_FALSE(ParseCacheFile(std::string("\xFF\xFE" "\x00\xD8" "A\0", 6), &table, &reason));
  // NUL characters: a binary file, not a table.
  EXPECT_FALSE(ParseCacheFile(std::string("\xFF\xFE" "A\0\0\0B\0", 8), &table, &reason));
}

TEST(EngineCacheFileRead, AHeaderWithoutAnyKnownColumnIsDamage) {
  // A UTF-8 copy of the file read as UTF-16 gives one line of nonsense.
  std::string utf8 = "Checked\tEngineGroup\r\n1\tg\r\n";
  if (utf8.size() % 2) utf8 += ' ';
  EngineCacheTable table;
  std::wstring reason;
  ASSERT_TRUE(ParseCacheFile(utf8, &table, &reason));
  EngineEntryList entries;
  EXPECT_FALSE(EntriesFromTable(table, &entries, &reason));
}

}  // namespace
