// Sub-commands of the pelorant program. Each lives in its own Cmd*.cpp and
// registers itself with a static CommandRegistration, so adding a command
// touches no shared file.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace app {

struct CommandIo {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

struct Command {
  std::string name;     // first word on the command line ("reg", "options" ...)
  std::string summary;  // one line for `pelorant --help`
  std::string usage;    // full text for `pelorant help NAME` / `NAME --help`
  // Arguments after the command name; returns the process exit status.
  std::function<int(const std::vector<std::string>& args, CommandIo& io)> run;
};

// Registered commands in name order.
const std::vector<Command>& Commands();
const Command* FindCommand(const std::string& name);

struct CommandRegistration {
  explicit CommandRegistration(Command command);
};

// Runs the program as main() would, with the given streams; tests call it.
int RunMain(const std::vector<std::string>& argv, CommandIo& io);

}  // namespace app
