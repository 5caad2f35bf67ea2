#include "apps/pelorant/ShellMacro.h"

#include <sys/wait.h>

#include <cstdio>

#include "src/platform/ComError.h"
#include "src/platform/Strings.h"

namespace app {

std::function<std::wstring(const std::vector<std::wstring>&)> ShellMacro(const std::string& command) {
  return [command](const std::vector<std::wstring>& args) {
    std::string cmd = command;
    for (auto& a : args) {
      std::string s = platform::ToUtf8(a), q = " '";
      for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
      cmd += q + "'";
    }
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) throw platform::ComError(E_FAIL, L"The macro command cannot be started.");
    std::string out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    int status = pclose(f);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
      throw platform::ComError(E_FAIL, L"The macro command failed: " + platform::FromUtf8(command));
    if (!out.empty() && out.back() == '\n') out.pop_back();
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return platform::FromUtf8(out);
  };
}

bool AddMacroOption(host::pptx::ApplicationOptions& options, const std::string& arg, std::string& error) {
  auto eq = arg.find('=');
  if (eq == std::string::npos || eq == 0 || eq + 1 >= arg.size()) {
    error = "--macro needs NAME=COMMAND, got \"" + arg + "\"";
    return false;
  }
  options.macros[platform::FromUtf8(arg.substr(0, eq))] = ShellMacro(arg.substr(eq + 1));
  return true;
}

}  // namespace app
