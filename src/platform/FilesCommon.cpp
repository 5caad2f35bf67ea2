#include <atomic>

#include "src/platform/Files.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/platform/SystemFiles.h"

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

DWORD SystemFiles::KeepAside(const std::wstring& path, const std::wstring& suffix, std::wstring* moved) {
  const std::wstring base = path + suffix;
  for (int n = 0; n < 1000; ++n) {
    std::wstring to = n == 0 ? base : base + L"-" + std::to_wstring(n);
    DWORD rc = MoveWithoutReplacing(path, to);
    if (rc == ERROR_SUCCESS) {
      *moved = to;
      return rc;
    }
    if (rc != ERROR_FILE_EXISTS && rc != ERROR_ALREADY_EXISTS) return rc;
  }
  return ERROR_FILE_EXISTS;
}

DWORD SystemFiles::CreateFolders(const std::wstring& path) {
  DWORD rc = CreateFolderTree(path);
  return rc == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : rc;
}

}  // namespace platform
