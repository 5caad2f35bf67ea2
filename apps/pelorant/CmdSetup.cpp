// `pelorant setup`: the options dialog as a full-screen terminal dialog,
// over the option sets and the engine list the other commands use.
#include <ostream>

#include "apps/pelorant/AddinSession.h"
#include "apps/pelorant/Command.h"
#include "apps/pelorant/TerminalDialogs.h"
#include "src/options/TranslationOptions.h"
#include "src/platform/Strings.h"
#include "src/platform/Types.h"

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
  // PowerPoint starts with the add-in, and the user clicks its options item.
  app::AddinSession session("setup", io);
  if (!session.Start({}, 0, 0)) return 1;
  const options::TranslationOptions& sets = session.Main().Facade().GetTranslationOptions();
  if (!sets.LastFailure().empty()) {
    io.err << "pelorant setup: the option sets could not be read: " << platform::ToUtf8(sets.LastFailure()) << "\n";
    return 1;
  }
  app::TakeDialogClose();
  if (!session.Click(L".MENU.OPTION")) return 1;
  return app::TakeDialogClose() == IDOK ? 0 : 1;
}

app::CommandRegistration setup{{"setup", "the options dialog on the terminal", kUsage, Run}};

}  // namespace
