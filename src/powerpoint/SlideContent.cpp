// Content with handlers of its own: tables (text in cell shapes), a slide's
// review comments with their replies, and WordArt (one string per shape).
#include <vector>

#include "src/engine/AppCommon.h"
#include "src/host/Comments.h"
#include "src/host/Shapes.h"
#include "src/platform/ComError.h"
#include "src/powerpoint/ShapeText.h"
#include "src/powerpoint/RunText.h"
#include "src/powerpoint/SlideContent.h"
#include "src/support/Log.h"

namespace powerpoint {

namespace {

constexpr wchar_t kTableSource[] = L"PowerPointTranslationProcess::TranslateShape_Table";
constexpr wchar_t kCommentSource[] = L"PowerPointTranslationProcess::TranslateSlideComment";
constexpr wchar_t kWordArtSource[] = L"PowerPointTranslationProcess::TranslateShape_WordArt";

bool SameShape(const host::Ptr<host::Shape>& a, const host::Ptr<host::Shape>& b) {
  return a && b && a->Identity() == b->Identity();
}

// One comment or reply as it is to be written back.
struct CommentPlan {
  float left = 0;
  float top = 0;
  std::wstring author;
  std::wstring initials;
  std::wstring text;
  std::vector<CommentPlan> replies;
};

// The translation of a comment text, or the text itself when the run was
// cancelled, the engine failed or the answer came back empty.
std::wstring TranslateCommentText(RunContext& ctx, const std::wstring& text, bool* changed) {
  if (text.empty()) return text;
  engine::TranslationSegment segment;
  segment.source = text;
  segment.start = 1;
  segment.end = static_cast<std::int32_t>(text.size());
  TextOutcome outcome = TranslateOne(ctx, segment);
  if (outcome != TextOutcome::Translated) {
    CountLeft(ctx, LeftReason(outcome));
    return text;
  }
  ++ctx.stats.comments;
  if (*segment.translation != text) *changed = true;
  return *segment.translation;
}

// Replies are carried over on every version, since the comment is
// rebuilt; they are translated only where the host has replies of its own.
CommentPlan PlanComment(RunContext& ctx, host::Comment& comment, bool translateReplies, bool* changed) {
  CommentPlan plan{comment.Left(), comment.Top(), comment.Author(), comment.AuthorInitials(), {}, {}};
  plan.text = TranslateCommentText(ctx, comment.Text(), changed);
  host::Ptr<host::Comments> replies;
  try {
    replies = comment.Replies();
  } catch (const platform::ComError&) {
    return plan;  // a host without replies
  }
  const int count = replies ? replies->Count() : 0;
  for (int j = 1; j <= count; ++j) {
    host::Ptr<host::Comment> reply = replies->Item(j);
    CommentPlan r{0, 0, reply->Author(), reply->AuthorInitials(), reply->Text(), {}};
    if (translateReplies) r.text = TranslateCommentText(ctx, r.text, changed);
    plan.replies.push_back(std::move(r));
  }
  return plan;
}

}  // namespace

bool TranslateShape_Table(RunContext& ctx, const host::Ptr<host::Shape>& source,
                          const host::Ptr<host::Shape>& target) {
  LOG_INFO(kTableSource, L"TranslateShape_Table");
  host::Ptr<host::Table> from = source ? source->Table() : nullptr;
  if (!from) {
    LOG_ERROR(kTableSource, L"OrigTable is NULL");
    return false;
  }
  host::Ptr<host::Table> to = target ? target->Table() : nullptr;
  if (!to) {
    LOG_ERROR(kTableSource, L"TranShape is NULL");
    return false;
  }
  const int columns = to->Columns()->Count();
  const int rows = to->Rows()->Count();
  for (int c = 1; c <= columns; ++c) {
    for (int r = 1; r <= rows; ++r) {
      LOG_DETAIL(kTableSource, L"Table row:" + std::to_wstring(r) + L" col:" + std::to_wstring(c));
      host::Ptr<host::Shape> targetCell = to->Cell(r, c)->Shape();
      // A merged area hands out one shape for every cell it covers; it is
      // translated once, at its top-left cell.
      if (r > 1 && SameShape(to->Cell(r - 1, c)->Shape(), targetCell)) continue;
      if (c > 1 && SameShape(to->Cell(r, c - 1)->Shape(), targetCell)) continue;
      host::Ptr<host::Shape> sourceCell = from->Cell(r, c)->Shape();
      if (!sourceCell) {
        LOG_WARNING(kTableSource, L"OrigCellShape is NULL ");
        continue;
      }
      if (!targetCell) {
        LOG_WARNING(kTableSource, L"TranCellShape is NULL ");
        continue;
      }
      if (targetCell->HasTextFrame() && !TranslateShapeTextRange(ctx, sourceCell, targetCell, false, false))
        return false;
      if (ctx.IsCancelled()) return true;
    }
  }
  return true;
}

bool TranslateSlideComment(RunContext& ctx, const host::Ptr<host::Comments>& source,
                           const host::Ptr<host::Comments>& target) {
  LOG_INFO(kCommentSource, L"TranslateSlideComment");
  if (ctx.Options().IgnoresComment == 1 || !source || !target) return true;
  const bool translateReplies = ctx.Version() >= 15;

  // Everything is translated before the target is touched, so a cancel or
  // a failure on the way leaves every comment where it was.
  std::vector<CommentPlan> plans;
  bool changed = false;
  const int count = source->Count();
  for (int i = 1; i <= count; ++i) {
    host::Ptr<host::Comment> comment = source->Item(i);
    plans.push_back(PlanComment(ctx, *comment, translateReplies, &changed));
  }
  if (!changed) return true;

  // The new comments go in after the old ones, which are deleted only when
  // all of them are in: a host failure half-way removes what was added and
  // keeps the originals.
  const int existing = target->Count();
  try {
    for (const CommentPlan& plan : plans) {
      host::Ptr<host::Comment> added = target->Add(plan.left, plan.top, plan.author, plan.initials, plan.text);
      if (!added || plan.replies.empty()) continue;
      host::Ptr<host::Comments> replies = added->Replies();
      for (const CommentPlan& reply : plan.replies) replies->Add(0, 0, reply.author, reply.initials, reply.text);
    }
  } catch (const platform::ComError& e) {
    LOG_ERROR(kCommentSource, L"adding comments failed: " + e.Description());
    for (int i = target->Count(); i > existing; --i) target->Item(i)->Delete();
    throw;
  }
  for (int i = existing; i >= 1; --i) target->Item(i)->Delete();
  return true;
}

bool TranslateShape_WordArt(RunContext& ctx, const host::Ptr<host::Shape>& source,
                            const host::Ptr<host::Shape>& target, std::pair<std::wstring, std::wstring>& text,
                            int& skip) {
  LOG_INFO(kWordArtSource, L"TranslateShape_WordArt");
  skip = 1;
  const options::TranslationOptionUDT& o = ctx.Options();
  if (o.IgnoresWordArt == 1 && o.TranslationRange != 2) return true;
  if (!source || !target) {
    LOG_ERROR(kWordArtSource, L"shape is NULL");
    return false;
  }
  text.first = source->TextEffect()->Text();
  while (!text.first.empty() && (text.first.back() == L'\r' || text.first.back() == L'\n')) text.first.pop_back();
  text.second.clear();

  engine::TranslationSegment segment;
  segment.source = text.first;
  segment.start = 1;
  segment.end = static_cast<std::int32_t>(text.first.size());
  TextOutcome outcome = TranslateOne(ctx, segment);
  if (outcome == TextOutcome::Failed) {
    LOG_ERROR(kWordArtSource, L"FAIL: " + text.first);
    return false;
  }
  if (outcome == TextOutcome::Cancelled || outcome == TextOutcome::EngineFailed) {
    CountLeft(ctx, LeftReason(outcome));
    return true;
  }
  text.second = segment.translation.value_or(std::wstring());
  // A text effect cannot hold an empty text.
  if (text.second.empty()) text.second = L" ";

  std::wstring written = text.second;
  if (o.DualPrint == 1) written = text.first + (o.DualPrintDest == 1 || o.DualPrintDest == 2 ? L"" : L"\r\n") + text.second;
  target->TextEffect()->SetText(written);
  ++ctx.stats.segmentsTranslated;
  skip = 0;
  return true;
}

}  // namespace powerpoint
