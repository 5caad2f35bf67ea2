// Both text models over a shape's text. Positions are 1-based and count the
// characters of the paragraphs joined by "\r", with "\v" for a line break
// and fields read as their text. A range stays attached to its text: after
// an edit that changes the length, ranges taken earlier over later text are
// stale and must be fetched again, as on the host.
#pragma once

#include <string>
#include <vector>

#include "src/host/HostTypes.h"

namespace host {

// What a stretch of text holds beyond its characters and font: a field the
// host keeps up to date (slide number, date) or a click or hover action (a
// link).
struct TextObject {
  enum Kind { Field, Action };
  Kind kind = Field;
  int start = 1;  // 1-based, in the range it was read from
  int length = 0;
  // Action only: both actions in the host's own spelling, which SetAction
  // of a range of the same host takes back, and the click's address.
  std::wstring action;
  std::wstring address;
  bool operator==(const TextObject&) const = default;
};

class ColorFormat {
 public:
  virtual ~ColorFormat() = default;
  // msoColorTypeRGB, msoColorTypeScheme, or msoColorTypeMixed over mixed text.
  virtual int Type() = 0;
  // RGB as 0x00BBGGRR, as the host stores colours; -2 when mixed.
  virtual int Rgb() = 0;
  virtual void SetRgb(int rgb) = 0;
  virtual int SchemeColor() = 0;
  virtual void SetSchemeColor(int schemeColor) = 0;
  virtual int ObjectThemeColor() = 0;
  virtual void SetObjectThemeColor(int themeColor) = 0;
};

class FillFormat {
 public:
  virtual ~FillFormat() = default;
  virtual Ptr<host::ColorFormat> ForeColor() = 0;
  virtual int Visible() = 0;
  virtual void SetVisible(int visible) = 0;
};

// Font of a classic TextRange. Tri-state members answer msoTriStateMixed,
// numeric ones kMixedValue, names an empty string where the range mixes
// values. Setters apply to every character of the range.
class Font {
 public:
  virtual ~Font() = default;
  virtual int Bold() = 0;
  virtual void SetBold(int v) = 0;
  virtual int Italic() = 0;
  virtual void SetItalic(int v) = 0;
  virtual int Underline() = 0;
  virtual void SetUnderline(int v) = 0;
  virtual int Shadow() = 0;
  virtual void SetShadow(int v) = 0;
  virtual int Emboss() = 0;
  virtual void SetEmboss(int v) = 0;
  virtual int Subscript() = 0;
  virtual void SetSubscript(int v) = 0;
  virtual int Superscript() = 0;
  virtual void SetSuperscript(int v) = 0;
  // Fraction of the font height, -1..1.
  virtual float BaselineOffset() = 0;
  virtual void SetBaselineOffset(float v) = 0;
  virtual int AutoRotateNumbers() = 0;
  virtual void SetAutoRotateNumbers(int v) = 0;
  virtual float Size() = 0;
  virtual void SetSize(float points) = 0;
  virtual std::wstring Name() = 0;
  virtual void SetName(const std::wstring& name) = 0;
  virtual std::wstring NameAscii() = 0;
  virtual void SetNameAscii(const std::wstring& name) = 0;
  virtual std::wstring NameFarEast() = 0;
  virtual void SetNameFarEast(const std::wstring& name) = 0;
  virtual std::wstring NameComplexScript() = 0;
  virtual void SetNameComplexScript(const std::wstring& name) = 0;
  virtual std::wstring NameOther() = 0;
  virtual void SetNameOther(const std::wstring& name) = 0;
  virtual Ptr<host::ColorFormat> Color() = 0;
};

// Font of a TextRange2.
class Font2 {
 public:
  virtual ~Font2() = default;

  // The character formatting a caller carries from one range to another,
  // read and written in one call each. Read answers what the members of the
  // same names would, one after another; Write makes each write in turn as
  // the setter of its member would, stopping at the first that throws. A
  // host that can do them at once overrides these.
  struct Formatting {
    int bold, italic, underlineStyle;
    float size;
    int emboss, shadow;
    float baselineOffset;
  };
  struct Write {
    enum Member { Bold, Italic, UnderlineStyle, Size, Emboss, Shadow, BaselineOffset } member;
    float value;
  };
  virtual Formatting Read() {
    return {Bold(), Italic(), UnderlineStyle(), Size(), Emboss(), Shadow(), BaselineOffset()};
  }
  virtual void Apply(const std::vector<Write>& writes) {
    for (const Write& w : writes) {
      const int v = static_cast<int>(w.value);
      switch (w.member) {
        case Write::Bold: SetBold(v); break;
        case Write::Italic: SetItalic(v); break;
        case Write::UnderlineStyle: SetUnderlineStyle(v); break;
        case Write::Size: SetSize(w.value); break;
        case Write::Emboss: SetEmboss(v); break;
        case Write::Shadow: SetShadow(v); break;
        case Write::BaselineOffset: SetBaselineOffset(w.value); break;
      }
    }
  }

  virtual int Bold() = 0;
  virtual void SetBold(int v) = 0;
  virtual int Italic() = 0;
  virtual void SetItalic(int v) = 0;
  // MsoTextUnderlineType: 0 none, 1 words, 2 single, 3 double ...; -2 mixed.
  virtual int UnderlineStyle() = 0;
  virtual void SetUnderlineStyle(int v) = 0;
  virtual int Shadow() = 0;
  virtual void SetShadow(int v) = 0;
  virtual int Emboss() = 0;
  virtual void SetEmboss(int v) = 0;
  virtual int Subscript() = 0;
  virtual void SetSubscript(int v) = 0;
  virtual int Superscript() = 0;
  virtual void SetSuperscript(int v) = 0;
  virtual float BaselineOffset() = 0;
  virtual void SetBaselineOffset(float v) = 0;
  // MsoTextStrike, MsoTextCaps
  virtual int Strike() = 0;
  virtual void SetStrike(int v) = 0;
  virtual int Caps() = 0;
  virtual void SetCaps(int v) = 0;
  virtual float Spacing() = 0;
  virtual void SetSpacing(float points) = 0;
  virtual float Size() = 0;
  virtual void SetSize(float points) = 0;
  virtual std::wstring Name() = 0;
  virtual void SetName(const std::wstring& name) = 0;
  virtual std::wstring NameAscii() = 0;
  virtual void SetNameAscii(const std::wstring& name) = 0;
  virtual std::wstring NameFarEast() = 0;
  virtual void SetNameFarEast(const std::wstring& name) = 0;
  virtual std::wstring NameComplexScript() = 0;
  virtual void SetNameComplexScript(const std::wstring& name) = 0;
  virtual std::wstring NameOther() = 0;
  virtual void SetNameOther(const std::wstring& name) = 0;
  virtual Ptr<host::FillFormat> Fill() = 0;
};

// The hyperlink of one mouse event's action over a range.
class Hyperlink {
 public:
  virtual ~Hyperlink() = default;
  // Empty when the action is no link.
  virtual std::wstring Address() = 0;
  // The tip shown while the pointer rests on the link; empty when it has
  // none. The first link of the range answers; setting it sets it on every
  // link of the event in the range, an empty tip removing it, and is
  // kNotAvailable where the range has no such link.
  virtual std::wstring ScreenTip() = 0;
  virtual void SetScreenTip(const std::wstring& tip) = 0;
};

class ActionSetting {
 public:
  virtual ~ActionSetting() = default;
  virtual Ptr<host::Hyperlink> Hyperlink() = 0;
};

class TextRange {
 public:
  virtual ~TextRange() = default;
  virtual std::wstring Text() = 0;
  // Replaces the range's characters; the new text takes the formatting of
  // the first replaced character (of the character before, when the range
  // is empty). The range then covers the new text.
  virtual void SetText(const std::wstring& text) = 0;
  virtual int Start() = 0;
  virtual int Length() = 0;
  // Number of items when the range came from Paragraphs, Runs ... (1 otherwise).
  virtual int Count() = 0;
  // Start/length relative to this range. Start and length -1 mean the
  // whole range (all items); a start with length -1 means one item there.
  virtual Ptr<host::TextRange> Characters(int start, int length) = 0;
  virtual Ptr<host::TextRange> Paragraphs(int start, int length) = 0;
  virtual Ptr<host::TextRange> Runs(int start, int length) = 0;
  virtual Ptr<host::TextRange> Lines(int start, int length) = 0;
  // The whole range, and one item at a position (convenience only).
  Ptr<host::TextRange> Characters() { return Characters(-1, -1); }
  Ptr<host::TextRange> Paragraphs() { return Paragraphs(-1, -1); }
  Ptr<host::TextRange> Runs() { return Runs(-1, -1); }
  Ptr<host::TextRange> Lines() { return Lines(-1, -1); }
  Ptr<host::TextRange> Paragraphs(int start) { return Paragraphs(start, 1); }
  Ptr<host::TextRange> Runs(int start) { return Runs(start, 1); }
  Ptr<host::TextRange> Lines(int start) { return Lines(start, 1); }
  // Inserts after (before) the range and returns the range of the new text,
  // which takes the formatting of the character before it.
  virtual Ptr<host::TextRange> InsertAfter(const std::wstring& text) = 0;
  virtual Ptr<host::TextRange> InsertBefore(const std::wstring& text) = 0;
  virtual void Select() = 0;
  virtual void Delete() = 0;
  // Windows LANGID; -2 mixed.
  virtual int LanguageID() = 0;
  virtual void SetLanguageID(int languageId) = 0;
  // Measured with the fonts' real metrics, wrapped at the frame's width.
  virtual float BoundLeft() = 0;
  virtual float BoundTop() = 0;
  virtual float BoundWidth() = 0;
  virtual float BoundHeight() = 0;
  virtual Ptr<host::Font> Font() = 0;
  // Fields and actions over the range's characters, in order. A host that
  // cannot tell reports none.
  virtual std::vector<TextObject> TextObjects() { return {}; }
  // Gives every character of the range an action that TextObjects of the
  // same host reported (empty: none).
  virtual void SetAction(const std::wstring&) {}
  // The action of ppMouseClick (1) or ppMouseOver (2); kBadIndex for
  // another event.
  virtual Ptr<host::ActionSetting> ActionSettings(int mouseEvent) = 0;
};

class TextRange2 {
 public:
  virtual ~TextRange2() = default;
  virtual std::wstring Text() = 0;
  virtual void SetText(const std::wstring& text) = 0;
  virtual int Start() = 0;
  virtual int Length() = 0;
  virtual int Count() = 0;
  virtual Ptr<host::TextRange2> Item(int index) = 0;
  virtual Ptr<host::TextRange2> Characters(int start, int length) = 0;
  virtual Ptr<host::TextRange2> Paragraphs(int start, int length) = 0;
  virtual Ptr<host::TextRange2> Runs(int start, int length) = 0;
  virtual Ptr<host::TextRange2> Lines(int start, int length) = 0;
  // The whole range, and one item at a position (convenience only).
  Ptr<host::TextRange2> Characters() { return Characters(-1, -1); }
  Ptr<host::TextRange2> Paragraphs() { return Paragraphs(-1, -1); }
  Ptr<host::TextRange2> Runs() { return Runs(-1, -1); }
  Ptr<host::TextRange2> Lines() { return Lines(-1, -1); }
  Ptr<host::TextRange2> Paragraphs(int start) { return Paragraphs(start, 1); }
  Ptr<host::TextRange2> Runs(int start) { return Runs(start, 1); }
  Ptr<host::TextRange2> Lines(int start) { return Lines(start, 1); }
  virtual Ptr<host::TextRange2> InsertAfter(const std::wstring& text) = 0;
  virtual Ptr<host::TextRange2> InsertBefore(const std::wstring& text) = 0;
  virtual void Select() = 0;
  virtual void Delete() = 0;
  virtual int LanguageID() = 0;
  virtual void SetLanguageID(int languageId) = 0;
  virtual float BoundLeft() = 0;
  virtual float BoundTop() = 0;
  virtual float BoundWidth() = 0;
  virtual float BoundHeight() = 0;
  virtual Ptr<host::Font2> Font() = 0;
  // Fields and actions over the range's characters, in order. A host that
  // cannot tell reports none.
  virtual std::vector<TextObject> TextObjects() { return {}; }
  // Gives every character of the range an action that TextObjects of the
  // same host reported (empty: none).
  virtual void SetAction(const std::wstring&) {}
};

}  // namespace host
