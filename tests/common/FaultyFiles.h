// A file table that makes chosen calls fail, to prove what a writer does when
// the disk says no: it reports the failure, and the old file is intact.
#pragma once

#include <optional>
#include <string>

#include "src/platform/Files.h"

namespace testsupport {

// Installed as the process's file table for its lifetime. The calls named in
// `failing` fail with `error`; everything else reaches the platform's own
// files. A failing write still writes its temporary file in full and fails
// only at the end, where a rename would fail, so the test also sees that no
// temporary file is left behind.
class FaultyFiles : public platform::FilesWrapper {
 public:
  enum Call : unsigned { kRead = 1, kWrite = 2, kKeepAside = 4, kCreateFolders = 8 };

  explicit FaultyFiles(unsigned failing, DWORD error = ERROR_WRITE_FAULT);

  // How many calls this table failed.
  int Failures() const { return mFailures; }

  DWORD ReadFile(const std::wstring& path, std::size_t maxBytes, std::string* out) override;
  DWORD WriteAtomically(const std::wstring& path, std::string_view bytes,
                        const platform::WriteOptions& options) override;
  DWORD WriteAtomicallyWith(const std::wstring& path, const std::function<bool(const std::wstring& temp)>& fill,
                            const platform::WriteOptions& options) override;
  DWORD KeepAside(const std::wstring& path, const std::wstring& suffix, std::wstring* moved) override;
  DWORD CreateFolders(const std::wstring& path) override;

 private:
  bool Fails(Call call);

  unsigned mFailing;
  DWORD mError;
  int mFailures = 0;
  platform::ScopedFiles mInstalled{*this};
};

}  // namespace testsupport
