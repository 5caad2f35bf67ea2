#include "src/dialogs/win32/Win32SmallDialogViews.h"

#include "resources/MessageIds.h"
#include "src/dialogs/DialogViews.h"
#include "src/dialogs/SmallDialogs.h"
#include "src/dialogs/win32/Win32LookupDictView.h"
#include "src/dialogs/win32/Win32SetupView.h"
#include "src/support/ResourceModule.h"

namespace dialogs::win32 {

namespace msg = resources::msg;

namespace {

}  // namespace

Win32InputBoxView::~Win32InputBoxView() {
  mBox = nullptr;
  if (mWindow) ::DestroyWindow(mWindow);
}

bool Win32InputBoxView::Create(CInputBox& box, std::uintptr_t parent) {
  mBox = &box;
  mWindow = ::CreateDialogParamW(TemplateModule(inputbox_ids::kTemplate), MAKEINTRESOURCEW(inputbox_ids::kTemplate),
                                 reinterpret_cast<HWND>(parent), Proc, reinterpret_cast<LPARAM>(this));
  if (!mWindow) return false;
  // The box's logic sets its caption and prompt; the buttons speak the
  // language of the texts too.
  ::SetDlgItemTextW(mWindow, inputbox_ids::kOK, support::LoadText(msg::kOkText).c_str());
  ::SetDlgItemTextW(mWindow, inputbox_ids::kCancel, support::LoadText(msg::kCancelText).c_str());
  return true;
}

int Win32InputBoxView::RunModal() {
  if (!mWindow) return 2;
  mDone = false;
  CentreWindow(mWindow, ::GetWindow(mWindow, GW_OWNER));
  ::SetFocus(::GetDlgItem(mWindow, inputbox_ids::kText));
  RunModalLoop(mWindow, &mDone);
  mBox = nullptr;
  return mCode;
}

void Win32InputBoxView::Close(int code) {
  mCode = code;
  mDone = true;
}

void Win32InputBoxView::SetFontName(const std::wstring& fontName) { mFont.Apply(mWindow, fontName); }
void Win32InputBoxView::SetCaption(const std::wstring& text) { ::SetWindowTextW(mWindow, text.c_str()); }
void Win32InputBoxView::SetPrompt(const std::wstring& text) {
  ::SetDlgItemTextW(mWindow, inputbox_ids::kPrompt, text.c_str());
}
void Win32InputBoxView::SetText(const std::wstring& text) {
  ::SetDlgItemTextW(mWindow, inputbox_ids::kText, text.c_str());
}
std::wstring Win32InputBoxView::GetText() { return WindowText(::GetDlgItem(mWindow, inputbox_ids::kText)); }

INT_PTR CALLBACK Win32InputBoxView::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    return FALSE;
  }
  auto* self = reinterpret_cast<Win32InputBoxView*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!self || !self->mBox) return FALSE;
  if (message == WM_CLOSE) {
    self->mBox->cmdCancel_Click();
    return TRUE;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == inputbox_ids::kOK) self->mBox->cmdOK_Click();
    if (LOWORD(wParam) == inputbox_ids::kCancel) self->mBox->cmdCancel_Click();
    return TRUE;
  }
  return FALSE;
}

Win32WaitResultView::~Win32WaitResultView() { Destroy(); }

bool Win32WaitResultView::Create(CDialogWaitResult& dialog) {
  mDialog = &dialog;
  mWindow = ::CreateDialogParamW(TemplateModule(waitresult_ids::kTemplate),
                                 MAKEINTRESOURCEW(waitresult_ids::kTemplate), ::GetActiveWindow(), Proc,
                                 reinterpret_cast<LPARAM>(this));
  return mWindow != nullptr;
}

void Win32WaitResultView::Destroy() {
  mDialog = nullptr;
  if (mWindow) ::DestroyWindow(mWindow);
  mWindow = nullptr;
}

void Win32WaitResultView::SetFontName(const std::wstring& fontName) { mFont.Apply(mWindow, fontName); }
void Win32WaitResultView::SetCaption(const std::wstring& text) { ::SetWindowTextW(mWindow, text.c_str()); }
void Win32WaitResultView::SetCancelCaption(const std::wstring& text) {
  ::SetDlgItemTextW(mWindow, waitresult_ids::kCancel, text.c_str());
}
void Win32WaitResultView::SetMessage(const std::wstring& text) {
  ::SetDlgItemTextW(mWindow, waitresult_ids::kMessage, text.c_str());
}

void Win32WaitResultView::Show() {
  CentreWindow(mWindow, nullptr);
  ::SetWindowPos(mWindow, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void Win32WaitResultView::Hide() { ::ShowWindow(mWindow, SW_HIDE); }

void Win32WaitResultView::Repaint() {
  ::InvalidateRect(mWindow, nullptr, TRUE);
  ::UpdateWindow(mWindow);
}

void Win32WaitResultView::DispatchOne(int timeoutMs) { DispatchDialogMessage(mWindow, timeoutMs); }

INT_PTR CALLBACK Win32WaitResultView::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    return FALSE;
  }
  auto* self = reinterpret_cast<Win32WaitResultView*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!self || !self->mDialog) return FALSE;
  if (message == WM_CLOSE) {
    self->mDialog->Form_QueryUnload();
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == waitresult_ids::kCancel && HIWORD(wParam) == BN_CLICKED) {
    self->mDialog->cmdCancel_Click();
    return TRUE;
  }
  return FALSE;
}

void Win32VersionBoxView::Show(const std::wstring& caption, const std::wstring& text) {
  support::ShowMessage(text, MB_OK | MB_ICONINFORMATION, caption);
}

void RegisterWindowViews() {
  DialogViewFactories& factories = ViewFactories();
  factories.setup = [] { return std::make_unique<Win32SetupView>(); };
  factories.lookup = [] { return std::make_unique<Win32LookupDictView>(); };
  factories.inputBox = [] { return std::make_unique<Win32InputBoxView>(); };
  factories.waitResult = [] { return std::make_unique<Win32WaitResultView>(); };
  factories.versionBox = [] { return std::make_unique<Win32VersionBoxView>(); };
}

}  // namespace dialogs::win32
