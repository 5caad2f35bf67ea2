// The add-in's main object behind the host connection: what connecting
// builds (the facade, the menu and toolbar) and disconnecting tears down,
// and the click handlers through which every command reaches the facade.
//
// OnConnection/OnDisconnection are what the host's connection object calls;
// they keep the one process-wide AddinMain and never fail outward.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "src/addin/AddinApplication.h"
#include "src/host/Host.h"
#include "src/menu/OfficeMenu.h"
#include "src/platform/Types.h"

namespace addin {

// The add-in's registered names.
inline constexpr wchar_t kProgId[] = L"VelmoraMsPowerPoint.Addin";
inline constexpr wchar_t kClassId[] = L"{03673A7E-14CB-4B46-A8C5-18E3A6C7C433}";

// "Name.Addin.1" -> "Name.Addin": tags and OnAction use the name the add-in
// key is registered under, not the versioned one the class registry gives.
std::wstring UnversionedProgId(const std::wstring& progId);

class AddinMain : public menu::MenuCommands {
 public:
  // The ProgID of the add-in's class, as the class registry gives it.
  using ProgIdLookup = std::function<HRESULT(std::wstring* progId)>;
  // Lets a test or host choose the facade's parts before the connection
  // makes it (the switches start at 1, 1, 1).
  using FacadeSetup = std::function<void(AddinApplication::Parts& parts)>;

  AddinMain();
  ~AddinMain() override;
  AddinMain(const AddinMain&) = delete;
  AddinMain& operator=(const AddinMain&) = delete;

  // application and addInInst stand for the host's objects; custom is the
  // data of the custom array (null: no array). S_OK or the failing step's
  // result; nothing is thrown.
  HRESULT OnConnectionWrapper(const host::Ptr<host::Application>& application, const std::shared_ptr<void>& addInInst,
                              const std::vector<std::uint32_t>* custom);
  void OnDisconnectionWrapper();

  AddinApplication& Facade() { return *mFacade; }
  menu::OfficeMenu* Menu() { return mMenu.get(); }
  std::uint32_t LaunchKind() const { return mLaunchKind; }

  // MenuCommands
  void TranSheetClick() override;
  void TranAllClick() override;
  void TranSelectClick() override;
  void TranCopyClick() override;
  void TranPasteClick() override;
  void LookupDictClick() override;
  void ShowEngineOptionClick() override;
  void ShowDictionaryRegistrationClick() override;
  void ShowVersionClick() override;
  void ShowHelpClick() override;
  void ShowOptionClick() override;
  void TranOptionClick(const std::wstring& name) override;
  void BeforeCommand() override;
  void AfterCommand() override;
  // True while a command or a click runs (a click ends with AfterCommand,
  // after the messages it shows once its command returned).
  bool Running() const { return mRunDepth > 0; }

  // Process-wide settings the connection uses (set before connecting).
  static void SetProgIdLookup(ProgIdLookup lookup);
  static void SetFacadeSetup(FacadeSetup setup);

 private:
  // The frame every command handler shares; needsMode handlers run only with
  // a chosen mode and hold the ready flag down meanwhile.
  void RunHandler(const wchar_t* name, bool needsMode, bool reportAfter, const std::function<void()>& command);

  host::Ptr<host::Application> mApplication;
  std::shared_ptr<void> mAddInInst;
  std::wstring mClassName = L"AddinMain";
  std::uint32_t mLaunchKind = 0;
  int mRunDepth = 0;
  std::unique_ptr<AddinApplication> mFacade;
  std::unique_ptr<menu::OfficeMenu> mMenu;
};

// The process's AddinMain (null while not connected).
AddinMain* CurrentAddinMain();

// What the host's connection object calls. Both always answer S_OK; a
// failure is shown once as message 1001 (0x80040101 silently).
HRESULT OnConnection(const host::Ptr<host::Application>& application, const std::shared_ptr<void>& addInInst,
                     const std::vector<std::uint32_t>* custom);
HRESULT OnDisconnection();

}  // namespace addin
