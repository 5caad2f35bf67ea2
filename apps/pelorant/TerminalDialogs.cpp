#include "apps/pelorant/TerminalDialogs.h"

#include <unistd.h>

#include "apps/pelorant/TerminalWindow.h"

namespace app {

namespace fc = finalcut;

struct TerminalUi::State {
  int argc = 1;
  char name[9] = "pelorant";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<fc::FApplication> app;
  platform::MessageBoxHandler previousBoxes;
};

TerminalUi::TerminalUi() : mState(std::make_unique<State>()) {
  mState->app = std::make_unique<fc::FApplication>(mState->argc, mState->argv);
  mState->previousBoxes = platform::SetMessageBoxHandler(terminal::TerminalMessageBox);
}

TerminalUi::~TerminalUi() {
  platform::SetMessageBoxHandler(mState->previousBoxes);
  mState->app.reset();
}

bool TerminalUi::Available() { return ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO); }

dialogs::DialogViewFactories TerminalUi::Factories() {
  dialogs::DialogViewFactories f;
  f.setup = [] { return terminal::MakeSetupView(); };
  f.lookup = [] { return terminal::MakeLookupView(); };
  f.inputBox = [] { return terminal::MakeInputBox(); };
  return f;
}

}  // namespace app
