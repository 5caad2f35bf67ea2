// The cache and enumeration against the scriptable fake engine servers, the
// same in-process engine side the program's end-to-end runs use.
#include <gtest/gtest.h>

#include "tests/engine/EngineCacheTestEnv.h"
#include "src/engine/EngineCaches.h"
#include "src/engine/EngineEnumeration.h"
#include "src/engine/EngineFamilies.h"
#include "engines/fake/FakeEngine.h"
#include "src/support/ErrorList.h"

using namespace engine;
using namespace enginetest;

namespace {

fake_engine::FakePair FakePairOf(const wchar_t* id, const wchar_t* from, const wchar_t* to, const wchar_t* display) {
  fake_engine::FakePair p;
  p.engineId = id;
  p.fromLang = from;
  p.toLang = to;
  p.flags = 0x9;
  p.displayName = display;
  p.productName = L"Fake MT";
  p.productNameShort = L"Fake";
  return p;
}

class EnumerationFakeEngineTest : public EngineEnvTest {
 protected:
  fake_engine::FakeEngineSide mSide;
};

TEST_F(EnumerationFakeEngineTest, ListsEveryImplementationWithClientIdLanguageAndFlags) {
  auto& a = mSide.AddImplementation(L"FakeMT");
  a.AddPair(FakePairOf(L"en-es", L"en", L"es", L"English - Spanish"));
  a.AddPair(FakePairOf(L"ja-tw", L"ja", L"zh-TW", L"Japanese - Chinese"));
  auto& skipped = mSide.AddImplementation(L"Varnel");
  skipped.AddPair(FakePairOf(L"x", L"en", L"ja", L"never"));

  EnumResult r = CollectEngines(L"de", 0x0C01);
  ASSERT_EQ(r.ending, EnumEnding::Done);
  ASSERT_EQ(r.entries.size(), 2u);
  EXPECT_EQ(r.entries[0].first, L"FakeMT:en-es");
  EXPECT_EQ(r.entries[1].second.ToLang(), L"zh-hant");
  EXPECT_EQ(a.ClientId().rfind(L"Pelorant ", 0), 0u);
  EXPECT_EQ(a.DisplayLanguage(), L"de");
  EXPECT_EQ(a.ListingFlags(), std::vector<LONG>{0x0C01});
  EXPECT_TRUE(skipped.ListingFlags().empty());
}

TEST_F(EnumerationFakeEngineTest, UnavailableEngineAndAWorkingOneThroughTheCache) {
  mSide.AddImplementation(L"Down")
      .AddPair(FakePairOf(L"d", L"en", L"fr", L"English - French"))
      .Script(fake_engine::Operation::GetEngineList, {.callResult = engine_server::ENGINE_E_UNAVAILABLE});
  mSide.AddImplementation(L"Up").AddPair(FakePairOf(L"u", L"en", L"de", L"English - German"));
  EngineCaches cache;
  EXPECT_FALSE(cache.RefreshCache(false, false));
  ASSERT_EQ(cache.Count(), 1u);
  EXPECT_EQ(cache.KeyAt(0), L"Up:u");
  ASSERT_EQ(support::ErrorList::GetCount(), 1);
  EXPECT_EQ(support::ErrorList::GetEntry(0).mMessageId, 1253);
}

TEST_F(EnumerationFakeEngineTest, AFailedListingReportsTheEngineErrorAndACancelledOneKeepsTheCache) {
  auto& impl = mSide.AddImplementation(L"FakeMT");
  impl.AddPair(FakePairOf(L"en-es", L"en", L"es", L"English - Spanish"));
  EngineCaches cache;
  ASSERT_TRUE(cache.RefreshCache(false, false));
  ASSERT_EQ(cache.Count(), 1u);

  impl.Script(fake_engine::Operation::GetEngineList, {.status = engine_server::kRequestFailed, .errorCode = 30005, .times = 1});
  EXPECT_FALSE(cache.RefreshCache(false, false));
  ASSERT_EQ(support::ErrorList::GetCount(), 1);
  EXPECT_EQ(support::ErrorList::GetEntry(0).mMessageId, 1206);

  support::ErrorList::Clear();
  impl.Script(fake_engine::Operation::GetEngineList, {.status = engine_server::kRequestCancelled, .times = 1});
  cache.SetChecked(0, 0);
  EXPECT_TRUE(cache.RefreshCache(false, false));
  ASSERT_EQ(cache.Count(), 1u);
  EXPECT_EQ(cache.Entry(0).Checked(), 0);
}

TEST_F(EnumerationFakeEngineTest, FactoryThatCannotBeCreatedIsNotStarted) {
  mSide.AddImplementation(L"FakeMT").AddPair(FakePairOf(L"en-es", L"en", L"es", L"English - Spanish"));
  mSide.FailFactoryCreation(REGDB_E_CLASSNOTREG, 2);  // the per-implementation factory
  EXPECT_EQ(CollectEngines(L"", 3072).ending, EnumEnding::NotStarted);
}

TEST_F(EnumerationFakeEngineTest, AEuropeanFamilyHelperConfirmsItsJapanesePairs) {
  SetString(platform::Hive::ClassesRoot, L"Quendal3.AddInHelper.Helper\\CLSID", L"", L"{0F0F0F0F-0000-4000-8000-000000000001}");
  SetString(platform::Hive::ClassesRoot, L"CLSID\\{0F0F0F0F-0000-4000-8000-000000000001}\\InprocServer32", L"",
            MakeFile(L"Quendal3AddInHelper.dll"));
  auto& helper = mSide.AddFamilyHelper(L"Quendal3.AddInHelper.Helper");
  EngineEntryList list;
  ListFamilyPairs(L"Quendal3", &list, 0x0800);
  EXPECT_TRUE(list.empty());
  helper.SetCapability(engine_server::kFamilyCapabilityJapanesePairs, true);
  ListFamilyPairs(L"Quendal3", &list, 0x0800);
  EXPECT_EQ(list.size(), 10u);
  platform::DeleteKeyTree(platform::Hive::ClassesRoot, L"Quendal3.AddInHelper.Helper");
  platform::DeleteKeyTree(platform::Hive::ClassesRoot, L"CLSID\\{0F0F0F0F-0000-4000-8000-000000000001}");
}

LONG Wait(engine_server::IRequest& request) {
  LONG status = engine_server::kRequestRunning;
  while (status == engine_server::kRequestRunning) {
    if (FAILED(request.WaitForResult(1000, &status))) return -1;
  }
  return status;
}

TEST_F(EnumerationFakeEngineTest, AFamilyEngineOpensTranslatesCancelsAndClosesLikeAFactoryEngine) {
  auto& helper = mSide.AddFamilyHelper(L"SelvanCJ.Document");
  ASSERT_EQ(helper.RegisterInClassesRoot(L"{0F0F0F0F-0000-4000-8000-000000000002}", MakeFile(L"selvancj.dll")),
            ERROR_SUCCESS);
  helper.Engines().AddPair(FakePairOf(L"SelvanCJ.Document.CN", L"zh-hans", L"ja", L"C - J"));
  helper.Engines().SetTranslation(L"\u4F60\u597D", L"\u3053\u3093\u306B\u3061\u306F");

  std::shared_ptr<engine_server::ITranslationEngine> engine;
  ASSERT_EQ(OpenFamilyEngine(L"Selvan", L"SelvanCJ.Document.CN", &engine), S_OK);
  ASSERT_TRUE(engine);
  ASSERT_EQ(Wait(*engine), engine_server::kRequestDone);

  std::shared_ptr<engine_server::ITranslationResult> result;
  ASSERT_EQ(engine->Translate(L"\u4F60\u597D", engine_server::kTranslateModePlain, &result), S_OK);
  ASSERT_EQ(Wait(*engine), engine_server::kRequestDone);
  std::wstring text;
  ASSERT_EQ(result->Text(&text), S_OK);
  EXPECT_EQ(text, L"\u3053\u3093\u306B\u3061\u306F");

  helper.Engines().Script(fake_engine::Operation::Translate, {.hang = true, .times = 1});
  ASSERT_EQ(engine->Translate(L"\u4F60", engine_server::kTranslateModePlain, &result), S_OK);
  LONG status = engine_server::kRequestRunning;
  ASSERT_EQ(engine->WaitForResult(1, &status), S_OK);
  EXPECT_EQ(status, engine_server::kRequestRunning);
  ASSERT_EQ(engine->Cancel(), S_OK);
  EXPECT_EQ(Wait(*engine), engine_server::kRequestCancelled);
  EXPECT_EQ(helper.Engines().Cancels(), 1);
  engine.reset();

  // The other direction is not installed.
  EXPECT_EQ(OpenFamilyEngine(L"Selvan", L"SelvanJC.Document.CN", &engine), REGDB_E_CLASSNOTREG);
}

}  // namespace
