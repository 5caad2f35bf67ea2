#include "src/dialogs/win32/Win32ProgressView.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "src/dialogs/CDialogProgress.h"
#include "src/dialogs/win32/DialogWindow.h"

namespace dialogs::win32 {

namespace {

constexpr int kStatus = 283;
constexpr int kBar = 282;
constexpr int kCountLabel = 284;
constexpr int kCounts = 285;
constexpr int kCancel = IDCANCEL;
constexpr int kFontPoints = 9;
// Changes from other threads travel to the dialog as window messages, so
// that they also arrive while the cancel question's own loop runs (a thread
// message would be lost there).
constexpr UINT kRunTask = WM_APP + 0x207;

using Task = std::function<void()>;

HINSTANCE OwnModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

class Win32ProgressView : public ProgressView {
 public:
  ~Win32ProgressView() override {
    if (mFont) ::DeleteObject(mFont);
  }

  bool Create(CDialogProgress& dialog) override {
    mDialog = &dialog;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    mWindow = ::CreateDialogParamW(OwnModule(), MAKEINTRESOURCEW(CDialogProgress::kTemplateId), nullptr,
                                   &Win32ProgressView::Proc, reinterpret_cast<LPARAM>(this));
    if (!mWindow) return false;
    ::SendDlgItemMessageW(mWindow, kBar, PBM_SETRANGE32, 0, 100);
    return true;
  }

  void Destroy() override {
    if (!mWindow) return;
    // Changes still queued for the window die with it.
    MSG msg;
    while (::PeekMessageW(&msg, mWindow, kRunTask, kRunTask, PM_REMOVE))
      delete reinterpret_cast<Task*>(msg.lParam);
    ::DestroyWindow(mWindow);
    mWindow = nullptr;
  }

  void DispatchOne(int timeoutMs) override { DispatchDialogMessage(mWindow, timeoutMs); }

  void SetFontName(const std::wstring& fontName) override {
    if (fontName.empty()) return;
    Post([this, fontName] {
      HDC screen = ::GetDC(nullptr);
      const int height = -::MulDiv(kFontPoints, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
      ::ReleaseDC(nullptr, screen);
      HFONT font = ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, fontName.c_str());
      if (!font) return;
      for (int id : {kStatus, kCountLabel, kCounts, kCancel})
        ::SendDlgItemMessageW(mWindow, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
      if (mFont) ::DeleteObject(mFont);
      mFont = font;
    });
  }
  void SetTitle(const std::wstring& text) override {
    Post([this, text] { ::SetWindowTextW(mWindow, text.c_str()); });
  }
  void SetCancelCaption(const std::wstring& text) override { SetItemText(kCancel, text); }
  void SetStatusText(const std::wstring& text) override { SetItemText(kStatus, text); }
  void SetCountLabel(const std::wstring& text) override { SetItemText(kCountLabel, text); }
  void SetCountsText(const std::wstring& text) override { SetItemText(kCounts, text); }
  bool SetBarPosition(int percent) override {
    HWND bar = ::GetDlgItem(mWindow, kBar);
    if (!bar) return false;
    ::PostMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    return true;
  }
  void Show() override {
    Post([this] { ::ShowWindow(mWindow, SW_SHOWNORMAL); });
  }
  void Hide() override {
    Post([this] { ::ShowWindow(mWindow, SW_HIDE); });
  }
  void BringToTop() override {
    Post([this] {
      ::SetWindowPos(mWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    });
  }
  void Repaint() override {
    Post([this] { ::RedrawWindow(mWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); });
  }
  void FocusCancel() override {
    Post([this] { ::SetFocus(::GetDlgItem(mWindow, kCancel)); });
  }
  std::uintptr_t NativeWindow() const override { return reinterpret_cast<std::uintptr_t>(mWindow); }

 private:
  void SetItemText(int id, const std::wstring& text) {
    Post([this, id, text] { ::SetDlgItemTextW(mWindow, id, text.c_str()); });
  }

  void Post(Task task) {
    if (!mWindow) return;
    if (::GetWindowThreadProcessId(mWindow, nullptr) == ::GetCurrentThreadId()) {
      task();
      return;
    }
    auto* owned = new Task(std::move(task));
    if (!::PostMessageW(mWindow, kRunTask, 0, reinterpret_cast<LPARAM>(owned))) delete owned;
  }

  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
      return TRUE;
    }
    auto* self = reinterpret_cast<Win32ProgressView*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return FALSE;
    switch (message) {
      case kRunTask: {
        std::unique_ptr<Task> task(reinterpret_cast<Task*>(lParam));
        (*task)();
        return TRUE;
      }
      case WM_COMMAND:
        if (LOWORD(wParam) == kCancel && HIWORD(wParam) == BN_CLICKED) {
          self->mDialog->cmdCancel_Click();
          return TRUE;
        }
        return FALSE;
      case WM_CLOSE:
        // The close box asks the same question as the cancel button.
        self->mDialog->cmdCancel_Click();
        return TRUE;
      default:
        return FALSE;
    }
  }

  CDialogProgress* mDialog = nullptr;
  HWND mWindow = nullptr;
  HFONT mFont = nullptr;
};

}  // namespace

std::unique_ptr<ProgressView> MakeProgressView() { return std::make_unique<Win32ProgressView>(); }

}  // namespace dialogs::win32
