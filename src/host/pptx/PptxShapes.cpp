#include "src/host/pptx/PptxShapes.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>

#include "src/host/pptx/TextBody.h"
#include "src/platform/Strings.h"

namespace host::pptx {

namespace shapes {

double Emu(pugi::xml_node n, const char* attr, double def) {
  pugi::xml_attribute a = Attr(n, attr);
  if (!a) return def;
  // Geometry is read for every shape on every layout; a plain number is
  // read without the C library's locale-aware parser, anything else with it.
  const std::string_view text = a.value();
  double v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size()) v = std::atof(a.value());
  return std::isfinite(v) ? v : def;
}

Rect ReadXfrm(pugi::xml_node xfrm) {
  Rect r;
  if (!xfrm) return r;
  pugi::xml_node off = Child(xfrm, "off"), ext = Child(xfrm, "ext");
  if (!off && !ext) return r;
  r.x = Emu(off, "x");
  r.y = Emu(off, "y");
  r.cx = Emu(ext, "cx");
  r.cy = Emu(ext, "cy");
  r.present = true;
  return r;
}

pugi::xml_node NvBlock(pugi::xml_node shape) {
  for (pugi::xml_node k = shape.first_child(); k; k = k.next_sibling())
    if (k.type() == pugi::node_element && LocalName(k).substr(0, 2) == "nv") return k;
  return {};
}
pugi::xml_node CNvPr(pugi::xml_node shape) { return Child(NvBlock(shape), "cNvPr"); }
pugi::xml_node Ph(pugi::xml_node shape) { return Child(Child(NvBlock(shape), "nvPr"), "ph"); }

pugi::xml_node GraphicData(pugi::xml_node frame) { return Child(Child(frame, "graphic"), "graphicData"); }

namespace {

std::string GraphicUri(pugi::xml_node frame) { return Attr(GraphicData(frame), "uri").value(); }

bool UriEnds(const std::string& uri, const char* tail) {
  std::string t = tail;
  return uri.size() >= t.size() && uri.compare(uri.size() - t.size(), t.size(), t) == 0;
}

}  // namespace

int GraphicType(pugi::xml_node frame) {
  std::string uri = GraphicUri(frame);
  if (UriEnds(uri, "/table")) return msoTable;
  if (UriEnds(uri, "/chart") || uri.find("chartex") != std::string::npos) return msoChart;
  if (UriEnds(uri, "/diagram")) return msoSmartArt;
  if (UriEnds(uri, "/ole")) {
    pugi::xml_node ole = Child(GraphicData(frame), "oleObj");
    if (!ole) {
      // The OLE object may sit in an mc:AlternateContent inside graphicData.
      pugi::xml_node alt = Child(GraphicData(frame), "AlternateContent");
      ole = Child(Child(alt, "Choice"), "oleObj");
      if (!ole) ole = Child(Child(alt, "Fallback"), "oleObj");
    }
    return Child(ole, "link") ? msoLinkedOLEObject : msoEmbeddedOLEObject;
  }
  return msoGraphic;
}

namespace {

bool IsShapeElement(pugi::xml_node n) {
  return Is(n, "sp") || Is(n, "grpSp") || Is(n, "graphicFrame") || Is(n, "cxnSp") || Is(n, "pic") ||
         Is(n, "contentPart");
}

// A markup-compatibility block stands for the first alternative we can read.
pugi::xml_node Resolve(pugi::xml_node n) {
  if (!Is(n, "AlternateContent")) return n;
  for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
    if (!Is(c, "Choice") && !Is(c, "Fallback")) continue;
    for (pugi::xml_node s = c.first_child(); s; s = s.next_sibling())
      if (IsShapeElement(s)) return s;
  }
  return {};
}

std::vector<pugi::xml_node> TreeChildren(pugi::xml_node tree) {
  std::vector<pugi::xml_node> out;
  for (pugi::xml_node c = tree.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    pugi::xml_node r = Resolve(c);
    if (r && IsShapeElement(r)) out.push_back(r);
  }
  return out;
}

int PlaceholderTypeNumber(const std::string& t, bool vertical) {
  if (t == "title") return vertical ? ppPlaceholderVerticalTitle : ppPlaceholderTitle;
  if (t == "body") return vertical ? ppPlaceholderVerticalBody : ppPlaceholderBody;
  if (t == "ctrTitle") return ppPlaceholderCenterTitle;
  if (t == "subTitle") return ppPlaceholderSubtitle;
  if (t == "chart") return ppPlaceholderChart;
  if (t == "clipArt") return ppPlaceholderBitmap;
  if (t == "media") return ppPlaceholderMediaClip;
  if (t == "dgm") return ppPlaceholderOrgChart;
  if (t == "tbl") return ppPlaceholderTable;
  if (t == "sldNum") return ppPlaceholderSlideNumber;
  if (t == "hdr") return ppPlaceholderHeader;
  if (t == "ftr") return ppPlaceholderFooter;
  if (t == "dt") return ppPlaceholderDate;
  if (t == "pic") return ppPlaceholderPicture;
  if (t == "sldImg") return ppPlaceholderTitle;
  return vertical ? ppPlaceholderVerticalObject : ppPlaceholderObject;
}

// The class for a tree element; the caller fills in where it lives.
std::shared_ptr<TreeShape> NewTreeShape(pugi::xml_node n) {
  if (Is(n, "sp")) return std::make_shared<AutoShape>();
  if (Is(n, "grpSp")) return std::make_shared<GroupShape>();
  if (Is(n, "graphicFrame")) {
    if (GraphicType(n) == msoTable) return std::make_shared<TableFrameShape>();
    return std::make_shared<GraphicFrameShape>();
  }
  return std::make_shared<OtherShape>();
}

std::shared_ptr<TreeShape> MakeTreeShape(const SlideRef& slide, pugi::xml_node n) {
  auto s = NewTreeShape(n);
  s->doc = slide.doc;
  s->slide = slide;
  s->part = slide.part;
  s->node = n;
  s->generation = slide.doc->Deletions(slide.part);
  return s;
}

// A member of a group, in the group's part.
std::shared_ptr<TreeShape> MakeGroupMember(const std::shared_ptr<ShapeBase>& group, pugi::xml_node n) {
  auto s = NewTreeShape(n);
  s->doc = group->doc;
  s->slide = group->slide;
  s->part = group->part;
  s->node = n;
  s->parent = group;
  s->generation = group->generation;
  return s;
}

}  // namespace

// ---- What every kind shares.

void ShapeBase::Check() {
  doc->CheckOpen();
  // Asked on every call a handle answers; most documents never lose a shape.
  if (!doc->AnyDeletions()) return;
  for (ShapeBase* s = this; s; s = s->parent.get())
    if (doc->Deletions(s->part) != s->generation)
      throw platform::ComError(E_FAIL,
                               L"Shapes were deleted from this slide since this shape was fetched; fetch it again.");
}

pugi::xml_node ShapeBase::SpPr() {
  if (Is(node, "grpSp")) return Child(node, "grpSpPr");
  return Child(node, "spPr");
}

pugi::xml_node ShapeBase::OwnXfrm() {
  if (Is(node, "graphicFrame") || Is(node, "contentPart")) return Child(node, "xfrm");
  return Child(SpPr(), "xfrm");
}

void ShapeBase::SetSlideRect(const Rect& want) {
  Check();
  doc->Settle();  // a frame's text is fitted to the size it had when edited
  WriteXfrm(doc->Pkg().Xml(part), node, SpPr(), OwnXfrm(), ToLocal(want));
  Dirty();
}

int ShapeBase::Type() {
  Check();
  return msoAutoShape;
}
int ShapeBase::Id() {
  Check();
  return Attr(CNvPr(node), "id").as_int();
}
std::wstring ShapeBase::Name() {
  Check();
  return W(Attr(CNvPr(node), "name").value());
}
void ShapeBase::SetName(const std::wstring& name) {
  Check();
  pugi::xml_node c = CNvPr(node);
  if (!c) throw platform::ComError(E_FAIL, L"This shape has no name.");
  pugi::xml_attribute a = c.attribute("name");
  if (!a) a = c.append_attribute("name");
  a.set_value(U(name).c_str());
  Dirty();
}
namespace {
void SetDescription(pugi::xml_node cNvPr, const char* name, const std::wstring& text) {
  if (!cNvPr) throw platform::ComError(kNotAvailable, L"This object has no alternative text or title.");
  SetOrRemove(cNvPr, name, U(text));
}

// A shape that a markup-compatibility block offers in two forms is read from
// its choice; a reader that shows the fallback speaks the fallback's words,
// so where those were the same they stay the same.
void SetLabel(pugi::xml_node shape, const char* name, const std::wstring& text) {
  pugi::xml_node cNvPr = CNvPr(shape);
  const std::string old = cNvPr.attribute(name).value();
  SetDescription(cNvPr, name, text);
  pugi::xml_node choice = shape.parent();
  if (!Is(choice, "Choice")) return;
  for (pugi::xml_node fallback = choice.parent().first_child(); fallback; fallback = fallback.next_sibling()) {
    if (!Is(fallback, "Fallback")) continue;
    for (pugi::xml_node s = fallback.first_child(); s; s = s.next_sibling()) {
      if (!IsShapeElement(s)) continue;
      pugi::xml_node twin = CNvPr(s);
      if (twin && old == twin.attribute(name).value()) SetDescription(twin, name, text);
      break;
    }
  }
}
}  // namespace

std::wstring ShapeBase::AlternativeText() {
  Check();
  return W(Attr(CNvPr(node), "descr").value());
}
void ShapeBase::SetAlternativeText(const std::wstring& text) {
  Check();
  SetLabel(node, "descr", text);
  Dirty();
}
std::wstring ShapeBase::Title() {
  Check();
  return W(Attr(CNvPr(node), "title").value());
}
void ShapeBase::SetTitle(const std::wstring& text) {
  Check();
  SetLabel(node, "title", text);
  Dirty();
}
bool ShapeBase::Visible() {
  Check();
  for (ShapeBase* s = this; s; s = s->parent.get())
    if (s->HiddenFlag()) return false;
  return true;
}
void ShapeBase::SetVisible(bool v) {
  Check();
  pugi::xml_node c = CNvPr(node);
  if (!c) throw platform::ComError(E_FAIL, L"This shape cannot be hidden.");
  if (v)
    c.remove_attribute("hidden");
  else
    (c.attribute("hidden") ? c.attribute("hidden") : c.append_attribute("hidden")).set_value("1");
  Dirty();
}
void ShapeBase::Select(bool replace) {
  Check();
  // What is not shown cannot be picked, on the host as with the mouse.
  if (!Visible()) throw platform::ComError(E_FAIL, L"A hidden shape cannot be selected.");
  auto app = doc->App.lock();
  if (!app) throw platform::ComError(E_FAIL, L"No window shows this presentation.");
  app->SelectShapes(*doc, slide, {shared_from_this()}, replace);
}
float ShapeBase::Left() { Check(); return static_cast<float>(KeptRect().x / kEmuPerPoint); }
float ShapeBase::Top() { Check(); return static_cast<float>(KeptRect().y / kEmuPerPoint); }
float ShapeBase::Width() { Check(); return static_cast<float>(KeptRect().cx / kEmuPerPoint); }
float ShapeBase::Height() { Check(); return static_cast<float>(KeptRect().cy / kEmuPerPoint); }
void ShapeBase::SetLeft(float v) { Rect r = SlideRect(); r.x = v * kEmuPerPoint; SetSlideRect(r); }
void ShapeBase::SetTop(float v) { Rect r = SlideRect(); r.y = v * kEmuPerPoint; SetSlideRect(r); }
void ShapeBase::SetWidth(float v) {
  if (v < 0) throw platform::ComError(E_INVALIDARG, L"The width cannot be negative.");
  Rect r = SlideRect(); r.cx = v * kEmuPerPoint; SetSlideRect(r);
}
void ShapeBase::SetHeight(float v) {
  if (v < 0) throw platform::ComError(E_INVALIDARG, L"The height cannot be negative.");
  Rect r = SlideRect(); r.cy = v * kEmuPerPoint; SetSlideRect(r);
}
float ShapeBase::Rotation() {
  Check();
  return static_cast<float>(Emu(OwnXfrm(), "rot") / 60000.0);
}
int ShapeBase::AutoShapeType() {
  Check();
  std::string prst = Attr(Child(SpPr(), "prstGeom"), "prst").value();
  static const std::map<std::string, int> kTypes = {
      {"rect", 1}, {"parallelogram", 2}, {"trapezoid", 3}, {"diamond", 4}, {"roundRect", 5},
      {"octagon", 6}, {"triangle", 7}, {"rtTriangle", 8}, {"ellipse", 9}, {"hexagon", 10},
      {"plus", 11}, {"pentagon", 12}, {"can", 13}, {"cube", 14}, {"wedgeRectCallout", 105}};
  auto it = kTypes.find(prst);
  if (it != kTypes.end()) return it->second;
  return prst.empty() ? -2 : 138;
}
bool ShapeBase::HasTextFrame() { Check(); return true; }
bool ShapeBase::HasTable() { Check(); return false; }
Ptr<host::Table> ShapeBase::Table() {
  Check();
  throw platform::ComError(E_FAIL, L"This shape does not have a table.");
}
bool ShapeBase::HasChart() { Check(); return false; }
Ptr<host::Chart> ShapeBase::Chart() {
  Check();
  throw platform::ComError(E_FAIL, L"This shape does not have a chart.");
}
bool ShapeBase::HasSmartArt() { Check(); return false; }
bool ShapeBase::HasDiagram() { Check(); return false; }
Ptr<host::GroupShapes> ShapeBase::GroupItems() {
  Check();
  throw platform::ComError(E_FAIL, L"This member can only be accessed for a group.");
}
Ptr<host::Shape> ShapeBase::ParentGroup() { Check(); return parent; }
void ShapeBase::Delete() {
  Check();
  throw platform::ComError(E_FAIL, L"This shape cannot be deleted.");
}

namespace {

class PlaceholderImpl : public host::PlaceholderFormat {
 public:
  explicit PlaceholderImpl(std::shared_ptr<ShapeBase> s) : mShape(std::move(s)) {}
  int Type() override {
    mShape->Check();
    pugi::xml_node ph = Ph(mShape->node);
    std::string t = Attr(ph, "type").value();
    return PlaceholderTypeNumber(t.empty() ? "obj" : t, std::string(Attr(ph, "orient").value()) == "vert");
  }
  int ContainedType() override {
    mShape->Check();
    pugi::xml_node n = mShape->node;
    if (Is(n, "graphicFrame")) return GraphicType(n);
    if (Is(n, "pic")) return msoPicture;
    return msoAutoShape;
  }
  std::wstring Name() override { return mShape->Name(); }

 private:
  std::shared_ptr<ShapeBase> mShape;
};

}  // namespace

Ptr<host::PlaceholderFormat> ShapeBase::PlaceholderFormat() {
  Check();
  if (!IsPlaceholder()) throw platform::ComError(E_FAIL, L"This shape is not a placeholder.");
  return std::make_shared<PlaceholderImpl>(shared_from_this());
}

namespace {

// The link a mouse event follows on the shape as a whole: p:cNvPr's
// a:hlinkClick or a:hlinkHover (a text run spells the hover hlinkMouseOver).
class ShapeHyperlink : public host::Hyperlink {
 public:
  ShapeHyperlink(std::shared_ptr<ShapeBase> shape, bool hover) : mShape(std::move(shape)), mHover(hover) {}
  std::wstring Address() override {
    pugi::xml_node link = Link();
    std::string id;
    for (pugi::xml_attribute a : link.attributes())
      if (std::string_view(a.name()) == "id" || std::string_view(a.name()).ends_with(":id")) id = a.value();
    if (id.empty()) return {};
    auto rel = mShape->doc->Pkg().RelationshipById(mShape->part, id);
    return rel ? W(rel->target) : std::wstring();
  }
  std::wstring ScreenTip() override { return W(Link().attribute("tooltip").value()); }
  void SetScreenTip(const std::wstring& tip) override {
    pugi::xml_node link = Link();
    if (!link) throw platform::ComError(kNotAvailable, L"The shape has no such link.");
    SetOrRemove(link, "tooltip", U(tip));
    mShape->Dirty();
  }

 private:
  pugi::xml_node Link() {
    mShape->Check();
    return Child(CNvPr(mShape->node), mHover ? "hlinkHover" : "hlinkClick");
  }
  std::shared_ptr<ShapeBase> mShape;
  bool mHover;
};

class ShapeActionSetting : public host::ActionSetting {
 public:
  ShapeActionSetting(std::shared_ptr<ShapeBase> shape, bool hover) : mShape(std::move(shape)), mHover(hover) {}
  Ptr<host::Hyperlink> Hyperlink() override { return std::make_shared<ShapeHyperlink>(mShape, mHover); }

 private:
  std::shared_ptr<ShapeBase> mShape;
  bool mHover;
};

}  // namespace

Ptr<host::ActionSetting> ShapeBase::ActionSettings(int mouseEvent) {
  Check();
  if (mouseEvent != 1 && mouseEvent != 2) throw platform::ComError(kBadIndex, L"No such mouse event.");
  return std::make_shared<ShapeActionSetting>(shared_from_this(), mouseEvent == 2);
}

// ---- Shapes of the shape tree.

std::string ShapeBase::StyleKey() {
  pugi::xml_node ph = Placeholder();
  return ph ? std::string("ph ") + Attr(ph, "type").value() + ' ' + Attr(ph, "idx").value() : std::string();
}

namespace {

// The layout's and the master's placeholders a slide placeholder `ph`
// takes what it does not state from, nearest first.
InheritedShapes FindInheritChain(Document& doc, const SlideRef& slide, pugi::xml_node ph) {
  InheritedShapes out;
  std::string type = Attr(ph, "type").value();
  if (type.empty()) type = "obj";
  std::string idx = Attr(ph, "idx").value();
  // Notes slides point at their notes master directly.
  const std::string& layout = doc.LayoutOf(slide.part);
  const std::string& master =
      slide.notes ? doc.Linked(slide.part, Document::Link::NotesMaster) : doc.MasterOf(layout);
  if (!slide.notes && !layout.empty())
    if (pugi::xml_node n = doc.FindPlaceholder(layout, type, idx)) out.push_back({layout, n});
  if (!master.empty())
    if (pugi::xml_node n = doc.FindPlaceholder(master, type, idx)) out.push_back({master, n});
  return out;
}

}  // namespace

InheritedShapes TreeShape::InheritChain() {
  pugi::xml_node ph = Ph(node);
  if (!ph) return {};
  return doc->InheritedOf(node).Get(*doc, [&] { return FindInheritChain(*doc, slide, ph); });
}

Rect TreeShape::LocalRect() {
  Rect r = ReadXfrm(OwnXfrm());
  if (!r.present)
    for (auto& [p, n] : InheritChain()) {
      Rect i = ReadXfrm(Child(Child(n, "spPr"), "xfrm"));
      if (i.present) return i;
    }
  return r;
}

// A tree shape's parent, when it has one, is the group it belongs to.
Rect TreeShape::SlideRect() {
  Rect r = LocalRect();
  if (parent) {
    double sx, sy, tx, ty;
    static_cast<GroupShape&>(*parent).ChildTransform(sx, sy, tx, ty);
    r.x = r.x * sx + tx;
    r.y = r.y * sy + ty;
    r.cx *= sx;
    r.cy *= sy;
  }
  return r;
}

Rect TreeShape::ToLocal(const Rect& want) {
  Rect local = want;
  if (parent) {
    double sx, sy, tx, ty;
    static_cast<GroupShape&>(*parent).ChildTransform(sx, sy, tx, ty);
    local.x = (want.x - tx) / sx;
    local.y = (want.y - ty) / sy;
    local.cx = want.cx / sx;
    local.cy = want.cy / sy;
  }
  return local;
}

ShapeIdentity TreeShape::Identity() {
  Check();
  ShapeIdentity id;
  id.slideId = slide.slideId;
  id.notesPage = slide.notes;
  id.shapeId = Attr(CNvPr(node), "id").as_int();
  return id;
}

int TreeShape::Type() {
  Check();
  if (Ph(node)) return msoPlaceholder;
  return OwnType();
}

bool TreeShape::HasTextFrame() { Check(); return false; }

void TreeShape::Delete() {
  Check();
  doc->Settle();
  pugi::xml_node victim = node;
  // Drop the whole compatibility block, not just the alternative we read.
  for (pugi::xml_node p = node.parent(); p && !Is(p, "spTree") && !Is(p, "grpSp"); p = p.parent())
    if (Is(p, "AlternateContent")) victim = p;
  victim.parent().remove_child(victim);
  node = pugi::xml_node();
  Dirty();
  doc->NoteDeletion(part);
  if (auto app = doc->App.lock()) app->Forget(*doc);
}

int AutoShape::OwnType() {
  std::string prst = Attr(Child(SpPr(), "prstGeom"), "prst").value();
  if (Attr(Child(Child(node, "txBody"), "bodyPr"), "fromWordArt").as_bool()) return msoTextEffect;
  if (Attr(Child(NvBlock(node), "cNvSpPr"), "txBox").as_bool()) return msoTextBox;
  if (prst.find("borderCallout") == 0 || prst.find("callout") == 0 || prst.find("accentCallout") == 0 ||
      prst.find("accentBorderCallout") == 0)
    return msoCallout;
  if (prst == "line") return msoLine;
  if (Child(SpPr(), "custGeom")) return msoFreeform;
  return msoAutoShape;
}

// The slide image of a notes page is a placeholder shape but shows a
// picture of the slide; the host gives it no text frame.
bool AutoShape::HasTextFrame() {
  Check();
  return std::string_view(Attr(Ph(node), "type").value()) != "sldImg";
}

int OtherShape::OwnType() {
  if (Is(node, "contentPart")) return msoInk;
  if (Is(node, "pic")) {
    pugi::xml_node nvPr = Child(NvBlock(node), "nvPr");
    if (Child(nvPr, "videoFile") || Child(nvPr, "audioFile") || Child(nvPr, "quickTimeFile")) return msoMedia;
    pugi::xml_node blip = Child(Child(node, "blipFill"), "blip");
    if (Attr(blip, "link") && !Attr(blip, "embed")) return msoLinkedPicture;
    return msoPicture;
  }
  std::string prst = Attr(Child(SpPr(), "prstGeom"), "prst").value();
  return (prst == "line" || prst == "straightConnector1") ? msoLine : msoAutoShape;
}

// ---- Groups.

namespace {

class GroupShapesImpl : public host::GroupShapes {
 public:
  explicit GroupShapesImpl(std::vector<Ptr<host::Shape>> items) : mItems(std::move(items)) {}
  int Count() override { return static_cast<int>(mItems.size()); }
  Ptr<host::Shape> Item(int index) override {
    if (index < 1 || index > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return mItems[index - 1];
  }

 private:
  std::vector<Ptr<host::Shape>> mItems;
};

// Members of a group as the host lists them: every leaf shape, nested
// groups flattened, in document order.
void Flatten(const std::shared_ptr<ShapeBase>& group, std::vector<Ptr<host::Shape>>& out) {
  for (pugi::xml_node c : TreeChildren(group->node)) {
    auto s = MakeGroupMember(group, c);
    if (Is(c, "grpSp"))
      Flatten(s, out);
    else
      out.push_back(s);
  }
}

}  // namespace

int GroupShape::Type() {
  Check();
  return msoGroup;
}
int GroupShape::OwnType() { return msoGroup; }

Ptr<host::GroupShapes> GroupShape::GroupItems() {
  Check();
  std::vector<Ptr<host::Shape>> items;
  Flatten(shared_from_this(), items);
  return std::make_shared<GroupShapesImpl>(std::move(items));
}

void GroupShape::ChildTransform(double& sx, double& sy, double& tx, double& ty) {
  Rect me = SlideRect();
  pugi::xml_node x = OwnXfrm();
  double cox = Emu(Child(x, "chOff"), "x"), coy = Emu(Child(x, "chOff"), "y");
  double cex = Emu(Child(x, "chExt"), "cx"), cey = Emu(Child(x, "chExt"), "cy");
  sx = cex > 0 ? me.cx / cex : 1.0;
  sy = cey > 0 ? me.cy / cey : 1.0;
  tx = me.x - cox * sx;
  ty = me.y - coy * sy;
}

// ---- Graphic frames and their SmartArt items.

int GraphicFrameShape::OwnType() { return GraphicType(node); }
bool GraphicFrameShape::HasChart() { Check(); return GraphicType(node) == msoChart; }
bool GraphicFrameShape::HasSmartArt() { Check(); return GraphicType(node) == msoSmartArt; }

namespace {

// One of a SmartArt frame's GroupItems (index from 1): a drawn shape, or a
// data point of a graphic whose drawing holds no text.
template <class Item>
std::shared_ptr<Item> GraphicItem(const std::shared_ptr<ShapeBase>& frame, const std::string& part,
                                  pugi::xml_node node, int index) {
  auto s = std::make_shared<Item>();
  s->doc = frame->doc;
  s->slide = frame->slide;
  s->part = part;
  s->node = node;
  s->parent = frame;
  s->generation = frame->doc->Deletions(part);
  s->drawnIndex = index;
  return s;
}

void DrawnShapes(const std::shared_ptr<ShapeBase>& frame, pugi::xml_node tree, const std::string& drawingPart,
                 std::vector<Ptr<host::Shape>>& out) {
  for (pugi::xml_node c = tree.first_child(); c; c = c.next_sibling()) {
    if (Is(c, "grpSp")) {
      DrawnShapes(frame, c, drawingPart, out);
    } else if (Is(c, "sp")) {
      out.push_back(GraphicItem<DrawnShape>(frame, drawingPart, c, static_cast<int>(out.size()) + 1));
    }
  }
}

// The data part of a SmartArt frame; empty when it is missing.
std::string DataPartOf(ShapeBase& frame) {
  Package& pkg = frame.doc->Pkg();
  pugi::xml_node relIds = Child(GraphicData(frame.node), "relIds");
  auto dataRel = pkg.RelationshipById(frame.part, Attr(relIds, "dm").value());
  if (!dataRel || !pkg.HasPart(dataRel->targetPart)) return {};
  return dataRel->targetPart;
}

// The text points of a graphic without a drawing, in the order the model
// lists them: its nodes and assistants, and any other point but the
// layout's own that holds text (a connector's label).
void ModelPoints(const std::shared_ptr<ShapeBase>& frame, const std::string& dataPart,
                 std::vector<Ptr<host::Shape>>& out) {
  pugi::xml_node root = frame->doc->Pkg().Xml(dataPart).document_element();
  for (pugi::xml_node pt : Children(Child(root, "ptLst"), "pt")) {
    std::string_view type = Attr(pt, "type").value();
    bool text = !type.empty() && type != "node" && type != "asst";
    if (type == "pres" || (text && TextBody(Child(pt, "t")).Text().empty())) continue;
    out.push_back(GraphicItem<PointShape>(frame, dataPart, pt, static_cast<int>(out.size()) + 1));
  }
}

// The drawing part of a SmartArt frame: named by the data part's
// dataModelExt, which refers to a relationship of the slide.
std::string DrawingPartOf(ShapeBase& frame) {
  Package& pkg = frame.doc->Pkg();
  std::string dataPart = DataPartOf(frame);
  if (dataPart.empty()) return {};
  pugi::xml_node root = pkg.Xml(dataPart).document_element();
  for (pugi::xml_node ext : Children(Child(root, "extLst"), "ext"))
    if (pugi::xml_node dme = Child(ext, "dataModelExt")) {
      auto r = pkg.RelationshipById(frame.part, Attr(dme, "relId").value());
      if (r && pkg.HasPart(r->targetPart)) return r->targetPart;
    }
  return {};
}

bool ItemsHoldText(const std::vector<Ptr<host::Shape>>& items, const char* body) {
  bool text = false;
  for (const auto& item : items)
    text = text || !TextBody(Child(std::static_pointer_cast<ShapeBase>(item)->node, body)).Text().empty();
  return text;
}

}  // namespace

Ptr<host::GroupShapes> GraphicFrameShape::GroupItems() {
  Check();
  if (!HasSmartArt()) throw platform::ComError(E_FAIL, L"This member can only be accessed for a group.");
  // Listing makes the items; what is kept is their nodes, to make them from.
  std::vector<Ptr<host::Shape>> items;
  bool listed = false;
  const Document::GraphicItems& kept = doc->GraphicItemsOf(node).Get(*doc, [&] {
    listed = true;
    std::string drawing = DrawingPartOf(*this);
    std::string data = DataPartOf(*this);
    if (!drawing.empty()) {
      pugi::xml_node root = doc->Pkg().Xml(drawing).document_element();
      DrawnShapes(shared_from_this(), Child(root, "spTree"), drawing, items);
    }
    Document::GraphicItems found{drawing, false, {}};
    // A drawing that shows none of the text (saved before the text was
    // typed, or by a program that does not draw) is not what the graphic
    // is rebuilt from: its model's points are.
    if (!ItemsHoldText(items, "txBody") && !data.empty()) {
      std::vector<Ptr<host::Shape>> points;
      ModelPoints(shared_from_this(), data, points);
      if (ItemsHoldText(points, "t") || items.empty()) {
        items = std::move(points);
        found = {data, true, {}};
      }
    }
    for (const auto& item : items) found.nodes.push_back(std::static_pointer_cast<ShapeBase>(item)->node);
    return found;
  });
  if (!listed)
    for (pugi::xml_node n : kept.nodes) {
      const int index = static_cast<int>(items.size()) + 1;
      if (kept.points)
        items.push_back(GraphicItem<PointShape>(shared_from_this(), kept.part, n, index));
      else
        items.push_back(GraphicItem<DrawnShape>(shared_from_this(), kept.part, n, index));
    }
  return std::make_shared<GroupShapesImpl>(std::move(items));
}

ShapeIdentity GraphicItemShape::Identity() {
  Check();
  // Drawn shapes have no id the host would report; they are told apart
  // inside their frame by position.
  ShapeIdentity id;
  id.slideId = slide.slideId;
  id.notesPage = slide.notes;
  id.shapeId = Attr(CNvPr(parent->node), "id").as_int();
  id.drawnIndex = drawnIndex;
  return id;
}

Rect DrawnShape::SlideRect() {
  Rect r = ReadXfrm(Child(Child(node, "spPr"), "xfrm"));
  if (parent) {
    Rect f = parent->SlideRect();
    r.x += f.x;
    r.y += f.y;
  }
  return r;
}

Rect DrawnShape::ToLocal(const Rect& want) {
  Rect local = want;
  if (parent) {
    Rect f = parent->SlideRect();
    local.x -= f.x;
    local.y -= f.y;
  }
  return local;
}

// A point has no shape of its own; it shows within its frame.
Rect PointShape::SlideRect() {
  Rect r = static_cast<TreeShape&>(*parent).LocalRect();
  r.x = r.y = 0;
  Rect f = parent->SlideRect();
  r.x += f.x;
  r.y += f.y;
  return r;
}

// The graphic is laid out again from its model: a point keeps no size.
void PointShape::SetSlideRect(const Rect&) { Check(); }

// ---- Ranges and the slide's collection.

namespace {

class ShapeRangeImpl : public host::ShapeRange {
 public:
  explicit ShapeRangeImpl(std::vector<Ptr<host::Shape>> s) : mShapes(std::move(s)) {}
  int Count() override { return static_cast<int>(mShapes.size()); }
  Ptr<host::Shape> Item(int index) override {
    if (index < 1 || index > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return mShapes[index - 1];
  }
  void Select(bool replace) override {
    if (mShapes.empty()) throw platform::ComError(E_FAIL, L"Nothing to select.");
    auto first = std::dynamic_pointer_cast<ShapeBase>(mShapes[0]);
    if (!first) throw platform::ComError(E_FAIL, L"These shapes cannot be selected.");
    for (auto& s : mShapes)
      if (!s->Visible()) throw platform::ComError(E_FAIL, L"A hidden shape cannot be selected.");
    auto app = first->doc->App.lock();
    if (!app) throw platform::ComError(E_FAIL, L"No window shows this presentation.");
    app->SelectShapes(*first->doc, first->slide, mShapes, replace);
  }

 private:
  std::vector<Ptr<host::Shape>> mShapes;
};

class ShapesImpl : public host::Shapes {
 public:
  explicit ShapesImpl(SlideRef s) : mSlide(std::move(s)) {}

  pugi::xml_node Tree() {
    mSlide.doc->CheckOpen();
    if (mSlide.part.empty() || !mSlide.doc->Pkg().HasPart(mSlide.part)) return {};
    return Child(Child(mSlide.doc->Pkg().Xml(mSlide.part).document_element(), "cSld"), "spTree");
  }
  const std::vector<pugi::xml_node>& Nodes() {
    Document& doc = *mSlide.doc;
    doc.CheckOpen();
    Document::ShapeIndex& index = doc.ShapeIndexOf(mSlide.part);
    return *index.current.Get(doc, [&] {
      pugi::xml_node tree = Tree();
      const std::tuple read{tree.internal_object(), doc.Deletions(mSlide.part), doc.Additions(mSlide.part)};
      if (read != index.read) {
        index.read = read;
        index.shapes = TreeChildren(tree);
      }
      return &index.shapes;
    });
  }
  std::vector<Ptr<host::Shape>> All() {
    std::vector<Ptr<host::Shape>> out;
    for (pugi::xml_node n : Nodes()) out.push_back(MakeTreeShape(mSlide, n));
    return out;
  }
  int Count() override { return static_cast<int>(Nodes().size()); }
  Ptr<host::Shape> Item(int index) override {
    const auto& nodes = Nodes();
    if (index < 1 || index > static_cast<int>(nodes.size()))
      throw platform::ComError(DISP_E_BADINDEX, L"The index into the Shapes collection is out of range.");
    return MakeTreeShape(mSlide, nodes[index - 1]);
  }
  Ptr<host::Shape> Item(const std::wstring& name) override {
    for (auto& s : All())
      if (s->Name() == name) return s;
    throw platform::ComError(E_INVALIDARG, L"The item with the specified name wasn't found.");
  }
  Ptr<host::ShapeRange> Range() override { return std::make_shared<ShapeRangeImpl>(All()); }
  Ptr<host::ShapeRange> Range(const std::vector<std::wstring>& names) override {
    auto all = All();
    std::vector<Ptr<host::Shape>> out;
    for (auto& n : names) {
      auto it = std::find_if(all.begin(), all.end(), [&](const Ptr<host::Shape>& s) { return s->Name() == n; });
      if (it == all.end())
        throw platform::ComError(E_INVALIDARG, L"The item with the specified name wasn't found: " + n);
      out.push_back(*it);
    }
    return std::make_shared<ShapeRangeImpl>(std::move(out));
  }
  Ptr<host::ShapeRange> Range(const std::vector<int>& indexes) override {
    std::vector<Ptr<host::Shape>> out;
    for (int i : indexes) out.push_back(Item(i));
    return std::make_shared<ShapeRangeImpl>(std::move(out));
  }
  Ptr<host::Shape> AddTextbox(int orientation, float left, float top, float width, float height) override {
    mSlide.doc->CheckOpen();
    if (!Tree()) throw platform::ComError(E_FAIL, L"This slide cannot hold shapes.");
    if (width < 0 || height < 0) throw platform::ComError(E_INVALIDARG, L"The size cannot be negative.");
    pugi::xml_node sp = NewTextboxXml(*mSlide.doc, mSlide.part, orientation, left, top, width, height);
    return MakeTreeShape(mSlide, sp);
  }

 private:
  SlideRef mSlide;
};

}  // namespace

}  // namespace shapes

Ptr<host::Shapes> MakeShapes(const SlideRef& slide) { return std::make_shared<shapes::ShapesImpl>(slide); }

Ptr<host::ShapeRange> MakeShapeRange(std::vector<Ptr<host::Shape>> shapes) {
  return std::make_shared<shapes::ShapeRangeImpl>(std::move(shapes));
}

std::shared_ptr<TextBodyOwner> OwnerOf(const Ptr<host::Shape>& shape) {
  auto s = std::dynamic_pointer_cast<shapes::ShapeBase>(shape);
  if (!s || !s->HasTextFrame()) return nullptr;
  return shapes::MakeOwner(s);
}

SlideRef SlideOf(const Ptr<host::Shape>& shape) {
  auto s = std::dynamic_pointer_cast<shapes::ShapeBase>(shape);
  return s ? s->slide : SlideRef{};
}

}  // namespace host::pptx
