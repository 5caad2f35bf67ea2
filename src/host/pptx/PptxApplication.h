// The Linux PowerPoint stand-in: an Application over .pptx files with a
// simulated window system and Office command bars.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "host/Host.h"
#include "host/pptx/PptxPackage.h"

namespace host::pptx {

struct ApplicationOptions {
  // What Application.Version answers; "16.0" unless configured.
  std::wstring version = L"16.0";
  // Macros the user registered for this run, by name. Run executes only
  // these; the function gets the arguments and returns the result.
  std::map<std::wstring, std::function<std::wstring(const std::vector<std::wstring>&)>> macros;
  // The virtual screen the windows live on, in pixels at `dpi`.
  int screenWidth = 1920;
  int screenHeight = 1080;
  int dpi = 96;
  PackageLimits limits;
};

Ptr<host::Application> CreateApplication(ApplicationOptions options = {});

// A macro that runs a shell command with the arguments appended (each
// quoted) and answers its standard output without the final newline;
// throws ComError(E_FAIL) when the command fails to run or exits non-zero.
std::function<std::wstring(const std::vector<std::wstring>&)> ShellMacro(const std::string& command);

// Registers "NAME=COMMAND" (the command line's --macro value) as a shell
// macro; false with a reason when the text has no name or no command.
bool AddMacroOption(ApplicationOptions& options, const std::string& arg, std::string& error);

}  // namespace host::pptx
