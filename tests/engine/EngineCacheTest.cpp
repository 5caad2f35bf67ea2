#include <gtest/gtest.h>

#include <algorithm>

#include "tests/engine/EngineCacheTestEnv.h"
#include "src/engine/EngineCaches.h"
#include "src/support/ErrorList.h"
#include "tests/common/FaultyFiles.h"

using namespace engine;
using namespace enginetest;
using namespace engine_server;
using fake_engine::FakePair;
using fake_engine::Operation;
using platform::Hive;

namespace {

const std::wstring kCommon = kCommonSettingsPath;

// The first start, equal and changed refresh triggers, check marks across a
// rebuild and a damaged cache file are run by the program's engine commands
// (tests/e2e/engines.sh); these are the cases it cannot reach.
class EngineCacheTest : public EngineEnvTest {
 protected:
  void SetUp() override {
    EngineEnvTest::SetUp();
    Serve({{L"alpha", {kEnEs, kEsEn}}});
  }
  void TearDown() override {
    mSide.reset();
    EngineEnvTest::TearDown();
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
    std::string bytes = ReadBytes(EngineCacheFilePath());
    if (bytes.size() < 2) return {};
    return platform::FromUtf16Le(std::string_view(bytes).substr(2));
  }

  // The user's value, or "<none>" when it is not there.
  static std::wstring UserValue(const std::wstring& path, const std::wstring& name) {
    std::wstring text;
    return GetString(Hive::CurrentUser, path, name, &text) ? text : L"<none>";
  }

  const FakePair kEnEs = Pair(L"en-es", L"en", L"es", L"English - Spanish");
  const FakePair kEsEn = Pair(L"es-en", L"es", L"en", L"Spanish - English");
  const FakePair kEnDe = Pair(L"b", L"en", L"de", L"English - German");
  std::unique_ptr<fake_engine::FakeEngineSide> mSide;
  fake_engine::FakeImplementation* mFirst = nullptr;
};

TEST_F(EngineCacheTest, ForcedRefreshAsksEvenWhenTheTriggersAreEqual) {
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  ASSERT_TRUE(cache.RefreshCache(false, true));
  ASSERT_TRUE(cache.SaveCache(true, false));
  ASSERT_TRUE(cache.RefreshCache(false, false));
  EXPECT_EQ(Listings(), 2u);
}

TEST_F(EngineCacheTest, RefreshTypeOneSkipsTriggersAndFileButStillWritesSettings) {
  SetString(Hive::CurrentUser, kCommon, L"_Cache.RefreshType", L"1");
  SetString(Hive::LocalMachine, kAddinKeyPath, kRefreshTriggerValue, L"m");
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  EXPECT_EQ(cache.RefreshType(), 1);
  EXPECT_EQ(cache.MachineRefreshTrigger(), L"");  // not read
  ASSERT_TRUE(cache.RefreshCache(false, true));
  ASSERT_TRUE(cache.RefreshCache(false, true));
  EXPECT_EQ(Listings(), 2u);
  ASSERT_TRUE(cache.SaveCache(false, true));
  EXPECT_FALSE(platform::PathExists(EngineCacheFilePath()));
  EXPECT_EQ(UserValue(kAddinKeyPath, kRefreshTriggerValue), L"");
  EXPECT_EQ(UserValue(kCommon, L"_Cache.EnumFlag"), L"3072");
}

TEST_F(EngineCacheTest, SettingsComeFromTheUserWithTheMachineAsFallback) {
  SetString(Hive::LocalMachine, kCommon, L"_Cache.EnumFlag", L"1024");
  SetString(Hive::LocalMachine, kCommon, L"_Cache.DisplayLanguage", L"de");
  SetString(Hive::CurrentUser, kCommon, L"_Cache.DisplayLanguage", L"fr");
  SetString(Hive::CurrentUser, kCommon, L"_Cache.EnumProductFilter", L"Prod");
  SetString(Hive::CurrentUser, kCommon, L"_Cache.RefreshType", L"yes");  // anything but "1" is 0
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  EXPECT_EQ(cache.EnumFlag(), 1024);
  EXPECT_EQ(cache.DisplayLanguage(), L"fr");
  EXPECT_EQ(cache.EnumProductFilter(), L"Prod");
  EXPECT_EQ(cache.RefreshType(), 0);

  ASSERT_TRUE(cache.RefreshCache(false, true));
  EXPECT_EQ(mFirst->DisplayLanguage(), L"fr");
  EXPECT_EQ(mFirst->ListingFlags(), std::vector<LONG>{1024});

  // Machine defaults ignore the user's values.
  ASSERT_TRUE(cache.LoadCache(true));
  EXPECT_EQ(cache.DisplayLanguage(), L"de");
  EXPECT_EQ(cache.EnumProductFilter(), L"");
  EXPECT_EQ(cache.Dirty(), 1);
}

TEST_F(EngineCacheTest, AnEnumFlagThatIsNoNumberKeepsTheCurrentFlag) {
  SetString(Hive::CurrentUser, kCommon, L"_Cache.EnumFlag", L"lots");
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  EXPECT_EQ(cache.EnumFlag(), 3072);
}

TEST_F(EngineCacheTest, SavingSettingsRemovesEmptyValuesAndUsesTheSubKey) {
  SetString(Hive::CurrentUser, kCommon + L"\\Sub", L"_Cache.EnumProductFilter", L"Old");
  EngineCaches cache(L"Sub");
  ASSERT_TRUE(cache.LoadCache(false));
  EXPECT_EQ(cache.EnumProductFilter(), L"Old");
  cache.SetEnumProductFilter(L"");
  cache.SetEnumFlag(0x400);
  cache.SetDisplayLanguage(L"en");
  ASSERT_TRUE(cache.SaveCache(false, true));
  const std::wstring sub = kCommon + L"\\Sub";
  EXPECT_EQ(UserValue(sub, L"_Cache.EnumProductFilter"), L"<none>");
  EXPECT_EQ(UserValue(sub, L"_Cache.EnumFlag"), L"1024");
  EXPECT_EQ(UserValue(sub, L"_Cache.RefreshType"), L"0");
  EXPECT_EQ(UserValue(sub, L"_Cache.DisplayLanguage"), L"en");
}

TEST_F(EngineCacheTest, AFailedWriteKeepsDirtyAndDoesNotAdvanceTheUserTrigger) {
  SetString(Hive::LocalMachine, kAddinKeyPath, kRefreshTriggerValue, L"new");
  SetString(Hive::CurrentUser, kAddinKeyPath, kRefreshTriggerValue, L"old");
  // A file where the cache folder should be: neither folder nor file can be made.
  std::wstring folder = EngineCacheFolder();
  std::wstring parent = folder.substr(0, folder.find_last_of(platform::PathSeparator()));
  platform::CreateFolderTree(parent);
  ASSERT_TRUE(WriteBytes(folder, "not a folder"));
  EngineCaches cache;
  cache.LoadCache(false);
  ASSERT_TRUE(cache.RefreshCache(false, true));
  EXPECT_FALSE(cache.SaveCache(true, false));
  EXPECT_EQ(cache.Dirty(), 1);
  EXPECT_EQ(cache.UserRefreshTrigger(), L"old");
  EXPECT_EQ(UserValue(kAddinKeyPath, kRefreshTriggerValue), L"old");
}

TEST_F(EngineCacheTest, AWriteTheDiskRefusesKeepsTheOldFileAndTheDamagedOneInPlace) {
  // The old file readable: the replace fails. The old file damaged: keeping
  // it aside fails, so it must not be replaced at all.
  const std::string readable = Utf16File(L"EngineGroup\tEngineID\r\nhand\tmade\r\n");
  const std::string damaged("\xFF\xFE" "C\0h\0e", 7);
  struct Case {
    std::string old;
    unsigned failing;
  } cases[] = {{readable, testsupport::FaultyFiles::kWrite}, {damaged, testsupport::FaultyFiles::kKeepAside}};
  for (const Case& c : cases) {
    platform::CreateFolderTree(EngineCacheFolder());
    ASSERT_TRUE(WriteBytes(EngineCacheFilePath(), c.old));
    EngineCaches cache;
    cache.LoadCache(false);
    ASSERT_TRUE(cache.RefreshCache(false, false));
    {
      testsupport::FaultyFiles faulty(c.failing);
      EXPECT_FALSE(cache.SaveCache(false, false));
      // The stand-in registry writes through the same table.
      EXPECT_GE(faulty.Failures(), 1);
    }
    EXPECT_EQ(cache.Dirty(), 1) << "the list is still to be written";
    EXPECT_FALSE(cache.LastFailure().empty());
    EXPECT_EQ(ReadBytes(EngineCacheFilePath()), c.old);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(platform::NativePath(EngineCacheFolder())))
      names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Engines.tsv"}) << "nothing beside it";
  }
}

TEST_F(EngineCacheTest, OnlyIfDirtySkipsAnUnchangedCache) {
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  ASSERT_TRUE(cache.RefreshCache(false, true));
  ASSERT_TRUE(cache.SaveCache(true, false));
  ASSERT_TRUE(WriteBytes(EngineCacheFilePath(), Utf16File(L"EngineGroup\tEngineID\r\nhand\tmade\r\n")));
  ASSERT_TRUE(cache.SaveCache(true, false));  // not dirty: file left alone
  EXPECT_NE(CacheText().find(L"hand\tmade"), std::wstring::npos);
  ASSERT_TRUE(cache.SaveCache(false, false));
  EXPECT_EQ(CacheText().find(L"hand\tmade"), std::wstring::npos);
}

TEST_F(EngineCacheTest, ProductFilterRemovesEveryOtherProductIncludingNeighbours) {
  Serve({{L"alpha", {Pair(L"a", L"en", L"es", L"A", L"Other"), Pair(L"b", L"en", L"es", L"B", L"Other"),
                      Pair(L"c", L"en", L"es", L"C", L"Keep"), Pair(L"d", L"en", L"es", L"D", L"Other")}}});
  EngineCaches cache;
  cache.SetEnumProductFilter(L"Keep");
  ASSERT_TRUE(cache.RefreshCache(false, false));
  ASSERT_EQ(cache.Count(), 1u);
  EXPECT_EQ(cache.Entry(0).EngineID(), L"c");
}

TEST_F(EngineCacheTest, EntriesAreSortedByDisplayNameThenProductAndIdInCodeUnitOrder) {
  Serve({{L"alpha", {Pair(L"2", L"en", L"es", L"b"), Pair(L"1", L"en", L"es", L"B"), Pair(L"3", L"en", L"es", L"\uFF21"),
                      Pair(L"4", L"en", L"es", L"\U00010000"), Pair(L"0", L"en", L"es", L"b")}}});
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  std::wstring order;
  for (size_t i = 0; i < cache.Count(); ++i) order += cache.Entry(i).EngineID();
  // "B" < "b" (ordinal); id "0" < "2" breaks the tie; U+10000 is D800 DC00 in
  // UTF-16 and so sorts before U+FF21.
  EXPECT_EQ(order, L"10243");
}

TEST_F(EngineCacheTest, FindEntryIsExactAndTakesTheFirstMatch) {
  EngineCaches cache;
  EngineEntryList list;
  for (const wchar_t* display : {L"first", L"second"}) {
    EngineEntry e;
    e.SetEngineGroup(L"g");
    e.SetEngineID(L"id");
    e.SetDisplayName(display);
    list.emplace_back(e.EngineKey(), e);
  }
  cache.SetEntries(list);
  auto found = cache.FindEntry(L"g", L"id");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->DisplayName(), L"first");
  EXPECT_FALSE(cache.FindEntry(L"G", L"id").has_value());
  EXPECT_FALSE(cache.FindEntry(L"g", L"ID").has_value());
}

TEST_F(EngineCacheTest, CloneIsSameUntilEitherChangesAndDoesNotShareEntries) {
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  auto copy = cache.Clone();
  EXPECT_TRUE(copy->IsSameAs(cache));
  EXPECT_TRUE(cache.IsSameAs(cache));
  copy->SetChecked(0, 0);
  EXPECT_EQ(cache.Entry(0).Checked(), 1);
  EXPECT_FALSE(copy->IsSameAs(cache));
  copy->SetChecked(0, 1);
  EXPECT_TRUE(copy->IsSameAs(cache));
  copy->SetEnumProductFilter(L"x");
  EXPECT_FALSE(copy->IsSameAs(cache));
  copy->SetEnumProductFilter(L"");
  copy->SetDirty(0);
  EXPECT_FALSE(copy->IsSameAs(cache));
  cache.AssignFrom(*copy);
  EXPECT_TRUE(copy->IsSameAs(cache));
}

TEST_F(EngineCacheTest, NotStartedLeavesTheCacheAloneAndFails) {
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  size_t before = cache.Count();
  cache.SetChecked(0, 0);
  mSide->FailFactoryCreation(REGDB_E_CLASSNOTREG, 1, 100);
  EXPECT_FALSE(cache.RefreshCache(false, false));
  EXPECT_EQ(cache.Count(), before);
  EXPECT_EQ(cache.Entry(0).Checked(), 0);
}

TEST_F(EngineCacheTest, CancelledListingSucceedsWithTheCacheUnchanged) {
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  mFirst->Script(Operation::GetEngineList, {.status = kRequestCancelled});
  EXPECT_TRUE(cache.RefreshCache(false, false));
  EXPECT_EQ(cache.Count(), 2u);
}

TEST_F(EngineCacheTest, AnUnavailableImplementationAddsMessage1253AndFailsButKeepsTheOthers) {
  Serve({{L"down", {}}, {L"alpha", {kEnEs, kEsEn}}});
  mFirst->Script(Operation::GetEngineList, {.callResult = ENGINE_E_UNAVAILABLE});
  EngineCaches cache;
  EXPECT_FALSE(cache.RefreshCache(false, false));
  EXPECT_EQ(cache.Count(), 2u);
  const auto& errors = support::ErrorList::GetEntries();
  EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [](const auto& e) { return e.mMessageId == 1253; }));
}

TEST_F(EngineCacheTest, ARoamingFolderWithNonAsciiCharactersWorks) {
  platform::SetEnvironmentValue(L"XDG_CONFIG_HOME",
                                platform::FromUtf8((mRoot / "config").string()) + L"/caf\u00E9-\u65E5\u672C");
  EngineCaches cache;
  ASSERT_TRUE(cache.LoadCache(false));
  ASSERT_TRUE(cache.RefreshCache(false, true));
  ASSERT_TRUE(cache.SaveCache(true, false)) << platform::ToUtf8(cache.LastFailure());
  EngineCaches again;
  ASSERT_TRUE(again.LoadCache(false));
  EXPECT_EQ(again.Count(), 2u);
}

TEST_F(EngineCacheTest, APassingFailureOfAnImplementationKeepsItsPairsAndCheckMarks) {
  Serve({{L"alpha", {kEnEs, kEsEn}}, {L"beta", {kEnDe}}});
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  ASSERT_EQ(cache.Count(), 3u);
  cache.SetChecked(cache.FindKey(L"alpha:en-es"), 0);

  Serve({{L"alpha", {kEnEs, kEsEn}}, {L"beta", {kEnDe, Pair(L"c", L"en", L"it", L"English - Italian")}}});
  mFirst->Script(Operation::GetEngineList, {.callResult = E_FAIL});
  EXPECT_FALSE(cache.RefreshCache(false, false));
  ASSERT_EQ(cache.Count(), 4u);
  EXPECT_EQ(cache.Entry(cache.FindKey(L"alpha:en-es")).Checked(), 0);
  EXPECT_GE(cache.FindKey(L"beta:c"), 0);

  // Once it answers again, its list is the one it gives.
  Serve({{L"alpha", {kEnEs}}, {L"beta", {kEnDe, Pair(L"c", L"en", L"it", L"English - Italian")}}});
  EXPECT_TRUE(cache.RefreshCache(false, false));
  EXPECT_EQ(cache.Count(), 3u);
  EXPECT_EQ(cache.FindKey(L"alpha:es-en"), -1);
  EXPECT_EQ(cache.Entry(cache.FindKey(L"alpha:en-es")).Checked(), 0);
}

TEST_F(EngineCacheTest, AnImplementationWithNoUsableEngineLosesItsPairs) {
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  ASSERT_EQ(cache.Count(), 2u);
  mFirst->Script(Operation::GetEngineList, {.callResult = ENGINE_E_UNAVAILABLE});
  EXPECT_FALSE(cache.RefreshCache(false, false));
  EXPECT_EQ(cache.Count(), 0u) << "pairs that can no longer be opened were kept";
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
  EXPECT_EQ(next.EngineQueries(), 1);
  EXPECT_EQ(next.Count(), 3u);
  ASSERT_TRUE(next.SaveCache(true, false));
  EXPECT_EQ(UserValue(kAddinKeyPath, kRefreshTriggerValue), L"install-2");
}

}  // namespace
