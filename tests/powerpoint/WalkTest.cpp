#include <algorithm>
#include <array>

#include "tests/powerpoint/PowerPointFixture.h"
#include "src/host/pptx/PptxPackage.h"

using namespace pptest;
using decktest::Sp;

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
  auto frame = [](const host::Ptr<host::Presentation>& p) {
    auto shapes = p->Slides()->Item(1)->Shapes();
    for (int i = 1; i <= shapes->Count(); ++i)
      if (shapes->Item(i)->Type() == host::msoSmartArt) return shapes->Item(i);
    return host::Ptr<host::Shape>();
  };
  ASSERT_TRUE(frame(original));
  const std::vector<std::wstring> before = DrawnTexts(frame(original));
  ASSERT_TRUE(RunAll());
  const std::vector<std::wstring> after = DrawnTexts(frame(Outcome().translation));
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i], fourTimes(before[i]));
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
    app.reset();
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
    app.reset();
    record.OutputDestType = dest;
    Open(ThreeSlides());
    original->Slides()->Item(1)->Shapes()->Item(2)->SetVisible(false);
    ASSERT_TRUE(RunAll());
    EXPECT_TRUE(ErrorIds().empty());
    EXPECT_EQ(Text(Outcome().translation, 1, 2), L"[Beta]");
    EXPECT_EQ(Text(Outcome().translation, 3, 1), L"[Delta]");
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
    app.reset();
    engine::AppCommon::Instance().SetCancel(false);
    record.IgnoresShape = c.ignore;
    impl->SetTranslator([&c](const std::wstring& s) {
      if (c.cancel) engine::AppCommon::Instance().SetCancel(true);
      return L"[" + s + L"]";
    });
    Open(d);
    ASSERT_TRUE(RunAll());
    auto slide = Outcome().translation->Slides()->Item(1)->Shapes();
    EXPECT_EQ(autoSize(slide->Item(1)), host::ppAutoSizeShapeToFitText);
    EXPECT_EQ(Text(Outcome().translation, 2, 1), c.cancel || c.ignore ? L"Omega" : L"[Omega]");
    if (c.cancel) continue;
    EXPECT_EQ(slide->Item(1)->TextFrame()->TextRange()->Text(), c.ignore ? L"Alpha" : L"[Alpha]");
    EXPECT_EQ(autoSize(slide->Item(2)->GroupItems()->Item(1)), host::ppAutoSizeShapeToFitText);
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
    EXPECT_EQ(impl->AnsweredAhead(), static_cast<int>(asked.size()));
    EXPECT_EQ(impl->DroppedAhead(), 0);
  }
}

TEST_F(RunTest, ACancelDropsWhatTheWalkAnnouncedAndAnnouncesNoMore) {
  OpenFile(testsupport::CorpusDeck("poi__stress013.pptx"));
  int asked = 0;
  impl->SetTranslator([&](const std::wstring& s) {
    if (++asked == 3) engine::AppCommon::Instance().SetCancel(true);
    return L"[" + s + L"]";
  });
  ASSERT_TRUE(RunAll());
  EXPECT_TRUE(Outcome().cancelled);
  int announced = 0;
  for (const auto& call : impl->AheadCalls()) announced += static_cast<int>(call.size());
  EXPECT_EQ(impl->AnsweredAhead(), 3);
  EXPECT_GT(announced, 3);
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
    app.reset();
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
