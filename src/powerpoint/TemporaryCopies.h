// The run's temporary copies of a presentation: their file names in the
// temporary folder, and the files that outlive the run because their
// presentation is still open.
#pragma once

#include <string>
#include <vector>

#include "src/host/Host.h"

namespace powerpoint {

// "yyyymmdd_hhmmss_N.ext" in folder (which ends with a separator), N drawn
// from 0 to 999 and drawn again while a file of that name exists. Empty when
// every number is taken.
std::wstring TemporaryCopyPath(const std::wstring& folder, const std::wstring& extension);

// True when a presentation of that file is open in the application.
bool IsPresentationOpen(const host::Ptr<host::Application>& application, const std::wstring& path);

// Copy files left open at the end of a run; deleted once they are closed.
class PendingCopies {
 public:
  void Add(std::wstring path) { mPaths.push_back(std::move(path)); }
  // Deletes the files no longer open in the application (all of them when
  // it is null); returns how many remain.
  size_t DeleteClosed(const host::Ptr<host::Application>& application);
  const std::vector<std::wstring>& Paths() const { return mPaths; }

 private:
  std::vector<std::wstring> mPaths;
};

}  // namespace powerpoint
