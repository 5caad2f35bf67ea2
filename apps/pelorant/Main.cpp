#include <clocale>
#include <iostream>

#include "apps/pelorant/Command.h"
#include "apps/pelorant/TerminalDialogs.h"
#include "engines/apertium/InProcess.h"
#include "src/support/ResourceModule.h"

int main(int argc, char** argv) {
  // Wide-string output and iconv conversions follow the user's locale.
  std::setlocale(LC_ALL, "");
  app::RegisterTerminalViews();
  // The program ends with its command: what the engine loaded is dropped
  // with the process.
  apertium::LeaveStageDataToTheExit();
  std::vector<std::string> args(argv, argv + argc);
  app::CommandIo io{std::cin, std::cout, std::cerr};
  int status = app::RunMain(args, io);
  // The program's shut-down, as disconnection is the add-in's.
  support::ReleaseLanguageResources();
  return status;
}
