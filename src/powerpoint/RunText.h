// What shape text, tables, comments and WordArt share: one text through the
// engine with the outcome the run summary needs, and the counters.
#pragma once

#include <string>

#include "src/engine/Engine.h"
#include "src/powerpoint/RunContext.h"

namespace powerpoint {

// Reasons a text was left as it was, as the run summary prints them.
inline constexpr wchar_t kLeftEngineFailed[] = L"engine failed";
inline constexpr wchar_t kLeftCancelled[] = L"cancelled";
inline constexpr wchar_t kLeftEmpty[] = L"empty translation";
inline constexpr wchar_t kLeftLinked[] = L"linked to chart data";
inline constexpr wchar_t kLeftChartUnread[] = L"chart of a kind not read";

enum class TextOutcome {
  Translated,    // segment.translation holds the text to write
  EngineFailed,  // the engine gave nothing; the translation is the source
  Cancelled,     // the run was cancelled during or before the request
  Empty,         // a non-empty source came back empty
  Failed,        // the translation routine itself failed
};

// Runs TranslateText on the segment and tells what came of it. Counts
// nothing; the caller decides what a text left means.
TextOutcome TranslateOne(RunContext& ctx, engine::TranslationSegment& segment);

inline void CountLeft(RunContext& ctx, const wchar_t* reason, int count = 1) {
  if (count > 0) ctx.stats.segmentsLeft[reason] += count;
}

// The reason for an outcome other than Translated; null for Translated.
const wchar_t* LeftReason(TextOutcome outcome);

}  // namespace powerpoint
