// Helpers shared by the platform contract suites: a private folder per test
// and environment variables restored when the test ends.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "platform/System.h"

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

// A new empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    mPath = std::filesystem::temp_directory_path() /
            ("pelorant-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(mPath);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(mPath, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return mPath; }
  std::wstring wpath() const { return mPath.wstring(); }

 private:
  std::filesystem::path mPath;
};

}  // namespace platformtest
