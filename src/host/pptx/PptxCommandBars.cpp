#include <algorithm>
#include <map>

#include "src/host/pptx/PptxModel.h"
#include "src/platform/Clipboard.h"

namespace host::pptx {

namespace {

class BarImpl;
class ControlImpl;
class BarsImpl;

[[noreturn]] void NotMember(const wchar_t* what) {
  throw platform::ComError(DISP_E_MEMBERNOTFOUND, std::wstring(what) + L" is not a member of this kind of control.");
}

class BarImpl : public host::CommandBar, public std::enable_shared_from_this<BarImpl> {
 public:
  std::wstring name;
  int type = msoBarTypeNormal;
  bool builtIn = false;
  bool visible = false;
  bool enabled = true;
  int position = msoBarTop;
  int left = 0, top = 0, width = -1, height = 26, rowIndex = 1;
  bool deleted = false;
  std::vector<std::shared_ptr<ControlImpl>> controls;
  std::weak_ptr<BarsImpl> bars;
  std::weak_ptr<ControlImpl> popupOwner;  // for the bar of a popup control

  void Check() {
    if (deleted) throw platform::ComError(E_FAIL, L"The command bar has been deleted.");
  }
  std::wstring Name() override { Check(); return name; }
  std::wstring NameLocal() override { Check(); return name; }
  int Type() override { Check(); return type; }
  bool BuiltIn() override { Check(); return builtIn; }
  int Index() override;
  Ptr<host::CommandBarControls> Controls() override;
  Ptr<host::CommandBarControl> FindControl(int type, int id, const std::wstring& tag, bool visibleOnly,
                                           bool recursive) override;
  bool Visible() override { Check(); return visible; }
  void SetVisible(bool v) override {
    Check();
    if (type == msoBarTypePopup) throw platform::ComError(E_FAIL, L"A popup bar is shown through its control.");
    visible = v;
  }
  bool Enabled() override { Check(); return enabled; }
  void SetEnabled(bool v) override { Check(); enabled = v; }
  int Position() override { Check(); return position; }
  void SetPosition(int v) override {
    Check();
    if (v < msoBarLeft || v > msoBarFloating) throw platform::ComError(E_INVALIDARG, L"Invalid command bar position.");
    if (type == msoBarTypeMenuBar && v == msoBarFloating)
      throw platform::ComError(E_FAIL, L"The menu bar cannot float.");
    position = v;
  }
  int Left() override { Check(); return left; }
  int Top() override { Check(); return top; }
  int Width() override;
  int Height() override { Check(); return height; }
  int RowIndex() override { Check(); return rowIndex; }
  void SetLeft(int v) override { Check(); left = v; }
  void SetTop(int v) override { Check(); top = v; }
  void SetWidth(int v) override {
    Check();
    if (v < 0) throw platform::ComError(E_INVALIDARG, L"The width cannot be negative.");
    width = v;
  }
  void SetHeight(int v) override {
    Check();
    if (v < 0) throw platform::ComError(E_INVALIDARG, L"The height cannot be negative.");
    height = v;
  }
  void SetRowIndex(int v) override {
    Check();
    if (v < 0) throw platform::ComError(E_INVALIDARG, L"Invalid row index.");
    rowIndex = v;
  }
  void Delete() override;
};

class ControlImpl : public host::CommandBarControl, public std::enable_shared_from_this<ControlImpl> {
 public:
  int type = msoControlButton;
  int id = 1;
  bool builtIn = false;
  bool temporary = false;
  std::weak_ptr<BarImpl> parent;
  std::shared_ptr<BarImpl> popupBar;  // popups own the bar of their items
  std::wstring caption, tag, tooltip, parameter, onAction, shortcut;
  bool beginGroup = false, visible = true, enabled = true;
  int priority = 3, oleUsage = msoControlOLEUsageBoth;
  int style = msoButtonAutomatic, state = msoButtonUp, faceId = 0;
  int width = -1, height = 22;
  ButtonPicture picture, mask;
  std::map<std::uint32_t, Ptr<host::CommandBarButtonEvents>> sinks;
  std::uint32_t nextCookie = 1;
  bool deleted = false;

  void Check() {
    if (deleted) throw platform::ComError(E_FAIL, L"The control has been deleted.");
  }
  bool IsButton() { return type == msoControlButton; }
  bool IsPopup() { return type == msoControlPopup; }
  std::shared_ptr<BarImpl> Bar() {
    auto b = parent.lock();
    if (!b || b->deleted) throw platform::ComError(E_FAIL, L"The control's command bar has been deleted.");
    return b;
  }

  const void* Identity() override { return this; }
  int Type() override { Check(); return type; }
  int Id() override { Check(); return id; }
  int Index() override {
    Check();
    auto b = Bar();
    for (std::size_t i = 0; i < b->controls.size(); ++i)
      if (b->controls[i].get() == this) return static_cast<int>(i + 1);
    return 0;
  }
  bool BuiltIn() override { Check(); return builtIn; }
  Ptr<host::CommandBar> Parent() override { Check(); return Bar(); }
  std::wstring Caption() override { Check(); return caption; }
  void SetCaption(const std::wstring& v) override { Check(); caption = v; }
  std::wstring Tag() override { Check(); return tag; }
  void SetTag(const std::wstring& v) override { Check(); tag = v; }
  std::wstring TooltipText() override { Check(); return tooltip; }
  void SetTooltipText(const std::wstring& v) override { Check(); tooltip = v; }
  std::wstring Parameter() override { Check(); return parameter; }
  void SetParameter(const std::wstring& v) override { Check(); parameter = v; }
  std::wstring OnAction() override { Check(); return onAction; }
  void SetOnAction(const std::wstring& v) override { Check(); onAction = v; }
  std::wstring ShortcutText() override {
    Check();
    if (!IsButton()) NotMember(L"ShortcutText");
    return shortcut;
  }
  void SetShortcutText(const std::wstring& v) override {
    Check();
    if (!IsButton()) NotMember(L"ShortcutText");
    shortcut = v;
  }
  bool BeginGroup() override { Check(); return beginGroup; }
  void SetBeginGroup(bool v) override { Check(); beginGroup = v; }
  bool Visible() override { Check(); return visible; }
  void SetVisible(bool v) override { Check(); visible = v; }
  bool Enabled() override { Check(); return enabled; }
  void SetEnabled(bool v) override { Check(); enabled = v; }
  int Priority() override { Check(); return priority; }
  void SetPriority(int v) override {
    Check();
    if (v < 0 || v > 7) throw platform::ComError(E_INVALIDARG, L"The priority must be 0 to 7.");
    priority = v;
  }
  int OLEUsage() override { Check(); return oleUsage; }
  void SetOLEUsage(int v) override {
    Check();
    if (v < msoControlOLEUsageNeither || v > msoControlOLEUsageBoth)
      throw platform::ComError(E_INVALIDARG, L"Invalid OLE usage.");
    oleUsage = v;
  }
  int NaturalWidth() {
    if (width >= 0) return width;
    bool icon = IsButton() && (style == msoButtonIcon || (style == msoButtonAutomatic && !picture.Empty()));
    if (icon) return 23;
    return 12 + 7 * static_cast<int>(caption.size()) + (IsPopup() ? 12 : 0);
  }
  int Left() override {
    Check();
    auto b = Bar();
    int x = b->left + 2;
    for (auto& c : b->controls) {
      if (c.get() == this) break;
      if (c->visible) x += c->NaturalWidth();
    }
    return x;
  }
  int Top() override { Check(); return Bar()->top + 2; }
  int Width() override { Check(); return NaturalWidth(); }
  int Height() override { Check(); return height; }
  void SetWidth(int v) override {
    Check();
    if (v < 0) throw platform::ComError(E_INVALIDARG, L"The width cannot be negative.");
    width = v;
  }
  void SetHeight(int v) override {
    Check();
    if (v < 0) throw platform::ComError(E_INVALIDARG, L"The height cannot be negative.");
    height = v;
  }
  int Style() override {
    Check();
    if (!IsButton()) NotMember(L"Style");
    return style;
  }
  void SetStyle(int v) override {
    Check();
    if (!IsButton()) NotMember(L"Style");
    if (v < msoButtonAutomatic || v > 15) throw platform::ComError(E_INVALIDARG, L"Invalid button style.");
    style = v;
  }
  int State() override {
    Check();
    if (!IsButton()) NotMember(L"State");
    return state;
  }
  void SetState(int v) override {
    Check();
    if (!IsButton()) NotMember(L"State");
    if (v != msoButtonUp && v != msoButtonDown && v != msoButtonMixed)
      throw platform::ComError(E_INVALIDARG, L"Invalid button state.");
    state = v;
  }
  int FaceId() override {
    Check();
    if (!IsButton()) NotMember(L"FaceId");
    return faceId;
  }
  void SetFaceId(int v) override {
    Check();
    if (!IsButton()) NotMember(L"FaceId");
    faceId = v;
  }
  void CheckPicture(const ButtonPicture& p) {
    if (p.Empty() || p.pixels.size() != static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height))
      throw platform::ComError(E_INVALIDARG, L"The picture is empty or its pixels do not match its size.");
  }
  void SetPicture(const ButtonPicture& p) override {
    Check();
    if (!IsButton()) NotMember(L"Picture");
    CheckPicture(p);
    picture = p;
  }
  void SetMask(const ButtonPicture& p) override {
    Check();
    if (!IsButton()) NotMember(L"Mask");
    CheckPicture(p);
    mask = p;
  }
  ButtonPicture Picture() override {
    Check();
    if (!IsButton()) NotMember(L"Picture");
    return picture;
  }
  ButtonPicture Mask() override {
    Check();
    if (!IsButton()) NotMember(L"Mask");
    return mask;
  }
  void PasteFace() override {
    Check();
    if (!IsButton()) NotMember(L"PasteFace");
    std::vector<platform::ClipboardEntry> entries;
    platform::Picture pasted;
    if (platform::ReadClipboard(&entries)) {
      for (const platform::ClipboardEntry& e : entries)
        if (e.format == platform::kCfDib && platform::PictureFromDib(e.data, &pasted)) break;
    }
    if (pasted.pixels.empty())
      throw platform::ComError(E_FAIL, L"There is no picture on the clipboard to paste as a face.");
    // A pasted face is drawn whole: it brings no mask of its own.
    picture.width = pasted.width;
    picture.height = pasted.height;
    picture.pixels = std::move(pasted.pixels);
    mask = ButtonPicture();
  }
  Ptr<host::CommandBarControls> Controls() override;
  std::uint32_t Advise(const Ptr<host::CommandBarButtonEvents>& sink) override {
    Check();
    if (!IsButton()) NotMember(L"Click");
    if (!sink) throw platform::ComError(E_INVALIDARG, L"No sink to connect.");
    std::uint32_t c = nextCookie++;
    sinks[c] = sink;
    return c;
  }
  void Unadvise(std::uint32_t cookie) override {
    if (sinks.erase(cookie) == 0) throw platform::ComError(E_INVALIDARG, L"No connection has this cookie.");
  }
  void Execute() override {
    Check();
    if (!enabled) throw platform::ComError(E_FAIL, L"The control is disabled.");
    if (!IsButton()) return;
    // Sinks may disconnect themselves while handling the click.
    auto copy = sinks;
    bool cancel = false;
    auto self = shared_from_this();
    for (auto& [cookie, sink] : copy) sink->Click(self, cancel);
  }
  void Delete(bool) override {
    Check();
    auto b = Bar();
    b->controls.erase(std::remove_if(b->controls.begin(), b->controls.end(),
                                     [&](auto& c) { return c.get() == this; }),
                      b->controls.end());
    MarkDeleted();
  }
  void MarkDeleted() {
    deleted = true;
    sinks.clear();
    if (popupBar) {
      for (auto& c : popupBar->controls) c->MarkDeleted();
      popupBar->controls.clear();
      popupBar->deleted = true;
    }
  }
};

class ControlsImpl : public host::CommandBarControls {
 public:
  explicit ControlsImpl(std::shared_ptr<BarImpl> b) : mBar(std::move(b)) {}
  int Count() override {
    mBar->Check();
    return static_cast<int>(mBar->controls.size());
  }
  Ptr<host::CommandBarControl> Item(int index) override {
    if (index < 1 || index > Count()) throw platform::ComError(DISP_E_BADINDEX, L"The control index is out of range.");
    return mBar->controls[index - 1];
  }
  Ptr<host::CommandBarControl> Add(int type, int id, const std::wstring& parameter, int before,
                                   bool temporary) override {
    mBar->Check();
    if (type != msoControlButton && type != msoControlPopup && type != msoControlEdit &&
        type != msoControlDropdown && type != msoControlComboBox)
      throw platform::ComError(E_INVALIDARG, L"This type of control cannot be added.");
    if (before < 0 || before > Count() + 1) throw platform::ComError(E_INVALIDARG, L"The position is out of range.");
    auto c = std::make_shared<ControlImpl>();
    c->type = type;
    c->id = id;
    c->parameter = parameter;
    c->temporary = temporary;
    c->parent = mBar;
    if (type == msoControlButton) c->caption = L"Custom";
    if (type == msoControlPopup) {
      c->popupBar = std::make_shared<BarImpl>();
      c->popupBar->type = msoBarTypePopup;
      c->popupBar->position = msoBarPopup;
      c->popupBar->bars = mBar->bars;
      c->popupBar->popupOwner = c;
    }
    if (before == 0)
      mBar->controls.push_back(c);
    else
      mBar->controls.insert(mBar->controls.begin() + (before - 1), c);
    return c;
  }

 private:
  std::shared_ptr<BarImpl> mBar;
};

Ptr<host::CommandBarControls> ControlImpl::Controls() {
  Check();
  if (!IsPopup()) NotMember(L"Controls");
  return std::make_shared<ControlsImpl>(popupBar);
}

Ptr<host::CommandBarControls> BarImpl::Controls() {
  Check();
  return std::make_shared<ControlsImpl>(shared_from_this());
}

int BarImpl::Width() {
  Check();
  if (width >= 0) return width;
  int w = 4;
  for (auto& c : controls)
    if (c->visible) w += c->NaturalWidth();
  return w;
}

bool Matches(ControlImpl& c, int type, int id, const std::wstring& tag, bool visibleOnly) {
  if (type != 0 && c.type != type) return false;
  if (id != 0 && c.id != id) return false;
  if (!tag.empty() && c.tag != tag) return false;
  if (visibleOnly && !c.visible) return false;
  return true;
}

void Collect(BarImpl& bar, int type, int id, const std::wstring& tag, bool visibleOnly, bool recursive,
             std::vector<Ptr<host::CommandBarControl>>& out) {
  for (auto& c : bar.controls) {
    if (Matches(*c, type, id, tag, visibleOnly)) out.push_back(c);
    if (recursive && c->popupBar) Collect(*c->popupBar, type, id, tag, visibleOnly, recursive, out);
  }
}

Ptr<host::CommandBarControl> BarImpl::FindControl(int type, int id, const std::wstring& tag, bool visibleOnly,
                                                  bool recursive) {
  Check();
  std::vector<Ptr<host::CommandBarControl>> out;
  Collect(*this, type, id, tag, visibleOnly, recursive, out);
  return out.empty() ? nullptr : out.front();
}

class BarsImpl : public host::CommandBars, public std::enable_shared_from_this<BarsImpl> {
 public:
  std::vector<std::shared_ptr<BarImpl>> bars;
  int customCounter = 0;

  std::shared_ptr<BarImpl> NewBar(const std::wstring& name, int type, bool builtIn, bool visible, int position) {
    auto b = std::make_shared<BarImpl>();
    b->name = name;
    b->type = type;
    b->builtIn = builtIn;
    b->visible = visible;
    b->position = position;
    b->bars = shared_from_this();
    b->rowIndex = static_cast<int>(bars.size()) + 1;
    b->top = 26 * static_cast<int>(bars.size());
    bars.push_back(b);
    return b;
  }

  int Count() override { return static_cast<int>(bars.size()); }
  Ptr<host::CommandBar> Item(int index) override {
    if (index < 1 || index > Count())
      throw platform::ComError(DISP_E_BADINDEX, L"The command bar index is out of range.");
    return bars[index - 1];
  }
  Ptr<host::CommandBar> Item(const std::wstring& name) override {
    for (auto& b : bars)
      if (b->name == name) return b;
    throw platform::ComError(E_INVALIDARG, L"There is no command bar named \"" + name + L"\".");
  }
  Ptr<host::CommandBar> Add(const std::wstring& name, int position, bool menuBar, bool temporary) override {
    std::wstring n = name.empty() ? L"Custom " + std::to_wstring(++customCounter) : name;
    for (auto& b : bars)
      if (b->name == n) throw platform::ComError(E_INVALIDARG, L"A command bar named \"" + n + L"\" already exists.");
    if (position < msoBarLeft || position > msoBarMenuBar)
      throw platform::ComError(E_INVALIDARG, L"Invalid command bar position.");
    int type = position == msoBarPopup ? msoBarTypePopup : menuBar ? msoBarTypeMenuBar : msoBarTypeNormal;
    auto b = NewBar(n, type, false, false, position == msoBarMenuBar ? msoBarTop : position);
    (void)temporary;
    return b;
  }
  Ptr<host::CommandBarControl> FindControl(int type, int id, const std::wstring& tag, bool visibleOnly) override {
    auto all = FindControls(type, id, tag);
    for (auto& c : all)
      if (!visibleOnly || c->Visible()) return c;
    return nullptr;
  }
  std::vector<Ptr<host::CommandBarControl>> FindControls(int type, int id, const std::wstring& tag) override {
    std::vector<Ptr<host::CommandBarControl>> out;
    for (auto& b : bars) Collect(*b, type, id, tag, false, true, out);
    return out;
  }
};

int BarImpl::Index() {
  Check();
  auto b = bars.lock();
  if (b)
    for (std::size_t i = 0; i < b->bars.size(); ++i)
      if (b->bars[i].get() == this) return static_cast<int>(i + 1);
  return 0;
}

void BarImpl::Delete() {
  Check();
  if (builtIn) throw platform::ComError(E_ACCESSDENIED, L"A built-in command bar cannot be deleted.");
  if (type == msoBarTypePopup) throw platform::ComError(E_FAIL, L"A popup bar is deleted through its control.");
  if (auto b = bars.lock())
    b->bars.erase(std::remove_if(b->bars.begin(), b->bars.end(), [&](auto& x) { return x.get() == this; }),
                  b->bars.end());
  for (auto& c : controls) c->MarkDeleted();
  controls.clear();
  deleted = true;
}

}  // namespace

Ptr<host::CommandBars> MakeCommandBars() {
  auto bars = std::make_shared<BarsImpl>();
  auto menu = bars->NewBar(L"Menu Bar", msoBarTypeMenuBar, true, true, msoBarTop);
  // The host's own menus, with their built-in control ids.
  const std::pair<const wchar_t*, int> kMenus[] = {{L"&File", 30002},   {L"&Edit", 30003},      {L"&View", 30004},
                                                   {L"&Insert", 30005}, {L"F&ormat", 30006},    {L"&Tools", 30007},
                                                   {L"Sli&de Show", 30021}, {L"&Window", 30009}, {L"&Help", 30010}};
  for (auto& [caption, id] : kMenus) {
    auto c = std::static_pointer_cast<ControlImpl>(menu->Controls()->Add(msoControlPopup, id, {}, 0, false));
    c->caption = caption;
    c->builtIn = true;
  }
  bars->NewBar(L"Standard", msoBarTypeNormal, true, true, msoBarTop);
  bars->NewBar(L"Formatting", msoBarTypeNormal, true, true, msoBarTop);
  return bars;
}

}  // namespace host::pptx
