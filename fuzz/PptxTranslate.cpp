// A whole "translate all" run with the test engine over a deck from anyone:
// the deck opened in a window as the active presentation, every text put in
// brackets with the style kept, the result in a new window or over the
// original, with or without the original text beside it (chosen by the
// input), then saved and opened again. The run may fail on a damaged deck,
// but it must end and report; what it saved must open again and read back
// as it was written.
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "src/engine/AppCommon.h"
#include "engines/fake/FakeEngine.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"
#include "src/support/ErrorList.h"

namespace {

using host::Ptr;

class Caller : public powerpoint::RunCaller {
 public:
  Ptr<host::Application> app;
  Ptr<host::Application> GetApplication() override { return app; }
  void NotifyProgress(std::int64_t, std::int64_t) override {}
  void StartTimeOut(std::int32_t) override {}
  void StopTimeOut() override {}
};

// The run's temporary copies, in the scratch folder cleared before each input.
std::string Copies() { return fuzz::ScratchFolder() + "/copies/"; }

// The engine and the run's settings, the same for every input.
struct Setup {
  fake_engine::FakeEngineSide side;
  fake_engine::FakeImplementation& engine = side.AddImplementation(L"FakeMT");
  powerpoint::PowerPointTranslationProcess process{platform::FromUtf8(Copies())};
  options::TranslationOptionUDT record;

  Setup() {
    support::ErrorList::SetDisplay(false);
    // Nothing waits for a person: a question takes its default answer.
    platform::SetMessageBoxHandler(
        [](const platform::MessageBoxRequest& r) { return platform::DefaultButton(r.style); });
    platform::SetBeepHandler([](unsigned) {});
    fake_engine::FakePair pair;
    pair.engineId = L"en-xx";
    pair.fromLang = L"en";
    pair.toLang = L"xx";
    pair.displayName = L"English - Test";
    engine.AddPair(pair).SetTransform(fake_engine::Transform::Bracket);
    record.EngineGroup = L"FakeMT";
    record.EngineID = L"en-xx";
    record.FromLang = L"en";
    record.ToLang = L"xx";
    record.KeepStyle = 1;
    record.WindowAlign = 1;
  }
};

// Every top-level text of the slides and notes pages, in order.
std::vector<std::wstring> Texts(const Ptr<host::Presentation>& deck) {
  std::vector<std::wstring> texts;
  auto slides = deck->Slides();
  for (int s = 1; s <= slides->Count(); ++s) {
    auto slide = slides->Item(s);
    for (auto shapes : {slide->Shapes(), slide->NotesPage()->Shapes()})
      for (int i = 1; i <= shapes->Count(); ++i) {
        auto shape = shapes->Item(i);
        if (shape->HasTextFrame()) texts.push_back(shape->TextFrame()->TextRange()->Text());
      }
  }
  return texts;
}

void CloseAll(const Ptr<host::Application>& app) {
  auto open = app->Presentations();
  while (open->Count() > 0) open->Item(open->Count())->Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Setup& setup = *new Setup;  // outlives the exit handlers that clear the scratch folder
  fuzz::ClearScratchFolder();
  setup.engine.ClearRecord();
  support::ErrorList::Clear();
  std::filesystem::create_directory(Copies());
  std::wstring source = platform::FromUtf8(fuzz::WriteScratchFile("deck.pptx", data, size));
  std::wstring saved = platform::FromUtf8(fuzz::ScratchFolder() + "/saved.pptx");

  // The choices come from a byte inside the package, which the mutator
  // changes more often than its first or last ones.
  std::uint8_t pick = size ? data[size / 2] : 0;
  options::TranslationOptionUDT record = setup.record;
  record.OutputDestType = pick & 1;
  record.DualPrint = (pick >> 1) & 1;
  record.DualPrintDest = (pick >> 2) % 3;

  Caller caller;
  caller.app = host::pptx::CreateApplication();
  try {
    caller.app->Presentations()->Open(source, false, false, true);
  } catch (const platform::ComError&) {
    return 0;
  }
  bool ok = setup.process.TranslateAll(caller, 0, record);
  const powerpoint::RunOutcome& outcome = setup.process.LastRun();
  if (!ok && outcome.success) fuzz::Fail("a run that failed reports success");
  std::vector<std::wstring> written;
  bool wrote = false;
  if (outcome.translation) {
    try {
      written = Texts(outcome.translation);
      outcome.translation->SaveAs(saved, host::ppSaveAsOpenXMLPresentation);
      wrote = true;
    } catch (const platform::ComError&) {
      // A part the run never touched may still refuse to be written.
    }
  }
  CloseAll(caller.app);
  setup.process.DeleteTemporaryCopies();
  if (!wrote) return 0;

  Ptr<host::Presentation> reopened;
  try {
    reopened = caller.app->Presentations()->Open(saved, true, false, false);
  } catch (const platform::ComError& e) {
    fuzz::Fail("a saved translation does not open again: " + platform::ToUtf8(e.Description()));
  }
  if (Texts(reopened) != written) fuzz::Fail("a saved translation reads back other texts");
  reopened->Close();
  return 0;
}
