// The application, presentations, windows, views and the selection.
#include "src/host/dispatch/DispatchHost.h"
#include "src/host/dispatch/DispatchModel.h"

#include <oleauto.h>

namespace host::dispatch {

namespace {

class DSlideShowWindows : public host::SlideShowWindows, Base {
 public:
  explicit DSlideShowWindows(IDispatch* o) : Base(o, "SlideShowWindows") {}
  int Count() override { return GetInt(L"Count"); }
};

class DPane : public host::Pane, Base {
 public:
  explicit DPane(IDispatch* o) : Base(o, "Pane") {}
  int ViewType() override { return GetInt(L"ViewType"); }
  bool Active() override { return GetBool(L"Active"); }
  void Activate() override { Do(L"Activate"); }
};

class DPanes : public Collection<host::Panes, DPane> {
 public:
  explicit DPanes(IDispatch* o) : Collection(o, "Panes") {}
};

class DView : public host::View, Base {
 public:
  explicit DView(IDispatch* o) : Base(o, "View") {}
  int Type() override { return GetInt(L"Type"); }
  Ptr<host::Slide> Slide() override { return MakeSlide(d->Get(L"Slide")); }
  void GotoSlide(int index) override { Do(L"GotoSlide", {index}); }
  int Zoom() override { return GetInt(L"Zoom"); }
  void SetZoom(int percent) override { Set(L"Zoom", percent); }
};

class DSelection : public host::Selection, Base {
 public:
  explicit DSelection(IDispatch* o) : Base(o, "Selection") {}
  int Type() override { return GetInt(L"Type"); }
  Ptr<host::SlideRange> SlideRange() override { return MakeSlideRange(d->Get(L"SlideRange")); }
  Ptr<host::ShapeRange> ShapeRange() override { return MakeShapeRange(d->Get(L"ShapeRange"), {}); }
  Ptr<host::TextRange> TextRange() override { return MakeTextRange(d->Get(L"TextRange")); }
  Ptr<host::TextRange2> TextRange2() override { return MakeTextRange2(d->Get(L"TextRange2"), {d, false}); }
  bool HasChildShapeRange() override { return GetBool(L"HasChildShapeRange"); }
  Ptr<host::ShapeRange> ChildShapeRange() override { return MakeShapeRange(d->Get(L"ChildShapeRange"), {}); }
  void Unselect() override { Do(L"Unselect"); }
};

class DDocumentWindow : public host::DocumentWindow, Base {
 public:
  explicit DDocumentWindow(IDispatch* o) : Base(o, "DocumentWindow") {}
  int ViewType() override { return GetInt(L"ViewType"); }
  void SetViewType(int viewType) override { Set(L"ViewType", viewType); }
  Ptr<host::Pane> ActivePane() override { return Wrap<DPane>(d->Get(L"ActivePane")); }
  Ptr<host::Panes> Panes() override { return Wrap<DPanes>(d->Get(L"Panes")); }
  Ptr<host::Selection> Selection() override { return Wrap<DSelection>(d->Get(L"Selection")); }
  Ptr<host::View> View() override { return Wrap<DView>(d->Get(L"View")); }
  Ptr<host::Presentation> Presentation() override { return MakePresentation(d->Get(L"Presentation")); }
  std::wstring Caption() override { return GetString(L"Caption"); }
  bool Active() override { return GetBool(L"Active"); }
  void Activate() override { Do(L"Activate"); }
  int WindowState() override { return GetInt(L"WindowState"); }
  void SetWindowState(int state) override { Set(L"WindowState", state); }
  float Left() override { return GetFloat(L"Left"); }
  float Top() override { return GetFloat(L"Top"); }
  float Width() override { return GetFloat(L"Width"); }
  float Height() override { return GetFloat(L"Height"); }
  void SetLeft(float v) override { Set(L"Left", v); }
  void SetTop(float v) override { Set(L"Top", v); }
  void SetWidth(float v) override { Set(L"Width", v); }
  void SetHeight(float v) override { Set(L"Height", v); }
  void Close() override { Do(L"Close"); }
};

class DDocumentWindows : public Collection<host::DocumentWindows, DDocumentWindow> {
 public:
  explicit DDocumentWindows(IDispatch* o) : Collection(o, "DocumentWindows") {}
  void Arrange(int arrangeStyle) override { Do(L"Arrange", {arrangeStyle}); }
};

class DPresentation : public host::Presentation, Base {
 public:
  explicit DPresentation(IDispatch* o) : Base(o, "Presentation") {}
  std::wstring Name() override { return GetString(L"Name"); }
  std::wstring FullName() override { return GetString(L"FullName"); }
  std::wstring Path() override { return GetString(L"Path"); }
  bool IsEmbedded() override {
    // A stand-alone presentation's Container raises; an embedded one
    // answers its container document.
    try {
      return d->Get(L"Container").ref().vt == VT_DISPATCH;
    } catch (const platform::ComError&) {
      return false;
    }
  }
  bool Saved() override { return GetBool(L"Saved"); }
  void SetSaved(bool saved) override { Set(L"Saved", TriState(saved)); }
  bool Final() override { return GetBool(L"Final"); }
  void SetFinal(bool final) override { Set(L"Final", final); }
  bool ReadOnly() override { return GetBool(L"ReadOnly"); }
  float SlideWidth() override { return PageSetup(L"SlideWidth"); }
  float SlideHeight() override { return PageSetup(L"SlideHeight"); }
  Ptr<host::DocumentWindows> Windows() override { return Wrap<DDocumentWindows>(d->Get(L"Windows")); }
  Ptr<host::Slides> Slides() override { return MakeSlides(d->Get(L"Slides")); }
  Ptr<host::Master> SlideMaster() override { return MakeMaster(d->Get(L"SlideMaster")); }
  Ptr<host::Designs> Designs() override { return MakeDesigns(d->Get(L"Designs")); }
  void Save() override { Do(L"Save"); }
  void SaveAs(const std::wstring& fileName, int fileFormat) override { Do(L"SaveAs", {fileName, fileFormat}); }
  void SaveCopyAs(const std::wstring& fileName, int fileFormat, bool embedTrueTypeFonts) override {
    Do(L"SaveCopyAs", {fileName, fileFormat, TriState(embedTrueTypeFonts)});
  }
  void Close() override { Do(L"Close"); }
  Ptr<host::DocumentWindow> NewWindow() override { return Wrap<DDocumentWindow>(d->Call(L"NewWindow")); }

 private:
  // The slide size lives on the presentation's page setup.
  float PageSetup(const wchar_t* name) {
    Variant setup = d->Get(L"PageSetup");
    auto object = setup.Object();
    if (!object) throw platform::ComError(kNotAvailable, L"the presentation has no page setup");
    Dispatch page(object.Get(), "PageSetup");
    return static_cast<float>(page.Get(name).Double());
  }
};

class DPresentations : public Collection<host::Presentations, DPresentation> {
 public:
  explicit DPresentations(IDispatch* o) : Collection(o, "Presentations") {}
  Ptr<host::Presentation> Open(const std::wstring& fileName, bool readOnly, bool untitled, bool withWindow) override {
    return Wrap<DPresentation>(
        d->Call(L"Open", {fileName, TriState(readOnly), TriState(untitled), TriState(withWindow)}));
  }
  Ptr<host::Presentation> Add(bool withWindow) override {
    return Wrap<DPresentation>(d->Call(L"Add", {TriState(withWindow)}));
  }
};

class DApplication : public host::Application, Base {
 public:
  explicit DApplication(IDispatch* o) : Base(o, "Application") {}
  std::wstring Version() override { return GetString(L"Version"); }
  std::wstring Name() override { return GetString(L"Name"); }
  Ptr<host::Presentations> Presentations() override { return Wrap<DPresentations>(d->Get(L"Presentations")); }
  Ptr<host::Presentation> ActivePresentation() override {
    return Wrap<DPresentation>(d->Get(L"ActivePresentation"));
  }
  Ptr<host::DocumentWindows> Windows() override { return Wrap<DDocumentWindows>(d->Get(L"Windows")); }
  Ptr<host::DocumentWindow> ActiveWindow() override { return Wrap<DDocumentWindow>(d->Get(L"ActiveWindow")); }
  Ptr<host::SlideShowWindows> SlideShowWindows() override {
    return Wrap<DSlideShowWindows>(d->Get(L"SlideShowWindows"));
  }
  Ptr<host::CommandBars> CommandBars() override {
    Variant bars = d->Get(L"CommandBars");
    auto object = bars.Object();
    if (!object) throw platform::ComError(kNotAvailable, L"the host has no command bars");
    auto made = MakeCommandBars(object.Get());
    return made;
  }
  std::wstring Run(const std::wstring& macroName, const std::vector<std::wstring>& args) override {
    std::vector<Variant> all{macroName};
    for (const auto& a : args) all.emplace_back(a);
    return d->Call(L"Run", all).String();
  }
};

}  // namespace

Ptr<host::Presentation> MakePresentation(const Variant& v) { return Wrap<DPresentation>(v); }

Ptr<host::Application> MakeApplication(IDispatch* application) {
  if (!application) return nullptr;
  return std::make_shared<DApplication>(application);
}

Ptr<host::Application> RunningApplication() {
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(L"PowerPoint.Application", &clsid))) return nullptr;
  platform::win::ComPtr<IUnknown> running;
  if (FAILED(GetActiveObject(clsid, /*pvReserved=*/nullptr, running.Out())) || !running) return nullptr;
  // PowerPoint's _Application is dual: its IDispatch is what the calls take.
  // A host object that does not name that interface still answers by name.
  const IID application = {0x91493442, 0x5A91, 0x11CF, {0x87, 0x00, 0x00, 0xAA, 0x00, 0x60, 0x26, 0x3B}};
  platform::win::ComPtr<IDispatch> dispatch;
  if (FAILED(running.As(application, &dispatch)) || !dispatch) running.As(IID_IDispatch, &dispatch);
  if (!dispatch) return nullptr;
  Ptr<host::Application> found = MakeApplication(dispatch.Get());
  return found;
}

}  // namespace host::dispatch
