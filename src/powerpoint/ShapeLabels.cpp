#include "src/powerpoint/ShapeLabels.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "src/host/Shapes.h"
#include "src/host/TextRange.h"
#include "src/powerpoint/RunText.h"
#include "src/support/Log.h"

namespace powerpoint {

namespace {

constexpr wchar_t kLabelSource[] = L"PowerPointTranslationProcess::TranslateShapeLabels";
constexpr int kMouseEvents[] = {1, 2};  // ppMouseClick, ppMouseOver

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n' || c == L'\v'; }

// One label through the engine, line by line: the engine takes a line end
// for a blank, and an alternative text keeps its lines. Nothing when no
// line was translated; a line the engine leaves stays as it was.
std::optional<std::wstring> TranslateLabel(RunContext& ctx, const std::wstring& text) {
  std::wstring out;
  bool any = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && !IsLineEnd(text[end])) ++end;
    std::wstring line = text.substr(pos, end - pos);
    if (line.find_first_not_of(L" \t") != std::wstring::npos) {
      engine::TranslationSegment segment;
      segment.source = line;
      segment.start = 1;
      segment.end = static_cast<std::int32_t>(line.size());
      const TextOutcome outcome = TranslateOne(ctx, segment);
      if (outcome == TextOutcome::Translated) {
        ++ctx.stats.segmentsTranslated;
        line = *segment.translation;
        any = true;
      } else {
        LOG_WARNING(kLabelSource, L"left as it was (" + std::wstring(LeftReason(outcome)) + L"): " + line);
        CountLeft(ctx, LeftReason(outcome));
      }
    }
    out += line;
    pos = end;
    while (pos < text.size() && IsLineEnd(text[pos])) out += text[pos++];
    if (ctx.IsCancelled()) return any ? std::optional<std::wstring>(out + text.substr(pos)) : std::nullopt;
  }
  if (!any) return std::nullopt;
  return out;
}

void TranslateDescriptions(RunContext& ctx, const host::Ptr<host::Shape>& source,
                           const host::Ptr<host::Shape>& target) {
  using Get = std::wstring (host::Shape::*)();
  using Put = void (host::Shape::*)(const std::wstring&);
  const std::pair<Get, Put> labels[] = {{&host::Shape::AlternativeText, &host::Shape::SetAlternativeText},
                                        {&host::Shape::Title, &host::Shape::SetTitle}};
  for (const auto& [get, put] : labels) {
    const std::wstring text = ((*source).*get)();
    if (text.empty()) continue;
    if (std::optional<std::wstring> translated = TranslateLabel(ctx, text)) ((*target).*put)(*translated);
    if (ctx.IsCancelled()) return;
  }
}

// The tips of the links on the shape as a whole, which its copy has at the
// same place.
void TranslateShapeTips(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target) {
  for (int event : kMouseEvents) {
    const std::wstring tip = source->ActionSettings(event)->Hyperlink()->ScreenTip();
    if (tip.empty()) continue;
    if (std::optional<std::wstring> translated = TranslateLabel(ctx, tip))
      target->ActionSettings(event)->Hyperlink()->SetScreenTip(*translated);
    if (ctx.IsCancelled()) return;
  }
}

// The tips are read and written in the target: its text has the links of
// the source by now, at the places of their translations.
void TranslateTips(RunContext& ctx, const host::Ptr<host::TextRange>& range) {
  for (const host::TextObject& o : range->TextObjects()) {
    if (o.kind != host::TextObject::Action) continue;
    host::Ptr<host::TextRange> linked = range->Characters(o.start, o.length);
    for (int event : kMouseEvents) {
      host::Ptr<host::Hyperlink> link = linked->ActionSettings(event)->Hyperlink();
      const std::wstring tip = link->ScreenTip();
      if (tip.empty()) continue;
      if (std::optional<std::wstring> translated = TranslateLabel(ctx, tip)) link->SetScreenTip(*translated);
      if (ctx.IsCancelled()) return;
    }
  }
}

void TranslateCellTips(RunContext& ctx, const host::Ptr<host::Table>& table) {
  const int rows = table->Rows()->Count(), columns = table->Columns()->Count();
  // A merged area answers for every cell it covers; its links go once.
  std::vector<host::ShapeIdentity> done;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= columns; ++c) {
      host::Ptr<host::Shape> cell = table->Cell(r, c)->Shape();
      const host::ShapeIdentity id = cell->Identity();
      if (std::find(done.begin(), done.end(), id) != done.end()) continue;
      done.push_back(id);
      if (cell->HasTextFrame()) TranslateTips(ctx, cell->TextFrame()->TextRange());
      if (ctx.IsCancelled()) return;
    }
  }
}

void TranslateLabelsOf(RunContext& ctx, const host::Ptr<host::Shape>& source, const host::Ptr<host::Shape>& target) {
  const options::TranslatedParts& parts = ctx.prop.Parts;
  if (parts.TranslatesAltText != 0) TranslateDescriptions(ctx, source, target);
  if (ctx.IsCancelled()) return;
  if (parts.TranslatesLinkTips != 0) {
    TranslateShapeTips(ctx, source, target);
    if (!ctx.IsCancelled() && target->HasTextFrame()) TranslateTips(ctx, target->TextFrame()->TextRange());
    if (!ctx.IsCancelled() && target->HasTable()) TranslateCellTips(ctx, target->Table());
    if (ctx.IsCancelled()) return;
  }
  const int type = source->Type();
  if (type != host::msoGroup && type != host::msoCanvas && !source->HasSmartArt()) return;
  host::Ptr<host::GroupShapes> sourceItems = source->GroupItems();
  host::Ptr<host::GroupShapes> targetItems = target->GroupItems();
  if (!sourceItems || !targetItems) return;
  const int n = std::min(sourceItems->Count(), targetItems->Count());
  for (int i = 1; i <= n && !ctx.IsCancelled(); ++i) TranslateLabelsOf(ctx, sourceItems->Item(i), targetItems->Item(i));
}

}  // namespace

void TranslateShapeLabels(RunContext& ctx, const host::Ptr<host::ShapeRange>& source,
                          const host::Ptr<host::ShapeRange>& target) {
  const options::TranslatedParts& parts = ctx.prop.Parts;
  if (parts.TranslatesAltText == 0 && parts.TranslatesLinkTips == 0) return;
  const int n = std::min(source->Count(), target->Count());
  for (int i = 1; i <= n && !ctx.IsCancelled(); ++i) {
    host::Ptr<host::Shape> s = source->Item(i);
    host::Ptr<host::Shape> t = target->Item(i);
    if (!s || !t) continue;
    ctx.place.shape = s->Name();
    TranslateLabelsOf(ctx, s, t);
    ctx.DrainMessages();
  }
}

}  // namespace powerpoint
