#include "src/powerpoint/TemporaryCopies.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <exception>
#include <random>

#include "src/platform/System.h"

namespace powerpoint {

std::wstring TemporaryCopyPath(const std::wstring& folder, const std::wstring& extension) {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const std::tm local = *std::localtime(&seconds);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::minstd_rand random(static_cast<unsigned>(millis) + 1);
  std::uniform_int_distribution<int> draw(0, 999);
  // Two copies in one second (the working copy and the translation's) must
  // not share a name; every number is tried before giving up.
  for (int attempt = 0; attempt < 4000; ++attempt) {
    wchar_t name[64];
    std::swprintf(name, 64, L"%04d%02d%02d_%02d%02d%02d_%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec, draw(random));
    std::wstring path = folder + name + extension;
    if (!platform::PathExists(path)) return path;
  }
  return std::wstring();
}

bool IsPresentationOpen(const host::Ptr<host::Application>& application, const std::wstring& path) {
  if (!application) return false;
  try {
    host::Ptr<host::Presentations> all = application->Presentations();
    const int count = all->Count();
    for (int i = 1; i <= count; ++i) {
      if (platform::NormalizePath(all->Item(i)->FullName()) == platform::NormalizePath(path)) return true;
    }
  } catch (const std::exception&) {
    // A host that cannot list its presentations may still hold the file.
    return true;
  }
  return false;
}

size_t PendingCopies::DeleteClosed(const host::Ptr<host::Application>& application) {
  std::vector<std::wstring> kept;
  for (const std::wstring& path : mPaths) {
    if (IsPresentationOpen(application, path) || !platform::DeleteFileAt(path)) kept.push_back(path);
  }
  mPaths.swap(kept);
  return mPaths.size();
}

}  // namespace powerpoint
