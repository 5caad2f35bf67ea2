// TextRange and TextRange2 over a text body owner. Both models share one
// implementation; they differ only in the font object and a few members.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <type_traits>
#include <unordered_map>

#include "src/host/pptx/PptxDocument.h"
#include "src/host/pptx/TextBody.h"
#include "src/host/pptx/TextLanguages.h"
#include "src/host/pptx/TextLayout.h"
#include "src/platform/ComError.h"

namespace host::pptx {
namespace {

constexpr const char* kSchemeNames[] = {"dk1", "lt1", "dk2", "lt2", "accent1", "accent2", "accent3", "accent4",
                                        "accent5", "accent6", "hlink", "folHlink", "tx1", "bg1", "tx2", "bg2"};
// The classic eight-colour scheme in the order of its ppSchemeColor values.
constexpr const char* kLegacyScheme[] = {"bg1", "tx1", "bg2", "tx2", "accent1", "accent2", "hlink", "folHlink"};

// Theme colours after the master's colour map, and the theme fonts.
std::shared_ptr<const TextStyleContext> BuildContext(TextBodyOwner& owner) {
  auto ctx = std::make_shared<TextStyleContext>();
  ctx->listStyles = owner.InheritedStyles();
  ctx->paragraphDefaults = owner.ParagraphDefaults();
  ctx->tableTextStyles = owner.TableTextStyles();
  ThemeFonts fonts = owner.Fonts();
  ctx->themeFonts["+mj-lt"] = fonts.majorLatin;
  ctx->themeFonts["+mj-ea"] = fonts.majorEastAsian;
  ctx->themeFonts["+mj-cs"] = fonts.majorComplex;
  ctx->themeFonts["+mn-lt"] = fonts.minorLatin;
  ctx->themeFonts["+mn-ea"] = fonts.minorEastAsian;
  ctx->themeFonts["+mn-cs"] = fonts.minorComplex;
  try {
    SlideRef slide = owner.Slide();
    if (!slide.doc) return ctx;
    Document& doc = *slide.doc;
    std::string master = doc.MasterOf(doc.LayoutOf(slide.part));
    if (master.empty()) master = doc.Linked(slide.part, Document::Link::NotesMaster);
    if (master.empty()) return ctx;
    ctx->schemeColors = doc.Theme(master).colors;
  } catch (const platform::ComError&) {
    // A damaged theme only costs the colour values; text stays usable.
  }
  return ctx;
}

// A context is built from the owner's own part (what its key says), from
// what the page links to (its layout, its notes master) and from the parts
// met on the way: the layout, the master, its theme, the presentation and
// its table styles. It is kept while the links stand and none of those
// parts is edited: the sum of their edit counts, which only ever grow,
// tells.
struct KeptContext {
  std::uint64_t links = 0, versions = 0;
  std::shared_ptr<const TextStyleContext> value;
};

// The inherited styles and theme take lookups across parts; plain text work
// never needs them, so they are built on first use and shared by every range
// derived from the same one.
struct LazyContext {
  std::shared_ptr<const TextStyleContext> value;
  bool built = false;
};

// A text body with what has been worked out from it: its character index
// (inside the handle), its style context and its last layout.
struct CachedBody {
  pugi::xml_node node;
  std::uint64_t edits = 0;  // the document's edit count the entry holds for
  std::shared_ptr<TextBody> body;
  std::shared_ptr<const TextStyleContext> context;
  // The owner's frame: the entry holds only across edits of its own text,
  // which leave the shape's size and body settings as they were.
  std::optional<TextFrameGeometry> frame;
  std::optional<TextFrameGeometry> layoutFrame;  // what `layout` was made for
  TextLayout layout;
  // The body measured for `layout`; it outlives edits of sizes alone, such
  // as the steps of fitting a text make.
  std::shared_ptr<ShapedBody> shaped;
  std::optional<std::vector<TextSpan>> runs;
};

}  // namespace

// The bodies the object model worked on last. A caller reads a range's
// length, its text, each font property and its bounds one call at a time,
// and the styles of a translation are carried over part by part: taking the
// body apart again for every call would cost more than all the rest. An
// entry holds while the document's edit count stands; an edit made through
// the entry's own handle keeps it, since the handle follows its own edits.
// Entries are kept by body, not only the last few: the look-ahead reads a
// page's bodies well before the walk translates them, and a copy nobody
// edits keeps them all. Those an edit left behind are dropped as the
// entries grow.
struct TextBodyCache {
  std::unordered_map<const void*, std::shared_ptr<CachedBody>> entries;  // by body node
  size_t sweepAt = 64;
  std::map<std::string, KeptContext> contexts;  // by what they are built from
  // The page the last context was asked for: the parts its styles are read
  // from (found again when the links change) and the sum of their versions
  // (read again when the package changes). Ranges are made page by page.
  struct Page {
    std::string part;  // a slide's or a notes page's
    std::optional<std::uint64_t> links;
    std::array<std::string, 5> read;  // layout, master, theme, presentation, table styles
    std::string key;                  // layout and notes master, which contexts are kept by
    KeptAt<std::uint64_t> versions;
  } page;
};

namespace {

using BodyRef = std::shared_ptr<CachedBody>;

std::shared_ptr<const TextStyleContext> ContextOf(TextBodyOwner& owner) {
  std::optional<std::string> own = owner.StyleKey();
  SlideRef slide = own ? owner.Slide() : SlideRef{};
  if (!slide.doc) return BuildContext(owner);
  Document& doc = *slide.doc;
  std::shared_ptr<TextBodyCache>& cache = doc.TextCache();
  if (!cache) cache = std::make_shared<TextBodyCache>();
  Package& pkg = doc.Pkg();
  TextBodyCache::Page& page = cache->page;
  if (page.links != pkg.LinkEdits() || page.part != slide.part) {
    const std::string& layout = doc.LayoutOf(slide.part);
    const std::string& notesMaster = doc.Linked(slide.part, Document::Link::NotesMaster);
    const std::string& layoutMaster = doc.MasterOf(layout);
    const std::string& master = layoutMaster.empty() ? notesMaster : layoutMaster;
    page.read = {layout, master, doc.ThemeOf(master), doc.PresentationPart(),
                 doc.Linked(doc.PresentationPart(), Document::Link::TableStyles)};
    page.key = layout + '\n' + notesMaster + '\n' + (slide.notes ? 'n' : 's');
    page.part = slide.part;
    page.links = pkg.LinkEdits();
    page.versions.Forget();
  }
  const std::uint64_t versions = page.versions.Get(pkg, [&] {
    std::uint64_t sum = 0;
    for (const std::string& part : page.read)
      if (!part.empty()) sum += pkg.PartVersion(part);
    return sum;
  });
  KeptContext& k = cache->contexts[page.key + (owner.ParagraphDefaults() ? 'p' : '-') + *own];
  if (!k.value || k.links != pkg.LinkEdits() || k.versions != versions)
    k = {pkg.LinkEdits(), versions, BuildContext(owner)};
  return k.value;
}

struct RangeState {
  std::shared_ptr<TextBodyOwner> owner;
  std::shared_ptr<LazyContext> lazy = std::make_shared<LazyContext>();
  long start = 0;
  long length = 0;
  std::vector<TextSpan> items;  // set when the range came from Paragraphs, Runs or Lines
  // While a batch of reads and writes runs (Batch), the entry its first
  // call found and whether a write changed the body. The batch's own edits
  // are all that happen meanwhile, so its calls need not look again, and
  // what follows an edit is done once at its end. Not copied with the range.
  struct Held {
    bool active = false;
    BodyRef entry;
    bool changed = false;
    Held() = default;
    Held(const Held&) {}
    Held& operator=(const Held&) { return *this; }
  };
  mutable Held held;

  std::shared_ptr<const TextStyleContext> Context() const {
    if (!lazy->built) {
      lazy->value = ContextOf(*owner);
      lazy->built = true;
    }
    return lazy->value;
  }
  // The body (a handle on a null node when there is none), current as of
  // now; `styled` readies it for effective values.
  BodyRef Body(bool create, bool styled = false) const {
    if (held.entry) return Ready(held.entry, styled);
    pugi::xml_node node = owner->Body(create);
    std::shared_ptr<Document> doc = node ? owner->Doc() : nullptr;
    BodyRef e;
    if (doc) {
      std::shared_ptr<TextBodyCache>& cache = doc->TextCache();
      if (!cache) cache = std::make_shared<TextBodyCache>();
      const std::uint64_t edits = doc->Edits();
      if (auto it = cache->entries.find(node.internal_object()); it != cache->entries.end() && it->second->edits == edits)
        e = it->second;
      if (!e) e = Keep(*doc, node, std::make_shared<TextBody>(node));
    } else {
      e = std::make_shared<CachedBody>();
      e->node = node;
      e->body = std::make_shared<TextBody>(node);
    }
    if (held.active) held.entry = e;
    return Ready(e, styled);
  }
  const BodyRef& Ready(const BodyRef& e, bool styled) const {
    if (styled) {
      if (!e->context) e->context = Context();
      e->body->UseContext(e->context);
    }
    // What the entry worked out is as current as what this range would.
    if (e->context && !lazy->built) {
      lazy->value = e->context;
      lazy->built = true;
    }
    return e;
  }
  // A new entry for body, current as of the document's edits now.
  static BodyRef Keep(Document& doc, pugi::xml_node node, std::shared_ptr<TextBody> body) {
    std::shared_ptr<TextBodyCache>& cache = doc.TextCache();
    if (!cache) cache = std::make_shared<TextBodyCache>();
    auto e = std::make_shared<CachedBody>();
    e->node = node;
    e->edits = doc.Edits();
    e->body = std::move(body);
    if (cache->entries.size() >= cache->sweepAt) {
      std::erase_if(cache->entries, [&](const auto& kept) { return kept.second->edits != e->edits; });
      cache->sweepAt = 2 * std::max<size_t>(cache->entries.size(), 32);
    }
    cache->entries[node.internal_object()] = e;
    return e;
  }
  TextFrameGeometry Frame(CachedBody& e) const {
    if (!e.frame) e.frame = owner->Frame();
    return *e.frame;
  }
  TextSpan Within(long total) const {
    long s = std::clamp(start, 0L, total);
    return {s, std::clamp(length, 0L, total - s)};
  }
  TextSpan SpanIn(const TextBody& body) const { return Within(body ? body.Length() : 0); }
  TextSpan Span() const { return SpanIn(*Body(false)->body); }
  // Layouts follow the fitted font scale.
  void SettleFit() const {
    if (std::shared_ptr<Document> doc = owner->Doc()) doc->Settle(Document::Deferred::Refit);
  }
  const TextLayout& Layout(CachedBody& e, const TextFrameGeometry& frame) const {
    if (!e.layoutFrame || !(*e.layoutFrame == frame)) {
      if (!e.shaped) e.shaped = ShapeBody(*e.body);
      e.layout = LayoutBody(*e.body, *e.shaped, frame);
      e.layoutFrame = frame;
    }
    return e.layout;
  }
  // After an edit through e's handle; resized when it set the size of those
  // characters and changed nothing else.
  void Changed(CachedBody& e, std::optional<TextSpan> resized = std::nullopt) const {
    std::shared_ptr<Document> doc = owner->Doc();
    const std::uint64_t settled = doc ? doc->SettledJobs() : 0;
    const TextBody& body = *e.body;
    if (Child(Child(body.Node(), "bodyPr"), "normAutofit")) {
      std::shared_ptr<TextBodyOwner> o = owner;
      std::shared_ptr<LazyContext> l = lazy;
      pugi::xml_node node = body.Node();
      auto refit = [o, l, node] {
        RangeState st;
        st.owner = o;
        st.lazy = l;
        auto fitted = std::make_shared<TextBody>(node, st.Context());
        TextFrameGeometry frame = o->Frame();
        std::optional<TextLayout> layout = RefitAutofit(*fitted, frame);
        // The bounds read that settled the refit wants this very layout.
        if (std::shared_ptr<Document> d = o->Doc(); d && layout) {
          BodyRef e = Keep(*d, node, std::move(fitted));
          e->context = st.Context();
          e->frame = frame;
          e->layoutFrame = frame;
          e->layout = std::move(*layout);
        }
      };
      // A body outside any document is refitted at once.
      if (doc)
        doc->Defer(node.parent().internal_object(), Document::Deferred::Refit, refit);
      else
        refit();
    }
    owner->Changed();
    e.layoutFrame.reset();
    e.runs.reset();
    if (e.shaped && !(resized && ResizeShaped(*e.shaped, *e.body, *resized))) e.shaped.reset();
    // Only this handle's edit and the part marked for it happened: the
    // entry holds on. Work another body left waiting may have run on the
    // way, and that is worth no guess.
    if (doc && doc->SettledJobs() == settled) e.edits = doc->Edits();
  }
  PropValue Get(CharProp prop) const {
    PropValue v;
    Get({&prop, 1}, {&v, 1});
    return v;
  }
  void Get(std::span<const CharProp> props, std::span<PropValue> out) const {
    BodyRef e = Body(false, true);
    const TextBody& body = *e->body;
    if (body) body.Get(SpanIn(body), props, out);
    else std::fill(out.begin(), out.end(), PropValue());
  }
  void Set(CharProp prop, const std::optional<std::string>& value) const {
    BodyRef e = Body(false);
    TextBody& body = *e->body;
    if (!body) return;
    TextSpan span = SpanIn(body);
    if (span.length == 0) return;
    if (!body.Set(span, prop, value)) return;
    if (held.active) held.changed = true;
    else Changed(*e, prop == CharProp::Size ? std::optional(span) : std::nullopt);
  }
  // Runs work, a series of reads and writes of this range, as one: the
  // body is found once, and an edit is followed up once, also when work
  // throws.
  template <class Work>
  auto Batch(Work&& work) const {
    held.active = true;
    auto finish = [this] {
      BodyRef e = std::move(held.entry);
      const bool changed = held.changed;
      held.active = false;
      held.entry.reset();
      held.changed = false;
      if (changed) Changed(*e);
    };
    try {
      if constexpr (std::is_void_v<decltype(work())>) {
        work();
        finish();
      } else {
        auto result = work();
        finish();
        return result;
      }
    } catch (...) {
      finish();
      throw;
    }
  }
};

double Num(const std::optional<std::string>& v, double fallback) {
  if (!v || v->empty()) return fallback;
  char* end = nullptr;
  double d = std::strtod(v->c_str(), &end);
  return end && *end == '\0' && std::isfinite(d) ? d : fallback;
}

int Tri(const PropValue& v, bool (*truthy)(const std::optional<std::string>&)) {
  if (v.mixed) return msoTriStateMixed;
  return truthy(v.value) ? msoTrue : msoFalse;
}

bool IsOne(const std::optional<std::string>& v) { return v && *v == "1"; }
bool IsUnderlined(const std::optional<std::string>& v) { return v && *v != "none"; }
bool IsShadowed(const std::optional<std::string>& v) { return v && *v == "1"; }
bool IsSub(const std::optional<std::string>& v) { return Num(v, 0) < 0; }
bool IsSuper(const std::optional<std::string>& v) { return Num(v, 0) > 0; }

// msoTrue/msoCTrue/msoFalse as a flag; msoTriStateToggle flips the current
// value, which is read only then: a plain set has no use for it.
template <class Current>
bool FlagFromTri(int v, Current current) {
  if (v == msoTriStateToggle) return current() != msoTrue;
  if (v == msoTrue || v == msoCTrue) return true;
  if (v == msoFalse) return false;
  throw platform::ComError(E_INVALIDARG, L"The value must be a tri-state of msoTrue or msoFalse.");
}

// An on/off property set from a tri-state.
template <class Current>
void SetFlag(const RangeState& s, CharProp prop, int v, Current current, const char* on = "1",
             const char* off = "0") {
  s.Set(prop, FlagFromTri(v, current) ? on : off);
}

std::string FormatNumber(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld", std::lround(v));
  return buf;
}

float SizeOf(const PropValue& v) {
  if (v.mixed) return kMixedValue;
  return static_cast<float>(Num(v.value, 1800) / 100.0);
}
float SizeOf(const RangeState& s) { return SizeOf(s.Get(CharProp::Size)); }

void SetSizeOf(const RangeState& s, float points) {
  if (!(points >= 1.0f && points <= 4000.0f))
    throw platform::ComError(E_INVALIDARG, L"The font size must be between 1 and 4000 points.");
  s.Set(CharProp::Size, FormatNumber(points * 100.0));
}

std::wstring NameOf(const RangeState& s, CharProp prop) {
  PropValue v = s.Get(prop);
  if (v.mixed) return L"";
  BodyRef e = s.Body(false, true);
  if (!*e->body) return L"";
  return pugi::as_wide(ResolveTypeface(*e->body, v.value, prop == CharProp::EastAsian).c_str());
}

void SetNameOf(const RangeState& s, CharProp prop, const std::wstring& name) {
  if (name.empty()) throw platform::ComError(E_INVALIDARG, L"A font name cannot be empty.");
  s.Set(prop, pugi::as_utf8(name));
}

float BaselineOf(const PropValue& v) {
  if (v.mixed) return kMixedValue;
  return static_cast<float>(Num(v.value, 0) / 100000.0);
}
float BaselineOf(const RangeState& s) { return BaselineOf(s.Get(CharProp::Baseline)); }

void SetBaselineOf(const RangeState& s, float v) {
  if (!(v >= -1.0f && v <= 1.0f))
    throw platform::ComError(E_INVALIDARG, L"The baseline offset must be between -1 and 1.");
  s.Set(CharProp::Baseline, v == 0 ? std::nullopt : std::optional<std::string>(FormatNumber(v * 100000.0)));
}

void SetScript(const RangeState& s, int v, bool super) {
  int current = Tri(s.Get(CharProp::Baseline), super ? IsSuper : IsSub);
  if (FlagFromTri(v, [current] { return current; })) s.Set(CharProp::Baseline, super ? "30000" : "-25000");
  else if (current != msoFalse) s.Set(CharProp::Baseline, std::nullopt);
}

class Color : public host::ColorFormat {
 public:
  explicit Color(RangeState s) : mS(std::move(s)) {}
  int Type() override {
    PropValue v = mS.Get(CharProp::Color);
    if (v.mixed) return msoColorTypeMixed;
    return v.value && v.value->starts_with("srgb:") ? msoColorTypeRGB : msoColorTypeScheme;
  }
  int Rgb() override {
    PropValue v = mS.Get(CharProp::Color);
    if (v.mixed) return -2;
    std::uint32_t rgb = 0;
    std::string value = v.value.value_or("scheme:tx1");
    if (value.starts_with("srgb:")) {
      rgb = HexColor(value.substr(5)).value_or(0);
    } else if (auto ctx = value.starts_with("scheme:") ? mS.Context() : nullptr) {
      auto it = ctx->schemeColors.find(value.substr(7));
      if (it != ctx->schemeColors.end()) rgb = it->second;
    }
    // 0xRRGGBB in the file, 0x00BBGGRR in the object model.
    return static_cast<int>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
  }
  void SetRgb(int rgb) override {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X", rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
    mS.Set(CharProp::Color, std::string("srgb:") + buf);
  }
  int SchemeColor() override {
    std::string name = SchemeName();
    for (size_t i = 0; i < std::size(kLegacyScheme); ++i)
      if (name == kLegacyScheme[i]) return static_cast<int>(i) + 1;
    if (name == "lt1") return 1;
    if (name == "dk1") return 2;
    if (name == "lt2") return 3;
    if (name == "dk2") return 4;
    return name == "mixed" ? -2 : 0;
  }
  void SetSchemeColor(int schemeColor) override {
    if (schemeColor < 1 || schemeColor > static_cast<int>(std::size(kLegacyScheme)))
      throw platform::ComError(E_INVALIDARG, L"Unknown scheme colour.");
    mS.Set(CharProp::Color, std::string("scheme:") + kLegacyScheme[schemeColor - 1]);
  }
  int ObjectThemeColor() override {
    std::string name = SchemeName();
    if (name == "mixed") return -2;
    for (size_t i = 0; i < std::size(kSchemeNames); ++i)
      if (name == kSchemeNames[i]) return static_cast<int>(i) + 1;
    return 0;
  }
  void SetObjectThemeColor(int themeColor) override {
    if (themeColor < 1 || themeColor > static_cast<int>(std::size(kSchemeNames)))
      throw platform::ComError(E_INVALIDARG, L"Unknown theme colour.");
    mS.Set(CharProp::Color, std::string("scheme:") + kSchemeNames[themeColor - 1]);
  }

 private:
  std::string SchemeName() {
    PropValue v = mS.Get(CharProp::Color);
    if (v.mixed) return "mixed";
    std::string value = v.value.value_or("scheme:tx1");
    return value.starts_with("scheme:") ? value.substr(7) : std::string();
  }
  RangeState mS;
};

class Fill : public host::FillFormat {
 public:
  explicit Fill(RangeState s) : mS(std::move(s)) {}
  Ptr<host::ColorFormat> ForeColor() override { return std::make_shared<Color>(mS); }
  int Visible() override {
    PropValue v = mS.Get(CharProp::Color);
    if (v.mixed) return msoTriStateMixed;
    return v.value && *v.value == "none" ? msoFalse : msoTrue;
  }
  void SetVisible(int visible) override {
    bool on = FlagFromTri(visible, [this] { return Visible(); });
    PropValue v = mS.Get(CharProp::Color);
    if (!on) mS.Set(CharProp::Color, "none");
    else if (v.mixed || (v.value && *v.value == "none")) mS.Set(CharProp::Color, std::nullopt);
  }

 private:
  RangeState mS;
};

// Members both font objects answer the same way.
#define PELORANT_COMMON_FONT_MEMBERS                                                                     \
  int Bold() override { return Tri(mS.Get(CharProp::Bold), IsOne); }                                    \
  void SetBold(int v) override { SetFlag(mS, CharProp::Bold, v, [this] { return Bold(); }); }            \
  int Italic() override { return Tri(mS.Get(CharProp::Italic), IsOne); }                                \
  void SetItalic(int v) override { SetFlag(mS, CharProp::Italic, v, [this] { return Italic(); }); }      \
  int Shadow() override { return Tri(mS.Get(CharProp::Shadow), IsShadowed); }                           \
  void SetShadow(int v) override { SetFlag(mS, CharProp::Shadow, v, [this] { return Shadow(); }); }      \
  int Emboss() override { return msoFalse; }                                                             \
  void SetEmboss(int v) override { FlagFromTri(v, [] { return msoFalse; }); }                            \
  int Subscript() override { return Tri(mS.Get(CharProp::Baseline), IsSub); }                           \
  void SetSubscript(int v) override { SetScript(mS, v, false); }                                        \
  int Superscript() override { return Tri(mS.Get(CharProp::Baseline), IsSuper); }                       \
  void SetSuperscript(int v) override { SetScript(mS, v, true); }                                       \
  float BaselineOffset() override { return BaselineOf(mS); }                                            \
  void SetBaselineOffset(float v) override { SetBaselineOf(mS, v); }                                    \
  float Size() override { return SizeOf(mS); }                                                          \
  void SetSize(float points) override { SetSizeOf(mS, points); }                                        \
  std::wstring Name() override { return NameOf(mS, CharProp::Latin); }                                  \
  void SetName(const std::wstring& name) override { SetNameOf(mS, CharProp::Latin, name); }             \
  std::wstring NameAscii() override { return NameOf(mS, CharProp::Latin); }                             \
  void SetNameAscii(const std::wstring& name) override { SetNameOf(mS, CharProp::Latin, name); }        \
  std::wstring NameFarEast() override { return NameOf(mS, CharProp::EastAsian); }                       \
  void SetNameFarEast(const std::wstring& name) override { SetNameOf(mS, CharProp::EastAsian, name); }  \
  std::wstring NameComplexScript() override { return NameOf(mS, CharProp::ComplexScript); }             \
  void SetNameComplexScript(const std::wstring& name) override {                                        \
    SetNameOf(mS, CharProp::ComplexScript, name);                                                       \
  }                                                                                                     \
  std::wstring NameOther() override { return NameOf(mS, CharProp::Latin); }                             \
  void SetNameOther(const std::wstring& name) override { SetNameOf(mS, CharProp::Latin, name); }

// Emboss has no DrawingML form: it reads false, and setting it is accepted
// and has no effect, which is what the package can show.
class ClassicFont : public host::Font {
 public:
  explicit ClassicFont(RangeState s) : mS(std::move(s)) {}
  PELORANT_COMMON_FONT_MEMBERS
  int Underline() override { return Tri(mS.Get(CharProp::Underline), IsUnderlined); }
  void SetUnderline(int v) override {
    SetFlag(mS, CharProp::Underline, v, [this] { return Underline(); }, "sng", "none");
  }
  // Only vertical East Asian layout rotates numbers; text here stays as it is.
  int AutoRotateNumbers() override { return msoFalse; }
  void SetAutoRotateNumbers(int v) override { FlagFromTri(v, [] { return msoFalse; }); }
  Ptr<host::ColorFormat> Color() override { return std::make_shared<host::pptx::Color>(mS); }

 private:
  RangeState mS;
};

constexpr const char* kUnderlines[] = {"none",     "words",         "sng",         "dbl",          "heavy",
                                       "dotted",   "dottedHeavy",   "dash",        "dashHeavy",    "dashLong",
                                       "dashLongHeavy", "dotDash",  "dotDashHeavy", "dotDotDash",  "dotDotDashHeavy",
                                       "wavy",     "wavyHeavy",     "wavyDbl"};
constexpr const char* kStrikes[] = {"noStrike", "sngStrike", "dblStrike"};
constexpr const char* kCaps[] = {"none", "small", "all"};

template <size_t N>
int IndexOf(const PropValue& v, const char* const (&names)[N]) {
  if (v.mixed) return -2;
  std::string value = v.value.value_or(names[0]);
  for (size_t i = 0; i < N; ++i)
    if (value == names[i]) return static_cast<int>(i);
  return 0;
}

template <size_t N>
std::string NameAt(int index, const char* const (&names)[N]) {
  if (index < 0 || index >= static_cast<int>(N)) throw platform::ComError(E_INVALIDARG, L"Value out of range.");
  return names[index];
}

class ModernFont : public host::Font2 {
 public:
  explicit ModernFont(RangeState s) : mS(std::move(s)) {}
  PELORANT_COMMON_FONT_MEMBERS
  int UnderlineStyle() override { return IndexOf(mS.Get(CharProp::Underline), kUnderlines); }
  void SetUnderlineStyle(int v) override { mS.Set(CharProp::Underline, NameAt(v, kUnderlines)); }
  int Strike() override { return IndexOf(mS.Get(CharProp::Strike), kStrikes); }
  void SetStrike(int v) override { mS.Set(CharProp::Strike, NameAt(v, kStrikes)); }
  int Caps() override { return IndexOf(mS.Get(CharProp::Caps), kCaps); }
  void SetCaps(int v) override { mS.Set(CharProp::Caps, NameAt(v, kCaps)); }
  float Spacing() override {
    PropValue v = mS.Get(CharProp::Spacing);
    if (v.mixed) return kMixedValue;
    return static_cast<float>(Num(v.value, 0) / 100.0);
  }
  void SetSpacing(float points) override {
    if (!(points >= -4000.0f && points <= 4000.0f)) throw platform::ComError(E_INVALIDARG, L"Spacing out of range.");
    mS.Set(CharProp::Spacing, FormatNumber(points * 100.0));
  }
  Ptr<host::FillFormat> Fill() override { return std::make_shared<host::pptx::Fill>(mS); }
  // What Bold, Italic, UnderlineStyle, Size, Emboss, Shadow and
  // BaselineOffset answer, read in one pass over the text.
  Formatting Read() override {
    static constexpr CharProp kRead[] = {CharProp::Bold, CharProp::Italic, CharProp::Underline,
                                         CharProp::Size, CharProp::Shadow, CharProp::Baseline};
    PropValue v[std::size(kRead)];
    mS.Get(kRead, v);
    return {Tri(v[0], IsOne), Tri(v[1], IsOne), IndexOf(v[2], kUnderlines), SizeOf(v[3]), Emboss(),
            Tri(v[4], IsShadowed), BaselineOf(v[5])};
  }
  void Apply(const std::vector<Write>& writes) override {
    mS.Batch([&] { host::Font2::Apply(writes); });
  }

 private:
  RangeState mS;
};

#undef PELORANT_COMMON_FONT_MEMBERS

enum class Unit { Paragraphs, Runs, Lines };

// The behaviour both range classes share.
class RangeCore {
 public:
  explicit RangeCore(RangeState s) : mS(std::move(s)) {}

  std::wstring GetText() const {
    BodyRef e = mS.Body(false);
    const TextBody& body = *e->body;
    return body ? body.Text(mS.SpanIn(body)) : std::wstring();
  }
  void PutText(const std::wstring& text) {
    BodyRef e = mS.Body(true);
    TextBody& body = *e->body;
    if (!body) throw platform::ComError(E_FAIL, L"This shape cannot hold text.");
    TextSpan span = body.Replace(mS.SpanIn(body), text);
    mS.start = span.start;
    mS.length = span.length;
    mS.items.clear();
    mS.Changed(*e);
  }
  int StartPos() const { return static_cast<int>(mS.Span().start) + 1; }
  int Len() const { return static_cast<int>(mS.Span().length); }
  int ItemCount() const { return mS.items.empty() ? 1 : static_cast<int>(mS.items.size()); }

  RangeState CharactersOf(int start, int length) const {
    TextSpan span = mS.Span();
    RangeState r = mS;
    r.items.clear();
    if (start == -1 && length == -1) return r;
    if (start == -1) start = 1;
    if (length == -1) length = 1;
    if (length < 0) throw platform::ComError(E_INVALIDARG, L"The length cannot be negative.");
    long s = span.start + std::max(start, 1) - 1;
    s = std::min(s, span.end());
    r.start = s;
    r.length = std::min<long>(length, span.end() - s);
    return r;
  }

  RangeState UnitsOf(Unit unit, int start, int length) const {
    if (unit == Unit::Lines) mS.SettleFit();
    BodyRef e = mS.Body(false, unit == Unit::Lines);
    const TextBody& body = *e->body;
    TextSpan span = mS.SpanIn(body);
    std::vector<TextSpan> all;
    if (body) {
      if (unit == Unit::Paragraphs) all = body.Paragraphs();
      else if (unit == Unit::Runs) all = e->runs ? *e->runs : *(e->runs = body.Runs());
      else
        for (const LineBox& line : mS.Layout(*e, mS.Frame(*e)).lines) all.push_back({line.start, line.length});
    }
    std::vector<TextSpan> items;
    for (const TextSpan& u : all) {
      bool overlaps = span.length > 0 ? (u.start < span.end() && u.end() > span.start) ||
                                            (u.length == 0 && u.start >= span.start && u.start <= span.end())
                                      : (span.start >= u.start && span.start < std::max(u.end(), u.start + 1));
      if (!overlaps) continue;
      if (span.length > 0) {
        long s = std::max(u.start, span.start);
        long e = std::min(u.end(), span.end());
        items.push_back({s, e - s});
      } else {
        items.push_back(u);
      }
    }
    if (items.empty()) items.push_back({span.start, 0});
    RangeState r = mS;
    int n = static_cast<int>(items.size());
    if (start == -1 && length == -1) {
      r.start = items.front().start;
      r.length = items.back().end() - items.front().start;
      r.items = items;
      return r;
    }
    if (start == -1) start = 1;
    if (length == -1) length = 1;
    start = std::clamp(start, 1, n);
    if (length < 1) {
      r.start = items[start - 1].start;
      r.length = 0;
      r.items.clear();
      return r;
    }
    int last = std::min(n, start + length - 1);
    r.start = items[start - 1].start;
    r.length = items[last - 1].end() - r.start;
    r.items.assign(items.begin() + (start - 1), items.begin() + last);
    if (r.items.size() == 1) r.items.clear();
    return r;
  }

  RangeState ItemOf(int index) const {
    if (mS.items.empty()) {
      if (index != 1) throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
      return mS;
    }
    if (index < 1 || index > static_cast<int>(mS.items.size()))
      throw platform::ComError(DISP_E_BADINDEX, L"The index is out of range.");
    RangeState r = mS;
    r.start = mS.items[index - 1].start;
    r.length = mS.items[index - 1].length;
    r.items.clear();
    return r;
  }

  RangeState Insert(const std::wstring& text, bool after) {
    BodyRef e = mS.Body(true);
    TextBody& body = *e->body;
    if (!body) throw platform::ComError(E_FAIL, L"This shape cannot hold text.");
    TextSpan here = mS.SpanIn(body);
    TextSpan added = body.Replace({after ? here.end() : here.start, 0}, text);
    if (!after) mS.start = here.start + added.length;
    mS.Changed(*e);
    RangeState r = mS;
    r.start = added.start;
    r.length = added.length;
    r.items.clear();
    return r;
  }

  std::vector<host::TextObject> Objects() const {
    BodyRef e = mS.Body(false);
    const TextBody& body = *e->body;
    std::vector<host::TextObject> out;
    if (!body) return out;
    const TextSpan span = mS.SpanIn(body);
    std::shared_ptr<Document> doc = mS.owner->Doc();
    for (const TextBody::Object& o : body.Objects(span)) {
      host::TextObject t;
      t.kind = o.field ? host::TextObject::Field : host::TextObject::Action;
      t.start = static_cast<int>(o.span.start - span.start) + 1;
      t.length = static_cast<int>(o.span.length);
      t.action = pugi::as_wide(o.action);
      if (doc && !o.clickId.empty()) {
        if (auto rel = doc->Pkg().RelationshipById(mS.owner->Part(), o.clickId)) t.address = pugi::as_wide(rel->target);
      }
      out.push_back(std::move(t));
    }
    return out;
  }
  void PutAction(const std::wstring& action) {
    BodyRef e = mS.Body(true);
    TextBody& body = *e->body;
    if (!body) return;
    body.SetAction(mS.SpanIn(body), pugi::as_utf8(action));
    mS.Changed(*e);
  }

  std::wstring LinkTip(bool hover) const {
    BodyRef e = mS.Body(false);
    const TextBody& body = *e->body;
    std::string tip;
    if (!body || !body.LinkTip(mS.SpanIn(body), hover, &tip)) return {};
    return pugi::as_wide(tip);
  }
  void PutLinkTip(bool hover, const std::wstring& tip) {
    BodyRef e = mS.Body(true);
    TextBody& body = *e->body;
    if (!body || !body.SetLinkTip(mS.SpanIn(body), hover, pugi::as_utf8(tip)))
      throw platform::ComError(kNotAvailable, L"The text has no such link.");
    mS.Changed(*e);
  }
  std::wstring LinkAddress(bool hover) const {
    for (const host::TextObject& o : Objects()) {
      if (o.kind != host::TextObject::Action) continue;
      // The address Objects reads is the click's; a hover link's stays unread.
      if (o.action.find(hover ? L"hlinkMouseOver" : L"hlinkClick") != std::wstring::npos) return hover ? L"" : o.address;
    }
    return {};
  }

  void DeleteText() { PutText(L""); }
  void SelectIt() { mS.owner->SelectText(StartPos(), Len()); }

  int Language() const {
    PropValue v = mS.Get(CharProp::Lang);
    if (v.mixed) return -2;
    return LanguageIdFromTag(v.value.value_or(""));
  }
  void SetLanguage(int id) {
    std::string tag = TagFromLanguageId(id);
    if (tag.empty()) throw platform::ComError(E_INVALIDARG, L"Unknown language id " + std::to_wstring(id) + L".");
    mS.Set(CharProp::Lang, tag);
  }

  TextLayout::Box Bounds() const {
    mS.SettleFit();
    // A caller reads the height and then the width of one range: the box
    // holds while the document stays as it was.
    std::shared_ptr<Document> doc = mS.owner->Doc();
    const std::uint64_t edits = doc ? doc->Edits() : 0;
    if (doc && mBounds && mBounds->Holds(doc, edits)) return mBounds->box;
    BodyRef e = mS.Body(false, true);
    const TextBody& body = *e->body;
    if (!body) return {};
    TextFrameGeometry frame = mS.Frame(*e);
    const TextLayout& layout = mS.Layout(*e, frame);
    TextLayout::Box box = layout.Bounds(mS.SpanIn(body));
    std::string anchor = Child(body.Node(), "bodyPr").attribute("anchor").as_string("t");
    double room = frame.height - frame.insetTop - frame.insetBottom;
    if (anchor == "ctr") box.top += std::max(0.0, (room - layout.textHeight) / 2);
    else if (anchor == "b") box.top += std::max(0.0, room - layout.textHeight);
    if (doc && doc->Edits() == edits) mBounds = KeptBox{doc, edits, box};
    return box;
  }

 protected:
  RangeState mS;

 private:
  // A range of a page not yet written reads a stand-in document until the
  // page is: the box names the document it was read from.
  struct KeptBox {
    std::weak_ptr<Document> doc;
    std::uint64_t edits = 0;
    TextLayout::Box box;
    bool Holds(const std::shared_ptr<Document>& now, std::uint64_t nowEdits) const {
      return edits == nowEdits && !doc.owner_before(now) && !now.owner_before(doc);
    }
  };
  mutable std::optional<KeptBox> mBounds;
};

class RangeHyperlink : public host::Hyperlink, private RangeCore {
 public:
  RangeHyperlink(RangeState s, bool hover) : RangeCore(std::move(s)), mHover(hover) {}
  std::wstring Address() override { return LinkAddress(mHover); }
  std::wstring ScreenTip() override { return LinkTip(mHover); }
  void SetScreenTip(const std::wstring& tip) override { PutLinkTip(mHover, tip); }

 private:
  bool mHover;
};

class RangeActionSetting : public host::ActionSetting {
 public:
  RangeActionSetting(RangeState s, bool hover) : mS(std::move(s)), mHover(hover) {}
  Ptr<host::Hyperlink> Hyperlink() override { return std::make_shared<RangeHyperlink>(mS, mHover); }

 private:
  RangeState mS;
  bool mHover;
};

// The two text models answer the same members over the same range; they
// differ only in their interfaces, their fonts and Item, which only the later
// model has. Self is the most derived range, so that every range a member
// answers is of the caller's model.
template <class Self, class Interface, class FontInterface, class FontImpl>
class RangeOf : public Interface, protected RangeCore {
 public:
  explicit RangeOf(RangeState s) : RangeCore(std::move(s)) {}
  std::wstring Text() override { return GetText(); }
  void SetText(const std::wstring& text) override { PutText(text); }
  int Start() override { return StartPos(); }
  int Length() override { return Len(); }
  int Count() override { return ItemCount(); }
  Ptr<Interface> Characters(int start, int length) override { return Make(CharactersOf(start, length)); }
  Ptr<Interface> Paragraphs(int start, int length) override { return Make(UnitsOf(Unit::Paragraphs, start, length)); }
  Ptr<Interface> Runs(int start, int length) override { return Make(UnitsOf(Unit::Runs, start, length)); }
  Ptr<Interface> Lines(int start, int length) override { return Make(UnitsOf(Unit::Lines, start, length)); }
  Ptr<Interface> InsertAfter(const std::wstring& text) override { return Make(Insert(text, true)); }
  Ptr<Interface> InsertBefore(const std::wstring& text) override { return Make(Insert(text, false)); }
  void Select() override { SelectIt(); }
  void Delete() override { DeleteText(); }
  int LanguageID() override { return Language(); }
  void SetLanguageID(int id) override { SetLanguage(id); }
  float BoundLeft() override { return static_cast<float>(Bounds().left); }
  float BoundTop() override { return static_cast<float>(Bounds().top); }
  float BoundWidth() override { return static_cast<float>(Bounds().width); }
  float BoundHeight() override { return static_cast<float>(Bounds().height); }
  Ptr<FontInterface> Font() override { return std::make_shared<FontImpl>(mS); }
  std::vector<host::TextObject> TextObjects() override { return Objects(); }
  void SetAction(const std::wstring& action) override { PutAction(action); }

 protected:
  static Ptr<Interface> Make(RangeState s) { return std::make_shared<Self>(std::move(s)); }
};

class ClassicRange : public RangeOf<ClassicRange, host::TextRange, host::Font, ClassicFont> {
 public:
  using RangeOf::RangeOf;
  Ptr<host::ActionSetting> ActionSettings(int mouseEvent) override {
    if (mouseEvent != 1 && mouseEvent != 2) throw platform::ComError(kBadIndex, L"No such mouse event.");
    return std::make_shared<RangeActionSetting>(mS, mouseEvent == 2);
  }
};

class ModernRange : public RangeOf<ModernRange, host::TextRange2, host::Font2, ModernFont> {
 public:
  using RangeOf::RangeOf;
  Ptr<host::TextRange2> Item(int index) override { return Make(ItemOf(index)); }
};

RangeState WholeText(const std::shared_ptr<TextBodyOwner>& owner) {
  if (!owner) throw platform::ComError(E_FAIL, L"No text owner.");
  RangeState s;
  s.owner = owner;
  s.start = 0;
  // The entry is held: outside a document nothing else keeps it alive.
  BodyRef e = s.Body(false);
  const TextBody& body = *e->body;
  s.length = body ? body.Length() : 0;
  return s;
}

}  // namespace

Ptr<host::TextRange> MakeTextRange(const std::shared_ptr<TextBodyOwner>& owner) {
  return std::make_shared<ClassicRange>(WholeText(owner));
}

Ptr<host::TextRange2> MakeTextRange2(const std::shared_ptr<TextBodyOwner>& owner) {
  return std::make_shared<ModernRange>(WholeText(owner));
}

std::wstring BodyText(pugi::xml_node body) { return body ? TextBody(body).Text() : std::wstring(); }

}  // namespace host::pptx
