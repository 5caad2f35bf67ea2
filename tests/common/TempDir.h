// A private folder per test, so suites running side by side (ctest -j) never
// meet in the same files.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A new empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return mPath; }
  std::wstring wpath() const { return mPath.wstring(); }
  std::filesystem::path operator/(const std::string& name) const { return mPath / name; }

 private:
  std::filesystem::path mPath;
};

}  // namespace testsupport
