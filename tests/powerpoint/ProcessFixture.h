// A translation run against the .pptx host and the fake engine: a deck in a
// scratch folder opened as the active presentation, a bracketing engine
// ("Hello" becomes "[Hello]"), the run's temporary copies in a folder of
// their own, and message boxes caught instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/DeckBuilder.h"
#include "engine/AppCommon.h"
#include "fake/FakeEngine.h"
#include "host/Host.h"
#include "host/pptx/PptxApplication.h"
#include "platform/Strings.h"
#include "platform/System.h"
#include "powerpoint/PowerPointTranslationProcess.h"
#include "support/ErrorList.h"

namespace processtest {

constexpr long P = 12700;  // one point in EMU

inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::filesystem::path CorpusDeck(const char* name) {
  const char* src = std::getenv("PELORANT_TEST_SOURCE_DIR");
  std::filesystem::path root = src ? std::filesystem::path(src) : std::filesystem::current_path();
  return root / ".." / "shared" / "corpus" / "real" / name;
}

// What the run needs from its facade, without a watchdog.
class TestCaller : public powerpoint::RunCaller {
 public:
  host::Ptr<host::Application> app;
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;
  host::Ptr<host::Application> GetApplication() override { return app; }
  void NotifyProgress(std::int64_t current, std::int64_t total) override { progress.push_back({current, total}); }
  void StartTimeOut(std::int32_t) override {}
  void StopTimeOut() override {}
};

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ErrorList::SetDisplay(false);
    ErrorList::Clear();
    previousBoxes = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
      shownMessages.push_back(r.text);
      return 1;
    });
    impl = &side.AddImplementation(L"FakeMT");
    fake_engine::FakePair pair;
    pair.engineId = L"en-xx";
    pair.fromLang = L"en";
    pair.toLang = L"xx";
    pair.displayName = L"English - Test";
    impl->AddPair(pair);
    impl->SetTranslator([](const std::wstring& s) { return L"[" + s + L"]"; });
    record.EngineGroup = L"FakeMT";
    record.EngineID = L"en-xx";
    record.FromLang = L"en";
    record.ToLang = L"xx";
    record.OutputDestType = 1;
    record.WindowAlign = 1;
    process.SetTemporaryFolder(platform::FromUtf8(copies.path.string()) + L"/");
    engine::AppCommon::Instance().SetCancel(false);
  }
  void TearDown() override {
    platform::SetMessageBoxHandler(previousBoxes);
    engine::AppCommon::Instance().SetCancel(false);
    ErrorList::Clear();
  }

  // Writes the deck and opens it in a normal-view window.
  host::Ptr<host::Presentation> Open(const decktest::Deck& deck) {
    decktest::Write(deck, dir / "deck.pptx");
    return OpenFile(dir / "deck.pptx");
  }
  host::Ptr<host::Presentation> OpenFile(const std::filesystem::path& file) {
    deckPath = file;
    if (!app) app = host::pptx::CreateApplication(hostOptions);
    caller.app = app;
    original = app->Presentations()->Open(platform::FromUtf8(file.string()), false, false, true);
    return original;
  }
  host::Ptr<host::DocumentWindow> Window() { return original->Windows()->Item(1); }

  bool RunAll() { return process.TranslateAll(caller, 0, record); }
  bool RunSheet() { return process.TranslateCurrentSlide(caller, 0, record); }
  bool RunSelection() { return process.TranslateSelection(caller, 0, record); }

  const powerpoint::RunOutcome& Outcome() const { return process.LastRun(); }
  std::vector<int> ErrorIds() const {
    std::vector<int> ids;
    for (const auto& e : Outcome().errors) ids.push_back(e.id);
    return ids;
  }
  // Files left in the run's temporary folder.
  std::vector<std::string> CopyFiles() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(copies.path)) out.push_back(e.path().filename().string());
    return out;
  }

  static std::wstring Text(const host::Ptr<host::Presentation>& p, int slide, int shape) {
    return p->Slides()->Item(slide)->Shapes()->Item(shape)->TextFrame()->TextRange()->Text();
  }
  // The notes body placeholder of a slide.
  static host::Ptr<host::Shape> NotesBody(const host::Ptr<host::Presentation>& p, int slide) {
    auto shapes = p->Slides()->Item(slide)->NotesPage()->Shapes();
    for (int i = 1; i <= shapes->Count(); ++i) {
      auto s = shapes->Item(i);
      if (s->Type() == host::msoPlaceholder && s->PlaceholderFormat()->Type() == host::ppPlaceholderBody) return s;
    }
    return nullptr;
  }

  decktest::TempDir dir;
  decktest::TempDir copies;
  fake_engine::FakeEngineSide side;
  fake_engine::FakeImplementation* impl = nullptr;
  host::pptx::ApplicationOptions hostOptions;
  host::Ptr<host::Application> app;
  host::Ptr<host::Presentation> original;
  std::filesystem::path deckPath;
  TestCaller caller;
  options::TranslationOptionUDT record;
  powerpoint::PowerPointTranslationProcess process;
  std::vector<std::wstring> shownMessages;
  platform::MessageBoxHandler previousBoxes;
};

// Three slides of two, one and one text boxes.
inline decktest::Deck ThreeSlides() {
  using decktest::Sp;
  decktest::Deck d;
  d.slides = {Sp(2, "A1", 0, 0, 100 * P, 40 * P, "Alpha", true) + Sp(3, "A2", 0, 50 * P, 100 * P, 40 * P, "Beta", true),
              Sp(2, "B1", 0, 0, 100 * P, 40 * P, "Gamma", true), Sp(2, "C1", 0, 0, 100 * P, 40 * P, "Delta", true)};
  return d;
}

}  // namespace processtest
