#include <gtest/gtest.h>

#include <future>

#include "src/engine/EngineEnumeration.h"
#include "src/platform/ComError.h"
#include "src/platform/MessagePump.h"
#include "tests/engine/EngineCacheTestEnv.h"

using enginetest::MessageIds;
using fake_engine::Behaviour;
using fake_engine::Operation;

namespace {

class EngineTest : public enginetest::FakeSideTest {
 protected:
  void SetUp() override {
    FakeSideTest::SetUp();
    impl->AddPair(enginetest::FakeMT(L"es-en", L"en", 0x1, L"es"));
  }
  // Gives up on a cancelled request that still runs after 20 ms.
  engine::Engine impatient{enginetest::NoAbbreviations(), 20};
};

// Holds a request's worker until the test opens it.
struct Gate {
  std::promise<void> opened;
  std::shared_future<void> open = opened.get_future().share();
  void Wait() { open.wait(); }
  void Open() { opened.set_value(); }
};

}  // namespace

// A factory without the client id property still opens.
TEST_F(EngineTest, OpenThroughTheFactorySetsClientIdAndDisplayLanguage) {
  for (bool hasClientId : {true, false}) {
    if (!hasClientId) impl->SetPropertyNames({L"Other"}).ClearRecord();
    ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L"ja"));
    // Open, the client id (its text is checked with the enumeration), the display language, a dictionary.
    EXPECT_EQ(std::tuple(eng.IsOpen(), impl->ClientId(), impl->DisplayLanguage(), eng.HasDictionary()),
              std::tuple(true, hasClientId ? engine::ClientIdText() : L"", std::wstring(L"ja"), true));
    eng.CloseEngine();
    EXPECT_FALSE(eng.IsOpen());
  }
  std::wstring out;
  EXPECT_FALSE(eng.TranslateSentence(L"x", &out)) << "closed";
  EXPECT_EQ(out, L"x");
}

TEST_F(EngineTest, AFailedOpenReportsTheEnginesCodeOrNothingWhenCancelled) {
  auto& helper = side.AddFamilyHelper(L"SelvanCJ.Document");
  helper.Engines().AddPair({L"SelvanCJ.Document.CN", L"zh-hans", L"ja", 1025, L"", L"S", L"S"});
  // The implementation that fails, how, the pair opened, the messages.
  const std::tuple<fake_engine::FakeImplementation*, Operation, Behaviour, const wchar_t*, const wchar_t*,
                   std::vector<int>>
      cases[] = {
      {impl, Operation::GetEngineList, {.status = engine_server::kRequestFailed, .errorCode = 30005, .times = 1},
       L"FakeMT", L"en-es", {1206}},
      {impl, Operation::GetEngine, {.status = engine_server::kRequestFailed, .times = 1}, L"FakeMT", L"en-es", {1249}},
      {impl, Operation::GetEngine, {.status = engine_server::kRequestCancelled, .times = 1}, L"FakeMT", L"en-es", {}},
      {&helper.Engines(), Operation::GetEngine,
       {.status = engine_server::kRequestFailed, .times = 1, .engineErrorCode = 30001}, L"Selvan",
       L"SelvanCJ.Document.CN", {1202}},
      {impl, Operation::GetEngine, {}, L"Quendal2", L"en.ja", {}},  // a family whose helper is missing
  };
  for (const auto& [failing, operation, behaviour, group, id, messages] : cases) {
    SCOPED_TRACE(messages.empty() ? 0 : messages[0]);
    support::ErrorList::Clear();
    failing->Script(operation, behaviour);
    EXPECT_FALSE(eng.OpenEngine(group, id, L""));
    EXPECT_EQ(std::pair(eng.IsOpen(), MessageIds()), std::pair(false, messages)) << "open, the messages";
  }
}

// An open started ahead is finished by OpenEngine, which reports what the
// start met as its own open would have, without asking the engine side twice.
TEST_F(EngineTest, AnOpenStartedAheadIsFinishedAndReportedByTheOpen) {
  // What happens, the request that meets it, whether the pair opens, the
  // message (0: none).
  const std::tuple<const char*, Operation, Behaviour, bool, int> cases[] = {
      {"succeeds", Operation::Info, Behaviour{}, true, 0},
      {"engine fails", Operation::GetEngine, Behaviour{.status = engine_server::kRequestFailed, .times = 1}, false,
       1249},
      {"list fails", Operation::GetEngineList, Behaviour{.status = engine_server::kRequestFailed, .times = 1}, false,
       1249},
  };
  for (const auto& [what, op, behaviour, opens, message] : cases) {
    SCOPED_TRACE(what);
    support::ErrorList::Clear();
    impl->ClearRecord();
    impl->Script(op, behaviour);
    eng.OpenAhead(L"FakeMT", L"en-es", L"ja");
    // Started, not open, nothing reported before the open.
    EXPECT_EQ(std::tuple(impl->FactoriesMade(), eng.IsOpen(), support::ErrorList::GetCount()), std::tuple(1, false, 0));
    EXPECT_EQ(eng.OpenEngine(L"FakeMT", L"en-es", L"ja"), opens);
    EXPECT_EQ(std::pair(impl->FactoriesMade(), MessageIds()),
              std::pair(1, message ? std::vector<int>{message} : std::vector<int>{})) << "factories, messages";
    eng.CloseEngine();
  }
  // An open of another pair starts afresh; a raising start raises in the open
  // (as a raising open does, the same way).
  impl->ClearRecord();
  eng.OpenAhead(L"FakeMT", L"en-es", L"");
  EXPECT_TRUE(eng.OpenEngine(L"FakeMT", L"es-en", L""));
  EXPECT_EQ(std::pair(eng.OpenEngineID(), impl->FactoriesMade()), std::pair(std::wstring(L"es-en"), 2));
  eng.CloseEngine();
  impl->Script(Operation::SetImplementation, Behaviour{.callResult = E_ACCESSDENIED, .times = 1});
  eng.OpenAhead(L"FakeMT", L"en-es", L"");
  EXPECT_THROW(eng.OpenEngine(L"FakeMT", L"en-es", L""), platform::ComError);
  EXPECT_FALSE(eng.IsOpen());
}

TEST_F(EngineTest, TranslateUsesModeTwoOnlyWhenTheEngineOffersCorrespondence) {
  fake_engine::FakePair plain{L"fr-en", L"fr", L"en", 0x1, L"French - English", L"Fake MT", L"Fake"};
  plain.infoFlags = engine_server::kInfoFlagTranslate;
  impl->AddPair(plain);
  ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"fr-en", L""));
  impl->Script(Operation::Translate, Behaviour{.delayMs = 30, .times = 1});  // a request that runs a while is waited for
  std::wstring out;
  ASSERT_TRUE(eng.TranslateSentence(L"bonjour", &out));
  engine::StyleCorrespondence sc;
  // The answer, the mode, a correspondence, a dictionary.
  EXPECT_EQ(std::tuple(out, impl->Translations().back().mode, eng.GetStyleCorrespondence(out, L"bonjour", &sc),
                       eng.HasDictionary()),
            std::tuple(std::wstring(L"BONJOUR"), engine_server::kTranslateModePlain, false, false));

  ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L""));
  ASSERT_TRUE(eng.TranslateSentence(L"big dog", &out));
  EXPECT_EQ(impl->Translations().back().mode, engine_server::kTranslateModeCorrespondence);
  ASSERT_TRUE(eng.GetStyleCorrespondence(out, L"big dog", &sc));
  ASSERT_EQ(sc.size(), 2u);
  EXPECT_EQ(std::pair(sc[1].Source(0), sc[1].Translation(0)),
            std::pair((std::array<std::int32_t, 2>{4, 3}), (std::array<std::int32_t, 2>{4, 3})));
}

// A cancel raised before the open or the translation stops the request at
// its first poll (it hangs, so the cancel lands on it whatever the machine's
// speed); a new run forgets the old cancel.
TEST_F(EngineTest, ACancelRaisedBeforeARequestStopsItAtItsFirstPoll) {
  impl->Script(Operation::GetEngineList, Behaviour{.hang = true, .times = 1});
  eng.CancelEngine();
  EXPECT_FALSE(eng.OpenEngine(L"FakeMT", L"en-es", L""));
  EXPECT_EQ(impl->Cancels(), 1);
  eng.ResetCancel();
  ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L""));
  impl->Script(Operation::Translate, Behaviour{.hang = true, .times = 1});
  eng.CancelEngine();
  std::wstring out;
  EXPECT_FALSE(eng.TranslateSentence(L"hang", &out));
  EXPECT_EQ(std::pair(out, impl->Cancels()), std::pair(std::wstring(L"hang"), 2)) << "the text, the cancels";
  eng.ResetCancel();
  EXPECT_TRUE(eng.TranslateSentence(L"again", &out));
}

// The engine's dialogs need an open engine and a failing one gives 1255; a
// failed lookup leaves the engine's code, what the program tells the user
// (entries found and words not found are the lookup dialog's).
TEST_F(EngineTest, DialogsNeedAnOpenEngineAndFailuresLeaveTheirMessageOrCode) {
  EXPECT_FALSE(eng.ShowOptionDialog()) << "no engine open";
  ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-es", L""));
  std::wstring result;
  EXPECT_FALSE(eng.LookupWord(L"zzzz", &result));
  EXPECT_EQ(eng.LastErrorCode(), engine_server::kEngineErrorWordNotFound);
  impl->Script(Operation::SettingsDialog, Behaviour{.callResult = E_FAIL});
  EXPECT_FALSE(eng.ShowOptionDialog());
  EXPECT_EQ(MessageIds(), std::vector<int>{1255});
}

// A family engine that ignores a cancel while it opens is given up after
// the grace.
TEST_F(EngineTest, ABuiltInFamilyIsOpenedThroughItsHelperAndHasNoDialogs) {
  auto& helper = side.AddFamilyHelper(L"QuendalAddInHelper.Helper");
  helper.Engines().AddPair({L"en.ja", L"en", L"ja", 1025, L"English - Japanese", L"Q", L"Q"});
  ASSERT_TRUE(eng.OpenEngine(L"Quendal", L"en.ja", L""));
  std::wstring out;
  ASSERT_TRUE(eng.TranslateSentence(L"hello", &out));
  // The answer, the helper's and the factory's requests (none for a family).
  EXPECT_EQ(std::tuple(out, helper.Engines().Translations().size(), impl->Translations().size()),
            std::tuple(std::wstring(L"HELLO"), size_t{1}, size_t{0}));
  EXPECT_FALSE(eng.ShowOptionDialog());
  EXPECT_FALSE(eng.ShowDictionaryDialog());
  // The settings dialogs shown, the messages.
  EXPECT_EQ(std::pair(helper.Engines().SettingsDialogsShown(), support::ErrorList::GetCount()), std::pair(0, 0));

  auto gate = std::make_shared<Gate>();
  helper.Engines().Script(Operation::GetEngine, Behaviour{.times = 1, .hold = [gate] { gate->Wait(); }});
  impatient.CancelEngine();
  EXPECT_FALSE(impatient.OpenEngine(L"Quendal", L"en.ja", L""));
  gate->Open();
  EXPECT_EQ(std::pair(helper.Engines().Cancels(), impatient.IsOpen()), std::pair(1, false)) << "cancels forwarded, open";
}

TEST_F(EngineTest, ClosingDoesNotWaitForARequestThatIgnoresCancel) {
  auto gate = std::make_shared<Gate>();
  impl->Script(Operation::Translate, Behaviour{.times = 1, .hold = [gate] { gate->Wait(); }});
  ASSERT_TRUE(impatient.OpenEngine(L"FakeMT", L"en-es", L""));
  impatient.CancelEngine();
  auto run = std::async(std::launch::async, [&] {
    std::wstring out;
    bool translated = impatient.TranslateSentence(L"hello", &out);
    impatient.CloseEngine();
    return translated;
  });
  bool returned = run.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  gate->Open();  // lets the worker end, whatever happened
  EXPECT_TRUE(returned) << "closing the engine waited for a request that ignores Cancel";
  EXPECT_FALSE(run.get());
  EXPECT_FALSE(impatient.IsOpen());
  // The worker that was let go of still owns what it uses and frees it when
  // it ends, before the test process does.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (gate.use_count() > 1 && std::chrono::steady_clock::now() < deadline) platform::SleepMilliseconds(5);
  EXPECT_EQ(gate.use_count(), 1);
}
