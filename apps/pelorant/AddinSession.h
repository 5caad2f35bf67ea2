// PowerPoint with the add-in loaded: the document host starts, the add-in is
// connected as the host connects it, commands are clicks on the add-in's own
// menu and toolbar controls, and the add-in is disconnected at the end
// (which stores the menu's settings as the add-in does).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "apps/pelorant/Command.h"
#include "src/addin/AddinMain.h"
#include "src/host/Host.h"
#include "src/host/pptx/PptxApplication.h"
#include "src/platform/System.h"

namespace app {

class AddinSession {
 public:
  // progressDialog 0 keeps the run silent (no progress line).
  AddinSession(const std::string& command, CommandIo& io);
  ~AddinSession();
  AddinSession(const AddinSession&) = delete;
  AddinSession& operator=(const AddinSession&) = delete;

  // Starts the host and connects the add-in; false (with the reason on
  // stderr) when either fails. The facade switches are set before the
  // connection uses the facade.
  bool Start(const host::pptx::ApplicationOptions& options, int progressDialog, int follow);
  void Disconnect();

  host::Ptr<host::Application> Application() { return mApplication; }
  addin::AddinMain& Main() { return *addin::CurrentAddinMain(); }
  menu::OfficeMenu& Menu() { return *Main().Menu(); }

  // The add-in's control with the tag ProgID + key; null when there is none.
  host::Ptr<host::CommandBarControl> Control(const std::wstring& key);
  // Clicks it; false with a message when it is missing or disabled.
  bool Click(const std::wstring& key);
  // Chooses the mode in the toolbar's mode list: KEY as given or the one key
  // equal to it regardless of case (empty: keep the menu's mode). Returns
  // the exit status for a failure (2 unknown or unlisted, 1 none at all),
  // else 0.
  int ChooseMode(const std::string& key);
  // Chooses the option set in the toolbar's option list; 2 when unknown.
  int ChooseOptionSet(const std::string& name);

  // Ids of the messages shown since Start.
  const std::vector<int>& ShownMessages() const { return *mShown; }
  bool ShownError() const;

 private:
  std::string mCommand;
  CommandIo& mIo;
  host::Ptr<host::Application> mApplication;
  std::shared_ptr<std::vector<int>> mShown = std::make_shared<std::vector<int>>();
  platform::MessageBoxHandler mPreviousHandler;
  bool mConnected = false;
  host::pptx::ApplicationOptions mOptions;
  int mProgressDialog = 0;
  int mFollow = 0;
  bool mRefreshed = false;
};

// Menus and toolbar as built, one line per control (indented by depth), or
// as JSON.
void PrintMenu(AddinSession& session, bool json, std::ostream& out);

}  // namespace app
