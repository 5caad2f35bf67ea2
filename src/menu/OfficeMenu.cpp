#include "src/menu/OfficeMenu.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <utility>

#include "resources/MessageIds.h"
#include "src/options/RegistrySettings.h"
#include "src/platform/Clipboard.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/platform/MessagePump.h"
#include "src/platform/Registry.h"
#include "src/platform/System.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace menu {

namespace msg = resources::msg;

namespace {

struct ButtonDef {
  const wchar_t* member;        // mmnu...; its handler is member + "_Click", its toolbar twin mbtn...
  const wchar_t* key;           // after ".MENU." / ".BUTTON."
  bool onToolbar;               // the toolbar has a button for it too
  int caption;
  int tooltip;
  int icon;                     // faces: the icon below version 10, picture and mask later
  int picture;
  int mask;
  int menuStyle;
  bool menuVisible;
  bool toolbarVisible;
  bool beginGroup;
};

// In the order the buttons are added; index = OfficeMenu::Command.
constexpr ButtonDef kButtons[OfficeMenu::kCommandCount] = {
    {L"mmnuTranSheet", L"TRAN-SHEET", true, 8005, 8055, 220, 327, 340, 3, true, true, true},
    {L"mmnuTranAll", L"TRAN-ALL", true, 8006, 8056, 214, 322, 335, 3, true, true, false},
    {L"mmnuTranSelect", L"TRAN-SELECT", true, 8007, 8057, 218, 326, 336, 3, true, true, false},
    {L"mmnuTranCopy", L"TRAN-COPY", true, 8008, 8058, 215, 323, 339, 3, false, false, true},
    {L"mmnuTranPaste", L"TRAN-PASTE", true, 8009, 8059, 217, 325, 337, 3, false, false, false},
    {L"mmnuLookupDict", L"LOOKUP-DICT", true, 8010, 8060, 210, 318, 344, 3, true, false, true},
    {L"mmnuRegistDict", L"REGIST-DICT", true, 8017, 8066, 351, 349, 348, 3, false, false, false},
    {L"mmnuOption", L"OPTION", true, 8011, 8061, 213, 314, 343, 3, true, true, true},
    {L"mmnuEngineOption", L"ENGINE-OPTION", true, 8012, 8062, 212, 321, 341, 3, true, true, false},
    {L"mmnuToolbar", L"TOOLBAR", false, 8014, 8063, 221, 352, 353, 2, true, false, true},
    {L"mmnuVersion", L"VERSION", false, 8015, 8064, 222, 354, 355, 2, true, false, false},
    {L"mmnuHelp", L"HELP", true, 8016, 8065, 204, 315, 347, 3, true, true, true},
};

// The name the log gives a button by: mID_MNU_ and its key.
std::wstring ButtonId(const ButtonDef& def) {
  std::wstring id = std::wstring(L"mID_MNU_") + def.key;
  std::replace(id.begin(), id.end(), L'-', L'_');
  return id;
}

constexpr int kFaceAttempts = 5;
// From this version on the host takes a face as picture and mask; before it,
// only by pasting a bitmap from the clipboard.
constexpr int kPictureHostVersion = 10;

// A stored integer: decimal, or hexadecimal after "0x".
bool ParseStoredInt(const std::wstring& text, int* value) {
  if (text.empty()) return false;
  const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
  wchar_t* end = nullptr;
  const long v = std::wcstol(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  if (end == nullptr || *end != L'\0') return false;
  *value = static_cast<int>(v);
  return true;
}

host::Ptr<host::CommandBarControl> AddControl(const host::Ptr<host::CommandBarControls>& controls, int type) {
  return controls->Add(type, 1, std::wstring(), 0, true);
}

void DeleteAllControls(const host::Ptr<host::CommandBarControl>& list) {
  host::Ptr<host::CommandBarControls> controls = list->Controls();
  for (int n = controls->Count(); n > 0; --n) controls->Item(1)->Delete(false);
}

}  // namespace

OfficeMenu::OfficeMenu(MenuCommands* commands)
    : mCommands(commands),
      mMenuTranOpts([this](int i, const std::wstring& k, const auto& b) { mclsMenuTranOpts_ItemClick(i, k, b); }),
      mMenuTranModes([this](int i, const std::wstring& k, const auto& b) { mclsMenuTranModes_ItemClick(i, k, b); }),
      mToolbarTranOpts([this](int i, const std::wstring& k, const auto& b) { mclsMenuTranOpts_ItemClick(i, k, b); }),
      mToolbarTranModes(
          [this](int i, const std::wstring& k, const auto& b) { mclsMenuTranModes_ItemClick(i, k, b); }) {}

OfficeMenu::~OfficeMenu() {
  for (auto* list : {&mMenuButtons, &mToolbarButtons})
    for (ConnectedButton& b : *list) b.Disconnect();
}

HRESULT OfficeMenu::Initialize(const host::Ptr<host::Application>& application, const std::wstring& progId) {
  LOG_INFO(mClassName + L":Initialize", L"Initialize S");
  if (!application) return E_POINTER;
  mApplication = application;
  mCommandBars = application->CommandBars();
  mProgId = progId;
  mToolbarName = support::LoadText(203);
  if (mToolbarName.empty()) mToolbarName = application->Name();
  return S_OK;
}

host::Ptr<host::CommandBarControl> OfficeMenu::FindTagged(const std::wstring& key) {
  return mCommandBars->FindControl(0, 0, mProgId + key, false);
}

void OfficeMenu::RefreshMenuControls() {
  if (!mCommandBars || !mMenuPopup) return;
  try {
    for (auto [member, key] : {std::pair{&mMenuPopup, L""}, std::pair{&mMenuOptions, L".MENU.TRAN-OPT"},
                               std::pair{&mMenuModes, L".MENU.TRAN-MODE"}}) {
      if (host::Ptr<host::CommandBarControl> found = FindTagged(key)) *member = std::move(found);
    }
    for (int c = 0; c < kCommandCount; ++c)
      mMenuButtons[c].Rebind(FindTagged(std::wstring(L".MENU.") + kButtons[c].key));
    auto byTag = [this](const std::wstring& tag) { return mCommandBars->FindControl(0, 0, tag, false); };
    mMenuTranOpts.Refind(byTag);
    mMenuTranModes.Refind(byTag);
  } catch (const std::exception& e) {
    LOG_ERROR(mClassName + L":RefreshMenuControls", platform::ExceptionText(e));
  }
}

void OfficeMenu::RefreshToolbarControls() {
  if (!mCommandBars || !mToolbar) return;
  try {
    for (int i = mCommandBars->Count(); i >= 1; --i) {
      host::Ptr<host::CommandBar> bar = mCommandBars->Item(i);
      if (!bar->BuiltIn() && bar->Name() == mToolbarName) {
        mToolbar = std::move(bar);
        break;
      }
    }
    for (auto [member, key] : {std::pair{&mToolbarOptions, L".BUTTON.TRAN-OPT"},
                               std::pair{&mToolbarModes, L".BUTTON.TRAN-MODE"}}) {
      if (host::Ptr<host::CommandBarControl> found = FindTagged(key)) *member = std::move(found);
    }
    for (int c = 0; c < kCommandCount; ++c) {
      if (kButtons[c].onToolbar)
        mToolbarButtons[c].Rebind(FindTagged(std::wstring(L".BUTTON.") + kButtons[c].key));
    }
    auto byTag = [this](const std::wstring& tag) { return mCommandBars->FindControl(0, 0, tag, false); };
    mToolbarTranOpts.Refind(byTag);
    mToolbarTranModes.Refind(byTag);
  } catch (const std::exception& e) {
    LOG_ERROR(mClassName + L":RefreshToolbarControls", platform::ExceptionText(e));
  }
}

void OfficeMenu::RefreshControls() {
  RefreshMenuControls();
  RefreshToolbarControls();
}

void OfficeMenu::OnCommandClick(Command command, const std::wstring& handlerName) {
  if (mReady == 0) {
    platform::AlertBeep(0);
    return;
  }
  if (!mCommands && command != kToolbar) return;
  if (mCommands) mCommands->BeforeCommand();
  switch (command) {
    case kTranSheet: mCommands->TranSheetClick(); break;
    case kTranAll: mCommands->TranAllClick(); break;
    case kTranSelect: mCommands->TranSelectClick(); break;
    case kTranCopy: mCommands->TranCopyClick(); break;
    case kTranPaste: mCommands->TranPasteClick(); break;
    case kLookupDict: mCommands->LookupDictClick(); break;
    case kRegistDict:
      support::ResourceModule::Instance();
      mCommands->ShowDictionaryRegistrationClick();
      break;
    case kOption: mCommands->ShowOptionClick(); break;
    case kEngineOption:
      support::ResourceModule::Instance();
      mCommands->ShowEngineOptionClick();
      break;
    case kToolbar: SetToolbarVisible(mToolbarVisible == 0); break;
    case kVersion: mCommands->ShowVersionClick(); break;
    case kHelp: mCommands->ShowHelpClick(); break;
    case kCommandCount: break;
  }
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(mClassName + handlerName);
  if (mCommands) mCommands->AfterCommand();
}

host::Ptr<host::CommandBarControl> OfficeMenu::AddOfficeButton(const host::Ptr<host::CommandBarControls>& controls,
                                                               Command command, bool toolbar) {
  const ButtonDef& def = kButtons[command];
  host::Ptr<host::CommandBarControl> b = AddControl(controls, host::msoControlButton);
  ConnectedButton& slot = toolbar ? mToolbarButtons[command] : mMenuButtons[command];
  slot.button = b;
  if (!mProgId.empty()) b->SetOnAction(L"!<" + mProgId + L">");
  b->SetStyle(toolbar ? host::msoButtonIcon : def.menuStyle);
  b->SetTag(mProgId + (toolbar ? L".BUTTON." : L".MENU.") + def.key);
  b->SetCaption(support::LoadText(def.caption));
  b->SetTooltipText(support::LoadText(def.tooltip));
  // A host busy with its own drawing may refuse a face for a moment: it gets
  // a few tries with its messages run in between. A face that never takes
  // leaves the button as it is, which is no reason to fail the menu.
  for (int attempt = 1; attempt <= kFaceAttempts; ++attempt) {
    try {
      SetButtonFace(b, def.icon, def.picture, def.mask);
      break;
    } catch (const std::exception& e) {
      LOG_WARNING(mClassName + L":AddOfficeButton",
                  L"SetButtonFace " + ButtonId(def) + L" " + platform::ExceptionText(e));
      if (attempt < kFaceAttempts) platform::DrainMessageQueue();
    }
  }
  b->SetPriority(1);
  b->SetVisible(toolbar ? def.toolbarVisible : def.menuVisible);
  if (def.beginGroup) b->SetBeginGroup(true);
  const std::wstring handler = std::wstring(def.member) + L"_Click";
  slot.Connect([this, command, handler] { OnCommandClick(command, handler); }, mClassName + handler);
  return b;
}

void OfficeMenu::SetButtonFace(const host::Ptr<host::CommandBarControl>& button, int icon, int picture, int mask) {
  int version = 0;
  try {
    version = std::stoi(mApplication->Version());
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  }
  if (version < kPictureHostVersion) {
    platform::Picture face;
    if (!support::DrawOwnIcon(icon, &face))
      throw platform::ComError(E_FAIL, L"the add-in has no icon " + std::to_wstring(icon));
    // The caller keeps the user's clipboard and puts it back afterwards.
    if (!platform::WriteClipboard({{platform::kCfDib, platform::DibFromPicture(face)}}))
      throw platform::ComError(E_FAIL, L"the clipboard could not take the button face");
    button->PasteFace();
    return;
  }
  platform::Picture front, back;
  if (!support::LoadOwnBitmap(picture, &front) || !support::LoadOwnBitmap(mask, &back))
    throw platform::ComError(E_FAIL, L"the add-in has no bitmaps " + std::to_wstring(picture) + L" and " +
                                         std::to_wstring(mask));
  button->SetPicture(front);
  button->SetMask(back);
}

HRESULT OfficeMenu::CreateMenu(engine::EngineCaches& caches, options::TranslationOptions& sets) {
  LOG_INFO(mClassName + L":CreateMenu", L"CreateMenu");
  host::Ptr<host::CommandBarControls> bar = mCommandBars->Item(std::wstring(L"Menu Bar"))->Controls();
  mMenuPopup = AddControl(bar, host::msoControlPopup);
  mMenuPopup->SetCaption(support::LoadText(msg::kTranslateMenuCaption).substr(0, 79));
  mMenuPopup->SetTag(mProgId);
  mMenuPopup->SetBeginGroup(true);
  mMenuPopup->SetOLEUsage(host::msoControlOLEUsageNeither);
  host::Ptr<host::CommandBarControls> items = mMenuPopup->Controls();
  mMenuOptions = AddControl(items, host::msoControlPopup);
  mMenuOptions->SetCaption(support::LoadText(msg::kOptionSetsCaption));
  mMenuOptions->SetTag(mProgId + L".MENU.TRAN-OPT");
  mMenuOptions->SetVisible(false);
  mMenuModes = AddControl(items, host::msoControlPopup);
  mMenuModes->SetCaption(support::LoadText(msg::kModesCaption));
  mMenuModes->SetTag(mProgId + L".MENU.TRAN-MODE");
  for (int c = 0; c < kCommandCount; ++c) {
    try {
      AddOfficeButton(items, static_cast<Command>(c), false);
    } catch (const platform::ComError&) {
      LOG_ERROR(mClassName + L":CreateMenu", L"AddOfficeButton " + ButtonId(kButtons[c]));
      throw;
    }
  }
  return FillLists(caches, sets, false);
}

HRESULT OfficeMenu::CreateToolbar(engine::EngineCaches& caches, options::TranslationOptions& sets) {
  LOG_INFO(mClassName + L":CreateToolbar", L"CreateToolbar");
  mToolbar = mCommandBars->Add(mToolbarName, host::msoBarTop, false, true);
  host::Ptr<host::CommandBarControls> controls = mToolbar->Controls();
  mToolbarOptions = AddControl(controls, host::msoControlPopup);
  mToolbarOptions->SetTag(mProgId + L".BUTTON.TRAN-OPT");
  mToolbarOptions->SetTooltipText(support::LoadText(msg::kOptionSetsTooltip));
  mToolbarOptions->SetVisible(false);
  mToolbarModes = AddControl(controls, host::msoControlPopup);
  mToolbarModes->SetTag(mProgId + L".BUTTON.TRAN-MODE");
  mToolbarModes->SetTooltipText(support::LoadText(msg::kModesTooltip));
  for (int c = 0; c < kCommandCount; ++c) {
    if (!kButtons[c].onToolbar) continue;
    try {
      AddOfficeButton(controls, static_cast<Command>(c), true);
    } catch (const platform::ComError&) {
      LOG_ERROR(mClassName + L":CreateToolbar", L"AddOfficeButton " + ButtonId(kButtons[c]));
      throw;
    }
  }
  mToolbarVisible = mToolbar->Visible() ? 1 : 0;
  return FillLists(caches, sets, true);
}

HRESULT OfficeMenu::RefreshLists(engine::EngineCaches& caches, options::TranslationOptions& sets) {
  RefreshControls();
  HRESULT hr = S_OK;
  if (mMenuOptions && mMenuModes && FillLists(caches, sets, false) != S_OK) hr = E_FAIL;
  if (mToolbarOptions && mToolbarModes && FillLists(caches, sets, true) != S_OK) hr = E_FAIL;
  return hr;
}

HRESULT OfficeMenu::FillLists(engine::EngineCaches& caches, options::TranslationOptions& sets, bool toolbar) {
  const std::wstring area = toolbar ? L".BUTTON." : L".MENU.";
  const std::wstring source = mClassName + (toolbar ? L":CreateToolbar" : L":CreateMenu");
  HRESULT hr = fncRefreshTranOptionItems(sets, mProgId + area + L"TRAN-OPT.", toolbar ? mToolbarOptions : mMenuOptions,
                                         toolbar ? mToolbarTranOpts : mMenuTranOpts);
  if (hr != S_OK) {
    LOG_ERROR(source, L"fncRefreshTranOptionItems Err");
    return E_FAIL;
  }
  hr = fncRefreshTranModeItems(caches, mProgId + area + L"TRAN-MODE.", toolbar ? mToolbarModes : mMenuModes,
                               toolbar ? mToolbarTranModes : mMenuTranModes);
  if (hr != S_OK) {
    LOG_ERROR(source, L"fncRefreshTranModeItems Err");
    return E_FAIL;
  }
  return S_OK;
}

HRESULT OfficeMenu::fncRefreshTranOptionItems(options::TranslationOptions& sets, const std::wstring& prefix,
                                              const host::Ptr<host::CommandBarControl>& list, GroupButtons& buttons) {
  try {
    buttons.Clear();
    DeleteAllControls(list);
    const std::vector<std::wstring> names = sets.OptionNames();
    if (names.size() < 2) return S_OK;
    host::Ptr<host::CommandBarControls> controls = list->Controls();
    for (size_t i = 0; i < names.size(); ++i) {
      host::Ptr<host::CommandBarControl> b = AddControl(controls, host::msoControlButton);
      if (!mProgId.empty()) b->SetOnAction(L"!<" + mProgId + L">");
      b->SetStyle(host::msoButtonCaption);
      b->SetTag(prefix + std::to_wstring(i));
      b->SetPriority(1);
      b->SetCaption(names[i]);
      buttons.Add(b, names[i]);
    }
    return S_OK;
  } catch (const std::exception& e) {
    LOG_ERROR(mClassName + L":fncRefreshTranOptionItems", platform::ExceptionText(e));
    return E_FAIL;
  }
}

HRESULT OfficeMenu::fncRefreshTranModeItems(engine::EngineCaches& caches, const std::wstring& prefix,
                                            const host::Ptr<host::CommandBarControl>& list, GroupButtons& buttons) {
  try {
    buttons.Clear();
    DeleteAllControls(list);
    std::vector<const engine::EngineEntry*> entries;
    for (size_t i = 0; i < caches.Count(); ++i) {
      const engine::EngineEntry& e = caches.Entry(i);
      if (e.Checked() == 1 && (e.Flags() & (kFlagTranslate | kFlagLookup)) != 0) entries.push_back(&e);
    }
    // Past fifteen modes the list is grouped by source language.
    const bool grouped = entries.size() > 15;
    mModeFlags.clear();
    mModeCaptions.clear();
    host::Ptr<host::CommandBarControls> controls = list->Controls();
    host::Ptr<host::CommandBarControls> target = controls;
    std::wstring groupLang;
    int groups = 0;
    for (const engine::EngineEntry* e : entries) {
      if (grouped && (groups == 0 || e->FromLang() != groupLang)) {
        host::Ptr<host::CommandBarControl> popup = AddControl(controls, host::msoControlPopup);
        popup->SetTag(prefix + L"GROUP" + std::to_wstring(++groups) + L"." + e->FromLang());
        popup->SetCaption(e->FromLangName().empty() ? e->FromLang() : e->FromLangName());
        target = popup->Controls();
        groupLang = e->FromLang();
      }
      host::Ptr<host::CommandBarControl> b = AddControl(target, host::msoControlButton);
      if (!mProgId.empty()) b->SetOnAction(L"!<" + mProgId + L">");
      b->SetStyle(host::msoButtonCaption);
      b->SetTag(prefix + e->EngineKey());
      b->SetPriority(1);
      const std::wstring caption = e->DisplayName() + L"  [" + e->ProductNameShort() + L"]";
      b->SetCaption(caption);
      buttons.Add(b, e->EngineKey());
      mModeFlags.emplace_back(e->EngineKey(), e->Flags());
      mModeCaptions.emplace_back(e->EngineKey(), caption);
    }
    return S_OK;
  } catch (const std::exception& e) {
    LOG_ERROR(mClassName + L":fncRefreshTranModeItems", platform::ExceptionText(e));
    return E_FAIL;
  }
}

void OfficeMenu::RemoveMenu() {
  LOG_INFO(mClassName + L":RemoveMenu", L"RemoveMenu");
  for (int c = 0; c < kCommandCount; ++c) {
    if (!mMenuButtons[c].Disconnect())
      LOG_ERROR(mClassName + L":RemoveMenu", std::wstring(L"DispEventUnadvise FAIL ") + kButtons[c].member);
    mMenuButtons[c].button.reset();
  }
  mMenuTranOpts.Clear();
  mMenuTranModes.Clear();
  if (mCommandBars && !mProgId.empty()) {
    try {
      for (int i = mCommandBars->Count(); i >= 1; --i) {
        host::Ptr<host::CommandBar> bar = mCommandBars->Item(i);
        if (bar->Name() != L"Menu Bar") continue;
        host::Ptr<host::CommandBarControls> controls = bar->Controls();
        for (int j = controls->Count(); j >= 1; --j) {
          host::Ptr<host::CommandBarControl> c = controls->Item(j);
          if (c->Tag() == mProgId) c->Delete(false);
        }
      }
    } catch (const std::exception& e) {
      LOG_ERROR(mClassName + L":RemoveMenu", platform::ExceptionText(e));
    }
  }
  mMenuPopup.reset();
  mMenuOptions.reset();
  mMenuModes.reset();
}

void OfficeMenu::RemoveToolbar() {
  LOG_INFO(mClassName + L":RemoveToolbar", L"RemoveToolbar");
  for (int c = 0; c < kCommandCount; ++c) {
    if (!kButtons[c].onToolbar) continue;
    if (!mToolbarButtons[c].Disconnect())
      LOG_ERROR(mClassName + L":RemoveToolbar", L"DispEventUnadvise FAIL mbtn" + std::wstring(kButtons[c].member + 4));
    mToolbarButtons[c].button.reset();
  }
  mToolbarTranOpts.Clear();
  mToolbarTranModes.Clear();
  if (mCommandBars) {
    try {
      for (int i = mCommandBars->Count(); i >= 1; --i) {
        host::Ptr<host::CommandBar> bar = mCommandBars->Item(i);
        if (!bar->BuiltIn() && bar->Name() == mToolbarName) bar->Delete();
      }
    } catch (const std::exception& e) {
      LOG_ERROR(mClassName + L":RemoveToolbar", platform::ExceptionText(e));
    }
  }
  mToolbar.reset();
  mToolbarOptions.reset();
  mToolbarModes.reset();
}

void OfficeMenu::SetToolbarVisible(bool visible) {
  RefreshControls();
  try {
    if (mToolbar) mToolbar->SetVisible(visible);
    if (auto& item = mMenuButtons[kToolbar].button)
      item->SetCaption(support::LoadText(visible ? msg::kHideToolbarCaption : msg::kShowToolbarCaption));
  } catch (const std::exception& e) {
    LOG_ERROR(mClassName + L":SetToolbarVisible", platform::ExceptionText(e));
  }
  mToolbarVisible = visible ? 1 : 0;
}

bool OfficeMenu::SettingsLoad(int) {
  const std::wstring source = mClassName + L":SettingsLoad";
  LOG_INFO(source, L"SettingsLoad");
  options::RegistrySettings settings;
  settings.OpenRead(platform::Hive::CurrentUser, L"", platform::Hive::LocalMachine);
  // Refreshes the controls for what follows too.
  SetTranMode(settings.QueryValue(L"Menu.TranModeID", L""));
  mSettingsLoaded = true;
  if (mToolbar) {
    struct Property {
      const wchar_t* name;
      int (host::CommandBar::*get)();
      void (host::CommandBar::*set)(int);
    };
    const Property properties[] = {
        {L"Menu.ToolbarPosition", &host::CommandBar::Position, &host::CommandBar::SetPosition},
        {L"Menu.ToolbarTop", &host::CommandBar::Top, &host::CommandBar::SetTop},
        {L"Menu.ToolbarLeft", &host::CommandBar::Left, &host::CommandBar::SetLeft},
        {L"Menu.ToolbarWidth", &host::CommandBar::Width, &host::CommandBar::SetWidth},
        {L"Menu.ToolbarHeight", &host::CommandBar::Height, &host::CommandBar::SetHeight},
        {L"Menu.ToolbarRowIndex", &host::CommandBar::RowIndex, &host::CommandBar::SetRowIndex},
    };
    // One value the host refuses (a stored place that no longer fits) must
    // not cost the whole toolbar.
    for (const Property& p : properties) {
      try {
        const int current = ((*mToolbar).*p.get)();
        int value = current;
        const std::wstring text = settings.QueryValue(p.name, std::to_wstring(current));
        if (ParseStoredInt(text, &value) && value != current) ((*mToolbar).*p.set)(value);
      } catch (const std::exception& e) {
        LOG_WARNING(source, std::wstring(p.name) + L": " + platform::ExceptionText(e));
      }
    }
  }
  SetToolbarVisible(settings.QueryValue(L"Menu.ToolbarVisible", L"1") == L"1");
  if (settings.QueryValue(L"_Menu.ShowHiddenButtons", L"False") == L"True") {
    for (auto* b : {&mMenuButtons[kTranCopy].button, &mMenuButtons[kTranPaste].button, &mMenuOptions,
                    &mToolbarButtons[kTranCopy].button, &mToolbarButtons[kTranPaste].button, &mToolbarOptions})
      if (*b) (*b)->SetVisible(true);
    if (mMenuModes) mMenuModes->SetBeginGroup(true);
    if (mToolbarModes) mToolbarModes->SetBeginGroup(true);
  }
  return true;
}

void OfficeMenu::SettingsSave(int saveVisible) {
  const std::wstring source = mClassName + L":SettingsSave";
  if (!mSettingsLoaded) {
    LOG_WARNING(source, L"the settings were never loaded: the stored ones stay");
    return;
  }
  // The values go to the settings file in one rewrite, not one per value
  // (a first run would otherwise write it nine times).
  platform::RegBatch batch(platform::Hive::CurrentUser);
  [&] {
    options::RegistrySettings settings;
    if (!settings.Create(platform::Hive::CurrentUser, L"")) {
      LOG_ERROR(source, L"the settings key cannot be written");
      return;
    }
    if (mModeChosen) settings.SetValue(L"Menu.TranModeID", mSelectedMode);
    RefreshToolbarControls();
    if (!mToolbar) return;
    try {
      settings.SetValue(L"Menu.ToolbarPosition", std::to_wstring(mToolbar->Position()));
      settings.SetValue(L"Menu.ToolbarTop", std::to_wstring(mToolbar->Top()));
      settings.SetValue(L"Menu.ToolbarLeft", std::to_wstring(mToolbar->Left()));
      settings.SetValue(L"Menu.ToolbarWidth", std::to_wstring(mToolbar->Width()));
      settings.SetValue(L"Menu.ToolbarHeight", std::to_wstring(mToolbar->Height()));
      settings.SetValue(L"Menu.ToolbarRowIndex", std::to_wstring(mToolbar->RowIndex()));
      if (saveVisible == 1) settings.SetValue(L"Menu.ToolbarVisible", mToolbar->Visible() ? L"1" : L"0");
    } catch (const std::exception& e) {
      LOG_ERROR(source, platform::ExceptionText(e));
    }
  }();
  if (batch.Commit() != ERROR_SUCCESS) LOG_ERROR(source, L"the settings cannot be written");
}

void OfficeMenu::SetCommandAvailable(Command command, bool available) {
  RefreshControls();
  try {
    if (mMenuButtons[command].button) mMenuButtons[command].button->SetVisible(available);
    if (mToolbarButtons[command].button) mToolbarButtons[command].button->SetVisible(available);
  } catch (const std::exception& e) {
    LOG_ERROR(mClassName, platform::ExceptionText(e));
  }
}

void OfficeMenu::SetLookupDictAvailable(bool available) { SetCommandAvailable(kLookupDict, available); }
void OfficeMenu::SetRegistDictAvailable(bool available) { SetCommandAvailable(kRegistDict, available); }
void OfficeMenu::SetEngineOptionAvailable(bool available) { SetCommandAvailable(kEngineOption, available); }

void OfficeMenu::ShowAvailability(const engine::EngineCaches& caches, bool withdraw) {
  struct Availability {
    std::int32_t bits;
    void (OfficeMenu::*set)(bool);
  };
  const Availability availability[] = {{kFlagLookup, &OfficeMenu::SetLookupDictAvailable},
                                       {kFlagEngineOptions, &OfficeMenu::SetEngineOptionAvailable},
                                       {kFlagRegistDict, &OfficeMenu::SetRegistDictAvailable}};
  for (const Availability& a : availability) {
    bool any = false;
    for (size_t i = 0; i < caches.Count() && !any; ++i)
      any = (caches.Entry(i).Flags() & a.bits) != 0 && caches.Entry(i).Checked() == 1;
    if (any || withdraw) (this->*a.set)(any);
  }
}

void OfficeMenu::SetControlEnabled(const host::Ptr<host::CommandBarControl>& control, bool enabled, bool onToolbar) {
  if (!control) return;
  if (control->Enabled() != enabled) control->SetEnabled(enabled);
  if (onToolbar && control->Visible()) {
    // Hiding and showing again makes the host redraw it.
    control->SetVisible(false);
    control->SetVisible(true);
  }
}

void OfficeMenu::EnableForFlags(std::int32_t flags) {
  const struct {
    Command command;
    std::int32_t bits;
  } rules[] = {{kTranSheet, kFlagTranslate},     {kTranAll, kFlagTranslate},   {kTranSelect, kFlagTranslate},
               {kTranCopy, kFlagTranslate},      {kTranPaste, kFlagTranslate}, {kLookupDict, kFlagLookup},
               {kEngineOption, kFlagEngineOptions}, {kRegistDict, kFlagRegistDict}};
  for (const auto& rule : rules) {
    const bool on = (flags & rule.bits) != 0;
    SetControlEnabled(mMenuButtons[rule.command].button, on, false);
    SetControlEnabled(mToolbarButtons[rule.command].button, on, true);
  }
}

std::wstring OfficeMenu::ModeCaption(const std::wstring& key) const {
  for (const auto& [k, caption] : mModeCaptions)
    if (k == key) return caption;
  return {};
}

void OfficeMenu::SetTranOption(const std::wstring& name) {
  LOG_INFO(mClassName + L":SetTranOption", L"SetTranOption");
  RefreshControls();
  support::ErrorList::Clear();
  try {
    if (mMenuTranOpts.Count() >= 2 && !name.empty()) mMenuTranOpts.Select(mMenuTranOpts.FindKey(name));
    if (mToolbarOptions) {
      if (mToolbarTranOpts.Count() < 2) {
        mToolbarOptions->SetCaption(L"");
      } else {
        mToolbarOptions->SetCaption(name);
        const int index = mToolbarTranOpts.FindKey(name);
        mToolbarTranOpts.Select(index >= 0 ? index : 0);
      }
    }
  } catch (const std::exception& e) {
    LOG_ERROR(mClassName + L":SetTranOption", platform::ExceptionText(e));
  }
  mSelectedOption = name;
}

void OfficeMenu::SetTranMode(const std::wstring& requested) {
  RefreshControls();
  support::ErrorList::Clear();
  std::wstring key = requested.empty() ? mSelectedMode : requested;
  // A key the list no longer has (an engine unchecked since, a stale stored
  // mode) falls back to the first mode, as an empty one does.
  if (mMenuTranModes.FindKey(key) < 0 && mToolbarTranModes.FindKey(key) < 0) {
    if (mMenuTranModes.Count() > 0) {
      key = mMenuTranModes.Item(0).key;
    } else if (mToolbarTranModes.Count() > 0) {
      key = mToolbarTranModes.Item(0).key;
    } else {
      key.clear();
    }
  }
  std::int32_t flags = 0;
  for (const auto& [k, f] : mModeFlags)
    if (k == key) flags = f;
  try {
    mMenuTranModes.Select(mMenuTranModes.FindKey(key));
    mToolbarTranModes.Select(mToolbarTranModes.FindKey(key));
    if (mToolbarModes) {
      mToolbarModes->SetCaption(ModeCaption(key));
      mToolbarModes->SetEnabled(false);
      mToolbarModes->SetEnabled(true);
    }
    EnableForFlags(key.empty() ? 0 : flags);
  } catch (const std::exception& e) {
    LOG_ERROR(mClassName + L":SetTranMode", platform::ExceptionText(e));
  }
  mSelectedMode = key;
}

void OfficeMenu::mclsMenuTranOpts_ItemClick(int, const std::wstring& key, const host::Ptr<host::CommandBarControl>&) {
  if (mReady == 0) {
    platform::AlertBeep(0);
    return;
  }
  SetTranOption(key);
  if (mCommands) mCommands->TranOptionClick(key);
}

void OfficeMenu::mclsMenuTranModes_ItemClick(int, const std::wstring& key,
                                             const host::Ptr<host::CommandBarControl>&) {
  if (mReady == 0) {
    platform::AlertBeep(0);
    return;
  }
  SetTranMode(key);
  mModeChosen = true;
  if (support::ErrorList::HasError()) support::ErrorList::ErrorReport(mClassName + L"mclsMenuTranModes_ItemClick");
}

}  // namespace menu
