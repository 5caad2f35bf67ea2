// One deck in a scratch folder opened in the .pptx host, with the fake
// engine behind both ways in: a run context over a hidden source and a
// target copy (for the text functions), and the whole translation process
// over the deck as the active presentation (its temporary copies in a folder
// of their own, message boxes caught instead of shown).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "src/engine/AppCommon.h"
#include "engines/fake/FakeEngine.h"
#include "tests/host/DeckBuilder.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"
#include "src/powerpoint/ShapeText.h"
#include "src/support/ErrorList.h"
#include "tests/common/MessageBoxes.h"

namespace pptest {

constexpr long P = 12700;  // EMU per point

// One paragraph of runs, each (text, run attributes such as b="1").
inline std::string Para(const std::vector<std::pair<std::string, std::string>>& runs) {
  std::string p = "<a:p>";
  for (const auto& [text, attrs] : runs) p += "<a:r><a:rPr lang=\"en-US\" " + attrs + "/><a:t>" + text + "</a:t></a:r>";
  return p + "</a:p>";
}

// A shape at the slide's corner holding the given a:p elements; ph makes it
// a placeholder (the p:ph attributes).
inline std::string Box(int id, const std::string& name, const std::string& paragraphs, long cx = 400 * P,
                       long cy = 200 * P, const std::string& bodyPr = "<a:bodyPr/>", const std::string& ph = "") {
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"" + std::to_string(id) + "\" name=\"" + name + "\"/><p:cNvSpPr/><p:nvPr>" +
         (ph.empty() ? "" : "<p:ph " + ph + "/>") + "</p:nvPr></p:nvSpPr><p:spPr>" + decktest::Xfrm(0, 0, cx, cy) +
         "</p:spPr><p:txBody>" + bodyPr + "<a:lstStyle/>" + paragraphs + "</p:txBody></p:sp>";
}

// The frame of a group whose children keep their own coordinates.
constexpr const char* kGroupXfrm =
    "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"2540000\" cy=\"2540000\"/><a:chOff x=\"0\" y=\"0\"/>"
    "<a:chExt cx=\"2540000\" cy=\"2540000\"/>";

// Three slides of two, one and one text boxes.
inline decktest::Deck ThreeSlides() {
  using decktest::Sp;
  decktest::Deck d;
  d.slides = {Sp(2, "A1", 0, 0, 100 * P, 40 * P, "Alpha", true) + Sp(3, "A2", 0, 50 * P, 100 * P, 40 * P, "Beta", true),
              Sp(2, "B1", 0, 0, 100 * P, 40 * P, "Gamma", true), Sp(2, "C1", 0, 0, 100 * P, 40 * P, "Delta", true)};
  return d;
}

inline std::wstring W(const std::filesystem::path& p) { return platform::FromUtf8(p.string()); }
inline std::wstring Bracket(const std::wstring& s) { return L"[" + s + L"]"; }

// What the run needs from its facade, without a watchdog.
class TestCaller : public powerpoint::RunCaller {
 public:
  host::Ptr<host::Application> app;
  std::vector<std::pair<std::int64_t, std::int64_t>> progress;
  options::TranslatedParts parts;
  host::Ptr<host::Application> GetApplication() override { return app; }
  options::TranslatedParts PartsToTranslate() const override { return parts; }
  void NotifyProgress(std::int64_t current, std::int64_t total) override { progress.push_back({current, total}); }
  void StartTimeOut(std::int32_t) override {}
  void StopTimeOut() override {}
};

// The fake engine upper-cases what it is given unless a test says otherwise.
class PowerPointTest : public ::testing::Test {
 protected:
  // Runs arrange their windows on screen, the system's when absent.
  explicit PowerPointTest(std::optional<platform::ScreenInfo> screen = {})
      : process(W(copies.path()) + L"/", {}, screen) {}

  void SetUp() override {
    support::ErrorList::SetDisplay(false);
    support::ErrorList::Clear();
    impl = &side.AddImplementation(L"FakeMT");
    impl->AddPair({L"en-ja", L"en", L"ja", 0x9, L"English - Test", L"Fake MT", L"Fake", {}});
    impl->AddPair({L"en-xx", L"en", L"xx", engine_server::kPairFlagTranslate, L"English - Test", L"", L"", {}});
    ASSERT_TRUE(eng.OpenEngine(L"FakeMT", L"en-ja", L""));
    record.EngineGroup = L"FakeMT";
    record.EngineID = L"en-xx";
    record.FromLang = L"en";
    record.ToLang = L"xx";
    record.OutputDestType = 1;
    record.WindowAlign = 1;
    engine::AppCommon::Instance().SetCancel(false);
  }
  void TearDown() override {
    engine::AppCommon::Instance().SetCancel(false);
    support::ErrorList::Clear();
  }

  // The text functions' way in: the deck's slides written and opened as two
  // copies, as a run has them: a hidden source and a target in a window.
  void OpenCopies(const std::vector<std::string>& slides, int version = 16) {
    decktest::Deck d;
    d.slides = slides;
    decktest::Write(d, dir / "deck.pptx");
    OpenCopiesOf(dir / "deck.pptx", version);
  }
  void OpenCopiesOf(const std::filesystem::path& deck, int version) {
    host::pptx::ApplicationOptions options;
    options.version = std::to_wstring(version) + L".0";
    app = host::pptx::CreateApplication(options);
    auto first = app->Presentations()->Open(W(deck), false, false, false);
    first->SaveCopyAs(W(dir / "work.pptx"), host::ppSaveAsOpenXMLPresentation, false);
    first->SaveCopyAs(W(dir / "tran.pptx"), host::ppSaveAsOpenXMLPresentation, false);
    first->Close();
    work = app->Presentations()->Open(W(dir / "work.pptx"), false, false, false);
    tran = app->Presentations()->Open(W(dir / "tran.pptx"), false, false, true);
    prop.Application = app;
  }

  host::Ptr<host::Shape> Source(const std::string& name) { return Shape(work, name); }
  host::Ptr<host::Shape> Target(const std::string& name) { return Shape(tran, name); }
  static host::Ptr<host::Shape> Shape(const host::Ptr<host::Presentation>& p, const std::string& name) {
    return p->Slides()->Item(1)->Shapes()->Item(platform::FromUtf8(name));
  }
  host::Ptr<host::TextRange2> TargetText(const std::string& name) { return Target(name)->TextFrame2()->TextRange(); }
  // The first occurrence of piece in the target's text.
  host::Ptr<host::TextRange2> TargetChars(const std::string& name, const std::wstring& piece) {
    auto all = TargetText(name);
    size_t at = all->Text().find(piece);
    EXPECT_NE(at, std::wstring::npos) << platform::ToUtf8(piece);
    return all->Characters(static_cast<int>(at) + 1, static_cast<int>(piece.size()));
  }
  bool Translate(const std::string& name, bool useSelection = false, bool paragraphMode = false) {
    return powerpoint::TranslateShapeTextRange(ctx, Source(name), Target(name), useSelection, paragraphMode);
  }
  std::vector<std::wstring> SentTexts() const {
    std::vector<std::wstring> out;
    for (auto& c : impl->Translations()) out.push_back(c.text);
    return out;
  }

  // The whole run's way in: the deck written and opened in a normal-view
  // window of a host of its own.
  host::Ptr<host::Presentation> Open(const decktest::Deck& deck) {
    decktest::Write(deck, dir / "deck.pptx");
    return OpenFile(dir / "deck.pptx");
  }
  host::Ptr<host::Presentation> OpenFile(const std::filesystem::path& file) {
    app = host::pptx::CreateApplication();
    caller.app = app;
    original = app->Presentations()->Open(W(file), false, false, true);
    return original;
  }
  host::Ptr<host::DocumentWindow> Window() { return original->Windows()->Item(1); }

  bool RunAll() { return process.TranslateAll(caller, 0, record); }
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
    for (const auto& e : std::filesystem::directory_iterator(copies.path())) out.push_back(e.path().filename().string());
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

  testsupport::TempDir dir;
  testsupport::TempDir copies;
  fake_engine::FakeEngineSide side;
  fake_engine::FakeImplementation* impl = nullptr;
  engine::Engine eng{{{}, {}, [](const std::wstring&, std::vector<std::wstring>*) { return false; }}};
  engine::AppCommon appCommon{eng};
  host::Ptr<host::Application> app;
  host::Ptr<host::Presentation> work, tran, original;
  powerpoint::PPTTranProp prop;
  powerpoint::RunErrors errors;
  powerpoint::RunStatistics stats;
  powerpoint::RunContext ctx{prop, errors, stats, appCommon};
  options::TranslationOptionUDT& o = prop.TranOption;
  TestCaller caller;
  options::TranslationOptionUDT record;
  powerpoint::PowerPointTranslationProcess process;
  testsupport::MessageBoxes boxes;
};

// Whole runs, with an engine that brackets what it is given ("Hello" becomes "[Hello]").
class RunTest : public PowerPointTest {
 protected:
  using PowerPointTest::PowerPointTest;
  void SetUp() override {
    PowerPointTest::SetUp();
    impl->SetTranslator(Bracket);
  }
  // Brackets as before, and cancels the run at the first text `when` holds for.
  void CancelWhen(std::function<bool(const std::wstring&)> when) {
    impl->SetTranslator([when](const std::wstring& s) {
      if (when(s)) engine::AppCommon::Instance().SetCancel(true);
      return Bracket(s);
    });
  }
};

}  // namespace pptest
