// A text's bounds are worked out once and kept until the shape or its text
// changes: whatever changes between two reads, the second read must equal
// what the changed deck gives when opened afresh. The same holds for a
// master's theme.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/platform/Strings.h"
#include "tests/common/TempDir.h"
#include "tests/host/DeckBuilder.h"

using namespace host;

namespace {

constexpr long P = 12700;  // EMU per point
const std::wstring kWords = L"Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello Hello";

struct Change {
  const char* name;
  const char* bodyPr;
  std::function<void(const Ptr<Shape>&)> apply;
};

TEST(TextLayoutCache, ABoundsReadSeesEveryChangeSinceTheLastOne) {
  const Change changes[] = {
      {"narrower shape", "<a:bodyPr/>", [](const Ptr<Shape>& s) { s->SetWidth(80); }},
      {"wider margin", "<a:bodyPr/>", [](const Ptr<Shape>& s) { s->TextFrame()->SetMarginLeft(100); }},
      {"no wrapping", "<a:bodyPr/>", [](const Ptr<Shape>& s) { s->TextFrame()->SetWordWrap(msoFalse); }},
      {"larger font through another range", "<a:bodyPr/>",
       [](const Ptr<Shape>& s) { s->TextFrame2()->TextRange()->Font()->SetSize(40); }},
      {"longer text", "<a:bodyPr/>",
       [](const Ptr<Shape>& s) { s->TextFrame()->TextRange()->InsertAfter(L"\r" + kWords); }},
      {"longer text that shrinks to fit", "<a:bodyPr><a:normAutofit/></a:bodyPr>",
       [](const Ptr<Shape>& s) { s->TextFrame()->TextRange()->InsertAfter(L"\r" + kWords + kWords); }},
      // Two lines at the next scale up, three at full size: the search
      // goes up one step and stops on the one it tried before the last.
      {"shorter text that grows but not to full size", "<a:bodyPr><a:normAutofit/></a:bodyPr>",
       [](const Ptr<Shape>& s) { s->TextFrame()->TextRange()->SetText(kWords.substr(0, 49)); }},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir;
    decktest::Deck d;
    std::string sp = decktest::Sp(2, "Box", 0, 0, 200 * P, 60 * P, "Hi");
    d.slides = {sp.replace(sp.find("<a:bodyPr/>"), 11, c.bodyPr)};
    decktest::Write(d, dir / "deck.pptx");
    Ptr<Application> app = pptx::CreateApplication();
    auto open = [&](const char* name) {
      return app->Presentations()->Open(platform::FromUtf8((dir / name).string()), false, false, false);
    };
    auto p = open("deck.pptx");
    auto shape = p->Slides()->Item(1)->Shapes()->Item(1);
    auto height = [&] { return shape->TextFrame2()->TextRange()->BoundHeight(); };
    shape->TextFrame2()->TextRange()->SetText(kWords);
    const float before = height();
    c.apply(shape);
    const float after = height();
    EXPECT_NE(after, before);
    p->SaveCopyAs(platform::FromUtf8((dir / "changed.pptx").string()), ppSaveAsDefault, false);
    auto fresh = open("changed.pptx")->Slides()->Item(1)->Shapes()->Item(1)->TextFrame2()->TextRange();
    EXPECT_NEAR(after, fresh->BoundHeight(), 0.01);
  }
}

}  // namespace

// A master's theme is worked out once and kept; an edit of the theme, of
// the master's colour map or of the link between them shows in the next read.
TEST(ThemeCache, AnEditOfTheThemeOrTheMasterIsSeen) {
  testsupport::TempDir dir;
  decktest::Write(decktest::Deck{}, dir / "deck.pptx");
  auto doc = pptx::Document::Open(dir / "deck.pptx");
  const std::string master = "ppt/slideMasters/slideMaster1.xml", theme = "ppt/theme/theme1.xml";
  EXPECT_EQ(doc->Fonts(master).majorLatin, "Liberation Serif");
  EXPECT_EQ(doc->Theme(master).colors.count("tx1"), 0u);

  pugi::xml_node elements = doc->Pkg().Xml(theme).document_element().first_child();
  elements.child("a:fontScheme").child("a:majorFont").child("a:latin").attribute("typeface") = "Georgia";
  pugi::xml_node scheme = elements.append_child("a:clrScheme");
  scheme.append_child("a:dk1").append_child("a:srgbClr").append_attribute("val") = "102030";
  scheme.append_child("a:lt1").append_child("a:sysClr").append_attribute("lastClr") = "FFFFFF";
  doc->MarkDirty(theme);
  EXPECT_EQ(doc->Fonts(master).majorLatin, "Georgia");
  EXPECT_EQ(doc->Theme(master).colors.at("tx1"), 0x102030u);

  doc->Pkg().Xml(master).document_element().child("p:clrMap").attribute("tx1") = "lt1";
  doc->MarkDirty(master);
  EXPECT_EQ(doc->Theme(master).colors.at("tx1"), 0xFFFFFFu);

  // The master pointed at another theme.
  std::ostringstream other;
  doc->Pkg().Xml(theme).save(other);
  std::string bytes = other.str();
  doc->Pkg().SetPart("ppt/theme/theme2.xml", bytes.replace(bytes.find("Georgia"), 7, "Caladea"));
  EXPECT_EQ(doc->Fonts(master).majorLatin, "Georgia");
  const std::string rels = "ppt/slideMasters/_rels/slideMaster1.xml.rels";
  doc->Pkg().Xml(rels).document_element().find_child_by_attribute("Id", "rIdT").attribute("Target") =
      "../theme/theme2.xml";
  doc->MarkDirty(rels);
  EXPECT_EQ(doc->Fonts(master).majorLatin, "Caladea");
}

// The styles a text inherits are worked out once for every text that
// inherits the same; an edit of anything they come from shows in the next
// read: the placeholder the text fills, the layout, the master, the theme,
// the style a table names and that style.
TEST(StyleContextCache, AnEditOfEachInputIsSeen) {
  struct Row {
    const char* name;
    int shape;  // 1 the title, 2 the table
    std::function<std::wstring(const Ptr<TextRange2>&)> read;
    std::wstring before, after;
    std::string part;
    std::function<void(pugi::xml_node root)> edit;
  };
  auto size = [](const Ptr<TextRange2>& r) { return std::to_wstring(static_cast<int>(r->Font()->Size())); };
  auto name = [](const Ptr<TextRange2>& r) { return r->Font()->Name(); };
  auto bold = [](const Ptr<TextRange2>& r) { return std::to_wstring(r->Font()->Bold()); };
  const std::string slide = "ppt/slides/slide1.xml", layout = "ppt/slideLayouts/slideLayout1.xml",
                    master = "ppt/slideMasters/slideMaster1.xml";
  const Row rows[] = {
      {"the placeholder", 1, size, L"44", L"32", slide,
       [](pugi::xml_node r) { r.select_node("//p:ph").node().attribute("type") = "body"; }},
      {"the layout", 1, size, L"44", L"20", layout,
       [](pugi::xml_node r) {
         pugi::xml_node ls = r.select_node("//a:lstStyle").node();
         ls.append_child("a:lvl1pPr").append_child("a:defRPr").append_attribute("sz") = "2000";
       }},
      {"the master", 1, size, L"44", L"40", master,
       [](pugi::xml_node r) { r.select_node("//p:titleStyle/a:lvl1pPr/a:defRPr").node().attribute("sz") = "4000"; }},
      {"the theme", 1, name, L"Liberation Sans", L"Caladea", "ppt/theme/theme1.xml",
       [](pugi::xml_node r) { r.select_node("//a:minorFont/a:latin").node().attribute("typeface") = "Caladea"; }},
      {"the table's style", 2, bold, L"-1", L"0", slide,
       [](pugi::xml_node r) { r.select_node("//a:tableStyleId").node().text() = "{X}"; }},
      {"the table style", 2, bold, L"-1", L"0", "ppt/tableStyles.xml",
       [](pugi::xml_node r) {
         r.first_child().append_child("a:firstRow").append_child("a:tcTxStyle").append_attribute("b") = "off";
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    testsupport::TempDir dir;
    decktest::Deck d;
    std::string ph = decktest::Ph(2, "Title", "type=\"title\"", "", "T");
    std::string table = decktest::Table(3, "Table", 1, {decktest::Cell("C")});
    table.replace(table.find("<a:tblPr/>"), 10,
                  "<a:tblPr firstRow=\"1\"><a:tableStyleId>{S}</a:tableStyleId></a:tblPr>");
    d.slides = {ph + table};
    d.layoutShapes = decktest::Ph(2, "Title", "type=\"title\"", "", "");
    d.parts["ppt/tableStyles.xml"] = {
        "application/vnd.openxmlformats-officedocument.presentationml.tableStyles+xml",
        "<a:tblStyleLst xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" def=\"{S}\">"
        "<a:tblStyle styleId=\"{S}\" styleName=\"S\"><a:wholeTbl><a:tcTxStyle b=\"on\"/></a:wholeTbl></a:tblStyle>"
        "</a:tblStyleLst>"};
    decktest::Write(d, dir / "deck.pptx");
    auto doc = pptx::Document::Open(dir / "deck.pptx");
    doc->Pkg().AddRelationship(doc->PresentationPart(),
                               "http://schemas.openxmlformats.org/officeDocument/2006/relationships/tableStyles",
                               "ppt/tableStyles.xml");
    const pptx::SlideRef ref{doc, doc->SlideList().at(0).id, slide, false};
    auto text = [&] {
      Ptr<Shape> s = pptx::MakeShapes(ref)->Item(row.shape);
      if (row.shape == 2) s = s->Table()->Cell(1, 1)->Shape();
      return row.read(s->TextFrame2()->TextRange());
    };
    EXPECT_EQ(text(), row.before);
    row.edit(doc->Pkg().Xml(row.part).document_element());
    doc->MarkDirty(row.part);
    EXPECT_EQ(text(), row.after);
  }
}
