#include <gtest/gtest.h>

#include <map>
#include <set>

#include "tests/engine/EngineCacheTestEnv.h"
#include "src/engine/EngineCaches.h"
#include "src/engine/EngineFamilies.h"
#include "src/support/ResourceModule.h"

using namespace engine;
using namespace enginetest;
using namespace engine_server;
using platform::Hive;

namespace {

class StubHelper : public IFamilyHelper {
 public:
  StubHelper(bool japanese, std::vector<std::wstring>* opened) : mJapanese(japanese), mOpened(opened) {}
  HRESULT Supports(LONG capability, bool* yes) override {
    *yes = capability == kFamilyCapabilityJapanesePairs && mJapanese;
    return S_OK;
  }
  HRESULT OpenEngine(const std::wstring& engineId, std::shared_ptr<ITranslationEngine>* engine) override {
    mOpened->push_back(engineId);
    return E_NOTIMPL;  // the test only follows the way to the helper
  }

 private:
  bool mJapanese;
  std::vector<std::wstring>* mOpened;
};

class FamiliesTest : public EngineEnvTest {
 protected:
  void SetUp() override {
    EngineEnvTest::SetUp();
    mSide = std::make_unique<fake_engine::FakeEngineSide>();
    // The fake side's classes, with helpers of our own.
    ClassHooks hooks = SetClassHooks({});
    SetClassHooks(hooks);
    hooks.createFamilyHelper = [this](const std::wstring& progId, std::shared_ptr<IFamilyHelper>* out) -> HRESULT {
      mHelpersAsked.push_back(progId);
      if (!mHelperCreatable) return REGDB_E_CLASSNOTREG;
      if (mNotDriven.count(progId)) return E_NOTIMPL;
      *out = std::make_shared<StubHelper>(mHelperSaysJapanese, &mOpened);
      return S_OK;
    };
    mHooks = std::make_unique<ScopedClassHooks>(hooks);
  }
  void TearDown() override {
    mHooks.reset();
    mSide.reset();
    for (const auto& [progId, clsid] : mClsids) {
      platform::DeleteKeyTree(Hive::ClassesRoot, progId);
      platform::DeleteKeyTree(Hive::ClassesRoot, L"CLSID\\" + clsid);
    }
    EngineEnvTest::TearDown();
  }

  // Registers a class as an installer would: ProgID -> CLSID -> server path.
  void Register(const std::wstring& progId, const std::wstring& serverValue, const wchar_t* serverKey = L"InprocServer32") {
    std::wstring clsid = L"{00000000-0000-4000-8000-" + std::wstring(12 - std::to_wstring(mClsids.size()).size(), L'0') +
                         std::to_wstring(mClsids.size()) + L"}";
    mClsids[progId] = clsid;
    SetString(Hive::ClassesRoot, progId + L"\\CLSID", L"", clsid);
    SetString(Hive::ClassesRoot, L"CLSID\\" + clsid + L"\\" + serverKey, L"", serverValue);
  }
  void Install(const std::wstring& progId) { Register(progId, MakeFile(progId + L".dll")); }

  std::vector<std::wstring> Ids(const EngineEntryList& list) {
    std::vector<std::wstring> ids;
    for (const auto& [k, e] : list) ids.push_back(e.EngineID());
    return ids;
  }

  std::unique_ptr<fake_engine::FakeEngineSide> mSide;
  std::unique_ptr<ScopedClassHooks> mHooks;
  bool mHelperCreatable = true;
  bool mHelperSaysJapanese = true;
  std::set<std::wstring> mNotDriven;  // registered helpers this build cannot drive
  std::vector<std::wstring> mHelpersAsked;
  std::vector<std::wstring> mOpened;
  std::map<std::wstring, std::wstring> mClsids;
};

TEST_F(FamiliesTest, NothingInstalledOrAServerFileGoneListsNothing) {
  Register(L"QuendalAddInHelper.Helper", platform::JoinPath(Folder(), L"gone.dll"));
  EngineEntryList list;
  for (const auto& f : BuiltInFamilies()) ListFamilyPairs(f.name, &list, 3072);
  ListFamilyPairs(L"NoSuchFamily", &list, 3072);
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(IsClassInstalled(L"QuendalAddInHelper.Helper"));
  EXPECT_FALSE(IsClassInstalled(L"Never.Registered"));
  ASSERT_NE(FindBuiltInFamily(L"quendal3_1"), nullptr);
  EXPECT_EQ(FindBuiltInFamily(L"apertium"), nullptr);
}

// Each installed engine of the family gives its two pairs; a local server's
// command line counts without its quotes and automation switch.
TEST_F(FamiliesTest, EachInstalledEngineOfAFamilyGivesItsTwoPairs) {
  Install(L"SelvanCJ.Document");
  std::wstring exe = MakeFile(L"local server.exe");
  Register(L"SelvanJC.Document", L"\"" + exe + L"\" /Automation", L"LocalServer32");
  EXPECT_EQ(RegisteredServerPath(L"SelvanJC.Document"), exe);
  EngineEntryList list;
  ListFamilyPairs(L"Selvan", &list, 3072);
  ASSERT_EQ(Ids(list), (std::vector<std::wstring>{L"SelvanCJ.Document.CN", L"SelvanCJ.Document.TW",
                                                  L"SelvanJC.Document.CN", L"SelvanJC.Document.TW"}));
  const EngineEntry& cn = list[0].second;
  EXPECT_EQ(list[0].first, L"Selvan:SelvanCJ.Document.CN");
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
  // Japanese ones for 0x800.
  const struct {
    const wchar_t* family;
    LONG flags;
    size_t pairs;
    const wchar_t* first;
    int entryFlags;
  } cases[] = {{L"Ostrel", 0x0800, 0, nullptr, 0},       {L"Ostrel", 0x0402, 0, nullptr, 0},
               {L"Ostrel", 0x10400, 0, nullptr, 0},      {L"Ostrel", 0x0401, 2, L"Ostrel:OstrelCJ.Document.CN", 1025},
               {L"Quendal2", 0x0400, 12, L"Quendal2:en.ja", 1025}, {L"Quendal2", 0x0800, 10, L"Quendal2:fr.ja", 2049},
               {L"Quendal2", 3072, 22, L"Quendal2:en.ja", 1025},   {L"Quendal2", 0x0002, 0, nullptr, 0},
               {L"Quendal2", 0x0C02, 0, nullptr, 0},     {L"Quendal2", 0x1000, 0, nullptr, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.family << " " << std::hex << c.flags);
    EngineEntryList list;
    ListFamilyPairs(c.family, &list, c.flags);
    ASSERT_EQ(list.size(), c.pairs);
    if (!c.first) continue;
    EXPECT_EQ(list[0].first, c.first);
    if (c.pairs < 22) {
      for (const auto& [k, e] : list) EXPECT_EQ(e.Flags(), c.entryFlags) << e.EngineID();
    }
  }
  // Japanese pairs need the helper's confirmation.
  Install(L"VarnelV1.AddInHelper.Helper");
  mHelperSaysJapanese = false;
  EngineEntryList list;
  ListFamilyPairs(L"Varnel", &list, 3072);
  EXPECT_EQ(list.size(), 12u);
  mHelperSaysJapanese = true;
  mHelperCreatable = false;
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
  EXPECT_EQ(cache.Count(), 13u);
  EXPECT_GE(cache.FindKey(L"Quendal4:ja.en"), 0);
  EXPECT_GE(cache.FindKey(L"alpha:x"), 0);
}

TEST_F(FamiliesTest, OpeningAFamilyEngineGoesThroughTheRightIdentifier) {
  Install(L"SelvanJC.Document");
  Install(L"Quendal3.AddInHelper.Helper");
  std::shared_ptr<ITranslationEngine> engine;
  EXPECT_EQ(OpenFamilyEngine(L"Selvan", L"SelvanJC.Document.TW", &engine), E_NOTIMPL);
  EXPECT_EQ(OpenFamilyEngine(L"Quendal3", L"fr.ja", &engine), E_NOTIMPL);
  EXPECT_EQ(mHelpersAsked, (std::vector<std::wstring>{L"SelvanJC.Document", L"Quendal3.AddInHelper.Helper"}));
  EXPECT_EQ(mOpened, (std::vector<std::wstring>{L"SelvanJC.Document.TW", L"fr.ja"}));

  // Not installed, not a family, not one of its pairs.
  EXPECT_EQ(OpenFamilyEngine(L"Selvan", L"SelvanCJ.Document.CN", &engine), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(OpenFamilyEngine(L"apertium", L"eng-spa", &engine), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(OpenFamilyEngine(L"Quendal3", L"en.ru", &engine), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(mOpened.size(), 2u);
  EXPECT_FALSE(engine);
}

TEST_F(FamiliesTest, AnInstalledEngineWhoseHelperCannotBeDrivenListsNoPair) {
  Install(L"SelvanCJ.Document");
  Install(L"OstrelJC.Document");
  Install(L"Quendal4.AddInHelper.Helper");
  mNotDriven = {L"SelvanCJ.Document", L"Quendal4.AddInHelper.Helper"};
  EngineEntryList list;
  for (const auto& f : BuiltInFamilies()) ListFamilyPairs(f.name, &list, 3072);
  EXPECT_EQ(Ids(list), std::vector<std::wstring>{L"OstrelJC.Document.CN"});

  // The platform's own way to the helpers: none that this build can drive
  // is registered (on Windows the classes are there, their helpers not usable).
  mHooks.reset();
  mSide.reset();
  list.clear();
  for (const auto& f : BuiltInFamilies()) ListFamilyPairs(f.name, &list, 3072);
  EXPECT_TRUE(list.empty()) << platform::ToUtf8(list.empty() ? L"" : list[0].first);
}

}  // namespace
