// The slide and shape walk: pairs every shape read from the working copy
// with the shape at the same position in the target and hands the pair to
// the handler of its kind.
#include <exception>
#include <string>
#include <utility>

#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/platform/ComError.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"
#include "src/powerpoint/PowerPointTranslationUtil.h"
#include "src/powerpoint/RunProgress.h"
#include "src/support/Log.h"

namespace powerpoint {
namespace {

constexpr const wchar_t* kWalkSource = L"PowerPointTranslationProcess::Translation";
constexpr const wchar_t* kShapeSource = L"PowerPointTranslationProcess::TranslateSlideShape";
constexpr const wchar_t* kGroupSource = L"PowerPointTranslationProcess::TranslateShape_GroupShape";

constexpr int kMsgSelectionFailed = 1502;
constexpr int kMsgShapesFailed = 1505;
constexpr int kMsgNotesFailed = 1506;

// Keep style shrinks text into its shape afterwards, which a frame that grows
// with its text would undo; so such frames are fixed while the shape is
// translated and grow again on every way out of the shape, cancel included.
class AutoSizeHold {
 public:
  AutoSizeHold(RunContext& ctx, const host::Ptr<host::Shape>& target) {
    if (!ctx.Options().KeepStyle || !target->HasTextFrame()) return;
    host::Ptr<host::TextFrame> frame = target->TextFrame();
    if (frame->AutoSize() != host::ppAutoSizeShapeToFitText) return;
    frame->SetAutoSize(host::ppAutoSizeNone);
    mFrame = std::move(frame);
  }
  ~AutoSizeHold() {
    if (!mFrame) return;
    try {
      mFrame->SetAutoSize(host::ppAutoSizeShapeToFitText);
    } catch (const std::exception&) {
      LOG_WARNING(kShapeSource, L"AutoSize not restored");
    }
  }
  AutoSizeHold(const AutoSizeHold&) = delete;
  AutoSizeHold& operator=(const AutoSizeHold&) = delete;

 private:
  host::Ptr<host::TextFrame> mFrame;
};

// An explicit selection overrides every ignore switch.
bool Allowed(const RunContext& ctx, std::int32_t ignoreSwitch) {
  return ignoreSwitch == 0 || ctx.Options().TranslationRange == 2;
}

// Shapes the text-box handler takes: the text kinds, and any other kind
// the host gives a text frame with text (freeforms above all), whose text
// would otherwise be left untranslated without a word.
bool IsTextShape(int type, const host::Ptr<host::Shape>& s) {
  if (type == host::msoAutoShape || type == host::msoCallout || type == host::msoTextBox ||
      type == host::msoFreeform)
    return true;
  return s->HasTextFrame() && s->TextFrame()->HasText() != 0;
}

bool IsGroupKind(int type) {
  return type == host::msoGroup || type == host::msoCanvas || type == host::msoDiagram ||
         type == host::msoSmartArt;
}

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
    LOG_ERROR(kWalkSource, L"Exception Err: " + std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what())));
    ctx.ReportRunError(messageId);
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

bool CountTranslationSlideShapes(RunContext& ctx) {
  if (!ctx.prop.OrigSlideRange) return false;
  std::int32_t total = 0;
  const int slides = ctx.prop.OrigSlideRange->Count();
  for (int i = 1; i <= slides; ++i) {
    host::Ptr<host::Slide> slide = ctx.prop.OrigSlideRange->Item(i);
    total += slide->Shapes()->Count();
    total += slide->NotesPage()->Shapes()->Count();
  }
  ctx.prop.TranslationSlideShapeCount = total;
  return true;
}

bool TranslateSlideRange(RunContext& ctx) {
  PPTTranProp& prop = ctx.prop;
  if (!HasBothPresentations(prop)) return false;
  const bool slidesDone = Guarded(ctx, kMsgShapesFailed, [&] {
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

    const int slides = prop.OrigSlideRange->Count();
    for (int i = 1; i <= slides; ++i) {
      if (!FollowSlide(ctx, i)) return false;
      host::Ptr<host::Slide> source = prop.OrigSlideRange->Item(i);
      host::Ptr<host::Slide> target = prop.TranSlideRange->Item(i);
      host::Ptr<host::ShapeRange> sourceShapes = source->Shapes()->Range();
      host::Ptr<host::ShapeRange> targetShapes = target->Shapes()->Range();
      if (!sourceShapes || !targetShapes) {
        LOG_ERROR(kWalkSource, sourceShapes ? L"TranShapesRange is NULL" : L"OrigShapesRange is NULL");
        return false;
      }
      ++ctx.stats.slides;
      if (!TranslateSlideShape(ctx, sourceShapes, targetShapes)) {
        ctx.ReportRunError(kMsgShapesFailed);
        return false;
      }
      // Comments after a cancel would be rebuilt from untranslated text.
      if (ctx.IsCancelled()) return true;
      if (source->Comments()->Count() > 0 &&
          !TranslateSlideComment(ctx, source->Comments(), target->Comments())) {
        ctx.ReportRunError(kMsgShapesFailed);
        return false;
      }
      if (ctx.IsCancelled()) return true;
    }
    return true;
  });
  if (!slidesDone) return false;
  if (ctx.IsCancelled()) return true;

  return Guarded(ctx, kMsgNotesFailed, [&] {
    if (ctx.Options().TranslationRange != 2) {
      SetProgressMessages(ctx, dialogs::CDialogProgress::kTranslatingNotes, dialogs::CDialogProgress::kCountShapes);
    }
    if (ctx.Follows()) PowerPointTranslationUtil::SetPresentationViewType(prop.TranPresen, host::ppViewNotesPage);
    const int slides = prop.OrigSlideRange->Count();
    for (int i = 1; i <= slides; ++i) {
      if (!FollowSlide(ctx, i)) return false;
      host::Ptr<host::ShapeRange> sourceShapes = prop.OrigSlideRange->Item(i)->NotesPage()->Shapes()->Range();
      host::Ptr<host::ShapeRange> targetShapes = prop.TranSlideRange->Item(i)->NotesPage()->Shapes()->Range();
      if (!sourceShapes || !targetShapes) return false;
      if (!TranslateSlideShape(ctx, sourceShapes, targetShapes)) {
        ctx.ReportRunError(kMsgNotesFailed);
        return false;
      }
      if (ctx.IsCancelled()) return true;
    }
    prop.CloseTranslationPresenWindow = 0;
    return true;
  });
}

bool TranslateSelectionRange(RunContext& ctx) {
  PPTTranProp& prop = ctx.prop;
  if (!HasBothPresentations(prop)) return false;
  if (!prop.OrigSlideRange || !prop.TranSlideRange) return false;
  return Guarded(ctx, kMsgSelectionFailed, [&] {
    const bool notesView = prop.WindowViewType == host::ppViewNotesPage;
    if (prop.SelectionType == host::ppSelectionShapes && !prop.ShapeNames.empty()) {
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
      if (!TranslateSlideShape(ctx, source->Shapes()->Range(prop.ShapeNames),
                               target->Shapes()->Range(prop.ShapeNames))) {
        ctx.ReportRunError(kMsgSelectionFailed);
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
      }
      host::Ptr<host::ShapeRange> sourceRange = source->Shapes()->Range(prop.ShapeNames);
      host::Ptr<host::ShapeRange> targetRange = target->Shapes()->Range(prop.ShapeNames);
      if (!sourceRange || !targetRange || sourceRange->Count() < 1 || targetRange->Count() < 1) return false;
      ++ctx.stats.slides;
      ++ctx.stats.shapes;
      if (!TranslateShapeTextRange(ctx, sourceRange->Item(1), targetRange->Item(1), true, false)) {
        ctx.ReportRunError(kMsgSelectionFailed);
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
    int skip = 1;
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
    FollowSelect(ctx, t);
    AutoSizeHold hold(ctx, t);

    const int type = s->Type();
    bool ok = true;
    const wchar_t* failure = nullptr;
    switch (type) {
      case host::msoAutoShape:
      case host::msoCallout:
      case host::msoTextBox:
      case host::msoFreeform:
        ok = TranslateShape_TextBox(ctx, s, t, skip);
        failure = L"Err::TranslateShape_TextBox";
        break;
      case host::msoPlaceholder:
        ok = TranslateShape_Placeholder(ctx, s, t, skip);
        failure = L"Err::TranslateShape_Placeholder";
        break;
      case host::msoComment:
        ok = TranslateShape_Comment(ctx, s, t, skip);
        failure = L"Err::TranslateShape_Comment";
        break;
      case host::msoGroup:
      case host::msoCanvas:
      case host::msoDiagram:
      case host::msoSmartArt:
        ok = TranslateShape_GroupShape(ctx, s, t);
        failure = L"Err::TranslateShape_GroupShape";
        skip = 0;
        break;
      case host::msoTable:
        ok = TranslateShape_Table(ctx, s, t);
        failure = L"Err::TranslateShape_Table";
        skip = 0;
        break;
      case host::msoTextEffect: {
        std::pair<std::wstring, std::wstring> text;
        ok = TranslateShape_WordArt(ctx, s, t, text, skip);
        failure = L"Err::TranslateShape_WordArt";
        break;
      }
      default:
        if (IsTextShape(type, s)) {
          ok = TranslateShape_TextBox(ctx, s, t, skip);
          failure = L"Err::TranslateShape_TextBox";
        } else {
          LOG_INFO(kShapeSource, L"Not implemented:" + std::to_wstring(type));
        }
        break;
    }
    if (!ok) {
      LOG_ERROR(kShapeSource, failure);
      return false;
    }
    if (failure != nullptr) ++ctx.stats.shapes;
    if (ctx.IsCancelled()) {
      LOG_INFO(kShapeSource, L"Canceled");
      return true;
    }
    if (skip == 0) {
      const options::TranslationOptionUDT& o = ctx.Options();
      // Expanding is part of dual print: the doubled height makes room for
      // the source and the translation together.
      if (o.DualPrint != 0 && o.DualPrintExpandShape != 0 && type != host::msoPlaceholder) {
        t->SetHeight(s->Height() * 2.0f);
      }
      if (o.KeepStyle != 0 && t->HasTextFrame() && !FitTextToShape(ctx, s, t)) return false;
    }
    ctx.DrainMessages();
    if (ctx.IsCancelled()) {
      LOG_INFO(kShapeSource, L"Canceled");
      return true;
    }
    StepProgress(ctx);
  }
  return true;
}

bool TranslateShape_TextBox(RunContext& ctx, const host::Ptr<host::Shape>& source,
                            const host::Ptr<host::Shape>& target, int& skip) {
  skip = 1;
  if (!Allowed(ctx, ctx.Options().IgnoresShape)) return true;
  if (source->HasTextFrame() && !TranslateShapeTextRange(ctx, source, target, false, false)) return false;
  skip = 0;
  return true;
}

bool TranslateShape_Comment(RunContext& ctx, const host::Ptr<host::Shape>& source,
                            const host::Ptr<host::Shape>& target, int& skip) {
  skip = 1;
  if (!Allowed(ctx, ctx.Options().IgnoresComment) || !source->HasTextFrame()) return true;
  if (!TranslateShapeTextRange(ctx, source, target, false, false)) return false;
  skip = 0;
  return true;
}

bool TranslateShape_Placeholder(RunContext& ctx, const host::Ptr<host::Shape>& source,
                                const host::Ptr<host::Shape>& target, int& skip) {
  constexpr const wchar_t* kSource = L"PowerPointTranslationProcess::TranslateShape_Placeholder";
  skip = 1;
  const options::TranslationOptionUDT& o = ctx.Options();
  if (source->HasTextFrame()) {
    if (!Allowed(ctx, o.IgnoresMainText) || !source->TextFrame()->HasText()) return true;
    const int kind = source->PlaceholderFormat()->Type();
    const bool paragraphs = kind == host::ppPlaceholderBody || kind == host::ppPlaceholderObject;
    if (!TranslateShapeTextRange(ctx, source, target, false, paragraphs)) {
      LOG_ERROR(kSource, L"Return FALSE");
      return false;
    }
    skip = 0;
    return true;
  }
  if (!Allowed(ctx, o.IgnoresShape)) return true;
  const int version = ctx.Version();
  bool ok = true;
  if (version >= 12) {
    const int contained = source->PlaceholderFormat()->ContainedType();
    if (contained == host::msoSmartArt) {
      ok = TranslateShape_GroupShape(ctx, source, target);
    } else if (contained == host::msoTable) {
      ok = TranslateShape_Table(ctx, source, target);
    } else {
      return true;
    }
  } else if (version >= 10 && source->HasDiagram()) {
    ok = TranslateShape_GroupShape(ctx, source, target);
  } else {
    return true;
  }
  if (!ok) {
    LOG_ERROR(kSource, L"Return FALSE");
    return false;
  }
  skip = 0;
  return true;
}

bool TranslateShape_GroupShape(RunContext& ctx, const host::Ptr<host::Shape>& source,
                               const host::Ptr<host::Shape>& target) {
  host::Ptr<host::GroupShapes> sourceItems = source->GroupItems();
  host::Ptr<host::GroupShapes> targetItems = target->GroupItems();
  if (!sourceItems || !targetItems) return false;
  const options::TranslationOptionUDT& o = ctx.Options();
  const int n = sourceItems->Count();
  const int targetCount = targetItems->Count();
  for (int i = 1; i <= n && i <= targetCount; ++i) {
    host::Ptr<host::Shape> s = sourceItems->Item(i);
    host::Ptr<host::Shape> t = targetItems->Item(i);
    if (!s || !t) continue;
    AutoSizeHold hold(ctx, t);
    const int type = t->Type();
    if (type == host::msoTable) {
      if (!TranslateShape_Table(ctx, s, t)) return false;
      if (ctx.IsCancelled()) return true;
    } else if (IsGroupKind(type)) {
      if (!TranslateShape_GroupShape(ctx, s, t)) return false;
      if (ctx.IsCancelled()) return true;
    } else if (type == host::msoTextEffect) {
      std::pair<std::wstring, std::wstring> text;
      int skip = 1;
      if (!TranslateShape_WordArt(ctx, s, t, text, skip)) return false;
    } else {
      std::int32_t ignore = 1;
      if (type == host::msoPlaceholder) {
        ignore = o.IgnoresMainText;
      } else if (type == host::msoComment) {
        ignore = o.IgnoresComment;
      } else if (IsTextShape(type, s)) {
        ignore = o.IgnoresShape;
      } else {
        LOG_DETAIL(kGroupSource, L"Not implemented:" + std::to_wstring(type));
        ignore = -1;
      }
      if (ignore >= 0 && Allowed(ctx, ignore) && s->HasTextFrame() &&
          !TranslateShapeTextRange(ctx, s, t, false, false)) {
        return ctx.IsCancelled();
      }
    }
    if (o.KeepStyle != 0 && t->HasTextFrame() && !FitTextToShape(ctx, s, t)) return false;
    ctx.DrainMessages();
    if (ctx.IsCancelled()) return true;
  }
  return true;
}

}  // namespace powerpoint
