#include "powerpoint/PowerPointTranslationProcess.h"

namespace powerpoint {

struct PowerPointTranslationProcess::Impl {
  dialogs::ProgressViewFactory viewFactory;
  RunOutcome outcome;
  std::wstring tempFolder;
};

PowerPointTranslationProcess& PowerPointTranslationProcess::Instance() {
  static PowerPointTranslationProcess process;
  return process;
}

PowerPointTranslationProcess::PowerPointTranslationProcess() : mImpl(std::make_unique<Impl>()) {}
PowerPointTranslationProcess::~PowerPointTranslationProcess() = default;

void PowerPointTranslationProcess::SetProgressViewFactory(dialogs::ProgressViewFactory factory) {
  mImpl->viewFactory = std::move(factory);
}
const RunOutcome& PowerPointTranslationProcess::LastRun() const { return mImpl->outcome; }
void PowerPointTranslationProcess::DeleteTemporaryCopies() {}
void PowerPointTranslationProcess::SetTemporaryFolder(std::wstring folder) { mImpl->tempFolder = std::move(folder); }

bool PowerPointTranslationProcess::TranslateAll(RunCaller&, std::int64_t, const options::TranslationOptionUDT&) {
  return false;
}
bool PowerPointTranslationProcess::TranslateCurrentSlide(RunCaller&, std::int64_t,
                                                         const options::TranslationOptionUDT&) {
  return false;
}
bool PowerPointTranslationProcess::TranslateSelection(RunCaller&, std::int64_t,
                                                      const options::TranslationOptionUDT&) {
  return false;
}
bool PowerPointTranslationProcess::RunTranslation(const options::TranslationOptionUDT&, host::Ptr<host::Presentation>,
                                                  host::Ptr<host::Presentation>, host::Ptr<host::Presentation>) {
  return false;
}

}  // namespace powerpoint
