#include <gtest/gtest.h>

#include "DeckBuilder.h"
#include "host/pptx/PptxApplication.h"
#include "host/pptx/PptxPackage.h"
#include "platform/Strings.h"

using namespace host;
using decktest::Sp;

namespace {

constexpr long P = 12700;

class PptxWindows : public ::testing::Test {
 protected:
  decktest::TempDir dir;
  pptx::ApplicationOptions options;
  Ptr<Application> app;
  std::wstring path;

  void SetUp() override {
    decktest::Deck d;
    d.slides = {Sp(2, "A1", 0, 0, P, P, "First") + Sp(3, "A2", 0, 0, P, P, "Second"), Sp(2, "B1", 0, 0, P, P, "x"),
                Sp(2, "C1", 0, 0, P, P, "y")};
    decktest::Write(d, dir / "deck.pptx");
    path = At("deck.pptx");
  }
  Ptr<Application> App() {
    if (!app) app = pptx::CreateApplication(options);
    return app;
  }
  Ptr<Presentation> Open(bool window = true) { return App()->Presentations()->Open(path, false, false, window); }
  std::wstring At(const char* name) { return platform::FromUtf8((dir / name).string()); }
};

HRESULT ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const ComError& e) {
    return e.Error();
  }
  return S_OK;
}

}  // namespace

TEST_F(PptxWindows, OpeningWithAWindowGivesNormalViewWithThreePanes) {
  auto p = Open();
  ASSERT_EQ(App()->Windows()->Count(), 1);
  auto w = App()->ActiveWindow();
  EXPECT_EQ(w->Presentation()->FullName(), p->FullName());
  EXPECT_EQ(App()->ActivePresentation()->Name(), L"deck.pptx");
  EXPECT_EQ(w->ViewType(), ppViewNormal);
  ASSERT_EQ(w->Panes()->Count(), 3);
  EXPECT_EQ(w->Panes()->Item(1)->ViewType(), ppViewThumbnails);
  EXPECT_EQ(w->Panes()->Item(2)->ViewType(), ppViewSlide);
  EXPECT_EQ(w->Panes()->Item(3)->ViewType(), ppViewNotesPage);
  EXPECT_EQ(w->ActivePane()->ViewType(), ppViewSlide);
  EXPECT_EQ(w->Selection()->Type(), ppSelectionNone);
  EXPECT_EQ(w->View()->Slide()->SlideIndex(), 1);
  EXPECT_EQ(w->Selection()->SlideRange()->Item(1)->SlideIndex(), 1);
  EXPECT_EQ(App()->SlideShowWindows()->Count(), 0);
  EXPECT_EQ(p->Windows()->Count(), 1);
}

TEST_F(PptxWindows, WithoutAWindowThereIsNoActivePresentation) {
  auto p = Open(false);
  EXPECT_EQ(App()->Presentations()->Count(), 1);
  EXPECT_EQ(p->Windows()->Count(), 0);
  EXPECT_EQ(ErrorOf([&] { App()->ActiveWindow(); }), E_FAIL);
  EXPECT_EQ(ErrorOf([&] { App()->ActivePresentation(); }), E_FAIL);
  // Selecting needs a window.
  EXPECT_EQ(ErrorOf([&] { p->Slides()->Item(1)->Shapes()->Item(1)->Select(); }), E_FAIL);
}

TEST_F(PptxWindows, ViewTypesPanesAndNavigation) {
  Open();
  auto w = App()->ActiveWindow();
  w->View()->GotoSlide(3);
  EXPECT_EQ(w->View()->Slide()->SlideIndex(), 3);
  EXPECT_EQ(ErrorOf([&] { w->View()->GotoSlide(4); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { w->View()->GotoSlide(0); }), E_INVALIDARG);
  w->SetViewType(ppViewSlideSorter);
  EXPECT_EQ(w->Panes()->Count(), 1);
  EXPECT_EQ(w->ActivePane()->ViewType(), ppViewSlideSorter);
  EXPECT_EQ(ErrorOf([&] { w->Selection()->SlideRange(); }), E_FAIL);
  w->SetViewType(ppViewNotesPage);
  EXPECT_EQ(w->ActivePane()->ViewType(), ppViewNotesPage);
  w->SetViewType(ppViewSlideMaster);
  EXPECT_EQ(w->ViewType(), ppViewSlideMaster);
  w->SetViewType(ppViewNormal);
  w->Panes()->Item(3)->Activate();
  EXPECT_EQ(w->ActivePane()->ViewType(), ppViewNotesPage);
  EXPECT_TRUE(w->Panes()->Item(3)->Active());
  w->Panes()->Item(1)->Activate();
  // With the thumbnails active and nothing chosen there is no slide selection.
  EXPECT_EQ(ErrorOf([&] { w->Selection()->SlideRange(); }), E_FAIL);
  EXPECT_EQ(w->View()->Slide()->SlideIndex(), 3);
  EXPECT_EQ(ErrorOf([&] { w->SetViewType(42); }), E_INVALIDARG);
}

TEST_F(PptxWindows, SelectionOfShapesTextAndSlides) {
  auto p = Open();
  auto w = App()->ActiveWindow();
  auto slide = p->Slides()->Item(1);
  auto a1 = slide->Shapes()->Item(1), a2 = slide->Shapes()->Item(2);
  a1->Select();
  a2->Select(false);
  EXPECT_EQ(w->Selection()->Type(), ppSelectionShapes);
  auto range = w->Selection()->ShapeRange();
  ASSERT_EQ(range->Count(), 2);
  EXPECT_EQ(range->Item(2)->Name(), L"A2");
  a2->Select(true);
  EXPECT_EQ(w->Selection()->ShapeRange()->Count(), 1);
  EXPECT_EQ(ErrorOf([&] { w->Selection()->TextRange(); }), E_FAIL);

  // A shape on a slide the window does not show cannot be selected.
  EXPECT_EQ(ErrorOf([&] { p->Slides()->Item(2)->Shapes()->Item(1)->Select(); }), E_FAIL);

  a1->TextFrame()->TextRange()->Characters(2, 3)->Select();
  EXPECT_EQ(w->Selection()->Type(), ppSelectionText);
  EXPECT_EQ(w->Selection()->TextRange()->Text(), L"irs");
  EXPECT_EQ(w->Selection()->TextRange()->Start(), 2);
  EXPECT_EQ(w->Selection()->TextRange()->Length(), 3);
  EXPECT_EQ(w->Selection()->TextRange2()->Text(), L"irs");
  EXPECT_EQ(w->Selection()->ShapeRange()->Item(1)->Name(), L"A1");
  EXPECT_EQ(w->Selection()->SlideRange()->Item(1)->SlideIndex(), 1);

  w->Selection()->Unselect();
  EXPECT_EQ(w->Selection()->Type(), ppSelectionNone);

  w->SetViewType(ppViewSlideSorter);
  p->Slides()->Range(std::vector<int>{3, 1})->Select();
  EXPECT_EQ(w->Selection()->Type(), ppSelectionSlides);
  auto slides = w->Selection()->SlideRange();
  ASSERT_EQ(slides->Count(), 2);
  EXPECT_EQ(slides->Item(1)->SlideIndex(), 3);
  EXPECT_EQ(ErrorOf([&] { a1->Select(); }), E_FAIL);
}

TEST_F(PptxWindows, GroupMembersSelectAsChildShapes) {
  decktest::Deck d;
  d.slides = {decktest::Group(2, "G", "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"10\" cy=\"10\"/><a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"10\" cy=\"10\"/>",
                              Sp(3, "In", 0, 0, 1, 1, "i"))};
  decktest::Write(d, dir / "g.pptx");
  auto p = App()->Presentations()->Open(At("g.pptx"));
  auto item = p->Slides()->Item(1)->Shapes()->Item(1)->GroupItems()->Item(1);
  item->Select();
  auto sel = App()->ActiveWindow()->Selection();
  EXPECT_TRUE(sel->HasChildShapeRange());
  EXPECT_EQ(sel->ChildShapeRange()->Item(1)->Name(), L"In");
  EXPECT_EQ(sel->ShapeRange()->Item(1)->Name(), L"G");
}

TEST_F(PptxWindows, WindowGeometryOnTheVirtualScreen) {
  options.screenWidth = 1280;
  options.screenHeight = 1024;
  options.dpi = 128;
  Open();
  auto w = App()->ActiveWindow();
  EXPECT_EQ(w->WindowState(), ppWindowMaximized);
  EXPECT_FLOAT_EQ(w->Width(), 1280 * 72.0f / 128);
  EXPECT_FLOAT_EQ(w->Height(), (1024 - 40) * 72.0f / 128);
  // A maximised window cannot be moved; a normal one can.
  EXPECT_EQ(ErrorOf([&] { w->SetLeft(10); }), E_FAIL);
  w->SetWindowState(ppWindowNormal);
  w->SetLeft(10);
  w->SetTop(20);
  w->SetWidth(300);
  w->SetHeight(200);
  EXPECT_FLOAT_EQ(w->Left(), 10);
  EXPECT_FLOAT_EQ(w->Top(), 20);
  EXPECT_FLOAT_EQ(w->Width(), 300);
  EXPECT_FLOAT_EQ(w->Height(), 200);
  EXPECT_EQ(ErrorOf([&] { w->SetWindowState(9); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { pptx::CreateApplication(pptx::ApplicationOptions{L"16.0", {}, 0, 0, 0, {}}); }), E_INVALIDARG);
}

TEST_F(PptxWindows, SeveralPresentationsAndActivation) {
  auto a = Open();
  auto b = App()->Presentations()->Open(path, true, true, true);
  EXPECT_EQ(App()->Presentations()->Count(), 2);
  EXPECT_EQ(App()->Windows()->Count(), 2);
  EXPECT_EQ(App()->ActivePresentation()->FullName(), b->FullName());
  EXPECT_TRUE(b->Path().empty());
  EXPECT_EQ(b->Name().rfind(L"Presentation", 0), 0u);
  EXPECT_TRUE(b->ReadOnly());
  EXPECT_EQ(ErrorOf([&] { b->Save(); }), E_FAIL);
  a->Windows()->Item(1)->Activate();
  EXPECT_EQ(App()->ActivePresentation()->FullName(), a->FullName());
  EXPECT_TRUE(a->Windows()->Item(1)->Active());
  auto extra = a->NewWindow();
  EXPECT_EQ(a->Windows()->Count(), 2);
  extra->Close();
  EXPECT_EQ(a->Windows()->Count(), 1);
  // Closing the last window closes its presentation.
  a->Windows()->Item(1)->Close();
  EXPECT_EQ(App()->Presentations()->Count(), 1);
  EXPECT_EQ(App()->ActivePresentation()->FullName(), b->FullName());
}

TEST_F(PptxWindows, SavedFinalAndWritePasswordLock) {
  auto p = Open();
  EXPECT_TRUE(p->Saved());
  EXPECT_FALSE(p->Final());
  EXPECT_FALSE(p->IsEmbedded());
  p->SetSaved(false);
  EXPECT_FALSE(p->Saved());
  p->SetSaved(true);
  EXPECT_TRUE(p->Saved());
  p->Slides()->Item(1)->SetName(L"Intro");
  EXPECT_FALSE(p->Saved());
  p->SetFinal(true);
  p->SaveCopyAs(At("final.pptx"));
  auto f = App()->Presentations()->Open(At("final.pptx"), false, false, false);
  EXPECT_TRUE(f->Final());
  EXPECT_EQ(f->Slides()->Item(1)->Name(), L"Intro");
  EXPECT_EQ(f->Slides()->Item(2)->Name(), L"Slide257");
  EXPECT_EQ(f->Slides()->Range(std::vector<std::wstring>{L"Slide258", L"Intro"})->Item(1)->SlideIndex(), 3);
  f->SetFinal(false);
  EXPECT_FALSE(f->Final());

  decktest::Deck locked;
  locked.slides = {Sp(2, "A", 0, 0, P, P, "a")};
  locked.presentationExtra = "<p:modifyVerifier cryptProviderType=\"rsaAES\" hashData=\"x\" saltData=\"y\" spinCount=\"100000\"/>";
  decktest::Write(locked, dir / "locked.pptx");
  auto l = App()->Presentations()->Open(At("locked.pptx"));
  EXPECT_EQ(ErrorOf([&] { l->SetSaved(l->Saved()); }), E_ACCESSDENIED);
  EXPECT_TRUE(l->ReadOnly());
}

TEST_F(PptxWindows, SaveCopyAsChangesOnlyTheCopysFormat) {
  auto p = Open();
  p->Slides()->Item(2)->SetName(L"Changed");
  p->SaveCopyAs(At("edited.pptx"));
  // A copy does not save the presentation itself.
  EXPECT_FALSE(p->Saved());
  p->SetSaved(true);
  auto before = decktest::ReadEntries(dir / "deck.pptx");
  p->SaveCopyAs(At("copy.pptm"), ppSaveAsOpenXMLPresentationMacroEnabled);
  auto pkg = pptx::Package::Open(dir / "copy.pptm");
  EXPECT_EQ(pkg->ContentType("ppt/presentation.xml"), "application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml");
  // The presentation itself and its file are unchanged.
  EXPECT_TRUE(p->Saved());
  EXPECT_EQ(p->FullName(), path);
  EXPECT_EQ(before, decktest::ReadEntries(dir / "deck.pptx"));
  // The classic-format copy is the same package under the old extension.
  p->SaveCopyAs(At("copy.ppt"), ppSaveAsPresentation);
  EXPECT_EQ(decktest::ReadEntries(dir / "edited.pptx"), decktest::ReadEntries(dir / "copy.ppt"));
  auto reopened = App()->Presentations()->Open(At("copy.pptm"), false, false, true);
  EXPECT_EQ(reopened->Slides()->Count(), 3);
  EXPECT_EQ(reopened->Slides()->Item(2)->Name(), L"Changed");
  EXPECT_EQ(ErrorOf([&] { p->SaveCopyAs(At("x.pptx"), 99); }), E_INVALIDARG);
}

TEST_F(PptxWindows, SaveAsMovesThePresentation) {
  auto p = Open();
  p->Slides()->Item(1)->SetName(L"Renamed");
  p->SaveAs(At("moved.pptx"));
  EXPECT_TRUE(p->Saved());
  EXPECT_EQ(p->Name(), L"moved.pptx");
  auto q = App()->Presentations()->Open(At("moved.pptx"), true, false, false);
  EXPECT_EQ(q->Slides()->Item(1)->Name(), L"Renamed");
}

TEST_F(PptxWindows, VersionAndRegisteredMacros) {
  EXPECT_EQ(App()->Version(), L"16.0");
  pptx::ApplicationOptions o;
  o.version = L"11.0";
  std::string error;
  ASSERT_TRUE(pptx::AddMacroOption(o, "Upper=sh -c 'printf %s \"$1\" | tr a-z A-Z' macro", error));
  EXPECT_FALSE(pptx::AddMacroOption(o, "=nothing", error));
  EXPECT_NE(error.find("NAME=COMMAND"), std::string::npos);
  EXPECT_FALSE(pptx::AddMacroOption(o, "NoCommand=", error));
  ASSERT_TRUE(pptx::AddMacroOption(o, "Fail=false", error));
  o.macros[L"Echo"] = [](const std::vector<std::wstring>& args) { return args.empty() ? L"" : args[0]; };
  auto a = pptx::CreateApplication(o);
  EXPECT_EQ(a->Version(), L"11.0");
  EXPECT_EQ(a->Run(L"Echo", {L"hello"}), L"hello");
  EXPECT_EQ(a->Run(L"Upper", {L"it's"}), L"IT'S");
  EXPECT_EQ(ErrorOf([&] { a->Run(L"Fail"); }), E_FAIL);
  // A name nobody registered for this run never runs anything.
  EXPECT_EQ(ErrorOf([&] { a->Run(L"rm -rf /"); }), DISP_E_MEMBERNOTFOUND);
}

TEST_F(PptxWindows, NewPresentationIsBlankUntitledAndSavesAs) {
  auto p = App()->Presentations()->Add(true);
  EXPECT_EQ(p->Slides()->Count(), 0);
  EXPECT_TRUE(p->Path().empty());
  EXPECT_FALSE(p->Saved());
  EXPECT_FLOAT_EQ(p->SlideWidth(), 720);
  EXPECT_EQ(App()->ActivePresentation()->Name(), p->Name());
  EXPECT_EQ(App()->ActiveWindow()->ViewType(), ppViewNormal);
  EXPECT_EQ(ErrorOf([&] { App()->ActiveWindow()->View()->Slide(); }), E_FAIL);
  EXPECT_EQ(ErrorOf([&] { p->Save(); }), E_FAIL);
  p->SaveAs(At("new.pptx"));
  EXPECT_TRUE(p->Saved());
  auto q = App()->Presentations()->Open(At("new.pptx"), true, false, false);
  EXPECT_EQ(q->Slides()->Count(), 0);
  auto pkg = pptx::Package::Open(dir / "new.pptx");
  EXPECT_EQ(pkg->ContentType("ppt/slideLayouts/slideLayout1.xml"),
            "application/vnd.openxmlformats-officedocument.presentationml.slideLayout+xml");
}
