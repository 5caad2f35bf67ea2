// Makes the shared translation servers known to the in-process class table
// when the program starts. The library is static, so the link line names the
// symbol below (see deps.cmake) to keep this file in the program.
#include "engines/http/HttpEngine.h"

extern "C" {
int pelorant_http_server_anchor = 0;
}

namespace {
const bool kRegistered = [] {
  http_engine::RegisterHttpServer();
  return true;
}();
}  // namespace
