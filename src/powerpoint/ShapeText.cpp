// Shape text: segments cut by SplitSentences, translated one by one and
// written into exactly the characters they occupy in the target, in either
// text model, and the shrinking of a translation until it fits its shape.
//
// Positions: every segment position counts from the first character of the
// range being worked on (the whole text, one paragraph, or the user's
// selection), in the source and in the target alike. The target range is
// re-fetched from the shape at its absolute start after each write that
// changed the length, because ranges do not follow edits.
#include <algorithm>
#include <cmath>
#include <cwchar>
#include <exception>
#include <vector>

#include "src/engine/AppCommon.h"
#include "src/host/Application.h"
#include "src/host/Shapes.h"
#include "src/host/TextRange.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/powerpoint/ShapeText.h"
#include "src/powerpoint/RunText.h"
#include "src/support/Log.h"

namespace powerpoint {

namespace {

constexpr wchar_t kShapeSource[] = L"PowerPointTranslationProcess::TranslateShapeTextRange";
constexpr wchar_t kRangeSource[] = L"PowerPointTranslationProcess::TranslateTextRange2";
constexpr wchar_t kFitSource[] = L"PowerPointTranslationProcess::FitTextToShape";

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\v'; }

bool IsBlank(const std::wstring& text) {
  return text.find_first_not_of(L" \t\r\n\v\x3000") == std::wstring::npos;
}

// What keeps two sentences apart already, so that no separator goes between.
bool IsGap(wchar_t c) { return IsLineEnd(c) || c == L' ' || c == L'\t' || c == L'\x3000' || c == L'\xA0'; }

bool IsDefinite(int tri) { return tri == host::msoTrue || tri == host::msoFalse || tri == host::msoCTrue; }

// The classic text model (hosts below version 12).
struct ClassicModel {
  using Range = host::TextRange;
  using Font = host::Font;
  using Frame = host::TextFrame;
  static constexpr bool kModern = false;
  static host::Ptr<Frame> FrameOf(const host::Ptr<host::Shape>& s) { return s->TextFrame(); }
  static bool HasText(Frame& f) { return f.HasText(); }
  static void SetColor(Range& r, int rgb) { r.Font()->Color()->SetRgb(rgb); }
  static int Underline(Font& f) { return f.Underline(); }
  static bool IsUnderline(int v) { return IsDefinite(v); }
  static void SetUnderline(Font& f, int v) { f.SetUnderline(v); }
  static void ClearSelection(RunContext& ctx, Range&, int) {
    if (ctx.prop.Application) ctx.prop.Application->ActiveWindow()->Selection()->Unselect();
  }
};

// The newer text model (version 12 and later).
struct ModernModel {
  using Range = host::TextRange2;
  using Font = host::Font2;
  using Frame = host::TextFrame2;
  static constexpr bool kModern = true;
  static host::Ptr<Frame> FrameOf(const host::Ptr<host::Shape>& s) { return s->TextFrame2(); }
  static bool HasText(Frame& f) { return f.HasText() != host::msoFalse; }
  static void SetColor(Range& r, int rgb) { r.Font()->Fill()->ForeColor()->SetRgb(rgb); }
  static int Underline(Font& f) { return f.UnderlineStyle(); }
  static bool IsUnderline(int v) { return v >= 0; }
  static void SetUnderline(Font& f, int v) { f.SetUnderlineStyle(v); }
  static void ClearSelection(RunContext&, Range& target, int start) { target.Characters(start, 0)->Select(); }
};

// The character formatting a transfer carries, read once from a source
// font and written onto a target in the transfer's order. Mixed values (a
// source part with two settings) are not written.
template <class M>
struct FontStyle {
  int rotate = host::msoFalse;  // the classic model only
  int bold = host::msoFalse;
  int italic = host::msoFalse;
  int underline = 0;
  float size = 0;
  int emboss = host::msoFalse;
  int shadow = host::msoFalse;
  float baseline = 0;
  // Colours are carried by the classic model below version 12 only.
  bool hasColor = false;
  int colorType = 0;
  int rgb = 0;
  int scheme = 0;

  static FontStyle Read(RunContext& ctx, typename M::Font& s) {
    FontStyle f;
    if constexpr (M::kModern) {
      const host::Font2::Formatting r = s.Read();
      f.bold = r.bold;
      f.italic = r.italic;
      f.underline = r.underlineStyle;
      f.size = r.size;
      f.emboss = r.emboss;
      f.shadow = r.shadow;
      f.baseline = r.baselineOffset;
    } else {
      f.rotate = s.AutoRotateNumbers();
      f.bold = s.Bold();
      f.italic = s.Italic();
      f.underline = M::Underline(s);
      f.size = s.Size();
      f.emboss = s.Emboss();
      f.shadow = s.Shadow();
      f.baseline = s.BaselineOffset();
      if (ctx.Version() < 12) {
        host::Ptr<host::ColorFormat> from = s.Color();
        f.hasColor = true;
        f.colorType = from->Type();
        if (f.colorType == host::msoColorTypeRGB) f.rgb = from->Rgb();
        else if (f.colorType == host::msoColorTypeScheme) f.scheme = from->SchemeColor();
      }
    }
    return f;
  }

  void Apply(typename M::Font& t) const {
    if constexpr (M::kModern) {
      // One call, which the host may make as one edit.
      using W = host::Font2::Write;
      std::vector<W> writes;
      if (IsDefinite(bold)) writes.push_back({W::Bold, static_cast<float>(bold)});
      if (IsDefinite(italic)) writes.push_back({W::Italic, static_cast<float>(italic)});
      if (M::IsUnderline(underline)) writes.push_back({W::UnderlineStyle, static_cast<float>(underline)});
      if (size >= 1.0f) writes.push_back({W::Size, size});
      AddEffects(writes);
      if (baseline >= -1.0f && baseline <= 1.0f) writes.push_back({W::BaselineOffset, baseline});
      t.Apply(writes);
    } else {
      if (IsDefinite(rotate)) t.SetAutoRotateNumbers(rotate);
      if (IsDefinite(bold)) t.SetBold(bold);
      if (IsDefinite(italic)) t.SetItalic(italic);
      if (M::IsUnderline(underline)) M::SetUnderline(t, underline);
      if (size >= 1.0f) t.SetSize(size);
      ApplyEffects(t);
      if (baseline >= -1.0f && baseline <= 1.0f) t.SetBaselineOffset(baseline);
      if (!hasColor) return;
      host::Ptr<host::ColorFormat> to = t.Color();
      if (colorType == host::msoColorTypeRGB) to->SetRgb(rgb);
      else if (colorType == host::msoColorTypeScheme && scheme > 0) to->SetSchemeColor(scheme);
    }
  }

  // The effects are taken off and put on again, which the host may do by
  // rebuilding them.
  void ApplyEffects(typename M::Font& t) const {
    if constexpr (M::kModern) {
      std::vector<host::Font2::Write> writes;
      AddEffects(writes);
      t.Apply(writes);
    } else {
      t.SetEmboss(host::msoFalse);
      if (emboss == host::msoTrue) t.SetEmboss(host::msoTrue);
      t.SetShadow(host::msoFalse);
      if (shadow == host::msoTrue) t.SetShadow(host::msoTrue);
    }
  }
  void AddEffects(std::vector<host::Font2::Write>& writes) const {
    using W = host::Font2::Write;
    writes.push_back({W::Emboss, static_cast<float>(host::msoFalse)});
    if (emboss == host::msoTrue) writes.push_back({W::Emboss, static_cast<float>(host::msoTrue)});
    writes.push_back({W::Shadow, static_cast<float>(host::msoFalse)});
    if (shadow == host::msoTrue) writes.push_back({W::Shadow, static_cast<float>(host::msoTrue)});
  }
  bool HasEffects() const { return emboss == host::msoTrue || shadow == host::msoTrue; }

  // Every value is written, none mixed: each part of the source reads the
  // same, and writing it again onto a part of a target that took it changes
  // nothing but the effects.
  bool Uniform() const {
    return M::kModern && IsDefinite(bold) && IsDefinite(italic) && M::IsUnderline(underline) && size >= 1.0f &&
           IsDefinite(emboss) && IsDefinite(shadow) && baseline >= -1.0f && baseline <= 1.0f;
  }
};

// Character formatting of the source segment onto the written translation:
// the segment as a whole, then each part the engine paired with a part of
// the translation. Parts reaching past either text are cut to it; a group
// with more translation parts than source parts gives the extra ones the
// formatting of its last source part.
template <class M>
void TransferStyle(RunContext& ctx, typename M::Range& source, typename M::Range& target,
                   const engine::TranslationSegment& segment) {
  try {
    const FontStyle<M> whole = FontStyle<M>::Read(ctx, *source.Font());
    whole.Apply(*target.Font());
    if (!segment.styleCorrespondence) return;
    // A segment of one style has given it to every part of the translation
    // already, all but the effects.
    const bool uniform = whole.Uniform();
    if (uniform && !whole.HasEffects()) return;
    const int sourceLength = source.Length();
    const int targetLength = target.Length();
    for (const engine::StyleCorrespondenceGroup& g : *segment.styleCorrespondence) {
      int s = g.SourceCount();
      int t = g.TranslationCount();
      if (s < 1 || t < 1 || s + t > engine::StyleCorrespondenceGroup::kMaxRanges) continue;
      for (int j = 0; j < t; ++j) {
        const auto& from = g.Source(std::min(j, s - 1));
        const auto& to = g.Translation(j);
        if (from[1] <= 0 || to[1] <= 0 || from[0] < 0 || to[0] < 0) continue;
        if (from[0] >= sourceLength || to[0] >= targetLength) continue;
        auto targetPart = target.Characters(to[0] + 1, std::min(to[1], targetLength - to[0]));
        if (uniform) {
          whole.ApplyEffects(*targetPart->Font());
          continue;
        }
        auto sourcePart = source.Characters(from[0] + 1, std::min(from[1], sourceLength - from[0]));
        FontStyle<M>::Read(ctx, *sourcePart->Font()).Apply(*targetPart->Font());
      }
    }
  } catch (const platform::ComError& e) {
    // The translation is written; formatting that cannot be carried over is
    // not worth the rest of the run.
    LOG_WARNING(kShapeSource, L"keep style: " + e.Description());
  }
}

template <class M>
void ApplyTargetLanguage(RunContext& ctx, typename M::Range& r) {
  const options::TranslationOptionUDT& o = ctx.Options();
  try {
    if (o.ToLcid > 0) r.SetLanguageID(o.ToLcid);
  } catch (const platform::ComError& e) {
    LOG_WARNING(kShapeSource, L"language " + std::to_wstring(o.ToLcid) + L": " + e.Description());
  }
  const std::wstring* font = options::FontForCharset(o);
  if (!font || font->empty()) return;
  host::Ptr<typename M::Font> f = r.Font();
  f->SetName(*font);
  f->SetNameFarEast(*font);
  f->SetNameAscii(*font);
}

// A link that reads as its own address says where it leads; like a field,
// which the host keeps up to date, it stays as it is.
bool ShowsItsAddress(const std::wstring& shown, const std::wstring& address) {
  auto bare = [](std::wstring text) {
    for (const wchar_t* scheme : {L"mailto:", L"https://", L"http://"}) {
      const size_t n = std::wcslen(scheme);
      if (text.size() >= n && platform::EqualsNoCase(std::wstring_view(text).substr(0, n), scheme)) text.erase(0, n);
    }
    while (!text.empty() && text.back() == L'/') text.pop_back();
    return text;
  };
  return !address.empty() && !shown.empty() && platform::EqualsNoCase(bare(shown), bare(address));
}

// The fields and actions over a segment of a range's text, moved to count
// from 0 in the segment's source. Fields and links shown as their address
// become the segment's held spans; a link to carry onto other words asks
// for the word correspondence. Returns the actions.
std::vector<host::TextObject> TakeObjects(const std::vector<host::TextObject>& all,
                                          engine::TranslationSegment& seg) {
  std::vector<host::TextObject> actions;
  for (host::TextObject o : all) {
    int from = std::max(o.start, static_cast<int>(seg.start));
    int to = std::min(o.start + o.length, static_cast<int>(seg.end) + 1);
    if (to <= from) continue;
    o.start = from - seg.start;
    o.length = to - from;
    const bool held = o.kind == host::TextObject::Field ||
                      ShowsItsAddress(seg.source.substr(o.start, o.length), o.address);
    if (held) seg.held.push_back({o.start, o.length, std::nullopt, true});
    if (o.kind != host::TextObject::Action) continue;
    if (!held) seg.wantsCorrespondence = true;
    actions.push_back(std::move(o));
  }
  return actions;
}

// The held spans where the translation has them, or none when it lost one
// (a macro rewrote it): the segment is then written as one text.
std::vector<engine::KeptSpan> HeldInTranslation(const engine::TranslationSegment& seg) {
  std::vector<engine::KeptSpan> held;
  for (const engine::KeptSpan& k : seg.kept)
    if (k.held) held.push_back(k);
  if (held.size() != seg.held.size()) return {};
  return held;
}

// One range pair and what the writer needs to find the target again.
template <class M>
struct RangePair {
  host::Ptr<typename M::Range> source;
  host::Ptr<typename M::Range> target;
  host::Ptr<typename M::Frame> targetFrame;
  int targetStart = 1;   // absolute start of the target range in its frame
  int targetLength = 0;  // its length now, following every write

  void Refresh() {
    target = targetFrame->TextRange()->Characters(targetStart, targetLength);
  }
};

// Writes the translation around the held spans, which stay where they
// are, their characters untouched; the later pieces go first so that the
// earlier ones keep their places.
template <class M>
void WriteAround(RangePair<M>& pair, const engine::TranslationSegment& segment, const std::wstring& translation,
                 const std::vector<engine::KeptSpan>& held, int count) {
  int sourceEnd = count;
  int translationEnd = static_cast<int>(translation.size());
  for (int k = static_cast<int>(held.size()) - 1; k >= -1; --k) {
    int sourceStart = k >= 0 ? held[k].sourcePosition + held[k].sourceLength : 0;
    int translationStart = k >= 0 ? held[k].translationPosition + held[k].translationLength : 0;
    if (sourceEnd > sourceStart || translationEnd > translationStart) {
      pair.target->Characters(segment.targetStart + sourceStart, sourceEnd - sourceStart)
          ->SetText(translation.substr(translationStart, translationEnd - translationStart));
    }
    if (k >= 0) {
      sourceEnd = held[k].sourcePosition;
      translationEnd = held[k].translationPosition;
    }
  }
}

// The source's links onto the written translation: a link that stayed as
// it was at its kept place, any other on the words that translate it, or
// on the whole translation when the engine paired none with it. The
// written text took the first replaced character's link, if any; it is
// taken off first.
template <class M>
void CarryActions(typename M::Range& r, const engine::TranslationSegment& segment,
                  const std::vector<host::TextObject>& actions) {
  if (actions.empty()) return;
  const int length = r.Length();
  if (length < 1) return;
  r.SetAction(L"");
  for (const host::TextObject& a : actions) {
    int low = -1, high = -1;
    for (const engine::KeptSpan& k : segment.kept) {
      if (k.sourcePosition == a.start && k.sourceLength == a.length) {
        low = k.translationPosition;
        high = low + k.translationLength;
      }
    }
    if (low < 0 && segment.styleCorrespondence) {
      for (const engine::StyleCorrespondenceGroup& g : *segment.styleCorrespondence) {
        bool overlaps = false;
        for (int i = 0; i < g.SourceCount(); ++i)
          overlaps |= g.Source(i)[0] < a.start + a.length && a.start < g.Source(i)[0] + g.Source(i)[1];
        if (!overlaps) continue;
        for (int j = 0; j < g.TranslationCount(); ++j) {
          low = low < 0 ? g.Translation(j)[0] : std::min(low, g.Translation(j)[0]);
          high = std::max(high, g.Translation(j)[0] + g.Translation(j)[1]);
        }
      }
    }
    if (low < 0) {
      low = 0;
      high = length;
      LOG_DETAIL(kRangeSource, L"a link without corresponding words goes onto the whole translation");
    }
    low = std::clamp(low, 0, length);
    high = std::clamp(high, low, length);
    if (high > low) r.Characters(low + 1, high - low)->SetAction(a.action);
  }
}

// Writes one translated segment into the target and moves the segment's
// target positions onto what was written.
template <class M>
void WriteSegment(RunContext& ctx, RangePair<M>& pair, engine::TranslationSegment& segment, bool lineEnd,
                  const std::vector<host::TextObject>& actions) {
  const options::TranslationOptionUDT& o = ctx.Options();
  int count = segment.targetEnd - segment.targetStart + 1;
  if (count < 0) return;
  const std::wstring translation = segment.translation.value_or(std::wstring());
  host::Ptr<typename M::Range> r = pair.target->Characters(segment.targetStart, count);
  const int originalStart = segment.targetStart;
  int grown = 0;
  std::vector<engine::KeptSpan> held = HeldInTranslation(segment);
  if (o.DualPrint != 1 && !held.empty()) {
    WriteAround<M>(pair, segment, translation, held, count);
    grown = static_cast<int>(translation.size()) - count;
    pair.targetLength += grown;
    pair.Refresh();
    grown = 0;  // the target is current already
    r = pair.target->Characters(segment.targetStart, static_cast<int>(translation.size()));
  } else if (o.DualPrint != 1) {
    int before = r->Length();
    r->SetText(translation);
    grown = r->Length() - before;
  } else {
    auto insert = [&](const std::wstring& text) {
      r = r->InsertAfter(text);
      grown += r->Length();
    };
    switch (o.DualPrintDest) {
      case 1:
        if (!translation.empty()) insert(translation);
        break;
      case 2:
        if (!lineEnd) insert(translation + L"\v");
        else if (!translation.empty()) insert(translation);
        break;
      default:
        insert(L"\v");
        if (!lineEnd) insert(translation + L"\v");
        else if (!translation.empty()) insert(translation);
        break;
    }
  }
  segment.targetStart = r->Start() - pair.targetStart + 1;
  segment.targetEnd = segment.targetStart + r->Length() - 1;
  if (grown != 0) {
    pair.targetLength += grown;
    pair.Refresh();
    r = pair.target->Characters(segment.targetStart, segment.targetEnd - segment.targetStart + 1);
  }
  // Inserted text takes the colour of the character before it: the
  // original is coloured only once the translation is in, so that the
  // translation keeps the source's colour unless it gets one of its own.
  if (o.DualPrint == 1 && o.ChangesOrigFontColor == 1 && count > 0)
    M::SetColor(*pair.target->Characters(originalStart, count), o.OrigFontColorValue);
  if (o.KeepStyle == 1) {
    auto from = pair.source->Characters(segment.start, segment.end - segment.start + 1);
    TransferStyle<M>(ctx, *from, *r, segment);
  }
  if (o.DualPrint == 1 && o.ChangesTranFontColor == 1) M::SetColor(*r, o.TranFontColorValue);
  ApplyTargetLanguage<M>(ctx, *r);
  CarryActions<M>(*r, segment, actions);
}

template <class M>
void FollowSelect(RunContext& ctx, typename M::Range& target, int start, int length) {
  if (!ctx.Follows()) return;
  try {
    target.Characters(start, length)->Select();
  } catch (const platform::ComError& e) {
    // A hidden shape or a view without text selection: the walk goes on
    // without following.
    LOG_WARNING(kShapeSource, L"select: " + e.Description());
  }
}

template <class M>
void FollowClear(RunContext& ctx, typename M::Range& target, int start) {
  if (!ctx.Follows()) return;
  try {
    M::ClearSelection(ctx, target, start);
  } catch (const platform::ComError& e) {
    LOG_WARNING(kShapeSource, L"unselect: " + e.Description());
  }
}

// Segments from index `from` on that hold something to translate.
int CountTexts(const std::vector<engine::TranslationSegment>& segments, size_t from) {
  int n = 0;
  for (size_t i = from; i < segments.size(); ++i) n += IsBlank(segments[i].source) ? 0 : 1;
  return n;
}

// The text of a range as its segments count it.
template <class M>
std::wstring SourceText(typename M::Range& range) {
  std::wstring text = range.Text();
  if constexpr (!M::kModern) {
    for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at)) text.erase(at + 1, 1);
  }
  return text;
}

bool CutText(RunContext& ctx, const std::wstring& text, std::vector<engine::TranslationSegment>* segments) {
  if (text.empty()) return true;
  if (!ctx.app.GetEngine().SplitSentences(text, 1, static_cast<std::int32_t>(text.size()), segments)) {
    LOG_ERROR(kRangeSource, L"SplitSentences failed");
    return false;
  }
  return true;
}

// The segment loop over one range pair. Returns false when the text cannot
// be split; a cancel ends it with success.
template <class M>
bool TranslateRangePair(RunContext& ctx, RangePair<M>& pair) {
  const std::wstring text = SourceText<M>(*pair.source);
  LOG_DETAIL(kRangeSource, L"source: " + text);
  if (text.empty()) return true;
  std::vector<engine::TranslationSegment> segments;
  if (!CutText(ctx, text, &segments)) return false;
  // The engine may translate the later sentences while earlier ones are
  // written; a range left early must not leave it working for nobody.
  // Within a slide walk the walk has announced them already.
  struct DropOnExit {
    engine::Engine* engine;
    ~DropOnExit() {
      if (engine) engine->DropAhead();
    }
  } dropOnExit{nullptr};
  std::vector<std::vector<host::TextObject>> actions(segments.size());
  const std::vector<host::TextObject> objects = pair.source->TextObjects();
  for (size_t i = 0; i < segments.size() && !objects.empty(); ++i) actions[i] = TakeObjects(objects, segments[i]);
  if (!ctx.walkAnnounces) {
    ctx.app.TranslateAhead(ctx.Options(), segments);
    dropOnExit.engine = &ctx.app.GetEngine();
  }
  std::int32_t shift = 0;
  for (size_t i = 0; i < segments.size(); ++i) {
    engine::TranslationSegment& seg = segments[i];
    bool lineEnd = false;
    while (seg.source.size() > 1 && IsLineEnd(seg.source.back())) {
      seg.source.pop_back();
      --seg.end;
      lineEnd = true;
    }
    seg.targetStart = seg.start + shift;
    seg.targetEnd = seg.end + shift;
    // Blanks and bare line ends have nothing to translate; sending them
    // would only repeat them in dual print.
    if (IsBlank(seg.source)) continue;
    FollowSelect<M>(ctx, *pair.target, seg.targetStart, seg.targetEnd - seg.targetStart + 1);
    TextOutcome outcome = TranslateOne(ctx, seg);
    if (outcome == TextOutcome::Cancelled) {
      CountLeft(ctx, kLeftCancelled, CountTexts(segments, i));
      return true;
    }
    if (outcome != TextOutcome::Translated) {
      LOG_WARNING(kRangeSource, L"left as it was (" + std::wstring(LeftReason(outcome)) + L"): " + seg.source);
      CountLeft(ctx, LeftReason(outcome));
      continue;
    }
    if (i + 1 == segments.size()) {
      lineEnd = true;
    } else if (!seg.translation->empty() && !lineEnd && !IsGap(seg.translation->back()) &&
               !(!segments[i + 1].source.empty() && IsGap(segments[i + 1].source.front()))) {
      // The splitter leaves the blank after a sentence at the start of the
      // next one; a separator on top of it would double the gap.
      *seg.translation += ctx.Options().SentenceSeparator;
    }
    FollowClear<M>(ctx, *pair.target, seg.targetStart);
    WriteSegment<M>(ctx, pair, seg, lineEnd, actions[i]);
    LOG_DETAIL(kRangeSource, L"translated: " + *seg.translation);
    ++ctx.stats.segmentsTranslated;
    shift = seg.targetEnd - seg.end;
    ctx.DrainMessages();
    if (ctx.IsCancelled()) {
      CountLeft(ctx, kLeftCancelled, CountTexts(segments, i + 1));
      return true;
    }
  }
  return true;
}

template <class M>
bool TranslateShapeText(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target,
                        bool useSelection, bool paragraphMode) {
  host::Ptr<typename M::Frame> targetFrame = M::FrameOf(target);
  host::Ptr<typename M::Range> sourceBase = M::FrameOf(source)->TextRange();
  host::Ptr<typename M::Range> targetBase = targetFrame->TextRange();
  if (!sourceBase || !targetBase) {
    LOG_ERROR(kShapeSource, L"no text range");
    return false;
  }
  if (useSelection) {
    if (ctx.prop.SelectedTextSize < 1) {
      LOG_ERROR(kShapeSource, L"empty text selection");
      return false;
    }
    sourceBase = sourceBase->Characters(ctx.prop.SelectedTextStart, ctx.prop.SelectedTextSize);
    targetBase = targetBase->Characters(ctx.prop.SelectedTextStart, ctx.prop.SelectedTextSize);
  }
  RangePair<M> pair{sourceBase, targetBase, targetFrame, targetBase->Start(), targetBase->Length()};
  if (!paragraphMode) return TranslateRangePair<M>(ctx, pair);

  LOG_INFO(kShapeSource, L"ParagraphMode");
  const int baseStart = sourceBase->Start();
  const int targetBaseStart = pair.targetStart;
  const int paragraphs = sourceBase->Paragraphs()->Count();
  int grown = 0;  // how much longer the target is than the source so far
  bool ok = true;
  for (int i = 1; i <= paragraphs; ++i) {
    host::Ptr<typename M::Range> paragraph = sourceBase->Paragraphs(i, 1);
    int length = paragraph->Length();
    RangePair<M> one{paragraph, nullptr, targetFrame, targetBaseStart + (paragraph->Start() - baseStart) + grown, length};
    one.Refresh();
    if (!TranslateRangePair<M>(ctx, one)) ok = false;
    grown += one.targetLength - length;
    if (ctx.IsCancelled()) break;
  }
  return ok;
}

// What TranslateShapeText will cut the whole text of a shape into.
template <class M>
bool CollectTexts(RunContext& ctx, const host::Ptr<typename M::Range>& base, bool paragraphMode,
                  std::vector<engine::TranslationSegment>* segments) {
  if (!base) return true;
  // Cutting replaces what it is given.
  // Held spans as the translation will find them, so that what is
  // announced is what will be asked for.
  auto cut = [&](typename M::Range& range) {
    std::vector<engine::TranslationSegment> one;
    if (!CutText(ctx, SourceText<M>(range), &one)) return false;
    const std::vector<host::TextObject> objects = range.TextObjects();
    for (auto& s : one) {
      if (!objects.empty()) TakeObjects(objects, s);
      segments->push_back(std::move(s));
    }
    return true;
  };
  if (!paragraphMode) return cut(*base);
  const int paragraphs = base->Paragraphs()->Count();
  for (int i = 1; i <= paragraphs; ++i) {
    if (!cut(*base->Paragraphs(i, 1))) return false;
  }
  return true;
}

// The smallest size fitting sets; the host takes nothing below a point.
constexpr float kSmallestSize = 1.0f;

// Sizes are kept in hundredths of a point.
float Hundredths(float points) { return std::round(points * 100.0f) / 100.0f; }

template <class M>
void FitText(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target) {
  host::Ptr<typename M::Frame> frame = M::FrameOf(target);
  // Without text there is nothing to fit and no size to step down.
  if (!M::HasText(*frame)) return;
  float width = target->Width();
  float height = target->Height();
  // The text's box lies inside both margins whatever its anchor; a centred
  // text measured against the whole height is let out past its box.
  if (frame->Orientation() == host::msoTextOrientationHorizontal) {
    width -= frame->MarginLeft() + frame->MarginRight();
    height -= frame->MarginTop() + frame->MarginBottom();
  } else {
    width -= frame->MarginRight();
  }
  host::Ptr<typename M::Range> text = frame->TextRange();
  auto over = [&] { return std::max(text->BoundWidth() - width, text->BoundHeight() - height); };
  // A hundredth of a point is below what any renderer tells apart.
  constexpr float kSlack = 0.01f;
  // The height first: a text too tall need not be measured across too.
  auto fits = [&] { return text->BoundHeight() - height <= kSlack && text->BoundWidth() - width <= kSlack; };
  // Most translations fit their own box, and then the source need not be
  // laid out at all: what it adds only ever widens the box.
  if (fits()) return;
  // A text that did not fit before translation may overflow as far as its
  // source did: a shape without a size of its own (a placeholder whose
  // layout gives none) would otherwise have its text stepped down to the
  // smallest size.
  if (source && source->HasTextFrame()) {
    host::Ptr<typename M::Range> from = M::FrameOf(source)->TextRange();
    width = std::max(width, from->BoundWidth());
    height = std::max(height, from->BoundHeight());
  }
  if (fits()) return;

  // Runs are taken once by position: their text does not change while the
  // sizes do, and runs of equal formatting may merge on the way.
  struct Run {
    int start, length;
    float size;
  };
  std::vector<Run> runs;
  const int runCount = text->Runs()->Count();
  const int textStart = text->Start();
  for (int j = 1; j <= runCount; ++j) {
    host::Ptr<typename M::Range> run = text->Runs(j, 1);
    if (run->Length() < 1) continue;
    runs.push_back({run->Start() - textStart + 1, run->Length(), run->Font()->Size()});
  }
  if (runs.empty()) return;

  const int autoSize = frame->AutoSize();
  const int wordWrap = frame->WordWrap();
  bool restoreAutoSize = false;
  bool fitted = false;
  try {
    if (autoSize == 1) {
      frame->SetAutoSize(0);
      restoreAutoSize = true;
    }
    if (text->BoundWidth() > width && wordWrap != host::msoTrue) frame->SetWordWrap(host::msoTrue);
    for (int step = 1; step <= 100 && !(fitted = fits()); ++step) {
      // Every run steps down from its own size and stays at the floor once
      // there; when all are there the text stays as large as it can.
      bool moved = false;
      for (const Run& run : runs) {
        if (run.size < kSmallestSize) continue;
        const float now = std::max(kSmallestSize, Hundredths(run.size - static_cast<float>(step - 1)));
        const float next = std::max(kSmallestSize, Hundredths(run.size - static_cast<float>(step)));
        if (next >= now) continue;
        text->Characters(run.start, run.length)->Font()->SetSize(next);
        moved = true;
      }
      if (!moved) break;
    }
  } catch (const std::exception& e) {
    // One shape's text that cannot be fitted is not worth the run: it is
    // put back as the translation wrote it.
    LOG_WARNING(kFitSource, L"left as written: " + platform::ExceptionText(e));
    try {
      for (const Run& run : runs)
        if (run.size >= kSmallestSize) text->Characters(run.start, run.length)->Font()->SetSize(run.size);
      if (frame->WordWrap() != wordWrap && wordWrap != host::msoTriStateMixed) frame->SetWordWrap(wordWrap);
    } catch (const std::exception&) {
      LOG_WARNING(kFitSource, L"sizes not restored");
    }
  }
  if (restoreAutoSize) frame->SetAutoSize(1);
  // Fitted text stays fitted unless its frame grows again.
  const float left = fitted && !restoreAutoSize ? 0.0f : over();
  if (left > kSlack) {
    RunStatistics::Overflow o{ctx.place, left};
    std::wstring name = target->Name();
    if (!name.empty() && name != o.where.shape)
      o.where.shape = o.where.shape.empty() ? name : o.where.shape + L" / " + name;
    ctx.stats.overflowing.push_back(std::move(o));
    LOG_INFO(kFitSource, L"still too large by " + std::to_wstring(left) + L" pt: " + DescribePlace(ctx.place));
  }
}

}  // namespace

const wchar_t* LeftReason(TextOutcome outcome) {
  switch (outcome) {
    case TextOutcome::Translated: return nullptr;
    case TextOutcome::Cancelled: return kLeftCancelled;
    case TextOutcome::Empty: return kLeftEmpty;
    case TextOutcome::EngineFailed:
    case TextOutcome::Failed: return kLeftEngineFailed;
  }
  return kLeftEngineFailed;
}

TextOutcome TranslateOne(RunContext& ctx, engine::TranslationSegment& segment) {
  if (ctx.IsCancelled()) return TextOutcome::Cancelled;
  const int failedBefore = ctx.app.GetEngine().FailedRequests();
  bool ok = ctx.app.TranslateText(ctx.Options(), segment);
  if (ctx.IsCancelled()) return TextOutcome::Cancelled;
  if (!ok) return TextOutcome::Failed;
  // TranslateText hands back the source when the engine failed; the request
  // counter is what tells the two apart.
  if (ctx.app.GetEngine().FailedRequests() != failedBefore) return TextOutcome::EngineFailed;
  if (!segment.translation || (segment.translation->empty() && !segment.source.empty())) return TextOutcome::Empty;
  return TextOutcome::Translated;
}

bool TranslateShapeTextRange(RunContext& ctx, const host::Ptr<host::Shape>& source,
                             const host::Ptr<host::Shape>& target, bool useSelection, bool paragraphMode) {
  LOG_INFO(kShapeSource, L"ShapeTran START");
  if (!source || !target) {
    LOG_ERROR(kShapeSource, L"shape is NULL");
    return false;
  }
  const bool modern = ctx.Version() >= 12;
  bool hasText = source->HasTextFrame() &&
                 (modern ? ModernModel::HasText(*source->TextFrame2()) : ClassicModel::HasText(*source->TextFrame()));
  if (!hasText) {
    LOG_INFO(kShapeSource, L"ShapeTran END : Nothing Text");
    return true;
  }
  bool ok = modern ? TranslateShapeText<ModernModel>(ctx, source, target, useSelection, paragraphMode)
                   : TranslateShapeText<ClassicModel>(ctx, source, target, useSelection, paragraphMode);
  if (!ok) LOG_ERROR(kRangeSource, L"FAIL: TranTextRange2");
  LOG_INFO(kShapeSource, L"ShapeTran END");
  return ok;
}

bool CollectShapeTexts(RunContext& ctx, const host::Ptr<host::Shape>& source, bool paragraphMode,
                       std::vector<engine::TranslationSegment>* segments) {
  if (!source || !source->HasTextFrame()) return true;
  if (ctx.Version() >= 12) {
    if (!ModernModel::HasText(*source->TextFrame2())) return true;
    return CollectTexts<ModernModel>(ctx, source->TextFrame2()->TextRange(), paragraphMode, segments);
  }
  if (!ClassicModel::HasText(*source->TextFrame())) return true;
  return CollectTexts<ClassicModel>(ctx, source->TextFrame()->TextRange(), paragraphMode, segments);
}

bool TranslateFrameText(RunContext& ctx, const host::Ptr<host::TextFrame2>& source,
                        const host::Ptr<host::TextFrame2>& target) {
  if (!source || !target) {
    LOG_ERROR(kShapeSource, L"text frame is NULL");
    return false;
  }
  if (!ModernModel::HasText(*source)) return true;
  host::Ptr<host::TextRange2> sourceBase = source->TextRange();
  host::Ptr<host::TextRange2> targetBase = target->TextRange();
  RangePair<ModernModel> pair{sourceBase, targetBase, target, targetBase->Start(), targetBase->Length()};
  return TranslateRangePair<ModernModel>(ctx, pair);
}

bool CollectFrameTexts(RunContext& ctx, const host::Ptr<host::TextFrame2>& source,
                       std::vector<engine::TranslationSegment>* segments) {
  if (!source || !ModernModel::HasText(*source)) return true;
  return CollectTexts<ModernModel>(ctx, source->TextRange(), false, segments);
}

bool FitTextToShape(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target) {
  LOG_INFO(kFitSource, L"FitTextToShape");
  if (!source || !target) {
    LOG_ERROR(kFitSource, L"shape is NULL");
    return false;
  }
  try {
    if (!target->HasTextFrame()) return true;
    if (ctx.Version() >= 12) {
      FitText<ModernModel>(ctx, source, target);
    } else {
      FitText<ClassicModel>(ctx, source, target);
    }
  } catch (const std::exception& e) {
    LOG_WARNING(kFitSource, L"not fitted: " + platform::ExceptionText(e));
  }
  return true;
}

}  // namespace powerpoint
