// One command's options, declared on a CLI11 parser and read the way every
// command here reads them: options and words in any order, "--" ends the
// options, a repeated option keeps its last value, and what is wrong is
// said in this program's words.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace app {

class Arguments {
 public:
  Arguments();

  // An option that takes one value each time it is given.
  CLI::Option* Value(const std::string& names, std::string* value);
  // Repeatable; each value, empty ones included, is in results().
  CLI::Option* Values(const std::string& names);
  CLI::Option* Flag(const std::string& names, bool* value);

  // False with the reason in *error: "--slide needs a value", "--json takes
  // no value" or "unknown option '--fast'".
  bool Parse(const std::vector<std::string>& args, std::string* error);
  // The words that are not options, in order.
  const std::vector<std::string>& Words() const { return mWords; }

 private:
  CLI::App mCli;
  std::vector<std::string> mWords;
};

}  // namespace app
