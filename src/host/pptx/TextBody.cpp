#include "src/host/pptx/TextBody.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <unordered_map>

#include "src/host/pptx/Vocabulary.h"

namespace host::pptx {
namespace {

// Children of a:rPr in the order the schema fixes; PowerPoint rejects a
// file whose children come out of order.
constexpr const char* kRPrOrder[] = {"ln",       "noFill", "solidFill", "gradFill", "blipFill", "pattFill",
                                     "grpFill",  "effectLst", "effectDag", "highlight", "uLnTx", "uLn",
                                     "uFillTx",  "uFill",  "latin",     "ea",       "cs",       "sym",
                                     "hlinkClick", "hlinkMouseOver", "rtl", "extLst"};
constexpr const char* kFills[] = {"noFill", "solidFill", "gradFill", "blipFill", "pattFill", "grpFill"};

// Looked up for every child an inserted element passes.
int RPrRank(std::string_view local) {
  static const std::unordered_map<std::string_view, int> ranks = [] {
    std::unordered_map<std::string_view, int> r;
    for (size_t i = 0; i < std::size(kRPrOrder); ++i) r.emplace(kRPrOrder[i], static_cast<int>(i));
    return r;
  }();
  auto it = ranks.find(local);
  return it == ranks.end() ? static_cast<int>(std::size(kRPrOrder)) : it->second;
}

pugi::xml_node InsertInOrder(pugi::xml_node rPr, std::string_view local, const std::string& prefix) {
  int rank = RPrRank(local);
  for (pugi::xml_node c = rPr.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    if (RPrRank(LocalName(c)) > rank) return rPr.insert_child_before(QualifiedName(prefix, local).c_str(), c);
  }
  return rPr.append_child(QualifiedName(prefix, local).c_str());
}

void SetAttr(pugi::xml_node node, const char* name, const std::optional<std::string>& value) {
  if (!value) {
    node.remove_attribute(name);
    return;
  }
  pugi::xml_attribute a = node.attribute(name);
  if (!a) a = node.append_attribute(name);
  a.set_value(value->c_str());
}

const char* AttrName(CharProp prop) {
  switch (prop) {
    case CharProp::Bold: return "b";
    case CharProp::Italic: return "i";
    case CharProp::Underline: return "u";
    case CharProp::Strike: return "strike";
    case CharProp::Size: return "sz";
    case CharProp::Baseline: return "baseline";
    case CharProp::Lang: return "lang";
    case CharProp::Caps: return "cap";
    case CharProp::Spacing: return "spc";
    case CharProp::Kerning: return "kern";
    default: return nullptr;
  }
}

const char* FontElement(CharProp prop) {
  switch (prop) {
    case CharProp::Latin: return "latin";
    case CharProp::EastAsian: return "ea";
    case CharProp::ComplexScript: return "cs";
    case CharProp::Symbol: return "sym";
    default: return nullptr;
  }
}

std::optional<std::string> ReadColor(pugi::xml_node fillParent) {
  for (const char* f : kFills) {
    pugi::xml_node fill = Child(fillParent, f);
    if (!fill) continue;
    if (std::string_view(f) == "noFill") return std::string("none");
    if (std::string_view(f) != "solidFill") return std::string("other:") + f;
    for (pugi::xml_node c = fill.first_child(); c; c = c.next_sibling()) {
      std::string_view l = LocalName(c);
      if (l == "srgbClr") return "srgb:" + std::string(c.attribute("val").value());
      if (l == "schemeClr") return "scheme:" + std::string(c.attribute("val").value());
      if (l == "sysClr") return "srgb:" + std::string(c.attribute("lastClr").as_string("000000"));
      if (l == "prstClr") return "prst:" + std::string(c.attribute("val").value());
    }
    return std::string("other:solidFill");
  }
  return std::nullopt;
}

// Normalised boolean spelling so that "true" and "1" compare equal.
std::string NormBool(const char* v) {
  std::string_view s = v;
  return (s == "1" || s == "true" || s == "on") ? "1" : "0";
}

// Characters an XML part cannot carry are dropped; line feeds become
// paragraph breaks the way PowerPoint treats typed or pasted text.
std::wstring NormaliseInput(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
    if (c == L'\n') c = L'\r';
    if (c < 0x20 && c != L'\t' && c != L'\r' && c != L'\v') continue;
    if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) continue;
    out += c;
  }
  return out;
}

// A key that is equal for two runs exactly when PowerPoint shows them with
// the same formatting; bookkeeping attributes do not count.
std::string FormatKey(pugi::xml_node rPr) {
  if (!rPr) return {};
  std::vector<std::string> attrs;
  for (pugi::xml_attribute a : rPr.attributes()) {
    std::string_view n = a.name();
    if (n == "dirty" || n == "err" || n == "smtClean" || n == "smtId" || n == "noProof") continue;
    attrs.push_back(std::string(n) + "=" + a.value());
  }
  std::sort(attrs.begin(), attrs.end());
  std::ostringstream out;
  for (auto& a : attrs) out << a << ';';
  for (pugi::xml_node c = rPr.first_child(); c; c = c.next_sibling()) c.print(out, "", pugi::format_raw);
  return out.str();
}

// Characters of the text as the wide conversion will see them (which also
// decides what a damaged byte sequence counts as); ASCII needs no decoding.
long Utf8Length(const char* s) {
  long n = 0;
  for (const char* c = s; *c; ++c, ++n)
    if (static_cast<unsigned char>(*c) >= 0x80) return static_cast<long>(pugi::as_wide(s).size());
  return n;
}

// The first item of a paragraph that ends after pos: those before hold
// nothing at or after it. Paragraphs of thousands of runs are searched
// by halving.
size_t FirstItemEndingAfter(const TextBody::Para& p, long pos) {
  auto it = std::partition_point(p.items.begin(), p.items.end(),
                                 [pos](const TextBody::Item& i) { return i.start + i.length <= pos; });
  return static_cast<size_t>(it - p.items.begin());
}

pugi::xml_node RPrOf(const TextBody::Item& item) {
  if (item.kind == TextBody::Item::Other) return {};
  return Child(item.node, "rPr");
}

void SetItemUtf8(pugi::xml_node item, const std::string& prefix, const std::string& text) {
  pugi::xml_node t = Child(item, "t");
  if (!t) t = item.append_child(QualifiedName(prefix, "t").c_str());
  // Written over the text the element holds, in itself (as read) or in its
  // one text node, rather than into a new node: a run rewritten at every
  // split then leaves no dead nodes in the document's memory. Empty text
  // goes, so that the element closes as it did.
  pugi::xml_node only = t.first_child();
  if (text.empty() || !only || only.next_sibling() || only.type() != pugi::node_pcdata || *t.value()) {
    while (t.first_child()) t.remove_child(t.first_child());
    only = {};
  }
  if (only)
    only.set_value(text.c_str());
  else if (!text.empty() || t.text())
    t.text().set(text.c_str());
}

void SetItemText(pugi::xml_node item, const std::string& prefix, const std::wstring& text) {
  SetItemUtf8(item, prefix, pugi::as_utf8(text));
}

// The byte where character k of well-formed UTF-8 text starts, counted as
// the wide conversion counts; none when the text is not well formed or k
// falls inside a surrogate pair, where only the conversion itself decides.
// A text known to be well formed is read only up to character k: a run
// split again and again is not read whole at every cut.
std::optional<size_t> Utf8Offset(std::string_view s, long k, bool wellFormed) {
  auto cont = [&](size_t at, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    if (at >= s.size()) return false;
    const auto b = static_cast<unsigned char>(s[at]);
    return b >= lo && b <= hi;
  };
  std::optional<size_t> found;
  long n = 0;
  for (size_t i = 0; i < s.size();) {
    if (n == k) {
      if (wellFormed) return i;
      found = i;
    }
    const auto b = static_cast<unsigned char>(s[i]);
    size_t size = 0;
    long units = 1;
    if (b < 0x80) size = 1;
    else if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) size = 2;
    else if (b >= 0xE0 && b <= 0xEF && cont(i + 1, b == 0xE0 ? 0xA0 : 0x80, b == 0xED ? 0x9F : 0xBF) && cont(i + 2))
      size = 3;
    else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1, b == 0xF0 ? 0x90 : 0x80, b == 0xF4 ? 0x8F : 0xBF) &&
             cont(i + 2) && cont(i + 3)) {
      size = 4;
      units = sizeof(wchar_t) == 2 ? 2 : 1;
    } else {
      return std::nullopt;
    }
    if (units == 2 && n + 1 == k) return std::nullopt;
    i += size;
    n += units;
  }
  if (n == k) found = s.size();
  return found;
}

}  // namespace

void SetCharProp(pugi::xml_node rPr, CharProp prop, const std::optional<std::string>& value,
                 const std::string& prefix) {
  if (const char* attr = AttrName(prop)) {
    SetAttr(rPr, attr, value);
    return;
  }
  if (const char* element = FontElement(prop)) {
    pugi::xml_node e = Child(rPr, element);
    if (!value) {
      if (e) rPr.remove_child(e);
      return;
    }
    // The panose and charset of another face would describe the wrong font.
    if (e) rPr.remove_child(e);
    e = InsertInOrder(rPr, element, prefix);
    e.append_attribute("typeface").set_value(value->c_str());
    return;
  }
  if (prop == CharProp::Color) {
    for (const char* f : kFills)
      if (pugi::xml_node old = Child(rPr, f)) rPr.remove_child(old);
    if (!value) return;
    if (*value == "none") {
      InsertInOrder(rPr, "noFill", prefix);
      return;
    }
    pugi::xml_node fill = InsertInOrder(rPr, "solidFill", prefix);
    std::string_view v = *value;
    if (v.starts_with("scheme:")) {
      fill.append_child(QualifiedName(prefix, "schemeClr").c_str()).append_attribute("val").set_value(
          std::string(v.substr(7)).c_str());
    } else if (v.starts_with("prst:")) {
      fill.append_child(QualifiedName(prefix, "prstClr").c_str()).append_attribute("val").set_value(
          std::string(v.substr(5)).c_str());
    } else {
      if (v.starts_with("srgb:")) v.remove_prefix(5);
      fill.append_child(QualifiedName(prefix, "srgbClr").c_str()).append_attribute("val").set_value(
          std::string(v).c_str());
    }
    return;
  }
  if (prop == CharProp::Shadow) {
    pugi::xml_node effects = Child(rPr, "effectLst");
    if (!value) {
      if (effects) rPr.remove_child(effects);
      return;
    }
    if (!effects) effects = InsertInOrder(rPr, "effectLst", prefix);
    pugi::xml_node shadow = Child(effects, "outerShdw");
    if (*value == "1") {
      if (shadow) return;
      // The shadow PowerPoint's text-shadow button gives; it goes after
      // blur/fillOverlay/glow/innerShdw and before the rest.
      pugi::xml_node before;
      for (pugi::xml_node c = effects.first_child(); c; c = c.next_sibling()) {
        std::string_view l = LocalName(c);
        if (l == "prstShdw" || l == "reflection" || l == "softEdge") {
          before = c;
          break;
        }
      }
      std::string name = QualifiedName(prefix, "outerShdw");
      shadow = before ? effects.insert_child_before(name.c_str(), before) : effects.append_child(name.c_str());
      shadow.append_attribute("blurRad").set_value("38100");
      shadow.append_attribute("dist").set_value("38100");
      shadow.append_attribute("dir").set_value("2700000");
      shadow.append_attribute("algn").set_value("tl");
      pugi::xml_node clr = shadow.append_child(QualifiedName(prefix, "srgbClr").c_str());
      clr.append_attribute("val").set_value("000000");
      clr.append_child(QualifiedName(prefix, "alpha").c_str()).append_attribute("val").set_value("43137");
    } else if (shadow) {
      effects.remove_child(shadow);
    }
  }
}

TextBody::TextBody(pugi::xml_node txBody, std::shared_ptr<const TextStyleContext> context)
    : mBody(txBody), mContext(std::move(context)) {
  bool found = false;
  for (pugi::xml_node c = mBody.first_child(); c; c = c.next_sibling()) {
    std::string_view l = LocalName(c);
    if (c.type() == pugi::node_element && (l == "p" || l == "bodyPr" || l == "lstStyle")) {
      mPrefix = std::string(PrefixOf(c));
      found = true;
      break;
    }
  }
  if (!found) {
    for (pugi::xml_node n = mBody; n && !found; n = n.parent()) {
      for (pugi::xml_attribute a : n.attributes()) {
        if (!kDrawingMl.Matches(a.value())) continue;
        std::string_view an = a.name();
        if (an == "xmlns") mPrefix.clear();
        else if (an.starts_with("xmlns:")) mPrefix = std::string(an.substr(6));
        else continue;
        found = true;
        break;
      }
    }
  }
}

std::string TextBody::Name(const char* local) const { return QualifiedName(mPrefix, local); }

namespace {

// What one child of a paragraph stands for in the index, starting at pos.
TextBody::Item ReadItem(pugi::xml_node c, long pos) {
  using Item = TextBody::Item;
  Item item;
  item.node = c;
  item.start = pos;
  std::string_view l = LocalName(c);
  if (l == "r" || l == "fld") {
    item.kind = l == "r" ? Item::Run : Item::Field;
    item.utf8 = Child(c, "t").child_value();
    item.length = Utf8Length(item.utf8);
  } else if (l == "br") {
    item.kind = Item::Break;
    item.length = 1;
  }
  return item;
}

}  // namespace

// What one paragraph stands for in the index, its text starting at pos.
TextBody::Para TextBody::ReadPara(pugi::xml_node p, long pos) {
  Para para;
  para.node = p;
  para.start = pos;
  // Sized exactly: a body of many short paragraphs keeps one entry a run,
  // and spare room in each would outweigh the runs themselves.
  auto counted = [](pugi::xml_node c) {
    if (c.type() != pugi::node_element) return false;
    std::string_view l = LocalName(c);
    return l != "pPr" && l != "endParaRPr";
  };
  size_t count = 0;
  for (pugi::xml_node c = p.first_child(); c; c = c.next_sibling()) count += counted(c);
  para.items.reserve(count);
  for (pugi::xml_node c = p.first_child(); c; c = c.next_sibling()) {
    if (!counted(c)) continue;
    para.items.push_back(ReadItem(c, pos));
    pos += para.items.back().length;
  }
  para.length = pos - para.start;
  return para;
}

const std::vector<TextBody::Para>& TextBody::Index() const {
  if (mIndexValid) return mIndex;
  std::vector<Para>& paras = mIndex;
  // Sized first (by the body's elements, its few other children among
  // them): growing by doubling holds the index of a body of many
  // paragraphs twice at once, and half as much again to spare.
  size_t elements = 0;
  for (pugi::xml_node p = mBody.first_child(); p; p = p.next_sibling()) elements += p.type() == pugi::node_element;
  paras.clear();
  paras.reserve(elements);
  long pos = 0;
  for (pugi::xml_node p = mBody.first_child(); p; p = p.next_sibling()) {
    if (p.type() != pugi::node_element || LocalName(p) != "p") continue;
    if (!paras.empty()) pos += 1;  // the previous paragraph's mark
    paras.push_back(ReadPara(p, pos));
    pos = paras.back().start + paras.back().length;
  }
  mIndexValid = true;
  return paras;
}

void TextBody::Reread(size_t first, size_t count) {
  if (!mIndexValid) return;
  // The paragraphs around the edited ones stand, so the XML between them is
  // all there is to read again; those after move by what the edit added.
  const size_t next = first + count;
  pugi::xml_node stop = next < mIndex.size() ? mIndex[next].node : pugi::xml_node();
  pugi::xml_node from = first > 0 ? mIndex[first - 1].node.next_sibling() : mBody.first_child();
  long pos = first > 0 ? mIndex[first - 1].start + mIndex[first - 1].length : 0;
  std::vector<Para> fresh;
  for (pugi::xml_node p = from; p && p != stop; p = p.next_sibling()) {
    if (p.type() != pugi::node_element || LocalName(p) != "p") continue;
    if (first > 0 || !fresh.empty()) pos += 1;
    fresh.push_back(ReadPara(p, pos));
    pos = fresh.back().start + fresh.back().length;
  }
  if (next < mIndex.size()) {
    const long nextStart = first > 0 || !fresh.empty() ? pos + 1 : 0;
    const long shift = nextStart - mIndex[next].start;
    if (shift != 0)
      for (size_t pi = next; pi < mIndex.size(); ++pi) {
        mIndex[pi].start += shift;
        for (Item& item : mIndex[pi].items) item.start += shift;
      }
  }
  const auto at = mIndex.begin() + static_cast<std::ptrdiff_t>(first);
  mIndex.erase(at, at + static_cast<std::ptrdiff_t>(count));
  mIndex.insert(mIndex.begin() + static_cast<std::ptrdiff_t>(first), std::make_move_iterator(fresh.begin()),
                std::make_move_iterator(fresh.end()));
}

std::wstring TextBody::Text() const {
  std::wstring s;
  s.reserve(static_cast<size_t>(Length()));
  bool first = true;
  for (const Para& p : Index()) {
    if (!first) s += L'\r';
    first = false;
    for (const Item& i : p.items)
      if (i.length) s += i.Text();
  }
  return s;
}

namespace {

// Above this many children of a body, its text is read without the index:
// the index of a body of hundreds of thousands of paragraphs takes a
// quarter of the size of its XML, beside the document's own three times
// that, for a caller that reads the text once from start to end.
constexpr size_t kIndexedChildren = 4096;

pugi::xml_node ParaFrom(pugi::xml_node n) {
  while (n && (n.type() != pugi::node_element || LocalName(n) != "p")) n = n.next_sibling();
  return n;
}

}  // namespace

bool TextBody::Unindexed() const {
  if (mIndexValid) return false;
  if (mLarge < 0) {
    size_t n = 0;
    for (pugi::xml_node c = mBody.first_child(); c && n <= kIndexedChildren; c = c.next_sibling()) ++n;
    mLarge = n > kIndexedChildren;
  }
  return mLarge != 0;
}

std::wstring TextBody::ReadText(long start, long end) const {
  // Read on from the last read's paragraph when the span lies at or after
  // it, as a front-to-back reader's next slice does.
  pugi::xml_node p = mRead.para;
  long pos = mRead.start;
  if (!p || pos > start) {
    p = ParaFrom(mBody.first_child());
    pos = 0;
  }
  std::wstring s;
  s.reserve(static_cast<size_t>(end - start));
  while (p && pos < end) {
    const Para para = ReadPara(p, pos);
    const pugi::xml_node next = ParaFrom(p.next_sibling());
    const long stop = para.start + para.length + (next ? 1 : 0);
    if (stop > start) {
      std::wstring t;
      for (const Item& i : para.items)
        if (i.length) t += i.Text();
      if (next) t += L'\r';
      const long from = std::max(start, pos) - pos;
      s.append(t, static_cast<size_t>(from), static_cast<size_t>(std::min(end, stop) - pos - from));
      mRead.para = p;
      mRead.start = pos;
    }
    p = next;
    pos = stop;
  }
  return s;
}

std::wstring TextBody::Text(TextSpan span) const {
  const long total = Length();
  const long start = std::clamp(span.start, 0L, total);
  const long end = start + std::clamp(span.length, 0L, total - start);
  if (end == start) return {};
  if (Unindexed()) return ReadText(start, end);
  const auto& idx = Index();
  // Only the paragraphs the span reaches: ranges read their text one
  // paragraph at a time from bodies of thousands.
  const size_t first = static_cast<size_t>(ParagraphAt(start));
  size_t last = first;
  while (last + 1 < idx.size() && idx[last + 1].start < end) ++last;
  // Built at its final size and cut in place: the whole text of a body of
  // hundreds of megabytes is otherwise held two or three times over.
  std::wstring s;
  s.reserve(static_cast<size_t>(idx[last].start + idx[last].length + 1 - idx[first].start));
  for (size_t pi = first; pi <= last; ++pi) {
    for (const Item& i : idx[pi].items)
      if (i.length) s += i.Text();
    if (pi + 1 < idx.size()) s += L'\r';
  }
  s.resize(std::min(s.size(), static_cast<size_t>(end - idx[first].start)));
  s.erase(0, static_cast<size_t>(start - idx[first].start));
  return s;
}

long TextBody::Length() const {
  if (Unindexed()) {
    if (mRead.length < 0) mRead.length = CountLength();
    return mRead.length;
  }
  const auto& idx = Index();
  if (idx.empty()) return 0;
  return idx.back().start + idx.back().length;
}

long TextBody::CountLength() const {
  if (mIndexValid) return Length();
  long pos = 0;
  bool first = true;
  for (pugi::xml_node p = mBody.first_child(); p; p = p.next_sibling()) {
    if (p.type() != pugi::node_element || LocalName(p) != "p") continue;
    if (!first) pos += 1;
    first = false;
    for (pugi::xml_node c = p.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      std::string_view l = LocalName(c);
      if (l == "r" || l == "fld") pos += Utf8Length(Child(c, "t").child_value());
      else if (l == "br") pos += 1;
    }
  }
  return pos;
}

std::vector<TextSpan> TextBody::Paragraphs() const {
  const auto& idx = Index();
  std::vector<TextSpan> out;
  for (size_t i = 0; i < idx.size(); ++i)
    out.push_back({idx[i].start, idx[i].length + (i + 1 < idx.size() ? 1 : 0)});
  return out;
}

long TextBody::ParagraphAt(long pos) const {
  const auto& idx = Index();
  // Paragraphs follow each other, so the first one reaching pos is found
  // by halving: ranges ask this for every paragraph of a long body.
  auto it = std::partition_point(idx.begin(), idx.end(), [pos](const Para& p) { return p.start + p.length < pos; });
  if (it != idx.end()) return static_cast<long>(it - idx.begin());
  return idx.empty() ? 0 : static_cast<long>(idx.size()) - 1;
}

std::vector<TextSpan> TextBody::Runs() const {
  const auto& idx = Index();
  std::vector<TextSpan> out;
  for (size_t pi = 0; pi < idx.size(); ++pi) {
    const Para& p = idx[pi];
    bool last = pi + 1 == idx.size();
    size_t firstOfPara = out.size();
    std::string prevKey;
    bool prevField = false;
    for (const Item& item : p.items) {
      if (item.length == 0) continue;
      std::string key = FormatKey(RPrOf(item));
      // A field's text is the host's to keep up to date: it is a run of its
      // own even beside text formatted alike, so that a caller going run by
      // run meets it whole.
      const bool field = item.kind == Item::Field;
      if (out.size() > firstOfPara && key == prevKey && !field && !prevField && out.back().end() == item.start) {
        out.back().length += item.length;
      } else {
        out.push_back({item.start, item.length});
      }
      prevKey = std::move(key);
      prevField = field;
    }
    if (!last) {
      if (out.size() > firstOfPara && !prevField) out.back().length += 1;
      else out.push_back({p.start + p.length, 1});
    }
  }
  return out;
}

pugi::xml_node TextBody::FormatNodeAt(long pos) const {
  const auto& idx = Index();
  if (idx.empty()) return {};
  for (size_t pi = static_cast<size_t>(ParagraphAt(pos)); pi < idx.size(); ++pi) {
    const Para& p = idx[pi];
    if (pos > p.start + p.length && pi + 1 < idx.size()) continue;
    for (const Item& item : p.items)
      if (item.length > 0 && pos >= item.start && pos < item.start + item.length)
        return RPrOf(item);
    // The paragraph mark, or past the end.
    if (pugi::xml_node end = Child(p.node, "endParaRPr")) return end;
    for (auto it = p.items.rbegin(); it != p.items.rend(); ++it)
      if (it->length > 0) return RPrOf(*it);
    return {};
  }
  return {};
}

void TextBody::SplitAt(long pos) {
  if (Index().empty()) return;
  const size_t pi = static_cast<size_t>(ParagraphAt(pos));
  {
    Para& p = mIndex[pi];
    if (pos < p.start || pos > p.start + p.length) return;
    for (size_t ii = FirstItemEndingAfter(p, pos); ii < p.items.size(); ++ii) {
      const Item& item = p.items[ii];
      long len = item.length;
      if (item.start >= pos) break;
      if (pos >= item.start + len) continue;
      if (item.kind != Item::Run && item.kind != Item::Field) return;
      const long start = item.start;
      pugi::xml_node node = item.node;
      if (item.kind == Item::Field) {
        // A field cut by an edit becomes plain text, as it does when a user
        // types into it.
        node.set_name(Name("r").c_str());
        node.remove_attribute("id");
        node.remove_attribute("type");
        if (pugi::xml_node pPr = Child(node, "pPr")) node.remove_child(pPr);
      }
      pugi::xml_node copy = node.parent().insert_copy_after(node, node);
      long k = pos - item.start;
      // A run split again and again as its text takes the formatting of
      // the text it replaces is cut as it is stored, without converting it.
      const std::string_view utf8 = item.utf8;
      Item head, tail;
      if (std::optional<size_t> at = Utf8Offset(utf8, k, item.wellFormed)) {
        // The halves are taken before either is written: the item's text
        // goes with its first write.
        std::string first(utf8.substr(0, *at)), second(utf8.substr(*at));
        SetItemUtf8(node, mPrefix, first);
        SetItemUtf8(copy, mPrefix, second);
        head = tail = item;
        head.kind = tail.kind = Item::Run;
        head.wellFormed = tail.wellFormed = true;
        head.node = node;
        head.utf8 = Child(node, "t").child_value();
        head.length = k;
        tail.node = copy;
        tail.utf8 = Child(copy, "t").child_value();
        tail.start = start + k;
        tail.length = len - k;
      } else {
        std::wstring text = item.Text();
        SetItemText(node, mPrefix, text.substr(0, k));
        SetItemText(copy, mPrefix, text.substr(k));
        head = ReadItem(node, start);
        tail = ReadItem(copy, start + k);
      }
      // The two halves take the place of the item; every position stands,
      // so the index is mended instead of built again for the next edit.
      if (head.length + tail.length != len) {
        Invalidate();
        return;
      }
      p.items[ii] = head;
      p.items.insert(p.items.begin() + static_cast<std::ptrdiff_t>(ii) + 1, tail);
      return;
    }
  }
}

void TextBody::Delete(TextSpan span) {
  if (span.length <= 0) return;
  SplitAt(span.start);
  SplitAt(span.end());
  const auto& idx = Index();
  if (idx.empty()) return;
  // Only the paragraphs from the one holding the span's start to the one
  // holding its end lose characters or their marks.
  const size_t firstPara = static_cast<size_t>(ParagraphAt(span.start));
  const size_t lastPara = static_cast<size_t>(ParagraphAt(span.end()));
  std::vector<size_t> merges;
  for (size_t pi = firstPara; pi <= lastPara; ++pi) {
    const Para& p = idx[pi];
    pugi::xml_node para = p.node;
    bool keepsText = false;
    pugi::xml_node lastFormat;
    std::vector<pugi::xml_node> removing;
    for (const Item& item : p.items) {
      long len = item.length;
      if (len > 0 && item.start >= span.start && item.start + len <= span.end()) {
        removing.push_back(item.node);
        if (pugi::xml_node f = RPrOf(item)) lastFormat = f;
      } else if (len > 0) {
        keepsText = true;
      }
    }
    // An emptied paragraph keeps its size and font through its mark, so
    // that text typed into it later looks like the text it replaces.
    if (!removing.empty() && !keepsText && lastFormat && !Child(para, "endParaRPr")) {
      pugi::xml_node end = para.append_copy(lastFormat);
      end.set_name(Name("endParaRPr").c_str());
      end.remove_attribute("err");
    }
    for (pugi::xml_node n : removing) para.remove_child(n);
    long mark = p.start + p.length;
    if (pi + 1 < idx.size() && mark >= span.start && mark < span.end()) merges.push_back(pi);
  }
  for (auto it = merges.rbegin(); it != merges.rend(); ++it) {
    pugi::xml_node a = idx[*it].node;
    pugi::xml_node b = idx[*it + 1].node;
    // The joined paragraph keeps the first one's properties and ends with
    // the second one's mark.
    if (pugi::xml_node end = Child(a, "endParaRPr")) a.remove_child(end);
    std::vector<pugi::xml_node> moving;
    for (pugi::xml_node c = b.first_child(); c; c = c.next_sibling())
      if (!(c.type() == pugi::node_element && LocalName(c) == "pPr")) moving.push_back(c);
    for (pugi::xml_node c : moving) a.append_move(c);
    mBody.remove_child(b);
  }
  Reread(firstPara, lastPara - firstPara + 1);
}

void TextBody::Insert(long pos, std::wstring_view text, pugi::xml_node templ) {
  if (text.empty()) return;
  SplitAt(pos);
  if (Index().empty()) {
    // A body must hold a paragraph; an empty one gets its first.
    mBody.append_child(Name("p").c_str());
    Invalidate();
  }
  const auto& idx = Index();
  const size_t pi = static_cast<size_t>(ParagraphAt(pos));
  pugi::xml_node para = idx[pi].node;
  pugi::xml_node ref;
  for (const Item& item : idx[pi].items)
    if (item.start >= pos) {
      ref = item.node;
      break;
    }

  bool hasFormat = templ && (templ.first_attribute() || templ.first_child());
  auto addFormat = [&](pugi::xml_node parent, const char* local) {
    if (!hasFormat) return;
    pugi::xml_node copy = parent.append_copy(templ);
    copy.set_name(Name(local).c_str());
    copy.remove_attribute("err");
    if (std::string_view(local) == "rPr") {
      // A copied mark can hold paragraph-only children (none in the
      // schema today), so only the rPr attributes and children travel.
    }
  };
  auto insertNode = [&](const char* local) {
    std::string name = Name(local);
    if (ref) return para.insert_child_before(name.c_str(), ref);
    if (pugi::xml_node end = Child(para, "endParaRPr")) return para.insert_child_before(name.c_str(), end);
    return para.append_child(name.c_str());
  };

  size_t i = 0;
  while (i <= text.size()) {
    size_t stop = text.find_first_of(L"\r\v", i);
    std::wstring_view piece = text.substr(i, stop == std::wstring_view::npos ? std::wstring_view::npos : stop - i);
    if (!piece.empty()) {
      pugi::xml_node r = insertNode("r");
      addFormat(r, "rPr");
      SetItemText(r, mPrefix, std::wstring(piece));
    }
    if (stop == std::wstring_view::npos) break;
    if (text[stop] == L'\v') {
      pugi::xml_node br = insertNode("br");
      addFormat(br, "rPr");
    } else {
      pugi::xml_node next = mBody.insert_child_after(Name("p").c_str(), para);
      if (pugi::xml_node pPr = Child(para, "pPr")) next.append_copy(pPr);
      std::vector<pugi::xml_node> moving;
      bool from = false;
      for (pugi::xml_node c = para.first_child(); c; c = c.next_sibling()) {
        if (c == ref) from = true;
        if (from || (c.type() == pugi::node_element && LocalName(c) == "endParaRPr")) moving.push_back(c);
      }
      for (pugi::xml_node c : moving) next.append_move(c);
      addFormat(para, "endParaRPr");
      para = next;
      ref = pugi::xml_node();
      for (pugi::xml_node c = para.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        std::string_view l = LocalName(c);
        if (l == "pPr") continue;
        if (l != "endParaRPr") ref = c;
        break;
      }
    }
    i = stop + 1;
  }
  // The new paragraphs follow the one inserted into.
  Reread(pi, 1);
}

void TextBody::RemoveEmptyRuns(size_t first, size_t last) {
  const auto& idx = Index();
  for (size_t pi = first; pi <= last && pi < idx.size(); ++pi) {
    Para& p = mIndex[pi];
    bool anyText = false;
    pugi::xml_node lastEmptyFormat;
    std::vector<pugi::xml_node> empty;
    for (const Item& item : p.items) {
      if (item.kind == Item::Run && item.length == 0) {
        empty.push_back(item.node);
        if (pugi::xml_node f = RPrOf(item)) lastEmptyFormat = f;
      } else if (item.length > 0) {
        anyText = true;
      }
    }
    if (empty.empty()) continue;
    // An emptied paragraph keeps its size and font through its mark.
    if (!anyText && lastEmptyFormat && !Child(p.node, "endParaRPr")) {
      pugi::xml_node end = pugi::xml_node(p.node).append_copy(lastEmptyFormat);
      end.set_name(Name("endParaRPr").c_str());
    }
    for (pugi::xml_node n : empty) pugi::xml_node(p.node).remove_child(n);
    // Empty runs hold no characters: every position stands.
    std::erase_if(p.items, [](const Item& item) { return item.kind == Item::Run && item.length == 0; });
  }
}

TextSpan TextBody::Replace(TextSpan span, std::wstring_view rawText) {
  long total = Length();
  span.start = std::clamp(span.start, 0L, total);
  span.length = std::clamp(span.length, 0L, total - span.start);
  std::wstring text = NormaliseInput(rawText);

  // The formatting new text takes, held apart since the run it comes from
  // may be deleted.
  pugi::xml_document scratch;
  pugi::xml_node templ;
  {
    pugi::xml_node source;
    if (span.length > 0) {
      std::wstring old = Text(span);
      long first = 0;
      while (first < static_cast<long>(old.size()) && (old[first] == L'\r' || old[first] == L'\v')) ++first;
      source = FormatNodeAt(span.start + (first < static_cast<long>(old.size()) ? first : 0));
    } else {
      bool atParagraphStart = span.start == 0 || Text({span.start - 1, 1}) == L"\r";
      source = FormatNodeAt(atParagraphStart ? span.start : span.start - 1);
    }
    if (source) templ = scratch.append_copy(source);
  }

  Delete(span);
  Insert(span.start, text, templ);
  // Empty runs anywhere go with a handle's first edit; later edits make
  // none outside the paragraphs they touch.
  const long end = span.start + static_cast<long>(text.size());
  if (mSwept) {
    RemoveEmptyRuns(static_cast<size_t>(ParagraphAt(span.start)), static_cast<size_t>(ParagraphAt(end)));
  } else {
    RemoveEmptyRuns(0, Index().size());
    mSwept = true;
  }
  return {span.start, static_cast<long>(text.size())};
}

std::optional<std::string> TextBody::ReadProp(pugi::xml_node rPr, CharProp prop) const {
  if (!rPr) return std::nullopt;
  if (const char* attr = AttrName(prop)) {
    pugi::xml_attribute a = rPr.attribute(attr);
    if (!a) return std::nullopt;
    if (prop == CharProp::Bold || prop == CharProp::Italic) return NormBool(a.value());
    return std::string(a.value());
  }
  if (const char* element = FontElement(prop)) {
    pugi::xml_node e = Child(rPr, element);
    if (!e || !e.attribute("typeface")) return std::nullopt;
    return std::string(e.attribute("typeface").value());
  }
  if (prop == CharProp::Color) return ReadColor(rPr);
  if (prop == CharProp::Shadow) {
    pugi::xml_node effects = Child(rPr, "effectLst");
    if (!effects) return std::nullopt;
    return Child(effects, "outerShdw") ? "1" : "0";
  }
  return std::nullopt;
}

std::optional<std::string> TextBody::Inherited(int level, CharProp prop) const {
  level = std::clamp(level, 0, 8);
  // Layouts and style reads ask for the same few values run after run.
  const int key = level * 64 + static_cast<int>(prop);
  if (auto it = mInherited.find(key); it != mInherited.end()) return it->second;
  return mInherited[key] = LookUpInherited(level, prop);
}

std::optional<std::string> TextBody::LookUpInherited(int level, CharProp prop) const {
  std::string lvl = "lvl" + std::to_string(level + 1) + "pPr";
  auto fromStyle = [&](pugi::xml_node style) -> std::optional<std::string> {
    if (!style) return std::nullopt;
    for (const char* name : {lvl.c_str(), "defPPr"}) {
      pugi::xml_node l = Child(style, name);
      if (auto v = ReadProp(Child(l, "defRPr"), prop)) return v;
    }
    return std::nullopt;
  };
  if (auto v = fromStyle(Child(mBody, "lstStyle"))) return v;
  if (!mContext) return std::nullopt;
  // What the context gives is the same for every body that uses it.
  auto [it, added] = mContext->inherited.try_emplace(level * 64 + static_cast<int>(prop));
  if (!added) return it->second;
  std::optional<std::string>& value = it->second;
  if (prop == CharProp::Bold || prop == CharProp::Italic)
    for (pugi::xml_node style : mContext->tableTextStyles) {
      const std::string_view v = style.attribute(prop == CharProp::Bold ? "b" : "i").value();
      if (v == "on") return value = "1";
      if (v == "off") return value = "0";
    }
  for (pugi::xml_node style : mContext->listStyles)
    if ((value = fromStyle(style))) return value;
  return value;
}

pugi::xml_node TextBody::InheritedParagraphElement(int level, const char* localName) const {
  std::string lvl = "lvl" + std::to_string(std::clamp(level, 0, 8) + 1) + "pPr";
  auto fromStyle = [&](pugi::xml_node style) -> pugi::xml_node {
    if (!style) return {};
    for (const char* name : {lvl.c_str(), "defPPr"})
      if (pugi::xml_node e = Child(Child(style, name), localName)) return e;
    return {};
  };
  if (pugi::xml_node e = fromStyle(Child(mBody, "lstStyle"))) return e;
  if (mContext)
    for (pugi::xml_node style : mContext->listStyles)
      if (pugi::xml_node e = fromStyle(style)) return e;
  return {};
}

std::vector<pugi::xml_node> TextBody::ParagraphStyleChain(pugi::xml_node paragraph) const {
  std::vector<pugi::xml_node> chain;
  pugi::xml_node pPr = Child(paragraph, "pPr");
  if (pPr) chain.push_back(pPr);
  int level = std::clamp(pPr.attribute("lvl").as_int(0), 0, 8);
  std::string lvl = "lvl" + std::to_string(level + 1) + "pPr";
  auto add = [&](pugi::xml_node style) {
    if (pugi::xml_node l = Child(style, lvl)) chain.push_back(l);
    if (pugi::xml_node d = Child(style, "defPPr")) chain.push_back(d);
  };
  add(Child(mBody, "lstStyle"));
  if (mContext)
    for (pugi::xml_node style : mContext->listStyles) add(style);
  return chain;
}

std::optional<std::string> TextBody::Effective(pugi::xml_node rPr, int level, CharProp prop) const {
  if (auto v = ReadProp(rPr, prop)) return v;
  if (mContext && mContext->paragraphDefaults && rPr) {
    // a:r/a:rPr, a:fld/a:rPr, a:br/a:rPr or a:p/a:endParaRPr.
    pugi::xml_node p = rPr.parent();
    if (!Is(p, "p")) p = p.parent();
    if (auto v = ReadProp(Child(Child(p, "pPr"), "defRPr"), prop)) return v;
  }
  if (auto v = Inherited(level, prop)) return v;
  // What the renderer assumes when nothing says otherwise, so that an
  // explicit default and an absent value read the same.
  switch (prop) {
    case CharProp::Bold:
    case CharProp::Italic:
    case CharProp::Baseline:
    case CharProp::Spacing:
    case CharProp::Shadow: return "0";
    case CharProp::Underline:
    case CharProp::Caps: return "none";
    case CharProp::Strike: return "noStrike";
    case CharProp::Size: return "1800";
    case CharProp::Latin: return "+mn-lt";
    case CharProp::EastAsian: return "+mn-ea";
    case CharProp::ComplexScript: return "+mn-cs";
    case CharProp::Color: return "scheme:tx1";
    default: return std::nullopt;
  }
}

int TextBody::Level(long paragraph) const {
  const auto& idx = Index();
  if (paragraph < 0 || paragraph >= static_cast<long>(idx.size())) return 0;
  return Child(idx[paragraph].node, "pPr").attribute("lvl").as_int(0);
}

PropValue TextBody::Get(TextSpan span, CharProp prop) const {
  PropValue v;
  Get(span, {&prop, 1}, {&v, 1});
  return v;
}

void TextBody::Get(TextSpan span, std::span<const CharProp> props, std::span<PropValue> out) const {
  const auto& idx = Index();
  for (PropValue& v : out) v = {};
  if (idx.empty()) return;
  if (span.length <= 0) {
    long pos = std::clamp(span.start, 0L, Length());
    bool atParagraphStart = pos == 0 || Text({pos - 1, 1}) == L"\r";
    long at = atParagraphStart ? pos : pos - 1;
    const pugi::xml_node rPr = FormatNodeAt(at);
    const int level = Level(ParagraphAt(at));
    for (size_t i = 0; i < props.size(); ++i) out[i].value = Effective(rPr, level, props[i]);
    return;
  }
  bool any = false;
  auto take = [&](pugi::xml_node rPr, int level) {
    for (size_t i = 0; i < props.size(); ++i) {
      PropValue& result = out[i];
      if (result.mixed) continue;
      auto v = Effective(rPr, level, props[i]);
      if (!any) result.value = std::move(v);
      else if (v != result.value) result.mixed = true;
    }
    any = true;
  };
  // Paragraphs before the first reaching the span, or from its end on,
  // hold nothing of it.
  const size_t first = static_cast<size_t>(ParagraphAt(span.start));
  for (size_t pi = first; pi < idx.size() && idx[pi].start < span.end(); ++pi) {
    const Para& p = idx[pi];
    int level = Child(p.node, "pPr").attribute("lvl").as_int(0);
    for (size_t ii = FirstItemEndingAfter(p, span.start); ii < p.items.size(); ++ii) {
      const Item& item = p.items[ii];
      if (item.start >= span.end()) break;
      if (item.kind == Item::Break || item.length == 0) continue;
      take(RPrOf(item), level);
    }
  }
  if (!any) {
    // Only marks and breaks in the span: they are what is there to read.
    for (size_t pi = first; pi < idx.size() && idx[pi].start < span.end(); ++pi) {
      const Para& p = idx[pi];
      int level = Child(p.node, "pPr").attribute("lvl").as_int(0);
      for (const Item& item : p.items)
        if (item.kind == Item::Break && item.start >= span.start && item.start < span.end()) take(RPrOf(item), level);
      long mark = p.start + p.length;
      if (pi + 1 < idx.size() && mark >= span.start && mark < span.end()) take(FormatNodeAt(mark), level);
    }
  }
  for (PropValue& v : out)
    if (v.mixed) v.value.reset();
}

namespace {

// Whether writing typeface value into rPr leaves it exactly as it is: the
// element names that face and nothing else, under the body's own prefix,
// and stands where it would be put again (after every child that comes
// before it in schema order, right before the first that comes after).
bool HoldsFace(pugi::xml_node rPr, const char* element, const std::optional<std::string>& value,
               const std::string& prefix) {
  pugi::xml_node e = Child(rPr, element);
  if (!value) return !e;
  pugi::xml_attribute a = e.first_attribute();
  if (!a || a.next_attribute() || e.first_child() || std::strcmp(a.name(), "typeface") != 0 || *value != a.value())
    return false;
  const std::string_view name = e.name();
  if (name.size() != LocalName(e).size() + (prefix.empty() ? 0 : prefix.size() + 1) || !name.starts_with(prefix))
    return false;
  const int rank = RPrRank(element);
  for (pugi::xml_node c = rPr.first_child(); c != e; c = c.next_sibling())
    if (c.type() == pugi::node_element && RPrRank(LocalName(c)) > rank) return false;
  pugi::xml_node next = e.next_sibling();
  return !next || (next.type() == pugi::node_element && RPrRank(LocalName(next)) > rank);
}

}  // namespace

bool TextBody::Holds(TextSpan span, CharProp prop, const std::optional<std::string>& value) const {
  // Only where writing the value back would leave the XML exactly as it
  // is: a fill carries more than its value reads, and a typeface element
  // may carry the panose and charset of its face.
  const char* face = FontElement(prop);
  if (!AttrName(prop) && prop != CharProp::Shadow && !face) return false;
  auto holds = [&](pugi::xml_node rPr) {
    return face ? HoldsFace(rPr, face, value, mPrefix) : ReadProp(rPr, prop) == value;
  };
  const auto& idx = Index();
  for (size_t pi = static_cast<size_t>(ParagraphAt(span.start)); pi < idx.size() && idx[pi].start < span.end(); ++pi) {
    const Para& p = idx[pi];
    for (size_t ii = FirstItemEndingAfter(p, span.start); ii < p.items.size(); ++ii) {
      const Item& item = p.items[ii];
      if (item.start >= span.end()) break;
      if (item.kind == Item::Other || item.length == 0) continue;
      if (!holds(RPrOf(item))) return false;
    }
    long mark = p.start + p.length;
    if (pi + 1 < idx.size() && mark >= span.start && mark < span.end() && !holds(Child(p.node, "endParaRPr")))
      return false;
  }
  return true;
}

bool TextBody::Set(TextSpan span, CharProp prop, const std::optional<std::string>& value) {
  long total = Length();
  span.start = std::clamp(span.start, 0L, total);
  span.length = std::clamp(span.length, 0L, total - span.start);
  if (span.length == 0) return false;
  // Setting what every character states already would only cut its runs.
  if (Holds(span, prop, value)) return false;
  SplitAt(span.start);
  SplitAt(span.end());
  const auto& idx = Index();
  auto rPrFor = [&](pugi::xml_node owner, const char* local, bool first) {
    pugi::xml_node rPr = Child(owner, local);
    if (!rPr) {
      std::string name = Name(local);
      rPr = first ? owner.prepend_child(name.c_str()) : owner.append_child(name.c_str());
    }
    return rPr;
  };
  for (size_t pi = static_cast<size_t>(ParagraphAt(span.start)); pi < idx.size() && idx[pi].start < span.end(); ++pi) {
    const Para& p = idx[pi];
    for (size_t ii = FirstItemEndingAfter(p, span.start); ii < p.items.size(); ++ii) {
      const Item& item = p.items[ii];
      long len = item.length;
      if (item.start >= span.end()) break;
      if (item.kind == Item::Other || len == 0) continue;
      if (item.start >= span.start && item.start + len <= span.end())
        SetCharProp(rPrFor(item.node, "rPr", true), prop, value, mPrefix);
    }
    long mark = p.start + p.length;
    if (pi + 1 < idx.size() && mark >= span.start && mark < span.end())
      SetCharProp(rPrFor(p.node, "endParaRPr", false), prop, value, mPrefix);
  }
  // Only run properties changed: the runs, their texts and positions stand.
  return true;
}

namespace {

std::string ActionOf(pugi::xml_node rPr, std::string* clickId) {
  // The click first; most runs have neither, and cost no stream.
  const pugi::xml_node links[] = {Child(rPr, "hlinkClick"), Child(rPr, "hlinkMouseOver")};
  if (!links[0] && !links[1]) return {};
  std::ostringstream out;
  for (pugi::xml_node n : links) {
    if (!n) continue;
    n.print(out, "", pugi::format_raw);
    if (clickId && n == links[0]) {
      for (pugi::xml_attribute a : n.attributes()) {
        std::string_view name = a.name();
        if (name == "id" || name.ends_with(":id")) *clickId = a.value();
      }
    }
  }
  return out.str();
}

}  // namespace

std::vector<TextBody::Object> TextBody::Objects(TextSpan span) const {
  std::vector<Object> out;
  for (const Para& p : Index()) {
    for (const Item& item : p.items) {
      if (item.length == 0 || item.start >= span.end() || item.start + item.length <= span.start) continue;
      long s = std::max(item.start, span.start);
      TextSpan part{s, std::min(item.start + item.length, span.end()) - s};
      if (item.kind == Item::Field) {
        out.push_back({part, true, {}, {}});
        continue;
      }
      if (item.kind != Item::Run) continue;
      std::string clickId;
      std::string action = ActionOf(RPrOf(item), &clickId);
      if (action.empty()) continue;
      if (!out.empty() && !out.back().field && out.back().action == action && out.back().span.end() == part.start) {
        out.back().span.length += part.length;
      } else {
        out.push_back({part, false, std::move(action), std::move(clickId)});
      }
    }
  }
  return out;
}

void TextBody::SetAction(TextSpan span, const std::string& action) {
  long total = Length();
  span.start = std::clamp(span.start, 0L, total);
  span.length = std::clamp(span.length, 0L, total - span.start);
  if (span.length == 0) return;
  pugi::xml_document parsed;
  if (!action.empty() && !parsed.load_string(action.c_str(), pugi::parse_default)) return;
  SplitAt(span.start);
  SplitAt(span.end());
  for (const Para& p : Index()) {
    for (const Item& item : p.items) {
      if ((item.kind != Item::Run && item.kind != Item::Field) || item.length == 0) continue;
      if (item.start < span.start || item.start + item.length > span.end()) continue;
      pugi::xml_node rPr = Child(item.node, "rPr");
      if (!rPr) {
        if (action.empty()) continue;
        rPr = pugi::xml_node(item.node).prepend_child(Name("rPr").c_str());
      }
      for (const char* local : {"hlinkClick", "hlinkMouseOver"})
        if (pugi::xml_node old = Child(rPr, local)) rPr.remove_child(old);
      for (pugi::xml_node n = parsed.first_child(); n; n = n.next_sibling()) {
        int rank = RPrRank(LocalName(n));
        pugi::xml_node before;
        for (pugi::xml_node c = rPr.first_child(); c && !before; c = c.next_sibling())
          if (c.type() == pugi::node_element && RPrRank(LocalName(c)) > rank) before = c;
        if (before) rPr.insert_copy_before(n, before);
        else rPr.append_copy(n);
      }
    }
  }
  // Only run properties changed: the runs, their texts and positions stand.
}

bool TextBody::LinkTip(TextSpan span, bool hover, std::string* tip) const {
  const char* local = hover ? "hlinkMouseOver" : "hlinkClick";
  for (const Para& p : Index()) {
    for (const Item& item : p.items) {
      if ((item.kind != Item::Run && item.kind != Item::Field) || item.length == 0) continue;
      if (item.start >= span.end() || item.start + item.length <= span.start) continue;
      if (pugi::xml_node link = Child(RPrOf(item), local)) {
        *tip = link.attribute("tooltip").value();
        return true;
      }
    }
  }
  return false;
}

bool TextBody::SetLinkTip(TextSpan span, bool hover, const std::string& tip) {
  const char* local = hover ? "hlinkMouseOver" : "hlinkClick";
  bool any = false;
  for (const Para& p : Index()) {
    for (const Item& item : p.items) {
      if ((item.kind != Item::Run && item.kind != Item::Field) || item.length == 0) continue;
      if (item.start >= span.end() || item.start + item.length <= span.start) continue;
      pugi::xml_node link = Child(RPrOf(item), local);
      if (!link) continue;
      any = true;
      SetOrRemove(link, "tooltip", tip);
    }
  }
  return any;
}

std::optional<std::string> TextBody::ParagraphAttribute(long paragraph, const char* name) const {
  const auto& idx = Index();
  if (paragraph < 0 || paragraph >= static_cast<long>(idx.size())) return std::nullopt;
  pugi::xml_attribute a = Child(idx[paragraph].node, "pPr").attribute(name);
  if (!a) return std::nullopt;
  return std::string(a.value());
}

void TextBody::SetParagraphAttribute(long paragraph, const char* name, const std::optional<std::string>& value) {
  const auto& idx = Index();
  if (paragraph < 0 || paragraph >= static_cast<long>(idx.size())) return;
  pugi::xml_node p = idx[paragraph].node;
  pugi::xml_node pPr = Child(p, "pPr");
  if (!pPr) {
    if (!value) return;
    pPr = p.prepend_child(Name("pPr").c_str());
  }
  SetAttr(pPr, name, value);
}

}  // namespace host::pptx
