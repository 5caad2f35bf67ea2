// Enumeration and the built-in families against the scriptable fake engine
// side, the same in-process engine side the program's end-to-end runs use.
#include <gtest/gtest.h>

#include "tests/engine/EngineCacheTestEnv.h"
#include "tests/engine/FakeSide.h"
#include "src/engine/EngineEnumeration.h"
#include "src/engine/EngineFamilies.h"
#include "engines/fake/FakeEngine.h"
#include "src/platform/ComError.h"
#include "src/support/ErrorList.h"
#include "src/support/ResourceModule.h"
#include "tests/common/Errors.h"

using namespace engine;
using namespace enginetest;
using namespace engine_server;
using fake_engine::Behaviour;
using fake_engine::ItemProperty;
using fake_engine::Operation;

namespace {

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
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].first, L"alpha:tw-ja");
  EXPECT_EQ(Describe(r.entries[0].second), L"alpha:tw-ja 1 zh-hant>ja 1033 T - J|Prod|P");
  EXPECT_EQ(r.entries[1].second.ToLang(), L"zh-hans");
  EXPECT_EQ(mSide.FactoryCreations(), 3);
  EXPECT_EQ(alpha.DisplayLanguage(), L"ja");
  EXPECT_EQ(beta.DisplayLanguage(), L"ja");
  EXPECT_EQ(alpha.ClientId(), L"Pelorant " + support::VersionInfo().GetValue(L"ProductVersion"));
  EXPECT_EQ(beta.ClientId(), L"") << "beta has no such property";
  EXPECT_EQ(alpha.ListingFlags(), std::vector<LONG>{0x0C01});
}

TEST_F(EnumerationTest, SkippedNamesAreNeverAskedWhateverTheirCase) {
  std::vector<fake_engine::FakeImplementation*> skipped;
  for (const wchar_t* name : {L"Selvan", L"QUENDAL", L"quendal2", L"Quendal3", L"quendal3_1", L"Quendal4",
                              L"Ostrel", L"varnel", L"Tessa", L"brommi", L"CALDER"}) {
    skipped.push_back(&Add(name, {Pair(L"x", L"en", L"es", L"X")}));
  }
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.ending, EnumEnding::Done);
  EXPECT_TRUE(r.entries.empty());
  EXPECT_EQ(r.failedImplementations, 0);
  EXPECT_EQ(mSide.FactoryCreations(), 1);
  for (auto* impl : skipped) EXPECT_TRUE(impl->ListingFlags().empty()) << platform::ToUtf8(impl->Name());
  EXPECT_FALSE(IsSkippedImplementation(L"selvan2"));
  EXPECT_FALSE(IsSkippedImplementation(L"apertium"));
}

TEST_F(EnumerationTest, FactoryOrListCreationFailureIsNotStarted) {
  auto& alpha = Add(L"alpha", {Pair(L"a", L"en", L"es", L"A")});
  mSide.FailFactoryCreation(REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::NotStarted);

  mSide.FailImplementationsCreation(REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::NotStarted);

  // The factory for the second implementation cannot be made: the whole
  // collection is NotStarted, so the cache keeps what it had.
  mSide.FailImplementationsCreation(S_OK);
  Add(L"beta", {Pair(L"b", L"en", L"es", L"B")});
  mSide.FailFactoryCreation(REGDB_E_CLASSNOTREG, 3);
  EXPECT_EQ(CollectEngines(L"en", 3072).ending, EnumEnding::NotStarted);
  EXPECT_EQ(alpha.ListingFlags().size(), 1u) << "the failure was to hit the second implementation's factory";
}

TEST_F(EnumerationTest, CancelEndsTheWholeCollection) {
  Add(L"alpha", {Pair(L"a", L"en", L"es", L"A")});
  Add(L"beta", {Pair(L"b", L"en", L"es", L"B")}).Script(Operation::GetEngineList, {.status = kRequestCancelled});
  auto& gamma = Add(L"gamma", {Pair(L"c", L"en", L"es", L"C")});
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.ending, EnumEnding::Cancelled);
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
  EXPECT_EQ(r.ending, EnumEnding::Done);
  EXPECT_EQ(r.failedImplementations, 4);
  EXPECT_TRUE(r.EngineUnavailable);
  ASSERT_EQ(r.entries.size(), 1u);
  EXPECT_EQ(r.entries[0].first, L"good:g");
  // The error list is cleared before each implementation, so the network
  // error of "failed" does not outlive the implementations after it.
  EXPECT_EQ(support::ErrorList::GetCount(), 0);
}

TEST_F(EnumerationTest, AnEngineErrorOfTheLastImplementationStaysInTheErrorListAndAFailingCallRaises) {
  auto& failed = Add(L"failed").Script(Operation::GetEngineList, {.status = kRequestFailed, .errorCode = 30004});
  EnumResult r = CollectEngines(L"en", 3072);
  EXPECT_EQ(r.failedImplementations, 1);
  EXPECT_FALSE(r.EngineUnavailable);
  EXPECT_EQ(MessageIds(), std::vector<int>{1205});
  // A failing call of the implementation raises its error.
  failed.Script(Operation::SetImplementation, {.callResult = E_ACCESSDENIED});
  EXPECT_EQ(testsupport::ErrorOf([] { CollectEngines(L"en", 3072); }), E_ACCESSDENIED);
}

TEST_F(EnumerationTest, APairWithAFailingReadIsSkippedAndItsNeighboursKept) {
  std::vector<fake_engine::FakePair> pairs;
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
  ASSERT_EQ(r.entries.size(), 3u);
  EXPECT_EQ(r.entries[0].second.EngineID(), L"id0");
  EXPECT_EQ(r.entries[1].second.EngineID(), L"id2");
  EXPECT_EQ(r.entries[2].second.EngineID(), L"id6");
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
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].first, L"wren:kelboej.documentb.qov10");
  EXPECT_EQ(list[1].first, L"other:kelboej.documentb.qov9");
  // The product filter is exact.
  list = Listed({{L"a", L"1"}}, L"Prod");
  EngineEntryList other = Listed({{L"b", L"2"}, {L"c", L"3"}}, L"prod");
  list.insert(list.begin(), other.begin(), other.end());
  ApplyListingRules(&list, L"Prod");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].first, L"a:1");
}

}  // namespace
