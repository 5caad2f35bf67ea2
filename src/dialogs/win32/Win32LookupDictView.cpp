#include "src/dialogs/win32/Win32LookupDictView.h"

#include "src/dialogs/CDialogLookupDict.h"

namespace dialogs::win32 {
namespace {

constexpr UINT_PTR kSearchTimer = 1;

}  // namespace

Win32LookupDictView::~Win32LookupDictView() {
  mDialog = nullptr;
  if (mWindow) ::DestroyWindow(mWindow);
}

bool Win32LookupDictView::Create(CDialogLookupDict& dialog) {
  mDialog = &dialog;
  mWindow = ::CreateDialogParamW(TemplateModule(lookup_ids::kTemplate), MAKEINTRESOURCEW(lookup_ids::kTemplate),
                                 ::GetActiveWindow(), Proc, reinterpret_cast<LPARAM>(this));
  if (!mWindow) return false;
  RECT unit{7, 7, 0, 0};
  ::MapDialogRect(mWindow, &unit);
  mMargin = unit.left;
  return true;
}

int Win32LookupDictView::RunModal() {
  if (!mWindow) return 0;
  mDone = false;
  CentreWindow(mWindow, ::GetWindow(mWindow, GW_OWNER));
  Layout();
  RunModalLoop(mWindow, &mDone);
  StopTimer();
  mDialog = nullptr;
  return mCode;
}

void Win32LookupDictView::Close(int code) {
  mCode = code;
  mDone = true;
}

void Win32LookupDictView::SetFontName(const std::wstring& fontName) { mFont.Apply(mWindow, fontName); }

void Win32LookupDictView::SetText(int id, const std::wstring& text) {
  HWND control = id == lookup_ids::kCaption ? mWindow : ::GetDlgItem(mWindow, id);
  if (control) ::SetWindowTextW(control, text.c_str());
}

void Win32LookupDictView::SetDictionaries(const std::vector<std::wstring>& items) {
  HWND list = ::GetDlgItem(mWindow, lookup_ids::kDictionaryList);
  ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::wstring& item : items) ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void Win32LookupDictView::SelectDictionary(int index) {
  ::SendDlgItemMessageW(mWindow, lookup_ids::kDictionaryList, CB_SETCURSEL, index, 0);
}

int Win32LookupDictView::SelectedDictionary() {
  LRESULT index = ::SendDlgItemMessageW(mWindow, lookup_ids::kDictionaryList, CB_GETCURSEL, 0, 0);
  return index < 0 ? -1 : static_cast<int>(index);
}

void Win32LookupDictView::SetWord(const std::wstring& word) {
  ::SetDlgItemTextW(mWindow, lookup_ids::kWord, word.c_str());
}

void Win32LookupDictView::SetHistory(const std::vector<std::wstring>& words) {
  HWND box = ::GetDlgItem(mWindow, lookup_ids::kWord);
  // Resetting the list empties the edit part too; the word typed stays.
  std::wstring word = WindowText(box);
  ::SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::wstring& w : words) ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
  ::SetWindowTextW(box, word.c_str());
}

std::wstring Win32LookupDictView::GetWord() { return WindowText(::GetDlgItem(mWindow, lookup_ids::kWord)); }

void Win32LookupDictView::SetResult(const std::wstring& text) {
  ::SetDlgItemTextW(mWindow, lookup_ids::kResult, text.c_str());
}

void Win32LookupDictView::Beep() { ::MessageBeep(0); }

void Win32LookupDictView::SetSearching(bool searching) {
  HWND focus = ::GetFocus();
  for (int id : {lookup_ids::kSearch, lookup_ids::kWord, lookup_ids::kDictionaryList}) {
    HWND control = ::GetDlgItem(mWindow, id);
    // A control losing the focus as it goes off would leave the dialog
    // without one; the result box takes it meanwhile.
    if (searching && focus && (focus == control || ::IsChild(control, focus)))
      ::SetFocus(::GetDlgItem(mWindow, lookup_ids::kResult));
    ::EnableWindow(control, searching ? FALSE : TRUE);
  }
}

void Win32LookupDictView::StartTimer(int ms) {
  if (mWindow) ::SetTimer(mWindow, kSearchTimer, static_cast<UINT>(ms), nullptr);
}

void Win32LookupDictView::StopTimer() {
  if (mWindow) ::KillTimer(mWindow, kSearchTimer);
}

void Win32LookupDictView::Layout() {
  // The result box takes what the window grows by; the list, the word box
  // and the buttons keep to the right edge.
  RECT client;
  ::GetClientRect(mWindow, &client);
  auto rectOf = [this](int id) {
    RECT r;
    ::GetWindowRect(::GetDlgItem(mWindow, id), &r);
    ::MapWindowPoints(nullptr, mWindow, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  auto place = [this](int id, int x, int y, int w, int h) {
    ::SetWindowPos(::GetDlgItem(mWindow, id), nullptr, x, y, w < 1 ? 1 : w, h < 1 ? 1 : h,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  };
  int right = client.right - mMargin;
  RECT list = rectOf(lookup_ids::kDictionaryList);
  RECT search = rectOf(lookup_ids::kSearch);
  RECT word = rectOf(lookup_ids::kWord);
  RECT result = rectOf(lookup_ids::kResult);
  RECT close = rectOf(lookup_ids::kClose);
  int buttonWidth = search.right - search.left;
  int gap = search.left - word.right;
  place(lookup_ids::kDictionaryList, list.left, list.top, right - list.left, list.bottom - list.top);
  place(lookup_ids::kSearch, right - buttonWidth, search.top, buttonWidth, search.bottom - search.top);
  place(lookup_ids::kWord, word.left, word.top, right - buttonWidth - gap - word.left, word.bottom - word.top);
  int closeHeight = close.bottom - close.top;
  int closeTop = client.bottom - mMargin - closeHeight;
  place(lookup_ids::kClose, right - (close.right - close.left), closeTop, close.right - close.left, closeHeight);
  place(lookup_ids::kResult, result.left, result.top, right - result.left, closeTop - mMargin / 2 - result.top);
  ::InvalidateRect(mWindow, nullptr, TRUE);
}

INT_PTR CALLBACK Win32LookupDictView::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    return FALSE;
  }
  auto* self = reinterpret_cast<Win32LookupDictView*>(::GetWindowLongPtrW(window, DWLP_USER));
  return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR Win32LookupDictView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (mMargin) Layout();
      return FALSE;
    case WM_CTLCOLORSTATIC:
      // The read-only result box reads as a page, not as a disabled field.
      if (reinterpret_cast<HWND>(lParam) == ::GetDlgItem(mWindow, lookup_ids::kResult)) {
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW));
      }
      return FALSE;
    case WM_TIMER:
      if (wParam != kSearchTimer) return FALSE;
      StopTimer();
      if (mDialog) mDialog->Timer_Elapsed();
      return TRUE;
    case WM_CLOSE:
      if (mDialog) mDialog->cmdClose_Click();
      return TRUE;
    case WM_COMMAND:
      if (!mDialog) return FALSE;
      if (LOWORD(wParam) == lookup_ids::kSearch && HIWORD(wParam) == BN_CLICKED) {
        mDialog->cmdSearch_onclick();
        return TRUE;
      }
      if (LOWORD(wParam) == lookup_ids::kClose && HIWORD(wParam) == BN_CLICKED) {
        mDialog->cmdClose_Click();
        return TRUE;
      }
      if (LOWORD(wParam) == lookup_ids::kDictionaryList && HIWORD(wParam) == CBN_SELCHANGE) {
        mDialog->cboDictionary_Change();
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace dialogs::win32
