#include "src/dialogs/CDialogSetup.h"

#include <algorithm>

#include "resources/MessageIds.h"
#include "src/dialogs/SmallDialogs.h"
#include "src/platform/Fonts.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/platform/Types.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace dialogs {

namespace msg = resources::msg;

namespace {

namespace ids = setup_ids;
using options::TranslationOption;

constexpr int kFrame = kSetupFrame;
constexpr int kSets = static_cast<int>(SetupPage::OptionSets);
constexpr int kBasic = static_cast<int>(SetupPage::Basic);
constexpr int kDetails = static_cast<int>(SetupPage::Details);
constexpr int kFonts = static_cast<int>(SetupPage::Fonts);
constexpr int kHiddenPage = static_cast<int>(SetupPage::Hidden);

constexpr wchar_t kNewNamePrompt[] = L"New Option Name : ";
constexpr wchar_t kPathPrompt[] = L"Path : ";
constexpr wchar_t kServerNamePrompt[] = L"Server Name : ";
constexpr wchar_t kServerUrlPrompt[] = L"URL : ";
constexpr wchar_t kServerApiPrompt[] = L"API (apy or libretranslate; empty for apy) : ";
constexpr wchar_t kServerKeyPrompt[] = L"Key File (empty for none) : ";
constexpr int kEnginesPage = static_cast<int>(SetupPage::Engines);

// The engine list's mark for a flag that is set.
constexpr wchar_t kMark[] = L"\x25CB";
// Flag bits of the columns after the names: bridge engine, dictionary,
// keeps word style (the bits the engine servers set for these abilities).
constexpr std::int32_t kColumnFlags[3] = {0x2, 0x8, 0x4};

// The hidden page's check boxes on fields of the option set shown.
struct HiddenFlag {
  int id;
  std::int32_t (TranslationOption::*get)() const;
  void (TranslationOption::*set)(std::int32_t);
};
const HiddenFlag kHiddenFlags[] = {
    {226, &TranslationOption::IgnoresMainText, &TranslationOption::SetIgnoresMainText},
    {227, &TranslationOption::IgnoresFootNote, &TranslationOption::SetIgnoresFootNote},
    {228, &TranslationOption::IgnoresEndNote, &TranslationOption::SetIgnoresEndNote},
    {235, &TranslationOption::IgnoresComment, &TranslationOption::SetIgnoresComment},
    {236, &TranslationOption::IgnoresHeader, &TranslationOption::SetIgnoresHeader},
    {237, &TranslationOption::IgnoresFooter, &TranslationOption::SetIgnoresFooter},
    {238, &TranslationOption::IgnoresShape, &TranslationOption::SetIgnoresShape},
    {239, &TranslationOption::IgnoresWordArt, &TranslationOption::SetIgnoresWordArt},
    {240, &TranslationOption::UsesPreMacro, &TranslationOption::SetUsesPreMacro},
    {241, &TranslationOption::UsesPostMacro, &TranslationOption::SetUsesPostMacro},
    {242, &TranslationOption::NotLockField, &TranslationOption::SetNotLockField},
    {243, &TranslationOption::NotUpdateField, &TranslationOption::SetNotUpdateField},
    {244, &TranslationOption::NotClearUndo, &TranslationOption::SetNotClearUndo},
};
// The details page's check boxes of the texts a run translates besides the
// slides' own.
const HiddenFlag kPartFlags[] = {
    {ids::kTranslatesCharts, &TranslationOption::TranslatesCharts, &TranslationOption::SetTranslatesCharts},
    {ids::kTranslatesAltText, &TranslationOption::TranslatesAltText, &TranslationOption::SetTranslatesAltText},
    {ids::kTranslatesLinkTips, &TranslationOption::TranslatesLinkTips, &TranslationOption::SetTranslatesLinkTips},
    {ids::kTranslatesMasters, &TranslationOption::TranslatesMasters, &TranslationOption::SetTranslatesMasters},
};
struct HiddenNumber {
  int id;
  std::int32_t (TranslationOption::*get)() const;
  void (TranslationOption::*set)(std::int32_t);
};
const HiddenNumber kHiddenNumbers[] = {
    {245, &TranslationOption::DualPrintDest, &TranslationOption::SetDualPrintDest},
    {250, &TranslationOption::DualPrintLevel, &TranslationOption::SetDualPrintLevel},
    {253, &TranslationOption::EditType, &TranslationOption::SetEditType},
    {256, &TranslationOption::TimeOutMSec, &TranslationOption::SetTimeOutMSec},
};
struct HiddenText {
  int id;
  const std::wstring& (TranslationOption::*get)() const;
  void (TranslationOption::*set)(std::wstring);
};
const HiddenText kHiddenTexts[] = {
    {251, &TranslationOption::TranPrefix, &TranslationOption::SetTranPrefix},
    {252, &TranslationOption::TranSuffix, &TranslationOption::SetTranSuffix},
    {254, &TranslationOption::PreMacroName, &TranslationOption::SetPreMacroName},
    {255, &TranslationOption::PostMacroName, &TranslationOption::SetPostMacroName},
};

bool IsBlank(const std::wstring& text) {
  return std::all_of(text.begin(), text.end(), [](wchar_t c) { return platform::IsWhiteSpace(c); });
}

bool HasLineBreak(const std::wstring& text) {
  return text.find_first_of(std::wstring(L"\r\n\v\0", 4)) != std::wstring::npos;
}

int Checked(bool on) { return on ? 1 : 0; }

void ShowWarning(const std::wstring& text) { support::ShowMessage(text, MB_OK | MB_ICONEXCLAMATION); }

}  // namespace

std::array<std::int32_t, 16>& SetupCustomColors() {
  static std::array<std::int32_t, 16> colors = [] {
    std::array<std::int32_t, 16> white;
    white.fill(0xFFFFFF);
    return white;
  }();
  return colors;
}

CDialogSetup::CDialogSetup(SetupHost& host, std::unique_ptr<SetupView> view, InputBoxViewFactory inputBox)
    : mHost(host), mView(std::move(view)), mInputBox(std::move(inputBox)) {}

CDialogSetup::~CDialogSetup() = default;

int CDialogSetup::DoModal() {
  if (!mView || !mView->Create(*this)) {
    LOG_ERROR(L"CDialogSetup:DoModal", L"the options dialog could not be made");
    return 0;
  }
  OnInitDialog();
  return mView->RunModal();
}

// Every handler starts from an empty error list and turns what it raises into
// an error report under its own name, so nothing reaches the view's loop.
template <typename Body>
void RunSetupHandler(const wchar_t* handler, Body body) {
  const std::wstring source = std::wstring(L"CDialogSetup:") + handler;
  support::ErrorList::Clear();
  try {
    body();
  } catch (...) {
    LOG_ERROR(source, L"the handler failed");
    support::ErrorList::ErrorReport(source);
    return;
  }
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(source);
}

void CDialogSetup::OnInitDialog() {
  RunSetupHandler(L"OnInitDialog", [this] {
    mHidden = mHost.ShowHiddenOptions();
    mOptions = mHost.Options().Clone();
    mEngines = mHost.Engines().Clone();
    mSwitches = mHost.Switches();

    mView->SetFontName(support::ResourceModule::Instance().GetFontName());
    for (const SetupControl& c : kSetupControls) {
      if (c.textId != 0) mView->SetText(c.page, c.id, support::LoadText(c.textId));
      if (c.name != nullptr) mView->SetText(c.page, c.id, c.name);
      if (c.hidden) mView->SetVisible(c.page, c.id, false);
    }
    std::vector<std::wstring> headers;
    for (const EngineColumn& column : kEngineColumns) headers.push_back(support::LoadText(column.textId));
    mView->SetEngineColumns(headers);
    headers.clear();
    for (const EngineColumn& column : kServerColumns) headers.push_back(support::LoadText(column.textId));
    mView->SetServerColumns(headers);
    if (mHost.Servers() == nullptr) {
      for (int id : {ids::kServersLabel, ids::kServerList, ids::kAddServer, ids::kRemoveServer})
        mView->SetVisible(kEnginesPage, id, false);
    }

    mInstalledFonts.assign(7, {});
    mFontNames.assign(7, {});
    mFontListsFilled = false;
    platform::FontCatalog& catalog = platform::FontCatalog::Current();
    for (int i = 0; i < 7; ++i) mInstalledFonts[i] = catalog.InstalledFonts(options::kFontCharsets[i]);

    mShown = 0;
    for (size_t i = 0; i < mOptions->Count(); ++i) {
      if (mOptions->At(i).Name() == mOptions->SelectedName()) {
        mShown = static_cast<int>(i);
        break;
      }
    }
    FillAll();

    mTabs.clear();
    std::vector<std::wstring> texts;
    for (int page = mHidden ? 0 : 1; page < kSetupPageCount; ++page) {
      mTabs.push_back(static_cast<SetupPage>(page));
      const int textId = kSetupTabTextIds[page];
      texts.push_back(page == 0 ? std::wstring(kDebugTabText) : support::LoadText(textId));
    }
    mView->SetTabs(mTabs, texts);
    mView->ShowPage(mTabs.front());
    SetModified(false);
  });
}

void CDialogSetup::SetModified(bool modified) {
  mModified = modified;
  mView->SetEnabled(kFrame, ids::kApply, modified);
}

void CDialogSetup::FillAll() {
  FillOptionList();
  ShowOption(mShown);
  FillEngineRows();
  FillServerRows();
  if (mHidden) FillHidden();
}

// The set to show is selected by ShowOption, which always follows.
void CDialogSetup::FillOptionList() { mView->SetItems(kSets, ids::kOptionList, mOptions->OptionNames()); }

void CDialogSetup::ShowOption(int index) {
  mShown = std::clamp(index, 0, static_cast<int>(mOptions->Count()) - 1);
  const TranslationOption& set = mOptions->At(mShown);
  mView->SelectItem(kSets, ids::kOptionList, mShown);
  mView->SetText(kSets, ids::kCurrentName, set.Name());

  mView->SetCheck(kBasic, ids::kOutputOriginal, Checked(set.OutputDestType() == 0));
  mView->SetCheck(kBasic, ids::kOutputNewWindow, Checked(set.OutputDestType() != 0));
  mView->SetCheck(kBasic, ids::kAlignSideBySide, Checked(set.WindowAlign() == 1));
  mView->SetCheck(kBasic, ids::kAlignAbove, Checked(set.WindowAlign() == 2));
  mView->SetCheck(kBasic, ids::kAlignNone, Checked(set.WindowAlign() != 1 && set.WindowAlign() != 2));
  mView->SetCheck(kBasic, ids::kDualPrint, Checked(set.DualPrint() != 0));
  mView->SetCheck(kBasic, ids::kKeepStyle, Checked(set.KeepStyleType() != 0));
  ApplyOutputRule();

  mView->SetCheck(kDetails, ids::kExpandShape, Checked(set.DualPrintExpandShape() != 0));
  mView->SetCheck(kDetails, ids::kChangeOrigColor, Checked(set.ChangesOrigFontColor() != 0));
  mView->SetCheck(kDetails, ids::kChangeTranColor, Checked(set.ChangesTranFontColor() != 0));
  mView->SetEnabled(kDetails, ids::kChooseOrigColor, set.ChangesOrigFontColor() != 0);
  mView->SetEnabled(kDetails, ids::kChooseTranColor, set.ChangesTranFontColor() != 0);
  mColors[0] = set.OrigFontColorValue();
  mColors[1] = set.TranFontColorValue();
  mView->SetSwatchColor(kDetails, ids::kOrigSwatch, mColors[0]);
  mView->SetSwatchColor(kDetails, ids::kTranSwatch, mColors[1]);
  mView->SetText(kDetails, ids::kGlossary, set.Glossary());
  for (const HiddenFlag& f : kPartFlags) mView->SetCheck(kDetails, f.id, Checked((set.*f.get)() != 0));

  // Each list offers the installed fonts, and the set's own font even when
  // it is not installed here, selected: a list that showed nothing would
  // hide what the set holds. With neither, the list says there is no font.
  for (int i = 0; i < 7; ++i) {
    std::vector<std::wstring> offered = mInstalledFonts[i];
    int selected = -1;
    for (size_t f = 0; f < offered.size(); ++f) {
      if (platform::EqualsNoCase(offered[f], set.Font(i))) {
        selected = static_cast<int>(f);
        break;
      }
    }
    if (selected < 0 && !set.Font(i).empty()) {
      selected = static_cast<int>(offered.size());
      offered.push_back(set.Font(i));
    }
    if (offered.empty()) selected = 0;
    // A list is filled again only when what it offers changes: a list
    // refilled while another page is up would show through it in the
    // terminal.
    if (!mFontListsFilled || offered != mFontNames[i]) {
      mView->SetItems(kFonts, ids::kFontLists[i],
                      offered.empty() ? std::vector<std::wstring>{support::LoadText(msg::kNoFontText)} : offered);
    }
    mFontNames[i] = std::move(offered);
    mView->SelectItem(kFonts, ids::kFontLists[i], selected);
  }
  mFontListsFilled = true;

  if (mHidden) {
    for (const HiddenFlag& f : kHiddenFlags) mView->SetCheck(kHiddenPage, f.id, Checked((set.*f.get)() != 0));
    for (const HiddenNumber& n : kHiddenNumbers) mView->SetText(kHiddenPage, n.id, std::to_wstring((set.*n.get)()));
    for (const HiddenText& t : kHiddenTexts) mView->SetText(kHiddenPage, t.id, (set.*t.get)());
  }
}

void CDialogSetup::StoreOption(int index) {
  if (index < 0 || index >= static_cast<int>(mOptions->Count())) return;
  TranslationOption& set = mOptions->At(index);
  set.SetOutputDestType(mView->GetCheck(kBasic, ids::kOutputOriginal) == 1 ? 0 : 1);
  if (mView->GetCheck(kBasic, ids::kAlignSideBySide) == 1) {
    set.SetWindowAlign(1);
  } else if (mView->GetCheck(kBasic, ids::kAlignAbove) == 1) {
    set.SetWindowAlign(2);
  } else {
    set.SetWindowAlign(0);
  }
  set.SetKeepStyleType(mView->GetCheck(kBasic, ids::kKeepStyle) != 0 ? 1 : 0);
  set.SetDualPrint(mView->GetCheck(kBasic, ids::kDualPrint) == 1 ? 1 : 0);
  set.SetDualPrintExpandShape(mView->GetCheck(kDetails, ids::kExpandShape) == 1 ? 1 : 0);
  set.SetChangesOrigFontColor(mView->GetCheck(kDetails, ids::kChangeOrigColor) == 1 ? 1 : 0);
  set.SetChangesTranFontColor(mView->GetCheck(kDetails, ids::kChangeTranColor) == 1 ? 1 : 0);
  set.SetOrigFontColorValue(mColors[0]);
  set.SetTranFontColorValue(mColors[1]);
  std::wstring glossary = mView->GetText(kDetails, ids::kGlossary);
  // A pasted path brings blanks and line ends along that name no file.
  glossary.erase(std::remove_if(glossary.begin(), glossary.end(), [](wchar_t c) { return c == L'\r' || c == L'\n'; }),
                 glossary.end());
  while (!glossary.empty() && glossary.back() == L' ') glossary.pop_back();
  while (!glossary.empty() && glossary.front() == L' ') glossary.erase(glossary.begin());
  set.SetGlossary(std::move(glossary));
  for (const HiddenFlag& f : kPartFlags) (set.*f.set)(mView->GetCheck(kDetails, f.id) == 1 ? 1 : 0);
  for (int i = 0; i < 7; ++i) {
    int selected = mView->SelectedItem(kFonts, ids::kFontLists[i]);
    // Nothing chosen, or the no-font text: the field stays as stored.
    if (selected >= 0 && selected < static_cast<int>(mFontNames[i].size())) set.SetFont(i, mFontNames[i][selected]);
  }
  if (mHidden) {
    for (const HiddenFlag& f : kHiddenFlags) (set.*f.set)(mView->GetCheck(kHiddenPage, f.id) == 1 ? 1 : 0);
    for (const HiddenNumber& n : kHiddenNumbers)
      (set.*n.set)(options::ParseAutoBaseInt(mView->GetText(kHiddenPage, n.id)));
    for (const HiddenText& t : kHiddenTexts) {
      std::wstring text = mView->GetText(kHiddenPage, t.id);
      // The stores keep one line per value.
      std::replace_if(text.begin(), text.end(), [](wchar_t c) { return c == L'\r' || c == L'\n'; }, L' ');
      (set.*t.set)(std::move(text));
    }
  }
}

void CDialogSetup::ApplyOutputRule() {
  const bool newWindow = mView->GetCheck(kBasic, ids::kOutputNewWindow) == 1;
  for (int id : {ids::kAlignGroup, ids::kAlignSideBySide, ids::kAlignAbove, ids::kAlignNone})
    mView->SetEnabled(kBasic, id, newWindow);
}

void CDialogSetup::FillEngineRows() {
  std::vector<EngineRow> rows;
  for (size_t i = 0; i < mEngines->Count(); ++i) {
    const engine::EngineEntry& e = mEngines->Entry(i);
    EngineRow row;
    // An engine that gives only its short product name still fills the column.
    row.cells = {e.DisplayName(), e.ProductName().empty() ? e.ProductNameShort() : e.ProductName()};
    for (std::int32_t bit : kColumnFlags) row.cells.push_back((e.Flags() & bit) != 0 ? kMark : L"");
    row.checked = e.Checked() != 0;
    rows.push_back(std::move(row));
  }
  mInItemCheck = true;
  mView->SetEngineRows(rows);
  mInItemCheck = false;
}

void CDialogSetup::StoreEngineChecks() {
  for (size_t i = 0; i < mEngines->Count(); ++i) {
    std::int32_t checked = mView->IsRowChecked(static_cast<int>(i)) ? 1 : 0;
    if (mEngines->Checked(i) != checked) mEngines->SetChecked(i, checked);
  }
}

void CDialogSetup::FillServerRows() {
  engine_server::IServerSettings* servers = mHost.Servers();
  if (servers == nullptr) return;
  mServers = servers->Servers();
  std::vector<std::vector<std::wstring>> rows;
  for (const engine_server::ServerRow& s : mServers) rows.push_back({s.name, s.url, s.api});
  mView->SetServerRows(rows);
}

void CDialogSetup::FillHidden() {
  mView->SetCheck(kHiddenPage, ids::kDisplaysProgressBar, Checked(mSwitches.displaysProgressBar != 0));
  mView->SetCheck(kHiddenPage, ids::kDisplaysAlert, Checked(mSwitches.displaysAlert != 0));
  mView->SetCheck(kHiddenPage, ids::kDisplaysDocument, Checked(mSwitches.displaysDocument != 0));
  mView->SetText(kHiddenPage, ids::kEngineGroup, mSwitches.engineGroup);
  mView->SetText(kHiddenPage, ids::kEngineID, mSwitches.engineID);
  mView->SetText(kHiddenPage, ids::kOwnerHWnd, std::to_wstring(mSwitches.ownerHWnd));
  mView->SetCheck(kHiddenPage, ids::kRefreshManual, Checked(mEngines->RefreshType() != 1));
  mView->SetCheck(kHiddenPage, ids::kRefreshAlways, Checked(mEngines->RefreshType() == 1));
  mView->SetText(kHiddenPage, ids::kEnumFlag, std::to_wstring(mEngines->EnumFlag()));
  mView->SetText(kHiddenPage, ids::kDispLang, mEngines->DisplayLanguage());
  mView->SetText(kHiddenPage, ids::kEnumProductFilter, mEngines->EnumProductFilter());
}

void CDialogSetup::StoreHidden() {
  mSwitches.displaysProgressBar = mView->GetCheck(kHiddenPage, ids::kDisplaysProgressBar) == 1 ? 1 : 0;
  mSwitches.displaysAlert = mView->GetCheck(kHiddenPage, ids::kDisplaysAlert) == 1 ? 1 : 0;
  mSwitches.displaysDocument = mView->GetCheck(kHiddenPage, ids::kDisplaysDocument) == 1 ? 1 : 0;
  mSwitches.engineGroup = mView->GetText(kHiddenPage, ids::kEngineGroup);
  mSwitches.engineID = mView->GetText(kHiddenPage, ids::kEngineID);
  mSwitches.ownerHWnd = options::ParseAutoBaseInt(mView->GetText(kHiddenPage, ids::kOwnerHWnd));
  mEngines->SetRefreshType(mView->GetCheck(kHiddenPage, ids::kRefreshAlways) == 1 ? 1 : 0);
  mEngines->SetEnumFlag(options::ParseAutoBaseInt(mView->GetText(kHiddenPage, ids::kEnumFlag)));
  mEngines->SetDisplayLanguage(mView->GetText(kHiddenPage, ids::kDispLang));
  mEngines->SetEnumProductFilter(mView->GetText(kHiddenPage, ids::kEnumProductFilter));
}

void CDialogSetup::Tab_Change(int tabIndex) {
  RunSetupHandler(L"Tab_Change", [&] {
    if (tabIndex >= 0 && tabIndex < static_cast<int>(mTabs.size())) mView->ShowPage(mTabs[tabIndex]);
  });
}

void CDialogSetup::lstOptionList_Click() {
  RunSetupHandler(L"lstOptionList_Click", [this] {
    int selected = mView->SelectedItem(kSets, ids::kOptionList);
    if (selected < 0 || selected == mShown) return;
    StoreOption(mShown);
    ShowOption(selected);
    SetModified(true);
  });
}

bool CDialogSetup::AskText(const std::wstring& prompt, std::wstring* text) {
  if (!mInputBox) return false;
  CInputBox box(mInputBox());
  box.SetPrompt(prompt);
  // Owned by the options dialog, which takes no clicks while the box is
  // open: an OK or Cancel there would end the dialog under the prompt.
  if (box.DoModal(mView->NativeWindow()) != IDOK) return false;
  *text = box.Result();
  return true;
}

// A name that could be saved and chosen again: the registry's reader gives
// an unnamed set the name "default", and lookups reach only the first set
// of a name.
static bool UsableNewName(const options::TranslationOptions& sets, const std::wstring& name, std::wstring* why) {
  if (IsBlank(name)) {
    *why = L"An option set needs a name.";
  } else if (HasLineBreak(name)) {
    *why = L"An option set name cannot hold a line break.";
  } else if (sets.Find(name) != nullptr) {
    *why = L"An option set named \"" + name + L"\" exists already.";
  } else {
    return true;
  }
  return false;
}

void CDialogSetup::cmdOptionsOp_Click(int operation) {
  RunSetupHandler(L"cmdOptionsOp_Click", [&] {
    std::wstring name;
    std::wstring path;
    std::wstring why;
    switch (operation) {
      case kOpAdd: {
        if (!AskText(kNewNamePrompt, &name)) return;
        if (!UsableNewName(*mOptions, name, &why)) {
          ShowWarning(L"Failed to add.\n\n" + why);
          return;
        }
        StoreOption(mShown);
        mOptions->Add(name);
        FillOptionList();
        ShowOption(static_cast<int>(mOptions->Count()) - 1);
        break;
      }
      case kOpRemove: {
        int selected = mView->SelectedItem(kSets, ids::kOptionList);
        if (selected < 0 || selected >= static_cast<int>(mOptions->Count())) {
          ShowWarning(L"Failed to remove.");
          return;
        }
        name = mOptions->At(selected).Name();
        if (name == options::kDefaultOptionName) {
          ShowWarning(L"Failed to remove.\n\nThe option set \"default\" cannot be removed.");
          return;
        }
        // The set shown keeps its edits unless it is the one removed.
        if (selected != mShown) StoreOption(mShown);
        int next = mShown;
        if (selected == mShown) {
          next = selected;
        } else if (selected < mShown) {
          --next;
        }
        if (!mOptions->Remove(name)) {
          ShowWarning(L"Failed to remove.");
          return;
        }
        next = std::min(next, static_cast<int>(mOptions->Count()) - 1);
        mShown = next;
        FillOptionList();
        ShowOption(next);
        break;
      }
      case kOpImport: {
        if (!AskText(kNewNamePrompt, &name)) return;
        if (IsBlank(name) || HasLineBreak(name)) {
          UsableNewName(*mOptions, name, &why);
          ShowWarning(L"Failed to import.\n\n" + why);
          return;
        }
        if (!AskText(kPathPrompt, &path)) return;
        // An import may replace the set shown; its edits go in first and the
        // pages show what the file gave afterwards.
        StoreOption(mShown);
        if (!mOptions->Import(name, path, &why)) {
          ShowWarning(L"Failed to import.\n\n" + why);
          return;
        }
        int index = 0;
        for (size_t i = 0; i < mOptions->Count(); ++i) {
          if (mOptions->At(i).Name() == name) {
            index = static_cast<int>(i);
            break;
          }
        }
        FillOptionList();
        ShowOption(index);
        break;
      }
      case kOpExport: {
        if (!AskText(kPathPrompt, &path)) return;
        StoreOption(mShown);
        if (!mOptions->Export(mOptions->At(mShown).Name(), path, &why)) {
          ShowWarning(L"Failed to export.\n\n" + why);
          return;
        }
        break;
      }
      default:
        return;
    }
    SetModified(true);
  });
}

void CDialogSetup::optOutputDest_Click() {
  RunSetupHandler(L"optOutputDest_Click", [this] {
    ApplyOutputRule();
    SetModified(true);
  });
}

void CDialogSetup::chkColors_Click(int index) {
  RunSetupHandler(L"chkColors_Click", [&] {
    if (index < 0 || index > 1) return;
    const int check = index == 0 ? ids::kChangeOrigColor : ids::kChangeTranColor;
    const int button = index == 0 ? ids::kChooseOrigColor : ids::kChooseTranColor;
    mView->SetEnabled(kDetails, button, mView->GetCheck(kDetails, check) == 1);
    SetModified(true);
  });
}

void CDialogSetup::cmdColor_Click(int index) {
  RunSetupHandler(L"cmdColor_Click", [&] {
    if (index < 0 || index > 1) return;
    // The chooser starts from the colour of the set shown, not from the
    // last colour picked for any set.
    std::int32_t color = mColors[index];
    if (!mView->ChooseColor(&color, &SetupCustomColors())) return;
    mColors[index] = color;
    mView->SetSwatchColor(kDetails, index == 0 ? ids::kOrigSwatch : ids::kTranSwatch, color);
    SetModified(true);
  });
}

void CDialogSetup::lvwEngines_ItemCheck(int row) {
  if (mInItemCheck) return;
  RunSetupHandler(L"lvwEngines_ItemCheck", [&] {
    mInItemCheck = true;
    try {
      const bool checked = mView->IsRowChecked(row);
      // Ticking a row outside the selection changes that row alone.
      if (mView->IsRowSelected(row)) {
        for (size_t i = 0; i < mEngines->Count(); ++i) {
          int other = static_cast<int>(i);
          if (other != row && mView->IsRowSelected(other) && mView->IsRowChecked(other) != checked)
            mView->SetRowChecked(other, checked);
        }
      }
    } catch (...) {
      mInItemCheck = false;
      throw;
    }
    mInItemCheck = false;
    SetModified(true);
  });
}

bool CDialogSetup::RefreshWorkingEngines(engine::EngineCaches& engines) {
  if (!mHost.RefreshEngines(engines)) {
    support::ErrorList::Add(msg::kEngineListFailed);
    return false;
  }
  if (engines.Count() == 0) support::ErrorList::Add(msg::kNoEngines);
  return true;
}

void CDialogSetup::cmdRefreshEngineList_Click() {
  RunSetupHandler(L"cmdRefreshEngineList_Click", [this] {
    StoreEngineChecks();
    RefreshWorkingEngines(*mEngines);
    FillEngineRows();
    if (!mEngines->IsSameAs(mHost.Engines())) SetModified(true);
  });
}

void CDialogSetup::RefreshAfterServers() {
  FillServerRows();
  StoreEngineChecks();
  RefreshWorkingEngines(*mEngines);
  FillEngineRows();
  if (!mEngines->IsSameAs(mHost.Engines())) SetModified(true);
}

void CDialogSetup::cmdAddServer_Click() {
  RunSetupHandler(L"cmdAddServer_Click", [this] {
    engine_server::IServerSettings* servers = mHost.Servers();
    if (servers == nullptr) return;
    engine_server::NewServer server;
    if (!AskText(kServerNamePrompt, &server.name) || !AskText(kServerUrlPrompt, &server.url) ||
        !AskText(kServerApiPrompt, &server.api) || !AskText(kServerKeyPrompt, &server.keyFile))
      return;
    // Blanks around a pasted answer are not part of it.
    for (std::wstring* text : {&server.name, &server.url, &server.api, &server.keyFile}) {
      while (!text->empty() && platform::IsWhiteSpace(text->back())) text->pop_back();
      while (!text->empty() && platform::IsWhiteSpace(text->front())) text->erase(text->begin());
    }
    std::wstring why;
    if (!servers->Add(server, &why)) {
      ShowWarning(L"Failed to add the server.\n\n" + why);
      return;
    }
    RefreshAfterServers();
  });
}

void CDialogSetup::cmdRemoveServer_Click() {
  RunSetupHandler(L"cmdRemoveServer_Click", [this] {
    engine_server::IServerSettings* servers = mHost.Servers();
    if (servers == nullptr) return;
    // The row the user chose, as the list shows it.
    const int selected = mView->SelectedServer();
    if (selected < 0 || selected >= static_cast<int>(mServers.size())) {
      ShowWarning(L"Failed to remove the server.\n\nNo server is selected.");
      return;
    }
    const engine_server::ServerRow row = mServers[selected];
    if (support::ShowMessage(support::LoadText(msg::kRemoveServerQuestion) + L"\n\n" + row.name + L" (" + row.url + L")",
                             MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
      return;
    std::wstring why;
    if (!servers->Remove(row.name, &why)) {
      ShowWarning(L"Failed to remove the server.\n\n" + why);
      return;
    }
    RefreshAfterServers();
  });
}

void CDialogSetup::cmdBrowseGlossary_Click() {
  RunSetupHandler(L"cmdBrowseGlossary_Click", [&] {
    std::wstring path = mView->GetText(kDetails, ids::kGlossary);
    if (!mView->ChooseFile(&path)) return;
    mView->SetText(kDetails, ids::kGlossary, path);
    SetModified(true);
  });
}

void CDialogSetup::Control_Changed(int page, int id) {
  RunSetupHandler(L"Control_Changed", [this] { SetModified(true); });
}

bool CDialogSetup::ApplyChanges() {
  if (!mModified) return true;
  if (mHidden) StoreHidden();
  StoreOption(mShown);
  StoreEngineChecks();

  // The running facade works from these collections; they take effect now,
  // whether or not they could be written.
  bool saved = true;
  options::TranslationOptions& stored = mHost.Options();
  const std::wstring selected = stored.SelectedName();
  stored.Assign(*mOptions);
  if (stored.Select(selected) == nullptr) stored.Select(options::kDefaultOptionName);
  if (!stored.Save(mHidden)) {
    LOG_ERROR(L"CDialogSetup:cmdApply_Click", L"the option sets could not be written: " + stored.LastFailure());
    saved = false;
  }
  engine::EngineCaches& engines = mHost.Engines();
  if (!mEngines->IsSameAs(engines)) {
    engines.AssignFrom(*mEngines);
    if (!engines.SaveCache(false, mHidden)) {
      LOG_ERROR(L"CDialogSetup:cmdApply_Click", L"the engine list could not be written: " + engines.LastFailure());
      saved = false;
    }
  }
  if (mHidden) mHost.SetSwitches(mSwitches);
  mHost.Applied();
  if (!saved) {
    support::ErrorList::Add(msg::kSaveFailed);
    // Reported by its own message; the system code behind it is in the log.
    platform::SetLastErrorCode(0);
    return false;
  }
  SetModified(false);
  return true;
}

void CDialogSetup::cmdApply_Click() {
  RunSetupHandler(L"cmdApply_Click", [this] { ApplyChanges(); });
}

void CDialogSetup::cmdOK_Click() {
  RunSetupHandler(L"cmdOK_Click", [this] {
    // A failed write keeps the dialog open, so the user can try again or
    // cancel knowingly.
    if (ApplyChanges()) mView->Close(IDOK);
  });
}

void CDialogSetup::cmdCancel_Click() {
  RunSetupHandler(L"cmdCancel_Click", [this] { mView->Close(IDCANCEL); });
}

void CDialogSetup::cmdReset_Click() {
  RunSetupHandler(L"cmdReset_Click", [this] {
    if (support::ShowMessage(support::LoadText(msg::kResetQuestion), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    // Nothing is replaced before every step has succeeded: a refresh that
    // fails half-way would leave the pages showing sets that the next OK
    // no longer writes.
    std::unique_ptr<options::TranslationOptions> sets = mOptions->Clone();
    if (!sets->Load(true)) {
      LOG_WARNING(L"CDialogSetup:cmdReset_Click",
                  L"the machine-wide option sets could not be read: " + sets->LastFailure());
    }
    std::unique_ptr<engine::EngineCaches> engines = mEngines->Clone();
    engines->ResetCacheSettings();
    if (!RefreshWorkingEngines(*engines)) return;
    mOptions = std::move(sets);
    mEngines = std::move(engines);
    mShown = 0;
    for (size_t i = 0; i < mOptions->Count(); ++i) {
      if (mOptions->At(i).Name() == mOptions->SelectedName()) mShown = static_cast<int>(i);
    }
    FillAll();
    SetModified(true);
  });
}

}  // namespace dialogs
