#include <gtest/gtest.h>

#include "tests/engine/EngineCacheTestEnv.h"
#include "tests/engine/EnumerationScriptedSide.h"
#include "src/engine/EngineEnumeration.h"
#include "src/platform/ComError.h"
#include "src/support/ErrorList.h"
#include "src/support/ResourceModule.h"
#include "tests/common/Errors.h"

using namespace engine;
using namespace enginetest;

namespace {

class EnumerationTest : public EngineEnvTest {
 protected:
  void SetUp() override {
    EngineEnvTest::SetUp();
    mHooks = std::make_unique<ScopedClassHooks>(ScriptHooks(&mScript));
  }
  void TearDown() override {
    mHooks.reset();
    EngineEnvTest::TearDown();
  }
  ScriptImplementation& Add(const std::wstring& name, std::vector<ScriptPair> pairs = {}) {
    ScriptImplementation impl;
    impl.name = name;
    impl.pairs = std::move(pairs);
    mScript.implementations.push_back(impl);
    return mScript.implementations.back();
  }
  static std::vector<int> MessageIds() {
    std::vector<int> ids;
    for (const auto& e : support::ErrorList::GetEntries()) ids.push_back(e.mMessageId);
    return ids;
  }

  EngineScript mScript;
  std::unique_ptr<ScopedClassHooks> mHooks;
};

TEST_F(EnumerationTest, NoImplementationIsDoneWithNothing) {
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.ending, EnumEnding::Done);
  EXPECT_TRUE(r.entries.empty());
  EXPECT_EQ(r.failedImplementations, 0);
}

TEST_F(EnumerationTest, PairsAreReadInOrderWithFoldedChineseCodesAndTheImplementationAsGroup) {
  Add(L"alpha", {Pair(L"tw-ja", L"zh-tw", L"ja", L"T - J"), Pair(L"ja-cn", L"ja", L"ZH-CN", L"J - C")});
  mScript.implementations[0].pairs[0].flags = 0x409;
  EnumResult r = CollectEngines(L"", 3072);
  ASSERT_EQ(r.ending, EnumEnding::Done);
  ASSERT_EQ(r.entries.size(), 2u);
  const EngineEntry& first = r.entries[0].second;
  EXPECT_EQ(r.entries[0].first, L"alpha:tw-ja");
  EXPECT_EQ(first.EngineGroup(), L"alpha");
  EXPECT_EQ(first.FromLang(), L"zh-hant");
  EXPECT_EQ(first.ToLang(), L"ja");
  EXPECT_EQ(first.Flags(), 0x409);
  EXPECT_EQ(first.DisplayName(), L"T - J");
  EXPECT_EQ(first.ProductName(), L"Prod");
  EXPECT_EQ(first.ProductNameShort(), L"P");
  EXPECT_EQ(first.Checked(), 1);
  EXPECT_EQ(r.entries[1].second.ToLang(), L"zh-hans");
  // An empty display language is not handed over.
  EXPECT_TRUE(mScript.displayLanguages.empty());
}

TEST_F(EnumerationTest, EveryFactoryGetsDisplayLanguageAndClientId) {
  Add(L"alpha", {Pair(L"a", L"en", L"es", L"A")});
  Add(L"beta", {Pair(L"b", L"en", L"es", L"B")});
  mScript.implementations[1].hasClientId = false;
  CollectEngines(L"ja", 3072);
  EXPECT_EQ(mScript.factoriesCreated, 3);
  EXPECT_EQ(mScript.displayLanguages, (std::vector<std::wstring>{L"ja", L"ja", L"ja"}));
  ASSERT_EQ(mScript.clientIds.size(), 1u);  // beta has no such property
  EXPECT_EQ(mScript.clientIds[0], L"Pelorant " + VersionInfo().GetValue(L"ProductVersion"));
  EXPECT_EQ(mScript.clientIds[0].rfind(L"Pelorant ", 0), 0u);
  EXPECT_EQ(mScript.enumFlags, (std::vector<LONG>{3072, 3072}));
}

TEST_F(EnumerationTest, SkippedNamesAreNeverAskedWhateverTheirCase) {
  for (const wchar_t* name : {L"Selvan", L"QUENDAL", L"quendal2", L"Quendal3", L"quendal3_1", L"Quendal4",
                              L"Ostrel", L"varnel", L"Tessa", L"brommi", L"CALDER"}) {
    Add(name, {Pair(L"x", L"en", L"es", L"X")});
  }
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.ending, EnumEnding::Done);
  EXPECT_TRUE(r.entries.empty());
  EXPECT_EQ(mScript.factoriesCreated, 1);
  EXPECT_EQ(mScript.getEngineListCalls, 0);
  EXPECT_FALSE(IsSkippedImplementation(L"selvan2"));
  EXPECT_FALSE(IsSkippedImplementation(L"apertium"));
}

TEST_F(EnumerationTest, FactoryOrListCreationFailureIsNotStarted) {
  Add(L"alpha", {Pair(L"a", L"en", L"es", L"A")});
  mScript.createFactoryHr = REGDB_E_CLASSNOTREG;
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::NotStarted);

  mScript.createFactoryHr = S_OK;
  mScript.createImplementationsHr = REGDB_E_CLASSNOTREG;
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::NotStarted);

  // The factory for the second implementation cannot be made: the whole
  // collection is NotStarted, so the cache keeps what it had.
  mScript.createImplementationsHr = S_OK;
  Add(L"beta", {Pair(L"b", L"en", L"es", L"B")});
  mScript.factoriesCreated = 0;
  mScript.failFactoryAfter = 2;
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.ending, EnumEnding::NotStarted);
}

TEST_F(EnumerationTest, CancelEndsTheWholeCollection) {
  Add(L"alpha", {Pair(L"a", L"en", L"es", L"A")});
  Add(L"beta", {Pair(L"b", L"en", L"es", L"B")}).status = kRequestCancelled;
  Add(L"gamma", {Pair(L"c", L"en", L"es", L"C")});
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.ending, EnumEnding::Cancelled);
  EXPECT_EQ(mScript.getEngineListCalls, 2);
}

TEST_F(EnumerationTest, FailuresCountPerImplementationAndTheOthersStillList) {
  Add(L"down").getEngineListHr = ENGINE_E_UNAVAILABLE;
  Add(L"broken").getEngineListHr = E_FAIL;
  ScriptImplementation& failed = Add(L"failed");
  failed.status = kRequestFailed;
  failed.errorCode = 30004;
  Add(L"silent").status = kRequestFailed;  // error code 0: nothing to report
  Add(L"odd", {Pair(L"o", L"en", L"es", L"O")}).status = 7;  // unknown status: skipped, not failed
  Add(L"good", {Pair(L"g", L"en", L"es", L"G")});
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.ending, EnumEnding::Done);
  EXPECT_EQ(r.failedImplementations, 4);
  EXPECT_TRUE(r.EngineUnavailable);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].first, L"good:g");
  // The error list is cleared before each implementation, so the network
  // error of "failed" does not outlive the implementations after it.
  EXPECT_EQ(support::ErrorList::GetCount(), 0);
}

TEST_F(EnumerationTest, AnEngineErrorOfTheLastImplementationStaysInTheErrorList) {
  ScriptImplementation& failed = Add(L"failed");
  failed.status = kRequestFailed;
  failed.errorCode = 30004;
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.failedImplementations, 1);
  EXPECT_FALSE(r.EngineUnavailable);
  EXPECT_EQ(MessageIds(), std::vector<int>{1205});
}

TEST_F(EnumerationTest, APairWithAFailingReadIsSkippedAndItsNeighboursKept) {
  std::vector<ScriptPair> pairs;
  for (const wchar_t* read : {L"", L"DisplayName", L"", L"EngineID", L"Flags", L"ProductName", L""}) {
    ScriptPair p = Pair(std::wstring(L"id") + std::to_wstring(pairs.size()), L"en", L"es", L"N");
    if (*read) p.failingReads.insert(read);
    pairs.push_back(p);
  }
  Add(L"alpha", pairs);
  EnumResult r = CollectEngines(L"en", 3072);
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].second.EngineID(), L"id0");
  EXPECT_EQ(r.entries[1].second.EngineID(), L"id2");
  EXPECT_EQ(r.entries[2].second.EngineID(), L"id6");
  EXPECT_EQ(r.failedImplementations, 0);
}

TEST_F(EnumerationTest, AFailingImplementationCallRaisesComError) {
  Add(L"alpha").setImplementationHr = E_ACCESSDENIED;
  EXPECT_EQ(testsupport::ErrorOf([] { CollectEngines(L"en", 3072); }), E_ACCESSDENIED);
}

EngineEntryList Listed(std::vector<std::pair<std::wstring, std::wstring>> groupIds, std::wstring product = L"P") {
  EngineEntryList list;
  for (auto& [g, id] : groupIds) {
    EngineEntry e;
    e.SetEngineGroup(g);
    e.SetEngineID(id);
    e.SetProductName(product);
    list.emplace_back(e.EngineKey(), e);
  }
  return list;
}

TEST(EnumerationListingRules, HiddenWrenDocumentEnginesGoEvenWhenConsecutive) {
  EngineEntryList list = Listed({{L"wren", L"kelboej.documentb.qov8"},
                                 {L"Wren", L"KELBOJE.DOCUMENTB.QOV9NET"},
                                 {L"wren", L"kelboej.documentb.qov8cs"},
                                 {L"wren", L"kelboej.documentb.qov10"},
                                 {L"other", L"kelboej.documentb.qov9"},
                                 {L"wren", L"kelboje.documentb.qov9"}});
  ApplyListingRules(&list, L"");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].first, L"wren:kelboej.documentb.qov10");
  EXPECT_EQ(list[1].first, L"other:kelboej.documentb.qov9");
}

TEST(EnumerationListingRules, ProductFilterIsExact) {
  EngineEntryList list = Listed({{L"a", L"1"}}, L"Prod");
  EngineEntryList other = Listed({{L"b", L"2"}, {L"c", L"3"}}, L"prod");
  list.insert(list.begin(), other.begin(), other.end());
  ApplyListingRules(&list, L"Prod");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].first, L"a:1");
}

}  // namespace
