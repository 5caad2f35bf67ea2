// Both text models, their fonts and colours.
#include "src/host/dispatch/DispatchModel.h"

namespace host::dispatch {

namespace {

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
    return Wrap<Self>(d->Call(L"InsertAfter", {text}));
  }
  Ptr<Interface> InsertBefore(const std::wstring& text) override {
    return Wrap<Self>(d->Call(L"InsertBefore", {text}));
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

 protected:
  Ptr<Interface> Sub(const wchar_t* name, int start, int length) {
    return Wrap<Self>(d->Get(name, {start, length}));
  }
};

class DTextRange : public DRange<host::TextRange, DTextRange, DFont> {
 public:
  explicit DTextRange(IDispatch* o) : DRange(o, "TextRange") {}
};

class DTextRange2 : public DRange<host::TextRange2, DTextRange2, DFont2> {
 public:
  explicit DTextRange2(IDispatch* o) : DRange(o, "TextRange2") {}
  Ptr<host::TextRange2> Item(int index) override { return Wrap<DTextRange2>(d->Get(L"Item", {index})); }
};

}  // namespace

Ptr<host::TextRange> MakeTextRange(const Variant& v) { return Wrap<DTextRange>(v); }
Ptr<host::TextRange2> MakeTextRange2(const Variant& v) { return Wrap<DTextRange2>(v); }

}  // namespace host::dispatch
