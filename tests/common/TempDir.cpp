#include "tests/common/TempDir.h"

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <system_error>

namespace testsupport {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  // Several test binaries start in the same instant: the random part keeps
  // their names apart, the counter those of one process.
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::filesystem::path candidate = base / ("pelorant-test-" + std::to_string(stamp) + "-" +
                                              std::to_string(rd()) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      mPath = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(mPath, ec);
}

}  // namespace testsupport
