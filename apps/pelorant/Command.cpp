#include "apps/pelorant/Command.h"

#include <algorithm>
#include <map>
#include <ostream>

#include "engines/fake/FakeEngine.h"
#include "src/platform/Strings.h"

namespace app {
namespace {
std::map<std::string, Command>& Registry() {
  static std::map<std::string, Command> commands;
  return commands;
}
}  // namespace

CommandRegistration::CommandRegistration(Command command) {
  std::string name = command.name;
  Registry()[name] = std::move(command);
}

const std::vector<Command>& Commands() {
  static std::vector<Command> sorted;
  if (sorted.size() != Registry().size()) {
    sorted.clear();
    for (auto& [name, cmd] : Registry()) sorted.push_back(cmd);
  }
  return sorted;
}

const Command* FindCommand(const std::string& name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? nullptr : &it->second;
}

static void PrintHelp(std::ostream& out) {
  out << "Usage: pelorant COMMAND [ARGUMENTS]\n"
         "\n"
         "Plays PowerPoint's part for the Pelorant translation add-in over .pptx files.\n"
         "\n"
         "Commands:\n";
  std::vector<std::pair<std::string, std::string>> rows;
  for (auto& c : Commands()) rows.emplace_back(c.name, c.summary);
  rows.emplace_back("", "");
  rows.emplace_back("--version", "show the add-in's version box");
  rows.emplace_back("--help", "show this text; `pelorant help COMMAND` for one command");
  size_t width = 0;
  for (auto& [name, summary] : rows) width = std::max(width, name.size());
  for (auto& [name, summary] : rows) {
    if (name.empty()) {
      out << "\n";
      continue;
    }
    out << "  " << name << std::string(width - name.size() + 2, ' ') << summary << "\n";
  }
  out << "\n"
         "Environment:\n"
         "  PELORANT_FAKE_ENGINE=FILE  adds the scripted test engine that FILE describes\n"
         "                             to every command's engines (see the README); FILE\n"
         "                             must exist, and an empty one adds no engine\n"
         "\n"
         "Translate a deck from English to Spanish:\n"
         "  pelorant translate talk.pptx -o talk.es.pptx --mode Apertium:eng-spa\n";
}

int RunMain(const std::vector<std::string>& argv, CommandIo& io) {
  if (argv.size() < 2 || argv[1] == "--help" || argv[1] == "-h") {
    PrintHelp(io.out);
    return argv.size() < 2 ? 2 : 0;
  }
  std::string name = argv[1];
  if (name == "--version") name = "version";
  if (name == "help") {
    if (argv.size() > 2) {
      if (const Command* c = FindCommand(argv[2])) {
        io.out << c->usage;
        return 0;
      }
      io.err << "pelorant: unknown command '" << argv[2] << "'\n";
      return 2;
    }
    PrintHelp(io.out);
    return 0;
  }
  const Command* c = FindCommand(name);
  if (!c) {
    io.err << "pelorant: unknown command '" << name << "' (see pelorant --help)\n";
    return 2;
  }
  std::vector<std::string> args(argv.begin() + 2, argv.end());
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    io.out << c->usage;
    return 0;
  }
  // The one switch for the scripted test engine: asked for, it joins the
  // engine side of whatever command runs.
  std::wstring fakeError;
  if (!fake_engine::RegisterFromEnvironment(&fakeError)) {
    io.err << "pelorant " << name << ": " << platform::ToUtf8(fakeError) << "\n";
    return 1;
  }
  try {
    return c->run(args, io);
  } catch (const std::exception& e) {
    io.err << "pelorant " << name << ": " << e.what() << "\n";
    return 1;
  }
}

}  // namespace app
