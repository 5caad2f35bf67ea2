#include "src/addin/AddinApplication.h"

#include <exception>
#include <optional>

#include "src/engine/AppCommon.h"
#include "src/engine/EngineFamilies.h"
#include "src/engine/TranslationOptionUDTEngine.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/powerpoint/AppCustom.h"
#include "src/support/ResourceModule.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"

namespace addin {
namespace {

bool FillFromCacheAndEngines(engine::EngineCaches& caches, bool display) {
  if (!caches.LoadCache(false)) LOG_WARNING(L"AddinApplication:GetEngineCaches", caches.LastFailure());
  return caches.RefreshCache(display, true);
}

bool RefreshFromEngines(engine::EngineCaches& caches, bool display) { return caches.RefreshCache(display, false); }

bool LoadFromRegistry(options::TranslationOptions& options) { return options.Load(false); }

std::wstring Widen(const char* text) {
  return std::wstring(text, text + std::char_traits<char>::length(text));
}

}  // namespace

AddinApplication::AddinApplication()
    : mFillEngineList(FillFromCacheAndEngines),
      mRefreshEngineList(RefreshFromEngines),
      mLoadOptions(LoadFromRegistry),
      mWatchdog(std::make_unique<TimeOutWatchdog>()) {}

AddinApplication::~AddinApplication() = default;

void AddinApplication::SetApplication(host::Ptr<host::Application> application) {
  if (application != mApplication) mApplication = std::move(application);
}

void AddinApplication::SetSwitches(int progressDialog, int showMessages, int follow) {
  mProgressDialog = progressDialog;
  mShowMessages = showMessages;
  mFollow = follow;
}

void AddinApplication::SetWatchdogStep(std::chrono::milliseconds step) {
  mWatchdog->Stop();
  mWatchdog = std::make_unique<TimeOutWatchdog>(std::function<void()>(), step);
}

powerpoint::PowerPointTranslationProcess& AddinApplication::Process() {
  return mProcess != nullptr ? *mProcess : powerpoint::PowerPointTranslationProcess::Instance();
}

void AddinApplication::TranslateSheet(std::wstring mode, std::wstring optionSetName) {
  RunCommand(Command::Sheet, L"TranslateSheet", mode, optionSetName);
}

void AddinApplication::TranslateAll(std::wstring mode, std::wstring optionSetName) {
  RunCommand(Command::All, L"TranslateAll", mode, optionSetName);
}

void AddinApplication::TranslateSelection(std::wstring mode, std::wstring optionSetName) {
  RunCommand(Command::Selection, L"TranslateSelection", mode, optionSetName);
}

void AddinApplication::TranslateCopy(std::wstring mode, std::wstring optionSetName) {
  RunCommand(Command::Copy, L"TranslateCopy", mode, optionSetName);
}

void AddinApplication::TranslatePaste(std::wstring mode, std::wstring optionSetName) {
  RunCommand(Command::Paste, L"TranslatePaste", mode, optionSetName);
}

void AddinApplication::ShowEngineOptionDialog(std::wstring mode) {
  RunCommand(Command::EngineOption, L"ShowEngineOptionDialog", mode, L"");
}

void AddinApplication::ShowDictionaryRegistrationDialog(std::wstring mode) {
  RunCommand(Command::DictionaryRegistration, L"ShowDictionaryRegistrationDialog", mode, L"");
}

void AddinApplication::ShowVersionDialog() {
  ErrorList::SetDisplay(mShowMessages != 0);
  ErrorList::Clear();
  VersionInfo version;
  std::wstring text = LoadText(203) + L"  Version " + version.GetValue(L"ProductVersion") + L"\n\n" +
                      version.GetValue(L"LegalCopyright");
  ShowMessage(text, 0);
}

void AddinApplication::ShowHelpFile() {
  ErrorList::SetDisplay(mShowMessages != 0);
  ErrorList::Clear();
  const std::wstring stem = platform::ModuleFolder() + L"addins";
  std::wstring path = stem + std::to_wstring(ResourceModule::Instance().GetLanguageId()) + L".chm";
  if (!platform::PathExists(path)) path = stem + L".chm";
  if (!platform::PathExists(path)) {
    ErrorList::Add(kHelpNotFound);
  } else if (mOpenHelp) {
    mOpenHelp(path);
  } else {
    LOG_INFO(mClassName + L":ShowHelpFile", path);
  }
  if (ErrorList::HasError()) ErrorList::ErrorReport(mClassName + L":ShowHelpFile");
}

void AddinApplication::RunCommand(Command command, const wchar_t* name, const std::wstring& mode,
                                  const std::wstring& optionSetName) {
  const std::wstring source = mClassName + L":" + name;
  LOG_INFO(source, L"Start");
  options::TranslationOptionUDT record;
  ErrorList::SetDisplay(mShowMessages != 0);
  ErrorList::Clear();
  // Nothing may reach the host from a command; the layers below catch their
  // own failures, this catches what the facade's own steps raise.
  try {
    if (!fncPrepareForUseAppModule(mode, optionSetName, record)) return;
    powerpoint::PowerPointTranslationProcess& process = Process();
    switch (command) {
      case Command::Sheet:
        process.TranslateCurrentSlide(*this, mProgressTarget, record);
        break;
      case Command::All:
        process.TranslateAll(*this, mProgressTarget, record);
        break;
      case Command::Selection:
        process.TranslateSelection(*this, mProgressTarget, record);
        break;
      case Command::Copy:
        powerpoint::AppCustom::TranslateCopy(*this, mProgressTarget, record);
        break;
      case Command::Paste:
        powerpoint::AppCustom::TranslatePaste(*this, mProgressTarget, record);
        break;
      case Command::EngineOption:
      case Command::DictionaryRegistration: {
        engine::Engine& eng = engine::AppCommon::Instance().GetEngine();
        if (!eng.OpenEngine(record.EngineGroup, record.EngineID, record.DisplayLanguage, record.FromLang)) {
          ErrorList::Add(engine::AppCommon::kEngineInitFailed);
          break;
        }
        if (command == Command::EngineOption) {
          eng.ShowOptionDialog(0);
        } else {
          eng.ShowDictionaryDialog(0);
        }
        eng.CloseEngine();
        break;
      }
    }
  } catch (const std::exception& e) {
    LOG_ERROR(source, L"Exception Err: " + Widen(e.what()));
  }
}

options::TranslationOptions& AddinApplication::GetTranslationOptions() {
  LOG_DETAIL(mClassName + L":GetTranslationOptions", L"GetTranslationOptions");
  if (!mTranslationOptions) {
    mTranslationOptions = std::make_unique<options::TranslationOptions>();
    if (!mLoadOptions(*mTranslationOptions)) {
      LOG_WARNING(mClassName + L":GetTranslationOptions", mTranslationOptions->LastFailure());
    }
  }
  return *mTranslationOptions;
}

engine::EngineCaches& AddinApplication::GetEngineCaches() {
  LOG_DETAIL(mClassName + L":GetEngineCaches", L"GetEngineCaches");
  if (!mEngineCaches) {
    mEngineCaches = std::make_unique<engine::EngineCaches>();
    bool filled = false;
    try {
      filled = mFillEngineList(*mEngineCaches, mProgressDialog != 0);
    } catch (const std::exception& e) {
      LOG_ERROR(mClassName + L":GetEngineCaches", Widen(e.what()));
    }
    if (!filled) {
      ErrorList::Add(kEngineListFailed);
    } else if (mEngineCaches->Count() == 0) {
      ErrorList::Add(kNoEngines);
    }
  }
  return *mEngineCaches;
}

void AddinApplication::NotifyProgress(std::int64_t, std::int64_t) {}

void AddinApplication::EnsureHost() {
  if (!mApplication) return;
  std::wstring version;
  try {
    version = mApplication->Version();
  } catch (const std::exception&) {
    // A host that no longer answers is as dead as one that answers nothing.
  }
  if (!version.empty()) return;
  mReconnected = 0;
  if (!mReconnector) return;
  try {
    if (host::Ptr<host::Application> found = mReconnector()) {
      mReconnected = 1;
      mApplication = std::move(found);
    }
  } catch (const std::exception&) {
  }
}

void AddinApplication::EnsureAbbreviations(const std::wstring& fromLang) {
  const std::wstring lang = platform::AsciiLower(fromLang);
  if (lang.empty() || lang == mAbbreviationLang) return;
  std::vector<std::wstring> entries;
  engine::LoadAbbreviations(lang, &entries);
  engine::AppCommon::Instance().GetEngine().SetAbbreviations(std::move(entries));
  mAbbreviationLang = lang;
}

bool AddinApplication::fncPrepareForUseAppModule(const std::wstring& mode, const std::wstring& optionSetName,
                                                 options::TranslationOptionUDT& record) {
  EnsureHost();
  fncGetOptionUDT(record, mode, optionSetName);
  EnsureAbbreviations(record.FromLang);
  return true;
}

void AddinApplication::fncGetOptionUDT(options::TranslationOptionUDT& record, const std::wstring& mode,
                                       const std::wstring& optionSetName) {
  options::TranslationOptions& sets = GetTranslationOptions();
  const std::wstring setName = optionSetName.empty() ? sets.SelectedName() : optionSetName;
  engine::EngineCaches& caches = GetEngineCaches();
  auto find = [&]() -> std::optional<engine::EngineEntry> {
    if (mode.empty()) return caches.FindEntry(mFallbackEngineGroup, mFallbackEngineID);
    const int index = caches.FindKey(mode);
    if (index < 0) return std::nullopt;
    return caches.Entry(static_cast<size_t>(index));
  };
  std::optional<engine::EngineEntry> entry = find();
  if (!entry) {
    ++mRefreshes;
    try {
      mRefreshEngineList(caches, mProgressDialog != 0);
    } catch (const std::exception& e) {
      LOG_ERROR(mClassName + L":fncGetOptionUDT", Widen(e.what()));
    }
    entry = find();
  }
  if (!entry) {
    record = options::TranslationOptionUDT();
    return;
  }
  options::FacadeSwitches switches{mProgressDialog, mShowMessages, mFollow, mProgressTarget};
  // The menu may remember a set the options dialog has removed since.
  const options::TranslationOption* set = sets.Find(setName);
  if (!set) set = sets.Find(sets.SelectedName());
  if (!set) set = sets.Find(L"default");
  record = engine::BuildTranslationOptionUDT(set, &*entry, switches, caches.DisplayLanguage());
}

void AddinApplication::StartTimeOut(std::int32_t milliseconds) { mWatchdog->Start(milliseconds); }

void AddinApplication::StopTimeOut() { mWatchdog->Stop(); }

}  // namespace addin
