// Decks of the strict class work as transitional ones do: the model shows
// the same things, edits reach every place the text lives, and a saved strict
// deck stays strict with every part the edits did not touch as it was.
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/host/DeckBuilder.h"
#include "tests/host/TextTestSupport.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/TextBody.h"

namespace fs = std::filesystem;
using namespace host;

namespace {

void ShowShape(const Ptr<Shape>& s, int depth, std::wostringstream& out) {
  int type = s->Type();
  out << std::wstring(depth * 2, L' ') << type << L" " << s->Name();
  if (type == msoPlaceholder) out << L" ph" << s->PlaceholderFormat()->Type();
  out << L" @" << std::lround(s->Left()) << L"," << std::lround(s->Top()) << L" " << std::lround(s->Width()) << L"x"
      << std::lround(s->Height());
  if (s->HasTextFrame() && s->TextFrame()->HasText()) {
    auto range = s->TextFrame()->TextRange();
    out << L" " << range->Font()->Size() << L"pt \"" << range->Text() << L"\"";
  }
  out << L"\n";
  if (s->HasTable()) {
    auto t = s->Table();
    for (int r = 1; r <= t->Rows()->Count(); ++r)
      for (int c = 1; c <= t->Columns()->Count(); ++c) ShowShape(t->Cell(r, c)->Shape(), depth + 1, out);
  }
  if (type == msoGroup || s->HasSmartArt()) {
    auto items = s->GroupItems();
    for (int i = 1; i <= items->Count(); ++i) ShowShape(items->Item(i), depth + 1, out);
  }
}

// What the object model shows of a deck: every shape with its kind,
// placeholder type, geometry, font size and text (group members, SmartArt
// drawn shapes and table cells too), the notes pages and the comments.
std::wstring Show(const fs::path& deck) {
  auto app = pptx::CreateApplication();
  auto p = app->Presentations()->Open(deck.wstring(), true, false, false);
  std::wostringstream out;
  for (int i = 1; i <= p->Slides()->Count(); ++i) {
    auto slide = p->Slides()->Item(i);
    out << L"slide " << i << L"\n";
    for (int k = 1; k <= slide->Shapes()->Count(); ++k) ShowShape(slide->Shapes()->Item(k), 1, out);
    auto notes = slide->NotesPage()->Shapes();
    for (int k = 1; k <= notes->Count(); ++k) ShowShape(notes->Item(k), 2, out);
    out << texttest::ShowComments(slide->Comments());
  }
  p->Close();
  return out.str();
}

// Every part of a saved deck that still names something transitionally
// (package names are the same in both classes and do not count).
std::vector<std::string> TransitionalParts(const fs::path& deck) {
  std::vector<std::string> out;
  const std::string base = "http://schemas.openxmlformats.org/";
  for (auto& [name, bytes] : decktest::ReadEntries(deck))
    for (std::size_t at = bytes.find(base); at != std::string::npos; at = bytes.find(base, at + 1)) {
      std::string rest = bytes.substr(at, 80);
      if (rest.find("org/package/") == std::string::npos && rest.find("org/markup-compatibility/") == std::string::npos) {
        out.push_back(name + ": " + rest.substr(0, rest.find('"')));
        break;
      }
    }
  return out;
}

class StrictDeck : public ::testing::Test {
 protected:
  // A copy of a corpus deck in the strict class: every XML part and
  // relationship part with the strict names, everything else as it was, in
  // the same entry order.
  fs::path StrictCopy(const std::string& corpusDeck) {
    const std::pair<std::string, std::string> names[] = {
        {"officeDocument/2006/relationships/custom-properties", "officeDocument/relationships/customProperties"},
        {"officeDocument/2006/relationships/extended-properties", "officeDocument/relationships/extendedProperties"},
        {"officeDocument/2006/custom-properties", "officeDocument/customProperties"},
        {"officeDocument/2006/extended-properties", "officeDocument/extendedProperties"},
        {"officeDocument/2006/", "officeDocument/"}, {"presentationml/2006/", "presentationml/"}, {"drawingml/2006/", "drawingml/"}};
    auto entries = decktest::ReadEntries(testsupport::CorpusDeck(corpusDeck));
    for (auto& [name, bytes] : entries)
      if (name.ends_with(".xml") || name.ends_with(".rels"))
        for (auto& [transitional, strict] : names)
          for (std::size_t at = bytes.find("http://schemas.openxmlformats.org/" + transitional); at != std::string::npos;
               at = bytes.find("http://schemas.openxmlformats.org/" + transitional, at))
            bytes.replace(at, 34 + transitional.size(), "http://purl.oclc.org/ooxml/" + strict);
    fs::path to = mTemp / ("strict-" + corpusDeck);
    decktest::WriteEntries(to, entries);
    EXPECT_EQ(TransitionalParts(to), std::vector<std::string>{}) << "the copy is not strict";
    return to;
  }

  testsupport::TempDir mTemp;
};

TEST_F(StrictDeck, TheModelShowsWhatItShowsOfTheTransitionalDeck) {
  struct Case {
    const char* deck;
    const wchar_t* seen;  // something the show must hold, so that equal shows mean something
  };
  for (const Case& c : {Case{"poi__smartart-simple.pptx", L"\"def\""},
                        Case{"pptx__prs-notes.pptx", L"\"Notes\""},
                        Case{"poi__45545_Comment.pptx", L"XPVMWARE01 (X) @434,194.75: testdoc"},
                        Case{"poi__table_test2.pptx", L"\"Header2\""},
                        Case{"pptx__ph-populated-placeholders.pptx", L"\"Body text\""},
                        Case{"pptx__shp-shapes.pptx", L"\"shapes[3]\""}}) {
    SCOPED_TRACE(c.deck);
    std::wstring transitional = Show(testsupport::CorpusDeck(c.deck));
    EXPECT_NE(transitional.find(c.seen), std::wstring::npos) << transitional;
    EXPECT_EQ(Show(StrictCopy(c.deck)), transitional);
  }
  // A strict deck as an office suite wrote it, with legacy comments.
  std::wstring shown = Show(testsupport::CorpusDeck("oxsdk___HC_viewPr-PresentationViewProperties-showComments-1.pptx"));
  EXPECT_NE(shown.find(L"Harshal Doshi (HD) @1.25,1.25: PowerPoint Rocks!!!"), std::wstring::npos);
  EXPECT_NE(shown.find(L"Harshal Doshi (HD) @655.5,48: PowerPoint Logo!"), std::wstring::npos);
}

TEST_F(StrictDeck, EditsReachEveryPlaceTheTextLivesAndTheSavedDeckStaysStrict) {
  fs::path deck = StrictCopy("pptx__shp-shapes.pptx");
  fs::path out = mTemp / "edited.pptx";
  {
    auto p = pptx::CreateApplication()->Presentations()->Open(deck.wstring(), false, false, false);
    auto slide = p->Slides()->Item(1);
    auto shapes = slide->Shapes();
    shapes->Item(L"Title 3")->TextFrame()->TextRange()->SetText(L"Titel");
    shapes->Item(L"Table 1")->Table()->Cell(1, 2)->Shape()->TextFrame()->TextRange()->SetText(L"Zelle");
    auto node = shapes->Item(L"Diagram 7")->GroupItems()->Item(1)->TextFrame()->TextRange();
    ASSERT_EQ(node->Text(), L"shapes[5]");
    node->SetText(L"Knoten");
    auto notes = slide->NotesPage()->Shapes();
    for (int i = 1; i <= notes->Count(); ++i)
      if (notes->Item(i)->Type() == msoPlaceholder &&
          notes->Item(i)->PlaceholderFormat()->Type() == ppPlaceholderBody)
        notes->Item(i)->TextFrame()->TextRange()->SetText(L"Notizen");
    slide->Comments()->Add(10, 20, L"Ana", L"A", L"Kommentar")->Replies()->Add(0, 0, L"Bo", L"B", L"Antwort");
    // The custom properties relationship is one whose name differs between the classes.
    p->SetFinal(true);
    p->SaveCopyAs(out.wstring(), host::ppSaveAsDefault, false);
  }
  EXPECT_TRUE(pptx::CreateApplication()->Presentations()->Open(out.wstring(), true, false, false)->Final());

  std::wstring shown = Show(out);
  for (const wchar_t* text : {L"pt \"Titel\"", L"pt \"Zelle\"", L"pt \"Knoten\"", L"pt \"Notizen\"",
                              L"Ana (A) @10,20: Kommentar\n  Bo (B) @10,20: Antwort"})
    EXPECT_NE(shown.find(text), std::wstring::npos) << text << L" in\n" << shown;
  // New parts, relationships and declarations are strict too.
  EXPECT_EQ(TransitionalParts(out), std::vector<std::string>{});
  // The data model, which the graphic is rebuilt from, says what the drawing says.
  auto pkg = pptx::Package::Open(out);
  std::vector<std::wstring> model = texttest::ModelTexts(*pkg, "ppt/diagrams/data1.xml");
  EXPECT_EQ(texttest::DrawnTexts(*pkg, "ppt/diagrams/drawing1.xml").at(0), L"Knoten");
  EXPECT_THAT(model, ::testing::Contains(L"Knoten"));
  EXPECT_THAT(model, ::testing::Not(::testing::Contains(L"shapes[5]")));
  // Parts the edits did not touch are as they were, byte for byte.
  const std::set<std::string> touched = {"[Content_Types].xml", "_rels/.rels", "docProps/custom.xml", "ppt/presentation.xml",
                                         "ppt/_rels/presentation.xml.rels", "ppt/slides/slide1.xml",
                                         "ppt/slides/_rels/slide1.xml.rels", "ppt/diagrams/data1.xml",
                                         "ppt/diagrams/drawing1.xml"};
  std::map<std::string, std::string> saved;
  for (auto& [name, bytes] : decktest::ReadEntries(out)) saved[name] = bytes;
  for (auto& [name, bytes] : decktest::ReadEntries(deck)) {
    if (touched.count(name)) continue;
    EXPECT_TRUE(saved[name] == bytes) << name << " changed";
  }
}

TEST_F(StrictDeck, ThreadedCommentsTakeTheDecksDrawingNamespace) {
  auto doc = pptx::Document::Open(StrictCopy("pptx__prs-notes.pptx"));
  // With an authors list of the threaded kind, new comments are threaded.
  pptx::Package& pkg = doc->Pkg();
  pkg.AddXmlPart("ppt/authors.xml", pptx::kThreadedAuthorsType)
      .load_string("<p188:authorLst xmlns:p188=\"http://schemas.microsoft.com/office/powerpoint/2018/8/main\"/>");
  pkg.AddRelationship(doc->PresentationPart(), pptx::kThreadedAuthorsRel.strict, "ppt/authors.xml");
  pptx::SlideRef slide{doc, doc->SlideList().at(0).id, doc->SlideList().at(0).part, false};
  pptx::MakeSlideComments(slide)->Add(1, 2, L"Kim", L"K", L"eins\rzwei")->Replies()->Add(0, 0, L"Lee", L"L", L"drei");
  fs::path out = mTemp / "threaded.pptx";
  pkg.Save(out);
  EXPECT_EQ(TransitionalParts(out), std::vector<std::string>{});
  auto again = pptx::MakeSlideComments({pptx::Document::Open(out), slide.slideId, slide.part, false});
  ASSERT_EQ(again->Count(), 1);
  EXPECT_EQ(again->Item(1)->Text(), L"eins\rzwei");
  EXPECT_EQ(again->Item(1)->Replies()->Item(1)->Text(), L"drei");
}

TEST(Vocabulary, NewElementsTakeThePrefixInScopeOrDeclareOneInTheGivenClass) {
  const std::string pml = "xmlns:p=\"http://purl.oclc.org/ooxml/presentationml/main\"";
  const char* strict = "http://purl.oclc.org/ooxml/drawingml/main";
  struct Case {
    std::string xml;  // the scope is the root's first child
    pptx::Conformance conformance;
    const char* prefix;
    const char* uri;  // the prefix's binding at the scope afterwards
  };
  for (const Case& c : {
           Case{"<p:sld " + pml + " xmlns:d=\"" + strict + "\"><p:x/></p:sld>", pptx::Conformance::Strict, "d", strict},
           Case{"<p:sld " + pml + "><p:x/></p:sld>", pptx::Conformance::Strict, "a", strict},
           Case{"<p:sld " + pml + "><p:x/></p:sld>", pptx::Conformance::Transitional, "a",
                "http://schemas.openxmlformats.org/drawingml/2006/main"},
           // "a" is bound to another namespace where the element goes.
           Case{"<p:sld " + pml + " xmlns:a=\"" + strict + "\"><p:x xmlns:a=\"urn:x\"/></p:sld>",
                pptx::Conformance::Strict, "a1", strict},
           Case{"<t xmlns=\"" + std::string(strict) + "\"><x/></t>", pptx::Conformance::Transitional, "", strict},
       }) {
    SCOPED_TRACE(c.xml);
    pugi::xml_document d;
    ASSERT_TRUE(d.load_string(c.xml.c_str()));
    pugi::xml_node scope = d.document_element().first_child();
    EXPECT_EQ(pptx::NamespacePrefix(scope, pptx::kDrawingMl, c.conformance), c.prefix);
    EXPECT_EQ(pptx::NamespaceOfPrefix(scope, c.prefix), c.uri);
  }
}

}  // namespace
