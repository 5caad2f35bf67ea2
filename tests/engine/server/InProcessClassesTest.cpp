#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engines/fake/FakeEngine.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/System.h"

using namespace engine_server;

namespace {

// The names the in-process class table lists now, in order.
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

}  // namespace

// Detection decides at each listing; a name registered again in another
// letter case takes the old one's place.
TEST(InProcessClassesTest, ListingFollowsDetectionAndANameRegisteredAgainKeepsItsPlace) {
  fake_engine::FakeEngineSide side;
  auto& first = side.AddImplementation(L"TestFirst").SetAvailable(false);
  side.AddImplementation(L"TestSecond");
  EXPECT_EQ(Listed(), std::vector<std::wstring>{L"TestSecond"});
  first.SetAvailable(true);
  EXPECT_EQ(Listed(), (std::vector<std::wstring>{L"TestFirst", L"TestSecond"}));
  side.AddImplementation(L"TESTFIRST");
  EXPECT_EQ(Listed(), (std::vector<std::wstring>{L"TESTFIRST", L"TestSecond"}));
}

// Hooks replace creation for their scope. Before an implementation is chosen
// the factory answers on its own; one that refuses, or a name nothing
// serves, has no engine.
TEST(InProcessClassesTest, RefusedOrUnknownImplementationHasNoEngine) {
  fake_engine::FakeEngineSide side;
  side.AddImplementation(L"Refusing").Script(fake_engine::Operation::SetImplementation, {.callResult = E_ACCESSDENIED});
  std::shared_ptr<IEngineFactory> factory;
  {
    ClassHooks failing;
    failing.createEngineFactory = [](std::shared_ptr<IEngineFactory>*) { return REGDB_E_CLASSNOTREG; };
    ScopedClassHooks scope(failing);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateEngineFactory(&factory));
  }
  ASSERT_EQ(S_OK, CreateEngineFactory(&factory)) << "the hooks of before come back at the end of their scope";
  LONG status = -1, properties = 0;
  factory->WaitForResult(-1, &status);
  EXPECT_EQ(kRequestDone, status);
  std::shared_ptr<IClientProperties> props;
  ASSERT_EQ(S_OK, factory->Properties(&props));
  props->Count(&properties);
  EXPECT_EQ(1, properties);
  EXPECT_EQ(E_ACCESSDENIED, factory->SetImplementation(L"Refusing"));
  std::shared_ptr<IEngineList> list;
  EXPECT_EQ(ENGINE_E_UNAVAILABLE, factory->GetEngineList(L"", L"", L"", 0, &list));
  ASSERT_EQ(S_OK, factory->SetImplementation(L"NotThere"));
  EXPECT_EQ(ENGINE_E_UNAVAILABLE, factory->GetEngineList(L"", L"", L"", 0, &list));
  std::shared_ptr<ITranslationEngine> engine;
  EXPECT_TRUE(FAILED(factory->GetEngine(nullptr, &engine)));
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
