// Makes Apertium known to the in-process class table when the program
// starts. The library is static, so the link line names the symbol below
// (see deps.cmake) to keep this file, and its initializer, in the program.
#include "engines/apertium/ApertiumServer.h"

extern "C" {
int pelorant_apertium_server_anchor = 0;
}

namespace {
const bool kRegistered = [] {
  apertium::RegisterApertiumServer();
  return true;
}();
}  // namespace
