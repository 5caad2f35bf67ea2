// The Office command bars and the click events their buttons raise through
// connection points.
#include <ocidl.h>
#include <olectl.h>

#include <atomic>

#include "src/host/dispatch/DispatchModel.h"
#include "src/platform/win32/Bitmaps.h"
#include "src/platform/win32/ComOwners.h"

namespace host::dispatch {

namespace {

// The event interfaces of buttons and of combo boxes (and dropdowns).
const IID kButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kComboBoxEvents = {0x000C0354, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// Click (buttons) and Change (combo boxes) both come as the first event.
constexpr DISPID kFirstEvent = 1;

// A dispinterface sink that hands the host's event to the add-in's sink.
// The host holds it between Advise and Unadvise; it holds only the
// add-in's sink, never a host object.
std::atomic<long> gLiveEventSinks{0};

class EventSink final : public platform::win::ComObject<EventSink, IDispatch> {
 public:
  EventSink(Ptr<host::CommandBarButtonEvents> sink, IID events) : mSink(std::move(sink)), mEvents(events) {
    ++gLiveEventSinks;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Answer(iid == IID_IUnknown || iid == IID_IDispatch || iid == mEvents, out);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id != kFirstEvent || !params || params->cArgs < 1) return S_OK;
    // Arguments come last first: Click(Ctrl, CancelDefault), Change(Ctrl).
    const UINT ctrlAt = params->cArgs - 1;
    VARIANT* cancel = params->cArgs >= 2 ? &params->rgvarg[0] : nullptr;
    try {
      Variant ctrl;
      VariantCopyInd(ctrl.get(), &params->rgvarg[ctrlAt]);
      auto object = ctrl.Object();
      Ptr<host::CommandBarControl> control = object ? MakeControl(object.Get()) : nullptr;
      bool cancelDefault = cancel && cancel->vt == (VT_BOOL | VT_BYREF) && cancel->pboolVal &&
                           *cancel->pboolVal != VARIANT_FALSE;
      mSink->Click(control, cancelDefault);
      if (cancel && cancel->vt == (VT_BOOL | VT_BYREF) && cancel->pboolVal)
        *cancel->pboolVal = cancelDefault ? VARIANT_TRUE : VARIANT_FALSE;
    } catch (const std::exception&) {
      // The host cannot take an exception; the sink reports its own failures.
    }
    return S_OK;
  }

 private:
  friend class platform::win::ComObject<EventSink, IDispatch>;
  ~EventSink() { --gLiveEventSinks; }
  Ptr<host::CommandBarButtonEvents> mSink;
  IID mEvents;
};

class DCommandBar;

class DControls : public host::CommandBarControls, Base {
 public:
  explicit DControls(IDispatch* o) : Base(o, "CommandBarControls") {}
  int Count() override { return GetInt(L"Count"); }
  Ptr<host::CommandBarControl> Item(int index) override { return Control(d->Get(L"Item", {index})); }
  Ptr<host::CommandBarControl> Add(int type, int id, const std::wstring& parameter, int before,
                                   bool temporary) override {
    return Control(d->Call(L"Add", {type, Optional(id), Optional(parameter), Optional(before), temporary}));
  }

  static Ptr<host::CommandBarControl> Control(const Variant& v) {
    auto object = v.Object();
    if (!object) return nullptr;
    auto made = MakeControl(object.Get());
    return made;
  }
};

// A bitmap handle that deletes itself.
struct Bitmap {
  HBITMAP handle = nullptr;
  ~Bitmap() {
    if (handle) DeleteObject(handle);
  }
};

class DControl : public host::CommandBarControl, Base {
 public:
  explicit DControl(IDispatch* o) : Base(o, "CommandBarControl") {}
  const void* Identity() override {
    // COM identity: every reference to one object answers the same IUnknown.
    platform::win::ComPtr<IUnknown> unknown;
    if (FAILED(d->get()->QueryInterface(IID_IUnknown, unknown.OutVoid()))) return d->get();
    return unknown.Get();
  }
  int Type() override { return GetInt(L"Type"); }
  int Id() override { return GetInt(L"Id"); }
  int Index() override { return GetInt(L"Index"); }
  bool BuiltIn() override { return GetBool(L"BuiltIn"); }
  Ptr<host::CommandBar> Parent() override;
  std::wstring Caption() override { return GetString(L"Caption"); }
  void SetCaption(const std::wstring& v) override { Set(L"Caption", v); }
  std::wstring Tag() override { return GetString(L"Tag"); }
  void SetTag(const std::wstring& v) override { Set(L"Tag", v); }
  std::wstring TooltipText() override { return GetString(L"TooltipText"); }
  void SetTooltipText(const std::wstring& v) override { Set(L"TooltipText", v); }
  std::wstring Parameter() override { return GetString(L"Parameter"); }
  void SetParameter(const std::wstring& v) override { Set(L"Parameter", v); }
  std::wstring OnAction() override { return GetString(L"OnAction"); }
  void SetOnAction(const std::wstring& v) override { Set(L"OnAction", v); }
  std::wstring ShortcutText() override { return GetString(L"ShortcutText"); }
  void SetShortcutText(const std::wstring& v) override { Set(L"ShortcutText", v); }
  bool BeginGroup() override { return GetBool(L"BeginGroup"); }
  void SetBeginGroup(bool v) override { Set(L"BeginGroup", v); }
  bool Visible() override { return GetBool(L"Visible"); }
  void SetVisible(bool v) override { Set(L"Visible", v); }
  bool Enabled() override { return GetBool(L"Enabled"); }
  void SetEnabled(bool v) override { Set(L"Enabled", v); }
  int Priority() override { return GetInt(L"Priority"); }
  void SetPriority(int v) override { Set(L"Priority", v); }
  int OLEUsage() override { return GetInt(L"OLEUsage"); }
  void SetOLEUsage(int v) override { Set(L"OLEUsage", v); }
  int Left() override { return GetInt(L"Left"); }
  int Top() override { return GetInt(L"Top"); }
  int Width() override { return GetInt(L"Width"); }
  int Height() override { return GetInt(L"Height"); }
  void SetWidth(int v) override { Set(L"Width", v); }
  void SetHeight(int v) override { Set(L"Height", v); }
  int Style() override { return GetInt(L"Style"); }
  void SetStyle(int v) override { Set(L"Style", v); }
  int State() override { return GetInt(L"State"); }
  void SetState(int v) override { Set(L"State", v); }
  int FaceId() override { return GetInt(L"FaceId"); }
  void SetFaceId(int v) override { Set(L"FaceId", v); }
  void SetPicture(const ButtonPicture& picture) override { SetFace(L"Picture", picture); }
  void SetMask(const ButtonPicture& mask) override { SetFace(L"Mask", mask); }
  ButtonPicture Picture() override { return Face(L"Picture"); }
  ButtonPicture Mask() override { return Face(L"Mask"); }
  void PasteFace() override { Do(L"PasteFace"); }
  Ptr<host::CommandBarControls> Controls() override { return Wrap<DControls>(d->Get(L"Controls")); }

  std::uint32_t Advise(const Ptr<host::CommandBarButtonEvents>& sink) override {
    platform::win::ComPtr<IConnectionPoint> point = Point();
    auto events = platform::win::ComPtr<EventSink>::Adopt(new EventSink(sink, EventsOf()));
    DWORD cookie = 0;
    HRESULT hr = point->Advise(events.Get(), &cookie);
    if (FAILED(hr)) throw platform::ComError(hr, L"the control refused the event sink");
    return cookie;
  }
  void Unadvise(std::uint32_t cookie) override {
    HRESULT hr = Point()->Unadvise(cookie);
    if (FAILED(hr)) throw platform::ComError(kNotFound, L"no event sink is connected with that cookie");
  }
  void Execute() override { Do(L"Execute"); }
  void Delete(bool temporary) override { Do(L"Delete", {temporary}); }

 private:
  IID EventsOf() {
    const int type = Type();
    return type == msoControlComboBox || type == msoControlDropdown || type == msoControlEdit ? kComboBoxEvents
                                                                                              : kButtonEvents;
  }
  // The connection point of this control's events.
  platform::win::ComPtr<IConnectionPoint> Point() {
    platform::win::ComPtr<IConnectionPointContainer> container;
    HRESULT hr = d->get()->QueryInterface(IID_IConnectionPointContainer, container.OutVoid());
    if (FAILED(hr) || !container) throw platform::ComError(kNoSuchMember, L"the control raises no events");
    platform::win::ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(EventsOf(), point.Out());
    if (FAILED(hr) || !point) throw platform::ComError(kNoSuchMember, L"the control raises no such events");
    return point;
  }

  void SetFace(const wchar_t* name, const ButtonPicture& picture) {
    platform::win::ComPtr<IDispatch> face;
    const HRESULT hr = platform::win::MakePictureObject(picture, face.Out());
    if (hr == E_INVALIDARG) throw platform::ComError(kNotFound, L"the button face has no pixels");
    if (FAILED(hr)) throw platform::ComError(hr, L"the button face could not be made");
    Set(name, Variant(face.Get()));
  }

  ButtonPicture Face(const wchar_t* name) {
    Variant value = d->Get(name);
    auto object = value.Object();
    ButtonPicture picture;
    if (!object) return picture;
    const HRESULT hr = platform::win::PictureObjectPixels(object.Get(), &picture);
    if (hr == E_NOINTERFACE) throw platform::ComError(kNotAvailable, L"the button face is not a picture");
    if (FAILED(hr)) throw platform::ComError(kNotAvailable, L"the button face could not be read");
    return picture;
  }
};

class DCommandBar : public host::CommandBar, Base {
 public:
  explicit DCommandBar(IDispatch* o) : Base(o, "CommandBar") {}
  std::wstring Name() override { return GetString(L"Name"); }
  std::wstring NameLocal() override { return GetString(L"NameLocal"); }
  int Type() override { return GetInt(L"Type"); }
  bool BuiltIn() override { return GetBool(L"BuiltIn"); }
  int Index() override { return GetInt(L"Index"); }
  Ptr<host::CommandBarControls> Controls() override { return Wrap<DControls>(d->Get(L"Controls")); }
  Ptr<host::CommandBarControl> FindControl(int type, int id, const std::wstring& tag, bool visibleOnly,
                                           bool recursive) override {
    return DControls::Control(
        d->Call(L"FindControl", {Optional(type), Optional(id), Optional(tag), visibleOnly, recursive}));
  }
  bool Visible() override { return GetBool(L"Visible"); }
  void SetVisible(bool v) override { Set(L"Visible", v); }
  bool Enabled() override { return GetBool(L"Enabled"); }
  void SetEnabled(bool v) override { Set(L"Enabled", v); }
  int Position() override { return GetInt(L"Position"); }
  void SetPosition(int v) override { Set(L"Position", v); }
  int Left() override { return GetInt(L"Left"); }
  int Top() override { return GetInt(L"Top"); }
  int Width() override { return GetInt(L"Width"); }
  int Height() override { return GetInt(L"Height"); }
  int RowIndex() override { return GetInt(L"RowIndex"); }
  void SetLeft(int v) override { Set(L"Left", v); }
  void SetTop(int v) override { Set(L"Top", v); }
  void SetWidth(int v) override { Set(L"Width", v); }
  void SetHeight(int v) override { Set(L"Height", v); }
  void SetRowIndex(int v) override { Set(L"RowIndex", v); }
  void Delete() override { Do(L"Delete"); }
};

Ptr<host::CommandBar> DControl::Parent() { return Wrap<DCommandBar>(d->Get(L"Parent")); }

class DCommandBars : public host::CommandBars, Base {
 public:
  explicit DCommandBars(IDispatch* o) : Base(o, "CommandBars") {}
  int Count() override { return GetInt(L"Count"); }
  Ptr<host::CommandBar> Item(int index) override { return Wrap<DCommandBar>(d->Get(L"Item", {index})); }
  Ptr<host::CommandBar> Item(const std::wstring& name) override {
    return Wrap<DCommandBar>(d->Get(L"Item", {name}));
  }
  Ptr<host::CommandBar> Add(const std::wstring& name, int position, bool menuBar, bool temporary) override {
    return Wrap<DCommandBar>(d->Call(L"Add", {name, position, menuBar, temporary}));
  }
  Ptr<host::CommandBarControl> FindControl(int type, int id, const std::wstring& tag, bool visibleOnly) override {
    return DControls::Control(d->Call(L"FindControl", {Optional(type), Optional(id), Optional(tag), visibleOnly}));
  }
  std::vector<Ptr<host::CommandBarControl>> FindControls(int type, int id, const std::wstring& tag) override {
    std::vector<Ptr<host::CommandBarControl>> found;
    // Nothing found comes back as Nothing, not as an empty collection.
    auto controls = Wrap<DControls>(d->Call(L"FindControls", {Optional(type), Optional(id), Optional(tag)}));
    if (!controls) return found;
    const int count = controls->Count();
    for (int i = 1; i <= count; ++i) found.push_back(controls->Item(i));
    return found;
  }
};

}  // namespace

Ptr<host::CommandBars> MakeCommandBars(IDispatch* bars) { return std::make_shared<DCommandBars>(bars); }
Ptr<host::CommandBarControl> MakeControl(IDispatch* control) { return std::make_shared<DControl>(control); }

long LiveEventSinks() { return gLiveEventSinks.load(); }

}  // namespace host::dispatch
