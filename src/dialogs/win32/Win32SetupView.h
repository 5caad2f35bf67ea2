// The options dialog on Windows: template 103 with one child dialog per page
// placed in the tab control, every user action reported to CDialogSetup.
#pragma once

#include <windows.h>

#include <array>
#include <iterator>
#include <map>
#include <vector>

#include "src/dialogs/SetupView.h"
#include "src/dialogs/win32/DialogWindow.h"

namespace dialogs::win32 {

class Win32SetupView : public SetupView {
 public:
  Win32SetupView() = default;
  ~Win32SetupView() override;

  bool Create(CDialogSetup& dialog) override;
  int RunModal() override;
  void Close(int code) override;
  void SetTabs(const std::vector<SetupPage>& pages, const std::vector<std::wstring>& texts) override;
  void ShowPage(SetupPage page) override;
  void SetFontName(const std::wstring& fontName) override;
  void SetText(int page, int id, const std::wstring& text) override;
  std::wstring GetText(int page, int id) override;
  void SetCheck(int page, int id, int state) override;
  int GetCheck(int page, int id) override;
  void SetEnabled(int page, int id, bool enabled) override;
  bool IsEnabled(int page, int id) override;
  void SetVisible(int page, int id, bool visible) override;
  void SetItems(int page, int id, const std::vector<std::wstring>& items) override;
  void SelectItem(int page, int id, int index) override;
  int SelectedItem(int page, int id) override;
  void SetSwatchColor(int page, int id, std::int32_t color) override;
  bool ChooseColor(std::int32_t* color, std::array<std::int32_t, 16>* customColors) override;
  bool ChooseFile(std::wstring* path) override;
  void SetEngineColumns(const std::vector<std::wstring>& headers) override;
  void SetEngineRows(const std::vector<EngineRow>& rows) override;
  bool IsRowChecked(int row) override;
  void SetRowChecked(int row, bool checked) override;
  bool IsRowSelected(int row) override;
  void SetServerColumns(const std::vector<std::wstring>& headers) override;
  void SetServerRows(const std::vector<std::vector<std::wstring>>& rows) override;
  int SelectedServer() override;
  std::uintptr_t NativeWindow() const override { return reinterpret_cast<std::uintptr_t>(mFrame); }

  // The dialog's window and a page's (tests drive them with messages).
  HWND Frame() const { return mFrame; }
  HWND Page(SetupPage page) const { return mPages[static_cast<int>(page)]; }

 private:
  static INT_PTR CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnFrame(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnPage(int page, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnPageCommand(int page, int id, int code);
  HWND Control(int page, int id) const;
  HWND EngineList() const;
  int PageOf(HWND window) const;
  void SetListFonts();

  CDialogSetup* mDialog = nullptr;
  HWND mFrame = nullptr;
  std::array<HWND, kSetupPageCount> mPages{};
  std::vector<SetupPage> mTabPages;
  DialogFont mFont;
  // The font lists' own fonts, by list (null: the dialog's font).
  std::array<HFONT, std::size(setup_ids::kFontLists)> mListFonts{};
  // Swatch colours and their brushes, by page and id.
  std::map<std::pair<int, int>, HBRUSH> mSwatches;
  // Set while the view itself changes controls, whose notifications are
  // then not the user's.
  int mQuiet = 0;
  bool mDone = false;
  int mCode = 0;
};

}  // namespace dialogs::win32
