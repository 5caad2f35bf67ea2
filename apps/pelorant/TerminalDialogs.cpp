#include "apps/pelorant/TerminalDialogs.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "apps/pelorant/TerminalWindow.h"
#include "src/dialogs/DialogViews.h"
#include "src/dialogs/TerminalProgressView.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"

namespace app {

namespace terminal {
namespace {

// The toolkit's application object, and the add-in's message boxes as
// terminal dialogs for as long as it runs.
struct Screen {
  int argc = 1;
  char name[9] = "pelorant";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<fc::FApplication> app;
  platform::MessageBoxHandler previousBoxes;

  Screen() : app(std::make_unique<fc::FApplication>(argc, argv)) {
    previousBoxes = platform::SetMessageBoxHandler(TerminalMessageBox);
  }
  ~Screen() {
    platform::SetMessageBoxHandler(previousBoxes);
    app.reset();
  }
};

std::weak_ptr<Screen> gScreen;
std::wstring gTypedWord;
int gClose = 0;

}  // namespace

TerminalScreen::TerminalScreen() {
  std::shared_ptr<Screen> screen = gScreen.lock();
  if (!screen) {
    screen = std::make_shared<Screen>();
    gScreen = screen;
  }
  mScreen = std::move(screen);
}

TerminalScreen::~TerminalScreen() = default;

std::unique_ptr<ModalWindow> TerminalScreen::OpenWindow(fc::FSize minimum, std::function<void()> onCloseRequest) {
  fc::FApplication* app = fc::FApplication::getApplicationObject();
  if (app == nullptr) return nullptr;
  auto window = std::make_unique<ModalWindow>(app);
  const fc::FSize size{std::max(minimum.getWidth(), app->getDesktopWidth() - 2),
                       std::max(minimum.getHeight(), app->getDesktopHeight() - 2)};
  window->setGeometry(fc::FPoint{1, 1}, size);
  window->onCloseRequest = std::move(onCloseRequest);
  return window;
}

int TerminalScreen::Closed(int code) {
  gClose = code;
  return code;
}

std::wstring TerminalScreen::TakeTypedWord() { return std::exchange(gTypedWord, std::wstring()); }

}  // namespace terminal

void RegisterTerminalViews() {
  dialogs::DialogViewFactories& views = dialogs::ViewFactories();
  views.setup = terminal::MakeSetupView;
  views.lookup = terminal::MakeLookupView;
  views.inputBox = terminal::MakeInputBox;
  powerpoint::PowerPointTranslationProcess::Instance().SetProgressViewFactory(
      [] { return dialogs::MakeTerminalProgressView(); });
}

bool TerminalAvailable() { return ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO); }

void TypeIntoNextLookup(const std::wstring& word) { terminal::gTypedWord = word; }

int TakeDialogClose() { return std::exchange(terminal::gClose, 0); }

}  // namespace app
