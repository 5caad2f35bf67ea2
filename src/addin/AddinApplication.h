// The command facade: every user command runs through it. It turns the
// chosen translation mode and option set into one run option record, makes
// sure the host is alive and the abbreviation tables are loaded, and hands
// the work to the PowerPoint layer. It owns the option sets and the engine
// list, both made on first use.
//
// User-interface thread only (the watchdog it owns has a thread of its own).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "src/addin/TimeOutWatchdog.h"
#include "src/dialogs/CDialogSetup.h"
#include "src/engine/EngineCaches.h"
#include "src/host/Host.h"
#include "src/options/TranslationOptionUDT.h"
#include "src/options/TranslationOptions.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"

namespace menu {
class OfficeMenu;
}

namespace addin {

class AddinApplication : public powerpoint::RunCaller {
 public:
  // Finds the running host again when the held one is dead (its Version
  // reads empty); null when there is none. The default finds none.
  using Reconnector = std::function<host::Ptr<host::Application>()>;
  // Fills a new engine list; the default loads the cache file and refreshes
  // it from the engine side as its settings say. The refresher asks the
  // engine side again when a mode names no engine of the list.
  using EngineListFiller = std::function<bool(engine::EngineCaches& caches, bool display)>;
  // Keeps the engine list for the next start when the facade goes (at the
  // add-in's unload); the default saves it to the cache file when it
  // changed. A list from a filler of one's own is kept by whoever gave the
  // filler, through a saver of their own: it never reaches the cache file.
  using EngineListSaver = std::function<void(engine::EngineCaches& caches)>;
  // Loads a new option set collection; the default reads the registry.
  using OptionsLoader = std::function<bool(options::TranslationOptions& options)>;

  // What the facade is made with; every part left empty is the product's own.
  struct Parts {
    // The three facade switches (progress dialog, show messages, follow).
    int progressDialog = 0;
    int showMessages = 0;
    int follow = 0;
    Reconnector reconnect{};
    EngineListFiller fillEngineList{};
    EngineListFiller refreshEngineList{};
    EngineListSaver saveEngineList{};
    OptionsLoader loadOptions{};
    // The PowerPoint layer the commands run on (the process-wide one when null).
    powerpoint::PowerPointTranslationProcess* process = nullptr;
    // The watchdog's step (tests shorten it).
    std::chrono::milliseconds watchdogStep = TimeOutWatchdog::kDefaultStep;
  };

  AddinApplication();
  explicit AddinApplication(Parts parts);
  ~AddinApplication() override;
  AddinApplication(const AddinApplication&) = delete;
  AddinApplication& operator=(const AddinApplication&) = delete;

  void SetApplication(host::Ptr<host::Application> application);
  // The PowerPoint layer the commands run on.
  powerpoint::PowerPointTranslationProcess& Process();
  void SetSwitches(int progressDialog, int showMessages, int follow);

  void TranslateSheet(std::wstring mode, std::wstring optionSetName);
  void TranslateAll(std::wstring mode, std::wstring optionSetName);
  void TranslateSelection(std::wstring mode, std::wstring optionSetName);
  void TranslateCopy(std::wstring mode, std::wstring optionSetName);
  void TranslatePaste(std::wstring mode, std::wstring optionSetName);
  // The engine of the mode shows its own settings or dictionary registration
  // dialog; an engine that cannot be opened gives message 1251.
  void ShowEngineOptionDialog(std::wstring mode);
  void ShowDictionaryRegistrationDialog(std::wstring mode);
  // The options dialog over the facade's own collections: an Apply takes
  // effect at once, and refreshes the menu's lists and commands when a menu
  // is given. Logs and returns when no view can be made.
  void ShowOptionDialog(menu::OfficeMenu* menu);
  // The dictionary lookup dialog, preselecting the engine of the mode, with
  // the host's selected text as the word it searches by itself.
  void LookupDictionary(std::wstring mode);
  // The product title, version and copyright in the version box.
  void ShowVersionDialog();
  // Finds addins<language id>.chm, else addins.chm, beside the add-in and
  // hands it to the platform's help viewer;
  // message 1401 when neither exists.
  void ShowHelpFile();

  // The switches and fallback engine as the options dialog's hidden page
  // edits them.
  dialogs::SetupSwitches GetSetupSwitches() const;
  void SetSetupSwitches(const dialogs::SetupSwitches& switches);
  // Asks the engine side for the list again (the refresher's way).
  bool RefreshEngineList(engine::EngineCaches& caches, bool display);

  options::TranslationOptions& GetTranslationOptions();
  engine::EngineCaches& GetEngineCaches();
  void NotifyProgress(std::int64_t current, std::int64_t total) override;
  // Builds the record for a command. With `translates`, also reads the
  // option set's glossary into it; a glossary that cannot be read is message
  // 1403 naming the file and why, and false: the command must not run
  // without the terms the user asked for.
  bool fncPrepareForUseAppModule(const std::wstring& mode, const std::wstring& optionSetName,
                                 options::TranslationOptionUDT& record, bool translates = false);
  void fncGetOptionUDT(options::TranslationOptionUDT& record, const std::wstring& mode,
                       const std::wstring& optionSetName);

  // RunCaller
  host::Ptr<host::Application> GetApplication() override { return mApplication; }
  void StartTimeOut(std::int32_t milliseconds) override;
  void StopTimeOut() override;
  bool TimedOut() const override;
  options::TranslatedParts PartsToTranslate() const override { return mTranslatedParts; }

  bool Reconnected() const { return mReconnected != 0; }
  // The language whose abbreviation table is loaded, in lower case.
  const std::wstring& AbbreviationLanguage() const { return mAbbreviationLang; }

 private:
  enum class Command { Sheet, All, Selection, Copy, Paste, EngineOption, DictionaryRegistration, Lookup };
  void ShowEngineDialog(bool registration);
  void OpenLookupDialog(const options::TranslationOptionUDT& record);
  void RunCommand(Command command, const wchar_t* name, const std::wstring& mode,
                  const std::wstring& optionSetName);
  void EnsureHost();
  // The set a command names, else the selected one, else "default".
  const options::TranslationOption* FindOptionSet(const std::wstring& optionSetName);
  void EnsureAbbreviations(const std::wstring& fromLang);

  std::unique_ptr<engine::EngineCaches> mEngineCaches;
  std::unique_ptr<options::TranslationOptions> mTranslationOptions;
  std::wstring mFallbackEngineID;
  std::wstring mFallbackEngineGroup;
  std::int32_t mProgressDialog = 0;
  std::int32_t mShowMessages = 0;
  std::int32_t mFollow = 0;
  std::int64_t mOwnerWindow = 0;
  std::int64_t mProgressTarget = 0;
  std::wstring mClassName = L"AddinApplication";
  std::int32_t mReconnected = 0;
  host::Ptr<host::Application> mApplication;
  // Those of the option set the command at hand runs with.
  options::TranslatedParts mTranslatedParts;

  Reconnector mReconnector;
  EngineListFiller mFillEngineList;
  EngineListFiller mRefreshEngineList;
  EngineListSaver mSaveEngineList;
  OptionsLoader mLoadOptions;
  powerpoint::PowerPointTranslationProcess* mProcess = nullptr;
  std::unique_ptr<TimeOutWatchdog> mWatchdog;
  std::wstring mAbbreviationLang;
};

}  // namespace addin
