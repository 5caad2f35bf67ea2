#include <ostream>

#include "apps/pelorant/AddinSession.h"
#include "apps/pelorant/Command.h"
#include "apps/pelorant/TerminalDialogs.h"
#include "apps/pelorant/TranslationMode.h"
#include "src/engine/Engine.h"
#include "src/platform/ComError.h"
#include "src/platform/Strings.h"
#include "src/support/ErrorList.h"
#include "src/support/ResourceModule.h"

namespace {

std::string Usage() {
  return std::string(
             "Usage: pelorant lookup [--mode KEY] WORD\n"
             "       pelorant lookup -i [--mode KEY] [WORD]\n"
             "\n"
             "Looks WORD up in the dictionary of the mode's engine and prints the entry.\n"
             "With -i (--interactive) the dictionary lookup dialog opens on the terminal\n"
             "instead, with the mode's dictionary chosen; a WORD given is searched by\n"
             "itself a second after the dialog opens. Words searched there are kept in\n"
             "the lookup history of their dictionary.\n"
             "\n") +
         app::kModeHelp +
         "\n"
         "Exit status: 0 found; 1 not found or the engine could not be used; 2 bad\n"
         "arguments or unknown mode.\n"
         "\n"
         "Example: pelorant lookup --mode Apertium:eng-spa house\n";
}

int RunInteractive(const std::string& key, const std::vector<std::string>& words, app::CommandIo& io) {
  if (words.size() > 1) {
    io.err << "pelorant lookup: give at most one WORD with -i\n";
    return 2;
  }
  if (!app::TerminalAvailable()) {
    io.err << "pelorant lookup: -i needs a terminal\n";
    return 2;
  }
  // PowerPoint starts with the add-in; the user picks the mode in its list,
  // then clicks the lookup item. The mode is chosen for this lookup only:
  // the user's stored choice stays, as lookup without -i leaves it.
  app::AddinSession session("lookup", io);
  if (!session.Start({}, 0, 0)) return 1;
  const std::wstring stored = session.Menu().SelectedMode();
  if (int status = session.ChooseMode(key)) return status;
  if (!words.empty()) app::TypeIntoNextLookup(platform::FromUtf8(words[0]));
  const bool clicked = session.Click(L".MENU.LOOKUP-DICT");
  session.Menu().SetTranMode(stored);
  return clicked && !session.ShownError() ? 0 : 1;
}

int Run(const std::vector<std::string>& rawArgs, app::CommandIo& io) {
  std::string key;
  std::vector<std::string> words;
  std::vector<std::string> args;
  bool interactive = false;
  for (const auto& a : rawArgs) {
    if (a == "-i" || a == "--interactive") {
      interactive = true;
    } else {
      args.push_back(a);
    }
  }
  if (!app::ParseModeOption("lookup", args, &key, &words, io)) return 2;
  if (interactive) return RunInteractive(key, words, io);
  if (words.size() != 1 || words[0].empty()) {
    io.err << "pelorant lookup: give one WORD (see pelorant lookup --help)\n";
    return 2;
  }
  std::optional<app::ModeChoice> mode = app::ChooseMode("lookup", key, io);
  if (!mode) return key.empty() ? 1 : 2;
  if ((mode->entry.Flags() & engine_server::kPairFlagDictionary) == 0) {
    io.err << "pelorant lookup: the engine of " << platform::ToUtf8(mode->entry.EngineKey())
           << " has no dictionary to look words up in\n";
    return 1;
  }

  engine::Engine& eng = engine::Engine::Instance();
  support::ErrorList::Clear();
  bool opened = false;
  try {
    opened = eng.OpenEngine(mode->entry.EngineGroup(), mode->entry.EngineID(), mode->displayLanguage,
                            mode->entry.FromLang());
  } catch (const platform::ComError& e) {
    io.err << "pelorant lookup: " << e.what() << "\n";
  }
  if (!opened) {
    support::ErrorList::Add(1251, L"");
    app::PrintErrors("lookup", io);
    return 1;
  }
  std::wstring result;
  bool found = false;
  try {
    found = eng.LookupWord(platform::FromUtf8(words[0]), &result);
  } catch (...) {
    eng.CloseEngine();
    throw;
  }
  eng.CloseEngine();
  if (!found) {
    LONG code = eng.LastErrorCode();
    io.err << "pelorant lookup: " << words[0] << ": "
           << platform::ToUtf8(support::LoadText(support::ErrorList::EngineErrorToMessageId(code))) << "\n";
    return 1;
  }
  std::string out = platform::ToUtf8(result);
  if (out.empty() || out.back() != '\n') out += '\n';
  io.out << out;
  return 0;
}

app::CommandRegistration lookup{{"lookup", "look a word up in an engine's dictionary", Usage(), Run}};

}  // namespace
