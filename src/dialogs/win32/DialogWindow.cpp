#include "src/dialogs/win32/DialogWindow.h"

#include <commctrl.h>

#include <map>
#include <memory>

#include "src/support/ResourceModule.h"

namespace dialogs::win32 {
namespace {

HINSTANCE OwnModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

// Language modules opened for their templates, by path. They stay loaded for
// the process: a dialog may be open while the text module is reloaded.
HINSTANCE LanguageModule(const std::wstring& path) {
  static std::map<std::wstring, HMODULE> opened;
  auto found = opened.find(path);
  if (found != opened.end()) return found->second;
  HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  opened[path] = module;
  return module;
}

BOOL CALLBACK SetFontOnChild(HWND child, LPARAM font) {
  ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  return TRUE;
}

}  // namespace

HINSTANCE TemplateModule(int templateId) {
  static const bool controlsReady = [] {
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    return ::InitCommonControlsEx(&init) != FALSE;
  }();
  (void)controlsReady;
  std::wstring path = support::ResourceModule::Instance().GetModulePath();
  if (!path.empty()) {
    HINSTANCE language = LanguageModule(path);
    if (language && ::FindResourceW(language, MAKEINTRESOURCEW(templateId), MAKEINTRESOURCEW(5) /* RT_DIALOG */))
      return language;
  }
  return OwnModule();
}

DialogFont::~DialogFont() {
  if (mFont) ::DeleteObject(mFont);
}

void DialogFont::Apply(HWND window, const std::wstring& name) {
  if (name.empty() || !window) return;
  HDC screen = ::GetDC(nullptr);
  int height = -::MulDiv(9, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, screen);
  HFONT font = ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name.c_str());
  if (!font) return;
  ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::EnumChildWindows(window, SetFontOnChild, reinterpret_cast<LPARAM>(font));
  ::InvalidateRect(window, nullptr, TRUE);
  // The controls now use the new font; the old one may go.
  if (mFont) ::DeleteObject(mFont);
  mFont = font;
}

void RunModalLoop(HWND dialog, const bool* done) {
  HWND owner = ::GetWindow(dialog, GW_OWNER);
  bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
  if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
  ::ShowWindow(dialog, SW_SHOW);
  ::SetForegroundWindow(dialog);
  MSG msg;
  while (!*done) {
    BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    if (!::IsWindow(dialog) || !::IsDialogMessageW(dialog, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  // The owner must be enabled before the dialog hides, or the system hands
  // the activation to another program.
  if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
  if (::IsWindow(dialog)) ::ShowWindow(dialog, SW_HIDE);
}

void DispatchDialogMessage(HWND dialog, int timeoutMs) {
  MSG msg;
  if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(timeoutMs), QS_ALLINPUT);
    if (!::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return;
  }
  if (msg.message == WM_QUIT) {
    // Not ours to take: the outer loop must still see it.
    ::PostQuitMessage(static_cast<int>(msg.wParam));
    return;
  }
  if (!dialog || !::IsDialogMessageW(dialog, &msg)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

void CentreWindow(HWND window, HWND over) {
  RECT area;
  if (over && ::IsWindowVisible(over)) {
    ::GetWindowRect(over, &area);
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  RECT self;
  ::GetWindowRect(window, &self);
  int width = self.right - self.left;
  int height = self.bottom - self.top;
  int x = area.left + ((area.right - area.left) - width) / 2;
  int y = area.top + ((area.bottom - area.top) - height) / 2;
  ::SetWindowPos(window, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowText(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int got = ::GetWindowTextW(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

}  // namespace dialogs::win32
