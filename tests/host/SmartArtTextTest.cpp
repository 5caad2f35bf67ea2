#include <algorithm>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "tests/host/DeckBuilder.h"
#include "tests/host/TextTestSupport.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/host/pptx/TextBody.h"

namespace fs = std::filesystem;

namespace {


class SmartArtTextTest : public ::testing::Test {
 protected:
  testsupport::TempDir mTemp;
};

const char* kDrawingRel = "http://schemas.microsoft.com/office/2007/relationships/diagramDrawing";

// Copies a drawing part under another name.
void CopyDrawing(host::pptx::Package& pkg, const std::string& from, const std::string& to) {
  std::ostringstream bytes;
  pkg.Xml(from).save(bytes, "", pugi::format_raw);
  pkg.SetPart(to, bytes.str(), "application/vnd.ms-office.drawingml.diagramDrawing+xml");
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
  auto shapes = pres->Slides()->Item(slide)->Shapes();
  // The graphics in slide order, groups looked into.
  std::vector<host::Ptr<host::Shape>> found, stack;
  for (int i = shapes->Count(); i >= 1; --i) stack.push_back(shapes->Item(i));
  while (!stack.empty()) {
    auto shape = stack.back();
    stack.pop_back();
    if (shape->HasSmartArt()) {
      found.push_back(shape);
    } else if (shape->Type() == host::msoGroup) {
      auto inside = shape->GroupItems();
      for (int i = inside->Count(); i >= 1; --i) stack.push_back(inside->Item(i));
    }
  }
  edited = 0;
  int graphics = 0;
  for (const auto& graphic : found) {
    const std::wstring prefix = ++graphics == 1 ? L"T-" : L"T" + std::to_wstring(graphics) + L"-";
    auto items = graphic->GroupItems();
    for (int i = 1; i <= items->Count(); ++i) {
      auto item = items->Item(i);
      if (!item->HasTextFrame() || !item->TextFrame()->HasText()) continue;
      auto range = item->TextFrame2()->TextRange();
      std::wstring text = range->Text();
      range->Characters(1, static_cast<int>(text.size()))->SetText(prefix + text);
      ++edited;
    }
  }
  if (graphics == 0) return nullptr;
  pres->SaveCopyAs(out.wstring(), host::ppSaveAsDefault, false);
  return host::pptx::Package::Open(out);
}

std::vector<std::wstring> NonEmpty(std::vector<std::wstring> v) {
  v.erase(std::remove(v.begin(), v.end(), L""), v.end());
  return v;
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
  ASSERT_TRUE(out);
  ASSERT_GT(edited, 0);
  for (const auto& copy : copies) {
    SCOPED_TRACE(copy.as);
    const auto drawn = texttest::DrawnTexts(*out, part(copy.of));
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(texttest::DrawnTexts(*out, part(copy.as)), copy.edited ? drawn : texttest::DrawnTexts(*pkg, part(copy.of)));
  }
  // Each graphic of the two-graphic slide shows its own edit only.
  std::vector<std::set<std::wstring>> prefixes;
  for (const char* drawing : {"drawing8", "drawing9"}) {
    prefixes.emplace_back();
    for (const std::wstring& text : NonEmpty(texttest::DrawnTexts(*out, part(drawing))))
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
  ASSERT_TRUE(out);
  ASSERT_GT(edited, 1);
  EXPECT_EQ(texttest::DrawnTexts(*out, second), texttest::DrawnTexts(*out, first));
  int links = 0;
  for (pugi::xpath_node link : out->Xml(second).select_nodes("//a:hlinkClick")) {
    ++links;
    auto rel = out->RelationshipById(second, link.node().attribute("r:id").value());
    ASSERT_TRUE(rel);
    EXPECT_TRUE(rel->external);
    EXPECT_EQ(rel->target, address);
  }
  EXPECT_GE(links, edited);
  int toAddress = 0;
  for (const auto& rel : out->Relationships(second)) toAddress += rel.target == address;
  EXPECT_EQ(toAddress, 1);
  std::set<std::string> ids;
  for (pugi::xpath_node link : out->Xml("ppt/diagrams/data1.xml").select_nodes("//a:hlinkClick"))
    ids.insert(link.node().attribute("r:id").value());
  EXPECT_EQ(ids, std::set<std::string>{"rIdData"});
}

TEST_F(SmartArtTextTest, ASecondShapeShowingTheSameNodeReadsTheEditAtOnce) {
  fs::path deck = testsupport::CorpusDeck("poi__smartart-simple.pptx");
  // A layout that draws the node "abc" twice: a copy of its shape at the end.
  auto pkg = host::pptx::Package::Open(deck);
  pugi::xml_node tree = pkg->Xml("ppt/diagrams/drawing1.xml").document_element().child("dsp:spTree");
  for (pugi::xml_node sp : tree.children("dsp:sp"))
    if (host::pptx::TextBody(sp.child("dsp:txBody")).Text() == L"abc") {
      tree.append_copy(sp);
      break;
    }
  pkg->MarkDirty("ppt/diagrams/drawing1.xml");
  fs::path twice = mTemp / "twice.pptx";
  pkg->Save(twice);

  auto app = host::pptx::CreateApplication();
  auto pres = app->Presentations()->Open(twice.wstring(), false, false, false);
  auto shapes = pres->Slides()->Item(1)->Shapes();
  host::Ptr<host::Shape> frame;
  for (int i = 1; i <= shapes->Count(); ++i)
    if (shapes->Item(i)->HasSmartArt()) frame = shapes->Item(i);
  ASSERT_TRUE(frame);
  auto items = frame->GroupItems();
  // Drawn shapes sit relative to the frame, and carry no ids of their own:
  // their place in the graphic tells them apart.
  const pugi::xml_node off = tree.child("dsp:sp").child("dsp:spPr").child("a:xfrm").child("a:off");
  EXPECT_NEAR(items->Item(1)->Left(), frame->Left() + off.attribute("x").as_double() / 12700, 0.01);
  EXPECT_NEAR(items->Item(1)->Top(), frame->Top() + off.attribute("y").as_double() / 12700, 0.01);
  EXPECT_NE(items->Item(1)->Identity(), items->Item(2)->Identity());
  std::vector<host::Ptr<host::TextRange>> abc;
  for (int i = 1; i <= items->Count(); ++i)
    if (items->Item(i)->TextFrame()->TextRange()->Text() == L"abc") abc.push_back(items->Item(i)->TextFrame()->TextRange());
  ASSERT_EQ(abc.size(), 2u);
  abc[0]->Characters(1, 1)->SetText(L"A");
  abc[0]->Characters(2, 2)->SetText(L"BC");
  EXPECT_EQ(abc[1]->Text(), L"ABC");
}

TEST_F(SmartArtTextTest, AShapeShowingANodeWithItsChildrenSharesItsParagraphsOut) {
  fs::path deck = testsupport::CorpusDeck("poi__smartart-simple.pptx");
  auto doc = host::pptx::Document::Open(deck);
  host::pptx::Package& pkg = doc->Pkg();
  // Give node "abc" a child, as list layouts draw it: one shape, the node's
  // paragraph then the child's as a bullet.
  pugi::xml_node model = pkg.Xml("ppt/diagrams/data1.xml").document_element();
  const std::string abc = "{63986E3B-5608-7F48-A1F2-C2D1F88EED58}", kid = "{11111111-2222-3333-4444-555555555555}";
  pugi::xml_node shape;
  for (pugi::xml_node sp : pkg.Xml("ppt/diagrams/drawing1.xml").document_element().child("dsp:spTree").children("dsp:sp"))
    if (host::pptx::TextBody(sp.child("dsp:txBody")).Text() == L"abc") shape = sp;
  ASSERT_TRUE(shape);
  const std::string point = "<dgm:pt modelId=\"" + kid + "\"><dgm:t><a:bodyPr/><a:p><a:r><a:t>child</a:t></a:r></a:p></dgm:t></dgm:pt>";
  model.child("dgm:ptLst").append_buffer(point.data(), point.size());
  pugi::xml_node child = model.child("dgm:ptLst").last_child();
  // The child's link to its parent, and the shape showing the child after the node.
  const std::string cxns = "<dgm:cxn modelId=\"{99999999-2222-3333-4444-555555555555}\" srcId=\"" + abc + "\" destId=\"" +
                           kid + "\" srcOrd=\"0\" destOrd=\"0\"/><dgm:cxn modelId=\"{99999999-2222-3333-4444-666666666666}\" "
                           "type=\"presOf\" srcId=\"" + kid + "\" destId=\"" + shape.attribute("modelId").value() +
                           "\" srcOrd=\"0\" destOrd=\"1\"/>";
  ASSERT_TRUE(model.child("dgm:cxnLst").append_buffer(cxns.data(), cxns.size()));
  host::pptx::TextBody body(shape.child("dsp:txBody"));
  body.Replace({0, body.Length()}, L"Eins\rZwei");
  host::pptx::SmartArtDrawingChanged(*doc, "ppt/diagrams/drawing1.xml", shape);

  pugi::xml_node node;
  for (pugi::xml_node pt : model.child("dgm:ptLst").children("dgm:pt"))
    if (pt.attribute("modelId").value() == abc) node = pt;
  EXPECT_EQ(host::pptx::TextBody(node.child("dgm:t")).Text(), L"Eins");
  // The model keeps the properties of its own paragraphs.
  EXPECT_STREQ(node.child("dgm:t").child("a:p").child("a:pPr").attribute("rtl").value(), "0");
  EXPECT_EQ(host::pptx::TextBody(child.child("dgm:t")).Text(), L"Zwei");
  EXPECT_TRUE(pkg.IsDirty("ppt/diagrams/data1.xml"));
}

}  // namespace
