#include "src/powerpoint/RunProgress.h"

#include <exception>

#include "src/dialogs/CDialogProgress.h"
#include "src/powerpoint/RunCaller.h"
#include "src/support/Log.h"

namespace powerpoint {
namespace {

// A dialog whose bar is missing throws; progress is never worth ending a run.
template <class F>
void ToDialog(F&& f) {
  dialogs::CDialogProgress* dialog = dialogs::CurrentProgressDialog();
  if (dialog == nullptr) return;
  try {
    f(*dialog);
  } catch (const std::exception&) {
    LOG_WARNING(L"PowerPointTranslationProcess::Progress", L"progress not shown");
  }
}

}  // namespace

void ReportProgress(RunContext& ctx, std::int64_t position, std::int64_t total) {
  if (position < 0 || total < 0) return;
  if (ctx.ShowsProgressDialog()) {
    ToDialog([&](dialogs::CDialogProgress& d) { d.SetProgress(position, total); });
  } else if (ctx.caller != nullptr) {
    ctx.caller->NotifyProgress(position, total);
  }
}

void StepProgress(RunContext& ctx) {
  if (!ctx.ShowsProgressDialog() || ctx.prop.TranslationSlideShapeCount < 1) return;
  ++ctx.prop.CurrentTranslationSlideShapeNum;
  ToDialog([&](dialogs::CDialogProgress& d) {
    d.SetProgress(ctx.prop.CurrentTranslationSlideShapeNum, ctx.prop.TranslationSlideShapeCount);
  });
}

void SetProgressMessages(RunContext& ctx, int statusId, int countLabelId) {
  if (!ctx.ShowsProgressDialog()) return;
  ToDialog([&](dialogs::CDialogProgress& d) { d.SetMessages(statusId, countLabelId); });
}

}  // namespace powerpoint
