#include <algorithm>
#include <cmath>
#include <functional>

#include "src/host/pptx/PptxShapes.h"

namespace host::pptx {

std::string PrefixFor(pugi::xml_document& part, const std::string& nsKind) {
  pugi::xml_node root = part.document_element();
  for (const XmlNamespace* ns : {&kDrawingMl, &kPresentationMl, &kRelationshipsNs})
    if (nsKind == ns->prefix) return NamespacePrefix(root, *ns, ConformanceOf(root));
  return nsKind;
}

namespace shapes {

const char* OrientationToVert(int o) {
  switch (o) {
    case msoTextOrientationDownward: return "vert";
    case msoTextOrientationUpward: return "vert270";
    case msoTextOrientationVerticalFarEast: return "eaVert";
    case msoTextOrientationVertical: return "wordArtVert";
    case msoTextOrientationHorizontal:
    case msoTextOrientationHorizontalRotatedFarEast: return "horz";
  }
  throw platform::ComError(E_INVALIDARG, L"Invalid text orientation.");
}

void WriteXfrm(pugi::xml_document& partXml, pugi::xml_node node, pugi::xml_node spPr, pugi::xml_node xfrm,
               const Rect& local) {
  pugi::xml_node x = xfrm;
  if (!x) {
    pugi::xml_node sp = spPr;
    std::string a = PrefixFor(partXml, "a");
    if (!sp) {
      if (Is(node, "graphicFrame") || Is(node, "contentPart"))
        throw platform::ComError(E_FAIL, L"This shape cannot be moved.");
      sp = AppendChildLike(node, "spPr", Child(node, "style") ? Child(node, "style") : Child(node, "txBody"));
    }
    x = sp.prepend_child(QualifiedName(a, "xfrm").c_str());
    x.append_child(QualifiedName(a, "off").c_str());
    x.append_child(QualifiedName(a, "ext").c_str());
  }
  pugi::xml_node off = Child(x, "off"), ext = Child(x, "ext");
  if (!off) off = AppendChildLike(x, "off", x.first_child());
  if (!ext) ext = AppendChildLike(x, "ext");
  auto set = [](pugi::xml_node n, const char* a, double v) {
    pugi::xml_attribute at = n.attribute(a);
    if (!at) at = n.append_attribute(a);
    at.set_value(static_cast<long long>(std::llround(v)));
  };
  set(off, "x", local.x);
  set(off, "y", local.y);
  set(ext, "cx", std::max(0.0, local.cx));
  set(ext, "cy", std::max(0.0, local.cy));
}

}  // namespace shapes

pugi::xml_node NewTextboxXml(Document& doc, const std::string& part, int orientation, float left, float top,
                             float width, float height) {
  pugi::xml_document& d = doc.Pkg().Xml(part);
  pugi::xml_node tree = Child(Child(d.document_element(), "cSld"), "spTree");
  std::string a = PrefixFor(d, "a");
  int maxId = 1;
  std::function<void(pugi::xml_node)> scan = [&](pugi::xml_node n) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (Is(c, "cNvPr")) maxId = std::max(maxId, Attr(c, "id").as_int());
      if (c.type() == pugi::node_element) scan(c);
    }
  };
  scan(tree);
  int id = maxId + 1;
  // A new shape goes before the tree's extension list, if there is one.
  pugi::xml_node ext = Child(tree, "extLst");
  pugi::xml_node sp = AppendChildLike(tree, "sp", ext);
  doc.NoteAddition(part);
  auto P = [&](pugi::xml_node parent, const char* local) { return AppendChildLike(parent, local); };
  auto A = [&](pugi::xml_node parent, const char* local) { return parent.append_child(QualifiedName(a, local).c_str()); };
  pugi::xml_node nv = P(sp, "nvSpPr");
  pugi::xml_node c = P(nv, "cNvPr");
  c.append_attribute("id") = id;
  c.append_attribute("name") = ("TextBox " + std::to_string(id - 1)).c_str();
  P(nv, "cNvSpPr").append_attribute("txBox") = "1";
  P(nv, "nvPr");
  pugi::xml_node spPr = P(sp, "spPr");
  pugi::xml_node xfrm = A(spPr, "xfrm");
  pugi::xml_node off = A(xfrm, "off");
  off.append_attribute("x") = static_cast<long long>(std::llround(left * kEmuPerPoint));
  off.append_attribute("y") = static_cast<long long>(std::llround(top * kEmuPerPoint));
  pugi::xml_node extn = A(xfrm, "ext");
  extn.append_attribute("cx") = static_cast<long long>(std::llround(width * kEmuPerPoint));
  extn.append_attribute("cy") = static_cast<long long>(std::llround(height * kEmuPerPoint));
  pugi::xml_node geom = A(spPr, "prstGeom");
  geom.append_attribute("prst") = "rect";
  A(geom, "avLst");
  A(spPr, "noFill");
  pugi::xml_node body = P(sp, "txBody");
  pugi::xml_node bodyPr = A(body, "bodyPr");
  bodyPr.append_attribute("wrap") = "square";
  bodyPr.append_attribute("rtlCol") = "0";
  if (orientation != msoTextOrientationHorizontal)
    bodyPr.append_attribute("vert") = shapes::OrientationToVert(orientation);
  A(bodyPr, "spAutoFit");
  A(body, "lstStyle");
  pugi::xml_node p = A(body, "p");
  A(p, "endParaRPr").append_attribute("lang") = "en-US";
  doc.MarkDirty(part);
  return sp;
}

}  // namespace host::pptx
