#include "addin/AddinApplication.h"

namespace addin {

AddinApplication::AddinApplication() = default;
AddinApplication::~AddinApplication() = default;
void AddinApplication::SetApplication(host::Ptr<host::Application> application) {
  mApplication = std::move(application);
}
void AddinApplication::SetSwitches(int progressDialog, int showMessages, int follow) {
  mProgressDialog = progressDialog;
  mShowMessages = showMessages;
  mFollow = follow;
}
void AddinApplication::SetWatchdogStep(std::chrono::milliseconds) {}
void AddinApplication::TranslateSheet(std::wstring, std::wstring) {}
void AddinApplication::TranslateAll(std::wstring, std::wstring) {}
void AddinApplication::TranslateSelection(std::wstring, std::wstring) {}
options::TranslationOptions& AddinApplication::GetTranslationOptions() {
  if (!mTranslationOptions) mTranslationOptions = std::make_unique<options::TranslationOptions>();
  return *mTranslationOptions;
}
engine::EngineCaches& AddinApplication::GetEngineCaches() {
  if (!mEngineCaches) mEngineCaches = std::make_unique<engine::EngineCaches>();
  return *mEngineCaches;
}
void AddinApplication::NotifyProgress(std::int64_t, std::int64_t) {}
bool AddinApplication::fncPrepareForUseAppModule(const std::wstring&, const std::wstring&,
                                                 options::TranslationOptionUDT&) {
  return true;
}
void AddinApplication::fncGetOptionUDT(options::TranslationOptionUDT&, const std::wstring&, const std::wstring&) {}
void AddinApplication::StartTimeOut(std::int32_t) {}
void AddinApplication::StopTimeOut() {}

}  // namespace addin
