#include "tests/common/FaultyFiles.h"

#include "tests/common/Bytes.h"

namespace testsupport {

FaultyFiles::FaultyFiles(unsigned failing, DWORD error)
    : platform::FilesWrapper(platform::PlatformFiles()), mFailing(failing), mError(error) {}

bool FaultyFiles::Fails(Call call) {
  if (!(mFailing & call)) return false;
  ++mFailures;
  return true;
}

DWORD FaultyFiles::ReadFile(const std::wstring& path, std::size_t maxBytes, std::string* out) {
  return Fails(kRead) ? mError : Target().ReadFile(path, maxBytes, out);
}

DWORD FaultyFiles::WriteAtomically(const std::wstring& path, std::string_view bytes,
                                   const platform::WriteOptions& options) {
  if (!Fails(kWrite)) return Target().WriteAtomically(path, bytes, options);
  std::string copy(bytes);
  auto writeThenFail = [&](const std::wstring& temp) {
    WriteBytes(temp, copy);
    return false;
  };
  Target().WriteAtomicallyWith(path, writeThenFail, options);
  return mError;
}

DWORD FaultyFiles::WriteAtomicallyWith(const std::wstring& path,
                                       const std::function<bool(const std::wstring& temp)>& fill,
                                       const platform::WriteOptions& options) {
  if (!Fails(kWrite)) return Target().WriteAtomicallyWith(path, fill, options);
  auto fillThenFail = [&](const std::wstring& temp) {
    fill(temp);
    return false;
  };
  Target().WriteAtomicallyWith(path, fillThenFail, options);
  return mError;
}

DWORD FaultyFiles::KeepAside(const std::wstring& path, const std::wstring& suffix, std::wstring* moved) {
  return Fails(kKeepAside) ? mError : Target().KeepAside(path, suffix, moved);
}

DWORD FaultyFiles::CreateFolders(const std::wstring& path) {
  return Fails(kCreateFolders) ? mError : Target().CreateFolders(path);
}

}  // namespace testsupport
