#include "engines/fake/FakeEngine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "src/engine/server/EngineClasses.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"

using namespace engine_server;
using fake_engine::Behaviour;
using fake_engine::FakeEngineSide;
using fake_engine::FakePair;
using fake_engine::ItemProperty;
using fake_engine::Operation;

namespace {

FakePair Pair(const std::wstring& id, const std::wstring& from, const std::wstring& to) {
  FakePair p;
  p.engineId = id;
  p.fromLang = from;
  p.toLang = to;
  p.flags = kPairFlagTranslate | kPairFlagDictionary;
  p.displayName = from + L" - " + to;
  p.productName = L"Fake MT";
  p.productNameShort = L"Fake";
  return p;
}

LONG Wait(IRequest& r) {
  LONG status = -1;
  EXPECT_EQ(S_OK, r.WaitForResult(-1, &status));
  return status;
}

LONG Code(IRequest& r) {
  LONG code = 0;
  r.ErrorCode(&code);
  return code;
}

template <class Result>
std::wstring TextOf(Result& r) {
  std::wstring text;
  r.Text(&text);
  return text;
}

std::vector<std::wstring> ListNames() {
  std::shared_ptr<IImplementations> impls;
  EXPECT_EQ(S_OK, CreateImplementations(&impls));
  std::vector<std::wstring> names;
  LONG count = 0;
  impls->Count(&count);
  for (LONG i = 1; i <= count; ++i) {
    std::wstring n;
    impls->Item(i, &n);
    names.push_back(n);
  }
  return names;
}

// Opens the first pair of an implementation the way the add-in does.
std::shared_ptr<ITranslationEngine> Open(const std::wstring& impl, const std::wstring& engineId,
                                         std::shared_ptr<IEngineFactory>* keepFactory = nullptr) {
  std::shared_ptr<IEngineFactory> factory;
  EXPECT_EQ(S_OK, CreateEngineFactory(&factory));
  EXPECT_EQ(S_OK, factory->SetImplementation(impl));
  std::shared_ptr<IEngineList> list;
  EXPECT_EQ(S_OK, factory->GetEngineList(engineId, L"", L"", 0, &list));
  EXPECT_EQ(kRequestDone, Wait(*factory));
  LONG count = 0;
  list->Count(&count);
  EXPECT_EQ(1, count);
  std::shared_ptr<IEngineListItem> item;
  EXPECT_EQ(S_OK, list->Item(1, &item));
  std::shared_ptr<ITranslationEngine> engine;
  EXPECT_EQ(S_OK, factory->GetEngine(item, &engine));
  EXPECT_EQ(kRequestDone, Wait(*factory));
  if (keepFactory) *keepFactory = factory;
  return engine;
}

// One implementation "Alpha" with one pair, opened the way the add-in does.
class FakeEngineTranslateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    impl.AddPair(Pair(L"en-es", L"en", L"es"));
    engine = Open(L"Alpha", L"en-es");
    ASSERT_TRUE(engine);
  }
  FakeEngineSide side;
  fake_engine::FakeImplementation& impl = side.AddImplementation(L"Alpha");
  std::shared_ptr<ITranslationEngine> engine;
};
using FakeEngineLookupTest = FakeEngineTranslateTest;

}  // namespace

TEST(FakeEngineListingTest, ImplementationsListOnlyAvailableOnesInOrder) {
  FakeEngineSide side;
  side.AddImplementation(L"Alpha");
  side.AddImplementation(L"Beta").SetAvailable(false);
  side.AddImplementation(L"Gamma");
  EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"Gamma"}), ListNames());
}

TEST(FakeEngineListingTest, ListingGivesEveryPairWithItsPropertiesAndRecordsTheClient) {
  FakeEngineSide side;
  auto& impl = side.AddImplementation(L"Alpha");
  impl.AddPair(Pair(L"en-es", L"en", L"es")).AddPair(Pair(L"es-en", L"es", L"en"));

  std::shared_ptr<IEngineFactory> factory;
  ASSERT_EQ(S_OK, CreateEngineFactory(&factory));
  ASSERT_EQ(S_OK, factory->SetDisplayLanguage(L"ja"));
  ASSERT_EQ(S_OK, factory->SetImplementation(L"alpha"));  // names compare without case
  std::shared_ptr<IClientProperties> props;
  ASSERT_EQ(S_OK, factory->Properties(&props));
  std::shared_ptr<IClientProperty> prop;
  ASSERT_EQ(S_OK, props->Item(1, &prop));
  std::wstring name;
  prop->Name(&name);
  EXPECT_EQ(L"ClientId", name);
  prop->SetValue(L"Pelorant 3.0");

  std::shared_ptr<IEngineList> list;
  ASSERT_EQ(S_OK, factory->GetEngineList(L"", L"", L"", 3072, &list));
  ASSERT_EQ(kRequestDone, Wait(*factory));
  LONG count = 0;
  list->Count(&count);
  ASSERT_EQ(2, count);
  std::shared_ptr<IEngineListItem> item;
  ASSERT_EQ(S_OK, list->Item(2, &item));
  std::wstring id, from, to, display;
  LONG flags = 0;
  item->EngineID(&id);
  item->FromLang(&from);
  item->ToLang(&to);
  item->DisplayName(&display);
  item->Flags(&flags);
  EXPECT_EQ(L"es-en", id);
  EXPECT_EQ(L"es", from);
  EXPECT_EQ(L"en", to);
  EXPECT_EQ(L"es - en", display);
  EXPECT_EQ(kPairFlagTranslate | kPairFlagDictionary, flags);
  EXPECT_EQ(DISP_E_BADINDEX, list->Item(3, &item));

  EXPECT_EQ(L"Pelorant 3.0", impl.ClientId());
  EXPECT_EQ(L"ja", impl.DisplayLanguage());
  EXPECT_EQ(std::vector<LONG>{3072}, impl.ListingFlags());
}

TEST(FakeEngineListingTest, UnknownImplementationHasNoUsableEngine) {
  FakeEngineSide side;
  std::shared_ptr<IEngineFactory> factory;
  ASSERT_EQ(S_OK, CreateEngineFactory(&factory));
  ASSERT_EQ(S_OK, factory->SetImplementation(L"Nobody"));
  std::shared_ptr<IEngineList> list;
  EXPECT_EQ(ENGINE_E_UNAVAILABLE, factory->GetEngineList(L"", L"", L"", 0, &list));
}

TEST(FakeEngineListingTest, ScriptedFailuresOfListingCallsAndReads) {
  FakeEngineSide side;
  auto& impl = side.AddImplementation(L"Alpha");
  auto broken = Pair(L"b", L"en", L"fr");
  broken.failingReads[ItemProperty::DisplayName] = E_FAIL;
  impl.AddPair(Pair(L"a", L"en", L"es")).AddPair(broken);

  std::shared_ptr<IEngineFactory> factory;
  CreateEngineFactory(&factory);
  factory->SetImplementation(L"Alpha");
  std::shared_ptr<IEngineList> list;
  impl.Script(Operation::GetEngineList, {.callResult = ENGINE_E_UNAVAILABLE, .times = 1});
  EXPECT_EQ(ENGINE_E_UNAVAILABLE, factory->GetEngineList(L"", L"", L"", 0, &list));

  impl.Script(Operation::GetEngineList, {.status = kRequestFailed, .errorCode = kEngineErrorRemoteServer, .times = 1});
  ASSERT_EQ(S_OK, factory->GetEngineList(L"", L"", L"", 0, &list));
  EXPECT_EQ(kRequestFailed, Wait(*factory));
  EXPECT_EQ(kEngineErrorRemoteServer, Code(*factory));

  // The script was used up: the third listing works, with one unreadable name.
  ASSERT_EQ(S_OK, factory->GetEngineList(L"", L"", L"", 0, &list));
  EXPECT_EQ(kRequestDone, Wait(*factory));
  std::shared_ptr<IEngineListItem> item;
  list->Item(2, &item);
  std::wstring text;
  EXPECT_EQ(E_FAIL, item->DisplayName(&text));
  EXPECT_EQ(S_OK, item->ProductName(&text));
}

TEST(FakeEngineListingTest, ClassCreationAndImplementationsFailuresAsScripted) {
  FakeEngineSide side;
  side.AddImplementation(L"Alpha");
  side.FailFactoryCreation(REGDB_E_CLASSNOTREG, /*callNumber=*/2);
  std::shared_ptr<IEngineFactory> factory;
  EXPECT_EQ(S_OK, CreateEngineFactory(&factory));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateEngineFactory(&factory));
  EXPECT_EQ(S_OK, CreateEngineFactory(&factory));
  EXPECT_EQ(3, side.FactoryCreations());

  side.FailImplementationsItem(1, E_OUTOFMEMORY);
  std::shared_ptr<IImplementations> impls;
  ASSERT_EQ(S_OK, CreateImplementations(&impls));
  std::wstring name;
  EXPECT_EQ(E_OUTOFMEMORY, impls->Item(1, &name));
  side.FailImplementationsCreation(E_ACCESSDENIED);
  EXPECT_EQ(E_ACCESSDENIED, CreateImplementations(&impls));
}

TEST(FakeEngineSideTest, HooksAndRegistrationsEndWithTheSide) {
  {
    FakeEngineSide side;
    side.AddImplementation(L"Temporary");
    side.AddFamilyHelper(L"Temp.Helper");
  }
  for (const auto& n : RegisteredImplementations()) EXPECT_NE(L"Temporary", n);
  std::shared_ptr<IFamilyHelper> helper;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInProcessFamilyHelper(L"Temp.Helper", &helper));
}

TEST_F(FakeEngineTranslateTest, TranslatesWithScriptedTextAndCorrespondence) {
  impl.SetTranslation(L"big dog", L"perro grande");
  impl.SetCorrespondence(L"big dog", {{{{0, 3}}, {{6, 6}}}, {{{4, 3}}, {{0, 5}}}});
  LONG flags = 0;
  ASSERT_EQ(S_OK, engine->Info(&flags));
  EXPECT_TRUE(flags & kInfoFlagCorrespondence);

  std::shared_ptr<ITranslationResult> result;
  ASSERT_EQ(S_OK, engine->Translate(L"big dog", kTranslateModeCorrespondence, &result));
  ASSERT_EQ(kRequestDone, Wait(*engine));
  EXPECT_EQ(L"perro grande", TextOf(*result));
  std::vector<WordCorrespondence> groups;
  result->Correspondence(&groups);
  ASSERT_EQ(2u, groups.size());
  EXPECT_EQ((TextRange{6, 6}), groups[0].translation[0]);

  // Other texts go through the default translator; plain mode gives no groups.
  ASSERT_EQ(S_OK, engine->Translate(L"a cat", kTranslateModePlain, &result));
  ASSERT_EQ(kRequestDone, Wait(*engine));
  EXPECT_EQ(L"A CAT", TextOf(*result));
  result->Correspondence(&groups);
  EXPECT_TRUE(groups.empty());

  auto calls = impl.Translations();
  ASSERT_EQ(2u, calls.size());
  EXPECT_EQ(L"big dog", calls[0].text);
  EXPECT_EQ(kTranslateModeCorrespondence, calls[0].mode);
  EXPECT_EQ(L"en-es", calls[1].engineId);
}

TEST_F(FakeEngineTranslateTest, DefaultCorrespondencePairsWordsInOrder) {
  std::shared_ptr<ITranslationResult> result;
  engine->Translate(L"one  two three", kTranslateModeCorrespondence, &result);
  Wait(*engine);
  std::vector<WordCorrespondence> groups;
  result->Correspondence(&groups);
  ASSERT_EQ(3u, groups.size());
  EXPECT_EQ((TextRange{5, 3}), groups[1].source[0]);
  EXPECT_EQ((TextRange{5, 3}), groups[1].translation[0]);
}

TEST_F(FakeEngineTranslateTest, HangingTranslationEndsCancelledWhenCancelledFromAnotherThread) {
  impl.Script(Operation::Translate, {.hang = true, .times = 1});
  std::shared_ptr<ITranslationResult> result;
  ASSERT_EQ(S_OK, engine->Translate(L"text", 0, &result));
  LONG status = -1;
  engine->WaitForResult(1, &status);
  EXPECT_EQ(kRequestRunning, status);
  std::thread watchdog([&] { engine->Cancel(); });
  EXPECT_EQ(kRequestCancelled, Wait(*engine));
  watchdog.join();
  EXPECT_EQ(1, impl.Cancels());

  // The next request is back to normal.
  ASSERT_EQ(S_OK, engine->Translate(L"text", 0, &result));
  EXPECT_EQ(kRequestDone, Wait(*engine));
}

TEST_F(FakeEngineTranslateTest, FailuresAtEachEngineOperation) {
  std::shared_ptr<ITranslationResult> result;
  impl.Script(Operation::Translate, {.callResult = E_FAIL, .times = 1});
  EXPECT_EQ(E_FAIL, engine->Translate(L"x", 0, &result));
  impl.Script(Operation::Translate, {.status = kRequestFailed, .errorCode = kEngineErrorEngine, .times = 1});
  ASSERT_EQ(S_OK, engine->Translate(L"x", 0, &result));
  EXPECT_EQ(kRequestFailed, Wait(*engine));
  EXPECT_EQ(kEngineErrorEngine, Code(*engine));

  LONG flags;
  impl.Script(Operation::Info, {.callResult = E_UNEXPECTED, .times = 1});
  EXPECT_EQ(E_UNEXPECTED, engine->Info(&flags));
  impl.Script(Operation::SettingsDialog, {.callResult = E_FAIL, .times = 1});
  EXPECT_EQ(E_FAIL, engine->ShowSettingsDialog(0));
  EXPECT_EQ(S_OK, engine->ShowSettingsDialog(0));
  EXPECT_EQ(S_OK, engine->ShowDictionaryDialog(0));
  EXPECT_EQ(1, impl.SettingsDialogsShown());
  EXPECT_EQ(1, impl.DictionaryDialogsShown());

  impl.SetTranslator([](const std::wstring&) { return std::wstring(); });
  ASSERT_EQ(S_OK, engine->Translate(L"x", 0, &result));
  EXPECT_EQ(kRequestDone, Wait(*engine));
  std::wstring text = L"unchanged";
  result->Text(&text);
  EXPECT_EQ(L"", text);
}

TEST(FakeEngineOpenTest, OpenFailuresReportTheirCodes) {
  FakeEngineSide side;
  auto& impl = side.AddImplementation(L"Alpha");
  impl.AddPair(Pair(L"p", L"en", L"es"));
  std::shared_ptr<IEngineFactory> factory;
  CreateEngineFactory(&factory);
  factory->SetImplementation(L"Alpha");

  std::shared_ptr<IEngineList> list;
  factory->GetEngineList(L"missing", L"", L"", 0, &list);
  EXPECT_EQ(kRequestFailed, Wait(*factory));
  EXPECT_EQ(kEngineErrorInvalidEngineId, Code(*factory));

  factory->GetEngineList(L"p", L"", L"", 0, &list);
  ASSERT_EQ(kRequestDone, Wait(*factory));
  std::shared_ptr<IEngineListItem> item;
  list->Item(1, &item);
  impl.Script(Operation::GetEngine,
              {.status = kRequestFailed, .errorCode = kEngineErrorClient, .times = 1, .engineErrorCode = kEngineErrorNetwork});
  std::shared_ptr<ITranslationEngine> engine;
  ASSERT_EQ(S_OK, factory->GetEngine(item, &engine));
  EXPECT_EQ(kRequestFailed, Wait(*factory));
  EXPECT_EQ(kEngineErrorNetwork, Code(*engine));
  EXPECT_EQ(kEngineErrorClient, Code(*factory));
}

TEST_F(FakeEngineLookupTest, DictionaryEntriesAndMissingWords) {
  impl.AddDictionaryEntry(L"house", L"casa (n.f.)");
  std::shared_ptr<IDictionaryResult> result;
  ASSERT_EQ(S_OK, engine->LookupDictionary(L"house", &result));
  ASSERT_EQ(kRequestDone, Wait(*engine));
  EXPECT_EQ(L"casa (n.f.)", TextOf(*result));

  ASSERT_EQ(S_OK, engine->LookupDictionary(L"xyzzy", &result));
  EXPECT_EQ(kRequestFailed, Wait(*engine));
  EXPECT_EQ(kEngineErrorWordNotFound, Code(*engine));
  EXPECT_EQ((std::vector<std::wstring>{L"house", L"xyzzy"}), impl.Lookups());
}

TEST_F(FakeEngineLookupTest, SplittingIsOptional) {
  std::vector<SentenceSpan> spans{{1, 1}};
  EXPECT_EQ(S_FALSE, engine->SplitSentences(L"A. B.", 1, &spans));
  EXPECT_TRUE(spans.empty());
  impl.SetSplitter([](const std::wstring& t) {
    return std::vector<SentenceSpan>{{0, 3}, {3, static_cast<LONG>(t.size()) - 3}};
  });
  EXPECT_EQ(S_OK, engine->SplitSentences(L"A. B.", 1, &spans));
  EXPECT_EQ((std::vector<SentenceSpan>{{0, 3}, {3, 2}}), spans);
}

TEST(FakeFamilyHelperTest, HelperOpensItsEnginesAndAnswersCapabilities) {
  FakeEngineSide side;
  auto& helper = side.AddFamilyHelper(L"Quendal3.AddInHelper.Helper");
  helper.SetCapability(kFamilyCapabilityJapanesePairs, true);
  helper.Engines().AddPair(Pair(L"en.ja", L"en", L"ja")).SetTranslation(L"dog", L"inu");

  std::shared_ptr<IFamilyHelper> h;
  ASSERT_EQ(S_OK, CreateFamilyHelper(L"quendal3.addinhelper.helper", &h));
  bool yes = false;
  h->Supports(kFamilyCapabilityJapanesePairs, &yes);
  EXPECT_TRUE(yes);
  h->Supports(3, &yes);
  EXPECT_FALSE(yes);

  std::shared_ptr<ITranslationEngine> engine;
  ASSERT_EQ(S_OK, h->OpenEngine(L"en.ja", &engine));
  EXPECT_EQ(kRequestDone, Wait(*engine));
  std::shared_ptr<ITranslationResult> result;
  engine->Translate(L"dog", 0, &result);
  EXPECT_EQ(kRequestDone, Wait(*engine));
  EXPECT_EQ(L"inu", TextOf(*result));

  ASSERT_EQ(S_OK, h->OpenEngine(L"fr.ja", &engine));
  EXPECT_EQ(kRequestFailed, Wait(*engine));
  EXPECT_EQ(kEngineErrorInvalidEngineId, Code(*engine));

  helper.FailCreation(E_ACCESSDENIED);
  EXPECT_EQ(E_ACCESSDENIED, CreateFamilyHelper(L"Quendal3.AddInHelper.Helper", &h));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateFamilyHelper(L"Nobody.Helper", &h));
}

class FakeScriptTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& content) {
    std::string path = ::testing::TempDir() + "fake_engine_script.txt";
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
};

TEST_F(FakeScriptTest, ScriptFileRegistersAWorkingImplementation) {
  std::string path = Write(
      "# comment\n"
      "implementation\tScripted\n"
      "pair\ten-es\ten\tes\t0x9\tEnglish - Spanish\tScripted MT\tScr\n"
      "translation\tHello.\t\xC2\xA1Hola!\n"
      "dictionary\thouse\tcasa\n"
      "request\tlookup\t3\t30004\t0\t1\n"
      "transform\tbracket\n");
  std::wstring error;
  ASSERT_TRUE(fake_engine::RegisterFromFile(path, &error)) << platform::ToUtf8(error);
  ScopedClassHooks inProcess(InProcessClassHooks());
  auto engine = Open(L"Scripted", L"en-es");
  std::shared_ptr<ITranslationResult> result;
  engine->Translate(L"Hello.", 0, &result);
  ASSERT_EQ(kRequestDone, Wait(*engine));
  EXPECT_EQ(L"\u00A1Hola!", TextOf(*result));
  // Texts without an entry come back bracketed, each word corresponding to
  // itself inside the brackets.
  engine->Translate(L"big  dog", kTranslateModeCorrespondence, &result);
  ASSERT_EQ(kRequestDone, Wait(*engine));
  EXPECT_EQ(L"\u27E6big  dog\u27E7", TextOf(*result));
  std::vector<WordCorrespondence> groups;
  result->Correspondence(&groups);
  ASSERT_EQ(2u, groups.size());
  EXPECT_EQ((TextRange{5, 3}), groups[1].source[0]);
  EXPECT_EQ((TextRange{6, 3}), groups[1].translation[0]);

  std::shared_ptr<IDictionaryResult> entry;
  engine->LookupDictionary(L"house", &entry);
  EXPECT_EQ(kRequestFailed, Wait(*engine));
  engine->LookupDictionary(L"house", &entry);
  EXPECT_EQ(kRequestDone, Wait(*engine));
  UnregisterImplementation(L"Scripted");
}

TEST_F(FakeScriptTest, BadScriptsAreRejectedWithTheLineAndRegisterNothing) {
  std::wstring error;
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("implementation\tBad1\npair\tonly\tthree\n"), &error));
  EXPECT_NE(std::wstring::npos, error.find(L":2:"));
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("pair\ta\ten\tes\t1\tx\ty\tz\n"), &error));
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("implementation\tBad2\nrequest\ttranslate\t7\t0\t0\n"), &error));
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("implementation\tBad3\nfly\taway\n"), &error));
  EXPECT_FALSE(fake_engine::RegisterFromFile(Write("implementation\tBad4\ntransform\tsideways\n"), &error));
  EXPECT_FALSE(fake_engine::RegisterFromFile(::testing::TempDir() + "does/not/exist", &error));
  for (const auto& n : RegisteredImplementations()) {
    EXPECT_NE(L"Bad1", n);
    EXPECT_NE(L"Bad2", n);
    EXPECT_NE(L"Bad3", n);
    EXPECT_NE(L"Bad4", n);
  }
}

namespace {

std::wstring ReadDefault(const std::wstring& path) {
  platform::RegKey key;
  if (platform::RegKey::Open(platform::Hive::ClassesRoot, path, false, &key) != ERROR_SUCCESS) return L"<missing>";
  platform::RegValue v;
  if (key.QueryValue(L"", &v) != ERROR_SUCCESS) return L"<no value>";
  return v.text;
}

// Points the stand-in registry at a folder of its own (Linux); the real
// registry under Wine gets the keys and loses them again.
class ScopedRegistryFolder {
 public:
  ScopedRegistryFolder() {
    const char* old = std::getenv("PELORANT_REGISTRY");
    if (old) mOld = old;
    mHad = old != nullptr;
    std::string dir = ::testing::TempDir() + "fake_engine_registry";
    std::filesystem::create_directories(dir);
    Set(dir.c_str());
  }
  ~ScopedRegistryFolder() { Set(mHad ? mOld.c_str() : nullptr); }

 private:
  static void Set(const char* value) {
    // putenv keeps the very buffer it is given; an empty value reads as unset.
    std::string entry = std::string("PELORANT_REGISTRY=") + (value ? value : "");
    putenv(strdup(entry.c_str()));
  }
  std::string mOld;
  bool mHad = false;
};

}  // namespace

TEST(FakeFamilyHelperTest, ClassRegistrationLastsAsLongAsTheSide) {
  ScopedRegistryFolder folder;
  const std::wstring clsid = L"{6A1F0C55-3B8E-4C1D-9E2A-7F00000000A1}";
  {
    FakeEngineSide side;
    auto& helper = side.AddFamilyHelper(L"Varnel.Test.Helper");
    ASSERT_EQ(ERROR_SUCCESS, helper.RegisterInClassesRoot(clsid, L"C:\\Helpers\\Varnel.dll"));
    EXPECT_EQ(clsid, ReadDefault(L"Varnel.Test.Helper\\CLSID"));
    EXPECT_EQ(L"C:\\Helpers\\Varnel.dll", ReadDefault(L"CLSID\\" + clsid + L"\\InprocServer32"));
  }
  EXPECT_EQ(L"<missing>", ReadDefault(L"Varnel.Test.Helper\\CLSID"));
  EXPECT_EQ(L"<missing>", ReadDefault(L"CLSID\\" + clsid + L"\\InprocServer32"));
}
