// The add-in's menu (a popup at the end of the host's "Menu Bar") and its
// toolbar, built in the host's command bars: every command button with its
// click sink, the option-set and translation-mode lists, the toolbar's place
// and visibility kept from one start to the next, and the commands that only
// some engines support.
//
// User-interface thread only. Host calls that fail raise ComError out of
// CreateMenu/CreateToolbar/Initialize; the others absorb and log failures.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/engine/EngineCaches.h"
#include "src/host/Host.h"
#include "src/menu/GroupButtons.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Types.h"

namespace menu {

// What the menu's clicks reach (the add-in's main object).
class MenuCommands {
 public:
  virtual ~MenuCommands() = default;
  virtual void TranSheetClick() = 0;
  virtual void TranAllClick() = 0;
  virtual void TranSelectClick() = 0;
  virtual void TranCopyClick() = 0;
  virtual void TranPasteClick() = 0;
  virtual void LookupDictClick() = 0;
  virtual void ShowEngineOptionClick() = 0;
  virtual void ShowDictionaryRegistrationClick() = 0;
  virtual void ShowVersionClick() = 0;
  virtual void ShowHelpClick() = 0;
  virtual void ShowOptionClick() = 0;
  virtual void TranOptionClick(const std::wstring& name) = 0;
  // A click's first and last acts: everything between counts as running,
  // the messages shown after the command included, so that the commands end
  // the connection (and with it the menu) only in AfterCommand, after which
  // the menu touches nothing of its own.
  virtual void BeforeCommand() {}
  virtual void AfterCommand() {}
};

// Engine Flags bits that decide which commands a mode offers.
inline constexpr std::int32_t kFlagTranslate = 0x1;
inline constexpr std::int32_t kFlagLookup = 0x8;
inline constexpr std::int32_t kFlagEngineOptions = 0x10000 | 0x20000;
inline constexpr std::int32_t kFlagRegistDict = 0x40000;

class OfficeMenu {
 public:
  enum Command {
    kTranSheet, kTranAll, kTranSelect, kTranCopy, kTranPaste, kLookupDict, kRegistDict,
    kOption, kEngineOption, kToolbar, kVersion, kHelp, kCommandCount
  };

  explicit OfficeMenu(MenuCommands* commands);
  ~OfficeMenu();
  OfficeMenu(const OfficeMenu&) = delete;
  OfficeMenu& operator=(const OfficeMenu&) = delete;

  HRESULT Initialize(const host::Ptr<host::Application>& application, const std::wstring& progId);
  HRESULT CreateMenu(engine::EngineCaches& caches, options::TranslationOptions& sets);
  HRESULT CreateToolbar(engine::EngineCaches& caches, options::TranslationOptions& sets);
  // Also removes what an earlier run of the host left behind.
  void RemoveMenu();
  void RemoveToolbar();
  bool SettingsLoad(int unused);
  // saveVisible: also store whether the toolbar is shown. Stores only what
  // SettingsLoad applied: after a start that failed before it, nothing; the
  // mode only once the user chose one, so that a stored mode the lists do
  // not hold today (its engine unreachable) is kept for the next start.
  void SettingsSave(int saveVisible);

  // Fills the option and mode lists of the menu and the toolbar (those that
  // exist) again, after the options dialog changed the collections.
  HRESULT RefreshLists(engine::EngineCaches& caches, options::TranslationOptions& sets);

  void SetToolbarVisible(bool visible);
  void SetLookupDictAvailable(bool available);
  void SetRegistDictAvailable(bool available);
  void SetEngineOptionAvailable(bool available);
  // Offers lookup, engine options and dictionary registration where a
  // checked engine has the command's flag; `withdraw` also takes back those
  // no checked engine has, else they keep what they showed.
  void ShowAvailability(const engine::EngineCaches& caches, bool withdraw);
  void SetTranOption(const std::wstring& name);
  void SetTranMode(const std::wstring& key);
  // Find every control of the menu (of the toolbar) again by its tag: the
  // host may have recreated one since, and a change made to the old one
  // would be lost. Click sinks move to the controls found. Every change to
  // the controls after their creation calls these first.
  void RefreshMenuControls();
  void RefreshToolbarControls();

  std::int32_t Ready() const { return mReady; }
  void SetReady(std::int32_t ready) { mReady = ready; }
  const std::wstring& SelectedMode() const { return mSelectedMode; }
  const std::wstring& SelectedOptionName() const { return mSelectedOption; }
  const std::wstring& ToolbarName() const { return mToolbarName; }
  const std::wstring& ProgId() const { return mProgId; }
  bool ToolbarVisible() const { return mToolbarVisible != 0; }

  void mclsMenuTranOpts_ItemClick(int index, const std::wstring& key, const host::Ptr<host::CommandBarControl>& b);
  void mclsMenuTranModes_ItemClick(int index, const std::wstring& key, const host::Ptr<host::CommandBarControl>& b);

 private:
  void OnCommandClick(Command command, const std::wstring& handlerName);
  void RefreshControls();
  host::Ptr<host::CommandBarControl> FindTagged(const std::wstring& key);
  host::Ptr<host::CommandBarControl> AddOfficeButton(const host::Ptr<host::CommandBarControls>& controls,
                                                     Command command, bool toolbar);
  // Below host version 10 the icon goes through the clipboard (PasteFace);
  // from 10 on, picture and mask are set. Throws when the face cannot be set.
  void SetButtonFace(const host::Ptr<host::CommandBarControl>& button, int icon, int picture, int mask);
  HRESULT FillLists(engine::EngineCaches& caches, options::TranslationOptions& sets, bool toolbar);
  HRESULT fncRefreshTranOptionItems(options::TranslationOptions& sets, const std::wstring& prefix,
                                    const host::Ptr<host::CommandBarControl>& list, GroupButtons& buttons);
  HRESULT fncRefreshTranModeItems(engine::EngineCaches& caches, const std::wstring& prefix,
                                  const host::Ptr<host::CommandBarControl>& list, GroupButtons& buttons);
  void SetControlEnabled(const host::Ptr<host::CommandBarControl>& control, bool enabled, bool onToolbar);
  void SetCommandAvailable(Command command, bool available);
  void EnableForFlags(std::int32_t flags);
  std::wstring ModeCaption(const std::wstring& key) const;

  MenuCommands* mCommands;
  host::Ptr<host::Application> mApplication;
  host::Ptr<host::CommandBars> mCommandBars;
  std::wstring mClassName = L"OfficeMenu";
  std::wstring mProgId;
  std::wstring mToolbarName;
  std::int32_t mReady = 1;
  std::int32_t mToolbarVisible = 1;
  std::wstring mSelectedMode;
  std::wstring mSelectedOption;
  bool mSettingsLoaded = false;
  bool mModeChosen = false;
  // Flags of the listed modes by key, for enabling.
  std::vector<std::pair<std::wstring, std::int32_t>> mModeFlags;
  std::vector<std::pair<std::wstring, std::wstring>> mModeCaptions;

  host::Ptr<host::CommandBarControl> mMenuPopup;
  host::Ptr<host::CommandBarControl> mMenuOptions;
  host::Ptr<host::CommandBarControl> mMenuModes;
  std::array<ConnectedButton, kCommandCount> mMenuButtons;
  host::Ptr<host::CommandBar> mToolbar;
  host::Ptr<host::CommandBarControl> mToolbarOptions;
  host::Ptr<host::CommandBarControl> mToolbarModes;
  std::array<ConnectedButton, kCommandCount> mToolbarButtons;  // no toolbar, version nor menu entries for some
  GroupButtons mMenuTranOpts;
  GroupButtons mMenuTranModes;
  GroupButtons mToolbarTranOpts;
  GroupButtons mToolbarTranModes;
};

}  // namespace menu
