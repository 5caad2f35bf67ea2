// The SmartArt sync keeps what it worked out about a graphic (which parts
// link a drawing, the data model's points and connections) from one drawn
// shape to the next; what changed elsewhere in between is seen.
#include <gtest/gtest.h>

#include "tests/common/Paths.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/host/pptx/TextBody.h"

namespace {

using host::pptx::TextBody;

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
  auto pointText = [&](const std::string& id) {
    for (pugi::xml_node pt : model.child("dgm:ptLst").children("dgm:pt"))
      if (pt.attribute("modelId").value() == id) return TextBody(pt.child("dgm:t")).Text();
    return std::wstring(L"(none)");
  };
  const std::string abc = "{63986E3B-5608-7F48-A1F2-C2D1F88EED58}", kid = "{11111111-2222-3333-4444-555555555555}";
  // A second drawing of the graphic, linked from the data part; the slide
  // links it only after the first sync.
  std::ostringstream bytes;
  pkg.Xml(first).save(bytes, "", pugi::format_raw);
  pkg.SetPart(second, bytes.str(), "application/vnd.ms-office.drawingml.diagramDrawing+xml");
  const char* drawingRel = "http://schemas.microsoft.com/office/2007/relationships/diagramDrawing";
  pkg.AddRelationship(data, drawingRel, second);
  pugi::xml_node abcShape = shapeShowing(first, L"abc");
  ASSERT_TRUE(abcShape);
  edit(first, abcShape, L"one");
  ASSERT_EQ(pointText(abc), L"one");
  pkg.AddRelationship("ppt/slides/slide1.xml", drawingRel, second);
  pugi::xml_node copied = shapeShowing(second, L"one");
  ASSERT_TRUE(copied);
  edit(second, copied, L"two");
  EXPECT_EQ(pointText(abc), L"two");

  // "abc" gets a child that its shape shows after it, as list layouts draw it.
  const std::string point = "<dgm:pt modelId=\"" + kid + "\"><dgm:t><a:bodyPr/><a:p/></dgm:t></dgm:pt>";
  const std::string cxns = "<dgm:cxn modelId=\"{99999999-2222-3333-4444-555555555555}\" srcId=\"" + abc +
                           "\" destId=\"" + kid + "\" srcOrd=\"0\" destOrd=\"0\"/><dgm:cxn modelId=\"{99999999-2222-"
                           "3333-4444-666666666666}\" type=\"presOf\" srcId=\"" + kid + "\" destId=\"" +
                           abcShape.attribute("modelId").value() + "\" srcOrd=\"0\" destOrd=\"1\"/>";
  ASSERT_TRUE(model.child("dgm:ptLst").append_buffer(point.data(), point.size()));
  ASSERT_TRUE(model.child("dgm:cxnLst").append_buffer(cxns.data(), cxns.size()));
  pkg.MarkDirty(data);
  edit(first, abcShape, L"Eins\rZwei");
  EXPECT_EQ(pointText(abc), L"Eins");
  EXPECT_EQ(pointText(kid), L"Zwei");
}

}  // namespace
