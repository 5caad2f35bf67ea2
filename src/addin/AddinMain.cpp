#include "src/addin/AddinMain.h"

#include <exception>

#include "resources/MessageIds.h"
#include "src/engine/AppCommon.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/powerpoint/ClipboardEx.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"

namespace addin {

namespace msg = resources::msg;

namespace {

constexpr HRESULT kSilentFailure = static_cast<HRESULT>(0x80040101L);

std::unique_ptr<AddinMain> gAddinMain;
// The host disconnected while a command or click ran: the connection ends
// once the click has ended, not under its feet.
bool gDisconnectPending = false;
// The host connected again while a command or click ran: the new connection
// is made once the click has ended, replacing the one the click runs in.
struct PendingConnection {
  host::Ptr<host::Application> application;
  std::shared_ptr<void> addInInst;
  bool hasCustom = false;
  std::vector<std::uint32_t> custom;
};
std::unique_ptr<PendingConnection> gPendingConnection;
AddinMain::ProgIdLookup gProgIdLookup;
AddinMain::FacadeSetup gFacadeSetup;

int HostVersion(const host::Ptr<host::Application>& application) {
  try {
    return std::stoi(application->Version());
  } catch (const std::exception&) {
    return 0;
  }
}

// Message 1001, unless this connection already showed it.
void ReportUnexpectedOnce() {
  for (const support::ErrorEntry& e : support::ErrorList::GetEntries())
    if (e.mMessageId == msg::kUnexpectedError) return;
  support::ErrorList::Add(msg::kUnexpectedError);
}

}  // namespace

std::wstring UnversionedProgId(const std::wstring& progId) {
  const size_t dot = progId.rfind(L'.');
  if (dot == std::wstring::npos || dot + 1 == progId.size()) return progId;
  for (size_t i = dot + 1; i < progId.size(); ++i)
    if (progId[i] < L'0' || progId[i] > L'9') return progId;
  return progId.substr(0, dot);
}

AddinMain::AddinMain() {
  AddinApplication::Parts parts{.progressDialog = 1, .showMessages = 1, .follow = 1};
  if (gFacadeSetup) gFacadeSetup(parts);
  mFacade = std::make_unique<AddinApplication>(std::move(parts));
  support::ErrorList::SetDisplay(true);
}

AddinMain::~AddinMain() {
  mMenu.reset();
  mFacade.reset();
}

HRESULT AddinMain::OnConnectionWrapper(const host::Ptr<host::Application>& application,
                                       const std::shared_ptr<void>& addInInst,
                                       const std::vector<std::uint32_t>* custom) {
  const std::wstring source = mClassName + L":OnConnectionWrapper";
  if (!application) {
    LOG_ERROR(source, L"App is NULL");
    return E_FAIL;
  }
  if (!addInInst) {
    LOG_ERROR(source, L"AddInInst is NULL");
    return E_FAIL;
  }
  if (!custom) {
    LOG_ERROR(source, L"custom is NULL");
    return E_FAIL;
  }
  mApplication = application;
  mAddInInst = addInInst;
  if (custom->empty()) {
    LOG_ERROR(source, L"SafeArray Err");
    return E_INVALIDARG;
  }
  mLaunchKind = custom->front();
  mFacade->SetApplication(application);

  mMenu.reset();
  mMenu = std::make_unique<menu::OfficeMenu>(this);
  std::wstring progId = kProgId;
  if (gProgIdLookup) {
    const HRESULT hr = gProgIdLookup(&progId);
    if (hr != S_OK) {
      LOG_ERROR(source, L"ProgIDFromCLSID Err");
      return hr;
    }
  }
  progId = UnversionedProgId(progId);
  const HRESULT initialized = mMenu->Initialize(application, progId);
  if (initialized != S_OK) {
    LOG_ERROR(source, L"Menu Initialize Err");
    return initialized;
  }
  mMenu->RemoveMenu();
  mMenu->RemoveToolbar();

  // Only hosts below version 10 take button faces through the clipboard;
  // later ones never touch it, so the user's clipboard is left alone.
  std::unique_ptr<powerpoint::ClipboardEx> clipboard;
  if (HostVersion(application) < 10) {
    clipboard = std::make_unique<powerpoint::ClipboardEx>();
    clipboard->SaveClipboard();
  }
  auto restore = [&clipboard] {
    if (clipboard) clipboard->RestoreClipboard();
    clipboard.reset();
  };
  engine::EngineCaches& caches = mFacade->GetEngineCaches();
  options::TranslationOptions& sets = mFacade->GetTranslationOptions();
  auto build = [&](bool toolbar) {
    HRESULT hr = E_FAIL;
    try {
      hr = toolbar ? mMenu->CreateToolbar(caches, sets) : mMenu->CreateMenu(caches, sets);
    } catch (const std::exception& e) {
      LOG_ERROR(source, platform::ExceptionText(e));
    }
    if (hr == S_OK) return true;
    LOG_ERROR(source, toolbar ? L"CreateToolbar FAIL" : L"CreateMenu FAIL");
    support::ErrorList::Add(toolbar ? msg::kToolbarFailed : msg::kMenuFailed);
    LOG_ERROR(source, L"ErrorHandler");
    if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(source);
    restore();
    return false;
  };
  if (!build(false) || !build(true)) return E_FAIL;
  restore();

  if (!mMenu->SettingsLoad(0)) {
    LOG_ERROR(source, L"SettingsLoad FAIL");
    return E_FAIL;
  }
  mMenu->ShowAvailability(caches, false);
  mMenu->SetTranOption(sets.SelectedName());
  return initialized;
}

void AddinMain::OnDisconnectionWrapper() {
  mAddInInst.reset();
  if (mMenu) {
    mMenu->SettingsSave(mLaunchKind != 2 && mLaunchKind != 3 ? 1 : 0);
    mMenu->RemoveMenu();
    mMenu->RemoveToolbar();
    mMenu.reset();
  }
  dialogs::WaitForProgressDialogThread();
  // The host stays alive while anything here holds one of its objects.
  mFacade->Process().ReleaseHostObjects();
  mApplication.reset();
}

void AddinMain::RunHandler(const wchar_t* name, bool needsMode, bool reportAfter,
                           const std::function<void()>& command) {
  const std::wstring source = mClassName + L":" + name;
  LOG_INFO(source, L"Start");
  if (needsMode && !mMenu) return;
  support::ErrorList::Clear();
  if (needsMode) {
    if (mMenu->SelectedMode().empty()) {
      support::ErrorList::Add(msg::kNoMode);
      return;
    }
    mMenu->SetReady(0);
  }
  // Whatever a command raises, the ready flag comes back up and the
  // watchdog stops: otherwise every later click would only beep.
  ++mRunDepth;
  try {
    command();
  } catch (const std::exception& e) {
    LOG_ERROR(source, L"Exception Err: " + platform::ExceptionText(e));
    ReportUnexpectedOnce();
  } catch (...) {
    LOG_ERROR(source, L"Exception Err");
    ReportUnexpectedOnce();
  }
  --mRunDepth;
  if (reportAfter && support::ErrorList::HasError()) support::ErrorList::ErrorReport(source);
  if (needsMode) {
    mFacade->StopTimeOut();
    support::ErrorList::Clear();
    if (mMenu) mMenu->SetReady(1);
  }
}

void AddinMain::BeforeCommand() { ++mRunDepth; }

void AddinMain::AfterCommand() {
  --mRunDepth;
  if (Running()) return;
  // Both end this object: nothing of it may be touched after them.
  if (gPendingConnection) {
    const std::unique_ptr<PendingConnection> next = std::move(gPendingConnection);
    OnConnection(next->application, next->addInInst, next->hasCustom ? &next->custom : nullptr);
    return;
  }
  if (!gDisconnectPending) return;
  gDisconnectPending = false;
  OnDisconnection();
}

void AddinMain::TranSheetClick() {
  RunHandler(L"TranSheetClick", true, false,
             [this] { mFacade->TranslateSheet(mMenu->SelectedMode(), mMenu->SelectedOptionName()); });
}

void AddinMain::TranAllClick() {
  RunHandler(L"TranAllClick", true, false,
             [this] { mFacade->TranslateAll(mMenu->SelectedMode(), mMenu->SelectedOptionName()); });
}

void AddinMain::TranSelectClick() {
  RunHandler(L"TranSelectClick", true, false,
             [this] { mFacade->TranslateSelection(mMenu->SelectedMode(), mMenu->SelectedOptionName()); });
}

void AddinMain::TranCopyClick() {
  RunHandler(L"TranCopyClick", true, false,
             [this] { mFacade->TranslateCopy(mMenu->SelectedMode(), mMenu->SelectedOptionName()); });
}

void AddinMain::TranPasteClick() {
  RunHandler(L"TranPasteClick", true, false,
             [this] { mFacade->TranslatePaste(mMenu->SelectedMode(), mMenu->SelectedOptionName()); });
}

void AddinMain::LookupDictClick() {
  RunHandler(L"LookupDictClick", true, false, [this] { mFacade->LookupDictionary(mMenu->SelectedMode()); });
}

void AddinMain::ShowEngineOptionClick() {
  RunHandler(L"ShowEngineOptionClick", true, false, [this] { mFacade->ShowEngineOptionDialog(mMenu->SelectedMode()); });
}

void AddinMain::ShowDictionaryRegistrationClick() {
  RunHandler(L"ShowDictionaryRegistrationClick", true, true,
             [this] { mFacade->ShowDictionaryRegistrationDialog(mMenu->SelectedMode()); });
}

void AddinMain::ShowVersionClick() {
  RunHandler(L"ShowVersionClick", false, true, [this] { mFacade->ShowVersionDialog(); });
}

void AddinMain::ShowHelpClick() {
  RunHandler(L"ShowHelpClick", false, true, [this] { mFacade->ShowHelpFile(); });
}

void AddinMain::ShowOptionClick() {
  if (!mMenu) return;
  RunHandler(L"ShowOptionClick", false, false, [this] {
    mFacade->ShowOptionDialog(mMenu.get());
  });
}

void AddinMain::TranOptionClick(const std::wstring& name) {
  RunHandler(L"TranOptionClick", false, true, [this, &name] { mFacade->GetTranslationOptions().Select(name); });
}

void AddinMain::SetProgIdLookup(ProgIdLookup lookup) { gProgIdLookup = std::move(lookup); }
void AddinMain::SetFacadeSetup(FacadeSetup setup) { gFacadeSetup = std::move(setup); }

AddinMain* CurrentAddinMain() { return gAddinMain.get(); }

HRESULT OnConnection(const host::Ptr<host::Application>& application, const std::shared_ptr<void>& addInInst,
                     const std::vector<std::uint32_t>* custom) {
  const std::wstring source = L"CConnect:OnConnection";
  LOG_INFO(source, L"OnConnection");
  try {
    if (gAddinMain && gAddinMain->Running()) {
      // Replacing the main object now would free it under the running
      // click; its command is cancelled and the connection waits for the
      // click's end.
      LOG_INFO(source, L"a command runs: the connection follows when it returns");
      gPendingConnection = std::make_unique<PendingConnection>(
          PendingConnection{application, addInInst, custom != nullptr, custom ? *custom : std::vector<std::uint32_t>()});
      gDisconnectPending = false;
      engine::AppCommon::Instance().SetCancel(true);
      return S_OK;
    }
    support::ErrorList::SetDisplay(true);
    support::ErrorList::Clear();
    // A second connection replaces the first: its menu, toolbar and
    // settings go the way a disconnection takes them.
    if (gAddinMain) OnDisconnection();
    gAddinMain = std::make_unique<AddinMain>();
    // The connection's own message boxes (no engines, a menu that failed)
    // let the host connect or disconnect again: like a click, the
    // connection runs until it ends, and a change asked for meanwhile
    // follows it.
    AddinMain* made = gAddinMain.get();
    made->BeforeCommand();
    HRESULT hr = E_UNEXPECTED;
    try {
      hr = made->OnConnectionWrapper(application, addInInst, custom);
    } catch (...) {
    }
    if (hr != S_OK && hr != kSilentFailure) ReportUnexpectedOnce();
    if (hr == S_OK) LOG_INFO(source, L"OnConnection END");
    made->AfterCommand();  // may end `made`
  } catch (...) {
    ReportUnexpectedOnce();
  }
  return S_OK;
}

HRESULT OnDisconnection() {
  try {
    if (gAddinMain && gAddinMain->Running()) {
      gPendingConnection.reset();
      gDisconnectPending = true;
      engine::AppCommon::Instance().SetCancel(true);
      return S_OK;
    }
    gDisconnectPending = false;
    if (gAddinMain) {
      gAddinMain->OnDisconnectionWrapper();
      gAddinMain.reset();
    }
  } catch (...) {
    gAddinMain.reset();
    ReportUnexpectedOnce();
  }
  return S_OK;
}

}  // namespace addin
