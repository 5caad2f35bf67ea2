// Both text models, their fonts and colours.
#include "src/host/dispatch/DispatchModel.h"

#include <atomic>

namespace host::dispatch {

namespace {

// PpMouseActivation and the PpActionType that says "none".
constexpr int kMouseEvents[] = {1, 2};  // ppMouseClick, ppMouseOver
constexpr int kActionNone = 0;

// The object a call answered, held for the calls made on it.
std::shared_ptr<Dispatch> Held(const Variant& v, const char* kind) {
  auto object = v.Object();
  if (!object) return nullptr;
  return std::make_shared<Dispatch>(object.Get(), kind);
}

// One mouse event's action as the action text spells it: the action type,
// the link's address and sub-address, apart by tabs.
std::wstring ReadAction(Dispatch& run, int event) {
  std::shared_ptr<Dispatch> setting = Held(run.Get(L"ActionSettings", {event}), "ActionSetting");
  if (!setting) return {};
  const int action = setting->Get(L"Action").Int();
  if (action == kActionNone) return {};
  std::shared_ptr<Dispatch> link = Held(setting->Get(L"Hyperlink"), "Hyperlink");
  std::wstring address = link ? link->Get(L"Address").String() : std::wstring();
  std::wstring subAddress = link ? link->Get(L"SubAddress").String() : std::wstring();
  return std::to_wstring(action) + L"\t" + address + L"\t" + subAddress;
}

// Whether the host can tell a field from text: a host without the member
// says so once, and its ranges report no fields from then on.
std::atomic<bool> gFieldsUnknown{false};

bool IsField(Dispatch& run) {
  if (gFieldsUnknown) return false;
  try {
    return run.Get(L"IsField").Bool();
  } catch (const platform::ComError& e) {
    if (e.Error() != DISP_E_MEMBERNOTFOUND) throw;
    gFieldsUnknown = true;
    return false;
  }
}

// The fields and actions of a classic range, run by run; neighbouring runs
// with the same actions make one action. The action text holds both mouse
// events, one a line, so that WriteActions gives a range both back. A newer
// range that no classic range covers (a chart's text) has fields only.
std::vector<host::TextObject> ReadObjects(Dispatch& range, bool classic = true) {
  std::vector<host::TextObject> out;
  const int base = range.Get(L"Start").Int();
  const char* kind = classic ? "TextRange" : "TextRange2";
  std::shared_ptr<Dispatch> runs = Held(range.Get(L"Runs"), kind);
  const int count = runs ? runs->Get(L"Count").Int() : 0;
  for (int i = 1; i <= count; ++i) {
    std::shared_ptr<Dispatch> run = Held(range.Get(L"Runs", {i, 1}), kind);
    if (!run) continue;
    host::TextObject o;
    o.start = run->Get(L"Start").Int() - base + 1;
    o.length = run->Get(L"Length").Int();
    if (o.length <= 0) continue;
    if (IsField(*run)) {
      out.push_back(o);
      continue;
    }
    if (!classic) continue;
    const std::wstring click = ReadAction(*run, kMouseEvents[0]);
    const std::wstring hover = ReadAction(*run, kMouseEvents[1]);
    if (click.empty() && hover.empty()) continue;
    o.kind = host::TextObject::Action;
    o.action = click + L"\n" + hover;
    if (!click.empty()) {
      const size_t from = click.find(L'\t') + 1;
      o.address = click.substr(from, click.find(L'\t', from) - from);
    }
    host::TextObject* last = out.empty() ? nullptr : &out.back();
    if (last && last->kind == host::TextObject::Action && last->action == o.action &&
        last->start + last->length == o.start) {
      last->length += o.length;
    } else {
      out.push_back(std::move(o));
    }
  }
  return out;
}

// Gives every character of a classic range the actions ReadObjects spelt
// (empty: none).
void WriteActions(Dispatch& range, const std::wstring& action) {
  const size_t lineEnd = action.find(L'\n');
  const std::wstring lines[] = {action.substr(0, lineEnd),
                                lineEnd == std::wstring::npos ? std::wstring() : action.substr(lineEnd + 1)};
  for (int k = 0; k < 2; ++k) {
    std::shared_ptr<Dispatch> setting = Held(range.Get(L"ActionSettings", {kMouseEvents[k]}), "ActionSetting");
    if (!setting) continue;
    const std::wstring& line = lines[k];
    if (line.empty()) {
      setting->Put(L"Action", kActionNone);
      continue;
    }
    const size_t first = line.find(L'\t');
    const size_t second = first == std::wstring::npos ? first : line.find(L'\t', first + 1);
    if (second == std::wstring::npos) throw platform::ComError(host::kNotFound, L"an action this host did not spell");
    std::shared_ptr<Dispatch> link = Held(setting->Get(L"Hyperlink"), "Hyperlink");
    if (link) {
      link->Put(L"Address", line.substr(first + 1, second - first - 1));
      link->Put(L"SubAddress", line.substr(second + 1));
    }
    setting->Put(L"Action", std::stoi(line.substr(0, first)));
  }
}

class DHyperlink : public host::Hyperlink, Base {
 public:
  explicit DHyperlink(IDispatch* o) : Base(o, "Hyperlink") {}
  std::wstring Address() override { return GetString(L"Address"); }
  std::wstring ScreenTip() override { return GetString(L"ScreenTip"); }
  void SetScreenTip(const std::wstring& tip) override { Set(L"ScreenTip", tip); }
};

class DActionSetting : public host::ActionSetting, Base {
 public:
  explicit DActionSetting(IDispatch* o) : Base(o, "ActionSetting") {}
  Ptr<host::Hyperlink> Hyperlink() override { return Wrap<DHyperlink>(d->Get(L"Hyperlink")); }
};

class DColorFormat : public host::ColorFormat, Base {
 public:
  explicit DColorFormat(IDispatch* o) : Base(o, "ColorFormat") {}
  int Type() override { return GetInt(L"Type"); }
  int Rgb() override { return GetInt(L"RGB"); }
  void SetRgb(int rgb) override { Set(L"RGB", rgb); }
  int SchemeColor() override { return GetInt(L"SchemeColor"); }
  void SetSchemeColor(int v) override { Set(L"SchemeColor", v); }
  int ObjectThemeColor() override { return GetInt(L"ObjectThemeColor"); }
  void SetObjectThemeColor(int v) override { Set(L"ObjectThemeColor", v); }
};

class DFillFormat : public host::FillFormat, Base {
 public:
  explicit DFillFormat(IDispatch* o) : Base(o, "FillFormat") {}
  Ptr<host::ColorFormat> ForeColor() override { return Wrap<DColorFormat>(d->Get(L"ForeColor")); }
  int Visible() override { return GetInt(L"Visible"); }
  void SetVisible(int v) override { Set(L"Visible", v); }
};

// The members both fonts share.
template <class Interface>
class DFontCommon : public Interface, protected Base {
 public:
  DFontCommon(IDispatch* o, const char* kind) : Base(o, kind) {}
  int Bold() override { return GetInt(L"Bold"); }
  void SetBold(int v) override { Set(L"Bold", v); }
  int Italic() override { return GetInt(L"Italic"); }
  void SetItalic(int v) override { Set(L"Italic", v); }
  int Shadow() override { return GetInt(L"Shadow"); }
  void SetShadow(int v) override { Set(L"Shadow", v); }
  int Emboss() override { return GetInt(L"Emboss"); }
  void SetEmboss(int v) override { Set(L"Emboss", v); }
  int Subscript() override { return GetInt(L"Subscript"); }
  void SetSubscript(int v) override { Set(L"Subscript", v); }
  int Superscript() override { return GetInt(L"Superscript"); }
  void SetSuperscript(int v) override { Set(L"Superscript", v); }
  float BaselineOffset() override { return GetFloat(L"BaselineOffset"); }
  void SetBaselineOffset(float v) override { Set(L"BaselineOffset", v); }
  float Size() override { return GetFloat(L"Size"); }
  void SetSize(float v) override { Set(L"Size", v); }
  std::wstring Name() override { return GetString(L"Name"); }
  void SetName(const std::wstring& v) override { Set(L"Name", v); }
  std::wstring NameAscii() override { return GetString(L"NameAscii"); }
  void SetNameAscii(const std::wstring& v) override { Set(L"NameAscii", v); }
  std::wstring NameFarEast() override { return GetString(L"NameFarEast"); }
  void SetNameFarEast(const std::wstring& v) override { Set(L"NameFarEast", v); }
  std::wstring NameComplexScript() override { return GetString(L"NameComplexScript"); }
  void SetNameComplexScript(const std::wstring& v) override { Set(L"NameComplexScript", v); }
  std::wstring NameOther() override { return GetString(L"NameOther"); }
  void SetNameOther(const std::wstring& v) override { Set(L"NameOther", v); }
};

class DFont : public DFontCommon<host::Font> {
 public:
  explicit DFont(IDispatch* o) : DFontCommon(o, "Font") {}
  int Underline() override { return GetInt(L"Underline"); }
  void SetUnderline(int v) override { Set(L"Underline", v); }
  int AutoRotateNumbers() override { return GetInt(L"AutoRotateNumbers"); }
  void SetAutoRotateNumbers(int v) override { Set(L"AutoRotateNumbers", v); }
  Ptr<host::ColorFormat> Color() override { return Wrap<DColorFormat>(d->Get(L"Color")); }
};

class DFont2 : public DFontCommon<host::Font2> {
 public:
  explicit DFont2(IDispatch* o) : DFontCommon(o, "Font2") {}
  int UnderlineStyle() override { return GetInt(L"UnderlineStyle"); }
  void SetUnderlineStyle(int v) override { Set(L"UnderlineStyle", v); }
  int Strike() override { return GetInt(L"Strike"); }
  void SetStrike(int v) override { Set(L"Strike", v); }
  int Caps() override { return GetInt(L"Caps"); }
  void SetCaps(int v) override { Set(L"Caps", v); }
  float Spacing() override { return GetFloat(L"Spacing"); }
  void SetSpacing(float v) override { Set(L"Spacing", v); }
  Ptr<host::FillFormat> Fill() override { return Wrap<DFillFormat>(d->Get(L"Fill")); }
};

// The members both text models share, over either kind of range.
template <class Interface, class Self, class FontWrapper>
class DRange : public Interface, protected Base {
 public:
  DRange(IDispatch* o, const char* kind) : Base(o, kind) {}
  std::wstring Text() override { return GetString(L"Text"); }
  void SetText(const std::wstring& text) override { Set(L"Text", text); }
  int Start() override { return GetInt(L"Start"); }
  int Length() override { return GetInt(L"Length"); }
  int Count() override { return GetInt(L"Count"); }
  Ptr<Interface> Characters(int start, int length) override { return Sub(L"Characters", start, length); }
  Ptr<Interface> Paragraphs(int start, int length) override { return Sub(L"Paragraphs", start, length); }
  Ptr<Interface> Runs(int start, int length) override { return Sub(L"Runs", start, length); }
  Ptr<Interface> Lines(int start, int length) override { return Sub(L"Lines", start, length); }
  Ptr<Interface> InsertAfter(const std::wstring& text) override {
    return static_cast<Self*>(this)->Like(d->Call(L"InsertAfter", {text}));
  }
  Ptr<Interface> InsertBefore(const std::wstring& text) override {
    return static_cast<Self*>(this)->Like(d->Call(L"InsertBefore", {text}));
  }
  void Select() override { Do(L"Select"); }
  void Delete() override { Do(L"Delete"); }
  int LanguageID() override { return GetInt(L"LanguageID"); }
  void SetLanguageID(int v) override { Set(L"LanguageID", v); }
  float BoundLeft() override { return GetFloat(L"BoundLeft"); }
  float BoundTop() override { return GetFloat(L"BoundTop"); }
  float BoundWidth() override { return GetFloat(L"BoundWidth"); }
  float BoundHeight() override { return GetFloat(L"BoundHeight"); }
  decltype(std::declval<Interface&>().Font()) Font() override {
    return Wrap<FontWrapper>(d->Get(L"Font"));
  }
  std::vector<host::TextObject> TextObjects() override {
    std::shared_ptr<Dispatch> classic = static_cast<Self*>(this)->Classic();
    return classic ? ReadObjects(*classic) : ReadObjects(*d, false);
  }
  void SetAction(const std::wstring& action) override {
    if (std::shared_ptr<Dispatch> classic = static_cast<Self*>(this)->Classic()) WriteActions(*classic, action);
  }

 protected:
  Ptr<Interface> Sub(const wchar_t* name, int start, int length) {
    return static_cast<Self*>(this)->Like(d->Get(name, {start, length}));
  }
};

class DTextRange : public DRange<host::TextRange, DTextRange, DFont> {
 public:
  explicit DTextRange(IDispatch* o) : DRange(o, "TextRange") {}
  std::shared_ptr<Dispatch> Classic() { return d; }
  Ptr<host::TextRange> Like(const Variant& v) { return Wrap<DTextRange>(v); }
  Ptr<host::ActionSetting> ActionSettings(int mouseEvent) override {
    return Wrap<DActionSetting>(d->Get(L"ActionSettings", {mouseEvent}));
  }
};

// The newer model has no actions: those are read and given through the
// classic range over the same characters, which its frame's owner holds.
class DTextRange2 : public DRange<host::TextRange2, DTextRange2, DFont2> {
 public:
  DTextRange2(IDispatch* o, ClassicText classic) : DRange(o, "TextRange2"), mClassic(std::move(classic)) {}
  Ptr<host::TextRange2> Item(int index) override { return Like(d->Get(L"Item", {index})); }
  Ptr<host::TextRange2> Like(const Variant& v) { return Wrap<DTextRange2>(v, mClassic); }
  std::shared_ptr<Dispatch> Classic() {
    if (!mClassic.owner) return nullptr;
    std::shared_ptr<Dispatch> whole = mClassic.owner;
    if (mClassic.viaFrame) whole = Held(whole->Get(L"TextFrame"), "TextFrame");
    if (whole) whole = Held(whole->Get(L"TextRange"), "TextRange");
    if (!whole) return nullptr;
    const int from = Start() - whole->Get(L"Start").Int() + 1;
    return Held(whole->Get(L"Characters", {from, Length()}), "TextRange");
  }

 private:
  ClassicText mClassic;
};

}  // namespace

Ptr<host::TextRange> MakeTextRange(const Variant& v) { return Wrap<DTextRange>(v); }
Ptr<host::ActionSetting> MakeActionSetting(const Variant& v) { return Wrap<DActionSetting>(v); }
Ptr<host::TextRange2> MakeTextRange2(const Variant& v, ClassicText classic) {
  return Wrap<DTextRange2>(v, std::move(classic));
}

}  // namespace host::dispatch
