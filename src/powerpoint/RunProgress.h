// Progress of a run, shared by the run body and the walk: to the progress
// dialog when the run shows it, otherwise to the facade that started the run.
#pragma once

#include <cstdint>

#include "src/powerpoint/RunContext.h"

namespace powerpoint {

// Reports (position, total); negative values are not reported.
void ReportProgress(RunContext& ctx, std::int64_t position, std::int64_t total);
// One top-level shape done: advances CurrentTranslationSlideShapeNum and
// shows it, when the dialog is on and a total is known.
void StepProgress(RunContext& ctx);
// The dialog's status text and count label (resource ids), when it is on.
void SetProgressMessages(RunContext& ctx, int statusId, int countLabelId);

}  // namespace powerpoint
