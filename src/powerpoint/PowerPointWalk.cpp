// The slide and shape walk: pairs every shape read from the working copy
// with the shape at the same position in the target and hands the pair to
// the handler of its kind.
#include <exception>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "src/dialogs/CDialogProgress.h"
#include "src/engine/AppCommon.h"
#include "src/host/Comments.h"
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
    ctx.ReportRunError(messageId, ctx.place);
    return false;
  }
}

bool FollowSlide(RunContext& ctx, int index) {
  if (!ctx.Follows()) return true;
  int slideIndex = ctx.prop.TranSlideRange->Item(index)->SlideIndex();
  return PowerPointTranslationUtil::GotoSlide(ctx.prop.TranPresen, slideIndex);
}

// Tells the engine, page by page, which texts a slide walk is about to ask
// for, so it translates them while the walk writes: when the walk reaches a
// page (the slides, then their notes pages), that page's texts and those of
// the pages after it, as far as the bound allows. It reads the source copy
// exactly as the handlers below do, in their order, and cuts ranges as
// TranslateShapeTextRange does; a text it misses or gets wrong only costs
// that text the wait. Whatever is left announced when the walk ends (done,
// cancelled or failed) is dropped.
class WalkAhead {
 public:
  explicit WalkAhead(RunContext& ctx) : mCtx(ctx) { mCtx.walkAnnounces = true; }
  ~WalkAhead() {
    mCtx.walkAnnounces = false;
    if (!mAnnounced) return;
    try {
      mCtx.app.GetEngine().DropAhead();
    } catch (const std::exception&) {
      LOG_WARNING(kWalkSource, L"the texts announced ahead could not be dropped");
    }
  }
  WalkAhead(const WalkAhead&) = delete;
  WalkAhead& operator=(const WalkAhead&) = delete;

  // The walk is at slide index (1-based), or at its notes page.
  void AtSlide(int index, bool notes) {
    if (mCtx.IsCancelled()) return;
    if (mSlides < 0) mSlides = mCtx.prop.OrigSlideRange->Count();
    const int page = (notes ? mSlides : 0) + index - 1;
    mCounts.erase(mCounts.begin(), mCounts.lower_bound(page));
    mCollected.erase(mCollected.begin(), mCollected.lower_bound(page));
    // Outstanding: the texts announced for the page at hand and after it.
    size_t outstanding = 0;
    for (const auto& [p, n] : mCounts) outstanding += n;
    std::vector<std::wstring> texts;
    const AheadBounds& bounds = mCtx.ahead;
    for (int p = page; p < 2 * mSlides && p <= page + bounds.pages; ++p) {
      if (mCounts.count(p)) continue;
      if (p > page && outstanding >= bounds.wanted) break;
      std::vector<std::wstring>& collected = Collected(p);
      if (p == page && collected.size() > bounds.most) collected.resize(bounds.most);
      if (p > page && outstanding + collected.size() > bounds.most) break;
      outstanding += collected.size();
      mCounts[p] = collected.size();
      for (auto& t : collected) texts.push_back(std::move(t));
      mCollected.erase(p);
    }
    if (mCtx.app.AnnounceAhead(mCtx.Options(), texts)) mAnnounced = true;
  }

 private:
  // A page's texts, read once.
  std::vector<std::wstring>& Collected(int page) {
    auto found = mCollected.find(page);
    if (found != mCollected.end()) return found->second;
    std::vector<engine::TranslationSegment> segments;
    try {
      const bool notes = page >= mSlides;
      host::Ptr<host::Slide> slide = mCtx.prop.OrigSlideRange->Item((notes ? page - mSlides : page) + 1);
      if (notes) {
        Shapes(slide->NotesPage()->Shapes()->Range(), &segments);
      } else {
        Shapes(slide->Shapes()->Range(), &segments);
        Comments(slide->Comments(), &segments);
      }
    } catch (const std::exception& e) {
      // The walk will meet the same failure and report it; the texts read
      // so far are still worth announcing.
      LOG_DETAIL(kWalkSource, L"reading ahead stopped: " +
                                  std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what())));
    }
    return mCollected[page] = mCtx.app.EngineTexts(mCtx.Options(), segments);
  }

  void Text(const host::Ptr<host::Shape>& s, bool paragraphs, std::vector<engine::TranslationSegment>* out) {
    CollectShapeTexts(mCtx, s, paragraphs, out);
  }

  void One(const std::wstring& text, std::vector<engine::TranslationSegment>* out) {
    if (text.empty()) return;
    engine::TranslationSegment segment;
    segment.source = text;
    out->push_back(std::move(segment));
  }

  // As TranslateSlideShape hands its shapes out.
  void Shapes(const host::Ptr<host::ShapeRange>& shapes, std::vector<engine::TranslationSegment>* out) {
    if (!shapes) return;
    const options::TranslationOptionUDT& o = mCtx.Options();
    const int n = shapes->Count();
    for (int i = 1; i <= n; ++i) {
      host::Ptr<host::Shape> s = shapes->Item(i);
      if (!s) continue;
      const int type = s->Type();
      switch (type) {
        case host::msoPlaceholder:
          Placeholder(s, out);
          break;
        case host::msoComment:
          if (Allowed(mCtx, o.IgnoresComment)) Text(s, false, out);
          break;
        case host::msoGroup:
        case host::msoCanvas:
        case host::msoDiagram:
        case host::msoSmartArt:
          Group(s, out);
          break;
        case host::msoTable:
          Table(s, out);
          break;
        case host::msoTextEffect:
          WordArt(s, out);
          break;
        default:
          if (IsTextShape(type, s) && Allowed(mCtx, o.IgnoresShape)) Text(s, false, out);
          break;
      }
    }
  }

  void Placeholder(const host::Ptr<host::Shape>& s, std::vector<engine::TranslationSegment>* out) {
    const options::TranslationOptionUDT& o = mCtx.Options();
    if (s->HasTextFrame()) {
      if (!Allowed(mCtx, o.IgnoresMainText) || !s->TextFrame()->HasText()) return;
      const int kind = s->PlaceholderFormat()->Type();
      Text(s, kind == host::ppPlaceholderBody || kind == host::ppPlaceholderObject, out);
      return;
    }
    if (!Allowed(mCtx, o.IgnoresShape)) return;
    const int version = mCtx.Version();
    if (version >= 12) {
      const int contained = s->PlaceholderFormat()->ContainedType();
      if (contained == host::msoSmartArt) Group(s, out);
      if (contained == host::msoTable) Table(s, out);
    } else if (version >= 10 && s->HasDiagram()) {
      Group(s, out);
    }
  }

  // As TranslateShape_GroupShape, which reads the kinds of the target's
  // items: the same shapes in the copy the walk reads from.
  void Group(const host::Ptr<host::Shape>& s, std::vector<engine::TranslationSegment>* out) {
    host::Ptr<host::GroupShapes> items = s->GroupItems();
    if (!items) return;
    const options::TranslationOptionUDT& o = mCtx.Options();
    const int n = items->Count();
    for (int i = 1; i <= n; ++i) {
      host::Ptr<host::Shape> item = items->Item(i);
      if (!item) continue;
      const int type = item->Type();
      if (type == host::msoTable) {
        Table(item, out);
      } else if (IsGroupKind(type)) {
        Group(item, out);
      } else if (type == host::msoTextEffect) {
        WordArt(item, out);
      } else {
        std::int32_t ignore = -1;
        if (type == host::msoPlaceholder) {
          ignore = o.IgnoresMainText;
        } else if (type == host::msoComment) {
          ignore = o.IgnoresComment;
        } else if (IsTextShape(type, item)) {
          ignore = o.IgnoresShape;
        }
        if (ignore >= 0 && Allowed(mCtx, ignore)) Text(item, false, out);
      }
    }
  }

  // As TranslateShape_Table: column by column, a merged area once.
  void Table(const host::Ptr<host::Shape>& s, std::vector<engine::TranslationSegment>* out) {
    host::Ptr<host::Table> table = s->Table();
    if (!table) return;
    const int columns = table->Columns()->Count();
    const int rows = table->Rows()->Count();
    auto same = [](const host::Ptr<host::Shape>& a, const host::Ptr<host::Shape>& b) {
      return a && b && a->Identity() == b->Identity();
    };
    for (int c = 1; c <= columns; ++c) {
      for (int r = 1; r <= rows; ++r) {
        host::Ptr<host::Shape> cell = table->Cell(r, c)->Shape();
        if (r > 1 && same(table->Cell(r - 1, c)->Shape(), cell)) continue;
        if (c > 1 && same(table->Cell(r, c - 1)->Shape(), cell)) continue;
        Text(cell, false, out);
      }
    }
  }

  void WordArt(const host::Ptr<host::Shape>& s, std::vector<engine::TranslationSegment>* out) {
    const options::TranslationOptionUDT& o = mCtx.Options();
    if (o.IgnoresWordArt == 1 && o.TranslationRange != 2) return;
    std::wstring text = s->TextEffect()->Text();
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    One(text, out);
  }

  // As TranslateSlideComment: each comment, then its replies where the host
  // has replies of its own.
  void Comments(const host::Ptr<host::Comments>& comments, std::vector<engine::TranslationSegment>* out) {
    if (mCtx.Options().IgnoresComment == 1 || !comments) return;
    const bool replies = mCtx.Version() >= 15;
    const int count = comments->Count();
    for (int i = 1; i <= count; ++i) {
      host::Ptr<host::Comment> comment = comments->Item(i);
      One(comment->Text(), out);
      if (!replies) continue;
      host::Ptr<host::Comments> answers;
      try {
        answers = comment->Replies();
      } catch (const platform::ComError&) {
        continue;
      }
      const int n = answers ? answers->Count() : 0;
      for (int j = 1; j <= n; ++j) One(answers->Item(j)->Text(), out);
    }
  }

  RunContext& mCtx;
  int mSlides = -1;  // read at the first page
  bool mAnnounced = false;
  std::map<int, size_t> mCounts;                        // texts announced, by page
  std::map<int, std::vector<std::wstring>> mCollected;  // read, not announced yet
};

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
  ctx.place = {};
  WalkAhead ahead(ctx);
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
        ctx.ReportRunError(kMsgShapesFailed, ctx.place);
        return false;
      }
      // Comments after a cancel would be rebuilt from untranslated text.
      if (ctx.IsCancelled()) return true;
      ctx.place.shape.clear();
      if (source->Comments()->Count() > 0 &&
          !TranslateSlideComment(ctx, source->Comments(), target->Comments())) {
        ctx.ReportRunError(kMsgShapesFailed, ctx.place);
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
      ahead.AtSlide(i, true);
      ctx.place = {prop.OrigSlideRange->Item(i)->SlideIndex(), true, {}};
      host::Ptr<host::ShapeRange> sourceShapes = prop.OrigSlideRange->Item(i)->NotesPage()->Shapes()->Range();
      host::Ptr<host::ShapeRange> targetShapes = prop.TranSlideRange->Item(i)->NotesPage()->Shapes()->Range();
      if (!sourceShapes || !targetShapes) return false;
      if (!TranslateSlideShape(ctx, sourceShapes, targetShapes)) {
        ctx.ReportRunError(kMsgNotesFailed, ctx.place);
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
  return Guarded(ctx, kMsgSelectionFailed, [&] {
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
        ctx.ReportRunError(kMsgSelectionFailed, ctx.place);
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
        ctx.ReportRunError(kMsgSelectionFailed, ctx.place);
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
    ctx.place.shape = s->Name();
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
      if (o.KeepStyle != 0 && t->HasTextFrame()) FitTextToShape(ctx, s, t);
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
    if (o.KeepStyle != 0 && t->HasTextFrame()) FitTextToShape(ctx, s, t);
    ctx.DrainMessages();
    if (ctx.IsCancelled()) return true;
  }
  return true;
}

}  // namespace powerpoint
