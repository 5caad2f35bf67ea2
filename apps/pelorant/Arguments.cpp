#include "apps/pelorant/Arguments.h"

#include <algorithm>

namespace app {

Arguments::Arguments() {
  // RunMain answers --help; here it would be an unknown option like any other.
  mCli.set_help_flag();
  mCli.allow_extras();
  mCli.add_option("words", mWords);
}

CLI::Option* Arguments::Value(const std::string& names, std::string* value) {
  return mCli.add_option(names, *value)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CLI::Option* Arguments::Values(const std::string& names) {
  return mCli.add_option(names)->allow_extra_args(false)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

CLI::Option* Arguments::Flag(const std::string& names, bool* value) {
  return mCli.add_flag(names, *value)->disable_flag_override();
}

bool Arguments::Parse(const std::vector<std::string>& args, std::string* error) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    mCli.parse(reversed);
  } catch (const CLI::ArgumentMismatch& e) {
    // CLI11 starts the message with the option's name ("--slide: 1 required
    // TEXT missing", "json was given a disallowed flag override").
    const std::string message = e.what();
    const std::string name = message.substr(0, message.find_first_of(": "));
    const CLI::Option* option = mCli.get_option_no_throw(name);
    if (option == nullptr) option = mCli.get_option_no_throw("--" + name);
    if (option == nullptr) {
      *error = message;
      return false;
    }
    const std::string shown =
        option->get_lnames().empty() ? "-" + option->get_snames().front() : "--" + option->get_lnames().front();
    *error = shown + (option->get_expected_min() == 0 ? " takes no value" : " needs a value");
    return false;
  } catch (const CLI::ParseError& e) {
    *error = e.what();
    return false;
  }
  for (const std::string& extra : mCli.remaining()) {
    if (extra == "--") continue;
    *error = "unknown option '" + extra + "'";
    return false;
  }
  return true;
}

}  // namespace app
