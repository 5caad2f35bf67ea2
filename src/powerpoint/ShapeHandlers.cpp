#include "src/powerpoint/ShapeHandlers.h"

#include <algorithm>
#include <exception>
#include <map>
#include <utility>
#include <vector>

#include "src/host/Charts.h"
#include "src/host/Shapes.h"
#include "src/platform/ComError.h"
#include "src/powerpoint/PowerPointWalk.h"
#include "src/powerpoint/RunText.h"
#include "src/powerpoint/ShapeText.h"
#include "src/powerpoint/SlideContent.h"
#include "src/support/Log.h"

namespace powerpoint {
namespace {

using Options = options::TranslationOptionUDT;

constexpr wchar_t kShapeSource[] = L"PowerPointTranslationProcess::TranslateSlideShape";
constexpr wchar_t kPlaceholderSource[] = L"PowerPointTranslationProcess::TranslateShape_Placeholder";
constexpr wchar_t kGroupSource[] = L"PowerPointTranslationProcess::TranslateShape_GroupShape";
constexpr wchar_t kChartSource[] = L"PowerPointTranslationProcess::TranslateShape_Chart";

// Shapes the text-box handler takes besides the text kinds: any kind the
// host gives a text frame with text (freeforms above all), whose text would
// otherwise be left untranslated without a word.
bool HasFrameText(const host::Ptr<host::Shape>& s) { return s->HasTextFrame() && s->TextFrame()->HasText() != 0; }

// A shape's frame text under one ignore switch.
class TextHandler final : public ShapeHandler {
 public:
  // countsBare: on a page, a shape of the kind counts as translated even
  // without a text frame (it is still expanded for dual print).
  TextHandler(std::int32_t Options::*ignore, bool countsBare, const wchar_t* failure)
      : mIgnore(ignore), mCountsBare(countsBare), mFailure(failure) {}

  bool Translate(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target,
                 ShapeLevel level, bool& handled) const override {
    if (!Allowed(ctx.Options(), ctx.Options().*mIgnore)) return true;
    if (!source->HasTextFrame()) {
      handled = level == ShapeLevel::Page && mCountsBare;
      return true;
    }
    // Inside a group a text cut off by a cancel ends the group quietly.
    if (!TranslateShapeTextRange(ctx, source, target, false, false))
      return level == ShapeLevel::Group && ctx.IsCancelled();
    handled = true;
    return true;
  }
  void List(const ShapeReading& reading, const host::Ptr<host::Shape>& source, ShapeLevel,
            ShapeTexts& out) const override {
    if (Allowed(reading.options, reading.options.*mIgnore)) out.Frame(source, false);
  }
  const wchar_t* Failure() const override { return mFailure; }

 private:
  std::int32_t Options::*mIgnore;
  bool mCountsBare;
  const wchar_t* mFailure;
};

class GroupHandler final : public ShapeHandler {
 public:
  bool Translate(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target,
                 ShapeLevel, bool& handled) const override;
  void List(const ShapeReading& reading, const host::Ptr<host::Shape>& source, ShapeLevel,
            ShapeTexts& out) const override {
    if (host::Ptr<host::GroupShapes> items = source->GroupItems()) ListEach(reading, items, ShapeLevel::Group, out);
  }
  const wchar_t* Failure() const override { return L"Err::TranslateShape_GroupShape"; }
  bool Container() const override { return true; }
};

class TableHandler final : public ShapeHandler {
 public:
  bool Translate(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target,
                 ShapeLevel, bool& handled) const override {
    if (!TranslateShape_Table(ctx, source, target)) return false;
    handled = true;
    return true;
  }
  // A merged area hands out one shape for every cell it covers; it counts
  // once, at its top-left cell.
  void List(const ShapeReading& reading, const host::Ptr<host::Shape>& source, ShapeLevel,
            ShapeTexts& out) const override {
    host::Ptr<host::Table> table = source->Table();
    if (!table) return;
    const int columns = table->Columns()->Count();
    const int rows = table->Rows()->Count();
    auto same = [](const host::Ptr<host::Shape>& a, const host::Ptr<host::Shape>& b) {
      return a && b && a->Identity() == b->Identity();
    };
    const int outer = reading.cellsByRow ? rows : columns;
    const int inner = reading.cellsByRow ? columns : rows;
    for (int i = 1; i <= outer; ++i) {
      for (int j = 1; j <= inner; ++j) {
        const int r = reading.cellsByRow ? i : j;
        const int c = reading.cellsByRow ? j : i;
        host::Ptr<host::Shape> cell = table->Cell(r, c)->Shape();
        if (r > 1 && same(table->Cell(r - 1, c)->Shape(), cell)) continue;
        if (c > 1 && same(table->Cell(r, c - 1)->Shape(), cell)) continue;
        if (cell) out.Frame(cell, false);
      }
    }
  }
  const wchar_t* Failure() const override { return L"Err::TranslateShape_Table"; }
  bool Container() const override { return true; }
};

class WordArtHandler final : public ShapeHandler {
 public:
  bool Translate(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target,
                 ShapeLevel, bool& handled) const override {
    std::pair<std::wstring, std::wstring> text;
    int skip = 1;
    if (!TranslateShape_WordArt(ctx, source, target, text, skip)) return false;
    handled = skip == 0;
    return true;
  }
  void List(const ShapeReading& reading, const host::Ptr<host::Shape>& source, ShapeLevel,
            ShapeTexts& out) const override {
    const Options& o = reading.options;
    if (o.IgnoresWordArt == 1 && o.TranslationRange != 2) return;
    std::wstring text = source->TextEffect()->Text();
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    if (!text.empty()) out.Whole(text);
  }
  const wchar_t* Failure() const override { return L"Err::TranslateShape_WordArt"; }
};

// A chart's texts in the order a reader meets them: its title, the axis
// titles, the series names its legend shows, the labels a user typed, and
// the shapes drawn over it. A series name read from the chart's data stays
// as it is (the next edit of the data would bring the source back) and is
// counted as left, and so is a chart of a kind the host does not read. Only
// the newer text model reaches a chart's texts; the chart lays them out
// itself, so neither expanding nor fitting applies.
class ChartHandler final : public ShapeHandler {
 public:
  bool Translate(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target,
                 ShapeLevel, bool&) const override {
    const Options& o = ctx.Options();
    if (!ctx.prop.Parts.TranslatesCharts || !Allowed(o, o.IgnoresShape) || ctx.Version() < 12) return true;
    host::Ptr<host::Chart> from = ChartOf(source), to = ChartOf(target);
    // Its texts cannot be told apart from here, so the chart counts as one.
    if (!from || !to) {
      if (source->HasChart()) CountLeft(ctx, kLeftChartUnread);
      return true;
    }
    int madeTitles = 0, ignored = 0;
    const auto sourceTexts = Texts(*from, &madeTitles), targetTexts = Texts(*to, &ignored);
    CountLeft(ctx, kLeftLinked, madeTitles);
    for (size_t i = 0; i < sourceTexts.size() && i < targetTexts.size(); ++i) {
      if (!TranslateFrameText(ctx, sourceTexts[i], targetTexts[i])) return false;
      if (ctx.IsCancelled()) return true;
    }
    host::Ptr<host::SeriesCollection> sourceSeries = from->SeriesCollection(), targetSeries = to->SeriesCollection();
    const int series = std::min(sourceSeries->Count(), targetSeries->Count());
    for (int i = 1; i <= series; ++i) {
      host::Ptr<host::Series> s = sourceSeries->Item(i);
      if (!NameIsOwn(*s)) {
        CountLeft(ctx, kLeftLinked);
        continue;
      }
      engine::TranslationSegment segment;
      segment.source = s->Name();
      if (segment.source.empty()) continue;
      segment.start = 1;
      segment.end = static_cast<std::int32_t>(segment.source.size());
      const TextOutcome outcome = TranslateOne(ctx, segment);
      if (outcome == TextOutcome::Cancelled) return true;
      if (outcome != TextOutcome::Translated) {
        CountLeft(ctx, LeftReason(outcome));
        continue;
      }
      targetSeries->Item(i)->SetName(*segment.translation);
      ++ctx.stats.segmentsTranslated;
    }
    host::Ptr<host::Shapes> sourceShapes = from->Shapes(), targetShapes = to->Shapes();
    const int shapes = std::min(sourceShapes->Count(), targetShapes->Count());
    for (int i = 1; i <= shapes; ++i) {
      host::Ptr<host::Shape> s = sourceShapes->Item(i), t = targetShapes->Item(i);
      const ShapeHandler* handler = ShapeHandlerFor(s, ShapeLevel::Group);
      bool inner = false;
      if (handler && !handler->Translate(ctx, s, t, ShapeLevel::Group, inner)) return false;
      if (ctx.IsCancelled()) return true;
    }
    return true;
  }
  void List(const ShapeReading& reading, const host::Ptr<host::Shape>& source, ShapeLevel,
            ShapeTexts& out) const override {
    const Options& o = reading.options;
    if (!reading.charts || !Allowed(o, o.IgnoresShape) || reading.version < 12) return;
    host::Ptr<host::Chart> chart = ChartOf(source);
    if (!chart) return;
    int madeTitles = 0;
    for (const auto& frame : Texts(*chart, &madeTitles)) out.ChartText(frame);
    host::Ptr<host::SeriesCollection> series = chart->SeriesCollection();
    const int n = series->Count();
    for (int i = 1; i <= n; ++i) {
      host::Ptr<host::Series> s = series->Item(i);
      if (NameIsOwn(*s)) out.Whole(s->Name());
    }
    ListEach(reading, chart->Shapes(), ShapeLevel::Group, out);
  }
  const wchar_t* Failure() const override { return L"Err::TranslateShape_Chart"; }

 private:
  // Null for a chart whose texts the host cannot reach (a kind it does not read).
  static host::Ptr<host::Chart> ChartOf(const host::Ptr<host::Shape>& s) {
    try {
      return s->HasChart() ? s->Chart() : nullptr;
    } catch (const platform::ComError& e) {
      LOG_DETAIL(kChartSource, L"chart not read: " + e.Description());
      return nullptr;
    }
  }
  // The frames of the typed title, axis titles and labels. A title the
  // chart makes from its data names a series: it is counted in madeTitles.
  static std::vector<host::Ptr<host::TextFrame2>> Texts(host::Chart& chart, int* madeTitles) {
    std::vector<host::Ptr<host::TextFrame2>> out;
    auto add = [&](const host::Ptr<host::ChartText>& text, bool title) {
      if (!text->AutoText()) out.push_back(text->TextFrame2());
      else if (title) ++*madeTitles;
    };
    if (chart.HasTitle()) add(chart.ChartTitle(), true);
    for (int group : {host::xlPrimary, host::xlSecondary}) {
      for (int type : {host::xlCategory, host::xlValue, host::xlSeriesAxis}) {
        if (!chart.HasAxis(type, group)) continue;
        host::Ptr<host::Axis> axis = chart.Axes(type, group);
        if (axis->HasTitle()) add(axis->AxisTitle(), false);
      }
    }
    host::Ptr<host::SeriesCollection> series = chart.SeriesCollection();
    const int n = series->Count();
    for (int i = 1; i <= n; ++i) {
      host::Ptr<host::DataLabels> labels = series->Item(i)->DataLabels();
      const int count = labels->Count();
      for (int j = 1; j <= count; ++j) {
        add(labels->Item(j), false);
      }
    }
    return out;
  }
  // A name the series holds itself comes first in its formula, in double
  // quotes; a reference there reads it from the data.
  static bool NameIsOwn(host::Series& s) {
    const std::wstring formula = s.Formula();
    const size_t open = formula.find(L'(');
    return open != std::wstring::npos && open + 1 < formula.size() && formula[open + 1] == L'"';
  }
};

const TextHandler kTextBox(&Options::IgnoresShape, true, L"Err::TranslateShape_TextBox");
const TextHandler kCommentShape(&Options::IgnoresComment, false, L"Err::TranslateShape_Comment");
const TextHandler kGroupedPlaceholder(&Options::IgnoresMainText, false, L"Err::TranslateShape_Placeholder");
const GroupHandler kGroup;
const TableHandler kTable;
const WordArtHandler kWordArt;
const ChartHandler kChart;

// A placeholder's own text (body and object placeholders paragraph by
// paragraph), or, without a text frame, the SmartArt or table it holds.
class PlaceholderHandler final : public ShapeHandler {
 public:
  bool Translate(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target,
                 ShapeLevel level, bool& handled) const override {
    const Options& o = ctx.Options();
    bool ok = true;
    if (source->HasTextFrame()) {
      if (!Allowed(o, o.IgnoresMainText) || !source->TextFrame()->HasText()) return true;
      ok = TranslateShapeTextRange(ctx, source, target, false, Paragraphs(source));
    } else {
      if (!Allowed(o, o.IgnoresShape)) return true;
      const ShapeHandler* held = Held(source, ctx.Version());
      if (!held) return true;
      bool inner = false;
      ok = held->Translate(ctx, source, target, level, inner);
    }
    if (!ok) {
      LOG_ERROR(kPlaceholderSource, L"Return FALSE");
      return false;
    }
    handled = true;
    return true;
  }
  void List(const ShapeReading& reading, const host::Ptr<host::Shape>& source, ShapeLevel level,
            ShapeTexts& out) const override {
    const Options& o = reading.options;
    if (source->HasTextFrame()) {
      if (Allowed(o, o.IgnoresMainText) && source->TextFrame()->HasText()) out.Frame(source, Paragraphs(source));
      return;
    }
    if (!Allowed(o, o.IgnoresShape)) return;
    if (const ShapeHandler* held = Held(source, reading.version)) held->List(reading, source, level, out);
  }
  const wchar_t* Failure() const override { return L"Err::TranslateShape_Placeholder"; }

 private:
  static bool Paragraphs(const host::Ptr<host::Shape>& s) {
    const int kind = s->PlaceholderFormat()->Type();
    return kind == host::ppPlaceholderBody || kind == host::ppPlaceholderObject;
  }
  // Hosts before 12 know no contained type; from 10 they tell a diagram.
  static const ShapeHandler* Held(const host::Ptr<host::Shape>& s, int version) {
    if (version >= 12) {
      const int contained = s->PlaceholderFormat()->ContainedType();
      if (contained == host::msoSmartArt) return &kGroup;
      if (contained == host::msoTable) return &kTable;
      if (contained == host::msoChart) return &kChart;
      return nullptr;
    }
    return version >= 10 && s->HasDiagram() ? &kGroup : nullptr;
  }
};

const PlaceholderHandler kPlaceholder;

const std::map<int, const ShapeHandler*> kByKind = {
    {host::msoAutoShape, &kTextBox}, {host::msoCallout, &kTextBox},   {host::msoTextBox, &kTextBox},
    {host::msoFreeform, &kTextBox},  {host::msoPlaceholder, &kPlaceholder}, {host::msoComment, &kCommentShape},
    {host::msoGroup, &kGroup},       {host::msoCanvas, &kGroup},      {host::msoDiagram, &kGroup},
    {host::msoSmartArt, &kGroup},    {host::msoTable, &kTable},       {host::msoTextEffect, &kWordArt},
    {host::msoChart, &kChart},
};

bool GroupHandler::Translate(RunContext& ctx, const host::Ptr<host::Shape>& source,
                             const host::Ptr<host::Shape>& target, ShapeLevel, bool& handled) const {
  host::Ptr<host::GroupShapes> sourceItems = source->GroupItems();
  host::Ptr<host::GroupShapes> targetItems = target->GroupItems();
  if (!sourceItems || !targetItems) return false;
  handled = true;
  const Options& o = ctx.Options();
  const int n = sourceItems->Count();
  const int targetCount = targetItems->Count();
  for (int i = 1; i <= n && i <= targetCount; ++i) {
    host::Ptr<host::Shape> s = sourceItems->Item(i);
    host::Ptr<host::Shape> t = targetItems->Item(i);
    if (!s || !t) continue;
    AutoSizeHold hold(ctx, t);
    if (const ShapeHandler* handler = ShapeHandlerFor(s, ShapeLevel::Group)) {
      bool inner = false;
      if (!handler->Translate(ctx, s, t, ShapeLevel::Group, inner)) return false;
      if (handler->Container() && ctx.IsCancelled()) return true;
    } else {
      LOG_DETAIL(kGroupSource, L"Not implemented:" + std::to_wstring(s->Type()));
    }
    if (o.KeepStyle != 0 && t->HasTextFrame()) FitTextToShape(ctx, s, t);
    ctx.DrainMessages();
    if (ctx.IsCancelled()) return true;
  }
  return true;
}

}  // namespace

const ShapeHandler* ShapeHandlerOfKind(int type, ShapeLevel level) {
  auto found = kByKind.find(type);
  if (found == kByKind.end()) return nullptr;
  if (type == host::msoPlaceholder && level == ShapeLevel::Group) return &kGroupedPlaceholder;
  return found->second;
}

const ShapeHandler* ShapeHandlerFor(const host::Ptr<host::Shape>& shape, ShapeLevel level) {
  if (const ShapeHandler* handler = ShapeHandlerOfKind(shape->Type(), level)) return handler;
  return HasFrameText(shape) ? &kTextBox : nullptr;
}

AutoSizeHold::AutoSizeHold(RunContext& ctx, const host::Ptr<host::Shape>& target) {
  if (!ctx.Options().KeepStyle || !target->HasTextFrame()) return;
  host::Ptr<host::TextFrame> frame = target->TextFrame();
  if (frame->AutoSize() != host::ppAutoSizeShapeToFitText) return;
  frame->SetAutoSize(host::ppAutoSizeNone);
  mFrame = std::move(frame);
}

AutoSizeHold::~AutoSizeHold() {
  if (!mFrame) return;
  try {
    mFrame->SetAutoSize(host::ppAutoSizeShapeToFitText);
  } catch (const std::exception&) {
    LOG_WARNING(kShapeSource, L"AutoSize not restored");
  }
}

}  // namespace powerpoint
