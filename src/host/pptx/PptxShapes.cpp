#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

#include "src/host/pptx/PptxModel.h"
#include "src/host/pptx/TextBody.h"
#include "src/platform/Strings.h"

namespace host::pptx {

namespace {

// Coordinates from the file; "nan", "inf" or an overflowing value counts as absent.
double Emu(pugi::xml_node n, const char* attr, double def = 0) {
  pugi::xml_attribute a = Attr(n, attr);
  double v = a ? std::atof(a.value()) : def;
  return std::isfinite(v) ? v : def;
}

struct Rect {
  double x = 0, y = 0, cx = 0, cy = 0;  // EMU
  bool present = false;
};

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

// The non-visual properties block (nvSpPr, nvPicPr, nvGraphicFramePr ...).
pugi::xml_node NvBlock(pugi::xml_node shape) {
  for (pugi::xml_node k = shape.first_child(); k; k = k.next_sibling())
    if (k.type() == pugi::node_element && LocalName(k).substr(0, 2) == "nv") return k;
  return {};
}
pugi::xml_node CNvPr(pugi::xml_node shape) { return Child(NvBlock(shape), "cNvPr"); }
pugi::xml_node Ph(pugi::xml_node shape) { return Child(Child(NvBlock(shape), "nvPr"), "ph"); }

pugi::xml_node GraphicData(pugi::xml_node frame) { return Child(Child(frame, "graphic"), "graphicData"); }
std::string GraphicUri(pugi::xml_node frame) { return Attr(GraphicData(frame), "uri").value(); }

bool UriEnds(const std::string& uri, const char* tail) {
  std::string t = tail;
  return uri.size() >= t.size() && uri.compare(uri.size() - t.size(), t.size(), t) == 0;
}

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

// Where the body sits among a shape's children: before these elements.
pugi::xml_node BodyInsertPoint(pugi::xml_node shape) {
  for (pugi::xml_node c = shape.first_child(); c; c = c.next_sibling())
    if (Is(c, "txXfrm") || Is(c, "extLst") || Is(c, "tcPr")) return c;
  return {};
}

int VertToOrientation(const std::string& v) {
  if (v == "vert") return msoTextOrientationDownward;
  if (v == "vert270") return msoTextOrientationUpward;
  if (v == "eaVert" || v == "mongolianVert") return msoTextOrientationVerticalFarEast;
  if (v == "wordArtVert" || v == "wordArtVertRtl") return msoTextOrientationVertical;
  return msoTextOrientationHorizontal;
}

const char* OrientationToVert(int o) {
  switch (o) {
    case msoTextOrientationDownward: return "vert";
    case msoTextOrientationUpward: return "vert270";
    case msoTextOrientationVerticalFarEast: return "eaVert";
    case msoTextOrientationVertical: return "wordArtVert";
    case msoTextOrientationHorizontal:
    case msoTextOrientationHorizontalRotatedFarEast: return "horz";
  }
  throw ComError(E_INVALIDARG, L"Invalid text orientation.");
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

// Point: a text of a SmartArt graphic that has no drawing part, backed by
// its data point (dgm:pt/dgm:t), from which the graphic is laid out.
enum class Kind { Tree, Cell, Drawn, Point };

// The a:tc at a 0-based position; empty when the table has no such cell.
pugi::xml_node CellNode(pugi::xml_node tbl, int row, int col) {
  auto rows = Children(tbl, "tr");
  if (row < 0 || row >= static_cast<int>(rows.size())) return {};
  auto cells = Children(rows[row], "tc");
  if (col < 0 || col >= static_cast<int>(cells.size())) return {};
  return cells[col];
}

class ShapeImpl;
std::shared_ptr<TextBodyOwner> MakeOwner(const std::shared_ptr<ShapeImpl>& s);

class ShapeImpl : public host::Shape, public std::enable_shared_from_this<ShapeImpl> {
 public:
  std::shared_ptr<Document> doc;
  SlideRef slide;
  std::string part;
  pugi::xml_node node;
  Kind kind = Kind::Tree;
  std::shared_ptr<ShapeImpl> parent;
  // Table cells: the table and the cell's origin position (0-based).
  pugi::xml_node tbl;
  int row = 0, col = 0;
  // Drawn SmartArt shapes and points: 1-based position among the frame's GroupItems.
  int drawnIndex = 0;
  int generation = 0;  // deletions in the part when this handle was made

  void Check() {
    doc->CheckOpen();
    for (ShapeImpl* s = this; s; s = s->parent.get())
      if (doc->Deletions(s->part) != s->generation)
        throw ComError(E_FAIL, L"Shapes were deleted from this slide since this shape was fetched; fetch it again.");
  }
  void Dirty() { doc->MarkDirty(part); }

  pugi::xml_node SpPr() {
    if (Is(node, "grpSp")) return Child(node, "grpSpPr");
    return Child(node, "spPr");
  }
  pugi::xml_node OwnXfrm() {
    if (Is(node, "graphicFrame") || Is(node, "contentPart")) return Child(node, "xfrm");
    return Child(SpPr(), "xfrm");
  }

  bool IsPlaceholder() { return kind == Kind::Tree && Ph(node); }

  // Layout and master shapes this placeholder inherits from, nearest first.
  std::vector<std::pair<std::string, pugi::xml_node>> InheritChain() {
    std::vector<std::pair<std::string, pugi::xml_node>> out;
    pugi::xml_node ph = Ph(node);
    if (!ph || kind != Kind::Tree) return out;
    std::string type = Attr(ph, "type").value();
    if (type.empty()) type = "obj";
    std::string idx = Attr(ph, "idx").value();
    std::string layout = doc->LayoutOf(slide.part);
    std::string master;
    if (slide.notes) {
      // Notes slides point at their notes master directly.
      auto r = doc->Pkg().RelationshipByType(slide.part, "notesMaster");
      master = r ? r->targetPart : std::string();
      layout.clear();
    } else {
      master = doc->MasterOf(layout);
    }
    if (!layout.empty())
      if (pugi::xml_node n = doc->FindPlaceholder(layout, type, idx)) out.push_back({layout, n});
    if (!master.empty())
      if (pugi::xml_node n = doc->FindPlaceholder(master, type, idx)) out.push_back({master, n});
    return out;
  }

  // Position and size in the parent's coordinate space (EMU).
  Rect LocalRect() {
    if (kind == Kind::Point) {
      // A point has no shape of its own; it shows within its frame.
      Rect f = parent->LocalRect();
      f.x = f.y = 0;
      return f;
    }
    if (kind == Kind::Drawn) {
      return ReadXfrm(Child(Child(node, "spPr"), "xfrm"));
    }
    Rect r = ReadXfrm(OwnXfrm());
    if (!r.present)
      for (auto& [p, n] : InheritChain()) {
        Rect i = ReadXfrm(Child(Child(n, "spPr"), "xfrm"));
        if (i.present) return i;
      }
    return r;
  }

  // Transform from this group's child space to slide EMU.
  void ChildTransform(double& sx, double& sy, double& tx, double& ty) {
    Rect me = SlideRect();
    pugi::xml_node x = OwnXfrm();
    double cox = Emu(Child(x, "chOff"), "x"), coy = Emu(Child(x, "chOff"), "y");
    double cex = Emu(Child(x, "chExt"), "cx"), cey = Emu(Child(x, "chExt"), "cy");
    sx = cex > 0 ? me.cx / cex : 1.0;
    sy = cey > 0 ? me.cy / cey : 1.0;
    tx = me.x - cox * sx;
    ty = me.y - coy * sy;
  }

  Rect SlideRect() {
    if (kind == Kind::Cell) return CellRect();
    Rect r = LocalRect();
    if ((kind == Kind::Drawn || kind == Kind::Point) && parent) {
      Rect f = parent->SlideRect();
      r.x += f.x;
      r.y += f.y;
      return r;
    }
    if (parent) {
      double sx, sy, tx, ty;
      parent->ChildTransform(sx, sy, tx, ty);
      r.x = r.x * sx + tx;
      r.y = r.y * sy + ty;
      r.cx *= sx;
      r.cy *= sy;
    }
    return r;
  }

  Rect CellRect() {
    Rect f = parent->SlideRect();
    std::vector<pugi::xml_node> cols = Children(Child(tbl, "tblGrid"), "gridCol");
    std::vector<pugi::xml_node> rows = Children(tbl, "tr");
    pugi::xml_node tc = CellNode(tbl, row, col);
    // A span reaching past the grid ends at its edge (and cannot overflow).
    int cspan = std::clamp(Attr(tc, "gridSpan").as_int(1), 1, std::max(1, static_cast<int>(cols.size())));
    int rspan = std::clamp(Attr(tc, "rowSpan").as_int(1), 1, std::max(1, static_cast<int>(rows.size())));
    Rect r;
    r.x = f.x;
    r.y = f.y;
    for (int c = 0; c < col && c < static_cast<int>(cols.size()); ++c) r.x += Emu(cols[c], "w");
    for (int c = col; c < col + cspan && c < static_cast<int>(cols.size()); ++c) r.cx += Emu(cols[c], "w");
    for (int i = 0; i < row; ++i) r.y += Emu(rows[i], "h");
    for (int i = row; i < row + rspan && i < static_cast<int>(rows.size()); ++i) r.cy += Emu(rows[i], "h");
    r.present = true;
    return r;
  }

  // Writes a slide-space rectangle back into the shape's own xfrm.
  void SetSlideRect(const Rect& want) {
    Check();
    if (kind == Kind::Cell) throw ComError(E_FAIL, L"A table cell is sized through its row and column.");
    // The graphic is laid out again from its model: a point keeps no size.
    if (kind == Kind::Point) return;
    doc->Settle();  // a frame's text is fitted to the size it had when edited
    Rect local = want;
    if (kind == Kind::Drawn && parent) {
      Rect f = parent->SlideRect();
      local.x -= f.x;
      local.y -= f.y;
    } else if (parent) {
      double sx, sy, tx, ty;
      parent->ChildTransform(sx, sy, tx, ty);
      local.x = (want.x - tx) / sx;
      local.y = (want.y - ty) / sy;
      local.cx = want.cx / sx;
      local.cy = want.cy / sy;
    }
    pugi::xml_node x = kind == Kind::Drawn ? Child(Child(node, "spPr"), "xfrm") : OwnXfrm();
    if (!x) {
      pugi::xml_node sp = kind == Kind::Drawn ? Child(node, "spPr") : SpPr();
      std::string a = PrefixFor(doc->Pkg().Xml(part), "a");
      if (!sp) {
        if (Is(node, "graphicFrame") || Is(node, "contentPart"))
          throw ComError(E_FAIL, L"This shape cannot be moved.");
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
    Dirty();
  }

  ShapeIdentity Identity() override {
    Check();
    ShapeIdentity id;
    id.slideId = slide.slideId;
    id.notesPage = slide.notes;
    if (kind == Kind::Tree) {
      id.shapeId = Attr(CNvPr(node), "id").as_int();
    } else {
      // Cells and drawn shapes have no id the host would report; they are
      // told apart inside their frame by position.
      id.shapeId = Attr(CNvPr(parent->node), "id").as_int();
      if (kind == Kind::Cell) {
        id.row = row + 1;
        id.column = col + 1;
      } else {
        id.drawnIndex = drawnIndex;
      }
    }
    return id;
  }

  int Type() override {
    Check();
    if (kind == Kind::Cell || kind == Kind::Drawn || kind == Kind::Point) return msoAutoShape;
    if (Is(node, "grpSp")) return msoGroup;
    if (Ph(node)) return msoPlaceholder;
    if (Is(node, "graphicFrame")) return GraphicType(node);
    if (Is(node, "contentPart")) return msoInk;
    if (Is(node, "pic")) {
      pugi::xml_node nvPr = Child(NvBlock(node), "nvPr");
      if (Child(nvPr, "videoFile") || Child(nvPr, "audioFile") || Child(nvPr, "quickTimeFile")) return msoMedia;
      pugi::xml_node blip = Child(Child(node, "blipFill"), "blip");
      if (Attr(blip, "link") && !Attr(blip, "embed")) return msoLinkedPicture;
      return msoPicture;
    }
    std::string prst = Attr(Child(SpPr(), "prstGeom"), "prst").value();
    if (Is(node, "cxnSp")) return (prst == "line" || prst == "straightConnector1") ? msoLine : msoAutoShape;
    if (Attr(Child(Child(node, "txBody"), "bodyPr"), "fromWordArt").as_bool()) return msoTextEffect;
    if (Attr(Child(NvBlock(node), "cNvSpPr"), "txBox").as_bool()) return msoTextBox;
    if (prst.find("borderCallout") == 0 || prst.find("callout") == 0 || prst.find("accentCallout") == 0 ||
        prst.find("accentBorderCallout") == 0)
      return msoCallout;
    if (prst == "line") return msoLine;
    if (Child(SpPr(), "custGeom")) return msoFreeform;
    return msoAutoShape;
  }

  int Id() override {
    Check();
    return kind == Kind::Cell ? 0 : Attr(CNvPr(node), "id").as_int();
  }
  std::wstring Name() override {
    Check();
    return kind == Kind::Cell ? std::wstring() : W(Attr(CNvPr(node), "name").value());
  }
  void SetName(const std::wstring& name) override {
    Check();
    pugi::xml_node c = CNvPr(node);
    if (!c) throw ComError(E_FAIL, L"This shape has no name.");
    pugi::xml_attribute a = c.attribute("name");
    if (!a) a = c.append_attribute("name");
    a.set_value(U(name).c_str());
    Dirty();
  }
  bool Visible() override {
    Check();
    for (ShapeImpl* s = this; s; s = s->parent.get())
      if (s->kind != Kind::Cell && Attr(CNvPr(s->node), "hidden").as_bool()) return false;
    return true;
  }
  void SetVisible(bool v) override {
    Check();
    pugi::xml_node c = CNvPr(node);
    if (!c) throw ComError(E_FAIL, L"This shape cannot be hidden.");
    if (v)
      c.remove_attribute("hidden");
    else
      (c.attribute("hidden") ? c.attribute("hidden") : c.append_attribute("hidden")).set_value("1");
    Dirty();
  }
  void Select(bool replace) override {
    Check();
    // What is not shown cannot be picked, on the host as with the mouse.
    if (!Visible()) throw ComError(E_FAIL, L"A hidden shape cannot be selected.");
    auto app = doc->App.lock();
    if (!app) throw ComError(E_FAIL, L"No window shows this presentation.");
    app->SelectShapes(*doc, slide, {shared_from_this()}, replace);
  }
  float Left() override { Check(); return static_cast<float>(SlideRect().x / kEmuPerPoint); }
  float Top() override { Check(); return static_cast<float>(SlideRect().y / kEmuPerPoint); }
  float Width() override { Check(); return static_cast<float>(SlideRect().cx / kEmuPerPoint); }
  float Height() override { Check(); return static_cast<float>(SlideRect().cy / kEmuPerPoint); }
  void SetLeft(float v) override { Rect r = SlideRect(); r.x = v * kEmuPerPoint; SetSlideRect(r); }
  void SetTop(float v) override { Rect r = SlideRect(); r.y = v * kEmuPerPoint; SetSlideRect(r); }
  void SetWidth(float v) override {
    if (v < 0) throw ComError(E_INVALIDARG, L"The width cannot be negative.");
    Rect r = SlideRect(); r.cx = v * kEmuPerPoint; SetSlideRect(r);
  }
  void SetHeight(float v) override {
    if (v < 0) throw ComError(E_INVALIDARG, L"The height cannot be negative.");
    Rect r = SlideRect(); r.cy = v * kEmuPerPoint; SetSlideRect(r);
  }
  float Rotation() override {
    Check();
    pugi::xml_node x = kind == Kind::Drawn ? Child(Child(node, "spPr"), "xfrm") : OwnXfrm();
    return static_cast<float>(Emu(x, "rot") / 60000.0);
  }
  int AutoShapeType() override {
    Check();
    std::string prst = Attr(Child(kind == Kind::Drawn ? Child(node, "spPr") : SpPr(), "prstGeom"), "prst").value();
    static const std::map<std::string, int> kTypes = {
        {"rect", 1}, {"parallelogram", 2}, {"trapezoid", 3}, {"diamond", 4}, {"roundRect", 5},
        {"octagon", 6}, {"triangle", 7}, {"rtTriangle", 8}, {"ellipse", 9}, {"hexagon", 10},
        {"plus", 11}, {"pentagon", 12}, {"can", 13}, {"cube", 14}, {"wedgeRectCallout", 105}};
    if (kind == Kind::Cell) return 1;
    auto it = kTypes.find(prst);
    if (it != kTypes.end()) return it->second;
    return prst.empty() ? -2 : 138;
  }
  // The slide image of a notes page is a placeholder shape but shows a
  // picture of the slide; the host gives it no text frame.
  bool HasTextFrame() override {
    Check();
    if (kind != Kind::Tree) return true;
    return Is(node, "sp") && std::string_view(Attr(Ph(node), "type").value()) != "sldImg";
  }
  Ptr<host::TextFrame> TextFrame() override;
  Ptr<host::TextFrame2> TextFrame2() override;
  bool HasTable() override { Check(); return kind == Kind::Tree && Is(node, "graphicFrame") && GraphicType(node) == msoTable; }
  Ptr<host::Table> Table() override;
  bool HasChart() override { Check(); return kind == Kind::Tree && Is(node, "graphicFrame") && GraphicType(node) == msoChart; }
  bool HasSmartArt() override { Check(); return kind == Kind::Tree && Is(node, "graphicFrame") && GraphicType(node) == msoSmartArt; }
  // Diagrams of the old kind do not exist in these packages.
  bool HasDiagram() override { Check(); return false; }
  Ptr<host::GroupShapes> GroupItems() override;
  Ptr<host::Shape> ParentGroup() override {
    Check();
    return kind == Kind::Cell ? nullptr : parent;
  }
  Ptr<host::TextEffectFormat> TextEffect() override;
  Ptr<host::PlaceholderFormat> PlaceholderFormat() override;
  void Delete() override {
    Check();
    if (kind != Kind::Tree) throw ComError(E_FAIL, L"This shape cannot be deleted.");
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

  std::shared_ptr<ShapeImpl> Make(pugi::xml_node n, Kind k) {
    auto s = std::make_shared<ShapeImpl>();
    s->doc = doc;
    s->slide = slide;
    s->part = part;
    s->node = n;
    s->kind = k;
    s->parent = shared_from_this();
    s->generation = generation;
    return s;
  }
};

std::shared_ptr<ShapeImpl> MakeTreeShape(const SlideRef& slide, pugi::xml_node n) {
  auto s = std::make_shared<ShapeImpl>();
  s->doc = slide.doc;
  s->slide = slide;
  s->part = slide.part;
  s->node = n;
  s->generation = slide.doc->Deletions(slide.part);
  return s;
}

// Text frame properties, read through the placeholder chain.
class BodyProps {
 public:
  explicit BodyProps(std::shared_ptr<ShapeImpl> s) : mShape(std::move(s)), mOwner(MakeOwner(mShape)) {}

  // With create (a change of a body setting), waiting work is done first,
  // with the settings the edit saw.
  pugi::xml_node Own(bool create) {
    if (create) mShape->doc->Settle();
    pugi::xml_node body = mOwner->Body(create);
    pugi::xml_node bp = Child(body, "bodyPr");
    if (!bp && create) bp = AppendChildLike(body, "bodyPr", body.first_child());
    return bp;
  }
  std::vector<pugi::xml_node> Chain() {
    std::vector<pugi::xml_node> out;
    if (pugi::xml_node own = Own(false)) out.push_back(own);
    for (auto& [p, n] : mShape->InheritChain())
      if (pugi::xml_node bp = Child(Child(n, "txBody"), "bodyPr")) out.push_back(bp);
    return out;
  }
  const char* Attribute(const char* name) {
    for (pugi::xml_node bp : Chain())
      if (pugi::xml_attribute a = bp.attribute(name)) return a.value();
    return nullptr;
  }
  void SetAttribute(const char* name, const std::string& v) {
    mShape->Check();
    pugi::xml_node bp = Own(true);
    pugi::xml_attribute a = bp.attribute(name);
    if (!a) a = bp.append_attribute(name);
    a.set_value(v.c_str());
    mOwner->Changed();
  }
  // 0 none, 1 shape to fit text, 2 text to fit shape (normAutofit).
  int AutoFit() {
    for (pugi::xml_node bp : Chain()) {
      if (Child(bp, "spAutoFit")) return 1;
      if (Child(bp, "normAutofit")) return 2;
      if (Child(bp, "noAutofit")) return 0;
    }
    return 0;
  }
  void SetAutoFit(int v) {
    mShape->Check();
    if (v < 0 || v > 2) throw ComError(E_INVALIDARG, L"Invalid auto-size value.");
    pugi::xml_node bp = Own(true);
    for (const char* n : {"spAutoFit", "normAutofit", "noAutofit"})
      while (pugi::xml_node c = Child(bp, n)) bp.remove_child(c);
    const char* name = v == 1 ? "spAutoFit" : v == 2 ? "normAutofit" : "noAutofit";
    // The autofit choice comes after a text warp and before the 3-D elements.
    pugi::xml_node before;
    for (pugi::xml_node c = bp.first_child(); c; c = c.next_sibling())
      if (Is(c, "scene3d") || Is(c, "sp3d") || Is(c, "flatTx") || Is(c, "extLst")) {
        before = c;
        break;
      }
    std::string a = PrefixFor(mShape->doc->Pkg().Xml(mShape->part), "a");
    std::string full = QualifiedName(a, name);
    if (before)
      bp.insert_child_before(full.c_str(), before);
    else
      bp.append_child(full.c_str());
    mOwner->Changed();
  }
  float Inset(const char* name, double def) {
    const char* v = Attribute(name);
    double emu = v ? std::atof(v) : def;
    return static_cast<float>((std::isfinite(emu) ? emu : def) / kEmuPerPoint);
  }
  void SetInset(const char* name, float points) {
    if (points < 0) throw ComError(E_INVALIDARG, L"A margin cannot be negative.");
    SetAttribute(name, std::to_string(std::llround(points * kEmuPerPoint)));
  }
  int WordWrap() {
    const char* v = Attribute("wrap");
    return v && std::string(v) == "none" ? msoFalse : msoTrue;
  }
  void SetWordWrap(int v) {
    if (v != msoTrue && v != msoFalse && v != msoCTrue) throw ComError(E_INVALIDARG, L"Invalid word-wrap value.");
    SetAttribute("wrap", v == msoFalse ? "none" : "square");
  }
  int Orientation() {
    const char* v = Attribute("vert");
    return VertToOrientation(v ? v : "horz");
  }
  void SetOrientation(int o) { SetAttribute("vert", OrientationToVert(o)); }
  int Anchor() {
    const char* v = Attribute("anchor");
    std::string a = v ? v : "t";
    if (a == "ctr") return msoAnchorMiddle;
    if (a == "b") return msoAnchorBottom;
    return msoAnchorTop;
  }
  void SetAnchor(int a) {
    switch (a) {
      case msoAnchorTop:
      case msoAnchorTopBaseline: SetAttribute("anchor", "t"); return;
      case msoAnchorMiddle: SetAttribute("anchor", "ctr"); return;
      case msoAnchorBottom:
      case msoAnchorBottomBaseLine: SetAttribute("anchor", "b"); return;
    }
    throw ComError(E_INVALIDARG, L"Invalid vertical anchor.");
  }
  bool HasText() {
    pugi::xml_node body = mOwner->Body(false);
    return body && !BodyText(body).empty();
  }
  std::shared_ptr<TextBodyOwner> Owner() { return mOwner; }
  std::shared_ptr<ShapeImpl> Shape() { return mShape; }

 private:
  std::shared_ptr<ShapeImpl> mShape;
  std::shared_ptr<TextBodyOwner> mOwner;
};

// What both text models' frames share: wrapping, orientation, anchor and
// margins read and written on the same body properties.
template <class Interface>
class FrameProps : public Interface {
 public:
  explicit FrameProps(std::shared_ptr<ShapeImpl> s) : b(std::move(s)) {}
  int WordWrap() override { b.Shape()->Check(); return b.WordWrap(); }
  void SetWordWrap(int v) override { b.SetWordWrap(v); }
  int Orientation() override { b.Shape()->Check(); return b.Orientation(); }
  void SetOrientation(int v) override { b.SetOrientation(v); }
  int VerticalAnchor() override { b.Shape()->Check(); return b.Anchor(); }
  void SetVerticalAnchor(int v) override { b.SetAnchor(v); }
  float MarginLeft() override { b.Shape()->Check(); return b.Inset("lIns", 91440); }
  float MarginRight() override { b.Shape()->Check(); return b.Inset("rIns", 91440); }
  float MarginTop() override { b.Shape()->Check(); return b.Inset("tIns", 45720); }
  float MarginBottom() override { b.Shape()->Check(); return b.Inset("bIns", 45720); }
  void SetMarginLeft(float v) override { b.SetInset("lIns", v); }
  void SetMarginRight(float v) override { b.SetInset("rIns", v); }
  void SetMarginTop(float v) override { b.SetInset("tIns", v); }
  void SetMarginBottom(float v) override { b.SetInset("bIns", v); }

 protected:
  BodyProps b;
};

class TextFrameImpl : public FrameProps<host::TextFrame> {
 public:
  using FrameProps::FrameProps;
  bool HasText() override { b.Shape()->Check(); return b.HasText(); }
  Ptr<host::TextRange> TextRange() override { b.Shape()->Check(); return MakeTextRange(b.Owner()); }
  int AutoSize() override { b.Shape()->Check(); return b.AutoFit() == 1 ? ppAutoSizeShapeToFitText : ppAutoSizeNone; }
  void SetAutoSize(int v) override {
    if (v != ppAutoSizeNone && v != ppAutoSizeShapeToFitText) throw ComError(E_INVALIDARG, L"Invalid auto-size value.");
    // The classic model cannot express shrink-on-overflow; leave it when asked for "none" again.
    if (v == ppAutoSizeNone && b.AutoFit() == 2) return;
    b.SetAutoFit(v);
  }
};

class TextFrame2Impl : public FrameProps<host::TextFrame2> {
 public:
  using FrameProps::FrameProps;
  int HasText() override { b.Shape()->Check(); return b.HasText() ? msoTrue : msoFalse; }
  Ptr<host::TextRange2> TextRange() override { b.Shape()->Check(); return MakeTextRange2(b.Owner()); }
  int AutoSize() override { b.Shape()->Check(); return b.AutoFit(); }
  void SetAutoSize(int v) override { b.SetAutoFit(v); }
};

Ptr<host::TextFrame> ShapeImpl::TextFrame() {
  Check();
  if (!HasTextFrame()) throw ComError(E_FAIL, L"This shape does not have a text frame.");
  return std::make_shared<TextFrameImpl>(shared_from_this());
}

Ptr<host::TextFrame2> ShapeImpl::TextFrame2() {
  Check();
  if (!HasTextFrame()) throw ComError(E_FAIL, L"This shape does not have a text frame.");
  return std::make_shared<TextFrame2Impl>(shared_from_this());
}

class OwnerImpl : public TextBodyOwner {
 public:
  explicit OwnerImpl(std::shared_ptr<ShapeImpl> s) : mShape(std::move(s)) {}
  std::shared_ptr<Document> Doc() override { return mShape->doc; }
  const std::string& Part() override { return mShape->part; }
  TextBodyKind Kind() override {
    switch (mShape->kind) {
      case Kind::Cell: return TextBodyKind::TableCell;
      case Kind::Drawn:
      case Kind::Point: return TextBodyKind::SmartArtDrawing;
      default: return TextBodyKind::Shape;
    }
  }
  pugi::xml_node Host() {
    if (mShape->kind == Kind::Cell) {
      pugi::xml_node tc = CellNode(mShape->tbl, mShape->row, mShape->col);
      if (!tc) throw ComError(E_FAIL, L"The table cell no longer exists.");
      return tc;
    }
    return mShape->node;
  }
  pugi::xml_node Body(bool create) override {
    mShape->Check();
    pugi::xml_node host = Host();
    mShape->doc->SettleUnless(host.internal_object());
    pugi::xml_node body = Child(host, mShape->kind == Kind::Point ? "t" : "txBody");
    if (body || !create) return body;
    pugi::xml_document& d = mShape->doc->Pkg().Xml(mShape->part);
    std::string a = PrefixFor(d, "a");
    // A table cell's body is a DrawingML element; a slide shape's and a
    // drawn SmartArt shape's take the prefix of their own shape element.
    if (mShape->kind == Kind::Cell) {
      body = host.insert_child_before(QualifiedName(a, "txBody").c_str(), host.first_child());
      if (!body) body = host.append_child(QualifiedName(a, "txBody").c_str());
    } else {
      pugi::xml_node before = BodyInsertPoint(host);
      body = AppendChildLike(host, mShape->kind == Kind::Point ? "t" : "txBody", before);
    }
    body.append_child(QualifiedName(a, "bodyPr").c_str());
    body.append_child(QualifiedName(a, "lstStyle").c_str());
    body.append_child(QualifiedName(a, "p").c_str());
    Changed();
    return body;
  }
  void Changed() override {
    mShape->doc->MarkDirty(mShape->part);
    if (mShape->kind == Kind::Drawn) {
      std::shared_ptr<Document> doc = mShape->doc;
      std::string part = mShape->part;
      pugi::xml_node node = mShape->node;
      doc->Defer(node.internal_object(), Document::Deferred::Sync,
                 [doc, part, node] { SmartArtDrawingChanged(*doc, part, node); });
    }
  }
  std::vector<pugi::xml_node> InheritedStyles() override {
    std::vector<pugi::xml_node> out;
    Document& doc = *mShape->doc;
    Package& pkg = doc.Pkg();
    std::string master;
    if (mShape->slide.notes) {
      auto r = pkg.RelationshipByType(mShape->slide.part, "notesMaster");
      master = r ? r->targetPart : std::string();
    } else {
      master = doc.MasterOf(doc.LayoutOf(mShape->slide.part));
    }
    pugi::xml_node ph = mShape->kind == Kind::Tree ? Ph(mShape->node) : pugi::xml_node();
    for (auto& [p, n] : mShape->InheritChain())
      if (pugi::xml_node ls = Child(Child(n, "txBody"), "lstStyle")) out.push_back(ls);
    if (!master.empty() && pkg.HasPart(master)) {
      pugi::xml_node root = pkg.Xml(master).document_element();
      if (mShape->slide.notes) {
        if (ph)
          if (pugi::xml_node ns = Child(root, "notesStyle")) out.push_back(ns);
      } else {
        pugi::xml_node tx = Child(root, "txStyles");
        std::string type = ph ? Attr(ph, "type").value() : "";
        if (ph && (type == "title" || type == "ctrTitle"))
          out.push_back(Child(tx, "titleStyle"));
        else if (ph && (type.empty() || type == "body" || type == "subTitle" || type == "obj"))
          out.push_back(Child(tx, "bodyStyle"));
        else if (ph)
          out.push_back(Child(tx, "otherStyle"));
      }
    }
    pugi::xml_node pres = pkg.Xml(doc.PresentationPart()).document_element();
    if (pugi::xml_node def = Child(pres, "defaultTextStyle")) out.push_back(def);
    out.erase(std::remove_if(out.begin(), out.end(), [](pugi::xml_node n) { return !n; }), out.end());
    return out;
  }
  ThemeFonts Fonts() override {
    Document& doc = *mShape->doc;
    std::string master;
    if (mShape->slide.notes) {
      auto r = doc.Pkg().RelationshipByType(mShape->slide.part, "notesMaster");
      master = r ? r->targetPart : std::string();
    } else {
      master = doc.MasterOf(doc.LayoutOf(mShape->slide.part));
    }
    return doc.Fonts(master);
  }
  TextFrameGeometry Frame() override {
    TextFrameGeometry g;
    Rect r = mShape->SlideRect();
    g.width = static_cast<float>(r.cx / kEmuPerPoint);
    g.height = static_cast<float>(r.cy / kEmuPerPoint);
    if (mShape->kind == Kind::Drawn) {
      Rect t = ReadXfrm(Child(mShape->node, "txXfrm"));
      if (t.present) {
        g.width = static_cast<float>(t.cx / kEmuPerPoint);
        g.height = static_cast<float>(t.cy / kEmuPerPoint);
      }
    }
    if (mShape->kind == Kind::Cell) {
      pugi::xml_node tcPr = Child(Host(), "tcPr");
      g.insetLeft = static_cast<float>(Emu(tcPr, "marL", 91440) / kEmuPerPoint);
      g.insetRight = static_cast<float>(Emu(tcPr, "marR", 91440) / kEmuPerPoint);
      g.insetTop = static_cast<float>(Emu(tcPr, "marT", 45720) / kEmuPerPoint);
      g.insetBottom = static_cast<float>(Emu(tcPr, "marB", 45720) / kEmuPerPoint);
      return g;
    }
    BodyProps b(mShape);
    g.insetLeft = b.Inset("lIns", 91440);
    g.insetRight = b.Inset("rIns", 91440);
    g.insetTop = b.Inset("tIns", 45720);
    g.insetBottom = b.Inset("bIns", 45720);
    g.wrap = b.WordWrap() != msoFalse;
    g.vertical = b.Orientation() != msoTextOrientationHorizontal;
    return g;
  }
  void SelectText(int start, int length) override {
    mShape->Check();
    auto app = mShape->doc->App.lock();
    if (!app) throw ComError(E_FAIL, L"No window shows this presentation.");
    Ptr<host::Shape> top = mShape;
    // A cell's text is selected through its table.
    if (mShape->kind == Kind::Cell) top = mShape->parent;
    app->SelectText(*mShape->doc, mShape->slide, top, shared_from_this_owner(), start, length);
  }
  SlideRef Slide() override { return mShape->slide; }

  std::shared_ptr<TextBodyOwner> shared_from_this_owner() { return self.lock(); }
  std::weak_ptr<OwnerImpl> self;
  std::shared_ptr<ShapeImpl> mShape;
};

std::shared_ptr<TextBodyOwner> MakeOwner(const std::shared_ptr<ShapeImpl>& s) {
  auto o = std::make_shared<OwnerImpl>(s);
  o->self = o;
  return o;
}

class TextEffectImpl : public host::TextEffectFormat {
 public:
  explicit TextEffectImpl(std::shared_ptr<ShapeImpl> s) : mShape(std::move(s)), mOwner(MakeOwner(mShape)) {}
  std::wstring Text() override {
    mShape->Check();
    pugi::xml_node body = mOwner->Body(false);
    return body ? BodyText(body) : std::wstring();
  }
  void SetText(const std::wstring& text) override {
    mShape->Check();
    std::wstring t;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
      t += text[i] == L'\n' ? L'\r' : text[i];
    }
    mOwner->Body(true);
    MakeTextRange(mOwner)->SetText(t);
  }
  std::wstring FontName() override { return MakeTextRange(mOwner)->Font()->Name(); }
  void SetFontName(const std::wstring& name) override { MakeTextRange(mOwner)->Font()->SetName(name); }
  float FontSize() override { return MakeTextRange(mOwner)->Font()->Size(); }
  void SetFontSize(float size) override { MakeTextRange(mOwner)->Font()->SetSize(size); }
  int FontBold() override { return MakeTextRange(mOwner)->Font()->Bold(); }
  int FontItalic() override { return MakeTextRange(mOwner)->Font()->Italic(); }

 private:
  std::shared_ptr<ShapeImpl> mShape;
  std::shared_ptr<TextBodyOwner> mOwner;
};

Ptr<host::TextEffectFormat> ShapeImpl::TextEffect() {
  Check();
  if (!HasTextFrame()) throw ComError(E_FAIL, L"This shape has no text effect.");
  return std::make_shared<TextEffectImpl>(shared_from_this());
}

class PlaceholderImpl : public host::PlaceholderFormat {
 public:
  explicit PlaceholderImpl(std::shared_ptr<ShapeImpl> s) : mShape(std::move(s)) {}
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
  std::shared_ptr<ShapeImpl> mShape;
};

Ptr<host::PlaceholderFormat> ShapeImpl::PlaceholderFormat() {
  Check();
  if (!IsPlaceholder()) throw ComError(E_FAIL, L"This shape is not a placeholder.");
  return std::make_shared<PlaceholderImpl>(shared_from_this());
}

class GroupShapesImpl : public host::GroupShapes {
 public:
  explicit GroupShapesImpl(std::vector<Ptr<host::Shape>> items) : mItems(std::move(items)) {}
  int Count() override { return static_cast<int>(mItems.size()); }
  Ptr<host::Shape> Item(int index) override {
    if (index < 1 || index > Count()) throw ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return mItems[index - 1];
  }

 private:
  std::vector<Ptr<host::Shape>> mItems;
};

// Members of a group as the host lists them: every leaf shape, nested
// groups flattened, in document order.
void Flatten(const std::shared_ptr<ShapeImpl>& group, std::vector<Ptr<host::Shape>>& out) {
  for (pugi::xml_node c : TreeChildren(group->node)) {
    auto s = group->Make(c, Kind::Tree);
    if (Is(c, "grpSp"))
      Flatten(s, out);
    else
      out.push_back(s);
  }
}

// One of a SmartArt frame's GroupItems (index from 1): a drawn shape, or a
// data point of a graphic whose drawing holds no text.
std::shared_ptr<ShapeImpl> GraphicItem(const std::shared_ptr<ShapeImpl>& frame, const std::string& part,
                                       pugi::xml_node node, Kind kind, int index) {
  auto s = std::make_shared<ShapeImpl>();
  s->doc = frame->doc;
  s->slide = frame->slide;
  s->part = part;
  s->node = node;
  s->kind = kind;
  s->parent = frame;
  s->generation = frame->doc->Deletions(part);
  s->drawnIndex = index;
  return s;
}

void DrawnShapes(const std::shared_ptr<ShapeImpl>& frame, const std::shared_ptr<ShapeImpl>& parent,
                 pugi::xml_node tree, const std::string& drawingPart, std::vector<Ptr<host::Shape>>& out) {
  for (pugi::xml_node c = tree.first_child(); c; c = c.next_sibling()) {
    if (Is(c, "grpSp")) {
      DrawnShapes(frame, parent, c, drawingPart, out);
    } else if (Is(c, "sp")) {
      out.push_back(GraphicItem(frame, drawingPart, c, Kind::Drawn, static_cast<int>(out.size()) + 1));
    }
  }
}

// The data part of a SmartArt frame; empty when it is missing.
std::string DataPartOf(ShapeImpl& frame) {
  Package& pkg = frame.doc->Pkg();
  pugi::xml_node relIds = Child(GraphicData(frame.node), "relIds");
  auto dataRel = pkg.RelationshipById(frame.part, Attr(relIds, "dm").value());
  if (!dataRel || !pkg.HasPart(dataRel->targetPart)) return {};
  return dataRel->targetPart;
}

// The text points of a graphic without a drawing, in the order the model
// lists them: its nodes and assistants, and any other point but the
// layout's own that holds text (a connector's label).
void ModelPoints(const std::shared_ptr<ShapeImpl>& frame, const std::string& dataPart,
                 std::vector<Ptr<host::Shape>>& out) {
  pugi::xml_node root = frame->doc->Pkg().Xml(dataPart).document_element();
  for (pugi::xml_node pt : Children(Child(root, "ptLst"), "pt")) {
    std::string_view type = Attr(pt, "type").value();
    bool text = !type.empty() && type != "node" && type != "asst";
    if (type == "pres" || (text && TextBody(Child(pt, "t")).Text().empty())) continue;
    out.push_back(GraphicItem(frame, dataPart, pt, Kind::Point, static_cast<int>(out.size()) + 1));
  }
}

// The drawing part of a SmartArt frame: named by the data part's
// dataModelExt, which refers to a relationship of the slide.
std::string DrawingPartOf(ShapeImpl& frame) {
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

Ptr<host::GroupShapes> ShapeImpl::GroupItems() {
  Check();
  std::vector<Ptr<host::Shape>> items;
  if (kind == Kind::Tree && Is(node, "grpSp")) {
    Flatten(shared_from_this(), items);
  } else if (HasSmartArt()) {
    std::string drawing = DrawingPartOf(*this);
    std::string data = DataPartOf(*this);
    if (!drawing.empty()) {
      pugi::xml_node root = doc->Pkg().Xml(drawing).document_element();
      DrawnShapes(shared_from_this(), shared_from_this(), Child(root, "spTree"), drawing, items);
    }
    // A drawing that shows none of the text (saved before the text was
    // typed, or by a program that does not draw) is not what the graphic
    // is rebuilt from: its model's points are.
    bool drawnText = false;
    for (const auto& item : items)
      drawnText = drawnText || !TextBody(Child(std::static_pointer_cast<ShapeImpl>(item)->node, "txBody")).Text().empty();
    if (!drawnText && !data.empty()) {
      std::vector<Ptr<host::Shape>> points;
      ModelPoints(shared_from_this(), data, points);
      bool modelText = false;
      for (const auto& point : points)
        modelText = modelText || !TextBody(Child(std::static_pointer_cast<ShapeImpl>(point)->node, "t")).Text().empty();
      if (modelText || items.empty()) items = std::move(points);
    }
  } else {
    throw ComError(E_FAIL, L"This member can only be accessed for a group.");
  }
  return std::make_shared<GroupShapesImpl>(std::move(items));
}

class RowImpl : public host::Row {
 public:
  RowImpl(std::shared_ptr<Document> d, pugi::xml_node tr) : mDoc(std::move(d)), mTr(tr) {}
  float Height() override { mDoc->CheckOpen(); return static_cast<float>(Emu(mTr, "h") / kEmuPerPoint); }

 private:
  std::shared_ptr<Document> mDoc;
  pugi::xml_node mTr;
};

class ColumnImpl : public host::Column {
 public:
  ColumnImpl(std::shared_ptr<Document> d, pugi::xml_node gc) : mDoc(std::move(d)), mCol(gc) {}
  float Width() override { mDoc->CheckOpen(); return static_cast<float>(Emu(mCol, "w") / kEmuPerPoint); }

 private:
  std::shared_ptr<Document> mDoc;
  pugi::xml_node mCol;
};

class RowsImpl : public host::Rows {
 public:
  RowsImpl(std::shared_ptr<Document> d, pugi::xml_node tbl) : mDoc(std::move(d)), mTbl(tbl) {}
  int Count() override { mDoc->CheckOpen(); return static_cast<int>(Children(mTbl, "tr").size()); }
  Ptr<host::Row> Item(int i) override {
    auto rows = Children(mTbl, "tr");
    if (i < 1 || i > static_cast<int>(rows.size())) throw ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return std::make_shared<RowImpl>(mDoc, rows[i - 1]);
  }

 private:
  std::shared_ptr<Document> mDoc;
  pugi::xml_node mTbl;
};

class ColumnsImpl : public host::Columns {
 public:
  ColumnsImpl(std::shared_ptr<Document> d, pugi::xml_node tbl) : mDoc(std::move(d)), mTbl(tbl) {}
  int Count() override {
    mDoc->CheckOpen();
    return static_cast<int>(Children(Child(mTbl, "tblGrid"), "gridCol").size());
  }
  Ptr<host::Column> Item(int i) override {
    auto cols = Children(Child(mTbl, "tblGrid"), "gridCol");
    if (i < 1 || i > static_cast<int>(cols.size())) throw ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return std::make_shared<ColumnImpl>(mDoc, cols[i - 1]);
  }

 private:
  std::shared_ptr<Document> mDoc;
  pugi::xml_node mTbl;
};

class TableImpl;

class CellImpl : public host::Cell {
 public:
  CellImpl(std::shared_ptr<ShapeImpl> frame, pugi::xml_node tbl, int r, int c)
      : mFrame(std::move(frame)), mTbl(tbl), mRow(r), mCol(c) {}

  pugi::xml_node Tc(int r, int c) { return CellNode(mTbl, r, c); }

  // The top-left cell of the merged area this cell belongs to.
  void Origin(int& r, int& c) {
    r = mRow;
    c = mCol;
    // Only cells that exist are stepped onto: a damaged table may have rows
    // shorter than its grid.
    while (c > 0 && Attr(Tc(r, c), "hMerge").as_bool() && Tc(r, c - 1)) --c;
    while (r > 0 && Attr(Tc(r, c), "vMerge").as_bool() && Tc(r - 1, c)) --r;
    while (c > 0 && Attr(Tc(r, c), "hMerge").as_bool() && Tc(r, c - 1)) --c;
  }

  Ptr<host::Shape> Shape() override {
    mFrame->Check();
    int r, c;
    Origin(r, c);
    auto s = std::make_shared<ShapeImpl>();
    s->doc = mFrame->doc;
    s->slide = mFrame->slide;
    s->part = mFrame->part;
    s->node = Tc(r, c);
    s->kind = Kind::Cell;
    s->parent = mFrame;
    s->generation = mFrame->generation;
    s->tbl = mTbl;
    s->row = r;
    s->col = c;
    return s;
  }
  bool Selected() override { return false; }
  void Merge(const Ptr<host::Cell>& other) override {
    mFrame->Check();
    auto o = std::dynamic_pointer_cast<CellImpl>(other);
    if (!o || o->mTbl != mTbl) throw ComError(E_INVALIDARG, L"Cells of different tables cannot be merged.");
    int r0 = std::min(mRow, o->mRow), r1 = std::max(mRow, o->mRow);
    int c0 = std::min(mCol, o->mCol), c1 = std::max(mCol, o->mCol);
    for (int r = r0; r <= r1; ++r)
      for (int c = c0; c <= c1; ++c) {
        pugi::xml_node tc = Tc(r, c);
        for (const char* a : {"gridSpan", "rowSpan", "hMerge", "vMerge"}) tc.remove_attribute(a);
        if (r == r0 && c == c0) {
          if (c1 > c0) tc.append_attribute("gridSpan") = c1 - c0 + 1;
          if (r1 > r0) tc.append_attribute("rowSpan") = r1 - r0 + 1;
        } else {
          if (c > c0) tc.append_attribute("hMerge") = "1";
          if (r > r0) tc.append_attribute("vMerge") = "1";
        }
      }
    mFrame->Dirty();
  }

 private:
  std::shared_ptr<ShapeImpl> mFrame;
  pugi::xml_node mTbl;
  int mRow, mCol;
};

class TableImpl : public host::Table {
 public:
  TableImpl(std::shared_ptr<ShapeImpl> frame, pugi::xml_node tbl) : mFrame(std::move(frame)), mTbl(tbl) {}
  Ptr<host::Rows> Rows() override { mFrame->Check(); return std::make_shared<RowsImpl>(mFrame->doc, mTbl); }
  Ptr<host::Columns> Columns() override { mFrame->Check(); return std::make_shared<ColumnsImpl>(mFrame->doc, mTbl); }
  Ptr<host::Cell> Cell(int row, int column) override {
    mFrame->Check();
    auto rows = Children(mTbl, "tr");
    if (row < 1 || row > static_cast<int>(rows.size())) throw ComError(DISP_E_BADINDEX, L"The row is out of range.");
    auto cells = Children(rows[row - 1], "tc");
    if (column < 1 || column > static_cast<int>(cells.size()))
      throw ComError(DISP_E_BADINDEX, L"The column is out of range.");
    return std::make_shared<CellImpl>(mFrame, mTbl, row - 1, column - 1);
  }

 private:
  std::shared_ptr<ShapeImpl> mFrame;
  pugi::xml_node mTbl;
};

Ptr<host::Table> ShapeImpl::Table() {
  Check();
  if (!HasTable()) throw ComError(E_FAIL, L"This shape does not have a table.");
  return std::make_shared<TableImpl>(shared_from_this(), Child(GraphicData(node), "tbl"));
}

class ShapeRangeImpl : public host::ShapeRange {
 public:
  explicit ShapeRangeImpl(std::vector<Ptr<host::Shape>> s) : mShapes(std::move(s)) {}
  int Count() override { return static_cast<int>(mShapes.size()); }
  Ptr<host::Shape> Item(int index) override {
    if (index < 1 || index > Count()) throw ComError(DISP_E_BADINDEX, L"The index is out of range.");
    return mShapes[index - 1];
  }
  void Select(bool replace) override {
    if (mShapes.empty()) throw ComError(E_FAIL, L"Nothing to select.");
    auto first = std::dynamic_pointer_cast<ShapeImpl>(mShapes[0]);
    if (!first) throw ComError(E_FAIL, L"These shapes cannot be selected.");
    for (auto& s : mShapes)
      if (!s->Visible()) throw ComError(E_FAIL, L"A hidden shape cannot be selected.");
    auto app = first->doc->App.lock();
    if (!app) throw ComError(E_FAIL, L"No window shows this presentation.");
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
  std::vector<Ptr<host::Shape>> All() {
    std::vector<Ptr<host::Shape>> out;
    for (pugi::xml_node n : TreeChildren(Tree())) out.push_back(MakeTreeShape(mSlide, n));
    return out;
  }
  int Count() override { return static_cast<int>(TreeChildren(Tree()).size()); }
  Ptr<host::Shape> Item(int index) override {
    auto nodes = TreeChildren(Tree());
    if (index < 1 || index > static_cast<int>(nodes.size()))
      throw ComError(DISP_E_BADINDEX, L"The index into the Shapes collection is out of range.");
    return MakeTreeShape(mSlide, nodes[index - 1]);
  }
  Ptr<host::Shape> Item(const std::wstring& name) override {
    for (auto& s : All())
      if (s->Name() == name) return s;
    throw ComError(E_INVALIDARG, L"The item with the specified name wasn't found.");
  }
  Ptr<host::ShapeRange> Range() override { return std::make_shared<ShapeRangeImpl>(All()); }
  Ptr<host::ShapeRange> Range(const std::vector<std::wstring>& names) override {
    auto all = All();
    std::vector<Ptr<host::Shape>> out;
    for (auto& n : names) {
      auto it = std::find_if(all.begin(), all.end(), [&](const Ptr<host::Shape>& s) { return s->Name() == n; });
      if (it == all.end()) throw ComError(E_INVALIDARG, L"The item with the specified name wasn't found: " + n);
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
    if (!Tree()) throw ComError(E_FAIL, L"This slide cannot hold shapes.");
    if (width < 0 || height < 0) throw ComError(E_INVALIDARG, L"The size cannot be negative.");
    pugi::xml_node sp = NewTextboxXml(*mSlide.doc, mSlide.part, orientation, left, top, width, height);
    return MakeTreeShape(mSlide, sp);
  }

 private:
  SlideRef mSlide;
};

}  // namespace

Ptr<host::Shapes> MakeShapes(const SlideRef& slide) { return std::make_shared<ShapesImpl>(slide); }

Ptr<host::ShapeRange> MakeShapeRange(std::vector<Ptr<host::Shape>> shapes) {
  return std::make_shared<ShapeRangeImpl>(std::move(shapes));
}

std::shared_ptr<TextBodyOwner> OwnerOf(const Ptr<host::Shape>& shape) {
  auto s = std::dynamic_pointer_cast<ShapeImpl>(shape);
  if (!s || !s->HasTextFrame()) return nullptr;
  return MakeOwner(s);
}

SlideRef SlideOf(const Ptr<host::Shape>& shape) {
  auto s = std::dynamic_pointer_cast<ShapeImpl>(shape);
  return s ? s->slide : SlideRef{};
}

std::string PrefixFor(pugi::xml_document& part, const std::string& nsKind) {
  pugi::xml_node root = part.document_element();
  for (const XmlNamespace* ns : {&kDrawingMl, &kPresentationMl, &kRelationshipsNs})
    if (nsKind == ns->prefix) return NamespacePrefix(root, *ns, ConformanceOf(root));
  return nsKind;
}

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
  if (orientation != msoTextOrientationHorizontal) bodyPr.append_attribute("vert") = OrientationToVert(orientation);
  A(bodyPr, "spAutoFit");
  A(body, "lstStyle");
  pugi::xml_node p = A(body, "p");
  A(p, "endParaRPr").append_attribute("lang") = "en-US";
  doc.MarkDirty(part);
  return sp;
}

}  // namespace host::pptx
