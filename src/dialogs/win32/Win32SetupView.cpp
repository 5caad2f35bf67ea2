#include "src/dialogs/win32/Win32SetupView.h"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
// The view's method shares the chooser's name; keep the system's macro off it.
#undef ChooseColor

#include "src/dialogs/CDialogSetup.h"
#include "src/options/TranslationOption.h"

namespace dialogs::win32 {
namespace {

struct Quiet {
  explicit Quiet(int& depth) : mDepth(depth) { ++mDepth; }
  ~Quiet() { --mDepth; }
  int& mDepth;
};

// Room a header item needs beside its text: margins and the sort mark's gap.
constexpr int kHeaderPadding = 16;

bool HasClass(HWND window, const wchar_t* name) {
  wchar_t cls[64] = {};
  ::GetClassNameW(window, cls, 64);
  return ::lstrcmpiW(cls, name) == 0;
}

// One row of a list view's texts; the first inserts the row.
void SetRowTexts(HWND list, size_t row, const std::vector<std::wstring>& cells) {
  for (size_t c = 0; c < cells.size(); ++c) {
    std::wstring text = cells[c];
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(row);
    item.iSubItem = static_cast<int>(c);
    item.pszText = text.data();
    ::SendMessageW(list, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  }
}

// A column narrower than its longest text widens to show it whole; the
// list scrolls sideways rather than cut an engine's name or a server's URL.
void WidenColumnsToTexts(HWND list) {
  const int columns = Header_GetItemCount(ListView_GetHeader(list));
  for (int c = 0; c < columns; ++c) {
    const int set = ListView_GetColumnWidth(list, c);
    ListView_SetColumnWidth(list, c, LVSCW_AUTOSIZE);
    if (ListView_GetColumnWidth(list, c) < set) ListView_SetColumnWidth(list, c, set);
  }
}

}  // namespace

Win32SetupView::~Win32SetupView() {
  mDialog = nullptr;
  if (mFrame) ::DestroyWindow(mFrame);
  for (auto& swatch : mSwatches) ::DeleteObject(swatch.second);
  for (HFONT font : mListFonts) {
    if (font) ::DeleteObject(font);
  }
}

bool Win32SetupView::Create(CDialogSetup& dialog) {
  mDialog = &dialog;
  mFrame = ::CreateDialogParamW(TemplateModule(kSetupTemplate), MAKEINTRESOURCEW(kSetupTemplate), ::GetActiveWindow(),
                                FrameProc, reinterpret_cast<LPARAM>(this));
  if (!mFrame) return false;
  // The pages sit in the tab control's client area, 4 and 24 dialog units in.
  HWND tab = ::GetDlgItem(mFrame, setup_ids::kTab);
  RECT tabRect;
  ::GetWindowRect(tab, &tabRect);
  ::MapWindowPoints(nullptr, mFrame, reinterpret_cast<POINT*>(&tabRect), 2);
  RECT offset{4, 24, 0, 0};
  ::MapDialogRect(mFrame, &offset);
  for (int page = 0; page < kSetupPageCount; ++page) {
    int id = kSetupPageTemplates[page];
    mPages[page] = ::CreateDialogParamW(TemplateModule(id), MAKEINTRESOURCEW(id), mFrame, PageProc,
                                        reinterpret_cast<LPARAM>(this));
    if (!mPages[page]) return false;
    ::SetWindowPos(mPages[page], tab, tabRect.left + offset.left, tabRect.top + offset.top, 0, 0,
                   SWP_NOSIZE | SWP_NOACTIVATE);
  }
  SetListFonts();
  return true;
}

int Win32SetupView::RunModal() {
  if (!mFrame) return 0;
  mDone = false;
  CentreWindow(mFrame, ::GetWindow(mFrame, GW_OWNER));
  RunModalLoop(mFrame, &mDone);
  mDialog = nullptr;
  return mCode;
}

void Win32SetupView::Close(int code) {
  mCode = code;
  mDone = true;
}

void Win32SetupView::SetTabs(const std::vector<SetupPage>& pages, const std::vector<std::wstring>& texts) {
  Quiet quiet(mQuiet);
  HWND tab = ::GetDlgItem(mFrame, setup_ids::kTab);
  TabCtrl_DeleteAllItems(tab);
  mTabPages = pages;
  for (size_t i = 0; i < pages.size(); ++i) {
    std::wstring text = i < texts.size() ? texts[i] : std::wstring();
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    ::SendMessageW(tab, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
}

void Win32SetupView::ShowPage(SetupPage page) {
  Quiet quiet(mQuiet);
  for (size_t i = 0; i < mTabPages.size(); ++i) {
    if (mTabPages[i] == page) TabCtrl_SetCurSel(::GetDlgItem(mFrame, setup_ids::kTab), static_cast<int>(i));
  }
  for (int p = 0; p < kSetupPageCount; ++p) {
    ::ShowWindow(mPages[p], p == static_cast<int>(page) ? SW_SHOW : SW_HIDE);
  }
}

void Win32SetupView::SetFontName(const std::wstring& fontName) {
  mFont.Apply(mFrame, fontName);
  SetListFonts();
}

// A list of one character set's fonts shows their names in that set's own
// script (a Japanese font's name in Japanese), which the dialog's font of
// another language may not draw: each list gets the dialog's font asked
// for in its set, which the system answers with a font that has the set.
void Win32SetupView::SetListFonts() {
  for (size_t i = 0; i < mListFonts.size(); ++i) {
    HWND list = Control(static_cast<int>(SetupPage::Fonts), setup_ids::kFontLists[i]);
    if (!list) continue;
    HFONT& own = mListFonts[i];
    HFONT shown = reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0));
    // The list already has its own, unless the dialog's font was set since.
    if (own && shown == own) continue;
    LOGFONTW wanted{};
    if (!shown || !::GetObjectW(shown, sizeof wanted, &wanted)) continue;
    wanted.lfCharSet = static_cast<BYTE>(options::kFontCharsets[i]);
    HFONT font = ::CreateFontIndirectW(&wanted);
    if (!font) continue;
    ::SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (own) ::DeleteObject(own);
    own = font;
  }
}

HWND Win32SetupView::Control(int page, int id) const {
  if (page == kSetupFrame) return id == setup_ids::kCaption ? mFrame : ::GetDlgItem(mFrame, id);
  if (page < 0 || page >= kSetupPageCount) return nullptr;
  return ::GetDlgItem(mPages[page], id);
}

HWND Win32SetupView::EngineList() const { return Control(static_cast<int>(SetupPage::Engines), setup_ids::kEngineList); }

int Win32SetupView::PageOf(HWND window) const {
  for (int p = 0; p < kSetupPageCount; ++p) {
    if (mPages[p] == window) return p;
  }
  return -1;
}

void Win32SetupView::SetText(int page, int id, const std::wstring& text) {
  Quiet quiet(mQuiet);
  if (HWND control = Control(page, id)) ::SetWindowTextW(control, text.c_str());
}

std::wstring Win32SetupView::GetText(int page, int id) {
  HWND control = Control(page, id);
  return control ? WindowText(control) : std::wstring();
}

void Win32SetupView::SetCheck(int page, int id, int state) {
  Quiet quiet(mQuiet);
  if (HWND control = Control(page, id)) Button_SetCheck(control, state);
}

int Win32SetupView::GetCheck(int page, int id) {
  HWND control = Control(page, id);
  return control ? static_cast<int>(Button_GetCheck(control)) : 0;
}

void Win32SetupView::SetEnabled(int page, int id, bool enabled) {
  if (HWND control = Control(page, id)) ::EnableWindow(control, enabled);
}

bool Win32SetupView::IsEnabled(int page, int id) {
  HWND control = Control(page, id);
  return control && ::IsWindowEnabled(control);
}

void Win32SetupView::SetVisible(int page, int id, bool visible) {
  if (HWND control = Control(page, id)) ::ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

void Win32SetupView::SetItems(int page, int id, const std::vector<std::wstring>& items) {
  Quiet quiet(mQuiet);
  HWND control = Control(page, id);
  if (!control) return;
  bool list = HasClass(control, L"ListBox");
  ::SendMessageW(control, list ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
  for (const std::wstring& item : items) {
    ::SendMessageW(control, list ? LB_ADDSTRING : CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  }
}

void Win32SetupView::SelectItem(int page, int id, int index) {
  Quiet quiet(mQuiet);
  HWND control = Control(page, id);
  if (!control) return;
  ::SendMessageW(control, HasClass(control, L"ListBox") ? LB_SETCURSEL : CB_SETCURSEL, index, 0);
}

int Win32SetupView::SelectedItem(int page, int id) {
  HWND control = Control(page, id);
  if (!control) return -1;
  LRESULT index = ::SendMessageW(control, HasClass(control, L"ListBox") ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
  return index < 0 ? -1 : static_cast<int>(index);
}

void Win32SetupView::SetSwatchColor(int page, int id, std::int32_t color) {
  HBRUSH& brush = mSwatches[{page, id}];
  if (brush) ::DeleteObject(brush);
  brush = ::CreateSolidBrush(static_cast<COLORREF>(color) & 0xFFFFFF);
  if (HWND control = Control(page, id)) ::InvalidateRect(control, nullptr, TRUE);
}

bool Win32SetupView::ChooseColor(std::int32_t* color, std::array<std::int32_t, 16>* customColors) {
  COLORREF custom[16];
  for (int i = 0; i < 16; ++i) custom[i] = static_cast<COLORREF>((*customColors)[i]);
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = mFrame;
  choose.rgbResult = static_cast<COLORREF>(*color) & 0xFFFFFF;
  choose.lpCustColors = custom;
  choose.Flags = CC_FULLOPEN | CC_RGBINIT;
  bool chosen = ::ChooseColorW(&choose) != FALSE;
  // The chooser keeps custom colours edited before a cancel too.
  for (int i = 0; i < 16; ++i) (*customColors)[i] = static_cast<std::int32_t>(custom[i]);
  if (chosen) *color = static_cast<std::int32_t>(choose.rgbResult);
  return chosen;
}

bool Win32SetupView::ChooseFile(std::wstring* path) {
  wchar_t buffer[32768] = {};
  path->copy(buffer, std::min(path->size(), std::size(buffer) - 1));
  OPENFILENAMEW open{};
  open.lStructSize = sizeof(open);
  open.hwndOwner = mFrame;
  open.lpstrFilter = L"*.txt;*.tsv\0*.txt;*.tsv\0*.*\0*.*\0";
  open.lpstrFile = buffer;
  open.nMaxFile = static_cast<DWORD>(std::size(buffer));
  open.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!::GetOpenFileNameW(&open)) return false;
  *path = buffer;
  return true;
}

void Win32SetupView::SetEngineColumns(const std::vector<std::wstring>& headers) {
  HWND list = EngineList();
  if (!list) return;
  ListView_SetExtendedListViewStyle(list, kEngineListStyles);
  size_t count = std::min(headers.size(), std::size(kEngineColumns));
  // The table's widths are kept where the header fits; a longer header (the
  // Japanese ones, in the dialog font) widens its column instead of being
  // cut, and the columns with room to spare give it back so that the list
  // still shows every column without scrolling.
  std::vector<int> widths(count), fits(count);
  int total = 0;
  for (size_t i = 0; i < count; ++i) {
    fits[i] = ListView_GetStringWidth(list, headers[i].c_str()) + kHeaderPadding;
    widths[i] = std::max(kEngineColumns[i].width, fits[i]);
    total += widths[i];
  }
  RECT client;
  ::GetClientRect(list, &client);
  int excess = total - (client.right - ::GetSystemMetrics(SM_CXVSCROLL));
  for (size_t i = 0; i < count && excess > 0; ++i) {
    int spare = widths[i] - fits[i];
    int give = std::min(spare, excess);
    widths[i] -= give;
    excess -= give;
  }
  for (size_t i = 0; i < count; ++i) {
    std::wstring text = headers[i];
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = kEngineColumns[i].align == ColumnAlign::Centre ? LVCFMT_CENTER : LVCFMT_LEFT;
    column.cx = widths[i];
    column.pszText = text.data();
    ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

void Win32SetupView::SetEngineRows(const std::vector<EngineRow>& rows) {
  Quiet quiet(mQuiet);
  HWND list = EngineList();
  if (!list) return;
  ListView_DeleteAllItems(list);
  for (size_t r = 0; r < rows.size(); ++r) {
    SetRowTexts(list, r, rows[r].cells);
    ListView_SetCheckState(list, static_cast<int>(r), rows[r].checked);
  }
  if (!rows.empty()) WidenColumnsToTexts(list);
}

bool Win32SetupView::IsRowChecked(int row) {
  HWND list = EngineList();
  return list && ListView_GetCheckState(list, row);
}

void Win32SetupView::SetRowChecked(int row, bool checked) {
  Quiet quiet(mQuiet);
  if (HWND list = EngineList()) ListView_SetCheckState(list, row, checked);
}

bool Win32SetupView::IsRowSelected(int row) {
  HWND list = EngineList();
  return list && (ListView_GetItemState(list, row, LVIS_SELECTED) & LVIS_SELECTED);
}

void Win32SetupView::SetServerColumns(const std::vector<std::wstring>& headers) {
  HWND list = Control(static_cast<int>(SetupPage::Engines), setup_ids::kServerList);
  if (!list) return;
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  for (size_t i = 0; i < std::min(headers.size(), std::size(kServerColumns)); ++i) {
    std::wstring text = headers[i];
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = std::max(kServerColumns[i].width, ListView_GetStringWidth(list, text.c_str()) + kHeaderPadding);
    column.pszText = text.data();
    ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
}

void Win32SetupView::SetServerRows(const std::vector<std::vector<std::wstring>>& rows) {
  HWND list = Control(static_cast<int>(SetupPage::Engines), setup_ids::kServerList);
  if (!list) return;
  ListView_DeleteAllItems(list);
  for (size_t r = 0; r < rows.size(); ++r) SetRowTexts(list, r, rows[r]);
  if (!rows.empty()) WidenColumnsToTexts(list);
}

int Win32SetupView::SelectedServer() {
  HWND list = Control(static_cast<int>(SetupPage::Engines), setup_ids::kServerList);
  return list ? ListView_GetNextItem(list, -1, LVNI_SELECTED) : -1;
}

INT_PTR CALLBACK Win32SetupView::FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) ::SetWindowLongPtrW(window, DWLP_USER, lParam);
  auto* self = reinterpret_cast<Win32SetupView*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_INITDIALOG) self->mFrame = window;
  return self->OnFrame(message, wParam, lParam);
}

INT_PTR CALLBACK Win32SetupView::PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    return FALSE;
  }
  auto* self = reinterpret_cast<Win32SetupView*>(::GetWindowLongPtrW(window, DWLP_USER));
  if (!self) return FALSE;
  return self->OnPage(self->PageOf(window), window, message, wParam, lParam);
}

INT_PTR Win32SetupView::OnFrame(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!mDialog) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      return FALSE;
    case WM_CLOSE:
      mDialog->cmdCancel_Click();
      return TRUE;
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      switch (LOWORD(wParam)) {
        case setup_ids::kOK: mDialog->cmdOK_Click(); return TRUE;
        case setup_ids::kCancel: mDialog->cmdCancel_Click(); return TRUE;
        case setup_ids::kApply: mDialog->cmdApply_Click(); return TRUE;
        case setup_ids::kReset: mDialog->cmdReset_Click(); return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->idFrom == static_cast<UINT_PTR>(setup_ids::kTab) && header->code == TCN_SELCHANGE && !mQuiet) {
        mDialog->Tab_Change(TabCtrl_GetCurSel(header->hwndFrom));
      }
      return FALSE;
    }
  }
  return FALSE;
}

INT_PTR Win32SetupView::OnPage(int page, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (page < 0) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (mDialog && !mQuiet) OnPageCommand(page, LOWORD(wParam), HIWORD(wParam));
      return FALSE;
    case WM_CTLCOLORSTATIC: {
      auto found = mSwatches.find({page, ::GetDlgCtrlID(reinterpret_cast<HWND>(lParam))});
      if (found == mSwatches.end() || !found->second) return FALSE;
      return reinterpret_cast<INT_PTR>(found->second);
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (!mDialog || mQuiet || header->idFrom != static_cast<UINT_PTR>(setup_ids::kEngineList) ||
          header->code != LVN_ITEMCHANGED) {
        return FALSE;
      }
      auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
      // A row's check box is its state image; image 0 means a row still
      // being inserted, not a user's tick.
      if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) &&
          (change->uOldState & LVIS_STATEIMAGEMASK) && change->iItem >= 0) {
        mDialog->lvwEngines_ItemCheck(change->iItem);
      }
      return FALSE;
    }
  }
  (void)window;
  return FALSE;
}

void Win32SetupView::OnPageCommand(int page, int id, int code) {
  using namespace setup_ids;
  switch (static_cast<SetupPage>(page)) {
    case SetupPage::OptionSets:
      if (id == kOptionList && code == LBN_SELCHANGE) mDialog->lstOptionList_Click();
      if (id >= kAdd && id <= kExport && code == BN_CLICKED) mDialog->cmdOptionsOp_Click(id - kAdd);
      return;
    case SetupPage::Basic:
      if (code != BN_CLICKED) return;
      if (id == kOutputOriginal || id == kOutputNewWindow) {
        mDialog->optOutputDest_Click();
      } else {
        mDialog->Control_Changed(page, id);
      }
      return;
    case SetupPage::Details:
      if (id == kGlossary && code == EN_CHANGE) mDialog->Control_Changed(page, id);
      if (code != BN_CLICKED) return;
      if (id == kBrowseGlossary) {
        mDialog->cmdBrowseGlossary_Click();
      } else if (id == kChangeOrigColor || id == kChangeTranColor) {
        mDialog->chkColors_Click(id == kChangeOrigColor ? 0 : 1);
      } else if (id == kChooseOrigColor || id == kChooseTranColor) {
        mDialog->cmdColor_Click(id == kChooseOrigColor ? 0 : 1);
      } else {
        mDialog->Control_Changed(page, id);
      }
      return;
    case SetupPage::Fonts:
      if (code == CBN_SELCHANGE) mDialog->Control_Changed(page, id);
      return;
    case SetupPage::Engines:
      if (code != BN_CLICKED) return;
      if (id == kRefreshEngines) mDialog->cmdRefreshEngineList_Click();
      if (id == kAddServer) mDialog->cmdAddServer_Click();
      if (id == kRemoveServer) mDialog->cmdRemoveServer_Click();
      return;
    case SetupPage::Hidden:
      if (code == BN_CLICKED || code == EN_CHANGE) mDialog->Control_Changed(page, id);
      return;
  }
}

}  // namespace dialogs::win32
