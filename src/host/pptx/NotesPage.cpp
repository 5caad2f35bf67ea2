// The notes page of a slide. A slide that has one gets its shapes straight
// from the notes part. A slide without one gets a page that looks like a
// fresh notes page (slide image and an empty notes placeholder) but lives in
// a throwaway document until something is written into it; only then are
// the notes part, its relationships, its content type and, when the deck
// has none, a notes master made in the presentation. Reading every notes
// page of a deck therefore changes nothing.
#include <cstdio>
#include <utility>

#include "src/host/pptx/PptxModel.h"
#include "src/host/pptx/TextBody.h"
#include "src/platform/ComError.h"

namespace host::pptx {
namespace {

std::string FreeName(Package& pkg, const std::string& stem) {
  for (int n = 1;; ++n) {
    std::string name = stem + std::to_string(n) + ".xml";
    if (!pkg.HasPart(name)) return name;
  }
}

struct NotesSize {
  long long cx = 6858000, cy = 9144000;
};

NotesSize SizeOf(Document& doc) {
  pugi::xml_node sz = Child(doc.Pkg().Xml(doc.PresentationPart()).document_element(), "notesSz");
  NotesSize s;
  s.cx = sz.attribute("cx").as_llong(s.cx);
  s.cy = sz.attribute("cy").as_llong(s.cy);
  if (s.cx <= 0 || s.cy <= 0) s = NotesSize{};
  return s;
}

// The two placeholders of a notes page; with explicit geometry where no
// notes master supplies it.
std::string PlaceholderShapes(const NotesSize* explicitSize) {
  auto xfrm = [&](double x, double y, double w, double h) -> std::string {
    if (!explicitSize) return "<p:spPr/>";
    char buf[200];
    std::snprintf(buf, sizeof buf, "<p:spPr><a:xfrm><a:off x=\"%lld\" y=\"%lld\"/><a:ext cx=\"%lld\" cy=\"%lld\"/></a:xfrm></p:spPr>",
                  static_cast<long long>(x * explicitSize->cx), static_cast<long long>(y * explicitSize->cy),
                  static_cast<long long>(w * explicitSize->cx), static_cast<long long>(h * explicitSize->cy));
    return buf;
  };
  // The proportions of the host's own portrait notes page.
  return "<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"Slide Image Placeholder 1\"/><p:cNvSpPr><a:spLocks noGrp=\"1\" "
         "noRot=\"1\" noChangeAspect=\"1\"/></p:cNvSpPr><p:nvPr><p:ph type=\"sldImg\"/></p:nvPr></p:nvSpPr>" +
         xfrm(1.0 / 6, 0.075, 2.0 / 3, 0.375) +
         "</p:sp><p:sp><p:nvSpPr><p:cNvPr id=\"3\" name=\"Notes Placeholder 2\"/><p:cNvSpPr><a:spLocks noGrp=\"1\"/>"
         "</p:cNvSpPr><p:nvPr><p:ph type=\"body\" idx=\"1\"/></p:nvPr></p:nvSpPr>" +
         xfrm(0.1, 0.475, 0.8, 0.45) +
         "<p:txBody><a:bodyPr/><a:lstStyle/><a:p><a:endParaRPr lang=\"en-US\"/></a:p></p:txBody></p:sp>";
}

std::string GroupHeader() {
  return "<p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr><p:grpSpPr><a:xfrm>"
         "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/><a:chOff x=\"0\" y=\"0\"/><a:chExt cx=\"0\" cy=\"0\"/>"
         "</a:xfrm></p:grpSpPr>";
}

std::string Namespaces(Conformance c) {
  return std::string("xmlns:a=\"") + kDrawingMl.Uri(c) + "\" xmlns:r=\"" + kRelationshipsNs.Uri(c) +
         "\" xmlns:p=\"" + kPresentationMl.Uri(c) + "\"";
}

void Load(pugi::xml_document& d, const std::string& xml) {
  pugi::xml_parse_result r = d.load_string(xml.c_str(), pugi::parse_default | pugi::parse_ws_pcdata);
  if (!r) throw platform::ComError(E_FAIL, L"Could not build a notes page.");
}

// A slide's notes page while it may still exist only in memory.
class NotesState {
 public:
  explicit NotesState(SlideRef slide) : mSlide(std::move(slide)) {
    if (auto rel = RelationshipOfType(mSlide.doc->Pkg(), mSlide.part, kNotesSlideRel)) mRealPart = rel->targetPart;
  }

  SlideRef ReadRef() {
    if (mRealPart.empty()) {
      // Someone else may have written a page for this slide meanwhile.
      if (auto rel = RelationshipOfType(mSlide.doc->Pkg(), mSlide.part, kNotesSlideRel)) mRealPart = rel->targetPart;
    }
    if (!mRealPart.empty()) return {mSlide.doc, mSlide.slideId, mRealPart, true};
    if (!mStage) Stage();
    return {mStage, mSlide.slideId, kStagePart, true};
  }

  SlideRef WriteRef() {
    mSlide.doc->CheckOpen();
    ReadRef();
    if (mRealPart.empty()) Materialise();
    return {mSlide.doc, mSlide.slideId, mRealPart, true};
  }

  bool Written() {
    ReadRef();
    return !mRealPart.empty();
  }
  const SlideRef& Slide() const { return mSlide; }

 private:
  static constexpr const char* kStagePart = "ppt/notesSlides/notesSlide1.xml";

  void Stage() {
    mStage = mSlide.doc->NotesStage().Get(*mSlide.doc, [&] {
      auto stage = Document::CreateEmpty();
      pugi::xml_document& d = stage->Pkg().AddXmlPart(kStagePart, kNotesSlideType);
      NotesSize size = SizeOf(*mSlide.doc);
      Load(d, NotesXml(&size));
      return stage;
    });
  }

  std::string NotesXml(const NotesSize* explicitSize) {
    return "<p:notes " + Namespaces(ConformanceOf(*mSlide.doc)) + "><p:cSld><p:spTree>" + GroupHeader() +
           PlaceholderShapes(explicitSize) + "</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:notes>";
  }

  std::string EnsureNotesMaster() {
    Document& doc = *mSlide.doc;
    Package& pkg = doc.Pkg();
    const std::string& pres = doc.PresentationPart();
    if (auto rel = RelationshipOfType(pkg, pres, kNotesMasterRel)) return rel->targetPart;

    // The notes master needs a theme; it gets a copy of the slides' one.
    std::string slideTheme = doc.ThemeOf(doc.MasterOf(doc.LayoutOf(mSlide.part)));
    if (slideTheme.empty()) throw platform::ComError(E_FAIL, L"The presentation has no theme for a notes master.");
    std::string theme = FreeName(pkg, "ppt/theme/theme");
    pkg.SetPart(theme, pkg.Bytes(slideTheme), kThemeType);

    std::string master = FreeName(pkg, "ppt/notesMasters/notesMaster");
    pugi::xml_document& d = pkg.AddXmlPart(master, kNotesMasterType);
    NotesSize size = SizeOf(doc);
    Conformance c = ConformanceOf(doc);
    Load(d, "<p:notesMaster " + Namespaces(c) + "><p:cSld><p:bg><p:bgRef idx=\"1001\"><a:schemeClr val=\"bg1\"/>"
                "</p:bgRef></p:bg><p:spTree>" + GroupHeader() + PlaceholderShapes(&size) +
                "</p:spTree></p:cSld><p:clrMap bg1=\"lt1\" tx1=\"dk1\" bg2=\"lt2\" tx2=\"dk2\" accent1=\"accent1\" "
                "accent2=\"accent2\" accent3=\"accent3\" accent4=\"accent4\" accent5=\"accent5\" accent6=\"accent6\" "
                "hlink=\"hlink\" folHlink=\"folHlink\"/><p:notesStyle><a:lvl1pPr marL=\"0\" algn=\"l\"><a:defRPr "
                "sz=\"1200\"><a:solidFill><a:schemeClr val=\"tx1\"/></a:solidFill><a:latin typeface=\"+mn-lt\"/>"
                "<a:ea typeface=\"+mn-ea\"/><a:cs typeface=\"+mn-cs\"/></a:defRPr></a:lvl1pPr></p:notesStyle>"
                "</p:notesMaster>");
    // The placeholders' own text bodies are not wanted on a master.
    for (pugi::xml_node sp : Child(Child(d.document_element(), "cSld"), "spTree").children())
      if (pugi::xml_node body = Child(sp, "txBody")) {
        while (body.last_child() && LocalName(body.last_child()) == "p") body.remove_child(body.last_child());
        body.append_child("a:p");
      }
    pkg.AddRelationship(master, kThemeRel.Uri(c), theme);
    std::string relId = pkg.AddRelationship(pres, kNotesMasterRel.Uri(c), master);

    pugi::xml_node presentation = pkg.Xml(pres).document_element();
    std::string prefix = PrefixFor(pkg.Xml(pres), "p");
    std::string rPrefix = PrefixFor(pkg.Xml(pres), "r");
    pugi::xml_node after = Child(presentation, "sldMasterIdLst");
    auto q = [](const std::string& pre, const char* local) { return pre.empty() ? std::string(local) : pre + ":" + local; };
    std::string listName = q(prefix, "notesMasterIdLst");
    pugi::xml_node list = after ? presentation.insert_child_after(listName.c_str(), after)
                                : presentation.prepend_child(listName.c_str());
    pugi::xml_node id = list.append_child(q(prefix, "notesMasterId").c_str());
    id.append_attribute(q(rPrefix, "id").c_str()) = relId.c_str();
    doc.MarkDirty(pres);
    doc.MarkDirty(master);
    return master;
  }

  void Materialise() {
    Document& doc = *mSlide.doc;
    Package& pkg = doc.Pkg();
    std::string master = EnsureNotesMaster();
    std::string part = FreeName(pkg, "ppt/notesSlides/notesSlide");
    pugi::xml_document& d = pkg.AddXmlPart(part, kNotesSlideType);
    Load(d, NotesXml(nullptr));
    Conformance c = ConformanceOf(doc);
    pkg.AddRelationship(part, kNotesMasterRel.Uri(c), master);
    pkg.AddRelationship(part, kSlideRel.Uri(c), mSlide.part);
    pkg.AddRelationship(mSlide.part, kNotesSlideRel.Uri(c), part);
    doc.MarkDirty(part);
    mRealPart = part;
    mStage.reset();
  }

  SlideRef mSlide;
  std::string mRealPart;
  std::shared_ptr<Document> mStage;
};

// Shapes, frames and text owners of a page that may be unwritten: reads go
// to the page as it is, writes first make it real.
class ProxyOwner : public TextBodyOwner {
 public:
  ProxyOwner(std::shared_ptr<NotesState> st, int index) : mSt(std::move(st)), mIndex(index) {}
  std::shared_ptr<Document> Doc() override { return Current(false)->Doc(); }
  const std::string& Part() override { return Current(false)->Part(); }
  TextBodyKind Kind() override { return TextBodyKind::Shape; }
  pugi::xml_node Body(bool create) override { return Current(create)->Body(create); }
  void Changed() override { Current(true)->Changed(); }
  // An unwritten page holds no text, so the styles it would inherit do not
  // matter until it is written; the throwaway document has none to give.
  std::vector<pugi::xml_node> InheritedStyles() override {
    return mSt->Written() ? Current(false)->InheritedStyles() : std::vector<pugi::xml_node>{};
  }
  ThemeFonts Fonts() override { return mSt->Written() ? Current(false)->Fonts() : ThemeFonts{}; }
  std::optional<std::string> StyleKey() override {
    return mSt->Written() ? Current(false)->StyleKey() : std::nullopt;
  }
  TextFrameGeometry Frame() override { return Current(false)->Frame(); }
  void SelectText(int start, int length) override { Current(false)->SelectText(start, length); }
  host::pptx::SlideRef Slide() override { return Current(false)->Slide(); }

 private:
  std::shared_ptr<TextBodyOwner> Current(bool write) {
    SlideRef ref = write ? mSt->WriteRef() : mSt->ReadRef();
    if (ref.doc != mRef.doc || ref.part != mRef.part) {
      mRef = ref;
      mOwner = OwnerOf(MakeShapes(ref)->Item(mIndex));
      if (!mOwner) throw platform::ComError(E_FAIL, L"This shape does not have a text frame.");
    }
    return mOwner;
  }
  std::shared_ptr<NotesState> mSt;
  int mIndex;
  SlideRef mRef;
  std::shared_ptr<TextBodyOwner> mOwner;
};

class ProxyShapeBase {
 public:
  ProxyShapeBase(std::shared_ptr<NotesState> st, int index) : mSt(std::move(st)), mIndex(index) {}

 protected:
  // Reads one after another (fitting takes the size, the margins and the
  // orientation) find the shape once while the page stays as it was.
  Ptr<host::Shape> R() {
    SlideRef ref = mSt->ReadRef();
    if (ref.doc != mReadRef.doc || ref.part != mReadRef.part) {
      mRead.Forget();
      mReadRef = ref;
    }
    return mRead.Get(*ref.doc, [&] { return MakeShapes(ref)->Item(mIndex); });
  }
  Ptr<host::Shape> W() { return MakeShapes(mSt->WriteRef())->Item(mIndex); }
  std::shared_ptr<NotesState> mSt;
  int mIndex;

 private:
  KeptAt<Ptr<host::Shape>> mRead;
  SlideRef mReadRef;
};

// The two text models' frames of a notes shape, for the proxy below.
struct ClassicFrames {
  using Frame = host::TextFrame;
  static Ptr<Frame> Of(const Ptr<host::Shape>& shape) { return shape->TextFrame(); }
  static Ptr<host::TextRange> Range(std::shared_ptr<TextBodyOwner> owner) { return MakeTextRange(std::move(owner)); }
};

struct ModernFrames {
  using Frame = host::TextFrame2;
  static Ptr<Frame> Of(const Ptr<host::Shape>& shape) { return shape->TextFrame2(); }
  static Ptr<host::TextRange2> Range(std::shared_ptr<TextBodyOwner> owner) { return MakeTextRange2(std::move(owner)); }
};

// A notes shape's frame that finds the shape again on every call: reading
// never makes the notes page, writing does.
template <class Model>
class ProxyTextFrame : public Model::Frame, private ProxyShapeBase {
  using Frame = typename Model::Frame;

 public:
  using ProxyShapeBase::ProxyShapeBase;
  decltype(std::declval<Frame&>().HasText()) HasText() override { return Model::Of(R())->HasText(); }
  decltype(std::declval<Frame&>().TextRange()) TextRange() override {
    Model::Of(R());  // fails as the shape would for a shape without a frame
    return Model::Range(std::make_shared<ProxyOwner>(mSt, mIndex));
  }
  int AutoSize() override { return Model::Of(R())->AutoSize(); }
  void SetAutoSize(int v) override { Model::Of(W())->SetAutoSize(v); }
  int WordWrap() override { return Model::Of(R())->WordWrap(); }
  void SetWordWrap(int v) override { Model::Of(W())->SetWordWrap(v); }
  int Orientation() override { return Model::Of(R())->Orientation(); }
  void SetOrientation(int v) override { Model::Of(W())->SetOrientation(v); }
  int VerticalAnchor() override { return Model::Of(R())->VerticalAnchor(); }
  void SetVerticalAnchor(int v) override { Model::Of(W())->SetVerticalAnchor(v); }
  float MarginLeft() override { return Model::Of(R())->MarginLeft(); }
  float MarginRight() override { return Model::Of(R())->MarginRight(); }
  float MarginTop() override { return Model::Of(R())->MarginTop(); }
  float MarginBottom() override { return Model::Of(R())->MarginBottom(); }
  void SetMarginLeft(float v) override { Model::Of(W())->SetMarginLeft(v); }
  void SetMarginRight(float v) override { Model::Of(W())->SetMarginRight(v); }
  void SetMarginTop(float v) override { Model::Of(W())->SetMarginTop(v); }
  void SetMarginBottom(float v) override { Model::Of(W())->SetMarginBottom(v); }
};

class ProxyShape : public host::Shape, private ProxyShapeBase {
 public:
  ProxyShape(std::shared_ptr<NotesState> st, int index) : ProxyShapeBase(std::move(st), index) {}
  ShapeIdentity Identity() override { return R()->Identity(); }
  int Type() override { return R()->Type(); }
  int Id() override { return R()->Id(); }
  std::wstring Name() override { return R()->Name(); }
  void SetName(const std::wstring& name) override { W()->SetName(name); }
  std::wstring AlternativeText() override { return R()->AlternativeText(); }
  void SetAlternativeText(const std::wstring& text) override { W()->SetAlternativeText(text); }
  std::wstring Title() override { return R()->Title(); }
  void SetTitle(const std::wstring& text) override { W()->SetTitle(text); }
  bool Visible() override { return R()->Visible(); }
  void SetVisible(bool visible) override { W()->SetVisible(visible); }
  void Select(bool replace) override { R()->Select(replace); }
  float Left() override { return R()->Left(); }
  float Top() override { return R()->Top(); }
  float Width() override { return R()->Width(); }
  float Height() override { return R()->Height(); }
  void SetLeft(float v) override { W()->SetLeft(v); }
  void SetTop(float v) override { W()->SetTop(v); }
  void SetWidth(float v) override { W()->SetWidth(v); }
  void SetHeight(float v) override { W()->SetHeight(v); }
  float Rotation() override { return R()->Rotation(); }
  int AutoShapeType() override { return R()->AutoShapeType(); }
  bool HasTextFrame() override { return R()->HasTextFrame(); }
  Ptr<host::TextFrame> TextFrame() override {
    R()->TextFrame();
    return std::make_shared<ProxyTextFrame<ClassicFrames>>(mSt, mIndex);
  }
  Ptr<host::TextFrame2> TextFrame2() override {
    R()->TextFrame2();
    return std::make_shared<ProxyTextFrame<ModernFrames>>(mSt, mIndex);
  }
  bool HasTable() override { return R()->HasTable(); }
  Ptr<host::Table> Table() override { return W()->Table(); }
  bool HasChart() override { return R()->HasChart(); }
  Ptr<host::Chart> Chart() override { return R()->Chart(); }
  bool HasSmartArt() override { return R()->HasSmartArt(); }
  bool HasDiagram() override { return R()->HasDiagram(); }
  Ptr<host::GroupShapes> GroupItems() override { return W()->GroupItems(); }
  Ptr<host::Shape> ParentGroup() override { return R()->ParentGroup(); }
  Ptr<host::TextEffectFormat> TextEffect() override { return W()->TextEffect(); }
  Ptr<host::PlaceholderFormat> PlaceholderFormat() override { return R()->PlaceholderFormat(); }
  Ptr<host::ActionSetting> ActionSettings(int mouseEvent) override;
  void Delete() override { W()->Delete(); }
};

// A notes shape's link, found again on every call like its frame.
class ProxyHyperlink : public host::Hyperlink, private ProxyShapeBase {
 public:
  ProxyHyperlink(std::shared_ptr<NotesState> st, int index, int mouseEvent)
      : ProxyShapeBase(std::move(st), index), mEvent(mouseEvent) {}
  std::wstring Address() override { return R()->ActionSettings(mEvent)->Hyperlink()->Address(); }
  std::wstring ScreenTip() override { return R()->ActionSettings(mEvent)->Hyperlink()->ScreenTip(); }
  void SetScreenTip(const std::wstring& tip) override { W()->ActionSettings(mEvent)->Hyperlink()->SetScreenTip(tip); }

 private:
  int mEvent;
};

class ProxyActionSetting : public host::ActionSetting {
 public:
  ProxyActionSetting(std::shared_ptr<NotesState> st, int index, int mouseEvent)
      : mSt(std::move(st)), mIndex(index), mEvent(mouseEvent) {}
  Ptr<host::Hyperlink> Hyperlink() override { return std::make_shared<ProxyHyperlink>(mSt, mIndex, mEvent); }

 private:
  std::shared_ptr<NotesState> mSt;
  int mIndex, mEvent;
};

Ptr<host::ActionSetting> ProxyShape::ActionSettings(int mouseEvent) {
  R()->ActionSettings(mouseEvent);
  return std::make_shared<ProxyActionSetting>(mSt, mIndex, mouseEvent);
}

class ProxyShapes : public host::Shapes {
 public:
  explicit ProxyShapes(std::shared_ptr<NotesState> st) : mSt(std::move(st)) {}
  int Count() override { return MakeShapes(mSt->ReadRef())->Count(); }
  Ptr<host::Shape> Item(int index) override {
    MakeShapes(mSt->ReadRef())->Item(index);  // the same index errors as the page itself
    return std::make_shared<ProxyShape>(mSt, index);
  }
  Ptr<host::Shape> Item(const std::wstring& name) override {
    auto shapes = MakeShapes(mSt->ReadRef());
    for (int i = 1; i <= shapes->Count(); ++i)
      if (shapes->Item(i)->Name() == name) return std::make_shared<ProxyShape>(mSt, i);
    return shapes->Item(name);  // raises the page's own error
  }
  Ptr<host::ShapeRange> Range() override {
    std::vector<Ptr<host::Shape>> all;
    for (int i = 1, n = Count(); i <= n; ++i) all.push_back(std::make_shared<ProxyShape>(mSt, i));
    return MakeShapeRange(std::move(all));
  }
  Ptr<host::ShapeRange> Range(const std::vector<std::wstring>& names) override {
    std::vector<Ptr<host::Shape>> out;
    for (const auto& n : names) out.push_back(Item(n));
    return MakeShapeRange(std::move(out));
  }
  Ptr<host::ShapeRange> Range(const std::vector<int>& indexes) override {
    std::vector<Ptr<host::Shape>> out;
    for (int i : indexes) out.push_back(Item(i));
    return MakeShapeRange(std::move(out));
  }
  Ptr<host::Shape> AddTextbox(int orientation, float left, float top, float width, float height) override {
    return MakeShapes(mSt->WriteRef())->AddTextbox(orientation, left, top, width, height);
  }

 private:
  std::shared_ptr<NotesState> mSt;
};

class NotesPageImpl : public host::Slide {
 public:
  explicit NotesPageImpl(std::shared_ptr<NotesState> st) : mSt(std::move(st)) {}
  std::wstring Name() override { return L""; }
  void SetName(const std::wstring&) override {
    throw platform::ComError(E_FAIL, L"A notes page has no name of its own.");
  }
  int SlideIndex() override {
    Check();
    return mSt->Slide().doc->SlideIndexOf(mSt->Slide().slideId);
  }
  int SlideID() override { return mSt->Slide().slideId; }
  Ptr<host::Shapes> Shapes() override {
    Check();
    return std::make_shared<ProxyShapes>(mSt);
  }
  Ptr<host::Slide> NotesPage() override { throw platform::ComError(E_FAIL, L"A notes page has no notes page."); }
  Ptr<host::Comments> Comments() override { return MakeSlideComments(mSt->ReadRef()); }
  void Select() override { throw platform::ComError(E_FAIL, L"A notes page cannot be selected in this view."); }

 private:
  void Check() {
    mSt->Slide().doc->CheckOpen();
    if (!mSt->Slide().doc->SlideById(mSt->Slide().slideId))
      throw platform::ComError(E_FAIL, L"The slide has been deleted.");
  }
  std::shared_ptr<NotesState> mSt;
};

}  // namespace

Ptr<host::Slide> MakeNotesPage(const SlideRef& slide) {
  if (!slide.doc) throw platform::ComError(E_FAIL, L"No presentation.");
  if (slide.notes) throw platform::ComError(E_FAIL, L"A notes page has no notes page.");
  slide.doc->CheckOpen();
  return std::make_shared<NotesPageImpl>(std::make_shared<NotesState>(slide));
}

}  // namespace host::pptx
