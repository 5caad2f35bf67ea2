// Windows files. A replacement is written to a temporary file in the same
// folder, flushed, and moved over the old file with MOVEFILE_WRITE_THROUGH.
#include "src/platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <random>

#include "src/platform/System.h"
#include "src/platform/SystemFiles.h"

namespace platform {

namespace {

class Handle {
 public:
  explicit Handle(HANDLE h) : mHandle(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return mHandle; }
  bool valid() const { return mHandle != INVALID_HANDLE_VALUE; }
  bool Close() {
    bool ok = true;
    if (valid()) ok = ::CloseHandle(mHandle) != 0;
    mHandle = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE mHandle;
};

DWORD LastError() {
  DWORD rc = ::GetLastError();
  return rc == ERROR_SUCCESS ? ERROR_WRITE_FAULT : rc;
}

// Creates a new empty file with an unused name beside `path`.
DWORD CreateTemp(const std::wstring& path, std::wstring* temp, HANDLE* out) {
  size_t sep = path.find_last_of(L"\\/");
  std::wstring folder = sep == std::wstring::npos ? std::wstring() : path.substr(0, sep + 1);
  std::wstring name = sep == std::wstring::npos ? path : path.substr(sep + 1);
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::wstring candidate = folder + L"." + name + L".tmp-" + std::to_wstring(rd() & 0xFFFFFF);
    HANDLE h = ::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      *temp = candidate;
      *out = h;
      return ERROR_SUCCESS;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return LastError();
  }
  return ERROR_FILE_EXISTS;
}

DWORD Commit(const std::wstring& temp, const std::wstring& path) {
  Handle h(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  bool ok = h.valid() && ::FlushFileBuffers(h.get()) != 0;
  DWORD rc = ok ? ERROR_SUCCESS : LastError();
  ok = h.Close() && ok;
  if (ok && !::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    rc = LastError();
  }
  if (!ok) {
    ::DeleteFileW(temp.c_str());
    return rc == ERROR_SUCCESS ? ERROR_WRITE_FAULT : rc;
  }
  return ERROR_SUCCESS;
}

class Win32Files : public SystemFiles {
 public:
  FileKind Kind(const std::wstring& path) override {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Folder;
    return attributes & FILE_ATTRIBUTE_DEVICE ? FileKind::Other : FileKind::Regular;
  }

  DWORD ReadFile(const std::wstring& path, std::size_t maxBytes, std::string* out) override {
    Handle h(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) return LastError();
    if (::GetFileType(h.get()) != FILE_TYPE_DISK) return ERROR_ACCESS_DENIED;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(h.get(), &size)) return LastError();
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) return ERROR_FILE_TOO_LARGE;
    std::string bytes;
    bytes.reserve(static_cast<size_t>(size.QuadPart));
    char chunk[65536];
    for (;;) {
      DWORD n = 0;
      if (!::ReadFile(h.get(), chunk, sizeof chunk, &n, nullptr)) return ERROR_READ_FAULT;
      if (n == 0) break;
      bytes.append(chunk, n);
      if (bytes.size() > maxBytes) return ERROR_FILE_TOO_LARGE;
    }
    *out = std::move(bytes);
    return ERROR_SUCCESS;
  }

  DWORD WriteAtomically(const std::wstring& path, std::string_view bytes, const WriteOptions&) override {
    std::wstring temp;
    HANDLE raw = INVALID_HANDLE_VALUE;
    DWORD rc = CreateTemp(path, &temp, &raw);
    if (rc != ERROR_SUCCESS) return rc;
    Handle h(raw);
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      if (!::WriteFile(h.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
        rc = LastError();
        h.Close();
        ::DeleteFileW(temp.c_str());
        return rc;
      }
      done += written;
    }
    if (!h.Close()) {
      rc = LastError();
      ::DeleteFileW(temp.c_str());
      return rc;
    }
    return Commit(temp, path);
  }

  DWORD WriteAtomicallyWith(const std::wstring& path, const std::function<bool(const std::wstring& temp)>& fill,
                            const WriteOptions&) override {
    std::wstring temp;
    HANDLE raw = INVALID_HANDLE_VALUE;
    DWORD rc = CreateTemp(path, &temp, &raw);
    if (rc != ERROR_SUCCESS) return rc;
    Handle h(raw);
    h.Close();
    bool filled = false;
    try {
      filled = fill(temp);
    } catch (...) {
      ::DeleteFileW(temp.c_str());
      throw;
    }
    if (!filled) {
      ::DeleteFileW(temp.c_str());
      return ERROR_WRITE_FAULT;
    }
    return Commit(temp, path);
  }

  DWORD MoveWithoutReplacing(const std::wstring& from, const std::wstring& to) override {
    // Without MOVEFILE_REPLACE_EXISTING the move never replaces a file.
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return ERROR_SUCCESS;
    return LastError();
  }
};

}  // namespace

Files& PlatformFiles() {
  static Win32Files files;
  return files;
}

}  // namespace platform
