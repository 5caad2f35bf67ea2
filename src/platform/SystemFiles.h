// What the posix and win32 file tables share: the naming of a copy kept
// aside and the making of folders. Each platform supplies the one move that
// never replaces a file. Inside src/platform only.
#pragma once

#include "src/platform/Files.h"

namespace platform {

class SystemFiles : public Files {
 public:
  DWORD KeepAside(const std::wstring& path, const std::wstring& suffix, std::wstring* moved) final;
  DWORD CreateFolders(const std::wstring& path) final;

 protected:
  // Moves `from` to `to` unless something is at `to` already: then
  // ERROR_FILE_EXISTS (or ERROR_ALREADY_EXISTS), and nothing moves.
  virtual DWORD MoveWithoutReplacing(const std::wstring& from, const std::wstring& to) = 0;
};

}  // namespace platform
