#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>

#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/platform/Strings.h"
#include "tests/host/DeckBuilder.h"
#include "tests/platform/TestSupport.h"

using namespace host;
using decktest::Sp;
using testsupport::ErrorOf;

namespace {

constexpr long P = 12700;  // EMU per point

using Points = std::vector<double>;
// Left, top, width and height, to a thousandth of a point.
Points Box(const Ptr<Shape>& s) {
  Points out;
  for (float v : {s->Left(), s->Top(), s->Width(), s->Height()}) out.push_back(std::round(v * 1000) / 1000);
  return out;
}

class PptxShapes : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  Ptr<Application> app = pptx::CreateApplication();
  std::wstring At(const char* name) { return platform::FromUtf8((dir / name).string()); }
  Ptr<Presentation> Open(const decktest::Deck& d) {
    decktest::Write(d, dir / "deck.pptx");
    return app->Presentations()->Open(At("deck.pptx"), false, false, true);
  }
  Ptr<Presentation> Reopen(const Ptr<Presentation>& p) {
    p->SaveCopyAs(At("copy.pptx"), ppSaveAsDefault, false);
    return app->Presentations()->Open(At("copy.pptx"), false, false, false);
  }
};

struct Recorder : CommandBarButtonEvents {
  std::vector<std::wstring> clicks;
  std::function<void()> onClick;
  void Click(const Ptr<CommandBarControl>& c, bool&) noexcept override {
    clicks.push_back(c->Tag());
    if (onClick) onClick();
  }
};

// Windows, views and the application around a deck of three slides; the
// application starts with the test's options when first asked for.
class PptxWindows : public PptxShapes {
 protected:
  pptx::ApplicationOptions options;
  std::wstring path;

  void SetUp() override {
    app = nullptr;
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
};

}  // namespace

using TextLayoutCache = PptxShapes;

// A text's bounds are worked out once and kept until the shape or its text
// changes: whatever changes between two reads, the second read, through a
// new range or one read before, must equal what the changed deck gives when
// opened afresh. The same holds for a master's theme.
TEST_F(TextLayoutCache, ABoundsReadSeesEveryChangeSinceTheLastOne) {
  static const std::wstring kWords = L"Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello";
  const struct {
    const char* name;
    const char* bodyPr;
    std::function<void(const Ptr<Shape>&)> apply;
  } changes[] = {
      {"narrower shape", "<a:bodyPr/>", [](const Ptr<Shape>& s) { s->SetWidth(80); }},
      {"wider margin", "<a:bodyPr/>", [](const Ptr<Shape>& s) { s->TextFrame()->SetMarginLeft(100); }},
      {"no wrapping", "<a:bodyPr/>", [](const Ptr<Shape>& s) { s->TextFrame()->SetWordWrap(msoFalse); }},
      {"larger font through another range", "<a:bodyPr/>",
       [](const Ptr<Shape>& s) { s->TextFrame2()->TextRange()->Font()->SetSize(40); }},
      {"wider letter spacing", "<a:bodyPr/>",
       [](const Ptr<Shape>& s) { s->TextFrame2()->TextRange()->Font()->SetSpacing(5); }},
      {"larger last word", "<a:bodyPr/>",
       [](const Ptr<Shape>& s) { s->TextFrame2()->TextRange()->Characters(67, 5)->Font()->SetSize(40); }},
      {"larger font over an empty paragraph laid out before", "<a:bodyPr/>",
       [](const Ptr<Shape>& s) {
         s->TextFrame2()->TextRange()->InsertAfter(L"\r\rHi");
         auto r = s->TextFrame2()->TextRange();
         r->BoundHeight();
         r->Characters(73, 3)->Font()->SetSize(40);
       }},
      {"longer text", "<a:bodyPr/>",
       [](const Ptr<Shape>& s) { s->TextFrame()->TextRange()->InsertAfter(L"\r" + kWords); }},
      {"longer text that shrinks to fit", "<a:bodyPr><a:normAutofit/></a:bodyPr>",
       [](const Ptr<Shape>& s) { s->TextFrame()->TextRange()->InsertAfter(L"\r" + kWords + kWords); }},
      // Two lines at the next scale up, three at full size: the search
      // goes up one step and stops on the one it tried before the last.
      {"shorter text that grows but not to full size", "<a:bodyPr><a:normAutofit/></a:bodyPr>",
       [](const Ptr<Shape>& s) { s->TextFrame()->TextRange()->SetText(kWords.substr(0, 49)); }},
  };
  for (const auto& c : changes) {
    SCOPED_TRACE(c.name);
    decktest::Deck d;
    std::string sp = Sp(2, "Box", 0, 0, 200 * P, 60 * P, "Hi");
    d.slides = {sp.replace(sp.find("<a:bodyPr/>"), 11, c.bodyPr)};
    auto p = Open(d);
    auto shape = p->Slides()->Item(1)->Shapes()->Item(1);
    shape->TextFrame2()->TextRange()->SetText(kWords);
    // A range read before the change reads it too.
    auto held = shape->TextFrame2()->TextRange();
    const float before = held->BoundHeight();
    c.apply(shape);
    const float after = shape->TextFrame2()->TextRange()->BoundHeight();
    EXPECT_NE(after, before);
    EXPECT_EQ(held->BoundHeight(), shape->TextFrame2()->TextRange()->Characters(1, kWords.size())->BoundHeight());
    auto fresh = Reopen(p)->Slides()->Item(1)->Shapes()->Item(1)->TextFrame2()->TextRange();
    EXPECT_NEAR(after, fresh->BoundHeight(), 0.01);
  }
}

TEST_F(PptxShapes, IdentityIsTheSlideAndShapeIdWhicheverHandleAsks) {
  decktest::Deck d;
  d.slides = {Sp(2, "A", 0, 0, P, P, "a") + Sp(3, "B", 0, 0, P, P, "b") +
                  decktest::Group(4, "G", "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"10\" cy=\"10\"/>", Sp(5, "In", 0, 0, 1, 1, "i")),
              Sp(2, "A", 0, 0, P, P, "a")};
  auto p = Open(d);
  auto shapes = p->Slides()->Item(1)->Shapes();
  const ShapeIdentity a{256, false, 2};
  // By index, by name, through a range, a group member, and (a value, not a
  // handle) in the copy of the deck.
  EXPECT_EQ((std::vector<ShapeIdentity>{
                shapes->Item(1)->Identity(), shapes->Item(L"A")->Identity(),
                p->Slides()->Range()->Item(1)->Shapes()->Range(std::vector<std::wstring>{L"B", L"A"})->Item(2)->Identity(),
                shapes->Item(3)->GroupItems()->Item(1)->Identity(),
                Reopen(p)->Slides()->Item(1)->Shapes()->Item(1)->Identity()}),
            (std::vector<ShapeIdentity>{a, a, a, {256, false, 5}, a}));
  // Another shape, the same shape id on another slide or on the slide's notes page.
  auto notesShape = p->Slides()->Item(1)->NotesPage()->Shapes()->Item(1);
  EXPECT_EQ(notesShape->Id(), 2);
  for (auto& other : {shapes->Item(2), p->Slides()->Item(2)->Shapes()->Item(1), notesShape})
    EXPECT_NE(other->Identity(), a) << platform::ToUtf8(other->Name());
  // Ranges by name and by index, in the order asked for.
  EXPECT_EQ(std::tuple(shapes->Range()->Count(), shapes->Range(std::vector<int>{3, 2})->Item(2)->Name()), std::tuple(3, L"B"));
  EXPECT_EQ(ErrorOf([&] { shapes->Range(std::vector<std::wstring>{L"Missing"}); }), E_INVALIDARG);
}

// Each kind of shape reports its type and answers the kind-specific members
// on its own; a member a kind lacks fails rather than reading another kind's
// markup.
TEST_F(PptxShapes, EachKindReportsItsTypeAndAnswersItsOwnMembers) {
  decktest::Deck d;
  d.slides = {
      Sp(2, "Rect", 0, 0, 100 * P, 50 * P, "a") + Sp(3, "Box", 0, 0, P, P, "b", true) +
      decktest::Ph(4, "Title 1", "type=\"title\"", "", "T") +
      decktest::Group(5, "Group", "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"10\" cy=\"10\"/><a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"10\" cy=\"10\"/>",
                      Sp(6, "Inner", 0, 0, 1, 1, "c")) +
      decktest::Table(7, "Table", 2, {decktest::Cell("x") + decktest::Cell("y")}) +
      decktest::GraphicFrame(8, "Chart", "http://schemas.openxmlformats.org/drawingml/2006/chart", "<c:chart xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" r:id=\"rId9\"/>") +
      decktest::GraphicFrame(9, "Diagram", "http://schemas.openxmlformats.org/drawingml/2006/diagram", "") +
      "<p:pic><p:nvPicPr><p:cNvPr id=\"10\" name=\"Picture\"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr><p:blipFill><a:blip r:embed=\"rId5\"/></p:blipFill><p:spPr/></p:pic>" +
      "<p:cxnSp><p:nvCxnSpPr><p:cNvPr id=\"11\" name=\"Line\"/><p:cNvCxnSpPr/><p:nvPr/></p:nvCxnSpPr><p:spPr><a:prstGeom prst=\"line\"/></p:spPr></p:cxnSp>" +
      "<p:sp><p:nvSpPr><p:cNvPr id=\"12\" name=\"Art\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr/>" +
      decktest::Body("WordArt", "<a:bodyPr fromWordArt=\"1\"><a:prstTxWarp prst=\"textPlain\"/></a:bodyPr>") + "</p:sp>" +
      Sp(13, "Callout", 0, 0, 1, 1, "", false, "borderCallout1")};
  auto shapes = Open(d)->Slides()->Item(1)->Shapes();
  // Per shape: its type, HasTextFrame, HasTable, HasChart, HasSmartArt, then
  // what GroupItems, Table, TextFrame2 and PlaceholderFormat fail with.
  const int F = E_FAIL;
  const std::pair<const wchar_t*, std::vector<HRESULT>> cases[] = {
      {L"Rect", {msoAutoShape, 1, 0, 0, 0, F, F, S_OK, F}},   {L"Box", {msoTextBox, 1, 0, 0, 0, F, F, S_OK, F}},
      {L"Title 1", {msoPlaceholder, 1, 0, 0, 0, F, F, S_OK, S_OK}}, {L"Group", {msoGroup, 0, 0, 0, 0, S_OK, F, F, F}},
      {L"Table", {msoTable, 0, 1, 0, 0, F, S_OK, F, F}},     {L"Chart", {msoChart, 0, 0, 1, 0, F, F, F, F}},
      {L"Diagram", {msoSmartArt, 0, 0, 0, 1, S_OK, F, F, F}}, {L"Picture", {msoPicture, 0, 0, 0, 0, F, F, F, F}},
      {L"Line", {msoLine, 0, 0, 0, 0, F, F, F, F}},          {L"Art", {msoTextEffect, 1, 0, 0, 0, F, F, S_OK, F}},
      {L"Callout", {msoCallout, 1, 0, 0, 0, F, F, S_OK, F}}};
  ASSERT_EQ(shapes->Count(), static_cast<int>(std::size(cases)));
  for (int i = 1; i <= shapes->Count(); ++i) {
    const auto& [name, expected] = cases[i - 1];
    auto s = shapes->Item(i);
    EXPECT_EQ((std::vector<HRESULT>{s->Type(), s->HasTextFrame(), s->HasTable(), s->HasChart(), s->HasSmartArt(),
                                    ErrorOf([&] { s->GroupItems(); }), ErrorOf([&] { s->Table(); }),
                                    ErrorOf([&] { s->TextFrame2(); }), ErrorOf([&] { s->PlaceholderFormat(); })}),
              expected)
        << platform::ToUtf8(name);
    EXPECT_EQ(s->Name() + (s->ParentGroup() ? L" grouped" : L""), name);
  }
  EXPECT_EQ(std::tuple(shapes->Item(L"Art")->TextEffect()->Text(), ErrorOf([&] { shapes->Item(99); })),
            std::tuple(std::wstring(L"WordArt"), DISP_E_BADINDEX));
  // A table cell: a text holder without an id, name, group or geometry of its own.
  auto cell = shapes->Item(L"Table")->Table()->Cell(1, 2)->Shape();
  EXPECT_EQ((std::vector<HRESULT>{cell->Type(), cell->Id(), cell->AutoShapeType(), ErrorOf([&] { cell->SetWidth(10); }),
                                  ErrorOf([&] { cell->Delete(); })}),
            (std::vector<HRESULT>{msoAutoShape, 0, 1, E_FAIL, E_FAIL}));
  EXPECT_EQ(cell->Name() + (cell->ParentGroup() ? L"grouped" : L"") + L"|" + cell->TextFrame()->TextRange()->Text(), L"|y");
  EXPECT_EQ(shapes->Item(L"Group")->GroupItems()->Item(1)->ParentGroup()->Name(), L"Group");
}

// A title and a body that state no frame of their own; the layout moves
// the body but leaves the title to the master.
decktest::Deck InheritingDeck() {
  decktest::Deck d;
  d.masterShapes = decktest::Ph(2, "Title Placeholder", "type=\"title\"", decktest::Xfrm(10 * P, 20 * P, 300 * P, 40 * P), "") +
                   decktest::Ph(3, "Text Placeholder", "type=\"body\" idx=\"1\"", decktest::Xfrm(10 * P, 80 * P, 300 * P, 200 * P), "");
  d.layoutShapes = decktest::Ph(2, "Title 1", "type=\"title\"", "", "") +
                   decktest::Ph(3, "Content Placeholder 2", "idx=\"1\"", decktest::Xfrm(50 * P, 90 * P, 200 * P, 100 * P), "");
  // Then placeholders of other kinds, and a table in a placeholder.
  d.slides = {decktest::Ph(2, "Title 1", "type=\"title\"", "", "Hello") +
              decktest::Ph(3, "Content Placeholder 2", "idx=\"1\"", "", "Body") +
              decktest::Ph(4, "Sub", "type=\"subTitle\" idx=\"1\"", "", "s") +
              decktest::Ph(5, "Vert", "type=\"body\" orient=\"vert\" idx=\"2\"", "", "v") +
              decktest::Ph(6, "Date", "type=\"dt\" sz=\"half\" idx=\"10\"", "", "d") +
              decktest::Table(7, "TablePh", 1, {decktest::Cell("t")}, "<p:ph idx=\"3\"/>")};
  return d;
}

TEST_F(PptxShapes, PlaceholdersInheritGeometryFromLayoutThenMasterAndHaveKinds) {
  auto p = Open(InheritingDeck());
  auto shapes = p->Slides()->Item(1)->Shapes();
  auto title = shapes->Item(1), body = shapes->Item(2);
  EXPECT_EQ(std::tuple(Box(title), Box(body), body->PlaceholderFormat()->ContainedType()),
            std::tuple(Points{10, 20, 300, 40}, Points{50, 90, 200, 100}, msoAutoShape));
  // Moving the master's title moves the title that inherits it.
  p->SlideMaster()->Shapes()->Item(1)->SetTop(5);
  EXPECT_EQ(Box(title), (Points{10, 5, 300, 40}));
  // Writing a size gives the slide its own frame, starting from the inherited one.
  body->SetHeight(120);
  EXPECT_EQ(Box(Reopen(p)->Slides()->Item(1)->Shapes()->Item(2)), (Points{50, 90, 200, 120}));
  // Placeholder kinds, and a table in a placeholder.
  std::vector<int> types;
  for (int i = 1; i <= 5; ++i) types.push_back(shapes->Item(i)->PlaceholderFormat()->Type());
  EXPECT_EQ(types, (std::vector<int>{ppPlaceholderTitle, ppPlaceholderObject, ppPlaceholderSubtitle,
                                     ppPlaceholderVerticalBody, ppPlaceholderDate}));
  auto tph = shapes->Item(6);
  EXPECT_EQ((std::vector<int>{tph->Type(), tph->HasTextFrame(), tph->PlaceholderFormat()->ContainedType(), tph->HasTable()}),
            (std::vector<int>{msoPlaceholder, false, msoTable, true}));
}

// What a placeholder inherits from is found once per state of the document;
// an edit that points it elsewhere is seen by the next read.
TEST_F(PptxShapes, AnInheritedFrameFollowsEditsOfWhatItInheritsFrom) {
  decktest::Write(InheritingDeck(), dir / "deck.pptx");
  auto doc = pptx::Document::Open(dir / "deck.pptx");
  const pptx::SlideInfo& slide = doc->SlideList().at(0);
  Ptr<Shape> shape = pptx::MakeShapes({doc, slide.id, slide.part, false})->Item(2);
  ASSERT_EQ(Box(shape), (Points{50, 90, 200, 100}));
  // The layout's body removed: the master's frame.
  const std::string layout = "ppt/slideLayouts/slideLayout1.xml";
  pugi::xml_node tree = doc->Pkg().Xml(layout).document_element().child("p:cSld").child("p:spTree");
  tree.remove_child(tree.last_child());
  doc->MarkDirty(layout);
  EXPECT_EQ(Box(shape), (Points{10, 80, 300, 200}));
  // The slide's body made a title: the title's frame.
  pugi::xml_node ph = doc->Pkg().Xml(slide.part).select_node("//p:sp[2]/p:nvSpPr/p:nvPr/p:ph").node();
  ph.remove_attribute("idx");
  ph.append_attribute("type") = "title";
  doc->MarkDirty(slide.part);
  EXPECT_EQ(Box(shape), (Points{10, 20, 300, 40}));
}

// Geometry reads in points and is written back; group transforms map
// children onto the slide. "nan", "inf" and overflowing numbers in
// coordinates and insets gave shapes positions and margins that are not
// numbers; they count as absent. A number with a sign is still a number.
TEST_F(PptxShapes, GeometryInPointsThroughGroupsWrittenBackAndNotFiniteAsAbsent) {
  // The group is drawn at (100,100) pt with size 200x100 pt; its children
  // live in a child space twice as large, offset by (1000,1000) EMU.
  auto xf = [](long x, long y, long cx, long cy, long chx, long chcx) {
    return "<a:off x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\"/><a:ext cx=\"" + std::to_string(cx) +
           "\" cy=\"" + std::to_string(cy) + "\"/><a:chOff x=\"" + std::to_string(chx) + "\" y=\"" + std::to_string(chx) +
           "\"/><a:chExt cx=\"" + std::to_string(chcx) + "\" cy=\"" + std::to_string(chcx / 2) + "\"/>";
  };
  decktest::Deck d;
  d.slides = {decktest::Group(2, "Outer", xf(100 * P, 100 * P, 200 * P, 100 * P, 1000, 400 * P),
                              Sp(3, "A", 1000 + 40 * P, 1000 + 20 * P, 80 * P, 40 * P, "a") +
                                  decktest::Group(4, "Nested", xf(1000, 1000, 200 * P, 100 * P, 0, 200 * P),
                                                  Sp(5, "B", 20 * P, 10 * P, 20 * P, 20 * P, "b"))) +
              Sp(6, "Rect", 72 * P, 36 * P, 144 * P, 18 * P, "a") +
              "<p:sp><p:nvSpPr><p:cNvPr id=\"7\" name=\"Odd\"/><p:cNvSpPr/><p:nvPr/></p:nvSpPr><p:spPr><a:xfrm>"
              "<a:off x=\"+12700\" y=\"inf\"/><a:ext cx=\"1e999\" cy=\"-nan\"/></a:xfrm></p:spPr>" +
              decktest::Body("text", "<a:bodyPr lIns=\"nan\" tIns=\"-inf\"/>") + "</p:sp>"};
  auto p = Open(d);
  auto shapes = p->Slides()->Item(1)->Shapes();
  auto group = shapes->Item(1), s = shapes->Item(2), odd = shapes->Item(3);
  EXPECT_EQ(std::tuple(Box(s), Box(odd), Points{odd->TextFrame()->MarginLeft(), odd->TextFrame()->MarginTop()}),
            std::tuple(Points{72, 36, 144, 18}, Points{1, 0, 0, 0}, Points{7.2f, 3.6f}));
  auto items = group->GroupItems();
  // Nested groups are flattened into their leaf shapes.
  auto a = items->Item(1), b = items->Item(2);
  // Nested: scaled by 0.5 into the outer group's space, then into the slide.
  EXPECT_EQ(std::tuple(items->Count(), Box(a), Box(b), a->ParentGroup()->Name() + L"|" + b->ParentGroup()->Name()),
            std::tuple(2, Points{120, 110, 40, 20}, Points{110, 105, 10, 10}, L"Outer|Nested"));
  a->SetLeft(150);
  a->SetHeight(30);
  s->SetHeight(s->Height() * 2);
  s->SetLeft(10.5f);
  auto again = Reopen(p)->Slides()->Item(1)->Shapes();
  EXPECT_EQ(std::tuple(p->Saved(), Box(again->Item(1)->GroupItems()->Item(1)), Box(again->Item(2)),
                       ErrorOf([&] { again->Item(2)->SetWidth(-1); })),
            std::tuple(false, Points{150, 110, 40, 30}, Points{10.5, 36, 144, 36}, E_INVALIDARG));
  EXPECT_THROW(items->Item(3), platform::ComError);
  // Resizing the group scales what it holds: A, moved to 50 pt inside the group, is now twice as far
  // (read through the handle that read it before).
  group->SetWidth(400);
  EXPECT_EQ(Box(a), (Points{100 + 50 * 2, 110, 80, 30}));
}

TEST_F(PptxShapes, TablesWithMergedCellsShareOneCellShape) {
  using decktest::Cell;
  decktest::Deck d;
  // A 3x3 table whose top-left 2x2 block is merged.
  d.slides = {decktest::Table(2, "T", 3,
                              {Cell("merged", " gridSpan=\"2\" rowSpan=\"2\"") + Cell("", " hMerge=\"1\"") + Cell("c13"),
                               Cell("", " vMerge=\"1\"") + Cell("", " hMerge=\"1\" vMerge=\"1\"") + Cell("c23"),
                               Cell("c31") + Cell("c32") + Cell("c33")}) +
              // Spans up to the largest int overflowed the cell's extent sums; they end at the grid's edge.
              decktest::Table(3, "Far", 2, {Cell("a") + Cell("b", " gridSpan=\"2147483647\" rowSpan=\"2147483647\""),
                                            Cell("c") + Cell("d")})};
  auto p = Open(d);
  auto shape = p->Slides()->Item(1)->Shapes()->Item(1);
  auto t = shape->Table();
  EXPECT_EQ((std::vector<int>{t->Rows()->Count(), t->Columns()->Count()}), (std::vector<int>{3, 3}));
  auto origin = t->Cell(1, 1)->Shape();
  EXPECT_EQ(origin->Identity(), (ShapeIdentity{256, false, 2, 1, 1}));
  for (auto [r, c] : std::vector<std::pair<int, int>>{{1, 2}, {2, 1}, {2, 2}})
    EXPECT_EQ(t->Cell(r, c)->Shape()->Identity(), origin->Identity()) << r << "," << c;
  // Through another handle on the table, too.
  EXPECT_EQ(p->Slides()->Item(1)->Shapes()->Item(L"T")->Table()->Cell(2, 2)->Shape()->Identity(), origin->Identity());
  EXPECT_TRUE(t->Cell(1, 3)->Shape()->Identity() != origin->Identity() &&
              t->Cell(3, 1)->Shape()->Identity() != t->Cell(3, 2)->Shape()->Identity());
  EXPECT_EQ(origin->TextFrame()->TextRange()->Text() + L"|" + t->Cell(2, 3)->Shape()->TextFrame()->TextRange()->Text(),
            L"merged|c23");
  // Cell geometry follows the grid: the merged cell spans two columns and rows.
  EXPECT_EQ(Box(origin), (Points{100, 100, 200, 60}));
  EXPECT_EQ((Points{t->Cell(3, 3)->Shape()->Left(), t->Rows()->Item(1)->Height(), t->Columns()->Item(2)->Width()}),
            (Points{100 + 200, 30, 100}));
  EXPECT_EQ(ErrorOf([&] { t->Cell(4, 1); }), DISP_E_BADINDEX);
  EXPECT_EQ(Box(p->Slides()->Item(1)->Shapes()->Item(L"Far")->Table()->Cell(1, 2)->Shape()), (Points{200, 100, 100, 60}));
  // Merging more cells reshapes the areas.
  t->Cell(3, 1)->Merge(t->Cell(3, 3));
  auto t2 = Reopen(p)->Slides()->Item(1)->Shapes()->Item(1)->Table();
  EXPECT_EQ(t2->Cell(3, 3)->Shape()->Identity(), t2->Cell(3, 1)->Shape()->Identity());
}

TEST_F(PptxShapes, TextFramePropertiesReadThroughInheritanceAndWrite) {
  decktest::Deck d;
  d.masterShapes = "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Title\"/><p:cNvSpPr/><p:nvPr><p:ph type=\"title\"/></p:nvPr></p:nvSpPr>"
                   "<p:spPr>" + decktest::Xfrm(0, 0, 100 * P, 50 * P) + "</p:spPr>" +
                   decktest::Body("", "<a:bodyPr anchor=\"ctr\" lIns=\"0\" wrap=\"none\"><a:normAutofit/></a:bodyPr>") + "</p:sp>";
  std::string bare = Sp(4, "Bare", 0, 0, P, P, "");
  bare.erase(bare.find("<p:txBody>"), bare.find("</p:txBody>") + 11 - bare.find("<p:txBody>"));
  d.slides = {decktest::Ph(2, "Title 1", "type=\"title\"", "", "Hi") + Sp(3, "Plain", 0, 0, P, P, "") + bare};
  auto p = Open(d);
  auto title = p->Slides()->Item(1)->Shapes()->Item(1);
  auto tf = title->TextFrame();
  EXPECT_EQ((Points{tf->MarginLeft(), tf->MarginRight(), tf->MarginTop()}), (Points{0, 7.2f, 3.6f}));
  auto plain = p->Slides()->Item(1)->Shapes()->Item(2);
  EXPECT_EQ((std::vector<int>{tf->VerticalAnchor(), tf->WordWrap(), tf->AutoSize(), title->TextFrame2()->AutoSize(),
                              tf->Orientation(), tf->HasText(), plain->TextFrame()->HasText(),
                              plain->TextFrame2()->HasText()}),
            (std::vector<int>{msoAnchorMiddle, msoFalse, ppAutoSizeNone, msoAutoSizeTextToFitShape,
                              msoTextOrientationHorizontal, true, false, msoFalse}));
  // A handle that has read its settings follows the edits that change where
  // they come from: a body of its own made through another handle,
  // inherited properties deleted.
  auto bareTf = p->Slides()->Item(1)->Shapes()->Item(3)->TextFrame();
  EXPECT_EQ(bareTf->MarginLeft(), 7.2f);
  p->Slides()->Item(1)->Shapes()->Item(3)->TextFrame2()->SetMarginLeft(5);
  p->SlideMaster()->Shapes()->Item(1)->Delete();
  EXPECT_EQ(std::tuple(bareTf->MarginLeft(), tf->MarginLeft()), std::tuple(5.0f, 7.2f));
  plain->TextFrame()->SetAutoSize(ppAutoSizeShapeToFitText);
  plain->TextFrame()->SetWordWrap(msoTrue);
  plain->TextFrame()->SetMarginBottom(9);
  plain->TextFrame2()->SetOrientation(msoTextOrientationUpward);
  EXPECT_THROW(plain->TextFrame()->SetAutoSize(5), platform::ComError);
  auto again = Reopen(p)->Slides()->Item(1)->Shapes()->Item(2);
  tf = again->TextFrame();
  EXPECT_EQ(std::tuple(tf->AutoSize(), tf->WordWrap(), tf->Orientation(), tf->MarginBottom()),
            std::tuple(ppAutoSizeShapeToFitText, msoTrue, msoTextOrientationUpward, 9.0f));
  again->TextFrame()->SetAutoSize(ppAutoSizeNone);
  EXPECT_EQ(again->TextFrame2()->AutoSize(), msoAutoSizeNone);
}

// An added text box takes the next free id and survives saving; the first
// choice of alternate content is the shape shown, the fallback follows its
// labels, and handles taken before a deletion are refused.
TEST_F(PptxShapes, AddedDeletedAndAlternateShapes) {
  decktest::Deck d;
  std::string choice = Sp(2, "Choice", 0, 0, P, P, "new"), fallback = Sp(2, "Fallback", 0, 0, P, P, "old");
  choice.insert(choice.find(" name="), " descr=\"Speed\" title=\"Fast\"");
  fallback.insert(fallback.find(" name="), " descr=\"Speed\" title=\"Other\"");
  d.slides = {"<mc:AlternateContent xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\">"
              "<mc:Choice Requires=\"a14\">" + choice + "</mc:Choice>"
              "<mc:Fallback>" + fallback + "</mc:Fallback></mc:AlternateContent>" +
              Sp(3, "After", 0, 0, P, P, "z")};
  auto p = Open(d);
  auto shapes = p->Slides()->Item(1)->Shapes();
  ASSERT_EQ(std::tuple(shapes->Count(), shapes->Item(1)->Name()), std::tuple(2, std::wstring(L"Choice")));
  // The fallback's labels follow the choice's where they said the same.
  shapes->Item(1)->SetAlternativeText(L"Tempo");
  shapes->Item(1)->SetTitle(L"Schnell");
  p->SaveCopyAs(At("labels.pptx"), ppSaveAsDefault, false);
  std::string xml = pptx::Package::Open(dir / "labels.pptx")->Bytes("ppt/slides/slide1.xml");
  EXPECT_NE(xml.find("descr=\"Tempo\" title=\"Schnell\" name=\"Choice\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("descr=\"Tempo\" title=\"Other\" name=\"Fallback\""), std::string::npos) << xml;
  auto box = shapes->AddTextbox(msoTextOrientationHorizontal, 1, 1, 400, 100);
  // The collection read before the addition sees the new shape.
  EXPECT_EQ((std::vector<int>{box->Type(), box->Id(), shapes->Item(3)->Id()}), (std::vector<int>{msoTextBox, 4, 4}));
  box->TextFrame()->TextRange()->SetText(L"Pasted");
  const std::wstring boxName = box->Name();
  auto after = shapes->Item(2);
  shapes->Item(1)->Delete();
  EXPECT_EQ(std::tuple(ErrorOf([&] { after->Name(); }), shapes->Item(1)->Name()), std::tuple(E_FAIL, L"After"));
  auto again = Reopen(p)->Slides()->Item(1)->Shapes();
  EXPECT_EQ(std::to_wstring(again->Count()) + again->Item(1)->Name() + L"|" + again->Item(2)->Name() + L"|" +
                again->Item(2)->TextFrame()->TextRange()->Text(),
            L"2After|" + boxName + L"|Pasted");
  EXPECT_EQ(Box(again->Item(2)), (Points{1, 1, 400, 100}));
}

// A SmartArt frame's items are kept from one listing to the next; an edit
// of its drawing is seen by the listing after it. Drawn shapes sit relative
// to the frame and carry no ids of their own: their place in the graphic
// tells two that show the same node apart, and an edit through one reads
// at once through the other.
TEST(SmartArtItems, AListingAfterAnEditOfTheDrawingSeesIt) {
  const std::string drawing = "ppt/diagrams/drawing1.xml";
  auto doc = pptx::Document::Open(testsupport::CorpusDeck("poi__smartart-simple.pptx"));
  pugi::xml_node tree = doc->Pkg().Xml(drawing).document_element().child("dsp:spTree");
  const pptx::SlideInfo& slide = doc->SlideList().at(0);
  Ptr<Shapes> shapes = pptx::MakeShapes({doc, slide.id, slide.part, false});
  Ptr<Shape> frame;
  for (int i = 1; i <= shapes->Count() && !frame; ++i)
    if (shapes->Item(i)->HasSmartArt()) frame = shapes->Item(i);
  ASSERT_TRUE(frame);
  auto items = frame->GroupItems();
  const int before = items->Count();
  const pugi::xml_node off = tree.child("dsp:sp").child("dsp:spPr").child("a:xfrm").child("a:off");
  EXPECT_NEAR(items->Item(1)->Left(), frame->Left() + off.attribute("x").as_double() / P, 0.01);
  EXPECT_NEAR(items->Item(1)->Top(), frame->Top() + off.attribute("y").as_double() / P, 0.01);
  tree.append_copy(tree.child("dsp:sp"));  // the node "abc" drawn twice
  doc->MarkDirty(drawing);
  items = frame->GroupItems();
  ASSERT_EQ(items->Count(), before + 1);
  EXPECT_NE(items->Item(1)->Identity(), items->Item(before + 1)->Identity());
  auto abc = items->Item(1)->TextFrame()->TextRange();
  abc->Characters(1, 1)->SetText(L"A");
  abc->Characters(2, 2)->SetText(L"BC");
  EXPECT_EQ(items->Item(before + 1)->TextFrame()->TextRange()->Text(), L"ABC");
}

// A cell's text is bold or not as its table style's parts say for its place
// (here a header row): a translation that copies the style must not undo it.
TEST_F(PptxShapes, CellTextTakesBoldFromItsTableStyleAndChartTextItsParagraphDefaults) {
  auto p = app->Presentations()->Open(
      platform::FromUtf8(testsupport::CorpusDeck("docling__powerpoint_sample.pptx").string()), true, false, false);
  Ptr<host::Table> table;
  auto shapes = p->Slides()->Item(1)->Shapes();
  for (int i = 1; i <= shapes->Count() && !table; ++i)
    if (shapes->Item(i)->HasTable()) table = shapes->Item(i)->Table();
  ASSERT_TRUE(table);
  auto bold = [&](int r, int c) { return table->Cell(r, c)->Shape()->TextFrame()->TextRange()->Font()->Bold(); };
  EXPECT_EQ((std::vector<int>{bold(1, 2), bold(2, 2), bold(3, 1)}), (std::vector<int>{msoTrue, msoFalse, msoFalse}));
  // A chart's label takes its size and font from its paragraph's defaults,
  // as the chart draws it; the slide's text styles do not reach into charts.
  p = app->Presentations()->Open(
      platform::FromUtf8(testsupport::CorpusDeck("sc__025_chart.pptx").string()), true, false, false);
  Ptr<host::Font2> font;
  shapes = p->Slides()->Item(2)->Shapes();
  for (int i = 1; i <= shapes->Count() && !font; ++i) {
    if (!shapes->Item(i)->HasChart()) continue;
    auto series = shapes->Item(i)->Chart()->SeriesCollection();
    for (int k = 1; k <= series->Count() && !font; ++k) {
      auto labels = series->Item(k)->DataLabels();
      for (int j = 1; j <= labels->Count() && !font; ++j)
        if (labels->Item(j)->Text().find(L"\u043c\u043b\u043d") != std::wstring::npos)
          font = labels->Item(j)->TextFrame2()->TextRange()->Font();
    }
  }
  ASSERT_NE(font, nullptr) << "the label with its unit";
  EXPECT_EQ(std::tuple(font->Size(), font->Name()), std::tuple(40.0f, std::wstring(L"Times New Roman")));
}

// Writing what every character states already changes nothing: no run is
// cut and the presentation stays unchanged.
TEST_F(PptxShapes, SettingAStatedValueLeavesTheXmlAloneAndEveryOtherWriteIsSaved) {
  decktest::Deck d;
  d.slides = {Sp(2, "A", 0, 0, 200 * P, 100 * P, "Alpha beta gamma")};
  auto p = Open(d);
  Ptr<TextRange2> r = p->Slides()->Item(1)->Shapes()->Item(1)->TextFrame2()->TextRange();
  r->Font()->SetSize(20);
  p->SetSaved(true);
  r->Characters(7, 4)->Font()->SetSize(20);
  r->Characters(7, 4)->Font()->SetBold(msoFalse);  // not stated: the run is cut and b="0" written
  EXPECT_FALSE(p->Saved());
  p->SetSaved(true);
  r->Characters(7, 4)->Font()->SetBold(msoFalse);
  r->Characters(1, 16)->Font()->SetSize(20);
  EXPECT_TRUE(p->Saved());
  EXPECT_EQ(r->Characters(7, 4)->Font()->Bold(), msoFalse);
  // Writes made in one call are followed up like single ones, also when a
  // later write of the call fails: the saved copy holds the ones made.
  EXPECT_THROW(r->Font()->Apply({{Font2::Write::Bold, msoTrue}, {Font2::Write::Size, 5000}, {Font2::Write::Italic, msoTrue}}),
               platform::ComError);
  auto saved = Reopen(p)->Slides()->Item(1)->Shapes()->Item(1)->TextFrame2()->TextRange()->Font();
  EXPECT_EQ(std::tuple(p->Saved(), saved->Bold(), saved->Italic()), std::tuple(false, msoTrue, msoFalse));
}

TEST_F(PptxShapes, TextFittedToItsShapeIsFittedToTheFrameItHadWhenEdited) {
  // Two frames get the same long text piece by piece, one has its bounds
  // read, both are made taller: both keep the scale that fits the frame
  // they had when edited.
  auto fitting = [](int id, const std::string& name) {
    std::string sp = Sp(id, name, 0, 0, 200 * P, 60 * P, "Hi");
    return sp.replace(sp.find("<a:bodyPr/>"), 11, "<a:bodyPr><a:normAutofit/></a:bodyPr>");
  };
  decktest::Deck d;
  d.slides = {fitting(2, "Pieces") + fitting(3, "Once")};
  auto p = Open(d);
  auto shapes = p->Slides()->Item(1)->Shapes();
  const std::wstring half = L"Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello ";
  auto edit = [&](int i) {
    auto pieces = shapes->Item(i)->TextFrame()->TextRange();
    pieces->Characters(1, 2)->SetText(half);
    pieces->Characters(static_cast<int>(half.size()) + 1, 0)->SetText(half);
  };
  edit(2);
  EXPECT_LE(shapes->Item(2)->TextFrame()->TextRange()->BoundHeight(), 60.f);
  edit(1);
  for (int i : {1, 2}) shapes->Item(i)->SetHeight(400);
  p->SaveCopyAs(At("fitted.pptx"), ppSaveAsDefault, false);
  auto pkg = pptx::Package::Open(dir / "fitted.pptx");
  std::vector<int> scales;
  for (pugi::xml_node sp : pkg->Xml("ppt/slides/slide1.xml").document_element().child("p:cSld").child("p:spTree").children("p:sp"))
    scales.push_back(sp.child("p:txBody").child("a:bodyPr").child("a:normAutofit").attribute("fontScale").as_int(100000));
  ASSERT_EQ(scales.size(), 2u);
  EXPECT_TRUE(scales[0] == scales[1] && scales[0] < 100000) << scales[0] << " " << scales[1];
}

TEST_F(PptxWindows, OpeningWithAWindowGivesNormalViewOnTheFirstSlide) {
  // Without a window there is no active presentation, and selecting needs one.
  auto hidden = Open(false);
  EXPECT_EQ((std::vector<HRESULT>{hidden->Windows()->Count(), ErrorOf([&] { App()->ActiveWindow(); }),
                                  ErrorOf([&] { App()->ActivePresentation(); }),
                                  ErrorOf([&] { hidden->Slides()->Item(1)->Shapes()->Item(1)->Select(); })}),
            (std::vector<HRESULT>{0, E_FAIL, E_FAIL, E_FAIL}));
  auto p = Open();
  auto w = App()->ActiveWindow();
  EXPECT_EQ(std::to_wstring(App()->Windows()->Count()) + L"|" + w->Presentation()->FullName() + L"|" +
                App()->ActivePresentation()->Name(),
            L"1|" + p->FullName() + L"|deck.pptx");
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
  // What is read: the window's view type, the active pane's, then each pane's.
  const struct {
    int version, set;
    std::vector<int> read;
  } cases[] = {
      {16, ppViewSlide, {ppViewNormal, ppViewSlide, ppViewThumbnails, ppViewSlide, ppViewNotesPage}},
      {16, ppViewThumbnails, {ppViewNormal, ppViewThumbnails, ppViewThumbnails, ppViewSlide, ppViewNotesPage}},
      {16, ppViewOutline, {ppViewOutline, ppViewOutline, ppViewOutline, ppViewSlide, ppViewNotesPage}},
      {14, ppViewOutline, {ppViewNormal, ppViewOutline, ppViewOutline, ppViewSlide, ppViewNotesPage}},
      {16, ppViewSlideSorter, {ppViewSlideSorter, ppViewSlideSorter, ppViewSlideSorter}},
  };
  for (const auto& c : cases) {
    options.version = std::to_wstring(c.version) + L".0";
    app = nullptr;
    Open();
    auto w = App()->ActiveWindow();
    w->SetViewType(ppViewOutline);  // every case starts away from its view
    w->SetViewType(c.set);
    std::vector<int> read = {w->ViewType(), w->ActivePane()->ViewType()};
    for (int i = 1; i <= w->Panes()->Count(); ++i) read.push_back(w->Panes()->Item(i)->ViewType());
    EXPECT_EQ(read, c.read) << c.version << " " << c.set;
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
  auto range = w->Selection()->ShapeRange();
  EXPECT_EQ(std::tuple(w->Selection()->Type(), range->Count(), range->Item(range->Count())->Name()),
            std::tuple(ppSelectionShapes, 2, L"A2"));
  a2->Select(true);
  // A hidden shape cannot be picked, alone or in a range.
  a1->SetVisible(false);
  EXPECT_EQ(std::tuple(ErrorOf([&] { a1->Select(); }), ErrorOf([&] { slide->Shapes()->Range()->Select(); }),
                       w->Selection()->ShapeRange()->Count(), w->Selection()->ShapeRange()->Item(1)->Name()),
            std::tuple(E_FAIL, E_FAIL, 1, L"A2"));
  a1->SetVisible(true);
  // No text selected, and a shape on a slide the window does not show cannot be selected.
  EXPECT_EQ((std::vector<HRESULT>{ErrorOf([&] { w->Selection()->TextRange(); }),
                                  ErrorOf([&] { p->Slides()->Item(2)->Shapes()->Item(1)->Select(); })}),
            (std::vector<HRESULT>{E_FAIL, E_FAIL}));

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
  auto slides = w->Selection()->SlideRange();
  EXPECT_EQ((std::vector<int>{w->Selection()->Type(), slides->Count(), slides->Item(1)->SlideIndex()}),
            (std::vector<int>{ppSelectionSlides, 2, 3}));
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
  EXPECT_EQ((std::vector<float>{float(second->WindowState()), second->Left(), second->Width()}),
            (std::vector<float>{ppWindowNormal, 360, 360}));
  EXPECT_EQ(std::tuple(w->Height(), ErrorOf([&] { App()->Windows()->Arrange(7); })), std::tuple((1024 - 40) * 72.0f / 128, E_INVALIDARG));
  EXPECT_EQ(ErrorOf([&] { pptx::CreateApplication(pptx::ApplicationOptions{L"16.0", {}, 0, 0, 0, {}}); }), E_INVALIDARG);
}

TEST_F(PptxWindows, WritePasswordLock) {
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

// Slide shows count until their presentation closes; only the opening
// thread may use a presentation; releasing every reference ends the
// application, whatever was shown, selected or held by an event sink.
TEST_F(PptxWindows, SlideShowsThreadsAndTheEndOfTheApplication) {
  std::weak_ptr<Application> weak = App();
  {
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
    auto shape = a->Slides()->Item(1)->Shapes()->Item(1);
    std::vector<HRESULT> other;
    std::thread([&] { other = {ErrorOf([&] { a->Slides(); }), ErrorOf([&] { shape->Name(); })}; }).join();
    EXPECT_EQ(std::tuple(other, shape->Name()), std::tuple(std::vector<HRESULT>{kWrongThread, kWrongThread}, L"A1"));
    shape->Select();
    auto button = App()->CommandBars()->Add(L"Tools", msoBarTop, false, true)->Controls()->Add(msoControlButton, 1, {}, 0, true);
    // The caller's event sink holds the application, as a menu does.
    auto sink = std::make_shared<Recorder>();
    sink->onClick = [held = App()] {};
    button->Unadvise(button->Advise(sink));
    app.reset();
  }
  EXPECT_TRUE(weak.expired());
}

TEST_F(PptxWindows, SaveCopyAsChangesOnlyTheCopysFormat) {
  auto p = Open();
  EXPECT_EQ((std::vector<bool>{p->Saved(), p->Final(), p->IsEmbedded()}), (std::vector<bool>{true, false, false}));
  p->Slides()->Item(2)->SetName(L"Changed");
  p->SetFinal(true);
  p->SaveCopyAs(At("edited.pptx"), ppSaveAsDefault, false);
  // A copy does not save the presentation itself.
  EXPECT_FALSE(p->Saved());
  p->SetSaved(true);
  auto before = decktest::ReadEntries(dir / "deck.pptx");
  p->SaveCopyAs(At("copy.pptm"), ppSaveAsOpenXMLPresentationMacroEnabled, false);
  EXPECT_EQ(pptx::Package::Open(dir / "copy.pptm")->ContentType("ppt/presentation.xml"),
            "application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml");
  // The presentation itself and its file are unchanged.
  EXPECT_EQ(p->FullName() + (p->Saved() ? L"" : L" (changed)"), path);
  EXPECT_EQ(before, decktest::ReadEntries(dir / "deck.pptx"));
  // The classic-format copy is the same package under the old extension.
  p->SaveCopyAs(At("copy.ppt"), ppSaveAsPresentation, false);
  EXPECT_EQ(decktest::ReadEntries(dir / "edited.pptx"), decktest::ReadEntries(dir / "copy.ppt"));
  auto reopened = App()->Presentations()->Open(At("copy.pptm"), false, false, true);
  EXPECT_EQ((reopened->Final() ? L"final " : L"") + std::to_wstring(reopened->Slides()->Count()) +
                reopened->Slides()->Item(1)->Name() + L"|" + reopened->Slides()->Item(2)->Name(),
            L"final 3Slide256|Changed");
  EXPECT_EQ(reopened->Slides()->Range(std::vector<std::wstring>{L"Slide258", L"Changed"})->Item(1)->SlideIndex(), 3);
  // Final is read from the deck's custom properties, where "1" means true too.
  for (const char* value : {"1", "false"}) {
    const std::string name = std::string("final-") + value + ".pptx";
    decktest::CopyEditing(dir / "edited.pptx", dir / name, "docProps/custom.xml",
                          [&](std::string& x) { x.replace(x.find(">true<"), 6, std::string(">") + value + "<"); });
    auto read = App()->Presentations()->Open(At(name.c_str()), false, false, false);
    EXPECT_EQ(read->Final(), *value == '1') << value;
    read->Close();
  }
  // A template saved from the macro-enabled working copy is a template again.
  reopened->SaveCopyAs(At("copy.potx"), ppSaveAsOpenXMLTemplate, false);
  EXPECT_EQ(pptx::Package::Open(dir / "copy.potx")->ContentType("ppt/presentation.xml"),
            "application/vnd.openxmlformats-officedocument.presentationml.template.main+xml");
  EXPECT_EQ(ErrorOf([&] { p->SaveCopyAs(At("x.pptx"), 99, false); }), E_INVALIDARG);
  // Save as moves the presentation itself.
  p->SaveAs(At("moved.pptx"), ppSaveAsDefault);
  EXPECT_EQ(p->Name() + (p->Saved() ? L"" : L" (changed)"), L"moved.pptx");
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
  EXPECT_EQ(std::tuple(popup->Controls()->Item(1)->Identity() == first->Identity(), b->Index()), std::tuple(true, 2));
  EXPECT_EQ(bars->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false)->Identity(), b->Identity());
  // Not among visible controls only, nor on the menu itself, but inside its popups.
  EXPECT_EQ((std::vector<bool>{!!bars->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", true),
                               !!menu->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false, false),
                               !!menu->FindControl(0, 0, L"Prog.Id.MENU.TRAN-SHEET", false, true)}),
            (std::vector<bool>{false, false, true}));
  popup->Delete(false);
  EXPECT_EQ(std::tuple(menu->Controls()->Count(), ErrorOf([&] { b->Caption(); })), std::tuple(before, E_FAIL));

  auto tb = bars->Add(L"Tools", msoBarTop, false, true);
  EXPECT_EQ(ErrorOf([&] { bars->Add(L"Tools", msoBarTop, false, true); }), E_INVALIDARG);
  auto btn = tb->Controls()->Add(msoControlButton, 1, {}, 0, true), btn2 = tb->Controls()->Add(msoControlButton, 1, {}, 0, true);
  for (auto& c : {btn, btn2}) c->SetStyle(msoButtonIcon);
  EXPECT_EQ(btn2->Left(), btn->Left() + btn->Width());
  btn->SetTag(L"T.1");
  auto one = std::make_shared<Recorder>(), two = std::make_shared<Recorder>();
  auto c1 = btn->Advise(one), c2 = btn->Advise(two);
  btn->Unadvise(c1);
  EXPECT_EQ(std::tuple(ErrorOf([&] { btn->Unadvise(c1); }), ErrorOf([&] { btn->Advise(nullptr); })),
            std::tuple(E_INVALIDARG, E_INVALIDARG));
  two->onClick = [&] { btn->Unadvise(c2); };  // a sink may disconnect itself while it handles the click
  btn->Execute();
  btn->Execute();
  EXPECT_EQ(two->clicks, std::vector<std::wstring>{L"T.1"});
  btn->Advise(one);
  btn->SetEnabled(false);
  EXPECT_EQ(std::tuple(ErrorOf([&] { btn->Execute(); }), one->clicks.size()), std::tuple(E_FAIL, 0ul));
  tb->Delete();
  EXPECT_EQ(ErrorOf([&] { btn->Execute(); }), E_FAIL);
}
