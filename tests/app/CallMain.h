// Runs the command-line program in process with its streams caught.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "apps/pelorant/Command.h"

namespace apptest {

struct Outcome { int status; std::string out, err; };

// args without the program's own name.
inline Outcome Call(std::vector<std::string> args) {
  args.insert(args.begin(), "pelorant");
  std::istringstream in;
  std::ostringstream out, err;
  app::CommandIo io{in, out, err};
  int status = app::RunMain(args, io);
  return {status, out.str(), err.str()};
}

}  // namespace apptest
