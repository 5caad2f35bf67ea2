// The walk over the slides, their notes pages and the selection of a run.
#pragma once

#include "src/host/Host.h"
#include "src/powerpoint/RunContext.h"

namespace powerpoint {

bool TranslateSlideRange(RunContext& ctx);
bool TranslateSelectionRange(RunContext& ctx);
// Counts the top-level shapes of the slide range and its notes pages into
// TranslationSlideShapeCount.
bool CountTranslationSlideShapes(RunContext& ctx);
bool TranslateSlideShape(RunContext& ctx, const host::Ptr<host::ShapeRange>& source,
                         const host::Ptr<host::ShapeRange>& target);

}  // namespace powerpoint
