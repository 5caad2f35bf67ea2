#include "src/host/pptx/TextLayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "src/host/pptx/FontMetrics.h"

namespace host::pptx {
namespace {

bool IsEastAsian(wchar_t c) {
  if (c < 0x1100) return false;  // nearly every character measured
  return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) ||
         (c >= 0x20000 && c <= 0x3FFFF);
}

// Numbers from the file: a damaged value counts as absent.
double Num(const std::optional<std::string>& v, double fallback) {
  if (!v || v->empty()) return fallback;
  char* end = nullptr;
  double d = std::strtod(v->c_str(), &end);
  return end && *end == '\0' && std::isfinite(d) ? d : fallback;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == 0x3000; }

double AttrOf(const std::vector<pugi::xml_node>& chain, const char* name, double fallback) {
  for (pugi::xml_node n : chain)
    if (pugi::xml_attribute a = n.attribute(name)) return a.as_double(fallback);
  return fallback;
}

std::string TextAttrOf(const std::vector<pugi::xml_node>& chain, const char* name, const char* fallback) {
  for (pugi::xml_node n : chain)
    if (pugi::xml_attribute a = n.attribute(name)) return a.value();
  return fallback;
}

// The first of each spacing element along the chain, in one walk over it.
struct SpacingElements {
  pugi::xml_node lnSpc, spcBef, spcAft;
};

SpacingElements SpacingOf(const std::vector<pugi::xml_node>& chain) {
  SpacingElements found;
  for (pugi::xml_node n : chain) {
    for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      std::string_view name = c.name();
      if (size_t colon = name.find(':'); colon != std::string_view::npos) name.remove_prefix(colon + 1);
      pugi::xml_node* slot = name == "lnSpc" ? &found.lnSpc
                             : name == "spcBef" ? &found.spcBef
                             : name == "spcAft" ? &found.spcAft
                                                : nullptr;
      if (slot && !*slot) *slot = c;
    }
    if (found.lnSpc && found.spcBef && found.spcAft) break;
  }
  return found;
}

// Spacing element (a:lnSpc, a:spcBef, a:spcAft): percent (1.0 = 100 %) or points.
struct Spacing {
  bool points = false;
  double value = 0;
};

Spacing ReadSpacing(pugi::xml_node e, Spacing fallback) {
  if (!e) return fallback;
  if (pugi::xml_node pct = Child(e, "spcPct")) return {false, pct.attribute("val").as_double(100000) / 100000.0};
  if (pugi::xml_node pts = Child(e, "spcPts")) return {true, pts.attribute("val").as_double(0) / 100.0};
  return fallback;
}

// A character as measured at full size: the scale of a step multiplies it.
struct Glyph {
  wchar_t c;
  double advance;     // ems
  double lineHeight;  // ems, single-spaced
  double size;        // points before the scale
  double spacing;     // points added after the character, whatever the scale
  long position;      // in the body
  bool breakAfter;    // a line may end after this character
};

// A glyph at the scale being laid out.
struct Placed {
  double advance;
  double lineHeight;
  double size;
};

int LevelOf(pugi::xml_node para) { return std::clamp(Child(para, "pPr").attribute("lvl").as_int(0), 0, 8); }

double SizeOf(const TextBody& body, pugi::xml_node rPr, int level) {
  return Num(body.Effective(rPr, level, CharProp::Size), 1800) / 100.0;
}

}  // namespace

// What a layout takes from the body that no font scale or frame changes:
// styles resolved, faces found and characters measured once, so that the
// steps of an autofit search only multiply.
struct ShapedBody {
  struct Para {
    long start = 0, length = 0;
    double marL = 0, indent = 0;
    std::string align;
    Spacing lnSpc, spcBef, spcAft;
    std::vector<Glyph> glyphs;
    double markSize = 0;        // the paragraph mark's size before the scale
    double markLineHeight = 0;  // ems
  };
  std::vector<Para> paras;
};

namespace {

ShapedBody Shape(const TextBody& body) {
  ShapedBody shaped;
  FontMetrics& metrics = FontMetrics::Instance();
  // Runs of a body mostly share a few faces: each is resolved once here.
  struct Request {
    std::optional<std::string> typeface;
    bool eastAsian, bold, italic;
    const FontFace* face;
  };
  std::vector<Request> requests;
  auto face = [&](std::optional<std::string> typeface, bool eastAsian, bool bold, bool italic) {
    for (const Request& r : requests)
      if (r.eastAsian == eastAsian && r.bold == bold && r.italic == italic && r.typeface == typeface) return r.face;
    const FontFace* f = metrics.Face(ResolveTypeface(body, typeface, eastAsian), bold, italic);
    requests.push_back({std::move(typeface), eastAsian, bold, italic, f});
    return f;
  };
  const auto& paras = body.Index();
  shaped.paras.reserve(paras.size());
  for (const TextBody::Para& para : paras) {
    ShapedBody::Para& out = shaped.paras.emplace_back();
    out.start = para.start;
    out.length = para.length;
    std::vector<pugi::xml_node> chain = body.ParagraphStyleChain(para.node);
    const int level = LevelOf(para.node);
    out.marL = AttrOf(chain, "marL", 0) / 12700.0;
    out.indent = AttrOf(chain, "indent", 0) / 12700.0;
    out.align = TextAttrOf(chain, "algn", "l");
    const SpacingElements spacings = SpacingOf(chain);
    out.lnSpc = ReadSpacing(spacings.lnSpc, {false, 1.0});
    out.spcBef = ReadSpacing(spacings.spcBef, {true, 0});
    out.spcAft = ReadSpacing(spacings.spcAft, {true, 0});

    std::vector<Glyph>& glyphs = out.glyphs;
    glyphs.reserve(para.length);
    for (const TextBody::Item& item : para.items) {
      if (item.length == 0) continue;
      const std::wstring text = item.Text();
      pugi::xml_node rPr = Child(item.node, "rPr");
      const double size = SizeOf(body, rPr, level);
      bool bold = body.Effective(rPr, level, CharProp::Bold).value_or("0") == "1";
      bool italic = body.Effective(rPr, level, CharProp::Italic).value_or("0") == "1";
      double spacing = Num(body.Effective(rPr, level, CharProp::Spacing), 0) / 100.0;
      const FontFace* latin = face(body.Effective(rPr, level, CharProp::Latin), false, bold, italic);
      const FontFace* ea = nullptr;
      for (size_t k = 0; k < text.size(); ++k) {
        wchar_t c = text[k];
        const FontFace* f = latin;
        if (IsEastAsian(c)) {
          if (!ea) ea = face(body.Effective(rPr, level, CharProp::EastAsian), true, bold, italic);
          f = ea;
        }
        glyphs.push_back({c, c == L'\v' ? 0.0 : f->Advance(static_cast<char32_t>(c)), f->LineHeight(), size,
                          c == L'\v' ? 0.0 : spacing, item.start + static_cast<long>(k), false});
      }
    }
    for (size_t k = 0; k < glyphs.size(); ++k) {
      bool nextEastAsian = k + 1 < glyphs.size() && IsEastAsian(glyphs[k + 1].c);
      glyphs[k].breakAfter = IsBlank(glyphs[k].c) || IsEastAsian(glyphs[k].c) || nextEastAsian || glyphs[k].c == L'-';
    }
    pugi::xml_node end = Child(para.node, "endParaRPr");
    // An empty line is as high as its paragraph mark's font.
    out.markSize = glyphs.empty() ? SizeOf(body, end, level) : 0;
    out.markLineHeight = face(body.Effective(end, level, CharProp::Latin), false, false, false)->LineHeight();
  }
  return shaped;
}

}  // namespace

std::string ResolveTypeface(const TextBody& body, const std::optional<std::string>& typeface, bool eastAsian) {
  const TextStyleContext* ctx = body.Context();
  std::string face = typeface.value_or("");
  if (face.empty()) face = eastAsian ? "+mn-ea" : "+mn-lt";
  if (face[0] == '+') {
    if (ctx) {
      auto it = ctx->themeFonts.find(face);
      if (it != ctx->themeFonts.end() && !it->second.empty()) return it->second;
      if (eastAsian) {
        std::string latin = face.substr(0, 4) + "lt";
        auto lt = ctx->themeFonts.find(latin);
        if (lt != ctx->themeFonts.end() && !lt->second.empty()) return lt->second;
      }
    }
    // The default theme's fonts.
    return face.starts_with("+mj") ? "Calibri Light" : "Calibri";
  }
  return face;
}

namespace {

TextLayout LayoutAt(const ShapedBody& shaped, const TextFrameGeometry& frame, int fontScale, int lineReduction) {
  TextLayout layout;
  const double scale = fontScale / 100000.0;
  const double reduction = lineReduction / 100000.0;

  double frameWidth = frame.vertical ? frame.height : frame.width;
  double available = frameWidth - frame.insetLeft - frame.insetRight;
  if (!frame.wrap || available <= 0) available = std::numeric_limits<double>::infinity();

  double y = frame.insetTop;
  std::vector<Placed> placed;
  for (size_t pi = 0; pi < shaped.paras.size(); ++pi) {
    const ShapedBody::Para& para = shaped.paras[pi];
    bool lastPara = pi + 1 == shaped.paras.size();
    const double marL = para.marL, indent = para.indent;
    const Spacing lnSpc = para.lnSpc, spcBef = para.spcBef, spcAft = para.spcAft;
    const std::string& align = para.align;
    const std::vector<Glyph>& glyphs = para.glyphs;
    placed.clear();
    placed.reserve(glyphs.size());
    for (const Glyph& g : glyphs) {
      double size = g.size * scale;
      placed.push_back({g.c == L'\v' ? 0.0 : g.advance * size + g.spacing, g.lineHeight * size, size});
    }
    const double markSize = glyphs.empty() ? para.markSize * scale : placed.back().size;

    if (pi > 0) y += spcBef.points ? spcBef.value : spcBef.value * markSize * 1.2;

    auto emitLine = [&](size_t from, size_t to, bool endsParagraph, bool firstLine) {
      LineBox line;
      line.start = from < glyphs.size() ? glyphs[from].position : para.start + para.length;
      long last = to > from ? glyphs[to - 1].position + 1 : line.start;
      // The break or mark that ends the line belongs to it.
      line.length = last - line.start;
      if (endsParagraph && !lastPara) line.length += 1;
      double x = 0, width = 0, single = 0;
      line.x.reserve(to - from + 1);
      for (size_t k = from; k < to; ++k) {
        line.x.push_back(x);
        x += placed[k].advance;
        if (!IsBlank(glyphs[k].c) && glyphs[k].c != L'\v') width = x;
        single = std::max(single, placed[k].lineHeight);
      }
      line.x.push_back(x);
      if (single == 0) single = para.markLineHeight * markSize;
      double height = lnSpc.points ? lnSpc.value : single * std::max(0.1, lnSpc.value - reduction);
      double offset = marL + (firstLine ? indent : 0);
      double room = (std::isinf(available) ? width : available) - offset;
      if (align == "ctr") offset += std::max(0.0, (room - width) / 2);
      else if (align == "r") offset += std::max(0.0, room - width);
      line.left = frame.insetLeft + offset;
      line.width = width;
      line.top = y;
      line.height = height;
      y += height;
      layout.lines.push_back(std::move(line));
    };

    size_t lineStart = 0;
    bool firstLine = true;
    double x = 0;
    size_t lastBreak = 0;  // index after the last break opportunity on this line
    for (size_t k = 0; k < glyphs.size(); ++k) {
      double limit = available - marL - (firstLine ? indent : 0);
      if (glyphs[k].c == L'\v') {
        emitLine(lineStart, k + 1, false, firstLine);
        firstLine = false;
        lineStart = k + 1;
        lastBreak = lineStart;
        x = 0;
        continue;
      }
      x += placed[k].advance;
      if (x > limit + 1e-6 && !IsBlank(glyphs[k].c) && k > lineStart) {
        size_t cut = lastBreak > lineStart ? lastBreak : k;
        emitLine(lineStart, cut, false, firstLine);
        if (cut == k) {
          double word = 0;
          for (size_t j = lineStart; j < glyphs.size(); ++j) {
            if (glyphs[j].c == L'\v' || (IsBlank(glyphs[j].c) && j > lineStart)) break;
            word += placed[j].advance;
            if (glyphs[j].breakAfter) break;
          }
          LineBox& line = layout.lines.back();
          line.overrun = std::max(0.0, word - line.width);
        }
        firstLine = false;
        lineStart = cut;
        lastBreak = lineStart;
        x = 0;
        for (size_t j = lineStart; j <= k; ++j) {
          x += placed[j].advance;
          if (glyphs[j].breakAfter && j < k) lastBreak = j + 1;
        }
      }
      if (glyphs[k].breakAfter) lastBreak = k + 1;
    }
    emitLine(lineStart, glyphs.size(), true, firstLine);
    if (!lastPara) y += spcAft.points ? spcAft.value : spcAft.value * markSize * 1.2;
  }
  layout.textHeight = y - frame.insetTop;
  return layout;
}

}  // namespace

std::shared_ptr<ShapedBody> ShapeBody(const TextBody& body) { return std::make_shared<ShapedBody>(Shape(body)); }

TextLayout LayoutBody(const TextBody& body, const ShapedBody& shaped, const TextFrameGeometry& frame) {
  pugi::xml_node autofit = Child(Child(body.Node(), "bodyPr"), "normAutofit");
  return LayoutAt(shaped, frame, autofit ? autofit.attribute("fontScale").as_int(100000) : 100000,
                  autofit ? autofit.attribute("lnSpcReduction").as_int(0) : 0);
}

bool ResizeShaped(ShapedBody& shaped, const TextBody& body, TextSpan span) {
  const auto& paras = body.Index();
  if (paras.size() != shaped.paras.size()) return false;
  // From the first paragraph whose mark (which takes a size set over it as
  // well) is not before the span: a long body is stepped run by run.
  auto first = std::partition_point(paras.begin(), paras.end(), [&](const TextBody::Para& p) {
    return p.start + p.length < span.start;
  });
  for (size_t pi = static_cast<size_t>(first - paras.begin()); pi < paras.size(); ++pi) {
    const TextBody::Para& para = paras[pi];
    if (para.start > span.end()) break;
    ShapedBody::Para& out = shaped.paras[pi];
    if (para.start != out.start || para.length != out.length) return false;
    const int level = LevelOf(para.node);
    auto item = std::partition_point(para.items.begin(), para.items.end(), [&](const TextBody::Item& i) {
      return i.start + i.length <= span.start;
    });
    for (; item != para.items.end() && item->start < span.end(); ++item) {
      if (item->length == 0) continue;
      const double size = SizeOf(body, Child(item->node, "rPr"), level);
      for (long k = item->start; k < item->start + item->length; ++k) {
        const size_t g = static_cast<size_t>(k - para.start);
        if (g >= out.glyphs.size() || out.glyphs[g].position != k) return false;
        out.glyphs[g].size = size;
      }
    }
    if (out.glyphs.empty()) out.markSize = SizeOf(body, Child(para.node, "endParaRPr"), level);
  }
  return true;
}

TextLayout::Box TextLayout::Bounds(TextSpan span) const {
  Box box;
  bool any = false;
  double left = 0, right = 0, top = 0, bottom = 0;
  bool empty = span.length <= 0;
  for (const LineBox& line : lines) {
    long lineEnd = line.start + line.length;
    bool touches = empty ? (span.start >= line.start && (span.start < lineEnd || &line == &lines.back()))
                         : (line.start < span.end() && lineEnd > span.start) ||
                               (line.length == 0 && span.start <= line.start && line.start <= span.end());
    if (!touches) continue;
    long from = std::clamp(span.start - line.start, 0L, static_cast<long>(line.x.size()) - 1);
    long to = std::clamp(span.end() - line.start, from, static_cast<long>(line.x.size()) - 1);
    double l = line.left + line.x[from];
    double r = line.left + std::min(line.x[to], line.width);
    if (to + 1 == static_cast<long>(line.x.size())) r += line.overrun;
    if (r < l) r = l;
    if (!any) {
      left = l, right = r, top = line.top, bottom = line.top + line.height;
      any = true;
    } else {
      left = std::min(left, l);
      right = std::max(right, r);
      bottom = line.top + line.height;
    }
    if (empty) break;
  }
  if (any) box = {left, top, right - left, bottom - top};
  return box;
}

std::optional<TextLayout> RefitAutofit(const TextBody& body, const TextFrameGeometry& frame) {
  pugi::xml_node bodyPr = Child(body.Node(), "bodyPr");
  pugi::xml_node autofit = Child(bodyPr, "normAutofit");
  if (!autofit) return std::nullopt;
  double room = (frame.vertical ? frame.width : frame.height) - frame.insetTop - frame.insetBottom;
  if (room <= 0) return std::nullopt;
  // The renderer's steps: whole font scale first, then 7.5 % at a time with
  // line spacing reduced by 10 % and later 20 %. The answer is the largest
  // step that fits; the search starts from the current step, since an edit
  // seldom moves it far, so that a long body edited piece by piece is laid
  // out a few times per edit rather than once per step.
  static constexpr int kScales[] = {100000, 92500, 85000, 77500, 70000, 62500, 55000, 47500, 40000, 32500, 25000};
  constexpr int kSteps = static_cast<int>(std::size(kScales));
  auto reductionFor = [](int s) { return s == 100000 ? 0 : (s >= 85000 ? 10000 : 20000); };
  // The body is measured once; each step only scales it. The search ends
  // on the chosen step or one past it, so the last two layouts are kept.
  const ShapedBody shaped = Shape(body);
  std::optional<std::pair<int, TextLayout>> last, before;
  auto fits = [&](int step) {
    TextLayout layout = LayoutAt(shaped, frame, kScales[step], reductionFor(kScales[step]));
    bool fit = layout.textHeight <= room + 0.01;
    before = std::move(last);
    last.emplace(step, std::move(layout));
    return fit;
  };
  int current = 0;
  int oldScaleValue = autofit.attribute("fontScale").as_int(100000);
  while (current + 1 < kSteps && kScales[current] > oldScaleValue) ++current;
  int step = current;
  if (fits(step)) {
    while (step > 0 && fits(step - 1)) --step;
  } else {
    while (step + 1 < kSteps && !fits(step + 1)) ++step;
    if (step + 1 < kSteps) ++step;
  }
  int chosenScale = kScales[step];
  int chosenReduction = reductionFor(chosenScale);
  int oldScale = autofit.attribute("fontScale").as_int(100000);
  int oldReduction = autofit.attribute("lnSpcReduction").as_int(0);
  std::optional<TextLayout> layout;
  if (last && last->first == step) layout = std::move(last->second);
  else if (before && before->first == step) layout = std::move(before->second);
  if (oldScale == chosenScale && oldReduction == chosenReduction) return layout;
  auto set = [&](const char* name, int value, int absent) {
    if (value == absent) autofit.remove_attribute(name);
    else {
      pugi::xml_attribute a = autofit.attribute(name);
      if (!a) a = autofit.append_attribute(name);
      a.set_value(value);
    }
  };
  set("fontScale", chosenScale, 100000);
  set("lnSpcReduction", chosenReduction, 0);
  return layout;
}

}  // namespace host::pptx
