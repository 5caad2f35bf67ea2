// Helpers shared by the platform contract suites: environment variables
// restored when the test ends, bounded waits.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>

#include "src/platform/System.h"
#include "tests/common/Errors.h"
#include "tests/common/TempDir.h"

namespace platformtest {

class ScopedEnv {
 public:
  ScopedEnv(std::wstring name, const std::wstring& value)
      : mName(std::move(name)), mOld(platform::GetEnvironmentValue(mName)) {
    platform::SetEnvironmentValue(mName, value);
  }
  ~ScopedEnv() { platform::SetEnvironmentValue(mName, mOld); }

 private:
  std::wstring mName, mOld;
};

// Runs `call` and returns its result, or, when it has not returned within
// `limit`, reports the hang and ends the process: a call blocked in the
// system cannot be cancelled, and waiting for it would hang the suite.
template <typename Call>
auto ReturnsWithin(std::chrono::seconds limit, const char* what, Call call) {
  auto result = std::async(std::launch::async, std::move(call));
  if (result.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "FAILED: %s did not return within %lld s\n", what, static_cast<long long>(limit.count()));
    std::fflush(stderr);
    std::_Exit(1);
  }
  return result.get();
}

}  // namespace platformtest
