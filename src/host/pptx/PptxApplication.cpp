#include "src/host/pptx/PptxApplication.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "src/host/pptx/PptxModel.h"
#include "src/platform/Strings.h"

namespace host::pptx {

namespace {


// The work area leaves room for a task bar, as a desktop does.
constexpr int kTaskBarPixels = 40;

class AppImpl;
class PresentationImpl;

struct SelState {
  int type = ppSelectionNone;
  std::vector<int> slideIds;
  std::vector<Ptr<host::Shape>> shapes;
  Ptr<host::Shape> textShape;
  ShapeIdentity textOf;  // the shape that holds the selected text (a cell of textShape's table)
  std::shared_ptr<TextBodyOwner> owner;
  int start = 1, length = 0;
};

class WindowImpl : public host::DocumentWindow, public std::enable_shared_from_this<WindowImpl> {
 public:
  std::weak_ptr<AppImpl> app;
  std::shared_ptr<PresentationImpl> pres;
  int viewType = ppViewNormal;
  // What the first pane of the three-pane views shows: slide thumbnails,
  // or the outline of the slides' text.
  int leftPane = ppViewThumbnails;
  int activePane = 2;
  int currentSlideId = 0;
  SelState sel;
  int state = ppWindowMaximized;
  // The window's place when it is neither maximised nor minimised.
  float left = 0, top = 0, width = 0, height = 0;
  bool closed = false;

  void Check();
  std::shared_ptr<Document> Doc();
  std::shared_ptr<AppImpl> App();

  bool ThreePanes() const { return viewType == ppViewNormal || viewType == ppViewOutline; }
  int PaneCount() { return ThreePanes() ? 3 : 1; }
  int PaneViewType(int index) {
    if (!ThreePanes()) return viewType;
    return index == 1 ? leftPane : index == 2 ? ppViewSlide : ppViewNotesPage;
  }
  int CurrentIndex() {
    Doc()->CheckOpen();
    int i = Doc()->SlideIndexOf(currentSlideId);
    if (i == 0 && !Doc()->SlideList().empty()) {
      currentSlideId = Doc()->SlideList()[0].id;
      i = 1;
    }
    return i;
  }

  int ViewType() override { Check(); return viewType; }
  void SetViewType(int v) override;
  Ptr<host::Pane> ActivePane() override;
  Ptr<host::Panes> Panes() override;
  Ptr<host::Selection> Selection() override;
  Ptr<host::View> View() override;
  Ptr<host::Presentation> Presentation() override;
  std::wstring Caption() override;
  bool Active() override;
  void Activate() override;
  int WindowState() override { Check(); return state; }
  void SetWindowState(int s) override {
    Check();
    if (s < ppWindowNormal || s > ppWindowMaximized) throw platform::ComError(E_INVALIDARG, L"Invalid window state.");
    state = s;
  }
  void Movable() {
    Check();
    if (state != ppWindowNormal)
      throw platform::ComError(E_FAIL,
                               L"The window is maximized or minimized; make it normal before moving or sizing it.");
  }
  // A maximised window fills the work area; the others report their own
  // place, kept to the fraction of a point they were given.
  float Left() override;
  float Top() override;
  float Width() override;
  float Height() override;
  void SetLeft(float v) override { Movable(); left = v; }
  void SetTop(float v) override { Movable(); top = v; }
  void SetWidth(float v) override {
    Movable();
    if (v < 0) throw platform::ComError(E_INVALIDARG, L"The width cannot be negative.");
    width = v;
  }
  void SetHeight(float v) override {
    Movable();
    if (v < 0) throw platform::ComError(E_INVALIDARG, L"The height cannot be negative.");
    height = v;
  }
  void Close() override;
};

class PresentationImpl : public host::Presentation, public std::enable_shared_from_this<PresentationImpl> {
 public:
  std::shared_ptr<Document> doc;
  std::weak_ptr<AppImpl> app;
  std::filesystem::path file;  // empty for untitled
  std::wstring untitledName;
  bool readOnly = false;
  bool locked = false;  // a write password protects it and none was given

  void Check() { doc->CheckOpen(); }
  std::wstring Name() override {
    Check();
    return file.empty() ? untitledName : W(file.filename().string());
  }
  std::wstring FullName() override {
    Check();
    return file.empty() ? untitledName : W(file.string());
  }
  std::wstring Path() override {
    Check();
    return file.empty() ? std::wstring() : W(file.parent_path().string());
  }
  bool IsEmbedded() override { Check(); return false; }
  bool Saved() override { Check(); return !doc->Changed(); }
  void SetSaved(bool v) override {
    Check();
    if (locked)
      throw platform::ComError(E_ACCESSDENIED, L"The presentation is locked for editing by a write password.");
    if (v)
      doc->ResetChanged();
    else
      doc->SetChanged();
  }
  std::string CustomPropsPart() {
    auto r = doc->Pkg().RelationshipByType("", "custom-properties");
    return r && doc->Pkg().HasPart(r->targetPart) ? r->targetPart : std::string();
  }
  pugi::xml_node FinalProperty() {
    std::string part = CustomPropsPart();
    if (part.empty()) return {};
    for (pugi::xml_node p : Children(doc->Pkg().Xml(part).document_element(), "property"))
      if (std::string(p.attribute("name").value()) == "_MarkAsFinal") return p;
    return {};
  }
  bool Final() override {
    Check();
    pugi::xml_node p = FinalProperty();
    pugi::xml_node v = Child(p, "bool");
    std::string t = v.child_value();
    return t == "true" || t == "1";
  }
  void SetFinal(bool f) override {
    Check();
    if (locked)
      throw platform::ComError(E_ACCESSDENIED, L"The presentation is locked for editing by a write password.");
    pugi::xml_node p = FinalProperty();
    if (!p && !f) return;
    std::string part = CustomPropsPart();
    if (!p) {
      Conformance c = ConformanceOf(*doc);
      if (part.empty()) {
        part = "docProps/custom.xml";
        pugi::xml_document& d =
            doc->Pkg().AddXmlPart(part, "application/vnd.openxmlformats-officedocument.custom-properties+xml");
        pugi::xml_node root = d.append_child("Properties");
        root.append_attribute("xmlns") = kCustomPropertiesNs.Uri(c);
        root.append_attribute("xmlns:vt") = kVariantTypesNs.Uri(c);
        doc->Pkg().AddRelationship("", kCustomPropertiesRel.Uri(c), part);
      }
      pugi::xml_node root = doc->Pkg().Xml(part).document_element();
      int pid = 1;
      for (pugi::xml_node q : Children(root, "property")) pid = std::max(pid, q.attribute("pid").as_int());
      p = AppendChildLike(root, "property");
      p.append_attribute("fmtid") = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";
      p.append_attribute("pid") = pid + 1;
      p.append_attribute("name") = "_MarkAsFinal";
      p.append_child(QualifiedName(NamespacePrefix(p, kVariantTypesNs, c), "bool").c_str());
    }
    pugi::xml_node v = Child(p, "bool");
    v.text().set(f ? "true" : "false");
    doc->MarkDirty(part);
  }
  bool ReadOnly() override { Check(); return readOnly || locked; }
  float SlideWidth() override { Check(); return doc->SlideWidth(); }
  float SlideHeight() override { Check(); return doc->SlideHeight(); }
  Ptr<host::DocumentWindows> Windows() override;
  Ptr<host::Slides> Slides() override { Check(); return MakeSlides(doc); }
  Ptr<host::Master> SlideMaster() override {
    Ptr<host::Designs> designs = Designs();
    if (designs->Count() < 1) throw platform::ComError(E_FAIL, L"This presentation has no slide master.");
    return designs->Item(1)->SlideMaster();
  }
  Ptr<host::Designs> Designs() override { Check(); return MakeDesigns(doc); }

  std::map<std::string, std::string> FormatOverrides(int format) {
    std::map<std::string, std::string> out;
    const char* want = nullptr;
    switch (format) {
      case ppSaveAsOpenXMLPresentation:
        want = "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml";
        break;
      case ppSaveAsOpenXMLPresentationMacroEnabled:
        want = "application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml";
        break;
      case ppSaveAsOpenXMLShow:
        want = "application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml";
        break;
      case ppSaveAsOpenXMLTemplate:
        want = "application/vnd.openxmlformats-officedocument.presentationml.template.main+xml";
        break;
      case ppSaveAsOpenXMLTemplateMacroEnabled:
        want = "application/vnd.ms-powerpoint.template.macroEnabled.main+xml";
        break;
      case ppSaveAsDefault:
      case ppSaveAsPresentation:
        return out;
      default:
        throw platform::ComError(E_INVALIDARG, L"This file format cannot be written.");
    }
    if (doc->Pkg().ContentType(doc->PresentationPart()) == want) return out;
    // The copy differs only in its main content type; this package keeps its own.
    pugi::xml_document copy;
    copy.reset(doc->Pkg().Xml("[Content_Types].xml"));
    std::string name = "/" + doc->PresentationPart();
    bool done = false;
    for (pugi::xml_node o : copy.document_element().children("Override"))
      if (std::string(o.attribute("PartName").value()) == name) {
        o.attribute("ContentType").set_value(want);
        done = true;
      }
    if (!done) {
      pugi::xml_node o = copy.document_element().append_child("Override");
      o.append_attribute("PartName") = name.c_str();
      o.append_attribute("ContentType") = want;
    }
    struct Writer : pugi::xml_writer {
      std::string s;
      void write(const void* d, size_t n) override { s.append(static_cast<const char*>(d), n); }
    } w;
    copy.save(w, "", pugi::format_raw | pugi::format_no_declaration);
    out["[Content_Types].xml"] = w.s;
    return out;
  }

  void Save() override {
    Check();
    if (file.empty()) throw platform::ComError(E_FAIL, L"An untitled presentation is saved with SaveAs.");
    if (readOnly || locked) throw platform::ComError(E_ACCESSDENIED, L"The presentation is read-only.");
    doc->Settle();
    doc->Pkg().Save(file);
    doc->ResetChanged();
  }
  void SaveAs(const std::wstring& fileName, int format) override {
    Check();
    if (locked)
      throw platform::ComError(E_ACCESSDENIED, L"The presentation is locked for editing by a write password.");
    std::filesystem::path to = std::filesystem::absolute(platform::ToUtf8(fileName));
    doc->Settle();
    doc->Pkg().Save(to, FormatOverrides(format));
    file = to;
    readOnly = false;
    doc->ResetChanged();
  }
  void SaveCopyAs(const std::wstring& fileName, int format, bool) override {
    Check();
    if (fileName.empty()) throw platform::ComError(E_INVALIDARG, L"SaveCopyAs needs a file name.");
    std::filesystem::path to = std::filesystem::absolute(platform::ToUtf8(fileName));
    doc->Settle();
    doc->Pkg().Save(to, FormatOverrides(format));
  }
  void Close() override;
  Ptr<host::DocumentWindow> NewWindow() override;
};

class PaneImpl : public host::Pane {
 public:
  PaneImpl(std::shared_ptr<WindowImpl> w, int i) : mWin(std::move(w)), mIndex(i) {}
  int ViewType() override {
    mWin->Check();
    if (mIndex > mWin->PaneCount()) throw platform::ComError(E_FAIL, L"The pane no longer exists.");
    return mWin->PaneViewType(mIndex);
  }
  bool Active() override {
    mWin->Check();
    return mWin->activePane == mIndex;
  }
  void Activate() override {
    mWin->Check();
    if (mIndex > mWin->PaneCount()) throw platform::ComError(E_FAIL, L"The pane no longer exists.");
    if (mWin->activePane != mIndex) mWin->sel = SelState{};
    mWin->activePane = mIndex;
  }

 private:
  std::shared_ptr<WindowImpl> mWin;
  int mIndex;
};

class PanesImpl : public host::Panes {
 public:
  explicit PanesImpl(std::shared_ptr<WindowImpl> w) : mWin(std::move(w)) {}
  int Count() override {
    mWin->Check();
    return mWin->PaneCount();
  }
  Ptr<host::Pane> Item(int index) override {
    if (index < 1 || index > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The pane index is out of range.");
    return std::make_shared<PaneImpl>(mWin, index);
  }

 private:
  std::shared_ptr<WindowImpl> mWin;
};

class ViewImpl : public host::View {
 public:
  explicit ViewImpl(std::shared_ptr<WindowImpl> w) : mWin(std::move(w)) {}
  int Type() override {
    mWin->Check();
    return mWin->viewType;
  }
  Ptr<host::Slide> Slide() override {
    mWin->Check();
    int v = mWin->viewType;
    if (v != ppViewNormal && v != ppViewSlide && v != ppViewNotesPage && v != ppViewOutline)
      throw platform::ComError(E_FAIL, L"This view shows no single slide.");
    if (mWin->CurrentIndex() == 0) throw platform::ComError(E_FAIL, L"The presentation has no slides.");
    return MakeSlide(mWin->Doc(), mWin->currentSlideId);
  }
  void GotoSlide(int index) override {
    mWin->Check();
    int n = static_cast<int>(mWin->Doc()->SlideList().size());
    if (index < 1 || index > n)
      throw platform::ComError(E_INVALIDARG, L"View.GotoSlide: " + std::to_wstring(index) +
                                                 L" is not in the valid range of 1 to " + std::to_wstring(n) + L".");
    mWin->currentSlideId = mWin->Doc()->SlideList()[index - 1].id;
    mWin->sel = SelState{};
  }
  int Zoom() override { mWin->Check(); return mZoom; }
  void SetZoom(int z) override {
    mWin->Check();
    if (z < 10 || z > 400) throw platform::ComError(E_INVALIDARG, L"The zoom must be between 10 and 400.");
    mZoom = z;
  }

 private:
  std::shared_ptr<WindowImpl> mWin;
  int mZoom = 100;
};

// The top-level shape a shape belongs to (a group item's outermost group).
Ptr<host::Shape> TopLevel(Ptr<host::Shape> s) {
  while (auto p = s->ParentGroup()) s = p;
  return s;
}

class SelectionImpl : public host::Selection {
 public:
  explicit SelectionImpl(std::shared_ptr<WindowImpl> w) : mWin(std::move(w)) {}
  SelState& S() {
    mWin->Check();
    return mWin->sel;
  }
  int Type() override { return S().type; }
  Ptr<host::SlideRange> SlideRange() override {
    SelState& s = S();
    auto doc = mWin->Doc();
    if (s.type == ppSelectionSlides) return MakeSlideRange(doc, s.slideIds);
    int v = mWin->viewType;
    bool shows = v == ppViewNormal || v == ppViewOutline || v == ppViewSlide || v == ppViewNotesPage;
    if (s.type == ppSelectionNone && (!shows || mWin->PaneViewType(mWin->activePane) == ppViewThumbnails))
      throw platform::ComError(E_FAIL, L"Nothing appropriate is currently selected.");
    if (mWin->CurrentIndex() == 0) throw platform::ComError(E_FAIL, L"The presentation has no slides.");
    return MakeSlideRange(doc, {mWin->currentSlideId});
  }
  Ptr<host::ShapeRange> ShapeRange() override {
    SelState& s = S();
    if (s.type == ppSelectionText) return MakeShapeRange({s.textShape});
    if (s.type != ppSelectionShapes) throw platform::ComError(E_FAIL, L"Nothing appropriate is currently selected.");
    std::vector<Ptr<host::Shape>> out;
    for (auto& sh : s.shapes) {
      auto top = TopLevel(sh);
      if (std::none_of(out.begin(), out.end(), [&](auto& o) { return o->Identity() == top->Identity(); }))
        out.push_back(top);
    }
    return MakeShapeRange(out);
  }
  Ptr<host::TextRange> TextRange() override {
    SelState& s = S();
    if (s.type != ppSelectionText) throw platform::ComError(E_FAIL, L"Nothing appropriate is currently selected.");
    return MakeTextRange(s.owner)->Characters(s.start, s.length);
  }
  Ptr<host::TextRange2> TextRange2() override {
    SelState& s = S();
    if (s.type != ppSelectionText) throw platform::ComError(E_FAIL, L"Nothing appropriate is currently selected.");
    return MakeTextRange2(s.owner)->Characters(s.start, s.length);
  }
  bool HasChildShapeRange() override {
    SelState& s = S();
    if (s.type != ppSelectionShapes) return false;
    return std::any_of(s.shapes.begin(), s.shapes.end(), [](auto& sh) { return sh->ParentGroup() != nullptr; });
  }
  Ptr<host::ShapeRange> ChildShapeRange() override {
    if (!HasChildShapeRange()) throw platform::ComError(E_FAIL, L"No shapes inside a group are selected.");
    std::vector<Ptr<host::Shape>> out;
    for (auto& sh : S().shapes)
      if (sh->ParentGroup()) out.push_back(sh);
    return MakeShapeRange(out);
  }
  void Unselect() override { S() = SelState{}; }

 private:
  std::shared_ptr<WindowImpl> mWin;
};

class WindowsImpl : public host::DocumentWindows {
 public:
  explicit WindowsImpl(std::vector<std::shared_ptr<WindowImpl>> w) : mWins(std::move(w)) {}
  int Count() override { return static_cast<int>(mWins.size()); }
  Ptr<host::DocumentWindow> Item(int index) override {
    if (index < 1 || index > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The window index is out of range.");
    return mWins[index - 1];
  }
  void Arrange(int style) override;

 private:
  std::vector<std::shared_ptr<WindowImpl>> mWins;
};

class SlideShowWindowsImpl : public host::SlideShowWindows {
 public:
  explicit SlideShowWindowsImpl(std::shared_ptr<AppImpl> a) : mApp(std::move(a)) {}
  int Count() override;

 private:
  std::shared_ptr<AppImpl> mApp;
};

class PresentationsImpl;

class AppImpl : public host::Application, public AppState, public std::enable_shared_from_this<AppImpl> {
 public:
  ApplicationOptions options;
  std::vector<std::shared_ptr<PresentationImpl>> presentations;
  std::vector<std::shared_ptr<WindowImpl>> windows;
  std::weak_ptr<WindowImpl> active;
  // Presentations whose slide show runs; a show ends with its presentation.
  std::vector<std::weak_ptr<PresentationImpl>> shows;
  Ptr<host::CommandBars> bars;
  int untitledCounter = 0;
  int major = 16;

  float ScreenPoints(int px) const { return static_cast<float>(px) * 72.0f / static_cast<float>(options.dpi); }
  // The screen less the task bar, in points.
  float WorkWidth() const { return ScreenPoints(options.screenWidth); }
  float WorkHeight() const { return ScreenPoints(std::max(0, options.screenHeight - kTaskBarPixels)); }

  std::wstring Version() override { return options.version; }
  std::wstring Name() override { return L"Microsoft PowerPoint"; }
  Ptr<host::Presentations> Presentations() override;
  Ptr<host::Presentation> ActivePresentation() override {
    auto w = active.lock();
    if (!w) throw platform::ComError(E_FAIL, L"No presentation is currently active.");
    return w->pres;
  }
  Ptr<host::DocumentWindows> Windows() override { return std::make_shared<WindowsImpl>(windows); }
  Ptr<host::DocumentWindow> ActiveWindow() override {
    auto w = active.lock();
    if (!w) throw platform::ComError(E_FAIL, L"No document window is open.");
    return w;
  }
  Ptr<host::SlideShowWindows> SlideShowWindows() override {
    return std::make_shared<SlideShowWindowsImpl>(shared_from_this());
  }
  Ptr<host::CommandBars> CommandBars() override {
    if (!bars) bars = MakeCommandBars();
    return bars;
  }
  std::wstring Run(const std::wstring& name, const std::vector<std::wstring>& args) override {
    auto it = options.macros.find(name);
    if (it == options.macros.end())
      throw platform::ComError(
          DISP_E_MEMBERNOTFOUND,
          L"The macro \"" + name + L"\" cannot be found (macros run only when registered for this run).");
    return it->second(args);
  }

  std::shared_ptr<WindowImpl> NewWindow(const std::shared_ptr<PresentationImpl>& p) {
    auto w = std::make_shared<WindowImpl>();
    w->app = shared_from_this();
    w->pres = p;
    w->width = WorkWidth();
    w->height = WorkHeight();
    if (!p->doc->SlideList().empty()) w->currentSlideId = p->doc->SlideList()[0].id;
    windows.push_back(w);
    active = w;
    return w;
  }

  void RemoveWindow(WindowImpl* w) {
    w->closed = true;
    windows.erase(std::remove_if(windows.begin(), windows.end(), [&](auto& x) { return x.get() == w; }),
                  windows.end());
    if (active.expired() || active.lock().get() == w)
      active = windows.empty() ? std::weak_ptr<WindowImpl>() : std::weak_ptr<WindowImpl>(windows.back());
  }

  std::shared_ptr<WindowImpl> WindowOf(Document& doc) {
    for (auto& w : windows)
      if (w->pres->doc.get() == &doc) return w;
    throw platform::ComError(E_FAIL, L"No window shows this presentation.");
  }

  void SelectShapes(Document& doc, const SlideRef& slide, const std::vector<Ptr<host::Shape>>& shapes,
                    bool replace) override {
    auto w = WindowOf(doc);
    CheckShows(*w, slide);
    SelState& s = w->sel;
    if (replace || s.type != ppSelectionShapes) s = SelState{};
    s.type = ppSelectionShapes;
    for (auto& sh : shapes)
      if (std::none_of(s.shapes.begin(), s.shapes.end(), [&](auto& o) { return o->Identity() == sh->Identity(); }))
        s.shapes.push_back(sh);
  }
  void SelectText(Document& doc, const SlideRef& slide, const Ptr<host::Shape>& shape, const ShapeIdentity& textOf,
                  const std::shared_ptr<TextBodyOwner>& owner, int start, int length) override {
    auto w = WindowOf(doc);
    CheckShows(*w, slide);
    w->sel = SelState{};
    w->sel.type = ppSelectionText;
    w->sel.textShape = shape;
    w->sel.textOf = textOf;
    w->sel.owner = owner;
    w->sel.start = start;
    w->sel.length = length;
  }
  bool TextSelectedIn(Document& doc, const ShapeIdentity& textOf) override {
    return std::any_of(windows.begin(), windows.end(), [&](const std::shared_ptr<WindowImpl>& w) {
      return w->pres->doc.get() == &doc && w->sel.type == ppSelectionText && w->sel.textOf == textOf;
    });
  }
  void SelectSlides(Document& doc, const std::vector<int>& ids) override {
    auto w = WindowOf(doc);
    if (w->viewType != ppViewSlideSorter && !w->ThreePanes())
      throw platform::ComError(E_FAIL, L"Slides can be selected only in normal or slide sorter view.");
    if (w->ThreePanes()) {
      w->activePane = 1;
      if (!ids.empty()) w->currentSlideId = ids.front();
    }
    w->sel = SelState{};
    w->sel.type = ids.empty() ? ppSelectionNone : ppSelectionSlides;
    w->sel.slideIds = ids;
  }
  void Forget(Document& doc) override {
    for (auto& w : windows)
      if (w->pres->doc.get() == &doc) w->sel = SelState{};
  }

  // Selecting on a slide needs a view that shows it.
  void CheckShows(WindowImpl& w, const SlideRef& slide) {
    int v = w.viewType;
    if (slide.notes) {
      if (v != ppViewNotesPage && v != ppViewNormal && v != ppViewOutline)
        throw platform::ComError(E_FAIL, L"The notes page is not shown in the window; switch to the notes page view.");
    } else if (v != ppViewNormal && v != ppViewSlide) {
      if (v != ppViewOutline) throw platform::ComError(E_FAIL, L"Shapes can be selected only in normal view.");
    }
    w.CurrentIndex();
    if (w.currentSlideId != slide.slideId)
      throw platform::ComError(E_FAIL, L"The shape is not on the slide shown in the window; go to its slide first.");
    if (w.ThreePanes()) w.activePane = slide.notes ? 3 : 2;
  }
};

void WindowImpl::SetViewType(int v) {
  Check();
  if (v < ppViewSlide || v > ppViewMasterThumbnails) throw platform::ComError(E_INVALIDARG, L"Invalid view type.");
  switch (v) {
    // Slide view and the thumbnails are normal view with that pane active.
    case ppViewSlide:
    case ppViewNormal:
    case ppViewThumbnails:
      viewType = ppViewNormal;
      leftPane = ppViewThumbnails;
      activePane = v == ppViewThumbnails ? 1 : 2;
      break;
    // Before version 15 the outline is a tab of normal view's first pane;
    // from 15 on it is a view of its own with the same three panes.
    case ppViewOutline:
      viewType = App()->major >= 15 ? ppViewOutline : ppViewNormal;
      leftPane = ppViewOutline;
      activePane = 1;
      break;
    default:
      viewType = v;
      activePane = 1;
  }
  sel = SelState{};
}
float WindowImpl::Left() {
  Check();
  return state == ppWindowMaximized ? 0.0f : left;
}
float WindowImpl::Top() {
  Check();
  return state == ppWindowMaximized ? 0.0f : top;
}
float WindowImpl::Width() {
  Check();
  return state == ppWindowMaximized ? App()->WorkWidth() : width;
}
float WindowImpl::Height() {
  Check();
  return state == ppWindowMaximized ? App()->WorkHeight() : height;
}

void WindowsImpl::Arrange(int style) {
  if (style != ppArrangeTiled && style != ppArrangeCascade)
    throw platform::ComError(E_INVALIDARG, L"Invalid arrange style.");
  if (mWins.empty()) return;
  auto app = mWins.front()->App();
  float w = app->WorkWidth(), h = app->WorkHeight();
  auto n = static_cast<float>(mWins.size());
  for (std::size_t i = 0; i < mWins.size(); ++i) {
    WindowImpl& win = *mWins[i];
    win.Check();
    win.state = ppWindowNormal;
    auto k = static_cast<float>(i);
    if (style == ppArrangeTiled) {
      win.left = w * k / n;
      win.top = 0;
      win.width = w / n;
      win.height = h;
    } else {
      // Each window a title bar lower and to the right of the one before.
      constexpr float kStep = 22.5f;
      win.left = win.top = kStep * k;
      win.width = std::max(0.0f, w * 0.75f);
      win.height = std::max(0.0f, h * 0.75f);
    }
  }
}

int SlideShowWindowsImpl::Count() {
  int n = 0;
  for (auto& p : mApp->shows)
    if (auto pres = p.lock(); pres && !pres->doc->Closed()) ++n;
  return n;
}

void WindowImpl::Check() {
  if (closed) throw platform::ComError(E_FAIL, L"The window has been closed.");
  pres->Check();
}
std::shared_ptr<Document> WindowImpl::Doc() { return pres->doc; }
std::shared_ptr<AppImpl> WindowImpl::App() {
  auto a = app.lock();
  if (!a) throw platform::ComError(E_FAIL, L"The application has ended.");
  return a;
}
Ptr<host::Pane> WindowImpl::ActivePane() {
  Check();
  return std::make_shared<PaneImpl>(shared_from_this(), activePane);
}
Ptr<host::Panes> WindowImpl::Panes() {
  Check();
  return std::make_shared<PanesImpl>(shared_from_this());
}
Ptr<host::Selection> WindowImpl::Selection() {
  Check();
  return std::make_shared<SelectionImpl>(shared_from_this());
}
Ptr<host::View> WindowImpl::View() {
  Check();
  return std::make_shared<ViewImpl>(shared_from_this());
}
Ptr<host::Presentation> WindowImpl::Presentation() {
  Check();
  return pres;
}
std::wstring WindowImpl::Caption() {
  Check();
  return pres->Name();
}
bool WindowImpl::Active() {
  Check();
  return App()->active.lock().get() == this;
}
void WindowImpl::Activate() {
  Check();
  App()->active = shared_from_this();
}
void WindowImpl::Close() {
  Check();
  auto a = App();
  int mine = 0;
  for (auto& w : a->windows)
    if (w->pres == pres) ++mine;
  // Closing the last window of a presentation closes the presentation.
  if (mine <= 1)
    pres->Close();
  else
    a->RemoveWindow(this);
}

Ptr<host::DocumentWindows> PresentationImpl::Windows() {
  Check();
  std::vector<std::shared_ptr<WindowImpl>> mine;
  if (auto a = app.lock())
    for (auto& w : a->windows)
      if (w->pres.get() == this) mine.push_back(w);
  return std::make_shared<WindowsImpl>(std::move(mine));
}

void PresentationImpl::Close() {
  Check();
  auto a = app.lock();
  doc->SetClosed();
  if (!a) return;
  std::vector<WindowImpl*> mine;
  for (auto& w : a->windows)
    if (w->pres.get() == this) mine.push_back(w.get());
  for (auto* w : mine) a->RemoveWindow(w);
  a->presentations.erase(
      std::remove_if(a->presentations.begin(), a->presentations.end(), [&](auto& p) { return p.get() == this; }),
      a->presentations.end());
}

Ptr<host::DocumentWindow> PresentationImpl::NewWindow() {
  Check();
  auto a = app.lock();
  if (!a) throw platform::ComError(E_FAIL, L"The application has ended.");
  return a->NewWindow(shared_from_this());
}

class PresentationsImpl : public host::Presentations {
 public:
  explicit PresentationsImpl(std::shared_ptr<AppImpl> a) : mApp(std::move(a)) {}
  int Count() override { return static_cast<int>(mApp->presentations.size()); }
  Ptr<host::Presentation> Item(int index) override {
    if (index < 1 || index > Count())
      throw platform::ComError(DISP_E_BADINDEX, L"The presentation index is out of range.");
    return mApp->presentations[index - 1];
  }
  Ptr<host::Presentation> Open(const std::wstring& fileName, bool readOnly, bool untitled, bool withWindow) override {
    std::filesystem::path path = std::filesystem::absolute(platform::ToUtf8(fileName));
    auto p = std::make_shared<PresentationImpl>();
    p->doc = Document::Open(path, mApp->options.limits);
    p->doc->App = std::static_pointer_cast<AppState>(mApp);
    p->app = mApp;
    p->readOnly = readOnly;
    if (untitled)
      p->untitledName = L"Presentation" + std::to_wstring(++mApp->untitledCounter);
    else
      p->file = path;
    pugi::xml_node pres = p->doc->Pkg().Xml(p->doc->PresentationPart()).document_element();
    p->locked = static_cast<bool>(Child(pres, "modifyVerifier"));
    mApp->presentations.push_back(p);
    if (withWindow) mApp->NewWindow(p);
    return p;
  }
  Ptr<host::Presentation> Add(bool withWindow) override {
    auto p = std::make_shared<PresentationImpl>();
    p->doc = Document::CreateEmpty();
    p->doc->App = std::static_pointer_cast<AppState>(mApp);
    p->app = mApp;
    p->untitledName = L"Presentation" + std::to_wstring(++mApp->untitledCounter);
    // A new presentation has never been saved, so it is not "saved" either.
    p->doc->SetChanged();
    mApp->presentations.push_back(p);
    if (withWindow) mApp->NewWindow(p);
    return p;
  }

 private:
  std::shared_ptr<AppImpl> mApp;
};

Ptr<host::Presentations> AppImpl::Presentations() { return std::make_shared<PresentationsImpl>(shared_from_this()); }

}  // namespace

int VersionNumber(const std::wstring& version) {
  int major = 0;
  std::size_t i = 0;
  for (; i < version.size() && i < 3 && version[i] >= L'0' && version[i] <= L'9'; ++i)
    major = major * 10 + (version[i] - L'0');
  bool rest = i == version.size() || version[i] == L'.';
  // There never was a version 13.
  if (i == 0 || !rest || major < 11 || major > 16 || major == 13) return 0;
  return major;
}

Ptr<host::Application> CreateApplication(ApplicationOptions options) {
  if (options.dpi <= 0 || options.screenWidth <= 0 || options.screenHeight <= 0)
    throw platform::ComError(E_INVALIDARG, L"The virtual screen needs a positive size and resolution.");
  int major = VersionNumber(options.version);
  if (!major)
    throw platform::ComError(
        E_INVALIDARG, L"The host version \"" + options.version + L"\" is not one of 11.0, 12.0, 14.0, 15.0 and 16.0.");
  auto a = std::make_shared<AppImpl>();
  a->options = std::move(options);
  a->major = major;
  return a;
}

std::string MainContentType(const Ptr<host::Presentation>& presentation) {
  auto pres = std::dynamic_pointer_cast<PresentationImpl>(presentation);
  if (!pres) return {};
  pres->Check();
  return pres->doc->Pkg().ContentType(pres->doc->PresentationPart());
}

void RunSlideShow(const Ptr<host::Application>& application, const Ptr<host::Presentation>& presentation) {
  auto app = std::dynamic_pointer_cast<AppImpl>(application);
  auto pres = std::dynamic_pointer_cast<PresentationImpl>(presentation);
  if (!app || !pres || pres->app.lock() != app)
    throw platform::ComError(E_INVALIDARG, L"The presentation does not belong to this application.");
  pres->Check();
  if (pres->doc->SlideList().empty())
    throw platform::ComError(E_FAIL, L"A presentation without slides cannot be shown.");
  app->shows.push_back(pres);
}

void EndSlideShows(const Ptr<host::Application>& application) {
  if (auto app = std::dynamic_pointer_cast<AppImpl>(application)) app->shows.clear();
}

}  // namespace host::pptx
