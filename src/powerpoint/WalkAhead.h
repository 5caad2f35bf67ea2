// Tells the engine, page by page, which texts a slide walk is about to ask
// for, so it translates them while the walk writes: when the walk reaches a
// page (the slides, then their notes pages), that page's texts and those of
// the pages after it, as far as ctx.ahead allows. It reads the source copy
// through the walk's own shape handlers, in their order; a text it misses or
// gets wrong only costs that text the wait. Whatever is left announced when
// the walk ends (done, cancelled or failed) is dropped.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "src/powerpoint/RunContext.h"

namespace powerpoint {

class WalkAhead {
 public:
  explicit WalkAhead(RunContext& ctx);
  ~WalkAhead();
  WalkAhead(const WalkAhead&) = delete;
  WalkAhead& operator=(const WalkAhead&) = delete;

  // The walk is at slide index (1-based), or at its notes page.
  void AtSlide(int index, bool notes);

 private:
  // A page's texts, read once.
  std::vector<std::wstring>& Collected(int page);

  RunContext& mCtx;
  int mSlides = -1;  // read at the first page
  bool mAnnounced = false;
  std::map<int, size_t> mCounts;                        // texts announced, by page
  std::map<int, std::vector<std::wstring>> mCollected;  // read, not announced yet
};

}  // namespace powerpoint
