// The engine side in this process: requests on their worker, the class
// table, and the scriptable fake engine side the suites translate with.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

#include "engines/fake/FakeEngine.h"
#include "src/engine/server/AsyncRequest.h"
#include "src/engine/server/EngineClasses.h"
#include "tests/common/EngineOpen.h"
#include "tests/engine/EngineCacheTestEnv.h"

using namespace engine_server;
using fake_engine::FakeEngineSide;
using testsupport::ListedImplementations;

namespace {

RequestOutcome WaitUntilCancelled(const CancelToken& token) {
  while (!token.SleepFor(std::chrono::milliseconds(20))) {
  }
  return RequestOutcome::Cancelled();
}

// The request's status and error code once it has ended.
template <class Request>
std::pair<LONG, LONG> End(Request& r, LONG waitMs = -1) {
  LONG status = -1, code = -1;
  EXPECT_EQ(S_OK, r.WaitForResult(waitMs, &status));
  EXPECT_EQ(S_OK, r.ErrorCode(&code));
  return {status, code};
}

// A new request supersedes a running one and starts with no error code; a
// job that throws fails with the engine's error.
TEST(AsyncRequestTest, AJobsOutcomeIsTheRequestsStatusAndCode) {
  // The job and the request's status and code at its end.
  const std::pair<std::function<RequestOutcome(const CancelToken&)>, std::pair<LONG, LONG>> cases[] = {
      {[](const CancelToken&) { return RequestOutcome::Failed(kEngineErrorNetwork); }, {kRequestFailed, kEngineErrorNetwork}},
      {[](const CancelToken&) -> RequestOutcome { throw std::runtime_error("boom"); }, {kRequestFailed, kEngineErrorEngine}},
      {[](const CancelToken&) { return RequestOutcome::Done(); }, {kRequestDone, 0}},
  };
  AsyncRequest r;
  EXPECT_EQ(End(r, 0), (std::pair<LONG, LONG>(kRequestDone, 0))) << "no request yet";
  for (const auto& [job, end] : cases) {
    r.Start(WaitUntilCancelled);
    r.Start(job);
    EXPECT_EQ(End(r), end);
  }
}

TEST(AsyncRequestTest, CancelFromAnotherThreadEndsAHangingJobAndRunsItsAction) {
  AsyncRequest r;
  std::atomic<int> actions{0};
  r.Start([&](const CancelToken& token) {
    token.OnCancel([&] { ++actions; });
    return WaitUntilCancelled(token);
  });
  std::thread canceller([&] { r.Cancel(); });
  EXPECT_EQ(End(r).first, kRequestCancelled);
  canceller.join();
  EXPECT_EQ(1, actions.load());
  // A second cancel after the end changes nothing.
  r.Cancel();
  EXPECT_EQ(End(r, 0).first, kRequestCancelled);
  EXPECT_EQ(1, actions.load());
  // An action registered after the cancel runs at once.
  std::atomic<bool> cancelled{false}, ran{false};
  r.Start([&](const CancelToken& token) {
    while (!cancelled) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    token.OnCancel([&] { ran = true; });
    return RequestOutcome::Cancelled();
  });
  r.Cancel();
  cancelled = true;
  End(r);
  EXPECT_TRUE(ran);
}

TEST(AsyncRequestTest, JobsOneAfterAnotherRunOnOneThreadAndFreeTheirCapturesBeforeTheyEnd) {
  AsyncRequest r;
  auto held = std::make_shared<int>(0);
  for (int job = 1; job <= 3; ++job) {
    r.Start([held](const CancelToken&) {
      thread_local int jobsHere = 0;
      *held = ++jobsHere;
      return RequestOutcome::Done();
    });
    EXPECT_EQ(kRequestDone, End(r).first);
    EXPECT_EQ(std::pair(1L, job), std::pair(held.use_count(), *held)) << "captures held, jobs on the thread";
  }
}

TEST(AsyncRequestTest, DestroyingWithAHangingJobCancelsIt) {
  std::atomic<bool> ended{false};
  {
    AsyncRequest r;
    r.Start([&](const CancelToken& token) {
      auto o = WaitUntilCancelled(token);
      ended = true;
      return o;
    });
  }
  EXPECT_TRUE(ended);
}

// Detection decides at each listing; a name registered again in another
// letter case takes the old one's place.
TEST(InProcessClassesTest, ListingFollowsDetectionAndANameRegisteredAgainKeepsItsPlace) {
  FakeEngineSide side;
  auto& first = side.AddImplementation(L"TestFirst").SetAvailable(false);
  side.AddImplementation(L"TestSecond");
  EXPECT_EQ(ListedImplementations(), std::vector<std::wstring>{L"TestSecond"});
  first.SetAvailable(true);
  EXPECT_EQ(ListedImplementations(), (std::vector<std::wstring>{L"TestFirst", L"TestSecond"}));
  side.AddImplementation(L"TESTFIRST");
  EXPECT_EQ(ListedImplementations(), (std::vector<std::wstring>{L"TESTFIRST", L"TestSecond"}));
}

// Hooks replace creation for their scope. Before an implementation is chosen
// the factory answers on its own; one that refuses, or a name nothing
// serves, has no engine.
TEST(InProcessClassesTest, RefusedOrUnknownImplementationHasNoEngine) {
  FakeEngineSide side;
  side.AddImplementation(L"Refusing").Script(fake_engine::Operation::SetImplementation, {.callResult = E_ACCESSDENIED});
  std::shared_ptr<IEngineFactory> factory;
  {
    ClassHooks failing;
    failing.createEngineFactory = [](std::shared_ptr<IEngineFactory>*) { return REGDB_E_CLASSNOTREG; };
    ScopedClassHooks scope(failing);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateEngineFactory(&factory));
  }
  ASSERT_EQ(S_OK, CreateEngineFactory(&factory)) << "the hooks of before come back at the end of their scope";
  EXPECT_EQ(End(*factory).first, kRequestDone);
  std::shared_ptr<IClientProperties> props;
  ASSERT_EQ(S_OK, factory->Properties(&props));
  LONG properties = 0;
  props->Count(&properties);
  EXPECT_EQ(1, properties);
  std::shared_ptr<IEngineList> list;
  for (const auto& [name, chosen] : {std::pair(L"Refusing", E_ACCESSDENIED), std::pair(L"NotThere", S_OK)}) {
    EXPECT_EQ(chosen, factory->SetImplementation(name)) << platform::ToUtf8(name);
    EXPECT_EQ(ENGINE_E_UNAVAILABLE, factory->GetEngineList(L"", L"", L"", 0, &list)) << platform::ToUtf8(name);
  }
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

std::string WriteScript(const std::string& content) {
  std::string path = ::testing::TempDir() + "fake_engine_script.txt";
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

// A script opened the way the add-in opens a pair; the fake's properties
// refuse an index past the last, as the real list does. (Dictionary entries
// and scripted requests are the end-to-end runs' daily fare.)
TEST(FakeScriptTest, ScriptFileRegistersAWorkingImplementation) {
  std::string path = WriteScript(
      "# comment\n"
      "implementation\tScripted\n"
      "pair\ten-es\ten\tes\t0x9\tEnglish - Spanish\tScripted MT\tScr\n"
      "translation\tHello.\t\xC2\xA1Hola!\n"
      "transform\tbracket\n");
  std::wstring error;
  ASSERT_TRUE(fake_engine::RegisterFromFile(path, &error)) << platform::ToUtf8(error);
  ScopedClassHooks inProcess(InProcessClassHooks());
  std::shared_ptr<IEngineFactory> factory;
  ASSERT_EQ(S_OK, CreateEngineFactory(&factory));
  ASSERT_EQ(S_OK, factory->SetImplementation(L"Scripted"));
  std::shared_ptr<IClientProperties> props;
  ASSERT_EQ(S_OK, factory->Properties(&props));
  LONG count = 0;
  ASSERT_EQ(S_OK, props->Count(&count));
  std::shared_ptr<IClientProperty> prop;
  EXPECT_EQ(S_OK, props->Item(count, &prop));
  for (LONG index : {LONG{0}, count + 1}) EXPECT_EQ(DISP_E_BADINDEX, props->Item(index, &prop)) << index;
  auto engine = testsupport::OpenListedEngine(*factory, L"en-es");
  ASSERT_TRUE(engine);
  std::shared_ptr<ITranslationResult> result;
  engine->Translate(L"Hello.", 0, &result);
  ASSERT_EQ(kRequestDone, End(*engine).first);
  std::wstring text;
  result->Text(&text);
  EXPECT_EQ(L"\u00A1Hola!", text);
  // Texts without an entry come back bracketed, each word corresponding to
  // itself inside the brackets.
  engine->Translate(L"big  dog", kTranslateModeCorrespondence, &result);
  ASSERT_EQ(kRequestDone, End(*engine).first);
  result->Text(&text);
  EXPECT_EQ(L"\u27E6big  dog\u27E7", text);
  std::vector<WordCorrespondence> groups;
  result->Correspondence(&groups);
  ASSERT_EQ(2u, groups.size());
  EXPECT_EQ(std::pair(TextRange{5, 3}, TextRange{6, 3}), std::pair(groups[1].source[0], groups[1].translation[0]));
  UnregisterImplementation(L"Scripted");
}

TEST(FakeScriptTest, BadScriptsAreRejectedWithTheLineAndRegisterNothing) {
  std::wstring error;
  EXPECT_FALSE(fake_engine::RegisterFromFile(WriteScript("implementation\tBad1\npair\tonly\tthree\n"), &error));
  EXPECT_NE(std::wstring::npos, error.find(L":2:"));
  for (const char* script : {"pair\ta\ten\tes\t1\tx\ty\tz\n", "implementation\tBad2\nrequest\ttranslate\t7\t0\t0\n",
                             "implementation\tBad3\nfly\taway\n", "implementation\tBad4\ntransform\tsideways\n"}) {
    EXPECT_FALSE(fake_engine::RegisterFromFile(WriteScript(script), &error)) << script;
  }
  EXPECT_FALSE(fake_engine::RegisterFromFile(::testing::TempDir() + "does/not/exist", &error));
  for (const auto& n : RegisteredImplementations()) EXPECT_NE(n.rfind(L"Bad", 0), 0u) << platform::ToUtf8(n);
}

// Implementations, helpers and their classes' registration last as long as
// the side. The fixture's private registry: a folder of its own on Linux;
// under Wine the real registry gets the keys and loses them again.
class FakeFamilyHelperTest : public enginetest::EngineEnvTest {};

// What the registration writes is read by the family tests; here that it
// goes with the side.
TEST_F(FakeFamilyHelperTest, RegistrationsLastAsLongAsTheSide) {
  const std::wstring clsid = L"{6A1F0C55-3B8E-4C1D-9E2A-7F00000000A1}";
  {
    FakeEngineSide side;
    side.AddImplementation(L"Temporary");
    auto& helper = side.AddFamilyHelper(L"Varnel.Test.Helper");
    ASSERT_EQ(ERROR_SUCCESS, helper.RegisterInClassesRoot(clsid, L"C:\\Helpers\\Varnel.dll"));
  }
  for (const std::wstring& path : {std::wstring(L"Varnel.Test.Helper\\CLSID"), L"CLSID\\" + clsid + L"\\InprocServer32"})
    EXPECT_EQ(L"<none>", enginetest::ValueOf(platform::Hive::ClassesRoot, path, L"")) << platform::ToUtf8(path);
  for (const auto& n : RegisteredImplementations()) EXPECT_NE(L"Temporary", n);
  std::shared_ptr<IFamilyHelper> helper;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, CreateInProcessFamilyHelper(L"Varnel.Test.Helper", &helper));
}

}  // namespace
