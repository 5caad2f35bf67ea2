// The options dialog: edits working copies of the option sets, the engine
// list's check marks and (with hidden options on) the facade's switches,
// and writes them only on Apply or OK. Its view (SetupView) shows the pages
// and reports every user action to the handlers below.
//
// User-interface thread only. A handler that fails reports through the
// error list with the source "CDialogSetup:<handler>"; none throws.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/dialogs/SetupView.h"
#include "src/dialogs/SmallDialogViews.h"
#include "src/engine/EngineCaches.h"
#include "src/engine/server/EngineClasses.h"
#include "src/options/TranslationOptions.h"

namespace dialogs {

// The facade's switches and fallback engine, as the hidden page edits them.
struct SetupSwitches {
  std::int32_t displaysProgressBar = 0;
  std::int32_t displaysAlert = 0;
  std::int32_t displaysDocument = 0;
  std::wstring engineGroup;
  std::wstring engineID;
  std::int64_t ownerHWnd = 0;
  bool operator==(const SetupSwitches&) const = default;
};

// What the dialog edits and whom it tells about an Apply: the facade and
// its menu in the add-in, the program's stores on Linux, a fixture in tests.
class SetupHost {
 public:
  virtual ~SetupHost() = default;
  // The stored collections the dialog copies on open and replaces on Apply.
  virtual options::TranslationOptions& Options() = 0;
  virtual engine::EngineCaches& Engines() = 0;
  virtual SetupSwitches Switches() = 0;
  virtual void SetSwitches(const SetupSwitches& switches) = 0;
  // Asks the engine side for the list again (display on); false on failure.
  virtual bool RefreshEngines(engine::EngineCaches& caches) = 0;
  // After an Apply: rebuild the menu's lists and commands from the stored
  // collections.
  virtual void Applied() = 0;
  // "_Setup.ShowHiddenOptions" of the settings store is "True".
  virtual bool ShowHiddenOptions() = 0;
  // The translation servers the user added, stored as soon as added or
  // removed (a server is asked for its pairs when added); null when the
  // engine side keeps none, and the panel then hides its server list.
  virtual engine_server::IServerSettings* Servers() { return nullptr; }
};

class CDialogSetup {
 public:
  // Operations of cmdOptionsOp_Click.
  static constexpr int kOpAdd = 0;
  static constexpr int kOpRemove = 1;
  static constexpr int kOpImport = 2;
  static constexpr int kOpExport = 3;

  CDialogSetup(SetupHost& host, std::unique_ptr<SetupView> view, InputBoxViewFactory inputBox);
  ~CDialogSetup();
  CDialogSetup(const CDialogSetup&) = delete;
  CDialogSetup& operator=(const CDialogSetup&) = delete;

  // Creates the view, initialises it and runs it modally; the close code
  // (1 OK, 2 Cancel), or 0 when the view could not be made.
  int DoModal();

  // Handlers the view calls.
  void OnInitDialog();
  void cmdOK_Click();
  void cmdApply_Click();
  void cmdCancel_Click();
  void cmdReset_Click();
  void Tab_Change(int tabIndex);  // index among the tabs shown
  void lstOptionList_Click();
  void cmdOptionsOp_Click(int operation);
  void optOutputDest_Click();
  void chkColors_Click(int index);  // 0 original's colour, 1 translation's
  void cmdColor_Click(int index);
  // Chooses the glossary file of the option set shown; a cancel changes nothing.
  void cmdBrowseGlossary_Click();
  void lvwEngines_ItemCheck(int row);
  void cmdRefreshEngineList_Click();
  // Asks for a server's name, URL, API and key file, then adds it; removes
  // the selected server after asking. Either refreshes the engine list.
  void cmdAddServer_Click();
  void cmdRemoveServer_Click();
  // Any other control edited by the user (check boxes, radios of the
  // arrangement, font lists, the hidden page's edits).
  void Control_Changed(int page, int id);

  bool IsModified() const { return mModified; }
  bool HiddenOptions() const { return mHidden; }
  // The working copies (tests and views).
  const options::TranslationOptions& WorkingOptions() const { return *mOptions; }
  const engine::EngineCaches& WorkingEngines() const { return *mEngines; }
  int ShownOption() const { return mShown; }

 private:
  void SetModified(bool modified);
  void FillAll();
  void FillOptionList();
  void ShowOption(int index);
  void StoreOption(int index);
  void ApplyOutputRule();
  void FillEngineRows();
  void StoreEngineChecks();
  void FillServerRows();
  // The engine list again after the servers changed.
  void RefreshAfterServers();
  void FillHidden();
  void StoreHidden();
  bool AskText(const std::wstring& prompt, std::wstring* text);
  // Refreshes `engines` from the engine side, reporting 1252 or 1253; false
  // only when the refresh failed (an empty list is a result).
  bool RefreshWorkingEngines(engine::EngineCaches& engines);
  // Apply's work; false when something could not be written.
  bool ApplyChanges();

  SetupHost& mHost;
  std::unique_ptr<SetupView> mView;
  InputBoxViewFactory mInputBox;
  std::unique_ptr<options::TranslationOptions> mOptions;
  std::unique_ptr<engine::EngineCaches> mEngines;
  SetupSwitches mSwitches;
  std::vector<SetupPage> mTabs;
  std::vector<engine_server::ServerRow> mServers;  // as the server list shows them
  int mShown = -1;
  bool mModified = false;
  bool mHidden = false;
  bool mInItemCheck = false;
  // The colours of the set shown, as the swatches show them.
  std::int32_t mColors[2] = {0, 0};
  std::vector<std::vector<std::wstring>> mInstalledFonts;  // per list, the fonts of its character set
  std::vector<std::vector<std::wstring>> mFontNames;       // per list, what it offers for the set shown
  bool mFontListsFilled = false;
};

// The colour chooser's 16 custom colours, kept for the process.
std::array<std::int32_t, 16>& SetupCustomColors();

}  // namespace dialogs
