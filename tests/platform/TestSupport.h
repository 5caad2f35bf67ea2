// Helpers shared by the platform contract suites: environment variables
// restored when the test ends, bounded waits, a file size limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>

#include "src/platform/System.h"
#include "tests/common/Errors.h"
#include "tests/common/TempDir.h"

#if __has_include(<sys/resource.h>)
#include <sys/resource.h>

#include <csignal>
#endif

namespace platformtest {

class ScopedEnv {
 public:
  ScopedEnv(std::wstring name, const std::wstring& value)
      : mName(std::move(name)), mOld(platform::GetEnvironmentValue(mName)) {
    platform::SetEnvironmentValue(mName, value);
  }
  ~ScopedEnv() { platform::SetEnvironmentValue(mName, mOld); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::wstring mName;
  std::wstring mOld;
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

// Files this process writes cannot grow beyond `bytes` while the object
// lives: a write past it fails (EFBIG) instead of raising SIGXFSZ. Only
// where the system has resource limits; elsewhere it does nothing.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uintmax_t bytes) {
#if __has_include(<sys/resource.h>)
    mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &mOld);
    struct rlimit limit = mOld;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
#else
    (void)bytes;
#endif
  }
  ~FileSizeLimit() {
#if __has_include(<sys/resource.h>)
    ::setrlimit(RLIMIT_FSIZE, &mOld);
    std::signal(SIGXFSZ, mOldHandler);
#endif
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
#if __has_include(<sys/resource.h>)
  struct rlimit mOld {};
  void (*mOldHandler)(int) = nullptr;
#endif
};

}  // namespace platformtest
