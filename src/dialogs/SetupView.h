// What CDialogSetup, the options dialog, needs from the window that shows it,
// and the table of every control on its pages. The Windows view builds the
// modal dialog of template 103 with one child dialog per page; the Linux
// program builds a full-screen terminal dialog from the same table.
//
// Controls are named by page and id: ids repeat between pages (229 is the
// option set's name on one page and an edit of the hidden page), never
// within one. kSetupFrame names the dialog itself: its caption (id 0), its
// four buttons and the tab control.
//
// The view reports every user action to the dialog through its handlers
// (see CDialogSetup.h), after the control shows the new state, and nothing
// else; it keeps no option values of its own. User-interface thread only.
//   frame: OK 273 cmdOK_Click; Cancel 2 and the close box cmdCancel_Click;
//     Apply 201 cmdApply_Click; Reset 202 cmdReset_Click; tab Tab_Change
//   option sets: list 205 lstOptionList_Click; 257..260 cmdOptionsOp_Click(0..3)
//   basic: radios 222, 223 optOutputDest_Click
//   details: check boxes 267, 268 chkColors_Click(0, 1); buttons 271, 207
//     cmdColor_Click(0, 1); 293 cmdBrowseGlossary_Click
//   engines: a row's check box in 276 lvwEngines_ItemCheck(row);
//     206 cmdRefreshEngineList_Click; 278 cmdAddServer_Click;
//     279 cmdRemoveServer_Click
//   any other check box, radio, drop-down list or edit: Control_Changed
// A user's click on a radio checks it and clears the others of its group
// (as automatic radio buttons do) before it is reported.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace dialogs {

class CDialogSetup;

// The pages in tab order. Hidden is the "&debug" page of internal switches,
// shown only when hidden options are on.
enum class SetupPage : int { Hidden = 0, OptionSets = 1, Basic = 2, Details = 3, Fonts = 4, Engines = 5 };
inline constexpr int kSetupPageCount = 6;
inline constexpr int kSetupFrame = -1;

enum class ControlKind { Caption, Button, Label, Group, Edit, ReadOnlyEdit, ListBox, DropDown, Radio, CheckBox, Swatch, ListView, Tab };

struct SetupControl {
  int page;                // a SetupPage or kSetupFrame
  int id;
  ControlKind kind;
  int textId;              // language resource of its text; 0 when it has none
  const wchar_t* name;     // the hidden page's own texts (never translated); null elsewhere
  bool hidden;             // exists, is never shown
};

// Control ids the dialog's logic refers to.
namespace setup_ids {
// frame
inline constexpr int kCaption = 0;
inline constexpr int kOK = 273;
inline constexpr int kCancel = 2;
inline constexpr int kApply = 201;
inline constexpr int kReset = 202;
inline constexpr int kTab = 203;
// option sets page
inline constexpr int kCurrentName = 229;
inline constexpr int kOptionList = 205;
inline constexpr int kAdd = 257;
inline constexpr int kRemove = 258;
inline constexpr int kImport = 259;
inline constexpr int kExport = 260;
// basic page
inline constexpr int kOutputGroup = 253;
inline constexpr int kOutputOriginal = 222;
inline constexpr int kOutputNewWindow = 223;
inline constexpr int kAlignGroup = 256;
inline constexpr int kAlignSideBySide = 261;
inline constexpr int kAlignAbove = 262;
inline constexpr int kAlignNone = 226;
inline constexpr int kDualPrint = 264;
inline constexpr int kKeepStyle = 263;
// details page
inline constexpr int kExpandShape = 266;
inline constexpr int kChangeOrigColor = 267;
inline constexpr int kChooseOrigColor = 271;
inline constexpr int kOrigSwatch = 287;
inline constexpr int kChangeTranColor = 268;
inline constexpr int kChooseTranColor = 207;
inline constexpr int kTranSwatch = 288;
inline constexpr int kGlossaryLabel = 291;
inline constexpr int kGlossary = 292;
inline constexpr int kBrowseGlossary = 293;
inline constexpr int kAlsoTranslateGroup = 294;
inline constexpr int kTranslatesCharts = 295;
inline constexpr int kTranslatesAltText = 296;
inline constexpr int kTranslatesLinkTips = 297;
inline constexpr int kTranslatesMasters = 298;
// fonts page: the lists in the order of the seven font fields
inline constexpr int kFontLists[7] = {207, 208, 210, 211, 212, 213, 214};
// engines page
inline constexpr int kEngineList = 276;
inline constexpr int kRefreshEngines = 206;
inline constexpr int kServersLabel = 280;
inline constexpr int kServerList = 277;
inline constexpr int kAddServer = 278;
inline constexpr int kRemoveServer = 279;
// hidden page: check boxes and edits
inline constexpr int kDisplaysProgressBar = 221;
inline constexpr int kDisplaysAlert = 222;
inline constexpr int kDisplaysDocument = 223;
inline constexpr int kEngineGroup = 229;
inline constexpr int kEngineID = 230;
inline constexpr int kOwnerHWnd = 231;
inline constexpr int kRefreshManual = 224;
inline constexpr int kRefreshAlways = 246;
inline constexpr int kEnumFlag = 232;
inline constexpr int kDispLang = 233;
inline constexpr int kEnumProductFilter = 234;
}  // namespace setup_ids

// The hidden page's labels of edits carry the edit's id plus this.
inline constexpr int kHiddenLabelOffset = 1000;

// clang-format off
inline constexpr SetupControl kSetupControls[] = {
    {kSetupFrame, 0, ControlKind::Caption, 8101, nullptr, false},
    {kSetupFrame, 273, ControlKind::Button, 6001, nullptr, false},
    {kSetupFrame, 2, ControlKind::Button, 6003, nullptr, false},
    {kSetupFrame, 201, ControlKind::Button, 6004, nullptr, false},
    {kSetupFrame, 202, ControlKind::Button, 6005, nullptr, false},
    {kSetupFrame, 203, ControlKind::Tab, 0, nullptr, false},

    {1, 251, ControlKind::Label, 8151, nullptr, false},
    {1, 229, ControlKind::ReadOnlyEdit, 0, nullptr, false},
    {1, 252, ControlKind::Label, 8152, nullptr, false},
    {1, 205, ControlKind::ListBox, 0, nullptr, false},
    {1, 257, ControlKind::Button, 6007, nullptr, false},
    {1, 258, ControlKind::Button, 6008, nullptr, false},
    {1, 259, ControlKind::Button, 6009, nullptr, false},
    {1, 260, ControlKind::Button, 6010, nullptr, false},

    {2, 253, ControlKind::Group, 8201, nullptr, false},
    {2, 222, ControlKind::Radio, 8202, nullptr, false},
    {2, 223, ControlKind::Radio, 8203, nullptr, false},
    {2, 256, ControlKind::Group, 8204, nullptr, false},
    {2, 261, ControlKind::Radio, 8205, nullptr, false},
    {2, 262, ControlKind::Radio, 8206, nullptr, false},
    {2, 226, ControlKind::Radio, 8207, nullptr, false},
    {2, 254, ControlKind::Group, 8208, nullptr, false},
    {2, 264, ControlKind::CheckBox, 8209, nullptr, false},
    {2, 263, ControlKind::CheckBox, 8210, nullptr, false},
    {2, 255, ControlKind::Group, 8211, nullptr, true},
    {2, 228, ControlKind::Radio, 8212, nullptr, true},
    {2, 229, ControlKind::Radio, 8213, nullptr, true},

    {3, 265, ControlKind::Group, 8251, nullptr, false},
    {3, 266, ControlKind::CheckBox, 8252, nullptr, false},
    {3, 267, ControlKind::CheckBox, 8253, nullptr, false},
    {3, 271, ControlKind::Button, 6006, nullptr, false},
    {3, 287, ControlKind::Swatch, 0, nullptr, false},
    {3, 268, ControlKind::CheckBox, 8254, nullptr, false},
    {3, 207, ControlKind::Button, 6006, nullptr, false},
    {3, 288, ControlKind::Swatch, 0, nullptr, false},
    {3, 224, ControlKind::CheckBox, 8255, nullptr, true},
    {3, 225, ControlKind::CheckBox, 8256, nullptr, true},
    {3, 208, ControlKind::Button, 6006, nullptr, true},
    {3, 209, ControlKind::Button, 6006, nullptr, true},
    {3, 289, ControlKind::Swatch, 0, nullptr, true},
    {3, 290, ControlKind::Swatch, 0, nullptr, true},
    {3, 269, ControlKind::CheckBox, 8257, nullptr, true},
    {3, 270, ControlKind::CheckBox, 8258, nullptr, true},
    {3, 294, ControlKind::Group, 8260, nullptr, false},
    {3, 295, ControlKind::CheckBox, 8261, nullptr, false},
    {3, 296, ControlKind::CheckBox, 8262, nullptr, false},
    {3, 297, ControlKind::CheckBox, 8263, nullptr, false},
    {3, 298, ControlKind::CheckBox, 8264, nullptr, false},
    {3, 291, ControlKind::Label, 8259, nullptr, false},
    {3, 292, ControlKind::Edit, 0, nullptr, false},
    {3, 293, ControlKind::Button, 6011, nullptr, false},

    {4, 209, ControlKind::Label, 8302, nullptr, false},
    {4, 207, ControlKind::DropDown, 0, nullptr, false},
    {4, 215, ControlKind::Label, 8303, nullptr, false},
    {4, 208, ControlKind::DropDown, 0, nullptr, false},
    {4, 216, ControlKind::Label, 8304, nullptr, false},
    {4, 210, ControlKind::DropDown, 0, nullptr, false},
    {4, 217, ControlKind::Label, 8305, nullptr, false},
    {4, 211, ControlKind::DropDown, 0, nullptr, false},
    {4, 218, ControlKind::Label, 8306, nullptr, false},
    {4, 212, ControlKind::DropDown, 0, nullptr, false},
    {4, 219, ControlKind::Label, 8307, nullptr, false},
    {4, 213, ControlKind::DropDown, 0, nullptr, false},
    {4, 220, ControlKind::Label, 8308, nullptr, false},
    {4, 214, ControlKind::DropDown, 0, nullptr, false},

    {5, 265, ControlKind::Label, 8351, nullptr, false},
    {5, 276, ControlKind::ListView, 0, nullptr, false},
    {5, 206, ControlKind::Button, 8357, nullptr, false},
    {5, 280, ControlKind::Label, 8358, nullptr, false},
    {5, 277, ControlKind::ListView, 0, nullptr, false},
    {5, 278, ControlKind::Button, 8362, nullptr, false},
    {5, 279, ControlKind::Button, 8363, nullptr, false},

    {0, 257, ControlKind::Group, 0, L"Application", false},
    {0, 221, ControlKind::CheckBox, 0, L"DisplaysProgressBar", false},
    {0, 222, ControlKind::CheckBox, 0, L"DisplaysAlert", false},
    {0, 223, ControlKind::CheckBox, 0, L"DisplaysDocument", false},
    {0, 1229, ControlKind::Label, 0, L"EngineGroup :", false},
    {0, 229, ControlKind::Edit, 0, nullptr, false},
    {0, 1230, ControlKind::Label, 0, L"EngineID :", false},
    {0, 230, ControlKind::Edit, 0, nullptr, false},
    {0, 1231, ControlKind::Label, 0, L"OwnerHWnd :", false},
    {0, 231, ControlKind::Edit, 0, nullptr, false},
    {0, 258, ControlKind::Group, 0, L"EngineCaches", false},
    {0, 224, ControlKind::Radio, 0, L"RefreshManual", false},
    {0, 246, ControlKind::Radio, 0, L"RefreshAlways", false},
    {0, 1232, ControlKind::Label, 0, L"EnumFlag : ", false},
    {0, 232, ControlKind::Edit, 0, nullptr, false},
    {0, 1233, ControlKind::Label, 0, L"DispLang : ", false},
    {0, 233, ControlKind::Edit, 0, nullptr, false},
    {0, 1234, ControlKind::Label, 0, L"EnumProductFilter : ", false},
    {0, 234, ControlKind::Edit, 0, nullptr, false},
    {0, 259, ControlKind::Group, 0, L"Translation Option", false},
    {0, 226, ControlKind::CheckBox, 0, L"IgnoresMainText", false},
    {0, 227, ControlKind::CheckBox, 0, L"IgnoresFootNote", false},
    {0, 228, ControlKind::CheckBox, 0, L"IgnoresEndNote", false},
    {0, 235, ControlKind::CheckBox, 0, L"IgnoresComment", false},
    {0, 236, ControlKind::CheckBox, 0, L"IgnoresHeader", false},
    {0, 237, ControlKind::CheckBox, 0, L"IgnoresFooter", false},
    {0, 238, ControlKind::CheckBox, 0, L"IgnoresShape", false},
    {0, 239, ControlKind::CheckBox, 0, L"IgnoresWordArt", false},
    {0, 240, ControlKind::CheckBox, 0, L"UsesPreMacro222", false},
    {0, 241, ControlKind::CheckBox, 0, L"UsesPostMacro", false},
    {0, 242, ControlKind::CheckBox, 0, L"NotLockField", false},
    {0, 243, ControlKind::CheckBox, 0, L"NotUpdateField", false},
    {0, 244, ControlKind::CheckBox, 0, L"NotClearUndo", false},
    {0, 1245, ControlKind::Label, 0, L"DualPrintDest : ", false},
    {0, 245, ControlKind::Edit, 0, nullptr, false},
    {0, 1250, ControlKind::Label, 0, L"DualPrintLevel : ", false},
    {0, 250, ControlKind::Edit, 0, nullptr, false},
    {0, 1251, ControlKind::Label, 0, L"DualPrintTranPrefix : ", false},
    {0, 251, ControlKind::Edit, 0, nullptr, false},
    {0, 1252, ControlKind::Label, 0, L"DualPrintTranSuffix : ", false},
    {0, 252, ControlKind::Edit, 0, nullptr, false},
    {0, 1253, ControlKind::Label, 0, L"EditType : ", false},
    {0, 253, ControlKind::Edit, 0, nullptr, false},
    {0, 1254, ControlKind::Label, 0, L"PreMacroName : ", false},
    {0, 254, ControlKind::Edit, 0, nullptr, false},
    {0, 1255, ControlKind::Label, 0, L"PostMacroName : ", false},
    {0, 255, ControlKind::Edit, 0, nullptr, false},
    {0, 1256, ControlKind::Label, 0, L"TimeOutMSec: ", false},
    {0, 256, ControlKind::Edit, 0, nullptr, false},
};
// clang-format on

// Tab texts: the "&debug" tab has no resource.
inline constexpr const wchar_t* kDebugTabText = L"&debug";
inline constexpr int kSetupTabTextIds[kSetupPageCount] = {0, 8102, 8103, 8104, 8105, 8106};
// Templates of the dialog and its pages (Windows resources).
inline constexpr int kSetupTemplate = 103;
inline constexpr int kSetupPageTemplates[kSetupPageCount] = {102, 104, 114, 105, 113, 107};

// The engine list view's columns.
enum class ColumnAlign { Left, Centre };
struct EngineColumn {
  int textId;
  int width;  // dialog pixels
  ColumnAlign align;
};
inline constexpr EngineColumn kEngineColumns[5] = {{8352, 165, ColumnAlign::Left},
                                                   {8353, 147, ColumnAlign::Left},
                                                   {8354, 60, ColumnAlign::Centre},
                                                   {8355, 60, ColumnAlign::Centre},
                                                   {8356, 90, ColumnAlign::Centre}};
// The server list's columns: name, URL, API (never the key).
inline constexpr EngineColumn kServerColumns[3] = {{8359, 90, ColumnAlign::Left},
                                                   {8360, 170, ColumnAlign::Left},
                                                   {8361, 56, ColumnAlign::Left}};
// List view extended styles: check boxes, full-row select, grid lines, column drag.
inline constexpr std::uint32_t kEngineListStyles = 0x35;

struct EngineRow {
  std::vector<std::wstring> cells;  // one per column
  bool checked = false;
};

class SetupView {
 public:
  virtual ~SetupView() = default;

  // Makes the dialog, hidden, with all six pages and every control of
  // kSetupControls (texts still placeholders), reporting to `dialog`. False
  // when it cannot be made; the dialog then does not open.
  virtual bool Create(CDialogSetup& dialog) = 0;
  // Shows the dialog and handles the user's actions until Close; returns the
  // code given to Close. Nothing is reported to the dialog after it returns.
  virtual int RunModal() = 0;
  virtual void Close(int code) = 0;

  // The tabs shown, in order, with their texts; the pages not listed stay
  // hidden. ShowPage selects the page's tab, shows it and hides the others.
  virtual void SetTabs(const std::vector<SetupPage>& pages, const std::vector<std::wstring>& texts) = 0;
  virtual void ShowPage(SetupPage page) = 0;

  // The font of every text of the dialog (the language resources' font).
  virtual void SetFontName(const std::wstring& fontName) = 0;

  // Captions, labels, buttons and edits; page kSetupFrame id 0 is the
  // dialog's caption.
  virtual void SetText(int page, int id, const std::wstring& text) = 0;
  virtual std::wstring GetText(int page, int id) = 0;
  // Check boxes and radios: 0 unchecked, 1 checked, 2 indeterminate.
  // Setting a radio does not clear the others of its group; the dialog does.
  virtual void SetCheck(int page, int id, int state) = 0;
  virtual int GetCheck(int page, int id) = 0;
  virtual void SetEnabled(int page, int id, bool enabled) = 0;
  virtual bool IsEnabled(int page, int id) = 0;
  virtual void SetVisible(int page, int id, bool visible) = 0;

  // List boxes and drop-down lists. Selecting from code reports nothing.
  virtual void SetItems(int page, int id, const std::vector<std::wstring>& items) = 0;
  virtual void SelectItem(int page, int id, int index) = 0;  // -1: none
  virtual int SelectedItem(int page, int id) = 0;            // -1: none

  // Colour swatches show a colour value (0x00BBGGRR).
  virtual void SetSwatchColor(int page, int id, std::int32_t color) = 0;
  // The system colour chooser over the dialog, fully open, starting from
  // *color with the 16 custom colours (which it updates as the user edits
  // them). True with *color set when the user chose; false on cancel.
  virtual bool ChooseColor(std::int32_t* color, std::array<std::int32_t, 16>* customColors) = 0;
  // The system's chooser of a file to open, over the dialog, starting at
  // *path. True with *path set when the user chose a file; false on cancel.
  virtual bool ChooseFile(std::wstring* path) = 0;

  // The engine list view (page Engines, id 276). Columns are set once; rows
  // replace the list. Checking from code may be reported back through
  // lvwEngines_ItemCheck; the dialog ignores what it causes itself.
  virtual void SetEngineColumns(const std::vector<std::wstring>& headers) = 0;
  virtual void SetEngineRows(const std::vector<EngineRow>& rows) = 0;
  virtual bool IsRowChecked(int row) = 0;
  virtual void SetRowChecked(int row, bool checked) = 0;
  virtual bool IsRowSelected(int row) = 0;

  // The server list (page Engines, id 277): one row of cells per server,
  // without check boxes. Columns are set once; rows replace the list.
  virtual void SetServerColumns(const std::vector<std::wstring>& headers) = 0;
  virtual void SetServerRows(const std::vector<std::vector<std::wstring>>& rows) = 0;
  virtual int SelectedServer() = 0;  // -1: none

  // The native window that owns the dialog's prompts (0: none, for views
  // without a window of the platform's).
  virtual std::uintptr_t NativeWindow() const { return 0; }
};

}  // namespace dialogs
