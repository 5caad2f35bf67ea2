#include <algorithm>
#include <cmath>
#include <optional>
#include <cstdlib>

#include "src/host/pptx/PptxShapes.h"
#include "src/host/pptx/TextBody.h"

namespace host::pptx::shapes {

namespace {

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

// Text frame properties, read through the placeholder chain.
class BodyProps {
 public:
  explicit BodyProps(std::shared_ptr<ShapeBase> s) : mShape(std::move(s)), mOwner(MakeOwner(mShape)) {}

  // With create (a change of a body setting), waiting work is done first,
  // with the settings the edit saw.
  pugi::xml_node Own(bool create) {
    if (create) mShape->doc->Settle();
    pugi::xml_node body = mOwner->Body(create);
    pugi::xml_node bp = Child(body, "bodyPr");
    if (!bp && create) bp = AppendChildLike(body, "bodyPr", body.first_child());
    return bp;
  }
  // Fitting reads size, margins, orientation and auto-size one by one, each
  // through a new frame: the chain is looked up once for each state of the
  // document and kept on the shape.
  const std::vector<pugi::xml_node>& Chain() {
    mShape->Check();
    return mShape->bodyProps.Get(*mShape->doc, [&] {
      std::vector<pugi::xml_node> out;
      if (pugi::xml_node own = Own(false)) out.push_back(own);
      for (auto& [p, n] : mShape->InheritChain())
        if (pugi::xml_node bp = Child(Child(n, "txBody"), "bodyPr")) out.push_back(bp);
      return out;
    });
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
    if (v < 0 || v > 2) throw platform::ComError(E_INVALIDARG, L"Invalid auto-size value.");
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
    if (points < 0) throw platform::ComError(E_INVALIDARG, L"A margin cannot be negative.");
    SetAttribute(name, std::to_string(std::llround(points * kEmuPerPoint)));
  }
  int WordWrap() {
    const char* v = Attribute("wrap");
    return v && std::string(v) == "none" ? msoFalse : msoTrue;
  }
  void SetWordWrap(int v) {
    if (v != msoTrue && v != msoFalse && v != msoCTrue)
      throw platform::ComError(E_INVALIDARG, L"Invalid word-wrap value.");
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
    throw platform::ComError(E_INVALIDARG, L"Invalid vertical anchor.");
  }
  bool HasText() {
    pugi::xml_node body = mOwner->Body(false);
    // Counted, not built: the whole text of a large body in wide characters
    // takes four times its size, all to learn that it is not empty.
    return body && TextBody(body).CountLength() > 0;
  }
  std::shared_ptr<TextBodyOwner> Owner() { return mOwner; }
  std::shared_ptr<ShapeBase> Shape() { return mShape; }

 private:
  std::shared_ptr<ShapeBase> mShape;
  std::shared_ptr<TextBodyOwner> mOwner;
};

// What both text models' frames share: wrapping, orientation, anchor and
// margins read and written on the same body properties.
template <class Interface>
class FrameProps : public Interface {
 public:
  explicit FrameProps(std::shared_ptr<ShapeBase> s) : b(std::move(s)) {}
  int WordWrap() override { b.Shape()->Check(); return b.WordWrap(); }
  void SetWordWrap(int v) override { b.SetWordWrap(v); }
  int Orientation() override { b.Shape()->Check(); return b.Orientation(); }
  void SetOrientation(int v) override { b.SetOrientation(v); }
  int VerticalAnchor() override { b.Shape()->Check(); return b.Anchor(); }
  void SetVerticalAnchor(int v) override { b.SetAnchor(v); }
  float MarginLeft() override { b.Shape()->Check(); return b.Inset("lIns", 91440) + Box().left; }
  float MarginRight() override { b.Shape()->Check(); return b.Inset("rIns", 91440) + Box().right; }
  float MarginTop() override { b.Shape()->Check(); return b.Inset("tIns", 45720) + Box().top; }
  float MarginBottom() override { b.Shape()->Check(); return b.Inset("bIns", 45720) + Box().bottom; }
  void SetMarginLeft(float v) override { b.SetInset("lIns", FromBox(v, Box().left)); }
  void SetMarginRight(float v) override { b.SetInset("rIns", FromBox(v, Box().right)); }
  void SetMarginTop(float v) override { b.SetInset("tIns", FromBox(v, Box().top)); }
  void SetMarginBottom(float v) override { b.SetInset("bIns", FromBox(v, Box().bottom)); }

 protected:
  TextBoxOffsets Box() { return b.Shape()->TextBoxInset(); }
  // A negative margin is refused as it is; one inside the box's offset
  // leaves no inset.
  static float FromBox(float v, float offset) { return v < 0 ? v : std::max(0.0f, v - offset); }
  BodyProps b;
};

class TextFrameImpl : public FrameProps<host::TextFrame> {
 public:
  using FrameProps::FrameProps;
  bool HasText() override { b.Shape()->Check(); return b.HasText(); }
  Ptr<host::TextRange> TextRange() override { b.Shape()->Check(); return MakeTextRange(b.Owner()); }
  int AutoSize() override { b.Shape()->Check(); return b.AutoFit() == 1 ? ppAutoSizeShapeToFitText : ppAutoSizeNone; }
  void SetAutoSize(int v) override {
    if (v != ppAutoSizeNone && v != ppAutoSizeShapeToFitText)
      throw platform::ComError(E_INVALIDARG, L"Invalid auto-size value.");
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

// The master whose styles and theme a shape's text falls back to.
std::string MasterOfSlide(Document& doc, const SlideRef& slide) {
  if (slide.notes) return doc.Linked(slide.part, Document::Link::NotesMaster);
  return doc.MasterOf(doc.LayoutOf(slide.part));
}

class OwnerImpl : public TextBodyOwner {
 public:
  explicit OwnerImpl(std::shared_ptr<ShapeBase> s) : mShape(std::move(s)) {}
  std::shared_ptr<Document> Doc() override { return mShape->doc; }
  const std::string& Part() override { return mShape->part; }
  TextBodyKind Kind() override { return mShape->BodyKind(); }
  bool ParagraphDefaults() override { return mShape->ParagraphDefaults(); }
  std::vector<pugi::xml_node> TableTextStyles() override { return mShape->TableTextStyles(); }
  pugi::xml_node Body(bool create) override {
    mShape->Check();
    Document& doc = *mShape->doc;
    Find(doc);
    doc.SettleUnless(mHost.internal_object());
    Find(doc);  // the work that waited may have changed the document
    pugi::xml_node body = mBody;
    if (body || !create) return body;
    pugi::xml_document& d = doc.Pkg().Xml(mShape->part);
    std::string a = PrefixFor(d, "a");
    body = mShape->NewBody(mHost, a);
    body.append_child(QualifiedName(a, "bodyPr").c_str());
    body.append_child(QualifiedName(a, "lstStyle").c_str());
    body.append_child(QualifiedName(a, "p").c_str());
    mBody = body;
    Changed();
    return body;
  }
  // An edit of the body's own text or settings leaves the host and the
  // body where they are: what was found holds on, unless work another body
  // left waiting ran on the way.
  void Changed() override {
    Document& doc = *mShape->doc;
    const bool held = mFound == doc.Edits();
    const std::uint64_t settled = doc.SettledJobs();
    mShape->TextChanged();
    if (held && doc.SettledJobs() == settled) mFound = doc.Edits();
  }
  std::vector<pugi::xml_node> InheritedStyles() override {
    std::vector<pugi::xml_node> out;
    Document& doc = *mShape->doc;
    Package& pkg = doc.Pkg();
    std::string master = MasterOfSlide(doc, mShape->slide);
    pugi::xml_node ph = mShape->Placeholder();
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
    return doc.Fonts(MasterOfSlide(doc, mShape->slide));
  }
  std::optional<std::string> StyleKey() override { return mShape->StyleKey(); }
  TextFrameGeometry Frame() override { return mShape->FrameGeometry(); }
  void SelectText(int start, int length) override {
    mShape->Check();
    auto app = mShape->doc->App.lock();
    if (!app) throw platform::ComError(E_FAIL, L"No window shows this presentation.");
    app->SelectText(*mShape->doc, mShape->slide, mShape->SelectionTarget(), mShape->Identity(), self.lock(), start,
                    length);
  }
  SlideRef Slide() override { return mShape->slide; }

  std::weak_ptr<OwnerImpl> self;

 private:
  // A range asks for its body at every call; the host and the body found
  // stand while the document's edit count does, since whatever adds,
  // removes or moves them marks its part.
  void Find(Document& doc) {
    if (mFound == doc.Edits()) return;
    mHost = mShape->TextHost();
    mBody = Child(mHost, mShape->BodyName());
    mFound = doc.Edits();
  }

  std::shared_ptr<ShapeBase> mShape;
  std::optional<std::uint64_t> mFound;  // the edit count mHost and mBody hold for
  pugi::xml_node mHost, mBody;
};

class TextEffectImpl : public host::TextEffectFormat {
 public:
  explicit TextEffectImpl(std::shared_ptr<ShapeBase> s) : mShape(std::move(s)), mOwner(MakeOwner(mShape)) {}
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
  std::shared_ptr<ShapeBase> mShape;
  std::shared_ptr<TextBodyOwner> mOwner;
};

}  // namespace

std::shared_ptr<TextBodyOwner> MakeOwner(const std::shared_ptr<ShapeBase>& s) {
  auto o = std::make_shared<OwnerImpl>(s);
  o->self = o;
  return o;
}

Ptr<host::TextFrame> ShapeBase::TextFrame() {
  Check();
  if (!HasTextFrame()) throw platform::ComError(E_FAIL, L"This shape does not have a text frame.");
  return std::make_shared<TextFrameImpl>(shared_from_this());
}

Ptr<host::TextFrame2> ShapeBase::TextFrame2() {
  Check();
  if (!HasTextFrame()) throw platform::ComError(E_FAIL, L"This shape does not have a text frame.");
  return std::make_shared<TextFrame2Impl>(shared_from_this());
}

Ptr<host::TextEffectFormat> ShapeBase::TextEffect() {
  Check();
  if (!HasTextFrame()) throw platform::ComError(E_FAIL, L"This shape has no text effect.");
  return std::make_shared<TextEffectImpl>(shared_from_this());
}

// A slide shape's and a drawn SmartArt shape's body take the prefix of
// their own shape element.
pugi::xml_node ShapeBase::NewBody(pugi::xml_node host, const std::string&) {
  return AppendChildLike(host, BodyName(), BodyInsertPoint(host));
}

// A table cell's body is a DrawingML element, first in the cell.
pugi::xml_node CellShape::NewBody(pugi::xml_node host, const std::string& a) {
  pugi::xml_node body = host.insert_child_before(QualifiedName(a, "txBody").c_str(), host.first_child());
  if (!body) body = host.append_child(QualifiedName(a, "txBody").c_str());
  return body;
}

void DrawnShape::TextChanged() {
  Dirty();
  std::shared_ptr<Document> d = doc;
  std::string p = part;
  pugi::xml_node n = node;
  d->Defer(n.internal_object(), Document::Deferred::Sync, [d, p, n] { SmartArtDrawingChanged(*d, p, n); });
}

void ShapeBase::FrameSize(TextFrameGeometry& g) {
  Rect r = KeptRect();
  g.width = static_cast<float>(r.cx / kEmuPerPoint);
  g.height = static_cast<float>(r.cy / kEmuPerPoint);
}

// A drawn shape's text has a box of its own.
void DrawnShape::FrameSize(TextFrameGeometry& g) {
  ShapeBase::FrameSize(g);
  Rect t = ReadXfrm(Child(node, "txXfrm"));
  if (t.present) {
    g.width = static_cast<float>(t.cx / kEmuPerPoint);
    g.height = static_cast<float>(t.cy / kEmuPerPoint);
  }
}

TextBoxOffsets DrawnShape::TextBoxInset() {
  Rect t = ReadXfrm(Child(node, "txXfrm"));
  Rect r = ReadXfrm(Child(Child(node, "spPr"), "xfrm"));
  if (!t.present || !r.present) return {};
  auto points = [](double emu) { return static_cast<float>(std::max(0.0, emu) / kEmuPerPoint); };
  return {points(t.x - r.x), points(t.y - r.y), points(r.x + r.cx - t.x - t.cx), points(r.y + r.cy - t.y - t.cy)};
}

TextFrameGeometry ShapeBase::FrameGeometry() {
  TextFrameGeometry g;
  FrameSize(g);
  BodyProps b(shared_from_this());
  g.insetLeft = b.Inset("lIns", 91440);
  g.insetRight = b.Inset("rIns", 91440);
  g.insetTop = b.Inset("tIns", 45720);
  g.insetBottom = b.Inset("bIns", 45720);
  g.wrap = b.WordWrap() != msoFalse;
  g.vertical = b.Orientation() != msoTextOrientationHorizontal;
  return g;
}

TextFrameGeometry CellShape::FrameGeometry() {
  TextFrameGeometry g;
  FrameSize(g);
  pugi::xml_node tcPr = Child(TextHost(), "tcPr");
  g.insetLeft = static_cast<float>(Emu(tcPr, "marL", 91440) / kEmuPerPoint);
  g.insetRight = static_cast<float>(Emu(tcPr, "marR", 91440) / kEmuPerPoint);
  g.insetTop = static_cast<float>(Emu(tcPr, "marT", 45720) / kEmuPerPoint);
  g.insetBottom = static_cast<float>(Emu(tcPr, "marB", 45720) / kEmuPerPoint);
  return g;
}

}  // namespace host::pptx::shapes
