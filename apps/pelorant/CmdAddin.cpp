// The add-in's own commands beyond translate: copy and paste translation
// through the clipboard, the clipboard itself, the menu as built, and the
// toolbar's translation mode. Each deck command is a click on the add-in's
// control, as in PowerPoint.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <ostream>

#include "apps/pelorant/AddinSession.h"
#include "apps/pelorant/Arguments.h"
#include "apps/pelorant/Command.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/powerpoint/ClipboardEx.h"

namespace {

namespace fs = std::filesystem;
using platform::FromUtf8;
using platform::ToUtf8;

struct DeckArgs {
  std::string deck, out, mode, optionSet;
  int slide = 1;
  std::vector<std::string> shapes;
  int textStart = 0, textLength = 0;
  bool json = false;
  std::vector<std::string> positional;
};

bool ParseNumber(const std::string& text, int* value) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
  *value = std::stoi(text);
  return true;
}

// The options the add-in commands share, those of `allowed` only; false
// with the reason in *error.
bool ParseArgs(const std::vector<std::string>& args, const std::vector<std::string>& allowed, DeckArgs* a,
               std::string* error) {
  auto allows = [&](const std::string& o) { return std::find(allowed.begin(), allowed.end(), o) != allowed.end(); };
  app::Arguments cli;
  std::string slide, text;
  CLI::Option* slideGiven = nullptr;
  CLI::Option* shapes = nullptr;
  CLI::Option* textGiven = nullptr;
  if (allows("-o")) cli.Value("-o", &a->out);
  if (allows("--mode")) cli.Value("--mode", &a->mode);
  if (allows("--options")) cli.Value("--options", &a->optionSet);
  if (allows("--slide")) slideGiven = cli.Value("--slide", &slide);
  if (allows("--shape")) shapes = cli.Values("--shape");
  if (allows("--text")) textGiven = cli.Value("--text", &text);
  if (allows("--json")) cli.Flag("--json", &a->json);
  if (!cli.Parse(args, error)) return false;
  a->positional = cli.Words();
  if (shapes != nullptr) a->shapes = shapes->results();
  if (slideGiven != nullptr && slideGiven->count() > 0 && (!ParseNumber(slide, &a->slide) || a->slide < 1)) {
    *error = "--slide needs a slide number from 1 on, not '" + slide + "'";
    return false;
  }
  if (textGiven != nullptr && textGiven->count() > 0) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || !ParseNumber(text.substr(0, colon), &a->textStart) ||
        !ParseNumber(text.substr(colon + 1), &a->textLength) || a->textStart < 1 || a->textLength < 1) {
      *error = "--text needs START:LENGTH, both whole numbers from 1 on, not '" + text + "'";
      return false;
    }
  }
  if (a->textStart > 0 && a->shapes.size() != 1) {
    *error = "--text needs exactly one --shape";
    return false;
  }
  return true;
}

int Usage(const std::string& command, const std::string& message, app::CommandIo& io) {
  io.err << "pelorant " << command << ": " << message << " (see pelorant " << command << " --help)\n";
  return 2;
}

// Opens the deck in a window, shows the slide and selects what the arguments
// name. 0, or the exit status of the failure.
int OpenAndSelect(const std::string& command, app::AddinSession& session, const DeckArgs& a,
                  host::Ptr<host::Presentation>* deck, app::CommandIo& io) {
  try {
    *deck = session.Application()->Presentations()->Open(FromUtf8(a.deck), false, false, true);
  } catch (const platform::ComError& e) {
    io.err << "pelorant " << command << ": " << ToUtf8(e.Description()) << "\n";
    return 1;
  }
  host::Ptr<host::Slides> slides = (*deck)->Slides();
  if (a.slide > slides->Count())
    return Usage(command, "there is no slide " + std::to_string(a.slide) + " in " + a.deck, io);
  host::Ptr<host::DocumentWindow> window = (*deck)->Windows()->Item(1);
  window->View()->GotoSlide(a.slide);
  window->Panes()->Item(2)->Activate();
  if (a.shapes.empty()) return 0;
  host::Ptr<host::Shapes> shapes = slides->Item(a.slide)->Shapes();
  std::vector<std::wstring> names;
  for (const std::string& name : a.shapes) {
    bool found = false;
    for (int i = 1; i <= shapes->Count() && !found; ++i) found = shapes->Item(i)->Name() == FromUtf8(name);
    if (!found) return Usage(command, "there is no shape '" + name + "' on slide " + std::to_string(a.slide), io);
    names.push_back(FromUtf8(name));
  }
  if (a.textStart == 0) {
    shapes->Range(names)->Select();
    return 0;
  }
  host::Ptr<host::Shape> shape = shapes->Item(names[0]);
  const int length = shape->HasTextFrame() ? shape->TextFrame()->TextRange()->Length() : 0;
  if (a.textStart + a.textLength - 1 > length)
    return Usage(command, "--text goes past the " + std::to_string(length) + " characters of the shape", io);
  shape->TextFrame()->TextRange()->Characters(a.textStart, a.textLength)->Select();
  return 0;
}

// Starts PowerPoint with the add-in and picks the mode and option set.
int StartWithChoices(const std::string& command, app::AddinSession& session, const DeckArgs& a,
                     app::CommandIo& io) {
  if (!session.Start({}, 0, 0)) return 1;
  if (int status = session.ChooseMode(a.mode)) return status;
  if (!a.optionSet.empty()) return session.ChooseOptionSet(a.optionSet);
  return 0;
}

const char* const kCopyUsage =
    "Usage: pelorant copy DECK --slide N --shape NAME [--shape NAME]... [--text START:LENGTH]\n"
    "                     [--mode KEY] [--options NAME]\n"
    "\n"
    "Selects the shapes (or characters of one shape) on slide N of DECK and clicks\n"
    "the add-in's \"translate and copy\": the translation goes to the clipboard\n"
    "(the desktop's when a display is set, else pelorant's own clipboard file).\n"
    "DECK is not changed. Exit status: 0 copied, 1 nothing copied (the message is\n"
    "on stderr), 2 bad arguments.\n";

const char* const kPasteUsage =
    "Usage: pelorant paste DECK -o OUT [--slide N] [--shape NAME] [--text START:LENGTH]\n"
    "                      [--mode KEY] [--options NAME]\n"
    "\n"
    "Clicks the add-in's \"translate and paste\": the clipboard's text is translated\n"
    "and written over the selected characters, over the text of the one selected\n"
    "shape, or, with nothing selected, into a new text box at the top left of\n"
    "slide N (default 1). The result is saved to OUT; DECK is not changed.\n"
    "Exit status: 0 pasted and written, 1 nothing pasted, 2 bad arguments.\n";

int RunCopyOrPaste(bool paste, const std::vector<std::string>& args, app::CommandIo& io) {
  const std::string command = paste ? "paste" : "copy";
  DeckArgs a;
  std::string error;
  if (!ParseArgs(args, {"-o", "--mode", "--options", "--slide", "--shape", "--text"}, &a, &error))
    return Usage(command, error, io);
  if (a.positional.size() != 1) return Usage(command, "give one DECK", io);
  a.deck = a.positional[0];
  if (!paste && a.shapes.empty()) return Usage(command, "select something with --shape NAME", io);
  if (!paste && !a.out.empty()) return Usage(command, "copy writes no deck; leave out -o", io);
  if (paste && a.out.empty()) return Usage(command, "where should the result go? Give -o OUT", io);
  std::error_code ec;
  if (paste && fs::equivalent(a.out, a.deck, ec)) return Usage(command, "OUT is DECK itself; give another OUT", io);

  app::AddinSession session(command, io);
  if (int status = StartWithChoices(command, session, a, io)) return status;
  host::Ptr<host::Presentation> deck;
  if (int status = OpenAndSelect(command, session, a, &deck, io)) return status;
  if (!session.Click(paste ? L".MENU.TRAN-PASTE" : L".MENU.TRAN-COPY")) return 1;
  int status = session.ShownError() ? 1 : 0;
  if (paste && status == 0) {
    try {
      deck->SaveCopyAs(FromUtf8(a.out), host::ppSaveAsDefault, false);
      io.err << "pelorant paste: written to " << a.out << "\n";
    } catch (const platform::ComError& e) {
      io.err << "pelorant paste: " << a.out << " could not be written: " << ToUtf8(e.Description()) << "\n";
      status = 1;
    }
  }
  try {
    deck->Close();
  } catch (const platform::ComError&) {
  }
  return status;
}

const char* const kClipboardUsage =
    "Usage: pelorant clipboard get\n"
    "       pelorant clipboard set TEXT     (TEXT - reads standard input)\n"
    "\n"
    "Reads or writes the clipboard's text as the add-in sees it: the desktop's\n"
    "clipboard when a display is set, else pelorant's own clipboard file\n"
    "(PELORANT_CLIPBOARD_FILE, default pelorant/clipboard in the configuration\n"
    "folder). get prints the text without adding a newline.\n";

int RunClipboard(const std::vector<std::string>& args, app::CommandIo& io) {
  powerpoint::ClipboardEx clipboard;
  if (args.size() == 1 && args[0] == "get") {
    io.out << ToUtf8(clipboard.GetText(0, false));
    return 0;
  }
  if (args.size() == 2 && args[0] == "set") {
    std::string text = args[1];
    if (text == "-") text.assign(std::istreambuf_iterator<char>(io.in), std::istreambuf_iterator<char>());
    if (!clipboard.SetText(FromUtf8(text), 0, 0)) {
      io.err << "pelorant clipboard: the clipboard could not be written\n";
      return 1;
    }
    return 0;
  }
  return Usage("clipboard", "give get, or set TEXT", io);
}

const char* const kMenuUsage =
    "Usage: pelorant menu [--mode KEY] [--json]\n"
    "\n"
    "Starts the host with the add-in and prints its menu and toolbar as built:\n"
    "caption, tag, hidden, disabled, group start (|) and the chosen list entries.\n"
    "--mode shows them with that translation mode chosen (not stored).\n";

int RunMenu(const std::vector<std::string>& args, app::CommandIo& io) {
  DeckArgs a;
  std::string error;
  if (!ParseArgs(args, {"--mode", "--json"}, &a, &error)) return Usage("menu", error, io);
  if (!a.positional.empty()) return Usage("menu", "menu takes no deck", io);
  app::AddinSession session("menu", io);
  if (!session.Start({}, 0, 0)) return 1;
  const std::wstring stored = session.Menu().SelectedMode();
  if (!a.mode.empty()) {
    if (int status = session.ChooseMode(a.mode)) return status;
  }
  app::PrintMenu(session, a.json, io.out);
  session.Menu().SetTranMode(stored);
  return 0;
}

const char* const kModeUsage =
    "Usage: pelorant mode [KEY]\n"
    "\n"
    "Without KEY prints the translation mode chosen in the add-in's toolbar (the\n"
    "one translate, copy and paste use by default); with KEY chooses it in the\n"
    "toolbar's list, and the add-in keeps it as it keeps the user's choice.\n";

int RunMode(const std::vector<std::string>& args, app::CommandIo& io) {
  if (args.size() > 1) return Usage("mode", "give at most one KEY", io);
  app::AddinSession session("mode", io);
  DeckArgs a;
  if (!args.empty()) a.mode = args[0];
  if (int status = StartWithChoices("mode", session, a, io)) return status;
  io.out << ToUtf8(session.Menu().SelectedMode()) << "\n";
  return 0;
}

app::CommandRegistration copy{{"copy", "translate the selected text of a deck onto the clipboard", kCopyUsage,
                               [](const auto& args, app::CommandIo& io) { return RunCopyOrPaste(false, args, io); }}};
app::CommandRegistration paste{{"paste", "translate the clipboard's text into a deck", kPasteUsage,
                                [](const auto& args, app::CommandIo& io) { return RunCopyOrPaste(true, args, io); }}};
app::CommandRegistration clipboard{{"clipboard", "read or write the clipboard's text", kClipboardUsage, RunClipboard}};
app::CommandRegistration menuCommand{{"menu", "print the add-in's menu and toolbar as built", kMenuUsage, RunMenu}};
app::CommandRegistration mode{{"mode", "show or choose the toolbar's translation mode", kModeUsage, RunMode}};

}  // namespace
