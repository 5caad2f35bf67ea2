#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "src/engine/server/EngineClasses.h"
#include "src/engine/server/ServerObjects.h"
#include "src/platform/System.h"

using namespace engine_server;

namespace {

// A minimal implementation whose factory records what reached it.
struct Recorder {
  std::wstring implementation;
  std::wstring displayLanguage;
  int factories = 0;
};

class RecordingFactory : public IEngineFactory {
 public:
  explicit RecordingFactory(std::shared_ptr<Recorder> r) : mR(std::move(r)) {}
  HRESULT SetImplementation(const std::wstring& name) override {
    mR->implementation = name;
    return name == L"Refusing" ? E_ACCESSDENIED : S_OK;
  }
  HRESULT SetDisplayLanguage(const std::wstring& language) override {
    mR->displayLanguage = language;
    return S_OK;
  }
  HRESULT Properties(std::shared_ptr<IClientProperties>* p) override {
    *p = mProps;
    return S_OK;
  }
  HRESULT GetEngineList(const std::wstring&, const std::wstring&, const std::wstring&, LONG,
                        std::shared_ptr<IEngineList>* list) override {
    *list = std::make_shared<EngineList>();
    return S_OK;
  }
  HRESULT GetEngine(const std::shared_ptr<IEngineListItem>&, std::shared_ptr<ITranslationEngine>*) override {
    return E_NOTIMPL;
  }
  HRESULT WaitForResult(LONG, LONG* status) override {
    *status = kRequestFailed;
    return S_OK;
  }
  HRESULT Cancel() override { return S_OK; }
  HRESULT ErrorCode(LONG* code) override {
    *code = kEngineErrorNetwork;
    return S_OK;
  }

 private:
  std::shared_ptr<Recorder> mR;
  std::shared_ptr<ClientProperties> mProps = std::make_shared<ClientProperties>(std::vector<std::wstring>{L"Other"});
};

class InProcessClassesTest : public ::testing::Test {
 protected:
  void Register(const std::wstring& name, bool* available = nullptr) {
    InProcessImplementation impl;
    impl.name = name;
    if (available) impl.available = [available] { return *available; };
    auto rec = recorder;
    impl.makeFactory = [rec]() -> std::shared_ptr<IEngineFactory> {
      ++rec->factories;
      return std::make_shared<RecordingFactory>(rec);
    };
    RegisterImplementation(std::move(impl));
    names.push_back(name);
  }
  void TearDown() override {
    for (const auto& n : names) UnregisterImplementation(n);
  }
  std::vector<std::wstring> Listed() {
    std::shared_ptr<IImplementations> impls;
    EXPECT_EQ(S_OK, CreateInProcessImplementations(&impls));
    LONG count = 0;
    impls->Count(&count);
    std::vector<std::wstring> out;
    for (LONG i = 1; i <= count; ++i) {
      std::wstring n;
      impls->Item(i, &n);
      out.push_back(n);
    }
    std::wstring n;
    EXPECT_EQ(DISP_E_BADINDEX, impls->Item(count + 1, &n));
    EXPECT_EQ(DISP_E_BADINDEX, impls->Item(0, &n));
    return out;
  }

  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::vector<std::wstring> names;
  ScopedClassHooks inProcess{InProcessClassHooks()};
};

}  // namespace

TEST_F(InProcessClassesTest, DetectionDecidesWhatIsListedEachTime) {
  bool available = false;
  Register(L"TestDetect", &available);
  Register(L"TestAlways");
  auto has = [&](const std::wstring& n) {
    auto l = Listed();
    return std::find(l.begin(), l.end(), n) != l.end();
  };
  EXPECT_FALSE(has(L"TestDetect"));
  EXPECT_TRUE(has(L"TestAlways"));
  available = true;
  EXPECT_TRUE(has(L"TestDetect"));
}

TEST_F(InProcessClassesTest, RegisteringANameAgainReplacesItInPlace) {
  Register(L"TestFirst");
  Register(L"TestSecond");
  Register(L"TESTFIRST");
  auto all = RegisteredImplementations();
  auto first = std::find(all.begin(), all.end(), L"TESTFIRST");
  auto second = std::find(all.begin(), all.end(), L"TestSecond");
  ASSERT_NE(all.end(), first);
  EXPECT_LT(first, second);
  EXPECT_EQ(all.end(), std::find(all.begin(), all.end(), L"TestFirst"));
}

TEST_F(InProcessClassesTest, FactoryHandsOnSettingsMadeBeforeTheImplementationWasChosen) {
  Register(L"TestForward");
  std::shared_ptr<IEngineFactory> factory;
  ASSERT_EQ(S_OK, CreateEngineFactory(&factory));
  // Before an implementation is chosen the factory answers on its own.
  LONG status = -1;
  factory->WaitForResult(-1, &status);
  EXPECT_EQ(kRequestDone, status);
  std::shared_ptr<IClientProperties> props;
  ASSERT_EQ(S_OK, factory->Properties(&props));
  LONG count = 0;
  props->Count(&count);
  EXPECT_EQ(1, count);

  ASSERT_EQ(S_OK, factory->SetDisplayLanguage(L"ja"));
  ASSERT_EQ(S_OK, factory->SetImplementation(L"testforward"));
  EXPECT_EQ(1, recorder->factories);
  EXPECT_EQ(L"testforward", recorder->implementation);
  EXPECT_EQ(L"ja", recorder->displayLanguage);

  // From now on everything is the implementation's.
  ASSERT_EQ(S_OK, factory->Properties(&props));
  std::shared_ptr<IClientProperty> prop;
  props->Item(1, &prop);
  std::wstring name;
  prop->Name(&name);
  EXPECT_EQ(L"Other", name);
  factory->WaitForResult(-1, &status);
  EXPECT_EQ(kRequestFailed, status);
  LONG code = 0;
  factory->ErrorCode(&code);
  EXPECT_EQ(kEngineErrorNetwork, code);
}

TEST_F(InProcessClassesTest, RefusedOrUnknownImplementationHasNoEngine) {
  Register(L"Refusing");
  std::shared_ptr<IEngineFactory> factory;
  CreateEngineFactory(&factory);
  EXPECT_EQ(E_ACCESSDENIED, factory->SetImplementation(L"Refusing"));
  std::shared_ptr<IEngineList> list;
  EXPECT_EQ(ENGINE_E_UNAVAILABLE, factory->GetEngineList(L"", L"", L"", 0, &list));
  ASSERT_EQ(S_OK, factory->SetImplementation(L"NotThere"));
  EXPECT_EQ(ENGINE_E_UNAVAILABLE, factory->GetEngineList(L"", L"", L"", 0, &list));
  std::shared_ptr<ITranslationEngine> engine;
  EXPECT_TRUE(FAILED(factory->GetEngine(nullptr, &engine)));
}

TEST_F(InProcessClassesTest, HooksReplaceCreationAndComeBackAtTheEndOfTheirScope) {
  {
    ClassHooks failing;
    failing.createEngineFactory = [](std::shared_ptr<IEngineFactory>*) { return REGDB_E_CLASSNOTREG; };
    ScopedClassHooks scope(failing);
    std::shared_ptr<IEngineFactory> factory;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateEngineFactory(&factory));
  }
  std::shared_ptr<IEngineFactory> factory;
  EXPECT_EQ(S_OK, CreateEngineFactory(&factory));
}

TEST(EngineThreadTest, InitializeAndUninitializeNest) {
  if (platform::PathSeparator() != L'\\') GTEST_SKIP() << "threads have no COM apartment to nest here";
  // A fresh thread, so that no earlier initialization counts.
  std::vector<HRESULT> results;
  std::thread([&] {
    results.push_back(InitializeEngineThread());  // initializes the thread
    results.push_back(InitializeEngineThread());  // nested
    UninitializeEngineThread();
    results.push_back(InitializeEngineThread());  // still initialized by the first
    UninitializeEngineThread();
    UninitializeEngineThread();
    results.push_back(InitializeEngineThread());  // the first was undone: initializes again
    UninitializeEngineThread();
    UninitializeEngineThread();  // unmatched: does nothing
    results.push_back(InitializeEngineThread());
    UninitializeEngineThread();
  }).join();
  EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_FALSE, S_FALSE, S_OK, S_OK}));
}
