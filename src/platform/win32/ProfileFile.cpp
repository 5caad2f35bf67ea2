#include "src/platform/ProfileFile.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

// The profile functions look for a bare file name in the Windows folder;
// callers mean the current folder, as everywhere else.
std::wstring FullPath(const std::wstring& path) {
  DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> buffer(needed + 1);
  DWORD got = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (got == 0 || got >= buffer.size()) return path;
  return std::wstring(buffer.data(), got);
}

// A file the profile functions create themselves is written in the ANSI code
// page, which would turn names outside it into question marks. Starting the
// file with a UTF-16LE byte-order mark makes them keep it Unicode.
bool EnsureUnicodeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, /*dwShareMode=*/0, /*lpSecurityAttributes=*/nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
  static const unsigned char bom[2] = {0xFF, 0xFE};
  DWORD written = 0;
  BOOL ok = WriteFile(file, bom, sizeof bom, &written, /*lpOverlapped=*/nullptr);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok || written != sizeof bom) {
    DeleteFileW(path.c_str());
    SetLastError(ok ? ERROR_WRITE_FAULT : error);
    return false;
  }
  return true;
}

}  // namespace

DWORD ProfileReadSection(const std::wstring& path, const std::wstring& section, wchar_t* buffer,
                         DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  return GetPrivateProfileSectionW(section.c_str(), buffer, size, FullPath(path).c_str());
}

bool ProfileWriteSection(const std::wstring& path, const std::wstring& section, const std::wstring& lines) {
  const std::wstring full = FullPath(path);
  if (!EnsureUnicodeFile(full)) return false;
  // The list ends at the first empty line; two NULs make sure it ends.
  std::wstring block = lines;
  block.push_back(L'\0');
  block.push_back(L'\0');
  return WritePrivateProfileSectionW(section.c_str(), block.c_str(), full.c_str()) != FALSE;
}

bool ProfileWriteString(const std::wstring& path, const std::wstring& section, const std::wstring& key,
                        const std::wstring& value) {
  const std::wstring full = FullPath(path);
  if (!EnsureUnicodeFile(full)) return false;
  return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), full.c_str()) != FALSE;
}

}  // namespace platform
