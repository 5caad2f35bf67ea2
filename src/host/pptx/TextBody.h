// The character model of one DrawingML text body (p:txBody, a:txBody,
// dsp:txBody): positions, runs, paragraphs, text edits and character
// formatting, worked directly on the XML so that everything outside the
// edited characters stays as it was.
//
// Positions here are 0-based wchar_t offsets into the text of the paragraphs
// joined by "\r", with "\v" for each a:br and a field's current text in its
// place. The object-model adapters add the 1-based view.
//
// A TextBody is a cheap handle: it reads the XML once and again after each
// of its own edits. Edits made through another handle or straight on the XML
// go unseen: keep a handle only while nothing else changes the body (the
// text models keep theirs while the document's edit count stands).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

namespace host::pptx {

// Tri-state values as the object model reports them.
inline constexpr int kMsoTrue = -1;
inline constexpr int kMsoFalse = 0;
inline constexpr int kMsoMixed = -2;

// What the document knows about inherited text formatting and the theme.
// The text body works without it (built-in defaults apply); the document
// layer fills it so that effective sizes, fonts and colours are right.
struct TextStyleContext {
  // List styles nearest first: the placeholder's layout and master bodies'
  // a:lstStyle, the master's p:titleStyle/p:bodyStyle/p:otherStyle, the
  // presentation's p:defaultTextStyle. Each holds a:lvlNpPr/a:defRPr.
  std::vector<pugi::xml_node> listStyles;
  // Theme colours by scheme name after the master's colour map: "accent1",
  // "tx1", "bg1", "dk1"... as 0xRRGGBB.
  std::map<std::string, std::uint32_t> schemeColors;
  // Theme fonts: "+mj-lt", "+mn-lt", "+mj-ea", "+mn-ea", "+mj-cs", "+mn-cs".
  std::map<std::string, std::string> themeFonts;
  // A chart's texts take their paragraph's a:pPr/a:defRPr as the defaults of
  // its runs (a label's size and font live there); a slide's texts do not.
  bool paragraphDefaults = false;
  // A table cell's a:tcTxStyle elements, nearest first: their b and i
  // ("on", "off") come after the cell's own list style.
  std::vector<pugi::xml_node> tableTextStyles;
  // Inherited values looked up so far, by level and property: a context is
  // replaced, not changed, when what it was built from changes.
  mutable std::unordered_map<int, std::optional<std::string>> inherited;
};

// Character properties that the font objects of both text models expose.
// Values travel as the XML spells them (b "1", sz "2400", u "sng",
// baseline "30000", lang "en-US", typefaces, colour "srgb:RRGGBB",
// "none" for no fill, or
// "scheme:accent1", shadow "1"); an absent value means "not set here".
enum class CharProp {
  Bold,
  Italic,
  Underline,
  Strike,
  Size,
  Baseline,
  Lang,
  Caps,
  Spacing,
  Kerning,
  Latin,
  EastAsian,
  ComplexScript,
  Symbol,
  Color,
  Shadow,
};

struct TextSpan {
  long start = 0;
  long length = 0;
  long end() const { return start + length; }
  bool operator==(const TextSpan&) const = default;
};

// A value read over a range: either one value for every character or mixed.
struct PropValue {
  bool mixed = false;
  std::optional<std::string> value;  // effective value; none when nothing defines it
};

class TextBody {
 public:
  TextBody() = default;
  explicit TextBody(pugi::xml_node txBody, std::shared_ptr<const TextStyleContext> context = {});

  explicit operator bool() const { return static_cast<bool>(mBody); }
  pugi::xml_node Node() const { return mBody; }
  const TextStyleContext* Context() const { return mContext.get(); }
  // A handle kept between operations reads effective values with the
  // context its current user brings.
  void UseContext(std::shared_ptr<const TextStyleContext> context) {
    if (context != mContext) mInherited.clear();
    mContext = std::move(context);
  }

  std::wstring Text() const;
  // A body of more paragraphs than an index is worth holding for answers
  // these two without one, reading on from where its last read ended.
  std::wstring Text(TextSpan span) const;
  long Length() const;
  // The same count without building the index: for a handle taken only to
  // learn the length, which ranges do far more often than anything else.
  long CountLength() const;

  // Paragraph spans include their "\r" except the last; run spans are the
  // longest stretches of equal formatting inside one paragraph, the
  // paragraph mark joining the last run.
  std::vector<TextSpan> Paragraphs() const;
  std::vector<TextSpan> Runs() const;
  // Paragraph index (0-based) that holds position pos.
  long ParagraphAt(long pos) const;

  // Replaces the characters of span with text ("\r" starts a paragraph,
  // "\n" and "\r\n" too; "\v" is a line break). The new characters take the
  // formatting of the first replaced character, or for an insertion that of
  // the character before. Returns the span the new text occupies.
  TextSpan Replace(TextSpan span, std::wstring_view text);

  // Effective value of a property over a span. A span holding text reads
  // its text characters only (paragraph marks and breaks carry their own
  // formatting that PowerPoint does not show); an empty span reads the
  // character that new text would be formatted like.
  PropValue Get(TextSpan span, CharProp prop) const;
  // The same for several properties at once, in one pass over the span:
  // out[i] for props[i].
  void Get(TextSpan span, std::span<const CharProp> props, std::span<PropValue> out) const;
  // Sets (or with nullopt removes) a property on every character of span,
  // splitting runs at its edges. Paragraph marks and breaks inside the span
  // take it as well. False when nothing changed: every character (and mark)
  // states that very value already.
  bool Set(TextSpan span, CharProp prop, const std::optional<std::string>& value);

  // Fields and runs with a click or hover action inside span, in order;
  // neighbouring runs with the same actions are one stretch. action is the
  // a:hlinkClick and a:hlinkMouseOver elements as the part spells them,
  // clickId the relationship id of the click.
  struct Object {
    TextSpan span;
    bool field = false;
    std::string action;
    std::string clickId;
  };
  std::vector<Object> Objects(TextSpan span) const;
  // Gives every run and field of span the actions Objects read (empty:
  // none), splitting runs at its edges.
  void SetAction(TextSpan span, const std::string& action);
  // The tooltip of the first run or field in span that has a click link
  // (hover: a:hlinkMouseOver), and whether one has it at all.
  bool LinkTip(TextSpan span, bool hover, std::string* tip) const;
  // Sets the tooltip (empty: removes it) on every run and field in span that
  // has such a link; false when none has one.
  bool SetLinkTip(TextSpan span, bool hover, const std::string& tip);

  // Paragraph properties (a:pPr attributes such as "lvl", "algn").
  std::optional<std::string> ParagraphAttribute(long paragraph, const char* name) const;
  void SetParagraphAttribute(long paragraph, const char* name, const std::optional<std::string>& value);
  // 0-based indent level of a paragraph.
  int Level(long paragraph) const;

  // Inherited value of a property at a paragraph level, from the body's own
  // list style and then the context's. For the layout engine.
  std::optional<std::string> Inherited(int level, CharProp prop) const;
  // Same for paragraph-level spacing elements (a:lnSpc, a:spcBef, a:spcAft)
  // and attributes; returns the element that defines it.
  pugi::xml_node InheritedParagraphElement(int level, const char* localName) const;

  // The DrawingML prefix this body uses ("a" unless the part binds it to
  // another one).
  const std::string& Prefix() const { return mPrefix; }

  // Internal layout of the body, exposed for the layout engine.
  struct Item {
    pugi::xml_node node;  // a:r, a:br, a:fld, or any other child of a:p
    enum Kind { Run, Break, Field, Other } kind = Other;
    // utf8 is known to be well-formed UTF-8 (a part of a text found so).
    bool wellFormed = false;
    // The a:t content as the part holds it (UTF-8, valid until the body
    // changes) and its length in characters; a break is one "\v".
    const char* utf8 = "";
    long length = 0;
    long start = 0;
    std::wstring Text() const { return kind == Break ? std::wstring(L"\v") : pugi::as_wide(utf8); }
  };
  struct Para {
    pugi::xml_node node;
    std::vector<Item> items;
    long start = 0;
    long length = 0;  // without the mark
  };
  // Built once per handle and kept until the handle itself edits the body.
  const std::vector<Para>& Index() const;

  // A property as one rPr states it, and with inheritance at a level.
  std::optional<std::string> ReadProp(pugi::xml_node rPr, CharProp prop) const;
  std::optional<std::string> Effective(pugi::xml_node rPr, int level, CharProp prop) const;
  // The paragraph's own a:pPr followed by the inherited a:lvlNpPr nodes
  // for its level, nearest first (empty nodes left out).
  std::vector<pugi::xml_node> ParagraphStyleChain(pugi::xml_node paragraph) const;

  // rPr (or endParaRPr) that gives the formatting of the character at pos.
  pugi::xml_node FormatNodeAt(long pos) const;

 private:
  bool Holds(TextSpan span, CharProp prop, const std::optional<std::string>& value) const;
  void SplitAt(long pos);
  void Delete(TextSpan span);
  void Insert(long pos, std::wstring_view text, pugi::xml_node templ);
  // Paragraphs first to last (0-based, inclusive) lose their empty runs.
  void RemoveEmptyRuns(size_t first, size_t last);
  // Reads paragraph p as the index holds it, its text starting at pos.
  static Para ReadPara(pugi::xml_node p, long pos);
  // The paragraphs [first, first + count) of the index were edited in the
  // XML (the edit may have added or removed paragraphs among them, and
  // touched nothing else): reads them again and moves the ones after.
  void Reread(size_t first, size_t count);
  void Invalidate() {
    mIndexValid = false;
    mInherited.clear();
    mLarge = -1;
    mRead = {};
  }
  // Whether text reads go without the index: none is built and the body
  // has more children than kIndexedChildren (its paragraphs, nearly all).
  bool Unindexed() const;
  // The characters [start, end) of an unindexed body.
  std::wstring ReadText(long start, long end) const;
  std::optional<std::string> LookUpInherited(int level, CharProp prop) const;
  std::string Name(const char* local) const;

  pugi::xml_node mBody;
  std::shared_ptr<const TextStyleContext> mContext;
  std::string mPrefix = "a";
  mutable std::vector<Para> mIndex;
  mutable bool mIndexValid = false;
  // For an unindexed body: whether it is large (-1: not counted yet), and
  // its length (-1: not counted yet) with the paragraph the last read ended
  // in and that paragraph's start.
  mutable int mLarge = -1;
  struct ReadPlace {
    long length = -1;
    pugi::xml_node para;
    long start = 0;
  };
  mutable ReadPlace mRead;
  // Whether this handle has removed the body's empty runs once.
  bool mSwept = false;
  // Inherited values by level and property, for the current context.
  mutable std::unordered_map<int, std::optional<std::string>> mInherited;
};

// rPr attributes and children that stand for each property, and the
// schema order of the children of a:rPr, which PowerPoint insists on.
void SetCharProp(pugi::xml_node rPr, CharProp prop, const std::optional<std::string>& value,
                 const std::string& prefix);

}  // namespace host::pptx
