#include <algorithm>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <set>

#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/support/ResourceModule.h"

#include "src/platform/MessagePump.h"
#include "tests/common/Bytes.h"
#include "tests/platform/TestSupport.h"
#include "tests/powerpoint/PowerPointFixture.h"
#include "tests/dialogs/ScriptedViews.h"
#include "src/powerpoint/TemporaryCopies.h"

using namespace pptest;

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
                        Case{"slide show", [&] { host::pptx::RunSlideShow(app, Open(ThreeSlides())); }, 2122},
                        Case{"final", [&] { Open(ThreeSlides())->SetFinal(true); }, 2123},
                        Case{"locked", [&] { Open(locked); }, 2124},
                        Case{"slide master", inView(host::ppViewSlideMaster), 2121},
                        Case{"notes master", inView(host::ppViewNotesMaster), 2121}}) {
    SCOPED_TRACE(c.what);
    app = host::pptx::CreateApplication(hostOptions);
    c.prepare();
    EXPECT_FALSE(c.selection ? RunSelection() : RunAll());
    EXPECT_EQ(ErrorIds(), std::vector<int>{c.error});
    EXPECT_TRUE(CopyFiles().empty());
    EXPECT_EQ(app->Presentations()->Count(), 1);
  }
}

TEST_F(RunTest, CurrentSlideWithTheThumbnailPaneAndNothingSelectedIsTheSlideShown) {
  Open(ThreeSlides());
  Window()->View()->GotoSlide(2);
  Window()->Panes()->Item(1)->Activate();
  ASSERT_TRUE(RunSheet());
  auto tran = Outcome().translation;
  EXPECT_EQ(Text(tran, 2, 1), L"[Gamma]");
  EXPECT_EQ(Text(tran, 1, 1), L"Alpha");
  EXPECT_EQ(Text(tran, 3, 1), L"Delta");
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
  app.reset();
  Open(ThreeSlides());
  NotesBody(original, 3)->TextFrame()->TextRange()->SetText(L"Notes");
  Window()->SetViewType(host::ppViewSlideSorter);
  original->Slides()->Range(std::vector<int>{3, 1})->Select();
  ASSERT_TRUE(RunSelection());
  auto tran = Outcome().translation;
  EXPECT_EQ(Text(tran, 1, 2), L"[Beta]");
  EXPECT_EQ(Text(tran, 2, 1), L"Gamma");
  EXPECT_EQ(Text(tran, 3, 1), L"[Delta]");
  EXPECT_EQ(NotesBody(tran, 3)->TextFrame()->TextRange()->Text(), L"[Notes]");
  // The translation window shows the translated slides selected again.
  EXPECT_EQ(tran->Windows()->Item(1)->ViewType(), host::ppViewSlideSorter);
  EXPECT_EQ(tran->Windows()->Item(1)->Selection()->SlideRange()->Count(), 2);
}

// A selected shape or characters of one are found, also where two shapes
// share a name.
TEST_F(RunTest, SelectedShapesAndCharactersAreFoundAlsoWhenTwoShareAName) {
  decktest::Deck twins;
  twins.slides = {decktest::Sp(2, "Same", 0, 0, 100 * P, 40 * P, "Alpha", true) +
                  decktest::Sp(3, "Same", 0, 50 * P, 100 * P, 40 * P, "Beta", true)};
  auto shape = [&](int i) { return original->Slides()->Item(1)->Shapes()->Item(i); };
  const struct {
    const char* what;
    std::function<void()> select;
    const wchar_t* first;
    const wchar_t* second;
  } cases[] = {
      {"the second twin", [&] { shape(2)->Select(true); }, L"Alpha", L"[Beta]"},
      {"both twins", [&] { original->Slides()->Item(1)->Shapes()->Range(std::vector<int>{1, 2})->Select(); },
       L"[Alpha]", L"[Beta]"},
      {"characters of the second twin", [&] { shape(2)->TextFrame()->TextRange()->Characters(2, 2)->Select(); },
       L"Alpha", L"B[et]a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    app.reset();
    Open(twins);
    c.select();
    ASSERT_TRUE(RunSelection());
    EXPECT_EQ(Text(Outcome().translation, 1, 1), c.first);
    EXPECT_EQ(Text(Outcome().translation, 1, 2), c.second);
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
  EXPECT_EQ(Text(Outcome().translation, 1, 1), L"[Alpha]");
  EXPECT_EQ(Text(Outcome().translation, 1, 2), L"[[Beta]]");
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
    app.reset();
    Open(ThreeSlides());
    NotesBody(original, 1)->TextFrame()->TextRange()->SetText(L"First notes");
    NotesBody(original, 2)->TextFrame()->TextRange()->SetText(L"Second notes");
    caller.progress.clear();
    impl->SetTranslator([&c](const std::wstring& s) {
      if (s == c.cancelOn) engine::AppCommon::Instance().SetCancel(true);
      return L"[" + s + L"]";
    });
    ASSERT_TRUE(RunAll());
    EXPECT_TRUE(Outcome().cancelled);
    EXPECT_TRUE(ErrorIds().empty());
    EXPECT_TRUE(boxes.requests.empty());
    auto tran = Outcome().translation;
    EXPECT_EQ(Text(tran, 1, 1), L"[Alpha]");
    EXPECT_EQ(Text(tran, 2, 1), c.slidesDone ? L"[Gamma]" : L"Gamma");
    EXPECT_EQ(Text(tran, 3, 1), c.slidesDone ? L"[Delta]" : L"Delta");
    if (!c.slidesDone) {
      EXPECT_EQ(NotesBody(tran, 1)->TextFrame()->TextRange()->Text(), L"First notes");
    }
    EXPECT_EQ(NotesBody(tran, 2)->TextFrame()->TextRange()->Text(), L"Second notes");
    EXPECT_EQ(caller.progress.size(), c.pages);
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
    app.reset();
    Open(ThreeSlides());
    EXPECT_EQ(RunAll(), cancel);
    EXPECT_EQ(Outcome().cancelled, cancel);
    EXPECT_EQ(ErrorIds().empty() ? 0 : ErrorIds().back(), cancel ? 0 : 1251);
    EXPECT_EQ(app->Presentations()->Count(), cancel ? 1 : 2);
    EXPECT_EQ(Outcome().translationCopyPath.empty(), cancel);
    if (cancel) process.DeleteTemporaryCopies();
    EXPECT_EQ(CopyFiles().size(), cancel ? 0u : 1u);
  }
}

TEST_F(RunTest, SegmentsTheEngineFailedOnEndTheRunWithOneMessageThatCountsThem) {
  impl->Script(fake_engine::Operation::Translate, {.status = 3, .errorCode = 30006, .times = 2});
  Open(ThreeSlides());
  ASSERT_TRUE(RunAll());
  ASSERT_EQ(ErrorIds(), std::vector<int>{1507});
  EXPECT_EQ(Outcome().errors[0].text, support::LoadText(1507) + L"\r\n\r\n" + support::LoadText(5105) + L" 2");
  EXPECT_EQ(Outcome().stats.segmentsLeft.at(L"engine failed"), 2);
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
  EXPECT_EQ(Outcome().errors[0].where.slide, 1);
  EXPECT_EQ(Outcome().errors[0].where.shape, L"A1");
  EXPECT_EQ(boxes.requests.size(), 1u);
  EXPECT_EQ(app->Presentations()->Count(), 1);
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
  EXPECT_EQ(name[8], L'_');
  EXPECT_EQ(name[15], L'_');
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
  EXPECT_GE(seen->hides, 1);
  EXPECT_EQ(seen->percent, 100);
  std::vector<std::wstring> wanted = {support::LoadText(5052), support::LoadText(5056), support::LoadText(5057)};
  for (const auto& text : wanted) {
    EXPECT_NE(std::find(seen->statuses.begin(), seen->statuses.end(), text), seen->statuses.end())
        << platform::ToUtf8(text);
  }
  EXPECT_TRUE(caller.progress.empty());
}
