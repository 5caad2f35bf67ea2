#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <set>

#include "src/dialogs/CDialogProgress.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/platform/Display.h"
#include "src/platform/MessagePump.h"
#include "src/powerpoint/PowerPointTranslationUtil.h"
#include "src/powerpoint/TemporaryCopies.h"
#include "src/support/ResourceModule.h"
#include "tests/dialogs/ScriptedViews.h"
#include "tests/platform/TestSupport.h"
#include "tests/powerpoint/PowerPointFixture.h"

using namespace pptest;
using decktest::Sp;
using powerpoint::WindowRect;

TEST_F(RunTest, RunsThatCannotStartStopBeforeAnyCopy) {
  struct Case { const char* what; std::function<void()> prepare; int error; bool selection = false; };
  decktest::Deck locked = ThreeSlides();
  locked.presentationExtra =
      "<p:modifyVerifier cryptProviderType=\"rsaAES\" cryptAlgorithmClass=\"hash\" cryptAlgorithmType=\"typeAny\" "
      "cryptAlgorithmSid=\"14\" spinCount=\"100000\" saltData=\"AA==\" hashData=\"AA==\"/>";
  auto inView = [&](int view) { return [&, view] { Open(ThreeSlides())->Windows()->Item(1)->SetViewType(view); }; };
  for (const Case& c : {Case{"no slides", [&] { Open(decktest::Deck{}); }, 2001},
                        Case{"no selection", [&] {
                               Open(ThreeSlides());
                               Window()->Panes()->Item(1)->Activate();
                             },
                             2002, true},
                        Case{"slide show", [&] {
                               auto deck = Open(ThreeSlides());
                               host::pptx::RunSlideShow(app, deck);
                             },
                             2122},
                        Case{"final", [&] { Open(ThreeSlides())->SetFinal(true); }, 2123},
                        Case{"locked", [&] { Open(locked); }, 2124},
                        Case{"slide master", inView(host::ppViewSlideMaster), 2121},
                        Case{"notes master", inView(host::ppViewNotesMaster), 2121}}) {
    SCOPED_TRACE(c.what);
    c.prepare();
    EXPECT_FALSE(c.selection ? RunSelection() : RunAll());
    // The error listed, no copy left, only the deck open.
    EXPECT_EQ(std::tuple(ErrorIds(), CopyFiles().size(), app->Presentations()->Count()),
              std::tuple(std::vector<int>{c.error}, 0u, 1));
  }
}

TEST_F(RunTest, CurrentSlideWithTheThumbnailPaneAndNothingSelectedIsTheSlideShown) {
  Open(ThreeSlides());
  Window()->View()->GotoSlide(2);
  Window()->Panes()->Item(1)->Activate();
  ASSERT_TRUE(process.TranslateCurrentSlide(caller, 0, record));
  auto tran = Outcome().translation;
  EXPECT_EQ(std::tuple(Text(tran, 1, 1), Text(tran, 2, 1), Text(tran, 3, 1)),
            std::tuple(L"Alpha", L"[Gamma]", L"Delta"));
}

TEST_F(RunTest, SelectionRunsChangeOnlyWhatIsSelected) {
  // Characters of a table cell, and no other cell.
  decktest::Deck table;
  table.slides = {decktest::Table(2, "T", 2, {decktest::Cell("One") + decktest::Cell("Two"),
                                              decktest::Cell("Three") + decktest::Cell("Four")})};
  Open(table);
  original->Slides()->Item(1)->Shapes()->Item(1)->Table()->Cell(2, 1)->Shape()->TextFrame()->TextRange()
      ->Characters(2, 3)->Select();
  ASSERT_TRUE(RunSelection());
  auto cells = Outcome().translation->Slides()->Item(1)->Shapes()->Item(1)->Table();
  std::vector<std::wstring> texts;
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 2; ++c) texts.push_back(cells->Cell(r, c)->Shape()->TextFrame()->TextRange()->Text());
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"One", L"Two", L"T[hre]e", L"Four"}));

  // Slides chosen in the slide sorter, notes pages included.
  Open(ThreeSlides());
  NotesBody(original, 3)->TextFrame()->TextRange()->SetText(L"Notes");
  Window()->SetViewType(host::ppViewSlideSorter);
  original->Slides()->Range(std::vector<int>{3, 1})->Select();
  ASSERT_TRUE(RunSelection());
  auto tran = Outcome().translation;
  EXPECT_EQ(std::tuple(Text(tran, 1, 2), Text(tran, 2, 1), Text(tran, 3, 1),
                       NotesBody(tran, 3)->TextFrame()->TextRange()->Text()),
            std::tuple(L"[Beta]", L"Gamma", L"[Delta]", L"[Notes]"));
  // The translation window shows the translated slides selected again.
  auto shown = tran->Windows()->Item(1);
  EXPECT_EQ(std::tuple(shown->ViewType(), shown->Selection()->SlideRange()->Count()),
            std::tuple(host::ppViewSlideSorter, 2));
}

// A selected shape or characters of one are found, also where two shapes
// share a name.
TEST_F(RunTest, SelectedShapesAndCharactersAreFoundAlsoWhenTwoShareAName) {
  decktest::Deck twins;
  twins.slides = {decktest::Sp(2, "Same", 0, 0, 100 * P, 40 * P, "Alpha", true) +
                  decktest::Sp(3, "Same", 0, 50 * P, 100 * P, 40 * P, "Beta", true)};
  auto shape = [&](int i) { return original->Slides()->Item(1)->Shapes()->Item(i); };
  struct Case { const char* what; std::function<void()> select; const wchar_t* first; const wchar_t* second; };
  const Case cases[] = {
      {"the second twin", [&] { shape(2)->Select(true); }, L"Alpha", L"[Beta]"},
      {"both twins", [&] { original->Slides()->Item(1)->Shapes()->Range(std::vector<int>{1, 2})->Select(); },
       L"[Alpha]", L"[Beta]"},
      {"characters of the second twin", [&] { shape(2)->TextFrame()->TextRange()->Characters(2, 2)->Select(); },
       L"Alpha", L"B[et]a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Open(twins);
    c.select();
    ASSERT_TRUE(RunSelection());
    EXPECT_EQ(std::tuple(Text(Outcome().translation, 1, 1), Text(Outcome().translation, 1, 2)),
              std::tuple(c.first, c.second));
  }
}

TEST_F(RunTest, TheNextRunReadsTheWindowItIsStartedFrom) {
  Open(ThreeSlides());
  ASSERT_TRUE(RunAll());
  host::Ptr<host::Presentation> first = Outcome().translation;
  ASSERT_EQ(app->ActiveWindow()->Presentation()->FullName(), first->FullName());
  // The original window keeps a selection of its own that must not be read.
  original->Slides()->Item(1)->Shapes()->Item(1)->Select(true);
  first->Windows()->Item(1)->Activate();
  first->Slides()->Item(1)->Shapes()->Item(2)->Select(true);
  ASSERT_TRUE(RunSelection());
  EXPECT_EQ(std::tuple(Text(Outcome().translation, 1, 1), Text(Outcome().translation, 1, 2)),
            std::tuple(L"[Alpha]", L"[[Beta]]"));
}

// A cancel on a slide or in the notes leaves the rest untouched, is no
// error, and stops before the next page: each page walked reports its
// progress first (the notes come after the slides). The working copy goes;
// the translation's, a macro-enabled file, is handed on and kept while its
// presentation is open.
TEST_F(RunTest, ACancelLeavesTheRestUntouchedAndIsNoError) {
  struct Case { const wchar_t* cancelOn; bool slidesDone; size_t pages; };
  for (const Case& c : {Case{L"Beta", false, 1}, Case{L"First notes", true, 4}}) {
    SCOPED_TRACE(platform::ToUtf8(c.cancelOn));
    engine::AppCommon::Instance().SetCancel(false);
    Open(ThreeSlides());
    NotesBody(original, 1)->TextFrame()->TextRange()->SetText(L"First notes");
    NotesBody(original, 2)->TextFrame()->TextRange()->SetText(L"Second notes");
    caller.progress.clear();
    CancelWhen([&c](const std::wstring& s) { return s == c.cancelOn; });
    ASSERT_TRUE(RunAll());
    // Cancelled, errors listed, messages shown.
    EXPECT_EQ(std::tuple(Outcome().cancelled, ErrorIds().size(), boxes.requests.size()), std::tuple(true, 0u, 0u));
    auto tran = Outcome().translation;
    auto notes = [&tran](int slide) { return NotesBody(tran, slide)->TextFrame()->TextRange()->Text(); };
    EXPECT_EQ(std::tuple(Text(tran, 1, 1), Text(tran, 2, 1), Text(tran, 3, 1), notes(1), notes(2),
                         caller.progress.size()),
              std::tuple(L"[Alpha]", c.slidesDone ? L"[Gamma]" : L"Gamma", c.slidesDone ? L"[Delta]" : L"Delta",
                         L"First notes", L"Second notes", c.pages));
    process.DeleteTemporaryCopies();
    ASSERT_EQ(CopyFiles().size(), 1u);
    EXPECT_EQ(W(copies.path() / CopyFiles()[0]), Outcome().translationCopyPath);
    EXPECT_TRUE(Outcome().translationCopyPath.ends_with(L".pptm"));
    tran->Close();
    process.DeleteTemporaryCopies();
  }
}

// An engine that fails to open leaves the translation window and its copy;
// a cancel while it opens (the user's, or the watchdog's) is a cancelled
// run: no error, and no untranslated copy left open.
TEST_F(RunTest, AnEngineThatFailsOrIsCancelledWhileItOpens) {
  const fake_engine::Behaviour cancelled{.hang = true, .hold = [] { engine::AppCommon::Instance().SetCancel(true); }};
  for (bool cancel : {true, false}) {
    SCOPED_TRACE(cancel);
    engine::AppCommon::Instance().SetCancel(false);
    impl->Script(fake_engine::Operation::GetEngine, cancel ? cancelled : fake_engine::Behaviour{.callResult = E_FAIL});
    Open(ThreeSlides());
    const bool succeeded = RunAll();
    // Succeeded, cancelled, the last error listed, presentations open, a copy handed on.
    EXPECT_EQ(std::tuple(succeeded, Outcome().cancelled, ErrorIds().empty() ? 0 : ErrorIds().back(),
                         app->Presentations()->Count(), Outcome().translationCopyPath.empty()),
              std::tuple(cancel, cancel, cancel ? 0 : 1251, cancel ? 1 : 2, cancel));
    if (cancel) process.DeleteTemporaryCopies();
    EXPECT_EQ(CopyFiles().size(), cancel ? 0u : 1u);
  }
}

TEST_F(RunTest, SegmentsTheEngineFailedOnEndTheRunWithOneMessageThatCountsThem) {
  impl->Script(fake_engine::Operation::Translate, {.status = 3, .errorCode = 30006, .times = 2});
  Open(ThreeSlides());
  ASSERT_TRUE(RunAll());
  ASSERT_EQ(ErrorIds(), std::vector<int>{1507});
  EXPECT_EQ(std::tuple(Outcome().errors[0].text, Outcome().stats.segmentsLeft.at(L"engine failed")),
            std::tuple(support::LoadText(1507) + L"\r\n\r\n" + support::LoadText(5105) + L" 2", 2));
}

TEST_F(RunTest, AHostFailureInsideTheWalkIsReportedWithTheWalksMessage) {
  Open(ThreeSlides());
  // Closing the translation under the walk's feet makes its next host call
  // throw. The engine answers "Alpha" only once the close has run, which the
  // host does while it waits for that answer: so the first shape is never
  // written, whatever the machine's load.
  const platform::MessageThreadId ui = platform::CurrentMessageThread();
  host::Ptr<host::Application> host = app;
  auto closed = std::make_shared<std::promise<void>>();
  impl->SetTranslator([ui, host, closed](const std::wstring& s) {
    if (s == L"Alpha") {
      platform::PostThreadTask(ui, [host, closed] {
        auto all = host->Presentations();
        all->Item(all->Count())->Close();
        closed->set_value();
      });
      EXPECT_EQ(closed->get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    }
    return L"[" + s + L"]";
  });
  EXPECT_FALSE(RunAll());
  EXPECT_EQ(ErrorIds(), std::vector<int>{1505});
  // The error says where the walk stopped.
  EXPECT_EQ(std::tuple(Outcome().errors[0].where.slide, Outcome().errors[0].where.shape), std::tuple(1, L"A1"));
  // One message shown, and only the original open.
  EXPECT_EQ(std::tuple(boxes.requests.size(), app->Presentations()->Count()), std::tuple(1u, 1));
  // Neither copy is open any more, so neither file is kept.
  process.DeleteTemporaryCopies();
  EXPECT_TRUE(CopyFiles().empty());
}

TEST(TemporaryCopyNames, CopiesMadeInQuickSuccessionNeverShareAName) {
  testsupport::TempDir folder;
  const std::wstring base = platform::FromUtf8(folder.path().string()) + L"/";
  std::set<std::wstring> names;
  for (int i = 0; i < 50; ++i) {
    std::wstring path = powerpoint::TemporaryCopyPath(base, L".pptm");
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(names.insert(path).second);
    std::ofstream(platform::ToUtf8(path)) << "x";
  }
  // yyyymmdd_hhmmss_N.pptm
  const std::wstring name = names.begin()->substr(base.size());
  EXPECT_EQ(std::tuple(name[8], name[15]), std::tuple(L'_', L'_')) << platform::ToUtf8(name);
}

TEST_F(RunTest, TheProgressDialogFollowsTheRunFromPreparationToTheLastNotesPage) {
  auto seen = std::make_shared<dialogtest::ProgressRecord>();
  process.SetProgressViewFactory([seen] { return std::make_unique<dialogtest::RecordingProgressView>(seen); });
  record.DisplaysProgressBar = 1;
  Open(ThreeSlides());
  ASSERT_TRUE(RunAll());
  platformtest::ReturnsWithin(std::chrono::seconds(60), "the progress dialog's thread",
                              [] { dialogs::WaitForProgressDialogThread(); });
  EXPECT_EQ(dialogs::CurrentProgressDialog(), nullptr);
  std::lock_guard<std::mutex> g(seen->lock);
  // Hidden, at the end.
  EXPECT_EQ(std::tuple(seen->hides >= 1, seen->percent), std::tuple(true, 100));
  const auto& statuses = seen->statuses;
  for (int id : {5052, 5056, 5057})
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), support::LoadText(id)), statuses.end()) << id;
  EXPECT_TRUE(caller.progress.empty());
}

class RunContextTest : public PowerPointTest {};

// Each report is listed in both lists and shown exactly once, whether or not
// the error list shows its entries itself.
TEST_F(RunContextTest, RunErrorsAreListedAndShownOnce) {
  const auto& shown = boxes.requests;
  for (bool display : {false, true}) {
    support::ErrorList::SetDisplay(display);
    ctx.ReportRunError(1505);
  }
  support::ErrorList::SetDisplay(false);
  ASSERT_EQ(std::tuple(errors.size(), support::ErrorList::GetCount(), shown.size()), std::tuple(2u, 2, 2u));
  ASSERT_FALSE(support::LoadText(1505).empty());
  EXPECT_EQ(std::tuple(errors[0].id, errors[0].category, errors[0].text, shown[0].text, shown[0].style & 0xF0u),
            std::tuple(1505, 1, support::LoadText(1505), support::LoadText(1505), static_cast<unsigned>(MB_ICONERROR)));
}

TEST(WindowSplit, HalvesByRoundingSoTheSecondTakesTheRest) {
  struct Case { int align; WindowRect area, first, second; };
  const WindowRect area{7.5, 12, 1001, 701};
  for (const Case& c : {
           Case{1, area, {7.5, 12, 501, 701}, {508.5, 12, 500, 701}},
           Case{2, area, {7.5, 12, 1001, 351}, {7.5, 363, 1001, 350}},
           Case{1, {0, 0, 1000.5, 10}, {0, 0, 500, 10}, {500, 0, 500.5, 10}},
           Case{3, area, area, area},
       }) {
    SCOPED_TRACE(c.align);
    WindowRect first, second;
    powerpoint::PowerPointTranslationUtil::SplitArea(c.area, c.align, &first, &second);
    EXPECT_EQ(std::tuple(first, second), std::tuple(c.first, c.second));
  }
}

// 1921 x 1040 pixels from (10, 20) at 96 x 120 dpi: 1440.75 x 624 points
// from (7.5, 12).
constexpr platform::ScreenInfo kScreen{{10, 20, 1921, 1040}, 96, 120};

class WindowArrangement : public RunTest {
 protected:
  WindowArrangement() : RunTest(kScreen) {}
  static WindowRect Geometry(const host::Ptr<host::Presentation>& p) {
    auto w = p->Windows()->Item(1);
    return WindowRect{w->Left(), w->Top(), w->Width(), w->Height()};
  }
};

// The source left of or above the translation; without arrangement the
// source stays as it was and the translation only comes forward.
TEST_F(WindowArrangement, SourceLeftOrAboveTranslationRightOrBelow) {
  struct Case { int align; std::optional<WindowRect> orig, tran; };
  for (const Case& c : {Case{1, WindowRect{7.5, 12, 720, 624}, WindowRect{727.5, 12, 720.75, 624}},
                        Case{2, WindowRect{7.5, 12, 1440.75, 312}, WindowRect{7.5, 324, 1440.75, 312}},
                        Case{0, std::nullopt, std::nullopt}}) {
    SCOPED_TRACE(c.align);
    record.WindowAlign = c.align;
    Open(ThreeSlides());
    const WindowRect before = Geometry(original);
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(Geometry(original), c.orig.value_or(before));
    if (c.tran) {
      EXPECT_EQ(Geometry(Outcome().translation), *c.tran);
    }
    EXPECT_EQ(original->Windows()->Item(1)->WindowState(), c.align ? host::ppWindowNormal : host::ppWindowMaximized);
    EXPECT_TRUE(Outcome().translation->Windows()->Item(1)->Active());
  }
}

namespace {

std::string AutoFit(std::string shape) {
  const std::string plain = "<a:bodyPr/>";
  return shape.replace(shape.find(plain), plain.size(), "<a:bodyPr><a:spAutoFit/></a:bodyPr>");
}

// Texts of the drawn shapes of a SmartArt frame.
std::vector<std::wstring> DrawnTexts(const host::Ptr<host::Shape>& frame) {
  std::vector<std::wstring> out;
  auto items = frame->GroupItems();
  for (int i = 1; i <= items->Count(); ++i) {
    auto item = items->Item(i);
    if (item->HasTextFrame() && item->TextFrame()->HasText()) out.push_back(item->TextFrame()->TextRange()->Text());
  }
  return out;
}

}  // namespace

// A top-level SmartArt frame is walked like a group. Its shapes draw their
// text in boxes of their own (dsp:txXfrm), here bands across circles:
// fitting measures against those boxes, and the sizes it sets reach the
// data model the graphic is rebuilt from.
TEST_F(RunTest, SmartArtIsWalkedLikeAGroupAndFittedToTheBoxesItDraws) {
  record.KeepStyle = 1;
  auto fourTimes = [](const std::wstring& s) { return s + L" " + s + L" " + s + L" " + s; };
  impl->SetTranslator(fourTimes);
  OpenFile(testsupport::CorpusDeck("poi__smartart-simple.pptx"));
  auto frame = [](const host::Ptr<host::Presentation>& p) { return p->Slides()->Item(1)->Shapes()->Item(1); };
  ASSERT_EQ(frame(original)->Type(), host::msoSmartArt);
  std::vector<std::wstring> texts = DrawnTexts(frame(original));
  for (std::wstring& t : texts) t = fourTimes(t);
  ASSERT_TRUE(RunAll());
  EXPECT_EQ(DrawnTexts(frame(Outcome().translation)), texts);
  EXPECT_TRUE(Outcome().stats.overflowing.empty());
  const auto saved = dir / "out.pptx";
  Outcome().translation->SaveCopyAs(W(saved), host::ppSaveAsOpenXMLPresentation, false);
  auto pkg = host::pptx::Package::Open(saved);
  pugi::xml_node tree = pkg->Xml("ppt/diagrams/drawing1.xml").document_element().child("dsp:spTree");
  auto items = frame(Outcome().translation)->GroupItems();
  int i = 0, fitted = 0;
  for (pugi::xml_node sp : tree.children("dsp:sp")) {
    auto text = items->Item(++i)->TextFrame2()->TextRange();
    if (text->Length() == 0) continue;
    // The deck's text boxes have no insets.
    const float room = sp.child("dsp:txXfrm").child("a:ext").attribute("cy").as_float() / P;
    EXPECT_LE(text->BoundHeight(), room + 0.01f) << i;
    EXPECT_LT(text->Font()->Size(), 11.0f) << i;
    ++fitted;
  }
  EXPECT_EQ(fitted, 3);
  auto sizes = [](pugi::xml_node root) {
    std::vector<std::string> out;
    for (pugi::xpath_node r : root.select_nodes("//a:r/a:rPr")) out.push_back(r.node().attribute("sz").value());
    std::sort(out.begin(), out.end());
    return out;
  };
  EXPECT_EQ(sizes(pkg->Xml("ppt/diagrams/data1.xml").document_element()), sizes(tree));
}

// A shape of no kind with a handler of its own that holds text, such as a
// line, goes to the text-box handler. (The other kinds: the corpus's e2e.)
TEST_F(RunTest, ALineHoldingTextIsTranslated) {
  decktest::Deck d;
  d.slides = {Sp(2, "Line", 0, 0, 50 * P, 0, "Along", false, "line")};
  Open(d);
  ASSERT_EQ(original->Slides()->Item(1)->Shapes()->Item(1)->Type(), host::msoLine);
  ASSERT_TRUE(RunAll());
  EXPECT_EQ(Text(Outcome().translation, 1, 1), L"[Along]");
}

TEST_F(RunTest, ShapesDoubleTheirHeightOnlyWithDualPrintAndExpandingBothOn) {
  struct Case { int dualPrint, expand; float height; };
  for (const Case& c : {Case{0, 0, 40}, Case{1, 0, 40}, Case{0, 1, 40}, Case{1, 1, 80}}) {
    SCOPED_TRACE(testing::Message() << c.dualPrint << c.expand);
    record.DualPrint = c.dualPrint;
    record.DualPrintExpandShape = c.expand;
    Open(ThreeSlides());
    ASSERT_TRUE(RunAll());
    EXPECT_FLOAT_EQ(Outcome().translation->Slides()->Item(2)->Shapes()->Item(1)->Height(), c.height);
  }
}

TEST_F(RunTest, TheFollowSwitchGoesOnWhereShapesCannotBeSelected) {
  record.DisplaysDocument = 1;
  // In place the translation window shows the slide sorter, where no shape
  // can be selected; in a new window a hidden shape cannot be.
  for (int dest : {0, 1}) {
    SCOPED_TRACE(dest);
    record.OutputDestType = dest;
    Open(ThreeSlides());
    original->Slides()->Item(1)->Shapes()->Item(2)->SetVisible(false);
    ASSERT_TRUE(RunAll());
    EXPECT_EQ(std::tuple(ErrorIds().size(), Text(Outcome().translation, 1, 2), Text(Outcome().translation, 3, 1)),
              std::tuple(0u, L"[Beta]", L"[Delta]"));
  }
}

TEST_F(RunTest, KeepStyleGivesEveryFrameItsAutoSizeBack) {
  record.KeepStyle = 1;
  decktest::Deck d;
  d.slides = {AutoFit(Sp(2, "Fit", 0, 0, 100 * P, 40 * P, "Alpha", true)) +
                  decktest::Group(3, "G", kGroupXfrm, AutoFit(Sp(4, "In", 0, 0, 50 * P, 20 * P, "Inner", true))),
              AutoFit(Sp(2, "Later", 0, 0, 100 * P, 40 * P, "Omega", true))};
  auto autoSize = [](const host::Ptr<host::Shape>& s) { return s->TextFrame()->AutoSize(); };

  // Translated, with text boxes ignored (skipped shapes), and cancelled on
  // the first shape.
  struct Case { int ignore; bool cancel; };
  for (const Case& c : {Case{0, false}, Case{1, false}, Case{0, true}}) {
    SCOPED_TRACE(testing::Message() << c.ignore << c.cancel);
    engine::AppCommon::Instance().SetCancel(false);
    record.IgnoresShape = c.ignore;
    CancelWhen([&c](const std::wstring&) { return c.cancel; });
    Open(d);
    ASSERT_TRUE(RunAll());
    auto slide = Outcome().translation->Slides()->Item(1)->Shapes();
    EXPECT_EQ(std::tuple(autoSize(slide->Item(1)), Text(Outcome().translation, 2, 1)),
              std::tuple(host::ppAutoSizeShapeToFitText, c.cancel || c.ignore ? L"Omega" : L"[Omega]"));
    if (c.cancel) continue;
    EXPECT_EQ(std::tuple(Text(Outcome().translation, 1, 1), autoSize(slide->Item(2)->GroupItems()->Item(1))),
              std::tuple(c.ignore ? L"Alpha" : L"[Alpha]", host::ppAutoSizeShapeToFitText));
  }
}

// The walk announces every text before it asks for it, in the order it asks,
// across shapes and pages: placeholders by paragraph, text boxes, groups,
// tables, SmartArt, notes and comments.
TEST_F(RunTest, TheWalkAnnouncesEveryTextInTheOrderItAsksForIt) {
  for (const char* deck : {"poi__45545_Comment.pptx", "poi__stress013.pptx", "poi__smartart-simple.pptx"}) {
    SCOPED_TRACE(deck);
    impl->ClearRecord();
    OpenFile(testsupport::CorpusDeck(deck));
    ASSERT_TRUE(RunAll());
    std::vector<std::wstring> announced, asked;
    for (const auto& call : impl->AheadCalls()) announced.insert(announced.end(), call.begin(), call.end());
    for (const auto& call : impl->Translations()) asked.push_back(call.text);
    EXPECT_GT(asked.size(), 5u);
    EXPECT_EQ(announced, asked);
    EXPECT_EQ(std::tuple(impl->AnsweredAhead(), impl->DroppedAhead()), std::tuple(static_cast<int>(asked.size()), 0));
  }
}

TEST_F(RunTest, ACancelDropsWhatTheWalkAnnouncedAndAnnouncesNoMore) {
  OpenFile(testsupport::CorpusDeck("poi__stress013.pptx"));
  int asked = 0;
  CancelWhen([&asked](const std::wstring&) { return ++asked == 3; });
  ASSERT_TRUE(RunAll());
  int announced = 0;
  for (const auto& call : impl->AheadCalls()) announced += static_cast<int>(call.size());
  // Cancelled, three answered of more announced.
  EXPECT_EQ(std::tuple(Outcome().cancelled, impl->AnsweredAhead(), announced > 3), std::tuple(true, 3, true));
  EXPECT_EQ(impl->DroppedAhead(), announced - 3) << "every text announced and not asked for is dropped";
}

// What is announced and not asked for yet stays within the walk's bound, a
// page too long for it included, while the walk still looks past the page
// at hand; every sentence is translated all the same.
TEST_F(RunTest, WhatTheWalkAnnouncesStaysWithinItsBound) {
  auto sentences = [](int slide, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "Slide " + std::to_string(slide) + " line " + std::to_string(i) + ". ";
    return text;
  };
  powerpoint::PowerPointTranslationProcess narrow{W(copies.path()) + L"/", {64, 256, 3}};
  decktest::Deck d;
  d.slides.push_back(Sp(2, "Long", 0, 0, 400 * P, 300 * P, sentences(1, 300)));
  // Two pages of 32 fill the wanted 64 exactly: the walk stops looking there.
  for (int s = 2; s <= 8; ++s) d.slides.push_back(Sp(2, "Box", 0, 0, 400 * P, 300 * P, sentences(s, 32)));
  Open(d);
  ASSERT_TRUE(narrow.TranslateAll(caller, 0, record));
  EXPECT_EQ(impl->Translations().size(), 524u);
  EXPECT_LE(impl->MostAhead(), 256);
  ASSERT_GE(impl->AheadCalls().size(), 2u);
  EXPECT_EQ(impl->AheadCalls()[1].front(), L"Slide 2 line 0.");
  EXPECT_EQ(impl->AheadCalls()[1].back().substr(0, 8), L"Slide 3 ") << "the pages after the one at hand go too";
  EXPECT_EQ(impl->AnsweredAhead(), 524 - 44) << "only what the first page had beyond the bound goes unannounced";
  EXPECT_EQ(Text(narrow.LastRun().translation, 8, 1).substr(0, 17), L"[Slide 8 line 0.]");
}

// Each ignore switch keeps its kind of text out of a slide run, and a
// selection run translates what is selected whatever the switches say.
// Alternative text, titles and link screen tips go to the engine after the
// shapes, each kind only while its switch is on and whatever the ignore
// switches say; a selection run translates the selected shapes' alone.
TEST_F(RunTest, SwitchesAndTheSelectionDecideWhichTextsAndLabelsAreTranslated) {
  using Field = std::int32_t options::TranslationOptionUDT::*;
  using O = options::TranslationOptionUDT;
  struct Case {
    const char* what;
    Field field;
    options::TranslatedParts parts;
    std::vector<int> selected;  // shapes; none: a slide run
    // Title, text box, WordArt, slide comment, the linked box's text, its
    // alternative text and title, the group member's alternative text, the
    // box's two link tips, the member's own link tips: translated or not.
    std::array<bool, 9> translated;
  };
  options::TranslatedParts all, noAltText, noTips;
  noAltText.TranslatesAltText = 0;
  noTips.TranslatesLinkTips = 0;
  const std::vector<int> none, shapes{1, 2, 3}, linkedBox{4};
  const Case cases[] = {
      {"no switch", nullptr, all, none, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
      {"main text", &O::IgnoresMainText, all, none, {0, 1, 1, 1, 1, 1, 1, 1, 1}},
      {"shapes", &O::IgnoresShape, all, none, {1, 0, 1, 1, 0, 1, 1, 1, 1}},
      {"WordArt", &O::IgnoresWordArt, all, none, {1, 1, 0, 1, 1, 1, 1, 1, 1}},
      {"comments", &O::IgnoresComment, all, none, {1, 1, 1, 0, 1, 1, 1, 1, 1}},
      {"main text, selected", &O::IgnoresMainText, all, shapes, {1, 1, 1, 0, 0, 0, 0, 0, 0}},
      {"shapes, selected", &O::IgnoresShape, all, shapes, {1, 1, 1, 0, 0, 0, 0, 0, 0}},
      {"WordArt, selected", &O::IgnoresWordArt, all, shapes, {1, 1, 1, 0, 0, 0, 0, 0, 0}},
      {"comments, selected", &O::IgnoresComment, all, shapes, {1, 1, 1, 0, 0, 0, 0, 0, 0}},
      {"alternative text off", nullptr, noAltText, none, {1, 1, 1, 1, 1, 0, 0, 1, 1}},
      {"tips off", nullptr, noTips, none, {1, 1, 1, 1, 1, 1, 1, 0, 0}},
      {"the linked box selected", nullptr, all, linkedBox, {0, 0, 0, 0, 1, 1, 0, 1, 0}},
  };
  const std::string linked =
      "<a:p><a:r><a:rPr lang=\"en-US\"><a:hlinkClick r:id=\"\" action=\"ppaction://hlinkshowjump?jump=nextslide\" "
      "tooltip=\"Go on\"/><a:hlinkMouseOver r:id=\"\" action=\"ppaction://noaction\" tooltip=\"Rest here\"/>"
      "</a:rPr><a:t>Next</a:t></a:r></a:p>";
  std::string box = Box(5, "Linked", linked);
  box.replace(box.find("name=\"Linked\""), 13, "name=\"Linked\" descr=\"A chart of sales\" title=\"Sales\"");
  std::string member = decktest::Sp(7, "Member", 0, 0, 100 * P, 40 * P, "Inside", true);
  member.replace(member.find("name=\"Member\""), 13, "name=\"Member\" descr=\"A small arrow\"");
  // The member links as a whole, on both mouse events.
  const size_t nvEnd = member.find("/>", member.find("<p:cNvPr"));
  member.replace(nvEnd, 2,
                 "><a:hlinkClick r:id=\"\" action=\"ppaction://hlinkshowjump?jump=firstslide\" tooltip=\"Start over\"/>"
                 "<a:hlinkHover r:id=\"\" action=\"ppaction://noaction\" tooltip=\"An arrow\"/></p:cNvPr>");
  decktest::Deck d;
  d.slides = {Box(2, "Title", Para({{"Heading", ""}}), 400 * P, 60 * P, "<a:bodyPr/>", "type=\"title\"") +
              Sp(3, "Boxed", 0, 0, 100 * P, 40 * P, "Boxed", true) +
              Box(4, "Art", Para({{"Poster", ""}}), 300 * P, 80 * P,
                  "<a:bodyPr fromWordArt=\"1\"><a:prstTxWarp prst=\"textPlain\"/></a:bodyPr>") +
              box + decktest::Group(6, "Both", kGroupXfrm, member)};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (Field f : {&O::IgnoresMainText, &O::IgnoresShape, &O::IgnoresWordArt, &O::IgnoresComment})
      record.*f = f == c.field ? 1 : 0;
    caller.parts = c.parts;
    Open(d);
    auto shapes = original->Slides()->Item(1)->Shapes();
    ASSERT_EQ(shapes->Item(1)->Type(), host::msoPlaceholder);
    ASSERT_EQ(shapes->Item(3)->Type(), host::msoTextEffect);
    original->Slides()->Item(1)->Comments()->Add(10, 20, L"Ana Lima", L"AL", L"Remark");
    for (size_t i = 0; i < c.selected.size(); ++i) shapes->Item(c.selected[i])->Select(i == 0);
    ASSERT_TRUE(c.selected.empty() ? RunAll() : RunSelection());
    auto slide = Outcome().translation->Slides()->Item(1);
    auto out = slide->Shapes();
    auto expect = [&c](int i, const std::wstring& text) { return c.translated[i] ? L"[" + text + L"]" : text; };
    EXPECT_EQ(out->Item(1)->TextFrame()->TextRange()->Text(), expect(0, L"Heading"));
    EXPECT_EQ(out->Item(2)->TextFrame()->TextRange()->Text(), expect(1, L"Boxed"));
    EXPECT_EQ(out->Item(3)->TextEffect()->Text(), expect(2, L"Poster"));
    EXPECT_EQ(slide->Comments()->Item(1)->Text(), expect(3, L"Remark"));
    auto text = out->Item(4)->TextFrame()->TextRange();
    EXPECT_EQ(text->Text(), expect(4, L"Next"));
    EXPECT_EQ(out->Item(4)->AlternativeText(), expect(5, L"A chart of sales"));
    EXPECT_EQ(out->Item(4)->Title(), expect(5, L"Sales"));
    auto member = out->Item(5)->GroupItems()->Item(1);
    EXPECT_EQ(member->AlternativeText(), expect(6, L"A small arrow"));
    EXPECT_EQ(text->ActionSettings(1)->Hyperlink()->ScreenTip(), expect(7, L"Go on"));
    EXPECT_EQ(text->ActionSettings(2)->Hyperlink()->ScreenTip(), expect(7, L"Rest here"));
    EXPECT_EQ(member->ActionSettings(1)->Hyperlink()->ScreenTip(), expect(8, L"Start over"));
    EXPECT_EQ(member->ActionSettings(2)->Hyperlink()->ScreenTip(), expect(8, L"An arrow"));
  }
}
