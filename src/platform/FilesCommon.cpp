#include <atomic>

#include "src/platform/Files.h"
#include "src/platform/Strings.h"

namespace platform {

namespace {

std::atomic<Files*> gFiles{nullptr};

}  // namespace

std::filesystem::path NativePath(const std::wstring& path) {
  std::string utf8 = ToUtf8(path);
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

Files& CurrentFiles() {
  Files* files = gFiles.load(std::memory_order_acquire);
  return files ? *files : PlatformFiles();
}

Files* SetFiles(Files* files) {
  Files* old = gFiles.exchange(files, std::memory_order_acq_rel);
  return old ? old : &PlatformFiles();
}

}  // namespace platform
