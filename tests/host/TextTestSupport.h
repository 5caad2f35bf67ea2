// A text body owner over a bare XML fragment, so the text models can be
// tested without a package.
#pragma once

#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "src/host/Comments.h"
#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/PptxPackage.h"
#include "src/host/pptx/TextBody.h"

namespace texttest {

inline constexpr const char* kNs =
    "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
    "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"";

class Owner : public host::pptx::TextBodyOwner {
 public:
  // paragraphs: the inside of p:txBody after a:bodyPr (a:p elements).
  explicit Owner(const std::string& paragraphs, const std::string& bodyPr = "<a:bodyPr/>") {
    std::string xml = std::string("<p:sp ") + kNs + "><p:txBody>" + bodyPr + "<a:lstStyle/>" + paragraphs +
                      "</p:txBody></p:sp>";
    pugi::xml_parse_result r = mDoc.load_string(xml.c_str(), pugi::parse_default | pugi::parse_ws_pcdata);
    if (!r) throw std::runtime_error(std::string("bad test xml: ") + r.description());
  }
  std::shared_ptr<host::pptx::Document> Doc() override { return nullptr; }
  const std::string& Part() override { return mPart; }
  host::pptx::TextBodyKind Kind() override { return host::pptx::TextBodyKind::Shape; }
  pugi::xml_node Body(bool) override { return mDoc.child("p:sp").child("p:txBody"); }
  void Changed() override { ++changes; }
  std::vector<pugi::xml_node> InheritedStyles() override { return styles; }
  host::pptx::ThemeFonts Fonts() override { return fonts; }
  host::pptx::TextFrameGeometry Frame() override { return frame; }
  void SelectText(int, int) override {}
  host::pptx::SlideRef Slide() override { return {}; }

  // The body as XML without the namespace noise, for structure checks.
  std::string Xml() {
    std::ostringstream out;
    for (pugi::xml_node p = Body(false).child("a:p"); p; p = p.next_sibling("a:p")) p.print(out, "", pugi::format_raw);
    return out.str();
  }

  pugi::xml_document mDoc;
  std::string mPart = "ppt/slides/slide1.xml";
  int changes = 0;
  std::vector<pugi::xml_node> styles;
  host::pptx::ThemeFonts fonts{"Liberation Sans", "", "", "Liberation Sans", "", ""};
  host::pptx::TextFrameGeometry frame{400, 300};
};

// Text of every data point of a diagram data part but the layout's own, in model order.
inline std::vector<std::wstring> ModelTexts(host::pptx::Package& pkg, const std::string& part) {
  std::vector<std::wstring> out;
  for (pugi::xml_node pt : pkg.Xml(part).document_element().child("dgm:ptLst").children("dgm:pt")) {
    std::string_view type = pt.attribute("type").value();
    if (type == "pres") continue;
    out.push_back(host::pptx::TextBody(pt.child("dgm:t")).Text());
  }
  return out;
}

// Non-empty texts of the drawn shapes of a diagram drawing part, in order.
inline std::vector<std::wstring> DrawnTexts(host::pptx::Package& pkg, const std::string& part) {
  std::vector<std::wstring> out;
  for (pugi::xml_node sp : pkg.Xml(part).document_element().child("dsp:spTree").children("dsp:sp")) {
    std::wstring t = host::pptx::TextBody(sp.child("dsp:txBody")).Text();
    if (!t.empty()) out.push_back(t);
  }
  return out;
}

// Comments as "Author (I) @left,top: text" a line, each reply indented below
// its comment.
inline std::wstring ShowComments(const host::Ptr<host::Comments>& comments) {
  std::wostringstream out;
  auto show = [&](const host::Ptr<host::Comment>& c, const wchar_t* indent) {
    out << indent << c->Author() << L" (" << c->AuthorInitials() << L") @" << c->Left() << L"," << c->Top() << L": "
        << c->Text() << L"\n";
  };
  for (int i = 1; i <= comments->Count(); ++i) {
    show(comments->Item(i), L"");
    for (int r = 1; r <= comments->Item(i)->Replies()->Count(); ++r) show(comments->Item(i)->Replies()->Item(r), L"  ");
  }
  return out.str();
}

}  // namespace texttest
