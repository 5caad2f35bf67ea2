#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "DeckBuilder.h"
#include "host/Host.h"
#include "host/pptx/PptxApplication.h"
#include "host/pptx/PptxDocument.h"
#include "host/pptx/PptxPackage.h"
#include "host/pptx/TextBody.h"

namespace fs = std::filesystem;

namespace {

fs::path Corpus(const char* name) {
  const char* src = std::getenv("PELORANT_TEST_SOURCE_DIR");
  fs::path root = src ? fs::path(src) : fs::current_path();
  return root / ".." / "shared" / "corpus" / "real" / name;
}

// Text of every data point of a diagram data part, in model order.
std::vector<std::wstring> ModelTexts(host::pptx::Package& pkg, const std::string& part) {
  std::vector<std::wstring> out;
  for (pugi::xml_node pt : pkg.Xml(part).document_element().child("dgm:ptLst").children("dgm:pt")) {
    std::string_view type = pt.attribute("type").value();
    if (!type.empty() && type != "node") continue;
    out.push_back(host::pptx::TextBody(pt.child("dgm:t")).Text());
  }
  return out;
}

std::vector<std::wstring> DrawnTexts(host::pptx::Package& pkg, const std::string& part) {
  std::vector<std::wstring> out;
  for (pugi::xml_node sp : pkg.Xml(part).document_element().child("dsp:spTree").children("dsp:sp")) {
    std::wstring t = host::pptx::TextBody(sp.child("dsp:txBody")).Text();
    if (!t.empty()) out.push_back(t);
  }
  return out;
}

class SmartArtTextTest : public ::testing::Test {
 protected:
  decktest::TempDir mTemp;
};

TEST_F(SmartArtTextTest, EditingADrawnShapeUpdatesTheDataModelToo) {
  fs::path deck = Corpus("poi__smartart-simple.pptx");
  ASSERT_TRUE(fs::exists(deck)) << deck;
  auto app = host::pptx::CreateApplication();
  auto pres = app->Presentations()->Open(deck.wstring(), false, false, false);
  auto shapes = pres->Slides()->Item(1)->Shapes();
  host::Ptr<host::Shape> graphic;
  for (int i = 1; i <= shapes->Count(); ++i)
    if (shapes->Item(i)->HasSmartArt()) graphic = shapes->Item(i);
  ASSERT_TRUE(graphic);
  auto items = graphic->GroupItems();
  int edited = 0;
  for (int i = 1; i <= items->Count(); ++i) {
    auto item = items->Item(i);
    if (!item->HasTextFrame() || !item->TextFrame()->HasText()) continue;
    auto range = item->TextFrame2()->TextRange();
    std::wstring text = range->Text();
    range->Characters(1, static_cast<int>(text.size()))->SetText(L"T-" + text);
    ++edited;
  }
  EXPECT_EQ(edited, 3);
  fs::path out = mTemp / "smartart.pptx";
  pres->SaveCopyAs(out.wstring(), host::ppSaveAsDefault, false);

  auto pkg = host::pptx::Package::Open(out);
  std::vector<std::wstring> model = ModelTexts(*pkg, "ppt/diagrams/data1.xml");
  std::vector<std::wstring> drawn = DrawnTexts(*pkg, "ppt/diagrams/drawing1.xml");
  std::vector<std::wstring> want{L"T-abc", L"T-def", L"T-ghi"};
  EXPECT_EQ(drawn, want);
  // The model has a fourth, empty node; the three with text now match the drawing.
  std::vector<std::wstring> withText;
  for (auto& t : model)
    if (!t.empty()) withText.push_back(t);
  EXPECT_EQ(withText, want);
  // The model keeps the formatting of its own paragraphs (bold italic "def").
  std::ostringstream xml;
  pkg->Xml("ppt/diagrams/data1.xml").save(xml, "", pugi::format_raw);
  EXPECT_NE(xml.str().find("<a:pPr algn=\"l\" rtl=\"0\"/>"), std::string::npos);
}

TEST_F(SmartArtTextTest, AShapeShowingANodeWithItsChildrenSharesItsParagraphsOut) {
  fs::path deck = Corpus("poi__smartart-simple.pptx");
  ASSERT_TRUE(fs::exists(deck)) << deck;
  auto doc = host::pptx::Document::Open(deck);
  host::pptx::Package& pkg = doc->Pkg();
  // Give node "abc" a child, as list layouts draw it: one shape, the node's
  // paragraph then the child's as a bullet.
  pugi::xml_node model = pkg.Xml("ppt/diagrams/data1.xml").document_element();
  const char* abc = "{63986E3B-5608-7F48-A1F2-C2D1F88EED58}";
  pugi::xml_node child = model.child("dgm:ptLst").append_child("dgm:pt");
  child.append_attribute("modelId") = "{11111111-2222-3333-4444-555555555555}";
  pugi::xml_node t = child.append_child("dgm:t");
  t.append_child("a:bodyPr");
  t.append_child("a:p").append_child("a:r").append_child("a:t").text().set("child");
  pugi::xml_node cxn = model.child("dgm:cxnLst").append_child("dgm:cxn");
  cxn.append_attribute("modelId") = "{99999999-2222-3333-4444-555555555555}";
  cxn.append_attribute("srcId") = abc;
  cxn.append_attribute("destId") = "{11111111-2222-3333-4444-555555555555}";
  cxn.append_attribute("srcOrd") = 0;
  cxn.append_attribute("destOrd") = 0;

  pugi::xml_node drawing = pkg.Xml("ppt/diagrams/drawing1.xml").document_element();
  pugi::xml_node shape;
  for (pugi::xml_node sp : drawing.child("dsp:spTree").children("dsp:sp"))
    if (host::pptx::TextBody(sp.child("dsp:txBody")).Text() == L"abc") shape = sp;
  ASSERT_TRUE(shape);
  host::pptx::TextBody body(shape.child("dsp:txBody"));
  body.Replace({0, body.Length()}, L"Eins\rZwei");
  host::pptx::SmartArtDrawingChanged(*doc, "ppt/diagrams/drawing1.xml", shape);

  pugi::xml_node node;
  for (pugi::xml_node pt : model.child("dgm:ptLst").children("dgm:pt"))
    if (std::string_view(pt.attribute("modelId").value()) == abc) node = pt;
  EXPECT_EQ(host::pptx::TextBody(node.child("dgm:t")).Text(), L"Eins");
  EXPECT_EQ(host::pptx::TextBody(child.child("dgm:t")).Text(), L"Zwei");
  EXPECT_TRUE(pkg.IsDirty("ppt/diagrams/data1.xml"));
}

}  // namespace
