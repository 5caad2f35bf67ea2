// A deck from anyone, opened read-only and printed the way `pelorant show`
// prints it: every slide, shape, group member, table cell, comment, reply
// and notes page. A damaged deck must end in a ComError the command reports;
// anything else escaping the command is a finding.
#include <sstream>
#include <string>
#include <vector>

#include "Command.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const app::Command* show = app::FindCommand("show");
  if (!show) fuzz::Fail("the show command is not linked in");
  std::string path = fuzz::WriteScratchFile("deck.pptx", data, size);
  std::istringstream in;
  std::ostringstream out, err;
  app::CommandIo io{in, out, err};
  // Both output forms, chosen by the input so that a finding reproduces.
  std::vector<std::string> args;
  if (size % 2) args.push_back("--json");
  args.push_back(path);
  int status = show->run(args, io);
  if (status == 1 && err.str().empty()) fuzz::Fail("a failure without a message");
  if (status != 0 && status != 1) fuzz::Fail("unexpected exit status " + std::to_string(status));
  return 0;
}
