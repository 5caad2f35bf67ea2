// The dictionary lookup dialog on Windows: template 115, resizable, with a
// timer of its own window for the automatic search.
#pragma once

#include <windows.h>

#include "src/dialogs/LookupDictView.h"
#include "src/dialogs/win32/DialogWindow.h"

namespace dialogs::win32 {

class Win32LookupDictView : public LookupDictView {
 public:
  Win32LookupDictView() = default;
  ~Win32LookupDictView() override;

  bool Create(CDialogLookupDict& dialog) override;
  int RunModal() override;
  void Close(int code) override;
  void SetFontName(const std::wstring& fontName) override;
  void SetText(int id, const std::wstring& text) override;
  void SetDictionaries(const std::vector<std::wstring>& items) override;
  void SelectDictionary(int index) override;
  int SelectedDictionary() override;
  void SetWord(const std::wstring& word) override;
  void SetHistory(const std::vector<std::wstring>& words) override;
  std::wstring GetWord() override;
  void SetResult(const std::wstring& text) override;
  void Beep() override;
  void SetSearching(bool searching) override;
  void StartTimer(int ms) override;
  void StopTimer() override;

  HWND Window() const { return mWindow; }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Layout();

  CDialogLookupDict* mDialog = nullptr;
  HWND mWindow = nullptr;
  DialogFont mFont;
  // Margins of the template's layout, in pixels, kept when resized.
  int mMargin = 0;
  bool mDone = false;
  int mCode = 0;
};

}  // namespace dialogs::win32
