// The slide and shape walk: pairs every shape read from the working copy
// with the shape at the same position in the target and hands the pair to
// the handler of its kind.
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "resources/MessageIds.h"
#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/host/Charts.h"
#include "src/host/Comments.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/powerpoint/PowerPointWalk.h"
#include "src/powerpoint/PowerPointTranslationUtil.h"
#include "src/powerpoint/RunProgress.h"
#include "src/powerpoint/ShapeHandlers.h"
#include "src/powerpoint/ShapeLabels.h"
#include "src/powerpoint/ShapeText.h"
#include "src/powerpoint/SlideContent.h"
#include "src/powerpoint/WalkAhead.h"
#include "src/support/Log.h"

namespace powerpoint {

namespace msg = resources::msg;

namespace {

constexpr const wchar_t* kWalkSource = L"PowerPointTranslationProcess::Translation";
constexpr const wchar_t* kShapeSource = L"PowerPointTranslationProcess::TranslateSlideShape";

// The follow switch shows the walk in the translation window. What cannot be
// shown (a hidden shape, a view without shapes) is no reason to stop.
void FollowSelect(RunContext& ctx, const host::Ptr<host::Shape>& target) {
  if (!ctx.Follows()) return;
  try {
    if (target->Visible()) target->Select(false);
  } catch (const platform::ComError& e) {
    LOG_WARNING(kShapeSource, L"Select skipped: " + e.Description());
  }
}

// Runs one phase of a walk; an object-model failure inside it is reported
// with the phase's message, as a handler failure would be.
template <class F>
bool Guarded(RunContext& ctx, int messageId, F&& phase) {
  try {
    return phase();
  } catch (const std::exception& e) {
    LOG_ERROR(kWalkSource, L"Exception Err: " + platform::ExceptionText(e));
    ctx.ReportRunError(messageId, ctx.place);
    return false;
  }
}

bool FollowSlide(RunContext& ctx, int index) {
  if (!ctx.Follows()) return true;
  int slideIndex = ctx.prop.TranSlideRange->Item(index)->SlideIndex();
  return PowerPointTranslationUtil::GotoSlide(ctx.prop.TranPresen, slideIndex);
}

}  // namespace

namespace {
// Both walks need the copy they read from and the presentation they write to.
bool HasBothPresentations(const PPTTranProp& prop) {
  if (!prop.TranPresen) {
    LOG_ERROR(kWalkSource, L"TranPresen is NULL");
    return false;
  }
  if (!prop.OrigPresen) {
    LOG_ERROR(kWalkSource, L"OrigPresen is NULL");
    return false;
  }
  return true;
}
}  // namespace

namespace {

// Masters and layouts are walked in whole-deck runs only: what they show
// is on every slide, also on those a smaller run leaves alone.
bool WalksMasters(const RunContext& ctx) {
  return ctx.Options().TranslationRange == 0 && ctx.prop.Parts.TranslatesMasters && ctx.prop.WorkPresen;
}

// A master's or a layout's own shapes: its placeholders hold the prompts
// that slides replace with their own text, which no slide shows.
std::vector<int> OwnShapes(host::Shapes& shapes) {
  std::vector<int> own;
  const int n = shapes.Count();
  for (int i = 1; i <= n; ++i)
    if (shapes.Item(i)->Type() != host::msoPlaceholder) own.push_back(i);
  return own;
}

// Every master and layout page of a presentation, master first.
std::vector<host::Ptr<host::Shapes>> MasterPages(host::Presentation& presentation) {
  std::vector<host::Ptr<host::Shapes>> pages;
  host::Ptr<host::Designs> designs = presentation.Designs();
  const int n = designs->Count();
  for (int i = 1; i <= n; ++i) {
    host::Ptr<host::Master> master = designs->Item(i)->SlideMaster();
    pages.push_back(master->Shapes());
    host::Ptr<host::CustomLayouts> layouts = master->CustomLayouts();
    const int count = layouts->Count();
    for (int j = 1; j <= count; ++j) pages.push_back(layouts->Item(j)->Shapes());
  }
  return pages;
}

bool TranslateMasters(RunContext& ctx) {
  const auto sources = MasterPages(*ctx.prop.WorkPresen);
  const auto targets = MasterPages(*ctx.prop.TranPresen);
  for (size_t i = 0; i < sources.size() && i < targets.size(); ++i) {
    const std::vector<int> own = OwnShapes(*sources[i]);
    if (own.empty()) continue;
    ctx.place = {};
    if (!TranslateSlideShape(ctx, sources[i]->Range(own), targets[i]->Range(own))) return false;
    if (ctx.IsCancelled()) return true;
  }
  return true;
}

}  // namespace

bool CountTranslationSlideShapes(RunContext& ctx) {
  if (!ctx.prop.OrigSlideRange) return false;
  std::int32_t total = 0;
  const int slides = ctx.prop.OrigSlideRange->Count();
  for (int i = 1; i <= slides; ++i) {
    host::Ptr<host::Slide> slide = ctx.prop.OrigSlideRange->Item(i);
    total += slide->Shapes()->Count();
    total += slide->NotesPage()->Shapes()->Count();
  }
  if (WalksMasters(ctx))
    for (const auto& page : MasterPages(*ctx.prop.WorkPresen)) total += static_cast<std::int32_t>(OwnShapes(*page).size());
  ctx.prop.TranslationSlideShapeCount = total;
  return true;
}

bool TranslateSlideRange(RunContext& ctx) {
  PPTTranProp& prop = ctx.prop;
  if (!HasBothPresentations(prop)) return false;
  ctx.place = {};
  WalkAhead ahead(ctx);
  const bool slidesDone = Guarded(ctx, msg::kShapesFailed, [&] {
    if (!CountTranslationSlideShapes(ctx)) {
      LOG_ERROR(kWalkSource, L"CountTranslationSlideShapes Err");
      return false;
    }
    if (ctx.Follows()) {
      bool ok;
      if (ctx.Version() >= 15 && ctx.Options().OutputDestType == 0) {
        ok = PowerPointTranslationUtil::SetPresentationViewType(prop.TranPresen, host::ppViewSlideSorter);
      } else {
        ok = PowerPointTranslationUtil::SetPresentationViewType(prop.TranPresen, host::ppViewNormal) &&
             PowerPointTranslationUtil::ActivatePresentationPane(prop.TranPresen, host::ppViewSlide);
      }
      if (!ok) {
        LOG_ERROR(kWalkSource, L"PresentationViewType");
        return false;
      }
    }
    if (!prop.OrigSlideRange || !prop.TranSlideRange) return false;
    prop.CurrentTranslationSlideShapeNum = 0;
    if (WalksMasters(ctx)) {
      if (!TranslateMasters(ctx)) {
        ctx.ReportRunError(msg::kShapesFailed, ctx.place);
        return false;
      }
      if (ctx.IsCancelled()) return true;
    }

    const int slides = prop.OrigSlideRange->Count();
    for (int i = 1; i <= slides; ++i) {
      if (!FollowSlide(ctx, i)) return false;
      ahead.AtSlide(i, false);
      host::Ptr<host::Slide> source = prop.OrigSlideRange->Item(i);
      host::Ptr<host::Slide> target = prop.TranSlideRange->Item(i);
      ctx.place = {source->SlideIndex(), false, {}};
      host::Ptr<host::ShapeRange> sourceShapes = source->Shapes()->Range();
      host::Ptr<host::ShapeRange> targetShapes = target->Shapes()->Range();
      if (!sourceShapes || !targetShapes) {
        LOG_ERROR(kWalkSource, sourceShapes ? L"TranShapesRange is NULL" : L"OrigShapesRange is NULL");
        return false;
      }
      ++ctx.stats.slides;
      if (!TranslateSlideShape(ctx, sourceShapes, targetShapes)) {
        ctx.ReportRunError(msg::kShapesFailed, ctx.place);
        return false;
      }
      // Comments after a cancel would be rebuilt from untranslated text.
      if (ctx.IsCancelled()) return true;
      ctx.place.shape.clear();
      if (source->Comments()->Count() > 0 &&
          !TranslateSlideComment(ctx, source->Comments(), target->Comments())) {
        ctx.ReportRunError(msg::kShapesFailed, ctx.place);
        return false;
      }
      if (ctx.IsCancelled()) return true;
    }
    return true;
  });
  if (!slidesDone) return false;
  if (ctx.IsCancelled()) return true;

  return Guarded(ctx, msg::kNotesFailed, [&] {
    if (ctx.Options().TranslationRange != 2) {
      SetProgressMessages(ctx, msg::kTranslatingNotes, msg::kCountShapes);
    }
    if (ctx.Follows()) PowerPointTranslationUtil::SetPresentationViewType(prop.TranPresen, host::ppViewNotesPage);
    const int slides = prop.OrigSlideRange->Count();
    for (int i = 1; i <= slides; ++i) {
      if (!FollowSlide(ctx, i)) return false;
      ahead.AtSlide(i, true);
      ctx.place = {prop.OrigSlideRange->Item(i)->SlideIndex(), true, {}};
      host::Ptr<host::ShapeRange> sourceShapes = prop.OrigSlideRange->Item(i)->NotesPage()->Shapes()->Range();
      host::Ptr<host::ShapeRange> targetShapes = prop.TranSlideRange->Item(i)->NotesPage()->Shapes()->Range();
      if (!sourceShapes || !targetShapes) return false;
      if (!TranslateSlideShape(ctx, sourceShapes, targetShapes)) {
        ctx.ReportRunError(msg::kNotesFailed, ctx.place);
        return false;
      }
      if (ctx.IsCancelled()) return true;
    }
    prop.CloseTranslationPresenWindow = 0;
    return true;
  });
}

namespace {

// The shapes of a page that carry the given ids, in the order of the ids.
host::Ptr<host::ShapeRange> ShapesOfIds(const host::Ptr<host::Shapes>& shapes, const std::vector<std::int32_t>& ids) {
  std::vector<int> indexes;
  const int count = shapes->Count();
  for (std::int32_t id : ids) {
    for (int i = 1; i <= count; ++i) {
      if (shapes->Item(i)->Id() == id) {
        indexes.push_back(i);
        break;
      }
    }
  }
  return shapes->Range(indexes);
}

}  // namespace

bool TranslateSelectionRange(RunContext& ctx) {
  PPTTranProp& prop = ctx.prop;
  if (!HasBothPresentations(prop)) return false;
  if (!prop.OrigSlideRange || !prop.TranSlideRange) return false;
  ctx.place = {};
  return Guarded(ctx, msg::kSelectionFailed, [&] {
    const bool notesView = prop.WindowViewType == host::ppViewNotesPage;
    ctx.place = {prop.OrigSlideRange->Item(1)->SlideIndex(), notesView, {}};
    if (prop.SelectionType == host::ppSelectionShapes && !prop.ShapeIds.empty()) {
      if (ctx.Follows() && !PowerPointTranslationUtil::GotoSlide(
                               prop.TranPresen, prop.TranSlideRange->Item(1)->SlideIndex())) {
        return false;
      }
      host::Ptr<host::Slide> source = prop.OrigSlideRange->Item(1);
      host::Ptr<host::Slide> target = prop.TranSlideRange->Item(1);
      if (notesView) {
        source = source->NotesPage();
        target = target->NotesPage();
      }
      ++ctx.stats.slides;
      if (!TranslateSlideShape(ctx, ShapesOfIds(source->Shapes(), prop.ShapeIds),
                               ShapesOfIds(target->Shapes(), prop.ShapeIds))) {
        ctx.ReportRunError(msg::kSelectionFailed, ctx.place);
        return false;
      }
      prop.CloseTranslationPresenWindow = 0;
      return true;
    }
    if (prop.SelectionType == host::ppSelectionText && prop.SelectedTextSize >= 0) {
      ReportProgress(ctx, 0, 1);
      if (ctx.Follows() && !PowerPointTranslationUtil::GotoSlide(
                               prop.TranPresen, prop.TranSlideRange->Item(1)->SlideIndex())) {
        return false;
      }
      const bool normal = prop.WindowViewType == host::ppViewNormal;
      bool onNotes = notesView || (normal && prop.PaneViewType == host::ppViewNotesPage);
      bool onSlide = normal && prop.PaneViewType == host::ppViewSlide;
      if (!onNotes && !onSlide) return true;
      host::Ptr<host::Slide> source = prop.OrigSlideRange->Item(1);
      host::Ptr<host::Slide> target = prop.TranSlideRange->Item(1);
      if (onNotes) {
        source = source->NotesPage();
        target = target->NotesPage();
        ctx.place.notes = true;
      }
      host::Ptr<host::ShapeRange> sourceRange = ShapesOfIds(source->Shapes(), prop.ShapeIds);
      host::Ptr<host::ShapeRange> targetRange = ShapesOfIds(target->Shapes(), prop.ShapeIds);
      if (!sourceRange || !targetRange || sourceRange->Count() < 1 || targetRange->Count() < 1) return false;
      ++ctx.stats.slides;
      ++ctx.stats.shapes;
      ctx.place.shape = sourceRange->Item(1)->Name();
      host::Ptr<host::Shape> from = sourceRange->Item(1), to = targetRange->Item(1);
      if (prop.SelectedCellRow > 0) {
        from = from->Table()->Cell(prop.SelectedCellRow, prop.SelectedCellColumn)->Shape();
        to = to->Table()->Cell(prop.SelectedCellRow, prop.SelectedCellColumn)->Shape();
      }
      if (!TranslateShapeTextRange(ctx, from, to, true, false)) {
        ctx.ReportRunError(msg::kSelectionFailed, ctx.place);
        return false;
      }
      prop.CloseTranslationPresenWindow = 0;
      ReportProgress(ctx, 1, 1);
      return true;
    }
    return true;
  });
}

bool TranslateSlideShape(RunContext& ctx, const host::Ptr<host::ShapeRange>& source,
                         const host::Ptr<host::ShapeRange>& target) {
  LOG_DETAIL(kShapeSource, L"Start");
  if (!source) {
    LOG_ERROR(kShapeSource, L"OriginalShapeRange is NULL");
    return false;
  }
  if (!target) {
    LOG_ERROR(kShapeSource, L"TranslationShapeRange is NULL");
    return false;
  }
  PPTTranProp& prop = ctx.prop;
  const int n = source->Count();
  LOG_DETAIL(kShapeSource, L"ShapesCount:" + std::to_wstring(n));
  ReportProgress(ctx, prop.CurrentTranslationSlideShapeNum,
                 prop.TranslationSlideShapeCount >= 1 ? prop.TranslationSlideShapeCount : n);
  const int targetCount = target->Count();

  for (int i = 1; i <= n; ++i) {
    if (i > targetCount) {
      LOG_WARNING(kShapeSource, L"Continue:Next Shape " + std::to_wstring(i));
      continue;
    }
    host::Ptr<host::Shape> s = source->Item(i);
    host::Ptr<host::Shape> t = target->Item(i);
    if (!s || !t) {
      LOG_WARNING(kShapeSource, L"Continue:Next Shape " + std::to_wstring(i));
      continue;
    }
    ctx.place.shape = s->Name();
    FollowSelect(ctx, t);
    AutoSizeHold hold(ctx, t);

    const ShapeHandler* handler = ShapeHandlerFor(s, ShapeLevel::Page);
    bool handled = false;
    if (!handler) {
      LOG_INFO(kShapeSource, L"Not implemented:" + std::to_wstring(s->Type()));
    } else if (!handler->Translate(ctx, s, t, ShapeLevel::Page, handled)) {
      LOG_ERROR(kShapeSource, handler->Failure());
      return false;
    }
    if (handler) ++ctx.stats.shapes;
    if (ctx.IsCancelled()) {
      LOG_INFO(kShapeSource, L"Canceled");
      return true;
    }
    if (handled) {
      const options::TranslationOptionUDT& o = ctx.Options();
      // Expanding is part of dual print: the doubled height makes room for
      // the source and the translation together.
      if (o.DualPrint != 0 && o.DualPrintExpandShape != 0 && s->Type() != host::msoPlaceholder) {
        t->SetHeight(s->Height() * 2.0f);
      }
      if (o.KeepStyle != 0 && t->HasTextFrame()) FitTextToShape(ctx, s, t);
    }
    ctx.DrainMessages();
    if (ctx.IsCancelled()) {
      LOG_INFO(kShapeSource, L"Canceled");
      return true;
    }
    StepProgress(ctx);
  }
  // After the text: the tips of links are found where the translation put them.
  TranslateShapeLabels(ctx, source, target);
  return true;
}

}  // namespace powerpoint
