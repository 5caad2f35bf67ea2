// The sequence of host calls a translation run makes, on one deck: copies
// through SaveCopyAs, a hidden working copy and a target in its own window,
// slide ranges by name, shapes paired by position, the target window
// following the walk, notes pages, and the windows arranged at the end.
#include <gtest/gtest.h>

#include "tests/host/DeckBuilder.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/Strings.h"

using namespace host;

namespace {

constexpr long P = 12700;

std::wstring W(const std::filesystem::path& p) { return platform::FromUtf8(p.string()); }

std::wstring Upper(std::wstring s) {
  for (auto& c : s)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return s;
}

}  // namespace

TEST(PptxWalkFlow, CopiesPairedShapesFollowModeAndArrangement) {
  testsupport::TempDir dir;
  decktest::Deck d;
  using decktest::Sp;
  d.slides = {decktest::Ph(2, "Title 1", "type=\"title\"", decktest::Xfrm(0, 0, 300 * P, 40 * P), "first slide") +
                  Sp(3, "Box", 0, 50 * P, 200 * P, 40 * P, "hello world", true),
              Sp(2, "Other", 0, 0, 100 * P, 40 * P, "second slide") +
                  decktest::Table(3, "T", 2, {decktest::Cell("a") + decktest::Cell("b")})};
  decktest::Write(d, dir / "talk.pptx");

  auto app = pptx::CreateApplication();
  auto orig = app->Presentations()->Open(W(dir / "talk.pptx"), false, false, true);
  ASSERT_EQ(app->Presentations()->Count(), 1);
  EXPECT_EQ(std::stoi(app->Version()), 16);
  EXPECT_EQ(app->SlideShowWindows()->Count(), 0);
  EXPECT_FALSE(orig->Final());
  orig->SetSaved(orig->Saved());  // editable

  auto win = app->Windows()->Item(1);
  int windowView = win->ViewType(), paneView = win->ActivePane()->ViewType(), selType = win->Selection()->Type();
  EXPECT_EQ(windowView, ppViewNormal);
  EXPECT_EQ(paneView, ppViewSlide);
  EXPECT_EQ(selType, ppSelectionNone);
  std::vector<std::wstring> names;
  auto sel = win->Selection()->SlideRange();
  for (int i = 1; i <= sel->Count(); ++i) names.push_back(sel->Item(i)->Name());
  EXPECT_EQ(names, std::vector<std::wstring>{L"Slide256"});

  // The two copies: a hidden working copy and a target with a window.
  orig->SaveCopyAs(W(dir / "work.pptm"), ppSaveAsOpenXMLPresentationMacroEnabled, false);
  auto work = app->Presentations()->Open(W(dir / "work.pptm"), false, false, false);
  orig->SaveCopyAs(W(dir / "tran.pptm"), ppSaveAsOpenXMLPresentationMacroEnabled, false);
  auto tran = app->Presentations()->Open(W(dir / "tran.pptm"), false, false, true);
  tran->Windows()->Item(1)->Activate();
  EXPECT_EQ(app->ActivePresentation()->FullName(), tran->FullName());

  auto origRange = work->Slides()->Range();
  auto tranRange = tran->Slides()->Range();
  ASSERT_EQ(origRange->Count(), tranRange->Count());
  auto tranWin = tran->Windows()->Item(1);
  tranWin->SetViewType(ppViewNormal);
  for (int p = 1; p <= tranWin->Panes()->Count(); ++p)
    if (tranWin->Panes()->Item(p)->ViewType() == ppViewSlide) tranWin->Panes()->Item(p)->Activate();

  for (int i = 1; i <= origRange->Count(); ++i) {
    tranWin->View()->GotoSlide(tranRange->Item(i)->SlideIndex());
    auto src = origRange->Item(i)->Shapes()->Range();
    auto dst = tranRange->Item(i)->Shapes()->Range();
    ASSERT_EQ(src->Count(), dst->Count());
    for (int k = 1; k <= src->Count(); ++k) {
      auto s = src->Item(k), t = dst->Item(k);
      EXPECT_EQ(s->Name(), t->Name());
      if (t->Visible()) t->Select(false);
      if (s->HasTable()) {
        auto st = s->Table(), tt = t->Table();
        for (int c = 1; c <= tt->Columns()->Count(); ++c)
          for (int r = 1; r <= tt->Rows()->Count(); ++r) {
            auto text = st->Cell(r, c)->Shape()->TextFrame2()->TextRange()->Text();
            tt->Cell(r, c)->Shape()->TextFrame2()->TextRange()->SetText(Upper(text));
          }
        continue;
      }
      if (!s->HasTextFrame() || !s->TextFrame()->HasText()) continue;
      auto srcText = s->TextFrame2()->TextRange();
      auto target = t->TextFrame2()->TextRange();
      // Follow mode: the characters being written are selected in the target window.
      target->Characters(1, srcText->Length())->Select();
      EXPECT_EQ(tranWin->Selection()->Type(), ppSelectionText);
      target->Characters(1, srcText->Length())->SetText(Upper(srcText->Text()));
      target->Characters(1, 0)->Select();
    }
    // Notes pages exist for reading even where the deck has none.
    EXPECT_GE(origRange->Item(i)->NotesPage()->Shapes()->Range()->Count(), 0);
  }
  // Selection of several shapes in follow mode was built up on the last slide.
  tranWin->View()->GotoSlide(2);
  tranRange->Item(2)->Shapes()->Range()->Select();
  EXPECT_EQ(tranWin->Selection()->ShapeRange()->Count(), 2);

  work->Close();
  EXPECT_EQ(app->Presentations()->Count(), 2);

  // Arrange side by side on the work area.
  auto ow = orig->Windows()->Item(1), tw = tran->Windows()->Item(1);
  float width = ow->Width(), height = ow->Height();
  for (auto w : {ow, tw})
    if (w->WindowState() != ppWindowNormal) w->SetWindowState(ppWindowNormal);
  ow->SetLeft(0);
  ow->SetTop(0);
  ow->SetWidth(width / 2);
  ow->SetHeight(height);
  tw->SetLeft(width / 2);
  tw->SetTop(0);
  tw->SetWidth(width / 2);
  tw->SetHeight(height);
  EXPECT_FLOAT_EQ(tw->Left(), 720);

  tran->Save();
  auto check = app->Presentations()->Open(W(dir / "tran.pptm"), true, false, false);
  auto s1 = check->Slides()->Item(1)->Shapes();
  EXPECT_EQ(s1->Item(1)->TextFrame()->TextRange()->Text(), L"FIRST SLIDE");
  EXPECT_EQ(s1->Item(2)->TextFrame()->TextRange()->Text(), L"HELLO WORLD");
  EXPECT_EQ(check->Slides()->Item(2)->Shapes()->Item(2)->Table()->Cell(1, 2)->Shape()->TextFrame()->TextRange()->Text(),
            L"B");
  // The original is untouched.
  auto again = app->Presentations()->Open(W(dir / "talk.pptx"), true, false, false);
  EXPECT_EQ(again->Slides()->Item(1)->Shapes()->Item(2)->TextFrame()->TextRange()->Text(), L"hello world");
  EXPECT_TRUE(orig->Saved());
}
