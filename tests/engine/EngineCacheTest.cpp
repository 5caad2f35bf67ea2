// The engine cache: its file, its settings and what a refresh makes of the
// engines' answers.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "tests/common/FaultyFiles.h"
#include "tests/engine/EngineCacheTestEnv.h"

using namespace engine;
using namespace enginetest;
using namespace engine_server;
using fake_engine::FakePair;
using fake_engine::Operation;
using platform::Hive;

namespace {

const std::wstring kCommon = kCommonSettingsPath;

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
  EXPECT_EQ(std::tuple(back[0].first, enginetest::Describe(back[0].second), back[1].second.DisplayName()),
            std::tuple(std::wstring(L"apertium:eng-spa"),
                       std::wstring(L"apertium:eng-spa 0 en>es 1025 \u82F1\u8A9E - \U0001F600|Prod|P"),
                       std::wstring(L"a b  c d e")));
  EXPECT_EQ(FormatCacheFile(TableFromEntries(back)), bytes) << "a field was lost or changed on the way back";
}

// Each row as "key checked flags display": columns are matched by name in
// any order, unknown ones ignored and missing ones left at the default; only
// "0" is unchecked and flags take their base from the prefix; a missing BOM,
// bare line feeds and empty files are taken.
TEST(EngineCacheFileRead, RowsGiveTheirFieldsWhateverTheLayout) {
  // The file and its rows.
  const std::pair<std::string, std::vector<std::wstring>> cases[] = {
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
  for (const auto& [bytes, expected] : cases) {
    std::vector<std::wstring> rows;
    for (const auto& [key, e] : Parse(bytes))
      rows.push_back(key + L" " + std::to_wstring(e.Checked()) + L" " + std::to_wstring(e.Flags()) + L" " + e.DisplayName());
    EXPECT_EQ(rows, expected) << bytes.size();
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


// The first start, equal and changed refresh triggers, check marks across a
// rebuild and a damaged cache file are run by the program's engine commands
// (tests/e2e/engines.sh); these are the cases it cannot reach.
class EngineCacheTest : public EngineEnvTest {
 protected:
  void SetUp() override {
    EngineEnvTest::SetUp();
    Serve({{L"alpha", {kEnEs, kEsEn}}});
  }

  // A new engine side serving these implementations and pairs in place of
  // the last.
  void Serve(const std::vector<std::pair<std::wstring, std::vector<FakePair>>>& implementations) {
    mSide.reset();
    mSide = std::make_unique<fake_engine::FakeEngineSide>();
    mFirst = nullptr;
    for (const auto& [name, pairs] : implementations) {
      auto& impl = mSide->AddImplementation(name);
      for (const auto& p : pairs) impl.AddPair(p);
      if (!mFirst) mFirst = &impl;
    }
  }
  size_t Listings() const { return mFirst->ListingFlags().size(); }

  std::wstring CacheText() {
    return platform::FromUtf16Le(std::string_view(ReadBytes(EngineCacheFilePath())).substr(2));
  }

  static std::wstring UserValue(const std::wstring& path, const std::wstring& name) {
    return ValueOf(Hive::CurrentUser, path, name);
  }

  const FakePair kEnEs = Pair(L"en-es", L"en", L"es", L"English - Spanish");
  const FakePair kEsEn = Pair(L"es-en", L"es", L"en", L"Spanish - English");
  const FakePair kEnDe = Pair(L"b", L"en", L"de", L"English - German");
  std::unique_ptr<fake_engine::FakeEngineSide> mSide;
  fake_engine::FakeImplementation* mFirst = nullptr;
};

// In a roaming folder whose name is not ASCII: a save only when dirty leaves
// a clean cache's file alone, a forced one rewrites it, and a refresh that
// does not take the cache when current asks the engines even when the
// triggers are equal.
TEST_F(EngineCacheTest, SavesAndRefreshesOnlyWhenAskedOrNeeded) {
  platform::SetEnvironmentValue(L"XDG_CONFIG_HOME",
                                platform::FromUtf8((mRoot / "config").string()) + L"/caf\u00E9-\u65E5\u672C");
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  ASSERT_TRUE(cache.RefreshCache(false, true));
  ASSERT_TRUE(cache.SaveCache(true, false)) << platform::ToUtf8(cache.LastFailure());
  EngineCaches again;
  ASSERT_TRUE(again.LoadCache(false));
  EXPECT_EQ(again.Count(), 2u);
  ASSERT_TRUE(WriteBytes(EngineCacheFilePath(), Utf16File(L"EngineGroup\tEngineID\r\nhand\tmade\r\n")));
  ASSERT_TRUE(cache.SaveCache(true, false));
  EXPECT_NE(CacheText().find(L"hand\tmade"), std::wstring::npos);
  ASSERT_TRUE(cache.RefreshCache(false, false));
  EXPECT_EQ(Listings(), 2u);
  ASSERT_TRUE(cache.SaveCache(false, false));
  EXPECT_EQ(CacheText().find(L"hand\tmade"), std::wstring::npos);
}

TEST_F(EngineCacheTest, RefreshTypeOneSkipsTriggersAndFileButStillWritesSettings) {
  SetString(Hive::CurrentUser, kCommon, L"_Cache.RefreshType", L"1");
  SetString(Hive::LocalMachine, kAddinKeyPath, kRefreshTriggerValue, L"m");
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  EXPECT_EQ(std::tuple(cache.RefreshType(), cache.MachineRefreshTrigger()), std::tuple(1, std::wstring()))
      << "the machine's trigger is not read";
  ASSERT_TRUE(cache.RefreshCache(false, true));
  ASSERT_TRUE(cache.RefreshCache(false, true));
  EXPECT_EQ(Listings(), 2u);
  ASSERT_TRUE(cache.SaveCache(false, true));
  // No file, no user trigger, the settings.
  EXPECT_EQ(std::tuple(platform::PathExists(EngineCacheFilePath()), UserValue(kAddinKeyPath, kRefreshTriggerValue),
                       UserValue(kCommon, L"_Cache.EnumFlag")),
            std::tuple(false, std::wstring(), std::wstring(L"3072")));
}

TEST_F(EngineCacheTest, SettingsComeFromTheUserWithTheMachineAsFallback) {
  SetString(Hive::LocalMachine, kCommon, L"_Cache.EnumFlag", L"1024");
  SetString(Hive::LocalMachine, kCommon, L"_Cache.DisplayLanguage", L"de");
  SetString(Hive::CurrentUser, kCommon, L"_Cache.DisplayLanguage", L"fr");
  SetString(Hive::CurrentUser, kCommon, L"_Cache.EnumProductFilter", L"Prod");
  SetString(Hive::CurrentUser, kCommon, L"_Cache.RefreshType", L"yes");  // anything but "1" is 0
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  EXPECT_EQ(std::tuple(cache.EnumFlag(), cache.DisplayLanguage(), cache.EnumProductFilter(), cache.RefreshType()),
            std::tuple(1024, std::wstring(L"fr"), std::wstring(L"Prod"), 0));

  ASSERT_TRUE(cache.RefreshCache(false, true));
  EXPECT_EQ(std::pair(mFirst->DisplayLanguage(), mFirst->ListingFlags()), std::pair(std::wstring(L"fr"), std::vector<LONG>{1024}));

  // Machine defaults ignore the user's values.
  ASSERT_TRUE(cache.LoadCache(true));
  EXPECT_EQ(std::tuple(cache.DisplayLanguage(), cache.EnumProductFilter(), cache.Dirty()),
            std::tuple(std::wstring(L"de"), std::wstring(), 1));
}

// An enumeration flag that is no number keeps the current flag.
TEST_F(EngineCacheTest, SavingSettingsRemovesEmptyValuesAndUsesTheSubKey) {
  const std::wstring sub = kCommon + L"\\Sub";
  SetString(Hive::CurrentUser, sub, L"_Cache.EnumProductFilter", L"Old");
  SetString(Hive::CurrentUser, sub, L"_Cache.EnumFlag", L"lots");
  EngineCaches cache(L"Sub");
  ASSERT_TRUE(cache.LoadCache(false));
  EXPECT_EQ(std::tuple(cache.EnumProductFilter(), cache.EnumFlag()), std::tuple(std::wstring(L"Old"), 3072));
  cache.SetEnumProductFilter(L"");
  cache.SetEnumFlag(0x400);
  cache.SetDisplayLanguage(L"en");
  ASSERT_TRUE(cache.SaveCache(false, true));
  std::wstring saved;
  for (const wchar_t* name : {L"EnumProductFilter", L"EnumFlag", L"RefreshType", L"DisplayLanguage"})
    saved += UserValue(sub, L"_Cache." + std::wstring(name)) + L" ";
  EXPECT_EQ(saved, L"<none> 1024 0 en ");
}

// A folder that cannot be made, a replace the disk refuses, an old file too
// damaged to keep aside: the list stays to be written, the user's trigger
// does not advance, and the old file stays as it was with nothing beside it.
TEST_F(EngineCacheTest, AFailedSaveKeepsDirtyTheTriggerAndTheOldFile) {
  const std::string readable = Utf16File(L"EngineGroup\tEngineID\r\nhand\tmade\r\n");
  const std::string damaged("\xFF\xFE" "C\0h\0e", 7);
  // The old file (nullptr: a file where the cache folder should be), its
  // size, the failing call.
  const std::tuple<const char*, size_t, unsigned> cases[] = {
      {nullptr, 0, 0},
      {readable.data(), readable.size(), testsupport::FaultyFiles::kWrite},
      {damaged.data(), damaged.size(), testsupport::FaultyFiles::kKeepAside}};
  for (const auto& [oldFile, size, failing] : cases) {
    SCOPED_TRACE(failing);
    Clean();
    SetString(Hive::LocalMachine, kAddinKeyPath, kRefreshTriggerValue, L"new");
    SetString(Hive::CurrentUser, kAddinKeyPath, kRefreshTriggerValue, L"old");
    const std::wstring folder = EngineCacheFolder();
    platform::CreateFolderTree(oldFile ? folder : folder.substr(0, folder.find_last_of(platform::PathSeparator())));
    const std::string old = oldFile ? std::string(oldFile, size) : "not a folder";
    ASSERT_TRUE(WriteBytes(oldFile ? EngineCacheFilePath() : folder, old));
    EngineCaches cache;
    cache.LoadCache(false);
    ASSERT_TRUE(cache.RefreshCache(false, true));
    {
      testsupport::FaultyFiles faulty(failing);
      EXPECT_FALSE(cache.SaveCache(true, false));
      EXPECT_TRUE(!failing || faulty.Failures() >= 1) << "the fault was met";
    }
    // Dirty, a failure told, the trigger where it was in the cache and with the user.
    EXPECT_EQ(std::tuple(cache.Dirty(), cache.LastFailure().empty(), cache.UserRefreshTrigger(),
                         UserValue(kAddinKeyPath, kRefreshTriggerValue)),
              std::tuple(1, false, std::wstring(L"old"), std::wstring(L"old")));
    if (!oldFile) continue;
    EXPECT_EQ(ReadBytes(EngineCacheFilePath()), old);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(platform::NativePath(folder)))
      names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Engines.tsv"});
  }
}

// "B" < "b" (ordinal); id "0" < "2" breaks the tie; U+10000 is D800 DC00 in
// UTF-16 and so sorts before U+FF21. The product filter keeps only its own.
TEST_F(EngineCacheTest, EntriesAreFilteredAndSortedByDisplayNameThenProductAndIdInCodeUnitOrder) {
  Serve({{L"alpha", {Pair(L"2", L"en", L"es", L"b"), Pair(L"1", L"en", L"es", L"B"), Pair(L"3", L"en", L"es", L"\uFF21"),
                      Pair(L"5", L"en", L"es", L"a", L"Other"), Pair(L"4", L"en", L"es", L"\U00010000"),
                      Pair(L"0", L"en", L"es", L"b")}}});
  EngineCaches cache;
  cache.SetEnumProductFilter(L"Prod");
  ASSERT_TRUE(cache.RefreshCache(false, false));
  std::wstring order;
  for (size_t i = 0; i < cache.Count(); ++i) order += cache.Entry(i).EngineID();
  EXPECT_EQ(order, L"10243");
}

// A change on a clone leaves the original alone; the same change on both
// makes them the same again, as does an assignment.
TEST_F(EngineCacheTest, CloneIsSameUntilEitherChangesAndFindEntryIsExact) {
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  EXPECT_TRUE(cache.IsSameAs(cache));
  const std::pair<const char*, std::function<void(EngineCaches&)>> changes[] = {
      {"a check mark", [](EngineCaches& c) { c.SetChecked(0, 0); }},
      {"the product filter", [](EngineCaches& c) { c.SetEnumProductFilter(L"x"); }},
      {"dirty", [](EngineCaches& c) { c.SetDirty(0); }}};
  for (const auto& [what, change] : changes) {
    auto copy = cache.Clone();
    EXPECT_TRUE(copy->IsSameAs(cache)) << what;
    change(*copy);
    EXPECT_FALSE(copy->IsSameAs(cache)) << what;
    change(cache);
    EXPECT_TRUE(copy->IsSameAs(cache)) << what;
  }
  auto copy = cache.Clone();
  copy->SetChecked(1, 0);
  cache.AssignFrom(*copy);
  EXPECT_TRUE(copy->IsSameAs(cache)) << "assigned";
  // Finding an entry is exact and takes the first match.
  cache.SetEntries(List({Entry(L"g", L"id", L"first"), Entry(L"g", L"id", L"second")}));
  EXPECT_EQ(cache.FindEntry(L"g", L"id").value_or(EngineEntry{}).DisplayName(), L"first");
  EXPECT_FALSE(cache.FindEntry(L"G", L"id") || cache.FindEntry(L"g", L"ID")) << "found in another letter case";
}

// A cancelled listing succeeds, one that cannot start fails; both leave the
// entries and their check marks as they were.
TEST_F(EngineCacheTest, ACancelledOrUnstartedListingLeavesTheCacheAlone) {
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  cache.SetChecked(0, 0);
  mFirst->Script(Operation::GetEngineList, {.status = kRequestCancelled, .times = 1});
  EXPECT_TRUE(cache.RefreshCache(false, false));
  mSide->FailFactoryCreation(REGDB_E_CLASSNOTREG, 1, 100);
  EXPECT_FALSE(cache.RefreshCache(false, false));
  EXPECT_EQ(std::pair(cache.Count(), cache.Entry(0).Checked()), std::pair(size_t{2}, 0)) << "entries, the check mark";
}

// Pairs that can no longer be opened go with a 1253; a passing failure keeps
// the implementation's pairs and check marks, and the other implementations'
// new pairs come in. Once it answers again, its list is the one it gives.
TEST_F(EngineCacheTest, AFailedImplementationKeepsItsPairsUnlessItIsUnavailable) {
  const FakePair kEnIt = Pair(L"c", L"en", L"it", L"English - Italian");
  for (HRESULT failure : {ENGINE_E_UNAVAILABLE, E_FAIL}) {
    SCOPED_TRACE(failure);
    support::ErrorList::Clear();
    Serve({{L"alpha", {kEnEs, kEsEn}}, {L"beta", {kEnDe}}});
    EngineCaches cache;
    ASSERT_TRUE(cache.RefreshCache(false, false));
    cache.SetChecked(cache.FindKey(L"alpha:en-es"), 0);
    Serve({{L"alpha", {kEnEs, kEsEn}}, {L"beta", {kEnDe, kEnIt}}});
    mFirst->Script(Operation::GetEngineList, {.callResult = failure});
    EXPECT_FALSE(cache.RefreshCache(false, false));
    const bool kept = failure != ENGINE_E_UNAVAILABLE;
    const int enEs = cache.FindKey(L"alpha:en-es");
    // The entries, alpha's pair there still unchecked, the new one, a 1253.
    EXPECT_EQ(std::tuple(cache.Count(), enEs >= 0 && !cache.Entry(enEs).Checked(), cache.FindKey(L"beta:c") >= 0,
                         MessageIds() == std::vector<int>{1253}),
              std::tuple(kept ? size_t{4} : size_t{2}, kept, true, !kept));
    if (!kept) continue;
    Serve({{L"alpha", {kEnEs}}, {L"beta", {kEnDe, kEnIt}}});
    EXPECT_TRUE(cache.RefreshCache(false, false));
    // The entries, the gone one, the check mark kept.
    const int enEsAgain = cache.FindKey(L"alpha:en-es");
    EXPECT_EQ(std::tuple(cache.Count(), cache.FindKey(L"alpha:es-en"), cache.Entry(enEsAgain).Checked()),
              std::tuple(size_t{3}, -1, 0));
  }
}

TEST_F(EngineCacheTest, ARebuildWithAFailedImplementationLeavesTheTriggerBehindSoTheNextStartAsksAgain) {
  SetString(Hive::LocalMachine, kAddinKeyPath, kRefreshTriggerValue, L"install-2");
  SetString(Hive::CurrentUser, kAddinKeyPath, kRefreshTriggerValue, L"install-1");
  Serve({{L"alpha", {kEnEs, kEsEn}}, {L"beta", {kEnDe}}});
  mFirst->Script(Operation::GetEngineList, {.callResult = E_FAIL, .times = 1});
  {
    EngineCaches cache;
    ASSERT_TRUE(cache.LoadCache(false));
    EXPECT_FALSE(cache.RefreshCache(false, true));
    ASSERT_TRUE(cache.SaveCache(true, false));
    EXPECT_EQ(cache.Dirty(), 0);
  }
  EXPECT_EQ(UserValue(kAddinKeyPath, kRefreshTriggerValue), L"install-1");

  EngineCaches next;
  ASSERT_TRUE(next.LoadCache(false));
  ASSERT_TRUE(next.RefreshCache(false, true));
  EXPECT_EQ(std::pair(next.EngineQueries(), next.Count()), std::pair(1, size_t{3})) << "queries, entries";
  ASSERT_TRUE(next.SaveCache(true, false));
  EXPECT_EQ(UserValue(kAddinKeyPath, kRefreshTriggerValue), L"install-2");
}

}  // namespace
