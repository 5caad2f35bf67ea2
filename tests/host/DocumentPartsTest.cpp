#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/host/pptx/TextBody.h"
#include "src/platform/ComError.h"
#include "tests/common/Errors.h"
#include "tests/host/DeckBuilder.h"
#include "tests/host/Walk.h"

namespace fs = std::filesystem;
using namespace host;
using host::pptx::Document;
using host::pptx::SlideRef;
using host::pptx::TextBody;

namespace {

// Non-empty texts of a diagram part in order: of its drawn shapes, or of
// its data model's points.
std::vector<std::wstring> DrawnTexts(pptx::Package& pkg, const std::string& part) {
  std::vector<std::wstring> out;
  for (pugi::xpath_node body : pkg.Xml(part).select_nodes("//dsp:txBody | //dgm:t"))
    if (std::wstring text = TextBody(body.node()).Text(); !text.empty()) out.push_back(text);
  return out;
}

// Comments as "Author (I) @left,top: text" a line, each reply indented below
// its comment.
std::wstring ShowComments(const Ptr<Comments>& comments) {
  std::wostringstream out;
  auto show = [&](const Ptr<Comment>& c, const wchar_t* indent) {
    out << indent << c->Author() << L" (" << c->AuthorInitials() << L") @" << c->Left() << L"," << c->Top() << L": "
        << c->Text() << L"\n";
  };
  for (int i = 1; i <= comments->Count(); ++i) {
    show(comments->Item(i), L"");
    for (int r = 1; r <= comments->Item(i)->Replies()->Count(); ++r) show(comments->Item(i)->Replies()->Item(r), L"  ");
  }
  return out.str();
}

// Decks of the strict class work as transitional ones do: the model shows
// the same things, edits reach every place the text lives, and a saved strict
// deck stays strict with every part the edits did not touch as it was.
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
    for (auto shapes : {slide->Shapes(), slide->NotesPage()->Shapes()})
      walktest::ForEachShape(shapes, [&](const Ptr<Shape>& s, int depth) { ShowShape(s, depth, out); });
    out << ShowComments(slide->Comments());
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

// Documents opened without an application, for the slides' comments and
// notes pages, strict decks and SmartArt.
class CommentsTest : public ::testing::Test {
 protected:
  std::shared_ptr<Document> Open(const char* name) { return Document::Open(testsupport::CorpusDeck(name)); }
  static SlideRef Slide(const std::shared_ptr<Document>& doc, std::size_t index = 0) {
    return {doc, doc->SlideList().at(index).id, doc->SlideList().at(index).part, false};
  }
  std::shared_ptr<Document> SaveAndReopen(const std::shared_ptr<Document>& doc) {
    doc->Pkg().Save(mTemp / "saved.pptx");
    return Document::Open(mTemp / "saved.pptx");
  }
  static int CountParts(Document& doc, const std::string& stem) {
    int n = 0;
    for (const auto& p : doc.Pkg().PartNames()) n += p.starts_with(stem) && p.find("_rels") == std::string::npos;
    return n;
  }
  // The notes placeholder of the first slide's page, found by its placeholder
  // type; the picture of the slide before it is a placeholder without text.
  static host::Ptr<host::TextRange> Notes(const std::shared_ptr<Document>& doc) {
    auto shapes = host::pptx::MakeNotesPage(Slide(doc))->Shapes();
    auto image = shapes->Item(1);
    EXPECT_EQ(std::tuple(image->Type(), testsupport::ErrorOf([&] { image->TextFrame(); }),
                         testsupport::ErrorOf([&] { image->TextFrame2(); })),
              std::tuple(host::msoPlaceholder, E_FAIL, E_FAIL));
    return NotesBody(shapes);
  }
  // The text of a notes page's notes placeholder, found by its placeholder type.
  static host::Ptr<host::TextRange> NotesBody(const host::Ptr<host::Shapes>& shapes) {
    for (int i = 1; i <= shapes->Count(); ++i) {
      auto s = shapes->Item(i);
      if (s->Type() == host::msoPlaceholder && s->PlaceholderFormat()->Type() == host::ppPlaceholderBody)
        return s->TextFrame()->TextRange();
    }
    throw std::runtime_error("no notes placeholder");
  }
  testsupport::TempDir mTemp;
};

class StrictDeck : public CommentsTest {
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
};

TEST_F(StrictDeck, TheModelShowsWhatItShowsOfTheTransitionalDeck) {
  // Each deck with something its show must hold, so that equal shows mean something.
  const std::pair<const char*, const wchar_t*> decks[] = {
      {"poi__smartart-simple.pptx", L"\"def\""},
      {"pptx__prs-notes.pptx", L"\"Notes\""},
      {"poi__45545_Comment.pptx", L"XPVMWARE01 (X) @434,194.75: testdoc"},
      {"poi__table_test2.pptx", L"\"Header2\""},
      {"pptx__ph-populated-placeholders.pptx", L"\"Body text\""},
      {"pptx__shp-shapes.pptx", L"\"shapes[3]\""}};
  for (auto [deck, seen] : decks) {
    std::wstring transitional = Show(testsupport::CorpusDeck(deck));
    EXPECT_NE(transitional.find(seen), std::wstring::npos) << transitional;
    EXPECT_EQ(Show(StrictCopy(deck)), transitional) << deck;
  }
  // A strict deck as an office suite wrote it, with legacy comments.
  std::wstring shown = Show(testsupport::CorpusDeck("oxsdk___HC_viewPr-PresentationViewProperties-showComments-1.pptx"));
  EXPECT_NE(shown.find(L"Harshal Doshi (HD) @1.25,1.25: PowerPoint Rocks!!!\nHarshal Doshi (HD) @655.5,48: PowerPoint Logo!"),
            std::wstring::npos);
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
    NotesBody(slide->NotesPage()->Shapes())->SetText(L"Notizen");
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
  // The deck's first comment made its parts, with their types.
  EXPECT_EQ(std::tuple(pkg->ContentType("ppt/comments/comment1.xml"), pkg->ContentType("ppt/commentAuthors.xml")),
            std::tuple("application/vnd.openxmlformats-officedocument.presentationml.comments+xml",
                       "application/vnd.openxmlformats-officedocument.presentationml.commentAuthors+xml"));
  std::vector<std::wstring> model = DrawnTexts(*pkg, "ppt/diagrams/data1.xml");
  EXPECT_EQ(DrawnTexts(*pkg, "ppt/diagrams/drawing1.xml").at(0), L"Knoten");
  EXPECT_THAT(model, ::testing::AllOf(::testing::Contains(L"Knoten"), ::testing::Not(::testing::Contains(L"shapes[5]"))));
  // Parts the edits did not touch are as they were, byte for byte.
  const std::set<std::string> touched = {"[Content_Types].xml", "_rels/.rels", "docProps/custom.xml", "ppt/presentation.xml",
                                         "ppt/_rels/presentation.xml.rels", "ppt/slides/slide1.xml",
                                         "ppt/slides/_rels/slide1.xml.rels", "ppt/diagrams/data1.xml",
                                         "ppt/diagrams/drawing1.xml"};
  std::map<std::string, std::string> saved;
  for (auto& [name, bytes] : decktest::ReadEntries(out)) saved[name] = bytes;
  for (auto& [name, bytes] : decktest::ReadEntries(deck))
    EXPECT_TRUE(touched.count(name) || saved[name] == bytes) << name << " changed";
}

TEST_F(StrictDeck, ThreadedCommentsTakeTheDecksDrawingNamespace) {
  auto doc = pptx::Document::Open(StrictCopy("pptx__prs-notes.pptx"));
  // With an authors list of the threaded kind, new comments are threaded.
  pptx::Package& pkg = doc->Pkg();
  pkg.AddXmlPart("ppt/authors.xml", pptx::kThreadedAuthorsType)
      .load_string("<p188:authorLst xmlns:p188=\"http://schemas.microsoft.com/office/powerpoint/2018/8/main\"/>");
  pkg.AddRelationship(doc->PresentationPart(), pptx::kThreadedAuthorsRel.strict, "ppt/authors.xml");
  pptx::MakeSlideComments(Slide(doc))->Add(1, 2, L"Kim", L"K", L"eins\rzwei")->Replies()->Add(0, 0, L"Lee", L"L", L"drei");
  auto again = SaveAndReopen(doc);
  EXPECT_EQ(TransitionalParts(mTemp / "saved.pptx"), std::vector<std::string>{});
  EXPECT_EQ(ShowComments(pptx::MakeSlideComments(Slide(again))), L"Kim (K) @1,2: eins\rzwei\n  Lee (L) @1,2: drei\n");
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

class SmartArtTextTest : public CommentsTest {};

const char* kDrawingRel = "http://schemas.microsoft.com/office/2007/relationships/diagramDrawing";

// Copies a drawing part under another name.
void CopyDrawing(host::pptx::Package& pkg, const std::string& from, const std::string& to) {
  pkg.SetPart(to, std::string(pkg.Bytes(from)), "application/vnd.ms-office.drawingml.diagramDrawing+xml");
}

// Makes every run of a diagram part link through the relationship id.
void LinkEveryRun(host::pptx::Package& pkg, const std::string& part, const std::string& id) {
  pugi::xml_node root = pkg.Xml(part).document_element();
  root.append_attribute("xmlns:r") = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  for (pugi::xpath_node run : root.select_nodes("//a:r")) {
    pugi::xml_node rPr = run.node().child("a:rPr");
    if (!rPr) rPr = run.node().prepend_child("a:rPr");
    rPr.append_child("a:hlinkClick").append_attribute("r:id") = id.c_str();
  }
  pkg.MarkDirty(part);
}

// Prefixes every text of the slide's SmartArt graphics through their drawn
// shapes ("T-" for the first graphic, "T2-" for the second ...) and saves;
// the saved package.
std::unique_ptr<host::pptx::Package> EditDrawnTexts(const fs::path& deck, const fs::path& out, int& edited,
                                                    int slide = 1) {
  auto app = host::pptx::CreateApplication();
  auto pres = app->Presentations()->Open(deck.wstring(), false, false, false);
  edited = 0;
  int graphics = 0;
  walktest::ForEachShape(pres->Slides()->Item(slide)->Shapes(), [&](const host::Ptr<host::Shape>& shape, int) {
    if (!shape->HasSmartArt()) return;
    auto items = shape->GroupItems();
    const std::wstring prefix = ++graphics == 1 ? L"T-" : L"T" + std::to_wstring(graphics) + L"-";
    for (int i = 1; i <= items->Count(); ++i) {
      auto item = items->Item(i);
      if (!item->HasTextFrame() || !item->TextFrame()->HasText()) continue;
      auto range = item->TextFrame2()->TextRange();
      std::wstring text = range->Text();
      range->Characters(1, static_cast<int>(text.size()))->SetText(prefix + text);
      ++edited;
    }
  });
  pres->SaveCopyAs(out.wstring(), host::ppSaveAsDefault, false);
  return host::pptx::Package::Open(out);
}

// A second drawing of a graphic (a copy of its drawing part) shows the same
// translation when it is the graphic's own: linked from its data part, or
// from a slide that holds that graphic alone. One a slide of two graphics
// links without saying whose it is stays as it was.
TEST_F(SmartArtTextTest, EveryDrawingOfAGraphicTakesItsOwnGraphicsEdit) {
  // A graphic's copy linked from its data part, and one the slide of two
  // graphics links; the copy from the slide alone is the link test's.
  const struct {
    std::string of, as, linkedFrom;
    bool edited;
  } copies[] = {{"drawing8", "drawing11", "ppt/diagrams/data8.xml", true},
                {"drawing9", "drawing12", "ppt/slides/slide14.xml", false}};
  auto part = [](const std::string& name) { return "ppt/diagrams/" + name + ".xml"; };
  auto pkg = host::pptx::Package::Open(testsupport::CorpusDeck("poi__customGeo.pptx"));
  for (const auto& copy : copies) {
    CopyDrawing(*pkg, part(copy.of), part(copy.as));
    pkg->AddRelationship(copy.linkedFrom, kDrawingRel, part(copy.as));
  }
  pkg->Save(mTemp / "in.pptx");
  int edited = 0;
  auto out = EditDrawnTexts(mTemp / "in.pptx", mTemp / "out.pptx", edited, 14);
  ASSERT_GT(edited, 0);
  for (const auto& copy : copies) {
    SCOPED_TRACE(copy.as);
    const auto drawn = DrawnTexts(*out, part(copy.of));
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(DrawnTexts(*out, part(copy.as)), copy.edited ? drawn : DrawnTexts(*pkg, part(copy.of)));
  }
  // Each graphic of the two-graphic slide shows its own edit only.
  std::vector<std::set<std::wstring>> prefixes;
  for (const char* drawing : {"drawing8", "drawing9"}) {
    prefixes.emplace_back();
    for (const std::wstring& text : DrawnTexts(*out, part(drawing)))
      prefixes.back().insert(text.substr(0, text.find(L'-') + 1));
  }
  EXPECT_EQ(prefixes, (std::vector<std::set<std::wstring>>{{L"T-"}, {L"T2-"}}));
}

// Links in the text copied into a second drawing name that drawing's own
// relationships to the same addresses, one per address, not ids that mean
// something else there; the data part keeps its own links' ids.
TEST_F(SmartArtTextTest, LinksAnEditCarriesResolveInEachPartsOwnRelationships) {
  const std::string linkRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
  const std::string first = "ppt/diagrams/drawing1.xml", second = "ppt/diagrams/drawing2.xml";
  const std::string address = "https://intranet.example/tools";
  auto pkg = host::pptx::Package::Open(testsupport::CorpusDeck("poi__smartart-simple.pptx"));
  const std::string id = pkg->AddExternalRelationship(first, linkRel, address);
  EXPECT_EQ(pkg->AddExternalRelationship(first, linkRel, address), id);
  LinkEveryRun(*pkg, first, id);
  LinkEveryRun(*pkg, "ppt/diagrams/data1.xml", "rIdData");
  CopyDrawing(*pkg, first, second);
  // In the second drawing that id names another relationship.
  pkg->AddRelationship(second, "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image",
                       "ppt/media/image1.jpeg");
  pkg->AddRelationship("ppt/slides/slide1.xml", kDrawingRel, second);
  pkg->Save(mTemp / "in.pptx");

  int edited = 0;
  auto out = EditDrawnTexts(mTemp / "in.pptx", mTemp / "out.pptx", edited);
  ASSERT_GT(edited, 1);
  EXPECT_EQ(DrawnTexts(*out, second), DrawnTexts(*out, first));
  int links = 0;
  for (pugi::xpath_node link : out->Xml(second).select_nodes("//a:hlinkClick")) {
    ++links;
    auto rel = out->RelationshipById(second, link.node().attribute("r:id").value()).value_or(host::pptx::Relationship{});
    EXPECT_EQ(std::tuple(rel.external, rel.target), std::tuple(true, address));
  }
  int toAddress = 0;
  for (const auto& rel : out->Relationships(second)) toAddress += rel.target == address;
  std::set<std::string> ids;
  for (pugi::xpath_node link : out->Xml("ppt/diagrams/data1.xml").select_nodes("//a:hlinkClick"))
    ids.insert(link.node().attribute("r:id").value());
  EXPECT_EQ(std::tuple(links >= edited, toAddress, ids), std::tuple(true, 1, std::set<std::string>{"rIdData"})) << links;
}

// The sync keeps what it worked out about a graphic (which parts link a
// drawing, the data model's points and connections) from one drawn shape to
// the next; what changed elsewhere in between is seen.
TEST(SmartArtIndex, ASyncSeesLinksAndModelsChangedSinceTheLastOne) {
  auto doc = host::pptx::Document::Open(testsupport::CorpusDeck("poi__smartart-simple.pptx"));
  host::pptx::Package& pkg = doc->Pkg();
  const std::string data = "ppt/diagrams/data1.xml", first = "ppt/diagrams/drawing1.xml",
                    second = "ppt/diagrams/drawing2.xml";
  pugi::xml_node model = pkg.Xml(data).document_element();
  auto shapeShowing = [&](const std::string& drawing, const std::wstring& text) {
    for (pugi::xml_node sp : pkg.Xml(drawing).document_element().child("dsp:spTree").children("dsp:sp"))
      if (TextBody(sp.child("dsp:txBody")).Text() == text) return sp;
    return pugi::xml_node();
  };
  auto edit = [&](const std::string& drawing, pugi::xml_node sp, const std::wstring& text) {
    TextBody body(sp.child("dsp:txBody"));
    body.Replace({0, body.Length()}, text);
    host::pptx::SmartArtDrawingChanged(*doc, drawing, sp);
  };
  auto point = [&](const std::string& id) {
    return model.select_node(("dgm:ptLst/dgm:pt[@modelId='" + id + "']/dgm:t").c_str()).node();
  };
  const std::string abc = "{63986E3B-5608-7F48-A1F2-C2D1F88EED58}", kid = "{11111111-2222-3333-4444-555555555555}";
  // A second drawing of the graphic, linked from the data part; the slide
  // links it only after the first sync.
  CopyDrawing(pkg, first, second);
  pkg.AddRelationship(data, kDrawingRel, second);
  pugi::xml_node abcShape = shapeShowing(first, L"abc");
  ASSERT_TRUE(abcShape);
  edit(first, abcShape, L"one");
  ASSERT_EQ(std::tuple(TextBody(point(abc)).Text(), pkg.IsDirty(data)), std::tuple(L"one", true));
  pkg.AddRelationship("ppt/slides/slide1.xml", kDrawingRel, second);
  pugi::xml_node copied = shapeShowing(second, L"one");
  ASSERT_TRUE(copied);
  edit(second, copied, L"two");
  EXPECT_EQ(TextBody(point(abc)).Text(), L"two");

  // "abc" gets a child that its shape shows after it, as list layouts draw
  // it: one shape, the node's paragraph then the child's as a bullet.
  const std::string pt = "<dgm:pt modelId=\"" + kid + "\"><dgm:t><a:bodyPr/><a:p/></dgm:t></dgm:pt>";
  const std::string cxns = "<dgm:cxn modelId=\"{99999999-2222-3333-4444-555555555555}\" srcId=\"" + abc +
                           "\" destId=\"" + kid + "\" srcOrd=\"0\" destOrd=\"0\"/><dgm:cxn modelId=\"{99999999-2222-"
                           "3333-4444-666666666666}\" type=\"presOf\" srcId=\"" + kid + "\" destId=\"" +
                           abcShape.attribute("modelId").value() + "\" srcOrd=\"0\" destOrd=\"1\"/>";
  ASSERT_TRUE(model.child("dgm:ptLst").append_buffer(pt.data(), pt.size()));
  ASSERT_TRUE(model.child("dgm:cxnLst").append_buffer(cxns.data(), cxns.size()));
  pkg.MarkDirty(data);
  edit(first, abcShape, L"Eins\rZwei");
  // The model keeps the properties of its own paragraphs.
  EXPECT_EQ(std::tuple(TextBody(point(abc)).Text(), std::string(point(abc).child("a:p").child("a:pPr").attribute("rtl").value()),
                       TextBody(point(kid)).Text()),
            std::tuple(L"Eins", "0", L"Zwei"));
}

// Legacy comments are read, then rebuilt as the walk does and saved.
TEST_F(CommentsTest, LegacyCommentsAreReadAndRebuiltWithReplies) {
  auto doc = Open("poi__45545_Comment.pptx");
  auto comments = host::pptx::MakeSlideComments(Slide(doc));
  EXPECT_EQ(std::tuple(ShowComments(comments), comments->Item(1)->DateTime(),
                       host::pptx::MakeSlideComments(Slide(doc, 2))->Count(), testsupport::ErrorOf([&] { comments->Item(2); })),
            std::tuple(L"XPVMWARE01 (X) @434,194.75: testdoc\n", L"2007-10-23T09:14:49.723", 0, DISP_E_BADINDEX));
  // The walk's order: delete from the last, then add in source order.
  for (int i = comments->Count(); i >= 1; --i) comments->Item(i)->Delete();
  auto first = comments->Add(12.5f, 30, L"Ana Lima", L"AL", L"Primera nota");
  comments->Add(100, 200, L"XPVMWARE01", L"X", L"Segunda\rlinea");
  first->Replies()->Add(0, 0, L"Bo", L"B", L"Respuesta uno");
  first->Replies()->Add(0, 0, L"XPVMWARE01", L"X", L"Respuesta dos");

  // Replies sit with their comment.
  auto reopened = SaveAndReopen(doc);
  auto again = host::pptx::MakeSlideComments(Slide(reopened));
  EXPECT_EQ(ShowComments(again),
            L"Ana Lima (AL) @12.5,30: Primera nota\n  Bo (B) @12.5,30: Respuesta uno\n"
            L"  XPVMWARE01 (X) @12.5,30: Respuesta dos\nXPVMWARE01 (X) @100,200: Segunda\nlinea\n");
  // The existing author was reused and its index moved on; indexes stay
  // unique per author.
  std::vector<std::string> authors;
  for (pugi::xml_node a : reopened->Pkg().Xml("ppt/commentAuthors.xml").document_element().children())
    authors.push_back(std::string(a.attribute("name").value()) + " " + a.attribute("lastIdx").value());
  EXPECT_EQ(std::tuple(authors.size(), authors.at(0)), std::tuple(3ul, std::string("XPVMWARE01 4")));
  // Deleting a comment takes its replies along; other handles on it and
  // on its replies fail cleanly afterwards.
  auto c1 = again->Item(1), otherHandle = again->Item(1), replyHandle = c1->Replies()->Item(1);
  c1->Delete();
  EXPECT_EQ(ShowComments(again), L"XPVMWARE01 (X) @100,200: Segunda\nlinea\n");
  for (const std::function<void()>& gone : std::vector<std::function<void()>>{
           [&] { c1->Text(); }, [&] { otherHandle->Text(); }, [&] { otherHandle->Delete(); }, [&] { replyHandle->Author(); }})
    EXPECT_THROW(gone(), platform::ComError);
}

TEST_F(CommentsTest, ThreadedCommentsWithRepliesRoundTrip) {
  auto doc = Open("pptx__prs-notes.pptx");
  SlideRef slide = Slide(doc);
  // A deck as current versions write it: authors.xml and a threaded part.
  host::pptx::Package& pkg = doc->Pkg();
  const std::string ns = "http://schemas.microsoft.com/office/powerpoint/2018/8/main";
  pkg.AddXmlPart("ppt/authors.xml", "application/vnd.ms-powerpoint.authors+xml")
      .load_string(("<p188:authorLst xmlns:p188=\"" + ns +
                    "\"><p188:author id=\"{A1}\" name=\"Kim\" initials=\"K\" userId=\"k\" providerId=\"None\"/>"
                    "</p188:authorLst>").c_str());
  pkg.AddRelationship(doc->PresentationPart(), "http://schemas.microsoft.com/office/2018/10/relationships/authors",
                      "ppt/authors.xml");
  pkg.AddXmlPart("ppt/comments/modernComment_100_1.xml", "application/vnd.ms-powerpoint.comments+xml")
      .load_string(("<p188:cmLst xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:p188=\"" + ns +
                    "\"><p188:cm id=\"{C1}\" authorId=\"{A1}\" created=\"2024-01-02T03:04:05.000\">"
                    "<p188:pos x=\"1270000\" y=\"635000\"/><p188:replyLst><p188:reply id=\"{R1}\" authorId=\"{A1}\">"
                    "<p188:txBody><a:bodyPr/><a:p><a:r><a:t>first reply</a:t></a:r></a:p></p188:txBody></p188:reply>"
                    "</p188:replyLst><p188:txBody><a:bodyPr/><a:p><a:r><a:t>line one</a:t></a:r></a:p><a:p><a:r>"
                    "<a:t>two</a:t></a:r></a:p></p188:txBody></p188:cm></p188:cmLst>").c_str());
  pkg.AddRelationship(slide.part, "http://schemas.microsoft.com/office/2018/10/relationships/comments",
                      "ppt/comments/modernComment_100_1.xml");

  auto comments = host::pptx::MakeSlideComments(slide);
  EXPECT_EQ(ShowComments(comments), L"Kim (K) @100,50: line one\rtwo\n  Kim (K) @100,50: first reply\n");
  comments->Item(1)->Replies()->Add(0, 0, L"Lee", L"L", L"second\rreply");
  // A new comment in a threaded deck is threaded too.
  comments->Add(10, 20, L"Kim", L"K", L"another");

  auto reopened = SaveAndReopen(doc);
  auto again = host::pptx::MakeSlideComments(Slide(reopened));
  EXPECT_EQ(ShowComments(again), L"Kim (K) @100,50: line one\rtwo\n  Kim (K) @100,50: first reply\n"
                                 L"  Lee (L) @100,50: second\rreply\nKim (K) @10,20: another\n");
  // The threaded body is in schema order: moniker, position, text; no legacy authors list.
  pugi::xml_node cm = reopened->Pkg().Xml("ppt/comments/modernComment_100_1.xml").document_element().last_child();
  std::vector<std::string> order{reopened->Pkg().HasPart("ppt/commentAuthors.xml") ? "legacy authors" : ""};
  for (pugi::xml_node n : cm.children()) order.push_back(n.name());
  EXPECT_EQ(order, (std::vector<std::string>{"", "pc:sldMkLst", "p188:pos", "p188:txBody"}));
  // Deleting the last reply leaves no empty reply list behind.
  auto replies = again->Item(1)->Replies();
  replies->Item(2)->Delete();
  replies->Item(1)->Delete();
  EXPECT_EQ(again->Item(1)->Replies()->Count(), 0);
  EXPECT_FALSE(reopened->Pkg().Xml("ppt/comments/modernComment_100_1.xml").document_element().first_child().child(
      "p188:replyLst"));
}

class NotesPageTest : public CommentsTest {};

// Reading a missing page writes nothing; writing it makes it, and a notes
// master only where the deck has none; a second handle on the same slide
// finds the written page.
TEST_F(NotesPageTest, AMissingPageIsMadeOnlyWhenWritten) {
  for (auto [deck, masters] : {std::pair{"pptx__txt-font-typeface.pptx", 0}, {"sc__autoshape-case017_slide-number.pptx", 1}}) {
    SCOPED_TRACE(deck);
    auto doc = Open(deck);
    ASSERT_EQ(CountParts(*doc, "ppt/notesMasters/"), masters);
    auto names = doc->Pkg().PartNames();
    auto page = host::pptx::MakeNotesPage(Slide(doc));
    auto frame = page->Shapes()->Item(2)->TextFrame();  // read before and after the page is written
    EXPECT_EQ((std::vector<int>{page->SlideIndex(), page->Shapes()->Count(), page->Shapes()->Range()->Count(),
                                frame->HasText()}),
              (std::vector<int>{1, 2, 2, false}));
    EXPECT_EQ(std::tuple(Notes(doc)->Text(), Notes(doc)->Font()->Bold(), testsupport::ErrorOf([&] { page->NotesPage(); }),
                         doc->Changed(), doc->Pkg().PartNames()),
              std::tuple(L"", host::msoFalse, E_FAIL, false, names));
    // A blank page read after an edit of the notes size has the new size.
    pugi::xml_node size = doc->Pkg().Xml(doc->PresentationPart()).document_element().child("p:notesSz");
    const float width = page->Shapes()->Item(2)->Width();
    size.attribute("cx").set_value(size.attribute("cx").as_llong() * 2);
    doc->MarkDirty(doc->PresentationPart());
    EXPECT_NEAR(host::pptx::MakeNotesPage(Slide(doc))->Shapes()->Item(2)->Width(), 2 * width, 0.01);
    Notes(doc)->SetText(L"Speaker notes\rsecond point");
    EXPECT_EQ(std::tuple(Notes(doc)->Paragraphs(2, 1)->Text(), frame->HasText()), std::tuple(L"second point", true));
    Notes(doc)->InsertAfter(L"!");
    EXPECT_EQ(std::tuple(CountParts(*doc, "ppt/notesSlides/"), CountParts(*doc, "ppt/notesMasters/")), std::tuple(1, 1));

    doc->Pkg().Save(mTemp / "notes.pptx");
    auto reopened = Document::Open(mTemp / "notes.pptx");
    host::pptx::Package& pkg = reopened->Pkg();
    auto notesRel = pkg.RelationshipByType(Slide(doc).part, "notesSlide");
    ASSERT_TRUE(notesRel);
    auto master = pkg.RelationshipByType(notesRel->targetPart, "notesMaster").value_or(host::pptx::Relationship{});
    EXPECT_EQ(std::tuple(pkg.ContentType(notesRel->targetPart),
                         pkg.RelationshipByType(notesRel->targetPart, "slide").value_or(host::pptx::Relationship{}).targetPart,
                         master.targetPart, pkg.RelationshipByType(master.targetPart, "theme").has_value()),
              std::tuple("application/vnd.openxmlformats-officedocument.presentationml.notesSlide+xml", Slide(doc).part,
                         "ppt/notesMasters/notesMaster1.xml", true));
    // The master is listed in the presentation, right after the slide masters.
    pugi::xml_node list = pkg.Xml(reopened->PresentationPart()).document_element().child("p:notesMasterIdLst");
    EXPECT_STREQ(list.previous_sibling().name(), "p:sldMasterIdLst");
    EXPECT_EQ(Notes(reopened)->Text(), L"Speaker notes\rsecond point!");
  }
}

}  // namespace
