// Enumeration, the built-in families and the abbreviation tables against the
// scriptable fake engine side, the same in-process engine side the program's
// end-to-end runs use.
#include <gtest/gtest.h>


#include "src/engine/EngineEnumeration.h"
#include "src/engine/EngineFamilies.h"
#include "src/support/ResourceModule.h"
#include "tests/common/Errors.h"
#include "tests/engine/EngineCacheTestEnv.h"

using namespace engine;
using namespace enginetest;
using namespace engine_server;
using fake_engine::Operation;
using platform::Hive;

namespace {

using V = std::vector<std::wstring>;

V Keys(const EngineEntryList& list) {
  V keys;
  for (const auto& [k, e] : list) keys.push_back(k);
  return keys;
}

class EnumerationTest : public EngineEnvTest {
 protected:
  fake_engine::FakeImplementation& Add(const std::wstring& name, std::vector<fake_engine::FakePair> pairs = {}) {
    auto& impl = mSide.AddImplementation(name);
    for (auto& p : pairs) impl.AddPair(p);
    return impl;
  }

  fake_engine::FakeEngineSide mSide;
};

// Pairs in order with folded Chinese codes and the implementation as group;
// every factory gets the display language, the client id and the flags.
TEST_F(EnumerationTest, PairsAreReadInOrderAndEveryFactoryGetsDisplayLanguageClientIdAndFlags) {
  auto pairs = std::vector{Pair(L"tw-ja", L"zh-tw", L"ja", L"T - J"), Pair(L"ja-cn", L"ja", L"ZH-CN", L"J - C")};
  pairs[0].flags = 0x409;
  auto& alpha = Add(L"alpha", pairs);
  auto& beta = Add(L"beta", {Pair(L"b", L"en", L"es", L"B")});
  beta.SetPropertyNames({L"Other"});
  EnumResult r = CollectEngines(L"ja", 0x0C01);
  ASSERT_EQ(r.ending, EnumEnding::Done);
  ASSERT_EQ(Keys(r.entries), (V{L"alpha:tw-ja", L"alpha:ja-cn", L"beta:b"}));
  EXPECT_EQ(std::pair(Describe(r.entries[0].second), r.entries[1].second.ToLang()),
            std::pair(std::wstring(L"alpha:tw-ja 1 zh-hant>ja 1033 T - J|Prod|P"), std::wstring(L"zh-hans")));
  // The factories made, the display languages, the client ids (beta has no
  // such property), the flags asked for.
  EXPECT_EQ(std::tuple(mSide.FactoryCreations(), alpha.DisplayLanguage() + L" " + beta.DisplayLanguage(),
                       alpha.ClientId() + L"|" + beta.ClientId(), alpha.ListingFlags()),
            std::tuple(3, std::wstring(L"ja ja"),
                       L"Pelorant " + support::VersionInfo().GetValue(L"ProductVersion") + L"|",
                       std::vector<LONG>{0x0C01}));
}

TEST_F(EnumerationTest, SkippedNamesAreNeverAskedWhateverTheirCase) {
  for (const wchar_t* name : {L"Selvan", L"QUENDAL", L"quendal2", L"Quendal3", L"quendal3_1", L"Quendal4",
                              L"Ostrel", L"varnel", L"Tessa", L"brommi", L"CALDER"}) {
    Add(name, {Pair(name, L"en", L"es", L"X")});
  }
  EnumResult r = CollectEngines(L"en", 3072);
  // The ending, the entries (each would list a pair), the failures, the
  // factories made.
  EXPECT_EQ(std::tuple(r.ending, Keys(r.entries), r.failedImplementations, mSide.FactoryCreations()),
            std::tuple(EnumEnding::Done, V{}, 0, 1));
  EXPECT_FALSE(IsSkippedImplementation(L"selvan2"));
  EXPECT_FALSE(IsSkippedImplementation(L"apertium"));
}

TEST_F(EnumerationTest, AFailureToStartOrACancelEndsTheWholeCollection) {
  auto& alpha = Add(L"alpha", {Pair(L"a", L"en", L"es", L"A")});
  mSide.FailFactoryCreation(REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::NotStarted);

  mSide.FailImplementationsCreation(REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::NotStarted);

  // The factory for the second implementation cannot be made: the whole
  // collection is NotStarted, so the cache keeps what it had.
  mSide.FailImplementationsCreation(S_OK);
  auto& beta = Add(L"beta", {Pair(L"b", L"en", L"es", L"B")});
  mSide.FailFactoryCreation(REGDB_E_CLASSNOTREG, 3);
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::NotStarted);
  EXPECT_EQ(alpha.ListingFlags().size(), 1u) << "the failure was to hit the second implementation's factory";
  // A cancelled listing ends the collection before the next implementation.
  beta.Script(Operation::GetEngineList, {.status = kRequestCancelled});
  auto& gamma = Add(L"gamma", {Pair(L"c", L"en", L"es", L"C")});
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::Cancelled);
  EXPECT_TRUE(gamma.ListingFlags().empty());
}

TEST_F(EnumerationTest, FailuresCountPerImplementationAndTheOthersStillList) {
  Add(L"down").Script(Operation::GetEngineList, {.callResult = ENGINE_E_UNAVAILABLE});
  Add(L"broken").Script(Operation::GetEngineList, {.callResult = E_FAIL});
  Add(L"failed").Script(Operation::GetEngineList, {.status = kRequestFailed, .errorCode = 30004});
  Add(L"silent").Script(Operation::GetEngineList, {.status = kRequestFailed});  // error code 0: nothing to report
  // An unknown status: skipped, not failed.
  Add(L"odd", {Pair(L"o", L"en", L"es", L"O")}).Script(Operation::GetEngineList, {.status = 7});
  Add(L"good", {Pair(L"g", L"en", L"es", L"G")});
  EnumResult r = CollectEngines(L"en", 3072);
  // The ending, the failures, one unavailable, the entries, the messages (the
  // error list is cleared before each implementation, so the network error of
  // "failed" does not outlive the implementations after it).
  EXPECT_EQ(std::tuple(r.ending, r.failedImplementations, r.EngineUnavailable, Keys(r.entries),
                       support::ErrorList::GetCount()),
            std::tuple(EnumEnding::Done, 4, true, V{L"good:g"}, 0));
}

TEST_F(EnumerationTest, AnEngineErrorOfTheLastImplementationStaysInTheErrorListAndAFailingCallRaises) {
  auto& failed = Add(L"failed").Script(Operation::GetEngineList, {.status = kRequestFailed, .errorCode = 30004});
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(std::tuple(r.failedImplementations, r.EngineUnavailable, MessageIds()),
            std::tuple(1, false, std::vector<int>{1205}));
  // A failing call of the implementation raises its error.
  failed.Script(Operation::SetImplementation, {.callResult = E_ACCESSDENIED});
  EXPECT_EQ(testsupport::ErrorOf([] { CollectEngines(L"en", 3072); }), E_ACCESSDENIED);
}

TEST_F(EnumerationTest, APairWithAFailingReadIsSkippedAndItsNeighboursKept) {
  std::vector<fake_engine::FakePair> pairs;
  using fake_engine::ItemProperty;
  const std::optional<ItemProperty> reads[] = {std::nullopt, ItemProperty::DisplayName, std::nullopt,
                                               ItemProperty::EngineID, ItemProperty::Flags, ItemProperty::ProductName,
                                               std::nullopt};
  for (const auto& read : reads) {
    auto p = Pair(L"id" + std::to_wstring(pairs.size()), L"en", L"es", L"N");
    if (read) p.failingReads[*read] = E_FAIL;
    pairs.push_back(p);
  }
  Add(L"alpha", pairs);
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(Keys(r.entries), (V{L"alpha:id0", L"alpha:id2", L"alpha:id6"}));
  EXPECT_EQ(r.failedImplementations, 0);
}

EngineEntryList Listed(std::vector<std::pair<std::wstring, std::wstring>> groupIds, std::wstring product = L"P") {
  EngineEntryList list;
  for (auto& [g, id] : groupIds) list.emplace_back(g + L":" + id, Entry(g, id, L"", 1, 1, product));
  return list;
}

TEST(EnumerationListingRules, HiddenWrenDocumentEnginesGoEvenWhenConsecutiveAndTheProductFilterIsExact) {
  EngineEntryList list = Listed({{L"wren", L"kelboej.documentb.qov8"},
                                 {L"Wren", L"KELBOJE.DOCUMENTB.QOV9NET"},
                                 {L"wren", L"kelboej.documentb.qov8cs"},
                                 {L"wren", L"kelboej.documentb.qov10"},
                                 {L"other", L"kelboej.documentb.qov9"},
                                 {L"wren", L"kelboje.documentb.qov9"}});
  ApplyListingRules(&list, L"");
  EXPECT_EQ(Keys(list), (V{L"wren:kelboej.documentb.qov10", L"other:kelboej.documentb.qov9"}));
  // The product filter is exact.
  list = Listed({{L"a", L"1"}}, L"Prod");
  EngineEntryList other = Listed({{L"b", L"2"}, {L"c", L"3"}}, L"prod");
  list.insert(list.begin(), other.begin(), other.end());
  ApplyListingRules(&list, L"Prod");
  EXPECT_EQ(Keys(list), V{L"a:1"});
}

// The helpers are the fake side's; each installed one confirms Japanese
// pairs unless told.
class FamiliesTest : public EngineEnvTest {
 protected:
  // Registers a class as an installer would: ProgID -> CLSID -> server path.
  fake_engine::FakeFamilyHelper& Register(const std::wstring& progId, const std::wstring& serverFile) {
    auto& helper = mSide->AddFamilyHelper(progId).SetCapability(kFamilyCapabilityJapanesePairs, true);
    const std::wstring n = std::to_wstring(++mRegistered);
    mClsid = L"{00000000-0000-4000-8000-" + std::wstring(12 - n.size(), L'0') + n + L"}";
    EXPECT_EQ(ERROR_SUCCESS, helper.RegisterInClassesRoot(mClsid, serverFile));
    return helper;
  }
  fake_engine::FakeFamilyHelper& Install(const std::wstring& progId) {
    return Register(progId, MakeFile(progId + L".dll"));
  }

  std::unique_ptr<fake_engine::FakeEngineSide> mSide = std::make_unique<fake_engine::FakeEngineSide>();
  int mRegistered = 0;
  std::wstring mClsid;  // the last one registered
};

TEST_F(FamiliesTest, NothingInstalledOrAServerFileGoneListsNothing) {
  Register(L"QuendalAddInHelper.Helper", platform::JoinPath(Folder(), L"gone.dll"));
  EngineEntryList list;
  for (const auto& f : BuiltInFamilies()) ListFamilyPairs(f.name, &list, 3072);
  ListFamilyPairs(L"NoSuchFamily", &list, 3072);
  // Listed, installed (gone, never registered), known families.
  EXPECT_EQ(std::tuple(list.size(), IsClassInstalled(L"QuendalAddInHelper.Helper"),
                       IsClassInstalled(L"Never.Registered"), FindBuiltInFamily(L"quendal3_1") != nullptr,
                       FindBuiltInFamily(L"apertium") != nullptr),
            std::tuple(size_t{0}, false, false, true, false));
}

// Each installed engine of the family gives its two pairs; a local server's
// command line counts without its quotes and automation switch.
TEST_F(FamiliesTest, EachInstalledEngineOfAFamilyGivesItsTwoPairs) {
  Install(L"SelvanCJ.Document");
  std::wstring exe = MakeFile(L"local server.exe");
  Register(L"SelvanJC.Document", L"");
  platform::DeleteKeyTree(Hive::ClassesRoot, L"CLSID\\" + mClsid + L"\\InprocServer32");
  SetString(Hive::ClassesRoot, L"CLSID\\" + mClsid + L"\\LocalServer32", L"", L"\"" + exe + L"\" /Automation");
  EXPECT_EQ(RegisteredServerPath(L"SelvanJC.Document"), exe);
  EngineEntryList list;
  ListFamilyPairs(L"Selvan", &list, 3072);
  ASSERT_EQ(Keys(list), (V{L"Selvan:SelvanCJ.Document.CN", L"Selvan:SelvanCJ.Document.TW", L"Selvan:SelvanJC.Document.CN",
                           L"Selvan:SelvanJC.Document.TW"}));
  const EngineEntry& cn = list[0].second;
  EXPECT_EQ(Describe(cn), L"Selvan:SelvanCJ.Document.CN 1 zh-hans>ja 1025 " + support::LoadText(9005) + L"|" +
                              support::LoadText(9109) + L"|" + support::LoadText(9110));
  EXPECT_EQ(list[1].second.FromLang(), L"zh-hant");
  EXPECT_FALSE(cn.FromLangName().empty());
}

TEST_F(FamiliesTest, PairsFollowTheFlagBits) {
  Install(L"OstrelCJ.Document");
  Install(L"OstrelJC.Document");
  Install(L"Quendal2AddInHelper.Helper");
  // Chinese families need bit 0x400 and no other low bit (the upper range
  // counts too); the European one lists its English pairs for 0x400 and its
  // Japanese ones for 0x800. Each row: the family, the flags asked for, the
  // pairs listed, the first one's key, every pair's flags (below 22 pairs).
  const std::tuple<const wchar_t*, LONG, size_t, const wchar_t*, int> cases[] = {
      {L"Ostrel", 0x0800, 0, nullptr, 0},       {L"Ostrel", 0x10400, 0, nullptr, 0},
      {L"Ostrel", 0x0401, 2, L"Ostrel:OstrelCJ.Document.CN", 1025}, {L"Quendal2", 0x0C02, 0, nullptr, 0},
      {L"Quendal2", 0x0400, 12, L"Quendal2:en.ja", 1025}, {L"Quendal2", 0x0800, 10, L"Quendal2:fr.ja", 2049},
      {L"Quendal2", 3072, 22, L"Quendal2:en.ja", 1025},   {L"Quendal2", 0x1000, 0, nullptr, 0}};
  for (const auto& [family, flags, pairs, first, entryFlags] : cases) {
    SCOPED_TRACE(testing::Message() << family << " " << std::hex << flags);
    EngineEntryList list;
    ListFamilyPairs(family, &list, flags);
    ASSERT_EQ(list.size(), pairs);
    if (!first) continue;
    EXPECT_EQ(list[0].first, first);
    if (pairs < 22) {
      for (const auto& [k, e] : list) EXPECT_EQ(e.Flags(), entryFlags) << e.EngineID();
    }
  }
  // Japanese pairs need the helper's confirmation.
  auto& varnel = Install(L"VarnelV1.AddInHelper.Helper").SetCapability(kFamilyCapabilityJapanesePairs, false);
  EngineEntryList list;
  ListFamilyPairs(L"Varnel", &list, 3072);
  EXPECT_EQ(list.size(), 12u);
  varnel.SetCapability(kFamilyCapabilityJapanesePairs, true).FailCreation(REGDB_E_CLASSNOTREG);
  list.clear();
  ListFamilyPairs(L"Varnel", &list, 0x0801);
  EXPECT_TRUE(list.empty());
}

TEST_F(FamiliesTest, RefreshAppendsFamilyPairsAfterTheFactoryPairs) {
  Install(L"Quendal4.AddInHelper.Helper");
  mSide->AddImplementation(L"alpha").AddPair(Pair(L"x", L"en", L"es", L"zzz"));
  EngineCaches cache;
  cache.SetEnumFlag(0x0400);
  ASSERT_TRUE(cache.RefreshCache(false, false));
  EXPECT_EQ(std::tuple(cache.Count(), cache.FindKey(L"alpha:x") >= 0, cache.FindKey(L"Quendal4:ja.en") >= 0),
            std::tuple(size_t{13}, true, true)) << "entries, the factory's pair, the family's";
}

// Each engine opens through its own helper; not installed, not a family or
// not one of its pairs opens nothing.
TEST_F(FamiliesTest, OpeningAFamilyEngineGoesThroughTheRightIdentifier) {
  auto& selvan = Install(L"SelvanJC.Document").Engines();
  selvan.AddPair(Pair(L"SelvanJC.Document.TW", L"ja", L"zh-hant", L"J - T"));
  auto& quendal = Install(L"Quendal3.AddInHelper.Helper").Engines();
  quendal.AddPair(Pair(L"fr.ja", L"fr", L"ja", L"F - J"));
  // The family, the engine, the result, the engines each helper opened.
  const std::tuple<const wchar_t*, const wchar_t*, HRESULT, std::pair<int, int>> cases[] = {
      {L"Selvan", L"SelvanJC.Document.TW", S_OK, {1, 0}},
      {L"Quendal3", L"fr.ja", S_OK, {1, 1}},
      {L"Selvan", L"SelvanCJ.Document.CN", REGDB_E_CLASSNOTREG, {1, 1}},
      {L"apertium", L"eng-spa", REGDB_E_CLASSNOTREG, {1, 1}},
      {L"Quendal3", L"en.ru", REGDB_E_CLASSNOTREG, {1, 1}},
  };
  for (const auto& [family, id, result, opened] : cases) {
    std::shared_ptr<ITranslationEngine> engine;
    const HRESULT hr = OpenFamilyEngine(family, id, &engine);
    // The result, an engine, the engines each helper opened.
    EXPECT_EQ(std::tuple(hr, static_cast<bool>(engine), std::pair(selvan.EnginesOpened(), quendal.EnginesOpened())),
              std::tuple(result, result == S_OK, opened))
        << platform::ToUtf8(id);
  }
}

TEST_F(FamiliesTest, AnInstalledEngineWhoseHelperCannotBeDrivenListsNoPair) {
  Install(L"SelvanCJ.Document").FailCreation(E_NOTIMPL);
  Install(L"OstrelJC.Document");
  Install(L"Quendal4.AddInHelper.Helper").FailCreation(E_NOTIMPL);
  EngineEntryList list;
  for (const auto& f : BuiltInFamilies()) ListFamilyPairs(f.name, &list, 3072);
  EXPECT_EQ(Keys(list), V{L"Ostrel:OstrelJC.Document.CN"});

  // The platform's own way to the helpers: an installed class whose helper
  // this build cannot drive lists nothing.
  mSide.reset();
  const std::wstring clsid = L"{00000000-0000-4000-8000-000000000099}";
  SetString(Hive::ClassesRoot, L"OstrelJC.Document\\CLSID", L"", clsid);
  SetString(Hive::ClassesRoot, L"CLSID\\" + clsid + L"\\InprocServer32", L"", MakeFile(L"OstrelJC.Document.dll"));
  list.clear();
  for (const auto& f : BuiltInFamilies()) ListFamilyPairs(f.name, &list, 3072);
  EXPECT_TRUE(list.empty()) << platform::ToUtf8(list.empty() ? L"" : list[0].first);
  platform::DeleteKeyTree(Hive::ClassesRoot, L"OstrelJC.Document");
  platform::DeleteKeyTree(Hive::ClassesRoot, L"CLSID\\" + clsid);
}

class AbbreviationTest : public EngineEnvTest {};

// The language's table wins over the common one and .tbl over .tbb, the
// common .tbb last; entries are cut at CR LF only and empty ones dropped;
// no table or an unreadable one gives nothing; a language code cannot reach
// outside the folder.
TEST_F(AbbreviationTest, TheTableFoundAndItsEntries) {
  using V = std::vector<std::wstring>;
  const std::string common = Utf16File(L"common.\r\n"), tbb = Utf16File(L"tbb.\r\n");
  // What is tried, the files, the language, whether a table is found, its
  // entries.
  const std::tuple<const char*, std::vector<std::pair<std::wstring, std::string>>, const wchar_t*, bool, V> cases[] = {
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
  for (const auto& [what, files, language, found, expected] : cases) {
    SCOPED_TRACE(what);
    std::filesystem::remove_all(platform::NativePath(Folder()));
    for (const auto& [name, bytes] : files) MakeFile(name, bytes);
    V entries{L"stale"};
    EXPECT_EQ(LoadAbbreviations(language, &entries, Folder()), found);
    EXPECT_EQ(entries, expected);
  }
}

}  // namespace
