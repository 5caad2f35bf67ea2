#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "tests/host/DeckBuilder.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/platform/Strings.h"
#include "tests/platform/TestSupport.h"

using namespace host;
using decktest::Sp;

using testsupport::ErrorOf;

namespace {

constexpr long P = 12700;

struct Recorder : CommandBarButtonEvents {
  std::vector<std::wstring> clicks;
  std::function<void()> onClick;
  void Click(const Ptr<CommandBarControl>& c, bool&) noexcept override {
    clicks.push_back(c->Tag());
    if (onClick) onClick();
  }
};

class PptxWindows : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
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

}  // namespace

TEST_F(PptxWindows, OpeningWithAWindowGivesNormalViewOnTheFirstSlide) {
  // Without a window there is no active presentation, and selecting needs one.
  auto hidden = Open(false);
  EXPECT_EQ(hidden->Windows()->Count(), 0);
  EXPECT_EQ(ErrorOf([&] { App()->ActiveWindow(); }), E_FAIL);
  EXPECT_EQ(ErrorOf([&] { App()->ActivePresentation(); }), E_FAIL);
  EXPECT_EQ(ErrorOf([&] { hidden->Slides()->Item(1)->Shapes()->Item(1)->Select(); }), E_FAIL);
  auto p = Open();
  ASSERT_EQ(App()->Windows()->Count(), 1);
  auto w = App()->ActiveWindow();
  EXPECT_EQ(w->Presentation()->FullName(), p->FullName());
  EXPECT_EQ(App()->ActivePresentation()->Name(), L"deck.pptx");
  // Its panes are checked with the other views.
  EXPECT_EQ((std::vector<int>{w->ViewType(), w->ActivePane()->ViewType(), w->Selection()->Type(),
                              w->View()->Slide()->SlideIndex(), w->Selection()->SlideRange()->Item(1)->SlideIndex()}),
            (std::vector<int>{ppViewNormal, ppViewSlide, ppSelectionNone, 1, 1}));
  for (int outside : {0, 4}) EXPECT_EQ(ErrorOf([&] { w->View()->GotoSlide(outside); }), E_INVALIDARG);
  // A macro nobody registered for this run never runs anything.
  EXPECT_EQ(ErrorOf([&] { App()->Run(L"rm -rf /", {}); }), DISP_E_MEMBERNOTFOUND);
  // Closing the last window closes its presentation.
  w->Close();
  EXPECT_EQ(App()->Presentations()->Count(), 1);
}

TEST_F(PptxWindows, ViewTypesAndTheirPanes) {
  // What setting a view type gives: the view type read back, the panes'
  // view types and the active pane's, on a host of that version.
  struct Case {
    int version, set, view;
    std::vector<int> panes;
    int active;
  };
  const std::vector<int> normal = {ppViewThumbnails, ppViewSlide, ppViewNotesPage};
  const std::vector<int> outline = {ppViewOutline, ppViewSlide, ppViewNotesPage};
  const Case cases[] = {
      {16, ppViewSlide, ppViewNormal, normal, ppViewSlide},
      {16, ppViewThumbnails, ppViewNormal, normal, ppViewThumbnails},
      {16, ppViewOutline, ppViewOutline, outline, ppViewOutline},
      {14, ppViewOutline, ppViewNormal, outline, ppViewOutline},
      {16, ppViewSlideSorter, ppViewSlideSorter, {ppViewSlideSorter}, ppViewSlideSorter},
  };
  for (const Case& c : cases) {
    pptx::ApplicationOptions o;
    o.version = std::to_wstring(c.version) + L".0";
    auto a = pptx::CreateApplication(o);
    a->Presentations()->Open(path, false, false, true);
    auto w = a->ActiveWindow();
    w->SetViewType(ppViewOutline);  // every case starts away from its view
    w->SetViewType(c.set);
    std::vector<int> panes;
    for (int i = 1; i <= w->Panes()->Count(); ++i) panes.push_back(w->Panes()->Item(i)->ViewType());
    EXPECT_EQ(w->ViewType(), c.view) << c.version << " " << c.set;
    EXPECT_EQ(panes, c.panes) << c.version << " " << c.set;
    EXPECT_EQ(w->ActivePane()->ViewType(), c.active) << c.version << " " << c.set;
  }
  // Only the versions there were, written as the host writes them.
  for (auto [text, major] : std::vector<std::pair<std::wstring, int>>{{L"14.0", 14}, {L"16", 16}, {L"13.0", 0}, {L"16x", 0}})
    EXPECT_EQ(pptx::VersionNumber(text), major) << platform::ToUtf8(text);
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
  // A hidden shape cannot be picked, alone or in a range.
  a1->SetVisible(false);
  EXPECT_EQ(ErrorOf([&] { a1->Select(); }), E_FAIL);
  EXPECT_EQ(ErrorOf([&] { slide->Shapes()->Range()->Select(); }), E_FAIL);
  EXPECT_EQ(w->Selection()->ShapeRange()->Item(1)->Name(), L"A2");
  a1->SetVisible(true);
  EXPECT_EQ(ErrorOf([&] { w->Selection()->TextRange(); }), E_FAIL);

  // A shape on a slide the window does not show cannot be selected.
  EXPECT_EQ(ErrorOf([&] { p->Slides()->Item(2)->Shapes()->Item(1)->Select(); }), E_FAIL);

  a1->TextFrame()->TextRange()->Characters(2, 3)->Select();
  auto sel = w->Selection();
  EXPECT_EQ((std::vector<int>{sel->Type(), sel->TextRange()->Start(), sel->SlideRange()->Item(1)->SlideIndex()}),
            (std::vector<int>{ppSelectionText, 2, 1}));
  EXPECT_EQ(sel->TextRange()->Text() + L"|" + sel->TextRange2()->Text() + L"|" + sel->ShapeRange()->Item(1)->Name(),
            L"irs|irs|A1");

  w->Selection()->Unselect();
  EXPECT_EQ(w->Selection()->Type(), ppSelectionNone);
  // The modern model selects the same way.
  a1->TextFrame2()->TextRange()->Characters(3, 2)->Select();
  EXPECT_EQ(w->Selection()->TextRange()->Text(), L"rs");
  w->Selection()->Unselect();

  w->SetViewType(ppViewSlideSorter);
  p->Slides()->Range(std::vector<int>{3, 1})->Select();
  EXPECT_EQ(w->Selection()->Type(), ppSelectionSlides);
  auto slides = w->Selection()->SlideRange();
  ASSERT_EQ(slides->Count(), 2);
  EXPECT_EQ(slides->Item(1)->SlideIndex(), 3);
  EXPECT_EQ(ErrorOf([&] { a1->Select(); }), E_FAIL);
}

TEST_F(PptxWindows, WindowGeometryOnTheVirtualScreen) {
  options.screenWidth = 1280;
  options.screenHeight = 1024;
  options.dpi = 128;
  Open();
  auto w = App()->ActiveWindow();
  EXPECT_EQ(w->WindowState(), ppWindowMaximized);
  EXPECT_EQ((std::vector<float>{w->Width(), w->Height()}), (std::vector<float>{720, (1024 - 40) * 72.0f / 128}));
  // A maximised window cannot be moved; a normal one can.
  EXPECT_EQ(ErrorOf([&] { w->SetLeft(10); }), E_FAIL);
  w->SetWindowState(ppWindowNormal);
  w->SetHeight(200);
  // Fractions of a point stay as given.
  w->SetLeft(10.25f);
  w->SetTop(380.75f);
  EXPECT_EQ((std::vector<float>{w->Left(), w->Top()}), (std::vector<float>{10.25f, 380.75f}));
  // Maximised, the window fills the work area; back to normal, it is where it was.
  w->SetWindowState(ppWindowMaximized);
  EXPECT_EQ((std::vector<float>{w->Left(), w->Width()}), (std::vector<float>{0, 720}));
  w->SetWindowState(ppWindowNormal);
  EXPECT_EQ((std::vector<float>{w->Left(), w->Height()}), (std::vector<float>{10.25f, 200}));
  EXPECT_EQ(ErrorOf([&] { w->SetWindowState(9); }), E_INVALIDARG);
  // Tiling shares the work area out side by side.
  App()->Presentations()->Open(path, true, false, true);
  App()->Windows()->Arrange(ppArrangeTiled);
  auto second = App()->Windows()->Item(2);
  EXPECT_EQ(second->WindowState(), ppWindowNormal);
  EXPECT_EQ((std::vector<float>{second->Left(), second->Width()}), (std::vector<float>{360, 360}));
  EXPECT_FLOAT_EQ(w->Height(), (1024 - 40) * 72.0f / 128);
  EXPECT_EQ(ErrorOf([&] { App()->Windows()->Arrange(7); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { pptx::CreateApplication(pptx::ApplicationOptions{L"16.0", {}, 0, 0, 0, {}}); }), E_INVALIDARG);
}

TEST_F(PptxWindows, SavedFinalAndWritePasswordLock) {
  auto p = Open();
  EXPECT_TRUE(p->Saved());
  EXPECT_FALSE(p->Final());
  EXPECT_FALSE(p->IsEmbedded());
  p->Slides()->Item(1)->SetName(L"Intro");
  EXPECT_FALSE(p->Saved());
  p->SetFinal(true);
  p->SaveCopyAs(At("final.pptx"), ppSaveAsDefault, false);
  auto f = App()->Presentations()->Open(At("final.pptx"), false, false, false);
  EXPECT_TRUE(f->Final());
  EXPECT_EQ(f->Slides()->Item(1)->Name(), L"Intro");
  EXPECT_EQ(f->Slides()->Item(2)->Name(), L"Slide257");
  EXPECT_EQ(f->Slides()->Range(std::vector<std::wstring>{L"Slide258", L"Intro"})->Item(1)->SlideIndex(), 3);

  decktest::Deck locked;
  locked.slides = {Sp(2, "A", 0, 0, P, P, "a")};
  locked.presentationExtra = "<p:modifyVerifier cryptProviderType=\"rsaAES\" hashData=\"x\" saltData=\"y\" spinCount=\"100000\"/>";
  decktest::Write(locked, dir / "locked.pptx");
  auto l = App()->Presentations()->Open(At("locked.pptx"), false, false, true);
  for (const std::function<void()>& refused : std::vector<std::function<void()>>{
           [&] { l->SetSaved(l->Saved()); }, [&] { l->SetFinal(true); }, [&] { l->Save(); },
           [&] { l->SaveAs(At("unlocked.pptx"), ppSaveAsDefault); }})
    EXPECT_EQ(ErrorOf(refused), E_ACCESSDENIED);
  EXPECT_TRUE(l->ReadOnly());
  // A copy carries the lock along, so the working copies of a run refuse too.
  l->SaveCopyAs(At("locked-copy.pptm"), ppSaveAsOpenXMLPresentationMacroEnabled, false);
  auto lc = App()->Presentations()->Open(At("locked-copy.pptm"), false, false, false);
  EXPECT_EQ(ErrorOf([&] { lc->SetSaved(true); }), E_ACCESSDENIED);
}

TEST_F(PptxWindows, FinalIsReadFromTheDecksCustomProperties) {
  for (const char* value : {"1", "false"}) {
    decktest::Deck d;
    d.slides = {Sp(2, "A", 0, 0, P, P, "a")};
    d.rootRels = {{"rIdC", "custom-properties", "docProps/custom.xml"}};
    d.parts["docProps/custom.xml"] = {
        "application/vnd.openxmlformats-officedocument.custom-properties+xml",
        std::string("<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/custom-properties\" "
                    "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\"><property "
                    "fmtid=\"{D5CDD505-2E9C-101B-9397-08002B2CF9AE}\" pid=\"2\" name=\"_MarkAsFinal\"><vt:bool>") +
            value + "</vt:bool></property></Properties>"};
    decktest::Write(d, dir / "final.pptx");
    auto p = App()->Presentations()->Open(At("final.pptx"), false, false, false);
    EXPECT_EQ(p->Final(), *value == '1') << value;
    p->Close();
  }
}

TEST_F(PptxWindows, SlideShowsCountUntilTheirPresentationCloses) {
  auto a = Open();
  auto b = App()->Presentations()->Open(path, true, false, false);
  pptx::RunSlideShow(App(), a);
  pptx::RunSlideShow(App(), b);
  b->Close();
  EXPECT_EQ(App()->SlideShowWindows()->Count(), 1);
  pptx::EndSlideShows(App());
  EXPECT_EQ(App()->SlideShowWindows()->Count(), 0);
  EXPECT_EQ(ErrorOf([&] { pptx::RunSlideShow(App(), App()->Presentations()->Add(false)); }), E_FAIL);
  EXPECT_EQ(ErrorOf([&] { pptx::RunSlideShow(pptx::CreateApplication(), a); }), E_INVALIDARG);
}

TEST_F(PptxWindows, OnlyTheOpeningThreadMayUseAPresentation) {
  auto p = Open();
  auto shape = p->Slides()->Item(1)->Shapes()->Item(1);
  HRESULT slides = S_OK, name = S_OK;
  std::thread other([&] {
    slides = ErrorOf([&] { p->Slides(); });
    name = ErrorOf([&] { shape->Name(); });
  });
  other.join();
  EXPECT_EQ(slides, kWrongThread);
  EXPECT_EQ(name, kWrongThread);
  EXPECT_EQ(shape->Name(), L"A1");
}

TEST_F(PptxWindows, ReleasingEveryReferenceEndsTheApplication) {
  std::weak_ptr<Application> weak;
  {
    auto p = Open();
    weak = App();
    p->Slides()->Item(1)->Shapes()->Item(1)->Select();
    auto bar = App()->CommandBars()->Add(L"Tools", msoBarTop, false, true);
    auto button = bar->Controls()->Add(msoControlButton, 1, {}, 0, true);
    // The caller's event sink holds the application, as a menu does.
    auto sink = std::make_shared<Recorder>();
    sink->onClick = [held = App()] {};
    auto cookie = button->Advise(sink);
    button->Unadvise(cookie);
    app.reset();
  }
  EXPECT_TRUE(weak.expired());
}

TEST_F(PptxWindows, SaveCopyAsChangesOnlyTheCopysFormat) {
  auto p = Open();
  p->Slides()->Item(2)->SetName(L"Changed");
  p->SaveCopyAs(At("edited.pptx"), ppSaveAsDefault, false);
  // A copy does not save the presentation itself.
  EXPECT_FALSE(p->Saved());
  p->SetSaved(true);
  auto before = decktest::ReadEntries(dir / "deck.pptx");
  p->SaveCopyAs(At("copy.pptm"), ppSaveAsOpenXMLPresentationMacroEnabled, false);
  auto pkg = pptx::Package::Open(dir / "copy.pptm");
  EXPECT_EQ(pkg->ContentType("ppt/presentation.xml"), "application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml");
  // The presentation itself and its file are unchanged.
  EXPECT_TRUE(p->Saved());
  EXPECT_EQ(p->FullName(), path);
  EXPECT_EQ(before, decktest::ReadEntries(dir / "deck.pptx"));
  // The classic-format copy is the same package under the old extension.
  p->SaveCopyAs(At("copy.ppt"), ppSaveAsPresentation, false);
  EXPECT_EQ(decktest::ReadEntries(dir / "edited.pptx"), decktest::ReadEntries(dir / "copy.ppt"));
  auto reopened = App()->Presentations()->Open(At("copy.pptm"), false, false, true);
  EXPECT_EQ(reopened->Slides()->Count(), 3);
  EXPECT_EQ(reopened->Slides()->Item(2)->Name(), L"Changed");
  // A template saved from the macro-enabled working copy is a template again.
  reopened->SaveCopyAs(At("copy.potx"), ppSaveAsOpenXMLTemplate, false);
  EXPECT_EQ(pptx::Package::Open(dir / "copy.potx")->ContentType("ppt/presentation.xml"),
            "application/vnd.openxmlformats-officedocument.presentationml.template.main+xml");
  EXPECT_EQ(ErrorOf([&] { p->SaveCopyAs(At("x.pptx"), 99, false); }), E_INVALIDARG);
  // Save as moves the presentation itself.
  p->SaveAs(At("moved.pptx"), ppSaveAsDefault);
  EXPECT_TRUE(p->Saved());
  EXPECT_EQ(p->Name(), L"moved.pptx");
  EXPECT_EQ(App()->Presentations()->Open(At("moved.pptx"), true, false, false)->Slides()->Item(2)->Name(), L"Changed");
}

// A popup menu of buttons on the menu bar, and a toolbar of icons: where
// controls go, what finds them, what a click reaches and what a deletion takes.
TEST_F(PptxWindows, CommandBarsHoldFindAndClickTheirControls) {
  auto bars = App()->CommandBars();
  auto menu = bars->Item(L"Menu Bar");
  EXPECT_EQ(ErrorOf([&] { menu->Delete(); }), E_ACCESSDENIED);
  const int before = menu->Controls()->Count();
  auto popup = menu->Controls()->Add(msoControlPopup, 1, {}, 0, true);
  popup->SetTag(L"Prog.Id");
  auto b = popup->Controls()->Add(msoControlButton, 1, {}, 0, true);
  b->SetTag(L"Prog.Id.MENU.TRAN-SHEET");
  b->SetVisible(false);
  auto first = popup->Controls()->Add(msoControlButton, 1, {}, 1, true);  // before the first
  EXPECT_EQ(popup->Controls()->Item(1)->Identity(), first->Identity());
  EXPECT_EQ(b->Index(), 2);
  EXPECT_EQ(bars->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false)->Identity(), b->Identity());
  EXPECT_FALSE(bars->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", true));
  EXPECT_FALSE(menu->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false, false));
  EXPECT_TRUE(menu->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false, true));
  popup->Delete(false);
  EXPECT_EQ(menu->Controls()->Count(), before);
  EXPECT_EQ(ErrorOf([&] { b->Caption(); }), E_FAIL);

  auto tb = bars->Add(L"Tools", msoBarTop, false, true);
  EXPECT_EQ(ErrorOf([&] { bars->Add(L"Tools", msoBarTop, false, true); }), E_INVALIDARG);
  auto btn = tb->Controls()->Add(msoControlButton, 1, {}, 0, true), btn2 = tb->Controls()->Add(msoControlButton, 1, {}, 0, true);
  for (auto& c : {btn, btn2}) c->SetStyle(msoButtonIcon);
  EXPECT_EQ(btn2->Left(), btn->Left() + btn->Width());
  btn->SetTag(L"T.1");
  auto one = std::make_shared<Recorder>(), two = std::make_shared<Recorder>();
  auto c1 = btn->Advise(one), c2 = btn->Advise(two);
  btn->Unadvise(c1);
  EXPECT_EQ(ErrorOf([&] { btn->Unadvise(c1); }), E_INVALIDARG);
  EXPECT_EQ(ErrorOf([&] { btn->Advise(nullptr); }), E_INVALIDARG);
  two->onClick = [&] { btn->Unadvise(c2); };  // a sink may disconnect itself while it handles the click
  btn->Execute();
  btn->Execute();
  EXPECT_EQ(one->clicks.size() + two->clicks.size(), 1u);
  EXPECT_EQ(two->clicks, std::vector<std::wstring>{L"T.1"});
  btn->Advise(one);
  btn->SetEnabled(false);
  EXPECT_EQ(ErrorOf([&] { btn->Execute(); }), E_FAIL);
  EXPECT_TRUE(one->clicks.empty());
  tb->Delete();
  EXPECT_EQ(ErrorOf([&] { btn->Execute(); }), E_FAIL);
}
