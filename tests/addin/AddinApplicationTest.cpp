#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "resources/MessageIds.h"
#include "src/addin/AddinApplication.h"
#include "src/platform/Strings.h"
#include "tests/common/Bytes.h"
#include "tests/dialogs/ScriptedViews.h"
#include "tests/powerpoint/PowerPointFixture.h"

using addin::AddinApplication;
using dialogtest::ListedIds;
using namespace std::chrono_literals;

namespace {

engine::EngineEntry Entry(const std::wstring& group, const std::wstring& id) {
  engine::EngineEntry e;
  e.SetEngineGroup(group);
  e.SetEngineID(id);
  e.SetFromLang(L"en");
  e.SetToLang(L"xx");
  return e;
}

// A facade over a scripted engine list and option sets "default" and
// "Fancy" (selected, with dual print), running on the fixture's host.
class Facade : public pptest::RunTest {
 protected:
  // The fixture's parts, for a test that makes a facade of its own.
  AddinApplication::Parts Parts() {
    return {.fillEngineList =
                [this](engine::EngineCaches& caches, bool) {
                  ++fills;
                  caches.SetEntries({{L"FakeMT:en-xx", Entry(L"FakeMT", L"en-xx")}});
                  return fillSucceeds;
                },
            .refreshEngineList =
                [this](engine::EngineCaches&, bool) {
                  ++refreshes;
                  return true;
                },
            .loadOptions =
                [this](options::TranslationOptions& sets) {
                  sets.Reset();
                  sets.Find(L"default")->SetTimeOutMSec(timeOut);
                  sets.Add(L"Fancy")->SetDualPrint(1);
                  sets.Find(L"Fancy")->SetGlossary(glossary);
                  sets.Select(L"Fancy");
                  return true;
                },
            .process = &process};
  }
  AddinApplication facade{Parts()};
  int fills = 0;
  int refreshes = 0;
  bool fillSucceeds = true;
  std::int32_t timeOut = 0;
  std::wstring glossary;
};

}  // namespace

// An empty set name, or one removed since the menu chose it, means the
// selected set; an unknown mode refreshes the engine list once and gives an
// empty record.
TEST_F(Facade, TheRecordComesFromTheNamedOrSelectedSetOrIsEmpty) {
  struct Case { const wchar_t* mode; const wchar_t* set; int dualPrint; int refreshes; };
  for (const Case& c : {Case{L"FakeMT:en-xx", L"", 1, 0}, Case{L"FakeMT:en-xx", L"default", 0, 0},
                        Case{L"FakeMT:en-xx", L"Removed", 1, 0}, Case{L"Nobody:zz", L"", 0, 1}}) {
    SCOPED_TRACE(testing::Message() << platform::ToUtf8(c.mode) << " " << platform::ToUtf8(c.set));
    options::TranslationOptionUDT record;
    record.DualPrint = 1 - c.dualPrint;
    facade.fncGetOptionUDT(record, c.mode, c.set);
    EXPECT_EQ(record.DualPrint, c.dualPrint);
    EXPECT_EQ(refreshes, c.refreshes);
    if (c.refreshes) {
      EXPECT_EQ(record, options::TranslationOptionUDT());
    }
    if (!c.refreshes) {
      EXPECT_EQ(record.EngineID, L"en-xx");
    }
  }
  // A command with an unknown mode still reaches the run, which cannot open an engine.
  Open(pptest::ThreeSlides());
  facade.SetApplication(app);
  facade.TranslateAll(L"Nobody:zz", L"");
  EXPECT_EQ(refreshes, 2);
  EXPECT_EQ(Outcome().errors.back().id, 1251);
}

TEST_F(Facade, TheEngineListIsFilledOnceAndAFailureShownOnce) {
  fillSucceeds = false;
  facade.GetEngineCaches();
  EXPECT_EQ(ListedIds(), std::vector<int>{resources::msg::kEngineListFailed});
  support::ErrorList::Clear();
  facade.GetEngineCaches();
  EXPECT_TRUE(ListedIds().empty());
  EXPECT_EQ(fills, 1);

  AddinApplication empty({.fillEngineList = [](engine::EngineCaches&, bool) { return true; }});
  empty.GetEngineCaches();
  EXPECT_EQ(ListedIds(), std::vector<int>{resources::msg::kNoEngines});
}

TEST_F(Facade, ADeadHostIsReplacedByTheRunningOne) {
  struct DeadHost : host::Application {
    std::wstring Version() override { return L""; }
    std::wstring Name() override { return L""; }
    host::Ptr<host::Presentations> Presentations() override { throw platform::ComError(E_FAIL); }
    host::Ptr<host::Presentation> ActivePresentation() override { throw platform::ComError(E_FAIL); }
    host::Ptr<host::DocumentWindows> Windows() override { throw platform::ComError(E_FAIL); }
    host::Ptr<host::DocumentWindow> ActiveWindow() override { throw platform::ComError(E_FAIL); }
    host::Ptr<host::SlideShowWindows> SlideShowWindows() override { throw platform::ComError(E_FAIL); }
    host::Ptr<host::CommandBars> CommandBars() override { throw platform::ComError(E_FAIL); }
    std::wstring Run(const std::wstring&, const std::vector<std::wstring>&) override {
      throw platform::ComError(E_FAIL);
    }
  };
  auto running = host::pptx::CreateApplication();
  AddinApplication::Parts parts = Parts();
  parts.reconnect = [&] { return running; };
  AddinApplication revived(std::move(parts));
  revived.SetApplication(std::make_shared<DeadHost>());
  options::TranslationOptionUDT record;
  EXPECT_TRUE(revived.fncPrepareForUseAppModule(L"FakeMT:en-xx", L"", record));
  EXPECT_TRUE(revived.Reconnected());
  EXPECT_EQ(revived.GetApplication(), running);
  EXPECT_EQ(revived.AbbreviationLanguage(), L"en");
}

TEST_F(Facade, TranslationCommandsCarryTheGlossaryAndDoNotRunWithoutIt) {
  glossary = (dir / "terms.tsv").wstring();
  ASSERT_TRUE(testsupport::WriteBytes(glossary, std::string("# ours\nPelorant\t\nslide\tdiapositiva\n")));
  options::TranslationOptionUDT record;
  ASSERT_TRUE(facade.fncPrepareForUseAppModule(L"FakeMT:en-xx", L"", record, true));
  EXPECT_EQ(record.GlossaryTerms,
            (std::vector<options::GlossaryTerm>{{L"Pelorant", L""}, {L"slide", L"diapositiva"}}));
  ASSERT_TRUE(facade.fncPrepareForUseAppModule(L"FakeMT:en-xx", L"default", record, true));
  EXPECT_TRUE(record.GlossaryTerms.empty()) << "a set without a glossary has no terms";
  ASSERT_TRUE(facade.fncPrepareForUseAppModule(L"FakeMT:en-xx", L"", record, false));
  EXPECT_TRUE(record.GlossaryTerms.empty()) << "only translations read the glossary";
  EXPECT_TRUE(ListedIds().empty());

  // A glossary that went missing or went bad stops every translation command
  // before it touches the deck or the engine, naming the file.
  Open(pptest::ThreeSlides());
  facade.SetApplication(app);
  const int opened = impl->EnginesOpened();
  for (const char* bytes : {static_cast<const char*>(nullptr), "slide diapositiva\n"}) {
    std::filesystem::remove(glossary);
    if (bytes != nullptr) {
      ASSERT_TRUE(testsupport::WriteBytes(glossary, std::string(bytes)));
    }
    for (auto command : {&AddinApplication::TranslateAll, &AddinApplication::TranslateSheet,
                         &AddinApplication::TranslateSelection, &AddinApplication::TranslateCopy,
                         &AddinApplication::TranslatePaste}) {
      support::ErrorList::Clear();
      (facade.*command)(L"FakeMT:en-xx", L"Fancy");
      const auto entries = support::ErrorList::GetEntries();
      ASSERT_EQ(entries.size(), 1u);
      EXPECT_EQ(entries[0].mMessageId, resources::msg::kGlossaryUnreadable);
      EXPECT_TRUE(entries[0].mDetail.starts_with(glossary + L": ")) << platform::ToUtf8(entries[0].mDetail);
    }
  }
  EXPECT_TRUE(impl->Translations().empty());
  EXPECT_EQ(impl->EnginesOpened(), opened);
}

// A run gets the facade's watchdog: its time limit (one step of a
// millisecond) cancels a run whose first request would take ten seconds,
// before or during the walk.
TEST_F(Facade, TheWatchdogCancelsARunThatOutlastsItsTimeLimit) {
  timeOut = 500;
  AddinApplication::Parts parts = Parts();
  parts.watchdogStep = 1ms;
  AddinApplication timed(std::move(parts));
  impl->Script(fake_engine::Operation::Translate, fake_engine::Behaviour{.delayMs = 10'000, .times = 1});
  Open(pptest::ThreeSlides());
  timed.SetApplication(app);
  timed.TranslateAll(L"FakeMT:en-xx", L"default");
  EXPECT_TRUE(Outcome().success);
  EXPECT_TRUE(Outcome().cancelled);
  EXPECT_TRUE(timed.TimedOut());
}

TEST(TimeOutWatchdog, StopsWithoutFiringAndFiresOnceTheTimeIsUp) {
  std::promise<void> fired;
  int calls = 0;
  addin::TimeOutWatchdog dog([&] {
    ++calls;
    fired.set_value();
  }, 1ms);
  dog.Start(1'000'000'000);
  EXPECT_TRUE(dog.IsRunning());
  dog.Stop();
  EXPECT_FALSE(dog.IsRunning());
  EXPECT_FALSE(dog.TimedOut());

  dog.Start(1500);  // three steps of 500 ms
  ASSERT_EQ(fired.get_future().wait_for(30s), std::future_status::ready);
  dog.Stop();
  EXPECT_TRUE(dog.TimedOut());
  EXPECT_EQ(calls, 1);
  EXPECT_LE(dog.Remaining(), 0);

  dog.Start(0);
  EXPECT_FALSE(dog.IsRunning());
}

// At unload the facade keeps the engine list it built, once; a facade that
// never built one has nothing to keep.
TEST(FacadeUnload, KeepsTheEngineListItBuilt) {
  std::vector<size_t> kept;
  auto make = [&kept] {
    return std::make_unique<AddinApplication>(AddinApplication::Parts{
        .fillEngineList =
            [](engine::EngineCaches& caches, bool) {
              caches.SetEntries({{L"FakeMT:en-xx", Entry(L"FakeMT", L"en-xx")}});
              return true;
            },
        .saveEngineList = [&kept](engine::EngineCaches& caches) { kept.push_back(caches.Count()); }});
  };
  auto used = make();
  used->GetEngineCaches();
  make().reset();
  EXPECT_TRUE(kept.empty());
  used.reset();
  EXPECT_EQ(kept, std::vector<size_t>{1});
}

// The engine's own dialogs open after a run that ended by cancel, time-out or
// disconnection left the cancel flag up; an open that throws is the user's
// 1251 too, not only a log line.
TEST_F(Facade, EngineDialogsOpenAfterACancelledRunAndReportAnOpenThatThrows) {
  struct Case {
    void (AddinApplication::*command)(std::wstring);
    int (fake_engine::FakeImplementation::*shown)() const;
  };
  for (const Case& c : {Case{&AddinApplication::ShowEngineOptionDialog, &fake_engine::FakeImplementation::SettingsDialogsShown},
                        Case{&AddinApplication::ShowDictionaryRegistrationDialog,
                             &fake_engine::FakeImplementation::DictionaryDialogsShown}}) {
    const int before = (impl->*c.shown)();
    engine::AppCommon::Instance().SetCancel(true);
    (facade.*c.command)(L"FakeMT:en-xx");
    EXPECT_TRUE(ListedIds().empty());
    EXPECT_EQ((impl->*c.shown)(), before + 1);

    impl->Script(fake_engine::Operation::SetImplementation, fake_engine::Behaviour{.callResult = E_FAIL, .times = 1});
    (facade.*c.command)(L"FakeMT:en-xx");
    EXPECT_EQ(ListedIds(), std::vector<int>{resources::msg::kEngineInitFailed});
    EXPECT_EQ((impl->*c.shown)(), before + 1);
  }
}
