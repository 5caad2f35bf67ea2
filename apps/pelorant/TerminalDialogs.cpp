#include "apps/pelorant/TerminalDialogs.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "apps/pelorant/TerminalWindow.h"
#include "src/dialogs/DialogViews.h"
#include "src/dialogs/TerminalProgressView.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"

namespace app {

namespace terminal {
namespace {

// The toolkit asks the terminal what it is and waits a fixed time for each
// answer; an answer later than that arrives as input and swallows the keys
// and clicks read with it. The terminal answers in order, so everything it
// sends up to the answer to a status report asked for now is its own, and
// dropped. The bound only keeps a terminal that never answers from hanging.
void DropLateAnswers() {
  constexpr char kAsk[] = "\x1b[5n";
  constexpr char kAnswer[] = "\x1b[0n";
  if (::write(STDOUT_FILENO, kAsk, sizeof kAsk - 1) != static_cast<ssize_t>(sizeof kAsk - 1)) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::string read;
  while (read.find(kAnswer) == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    pollfd input{STDIN_FILENO, POLLIN, 0};
    char buffer[256];
    if (left <= 0 || ::poll(&input, 1, static_cast<int>(left)) <= 0) return;
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) return;
    read.append(buffer, static_cast<std::size_t>(n));
  }
}

// The toolkit's application object, and the add-in's message boxes as
// terminal dialogs for as long as it runs.
struct Screen {
  int argc = 1;
  char name[9] = "pelorant";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<fc::FApplication> app;
  platform::MessageBoxHandler previousBoxes;

  Screen() : app(std::make_unique<fc::FApplication>(argc, argv)) {
    app->initTerminal();
    DropLateAnswers();
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
