// `pelorant setup`: the options dialog as a full-screen terminal dialog,
// over the option sets and the engine list the other commands use.
#include <ostream>

#include "apps/pelorant/Command.h"
#include "apps/pelorant/TerminalDialogs.h"
#include "src/dialogs/CDialogSetup.h"
#include "src/dialogs/DialogViews.h"
#include "src/engine/EngineCaches.h"
#include "src/engine/server/EngineClasses.h"
#include "src/options/RegistrySettings.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Strings.h"
#include "src/support/Log.h"

namespace {

const char* const kUsage =
    "Usage: pelorant setup\n"
    "\n"
    "Opens the add-in's options dialog on the terminal: the option sets, the\n"
    "basic and detailed settings, the fonts, the engine list and the translation\n"
    "servers, with the same controls and rules as in PowerPoint. OK and Apply\n"
    "write the changes to the settings store, as `pelorant options` and\n"
    "`pelorant engines` do; Cancel forgets them. A server added or removed is\n"
    "stored at once, as `pelorant engines add-server` and `remove-server` do.\n"
    "Keys: Tab moves between controls, Enter or Space presses a button or ticks\n"
    "a box, Escape closes the dialog without storing.\n"
    "\n"
    "Exit status: 0 closed with OK; 1 cancelled or the settings could not be\n"
    "read; 2 not on a terminal.\n";

// The program has no facade: the switches the hidden page edits live for
// this run only, and an Apply has no menu to refresh.
class ProgramSetupHost : public dialogs::SetupHost {
 public:
  options::TranslationOptions& Options() override { return options; }
  engine::EngineCaches& Engines() override { return engines; }
  dialogs::SetupSwitches Switches() override { return switches; }
  void SetSwitches(const dialogs::SetupSwitches& s) override { switches = s; }
  bool RefreshEngines(engine::EngineCaches& caches) override { return caches.RefreshCache(true, false); }
  void Applied() override { LOG_INFO(L"pelorant:setup", L"the settings were applied"); }
  bool ShowHiddenOptions() override {
    options::RegistrySettings reg(options::RegistrySettings::CommonPath());
    if (!reg.OpenRead(platform::Hive::CurrentUser, L"", platform::Hive::LocalMachine)) return false;
    return reg.QueryValue(L"_Setup.ShowHiddenOptions", L"False") == L"True";
  }

  engine_server::IServerSettings* Servers() override {
    if (!servers && FAILED(engine_server::CreateServerSettings(&servers))) servers.reset();
    return servers.get();
  }

  options::TranslationOptions options;
  engine::EngineCaches engines;
  std::shared_ptr<engine_server::IServerSettings> servers;
  dialogs::SetupSwitches switches;
};

int Run(const std::vector<std::string>& args, app::CommandIo& io) {
  for (const auto& a : args) {
    if (a == "--help" || a == "-h") {
      io.out << kUsage;
      return 0;
    }
    io.err << "pelorant setup: unknown argument " << a << "\n\n" << kUsage;
    return 2;
  }
  if (!app::TerminalAvailable()) {
    io.err << "pelorant setup: needs a terminal; use `pelorant options` in scripts\n";
    return 2;
  }
  ProgramSetupHost host;
  if (!host.options.Load(false)) {
    io.err << "pelorant setup: the option sets could not be read: " << platform::ToUtf8(host.options.LastFailure())
           << "\n";
    return 1;
  }
  if (!host.engines.LoadCache(false)) LOG_WARNING(L"pelorant:setup", host.engines.LastFailure());
  const dialogs::DialogViewFactories& views = dialogs::ViewFactories();
  dialogs::CDialogSetup dialog(host, views.setup(), views.inputBox);
  return dialog.DoModal() == 1 ? 0 : 1;
}

app::CommandRegistration setup{{"setup", "the options dialog on the terminal", kUsage, Run}};

}  // namespace
