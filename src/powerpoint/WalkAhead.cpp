#include "src/powerpoint/WalkAhead.h"

#include <exception>
#include <utility>

#include "src/engine/AppCommon.h"
#include "src/host/Comments.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/powerpoint/ShapeHandlers.h"
#include "src/powerpoint/ShapeText.h"
#include "src/powerpoint/SlideContent.h"
#include "src/support/Log.h"

namespace powerpoint {
namespace {

constexpr wchar_t kWalkSource[] = L"PowerPointTranslationProcess::Translation";

// The segments of the texts the handlers hand out, cut as
// TranslateShapeTextRange cuts them.
class Segments final : public ShapeTexts {
 public:
  Segments(RunContext& ctx, std::vector<engine::TranslationSegment>& out) : mCtx(ctx), mOut(out) {}
  void Frame(const host::Ptr<host::Shape>& shape, bool paragraphs) override {
    CollectShapeTexts(mCtx, shape, paragraphs, &mOut);
  }
  void ChartText(const host::Ptr<host::TextFrame2>& frame) override { CollectFrameTexts(mCtx, frame, &mOut); }
  void Whole(const std::wstring& text) override {
    if (text.empty()) return;
    engine::TranslationSegment segment;
    segment.source = text;
    mOut.push_back(std::move(segment));
  }

 private:
  RunContext& mCtx;
  std::vector<engine::TranslationSegment>& mOut;
};

void ListShapes(RunContext& ctx, const host::Ptr<host::ShapeRange>& shapes, ShapeTexts& out) {
  if (!shapes) return;
  const ShapeReading reading{ctx.Options(), ctx.Version(), false, ctx.prop.Parts.TranslatesCharts != 0};
  ListEach(reading, shapes, ShapeLevel::Page, out);
}

// As TranslateSlideComment: each comment, then its replies where the host
// has replies of its own.
void ListComments(RunContext& ctx, const host::Ptr<host::Comments>& comments, ShapeTexts& out) {
  if (ctx.Options().IgnoresComment == 1 || !comments) return;
  const bool replies = ctx.Version() >= 15;
  const int count = comments->Count();
  for (int i = 1; i <= count; ++i) {
    host::Ptr<host::Comment> comment = comments->Item(i);
    out.Whole(comment->Text());
    if (!replies) continue;
    host::Ptr<host::Comments> answers;
    try {
      answers = comment->Replies();
    } catch (const platform::ComError&) {
      continue;
    }
    const int n = answers ? answers->Count() : 0;
    for (int j = 1; j <= n; ++j) out.Whole(answers->Item(j)->Text());
  }
}

}  // namespace

WalkAhead::WalkAhead(RunContext& ctx) : mCtx(ctx) { mCtx.walkAnnounces = true; }

WalkAhead::~WalkAhead() {
  mCtx.walkAnnounces = false;
  if (!mAnnounced) return;
  try {
    mCtx.app.GetEngine().DropAhead();
  } catch (const std::exception&) {
    LOG_WARNING(kWalkSource, L"the texts announced ahead could not be dropped");
  }
}

void WalkAhead::AtSlide(int index, bool notes) {
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

std::vector<std::wstring>& WalkAhead::Collected(int page) {
  auto found = mCollected.find(page);
  if (found != mCollected.end()) return found->second;
  std::vector<engine::TranslationSegment> segments;
  Segments out(mCtx, segments);
  try {
    const bool notes = page >= mSlides;
    host::Ptr<host::Slide> slide = mCtx.prop.OrigSlideRange->Item((notes ? page - mSlides : page) + 1);
    if (notes) {
      ListShapes(mCtx, slide->NotesPage()->Shapes()->Range(), out);
    } else {
      ListShapes(mCtx, slide->Shapes()->Range(), out);
      ListComments(mCtx, slide->Comments(), out);
    }
  } catch (const std::exception& e) {
    // The walk will meet the same failure and report it; the texts read
    // so far are still worth announcing.
    LOG_DETAIL(kWalkSource, L"reading ahead stopped: " +
                                platform::ExceptionText(e));
  }
  return mCollected[page] = mCtx.app.EngineTexts(mCtx.Options(), segments);
}

}  // namespace powerpoint
