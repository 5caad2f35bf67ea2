#include "src/addin/AddinApplication.h"

#include <exception>
#include <optional>

#include "resources/MessageIds.h"
#include "src/dialogs/CDialogLookupDict.h"
#include "src/dialogs/DialogViews.h"
#include "src/dialogs/SmallDialogs.h"
#include "src/engine/AppCommon.h"
#include "src/engine/EngineFamilies.h"
#include "src/engine/TranslationOptionUDTEngine.h"
#include "src/engine/server/EngineClasses.h"
#include "src/menu/OfficeMenu.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/powerpoint/AppCustom.h"
#include "src/support/ResourceModule.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"

namespace addin {

namespace msg = resources::msg;

namespace {

bool FillFromCacheAndEngines(engine::EngineCaches& caches, bool display) {
  if (!caches.LoadCache(false)) LOG_WARNING(L"AddinApplication:GetEngineCaches", caches.LastFailure());
  return caches.RefreshCache(display, true);
}

void SaveIfChanged(engine::EngineCaches& caches) {
  if (!caches.SaveCache(true, false)) LOG_WARNING(L"AddinApplication:~AddinApplication", caches.LastFailure());
}

bool RefreshFromEngines(engine::EngineCaches& caches, bool display) { return caches.RefreshCache(display, false); }

bool LoadFromRegistry(options::TranslationOptions& options) { return options.Load(false); }

// The options dialog's view of the facade: the facade's own collections, so
// that an Apply is in effect for the next command without a restart.
class FacadeSetupHost : public dialogs::SetupHost {
 public:
  FacadeSetupHost(AddinApplication& facade, menu::OfficeMenu* menu) : mFacade(facade), mMenu(menu) {}

  options::TranslationOptions& Options() override { return mFacade.GetTranslationOptions(); }
  engine::EngineCaches& Engines() override { return mFacade.GetEngineCaches(); }
  dialogs::SetupSwitches Switches() override { return mFacade.GetSetupSwitches(); }
  void SetSwitches(const dialogs::SetupSwitches& switches) override { mFacade.SetSetupSwitches(switches); }
  bool RefreshEngines(engine::EngineCaches& caches) override { return mFacade.RefreshEngineList(caches, true); }
  bool ShowHiddenOptions() override {
    options::RegistrySettings reg(options::RegistrySettings::CommonPath());
    if (!reg.OpenRead(platform::Hive::CurrentUser, L"", platform::Hive::LocalMachine)) return false;
    return reg.QueryValue(L"_Setup.ShowHiddenOptions", L"False") == L"True";
  }
  engine_server::IServerSettings* Servers() override {
    if (!mServers && FAILED(engine_server::CreateServerSettings(&mServers))) mServers.reset();
    return mServers.get();
  }
  void Applied() override {
    if (mMenu == nullptr) return;
    engine::EngineCaches& caches = Engines();
    options::TranslationOptions& sets = Options();
    if (mMenu->RefreshLists(caches, sets) != S_OK) LOG_WARNING(L"AddinApplication:ShowOptionDialog", L"the menu lists could not be filled");
    mMenu->ShowAvailability(caches, true);
    mMenu->SetTranOption(sets.SelectedName());
    mMenu->SetTranMode(mMenu->SelectedMode());
  }

 private:
  AddinApplication& mFacade;
  menu::OfficeMenu* mMenu;
  std::shared_ptr<engine_server::IServerSettings> mServers;
};

}  // namespace

AddinApplication::AddinApplication() : AddinApplication(Parts()) {}

AddinApplication::AddinApplication(Parts parts)
    : mProgressDialog(parts.progressDialog),
      mShowMessages(parts.showMessages),
      mFollow(parts.follow),
      mReconnector(std::move(parts.reconnect)),
      mRefreshEngineList(parts.refreshEngineList ? std::move(parts.refreshEngineList) : RefreshFromEngines),
      mLoadOptions(parts.loadOptions ? std::move(parts.loadOptions) : LoadFromRegistry),
      mProcess(parts.process),
      mWatchdog(std::make_unique<TimeOutWatchdog>(std::function<void()>(), parts.watchdogStep)) {
  if (parts.fillEngineList) {
    mFillEngineList = std::move(parts.fillEngineList);
    mSaveEngineList = std::move(parts.saveEngineList);
  } else {
    mFillEngineList = FillFromCacheAndEngines;
    mSaveEngineList = parts.saveEngineList ? std::move(parts.saveEngineList) : SaveIfChanged;
  }
}

// A list built or refreshed during the session is kept, so that the next
// start need not ask the engines again.
AddinApplication::~AddinApplication() {
  if (!mEngineCaches || !mSaveEngineList) return;
  try {
    mSaveEngineList(*mEngineCaches);
  } catch (const std::exception& e) {
    LOG_ERROR(L"AddinApplication:~AddinApplication", platform::ExceptionText(e));
  } catch (...) {
    LOG_ERROR(L"AddinApplication:~AddinApplication", L"the engine list could not be kept");
  }
}

void AddinApplication::SetApplication(host::Ptr<host::Application> application) {
  if (application != mApplication) mApplication = std::move(application);
}

void AddinApplication::SetSwitches(int progressDialog, int showMessages, int follow) {
  mProgressDialog = progressDialog;
  mShowMessages = showMessages;
  mFollow = follow;
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

void AddinApplication::LookupDictionary(std::wstring mode) {
  RunCommand(Command::Lookup, L"LookupDictionary", mode, L"");
}

void AddinApplication::ShowOptionDialog(menu::OfficeMenu* menu) {
  const std::wstring source = mClassName + L":ShowOptionDialog";
  support::ErrorList::SetDisplay(mShowMessages != 0);
  support::ErrorList::Clear();
  const dialogs::DialogViewFactories& views = dialogs::ViewFactories();
  if (!views.setup) {
    LOG_WARNING(source, L"no options dialog on this platform");
    return;
  }
  try {
    FacadeSetupHost host(*this, menu);
    dialogs::CDialogSetup dialog(host, views.setup(), views.inputBox);
    dialog.DoModal();
  } catch (const std::exception& e) {
    LOG_ERROR(source, L"Exception Err: " + platform::ExceptionText(e));
  }
}

void AddinApplication::ShowVersionDialog() {
  support::ErrorList::SetDisplay(mShowMessages != 0);
  support::ErrorList::Clear();
  const dialogs::DialogViewFactories& views = dialogs::ViewFactories();
  std::unique_ptr<dialogs::VersionBoxView> view = views.versionBox ? views.versionBox() : nullptr;
  dialogs::ShowVersionBox(view.get());
}

void AddinApplication::OpenLookupDialog(const options::TranslationOptionUDT& record) {
  const dialogs::DialogViewFactories& views = dialogs::ViewFactories();
  if (!views.lookup) {
    LOG_WARNING(mClassName + L":LookupDictionary", L"no dictionary lookup dialog on this platform");
    return;
  }
  engine::AppCommon& common = engine::AppCommon::Instance();
  common.SetCancel(false);
  std::wstring selection;
  if (mApplication) {
    try {
      selection = powerpoint::AppCustom::SelectionText(mApplication);
    } catch (const std::exception& e) {
      // A selection that cannot be read only means no word to start from.
      LOG_WARNING(mClassName + L":LookupDictionary", platform::ExceptionText(e));
    }
  }
  dialogs::CDialogLookupDict dialog(views.lookup(), GetEngineCaches(), common.GetEngine(),
                                    GetTranslationOptions().SettingsKey(),
                                    [this](engine::EngineCaches& caches) { return RefreshEngineList(caches, true); });
  dialog.DoModal(record.EngineGroup, record.EngineID, selection);
}

dialogs::SetupSwitches AddinApplication::GetSetupSwitches() const {
  dialogs::SetupSwitches s;
  s.displaysProgressBar = mProgressDialog;
  s.displaysAlert = mShowMessages;
  s.displaysDocument = mFollow;
  s.engineGroup = mFallbackEngineGroup;
  s.engineID = mFallbackEngineID;
  s.ownerHWnd = mOwnerWindow;
  return s;
}

void AddinApplication::SetSetupSwitches(const dialogs::SetupSwitches& switches) {
  SetSwitches(switches.displaysProgressBar, switches.displaysAlert, switches.displaysDocument);
  mFallbackEngineGroup = switches.engineGroup;
  mFallbackEngineID = switches.engineID;
  mOwnerWindow = switches.ownerHWnd;
}

bool AddinApplication::RefreshEngineList(engine::EngineCaches& caches, bool display) {
  return mRefreshEngineList ? mRefreshEngineList(caches, display) : caches.RefreshCache(display, false);
}

void AddinApplication::ShowHelpFile() {
  support::ErrorList::SetDisplay(mShowMessages != 0);
  support::ErrorList::Clear();
  const std::wstring stem = platform::ModuleFolder() + L"addins";
  std::wstring path = stem + std::to_wstring(support::ResourceModule::Instance().GetLanguageId()) + L".chm";
  if (!platform::PathExists(path)) path = stem + L".chm";
  if (!platform::PathExists(path)) {
    support::ErrorList::Add(msg::kHelpNotFound);
  } else if (!platform::OpenHelpFile(path)) {
    LOG_WARNING(mClassName + L":ShowHelpFile", L"no help viewer could show " + path);
  }
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(mClassName + L":ShowHelpFile");
}

void AddinApplication::RunCommand(Command command, const wchar_t* name, const std::wstring& mode,
                                  const std::wstring& optionSetName) {
  const std::wstring source = mClassName + L":" + name;
  LOG_INFO(source, L"Start");
  options::TranslationOptionUDT record;
  support::ErrorList::SetDisplay(mShowMessages != 0);
  support::ErrorList::Clear();
  // Nothing may reach the host from a command; the layers below catch their
  // own failures, this catches what the facade's own steps raise.
  try {
    const bool translates = command == Command::Sheet || command == Command::All || command == Command::Selection ||
                            command == Command::Copy || command == Command::Paste;
    if (!fncPrepareForUseAppModule(mode, optionSetName, record, translates)) return;
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
        powerpoint::AppCustom::TranslateCopy(*this, mProgressTarget, record, process.ProgressViewFactory());
        break;
      case Command::Paste:
        powerpoint::AppCustom::TranslatePaste(*this, mProgressTarget, record, process.ProgressViewFactory());
        break;
      case Command::EngineOption:
      case Command::DictionaryRegistration: {
        engine::AppCommon& common = engine::AppCommon::Instance();
        // A run ended by cancel, time-out or disconnection leaves its flag
        // up, and the open below would be cancelled at its first poll.
        common.SetCancel(false);
        engine::Engine& eng = common.GetEngine();
        bool opened = false;
        try {
          opened = eng.OpenEngine(record.EngineGroup, record.EngineID, record.DisplayLanguage, record.FromLang);
        } catch (const std::exception& e) {
          LOG_ERROR(source, L"OpenEngine Err: " + platform::ExceptionText(e));
        }
        if (!opened) {
          support::ErrorList::Add(msg::kEngineInitFailed);
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
      case Command::Lookup:
        OpenLookupDialog(record);
        break;
    }
  } catch (const std::exception& e) {
    LOG_ERROR(source, L"Exception Err: " + platform::ExceptionText(e));
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
      LOG_ERROR(mClassName + L":GetEngineCaches", platform::ExceptionText(e));
    }
    if (!filled) {
      support::ErrorList::Add(msg::kEngineListFailed);
    } else if (mEngineCaches->Count() == 0) {
      support::ErrorList::Add(msg::kNoEngines);
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
                                                 options::TranslationOptionUDT& record, bool translates) {
  EnsureHost();
  fncGetOptionUDT(record, mode, optionSetName);
  EnsureAbbreviations(record.FromLang);
  if (!translates) return true;
  const options::TranslationOption* set = FindOptionSet(optionSetName);
  mTranslatedParts = set != nullptr ? options::TranslatedPartsOf(*set) : options::TranslatedParts{};
  if (set == nullptr || set->Glossary().empty()) return true;
  options::GlossaryRead glossary = options::ReadGlossary(set->Glossary());
  if (!glossary.ok) {
    LOG_WARNING(mClassName + L":fncPrepareForUseAppModule", glossary.failure);
    support::ErrorList::Add(msg::kGlossaryUnreadable, glossary.failure);
    return false;
  }
  record.GlossaryTerms = std::move(glossary.terms);
  return true;
}

const options::TranslationOption* AddinApplication::FindOptionSet(const std::wstring& optionSetName) {
  options::TranslationOptions& sets = GetTranslationOptions();
  const std::wstring setName = optionSetName.empty() ? sets.SelectedName() : optionSetName;
  // The menu may remember a set the options dialog has removed since.
  const options::TranslationOption* set = sets.Find(setName);
  if (!set) set = sets.Find(sets.SelectedName());
  if (!set) set = sets.Find(L"default");
  return set;
}

void AddinApplication::fncGetOptionUDT(options::TranslationOptionUDT& record, const std::wstring& mode,
                                       const std::wstring& optionSetName) {
  GetTranslationOptions();
  engine::EngineCaches& caches = GetEngineCaches();
  auto find = [&]() -> std::optional<engine::EngineEntry> {
    if (mode.empty()) return caches.FindEntry(mFallbackEngineGroup, mFallbackEngineID);
    const int index = caches.FindKey(mode);
    if (index < 0) return std::nullopt;
    return caches.Entry(static_cast<size_t>(index));
  };
  std::optional<engine::EngineEntry> entry = find();
  if (!entry) {
    try {
      mRefreshEngineList(caches, mProgressDialog != 0);
    } catch (const std::exception& e) {
      LOG_ERROR(mClassName + L":fncGetOptionUDT", platform::ExceptionText(e));
    }
    entry = find();
  }
  if (!entry) {
    record = options::TranslationOptionUDT();
    return;
  }
  options::FacadeSwitches switches{mProgressDialog, mShowMessages, mFollow, mProgressTarget};
  record = engine::BuildTranslationOptionUDT(FindOptionSet(optionSetName), &*entry, switches, caches.DisplayLanguage());
}

void AddinApplication::StartTimeOut(std::int32_t milliseconds) { mWatchdog->Start(milliseconds); }

void AddinApplication::StopTimeOut() { mWatchdog->Stop(); }

bool AddinApplication::TimedOut() const { return mWatchdog->TimedOut(); }

}  // namespace addin
