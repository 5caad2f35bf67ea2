#include "src/dialogs/SmallDialogs.h"

#include "resources/MessageIds.h"
#include "src/platform/MessagePump.h"
#include "src/platform/Types.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace dialogs {

namespace msg = resources::msg;

namespace {

// How long the wait box's loop waits for a window message between two polls
// of the request; the request itself is asked with a 1 ms time-out.
constexpr int kWaitPollMs = 10;

}  // namespace

CInputBox::CInputBox(std::unique_ptr<InputBoxView> view) : mView(std::move(view)) {}

int CInputBox::DoModal(std::uintptr_t parent) {
  mResult.clear();
  if (!mView || !mView->Create(*this, parent)) {
    LOG_ERROR(L"CInputBox:DoModal", L"the input box could not be made");
    return IDCANCEL;
  }
  OnInitDialog();
  return mView->RunModal() == IDOK ? IDOK : IDCANCEL;
}

void CInputBox::OnInitDialog() {
  mView->SetFontName(support::ResourceModule::Instance().GetFontName());
  mView->SetCaption(support::LoadText(msg::kTitleTextId));
  mView->SetPrompt(mPrompt);
  mView->SetText(std::wstring());
}

void CInputBox::cmdOK_Click() {
  mResult = mView->GetText();
  mView->Close(IDOK);
}

void CInputBox::cmdCancel_Click() {
  mResult.clear();
  mView->Close(IDCANCEL);
}

CDialogWaitResult::CDialogWaitResult(std::unique_ptr<WaitResultView> view, int cancelGraceMs)
    : mView(std::move(view)), mCancelGraceMs(cancelGraceMs) {}

CDialogWaitResult::~CDialogWaitResult() = default;

long CDialogWaitResult::Run(engine_server::IRequest& request, int messageId, int flags) {
  mRequest = &request;
  mCancelled = false;
  mDone = false;
  mStatus = 0;
  const bool shown = mView && mView->Create(*this);
  if (shown) {
    mView->SetFontName(support::ResourceModule::Instance().GetFontName());
    mView->SetCaption(support::VersionInfo().GetValue(L"ProductName"));
    mView->SetCancelCaption(support::LoadText(msg::kCancelText));
    mView->SetMessage(support::LoadText(messageId));
    mView->Show();
    mView->Repaint();
  } else {
    LOG_WARNING(L"CDialogWaitResult:Run", L"the wait box could not be made; waiting without it");
  }
  // The request is asked from this thread only, between the box's messages:
  // the engine's objects belong to this thread, and a cancel can never race
  // a poll that outlives the box.
  while (!mDone) {
    LONG status = 0;
    if (FAILED(request.WaitForResult(1, &status))) status = engine_server::kRequestFailed;
    if (status != 0) {
      mStatus = status;
      mDone = true;
      break;
    }
    if (mCancelled && std::chrono::steady_clock::now() - mCancelledAt > std::chrono::milliseconds(mCancelGraceMs)) {
      LOG_WARNING(L"CDialogWaitResult:Run", L"the engine did not end its cancelled request; giving up on it");
      mStatus = engine_server::kRequestCancelled;
      mDone = true;
      break;
    }
    if (shown) {
      mView->DispatchOne(kWaitPollMs);
    } else {
      platform::WaitAndDispatchMessage(kWaitPollMs);
    }
  }
  if (shown) {
    mView->Hide();
    mView->Destroy();
  }
  mRequest = nullptr;
  return mCancelled ? static_cast<long>(engine_server::kRequestCancelled) : mStatus;
}

void CDialogWaitResult::cmdCancel_Click() {
  const std::wstring source = L"CDialogWaitResult:cmdCancel_Click";
  if (mView) mView->Hide();
  support::ErrorList::Clear();
  if (mRequest == nullptr || mDone || mCancelled) return;
  mCancelled = true;
  mCancelledAt = std::chrono::steady_clock::now();
  HRESULT hr = mRequest->Cancel();
  if (FAILED(hr)) {
    LOG_ERROR(source, L"the engine refused to cancel its request");
    support::ErrorList::ErrorReport(source);
    return;
  }
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(source);
}

void CDialogWaitResult::Form_QueryUnload() {
  // The box stays until the engine reports an end; Run's loop waits for it.
  if (!mDone) cmdCancel_Click();
}

std::wstring VersionBoxText() {
  support::VersionInfo version;
  return support::LoadText(msg::kTitleTextId) + L"  Version " + version.GetValue(L"ProductVersion") + L"\n\n" +
         version.GetValue(L"LegalCopyright");
}

void ShowVersionBox(VersionBoxView* view) {
  if (view != nullptr) {
    view->Show(support::LoadText(msg::kTitleTextId), VersionBoxText());
  } else {
    support::ShowMessage(VersionBoxText(), MB_OK);
  }
}

}  // namespace dialogs
