// The add-in's engine client over COM, against the fake engine server of the
// test tree (registered for the suite with regsvr32): every operation the
// add-in relies on reaches the right table position and carries its values
// and codes both ways.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "src/engine/server/EngineClasses.h"
#include "tests/win32/WinTestSupport.h"

namespace {

using namespace engine_server;

// Asks the fake server for its faulty implementations as well.
const wchar_t* const kFaulty = L"PELORANT_FAKE_FAULTY_IMPLEMENTATIONS";

class ComEngineClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sDll = wintest::ModuleFromEnv("PELORANT_FAKE_ENGINE_DLL");
    if (!sDll.empty()) sRegistered = wintest::Run(L"regsvr32.exe /s \"" + sDll + L"\"") == 0;
  }
  static void TearDownTestSuite() {
    if (sRegistered) wintest::Run(L"regsvr32.exe /u /s \"" + sDll + L"\"");
  }

  void SetUp() override {
    ASSERT_TRUE(sRegistered) << "the fake engine server could not be registered";
    ASSERT_TRUE(SUCCEEDED(InitializeEngineThread()));
  }
  void TearDown() override {
    SetEnvironmentVariableW(kFaulty, nullptr);
    mEngine.reset();
    mFactory.reset();
    UninitializeEngineThread();
  }

  // A factory on the fake implementation with display language and client
  // id set, listing the pairs (all of them when engineId is empty).
  std::shared_ptr<IEngineList> List(const std::wstring& engineId) {
    EXPECT_EQ(CreateEngineFactory(&mFactory), S_OK);
    if (!mFactory) return nullptr;
    EXPECT_EQ(mFactory->SetImplementation(L"FakeCom"), S_OK);
    EXPECT_EQ(mFactory->SetDisplayLanguage(L"ja"), S_OK);
    std::shared_ptr<IClientProperties> properties;
    EXPECT_EQ(mFactory->Properties(&properties), S_OK);
    std::shared_ptr<IClientProperty> property;
    EXPECT_EQ(properties->Item(1, &property), S_OK);
    EXPECT_EQ(properties->Item(2, &property), DISP_E_BADINDEX);
    EXPECT_EQ(property->SetValue(L"T1"), S_OK);
    std::shared_ptr<IEngineList> list;
    EXPECT_EQ(mFactory->GetEngineList(engineId, L"", L"", 0x0C00, &list), S_OK);
    LONG status = -1;
    EXPECT_EQ(mFactory->WaitForResult(-1, &status), S_OK);
    EXPECT_EQ(status, kRequestDone);
    return list;
  }

  // Opens one pair's engine; answers the factory's status.
  LONG Open(const std::wstring& engineId) {
    std::shared_ptr<IEngineList> list = List(engineId);
    std::shared_ptr<IEngineListItem> item;
    if (!list || list->Item(1, &item) != S_OK) return -1;
    EXPECT_EQ(mFactory->GetEngine(item, &mEngine), S_OK);
    LONG status = -1;
    EXPECT_EQ(mFactory->WaitForResult(-1, &status), S_OK);
    return status;
  }

  // The engine's status and error code after its request.
  std::pair<LONG, LONG> Outcome(IRequest& request) {
    LONG status = -1, code = -1;
    EXPECT_EQ(request.WaitForResult(-1, &status), S_OK);
    EXPECT_EQ(request.ErrorCode(&code), S_OK);
    return {status, code};
  }

  static inline std::wstring sDll;
  static inline bool sRegistered = false;
  std::shared_ptr<IEngineFactory> mFactory;
  std::shared_ptr<ITranslationEngine> mEngine;
};

TEST_F(ComEngineClientTest, ListsImplementationsAndPairs) {
  std::shared_ptr<IImplementations> implementations;
  ASSERT_EQ(CreateImplementations(&implementations), S_OK);
  LONG count = 0;
  ASSERT_EQ(implementations->Count(&count), S_OK);
  EXPECT_EQ(count, 1);  // an installation serves its working implementation only
  // The faulty implementations, asked for: a null name arrives as empty.
  ASSERT_TRUE(SetEnvironmentVariableW(kFaulty, L"1"));
  ASSERT_EQ(implementations->Count(&count), S_OK);
  ASSERT_EQ(count, 3);
  const wchar_t* names[] = {L"FakeCom", L"Unavailable", L""};
  for (LONG i = 1; i <= 3; ++i) {
    std::wstring name = L"unset";
    EXPECT_EQ(implementations->Item(i, &name), S_OK);
    EXPECT_EQ(name, names[i - 1]);
  }
  std::wstring name;
  EXPECT_EQ(implementations->Item(4, &name), DISP_E_BADINDEX);
  SetEnvironmentVariableW(kFaulty, nullptr);
  EXPECT_EQ(implementations->Item(2, &name), DISP_E_BADINDEX);

  std::shared_ptr<IEngineList> list = List(L"");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->Count(&count), S_OK);
  ASSERT_EQ(count, 3);
  // Each item's reads, "|"-joined; the display language and the client id
  // arrived in the display and product names.
  const wchar_t* pairs[] = {L"fake.en.ja|en|ja|9|ja:fake.en.ja|Fake T1|F", L"fake.ja.en|ja|en|1|ja:fake.ja.en|Fake T1|F",
                            L"fake.broken|en|de|1|ja:fake.broken|Fake T1|F"};
  for (LONG i = 1; i <= 3; ++i) {
    std::shared_ptr<IEngineListItem> item;
    ASSERT_EQ(list->Item(i, &item), S_OK);
    std::wstring id, from, to, display, product, shortName;
    LONG flags = 0;
    const HRESULT reads[] = {item->EngineID(&id),       item->FromLang(&from),       item->ToLang(&to),
                             item->Flags(&flags),       item->DisplayName(&display), item->ProductName(&product),
                             item->ProductNameShort(&shortName)};
    for (HRESULT hr : reads) EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(id + L"|" + from + L"|" + to + L"|" + std::to_wstring(flags) + L"|" + display + L"|" + product + L"|" +
                  shortName,
              pairs[i - 1]);
  }
  std::shared_ptr<IEngineListItem> item;
  EXPECT_EQ(list->Item(4, &item), DISP_E_BADINDEX);

  // One pair by its id; an implementation without engines.
  list = List(L"fake.ja.en");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->Count(&count), S_OK);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(mFactory->SetImplementation(L"Unavailable"), S_OK);
  EXPECT_EQ(mFactory->GetEngineList(L"", L"", L"", 0, &list), ENGINE_E_UNAVAILABLE);
}

TEST_F(ComEngineClientTest, TranslatesWithWordCorrespondenceAlsoThroughAFamilyHelper) {
  ASSERT_EQ(Open(L"fake.en.ja"), kRequestDone);
  ASSERT_TRUE(mEngine);
  LONG flags = 0;
  ASSERT_EQ(mEngine->Info(&flags), S_OK);
  EXPECT_EQ(flags, kInfoFlagTranslate | kInfoFlagCorrespondence | kInfoFlagDictionary);

  struct Case {
    const wchar_t* source;
    const wchar_t* translation;
    std::vector<WordCorrespondence> groups;
  };
  const Case cases[] = {
      {L"the cat sat", L"SAT CAT THE",
       {{{{0, 3}}, {{8, 3}}}, {{{4, 3}}, {{4, 3}}}, {{{8, 3}}, {{0, 3}}}}},
      // A word without translation: a group with source ranges only.
      {L"a big cat", L"CAT BIG", {{{{0, 1}}, {}}, {{{2, 3}}, {{4, 3}}}, {{{6, 3}}, {{0, 3}}}}},
  };
  for (const Case& c : cases) {
    std::shared_ptr<ITranslationResult> result;
    ASSERT_EQ(mEngine->Translate(c.source, kTranslateModeCorrespondence, &result), S_OK);
    EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestDone}, LONG{0}));
    std::wstring text;
    ASSERT_EQ(result->Text(&text), S_OK);
    EXPECT_EQ(text, c.translation);
    std::vector<WordCorrespondence> groups;
    ASSERT_EQ(result->Correspondence(&groups), S_OK);
    EXPECT_EQ(groups, c.groups);
  }

  // Plain mode: no correspondence list at all.
  std::shared_ptr<ITranslationResult> plain;
  ASSERT_EQ(mEngine->Translate(L"one two", kTranslateModePlain, &plain), S_OK);
  std::vector<WordCorrespondence> none{{}};
  EXPECT_EQ(plain->Correspondence(&none), S_OK);
  EXPECT_TRUE(none.empty());

  // A family helper reached by its registered identifier, as the built-in
  // families are, answers and opens an engine by its id.
  std::shared_ptr<IFamilyHelper> helper;
  EXPECT_EQ(CreateFamilyHelper(L"NotRegistered.Helper", &helper), REGDB_E_CLASSNOTREG);
  ASSERT_EQ(CreateFamilyHelper(L"FakeFamily.Helper", &helper), S_OK);
  bool yes = false;
  ASSERT_EQ(helper->Supports(kFamilyCapabilityJapanesePairs, &yes), S_OK);
  EXPECT_TRUE(yes);
  ASSERT_EQ(helper->Supports(3, &yes), S_OK);
  EXPECT_FALSE(yes);

  EXPECT_EQ(helper->OpenEngine(L"fr.de", &mEngine), E_INVALIDARG);
  ASSERT_EQ(helper->OpenEngine(L"en.ja", &mEngine), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestDone}, LONG{0}));
  ASSERT_EQ(mEngine->Translate(L"big cat", kTranslateModePlain, &plain), S_OK);
  std::wstring text;
  ASSERT_EQ(plain->Text(&text), S_OK);
  EXPECT_EQ(text, L"CAT BIG");
}

TEST_F(ComEngineClientTest, ReportsFailuresCancelLookupsAndAFailedOpen) {
  ASSERT_EQ(Open(L"fake.en.ja"), kRequestDone);
  std::shared_ptr<ITranslationResult> result;
  ASSERT_EQ(mEngine->Translate(L"fail", kTranslateModePlain, &result), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestFailed}, kEngineErrorEngine));

  // A request that runs until cancelled.
  ASSERT_EQ(mEngine->Translate(L"hang", kTranslateModePlain, &result), S_OK);
  LONG status = -1;
  ASSERT_EQ(mEngine->WaitForResult(0, &status), S_OK);
  EXPECT_EQ(status, kRequestRunning);
  ASSERT_EQ(mEngine->Cancel(), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestCancelled}, LONG{0}));

  std::shared_ptr<IDictionaryResult> entry;
  ASSERT_EQ(mEngine->LookupDictionary(L"cat", &entry), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestDone}, LONG{0}));
  std::wstring text;
  ASSERT_EQ(entry->Text(&text), S_OK);
  EXPECT_EQ(text, L"neko (noun)");
  ASSERT_EQ(mEngine->LookupDictionary(L"dog", &entry), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestFailed}, kEngineErrorWordNotFound));

  // Sentences as the engine cuts them, and an engine that does not.
  std::vector<SentenceSpan> spans;
  ASSERT_EQ(mEngine->SplitSentences(L"One. Two. Three", 1, &spans), S_OK);
  EXPECT_EQ(spans, (std::vector<SentenceSpan>{{0, 5}, {5, 5}, {10, 5}}));
  EXPECT_EQ(mEngine->SplitSentences(L"nosplit", 1, &spans), S_FALSE);
  EXPECT_TRUE(spans.empty());

  // The two dialogs answer differently, so a swapped position shows.
  EXPECT_EQ(mEngine->ShowSettingsDialog(0), S_OK);
  EXPECT_EQ(mEngine->ShowDictionaryDialog(0), S_FALSE);

  // An engine that fails to open carries its error code.
  ASSERT_EQ(Open(L"fake.broken"), kRequestFailed);
  LONG code = 0;
  ASSERT_EQ(mFactory->ErrorCode(&code), S_OK);
  EXPECT_EQ(code, kEngineErrorNotReady);
  ASSERT_TRUE(mEngine);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestFailed}, kEngineErrorNotReady));
}

}  // namespace
