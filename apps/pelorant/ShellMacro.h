// Macros for the command line's --macro option: the stand-in host runs
// registered functions only, and these run a shell command the user named.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "src/host/pptx/PptxApplication.h"

namespace app {

// A macro that runs a shell command with the arguments appended (each
// quoted) and answers its standard output without the final newline;
// throws ComError(E_FAIL) when the command fails to run or exits non-zero.
std::function<std::wstring(const std::vector<std::wstring>&)> ShellMacro(const std::string& command);

// Registers "NAME=COMMAND" (the --macro value) as a shell macro; false with a
// reason when the text has no name or no command.
bool AddMacroOption(host::pptx::ApplicationOptions& options, const std::string& arg, std::string& error);

}  // namespace app
