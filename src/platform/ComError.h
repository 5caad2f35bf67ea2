// The exception a failing host-model or engine call raises. It carries the
// HRESULT of the failure (as a late-bound COM call would report it) and an
// optional description for the log.
#pragma once

#include <stdexcept>
#include <string>

#include "src/platform/Types.h"

namespace platform {

class ComError : public std::runtime_error {
 public:
  explicit ComError(HRESULT hr, std::wstring description = {})
      : std::runtime_error(Narrow(hr, description)), mHr(hr), mDescription(std::move(description)) {}

  HRESULT Error() const noexcept { return mHr; }
  const std::wstring& Description() const noexcept { return mDescription; }

 private:
  static std::string Narrow(HRESULT hr, const std::wstring& d) {
    char buf[32];
    snprintf(buf, sizeof buf, "HRESULT 0x%08X", static_cast<unsigned>(hr));
    std::string s = buf;
    if (!d.empty()) {
      s += ": ";
      for (wchar_t c : d) s += (c < 0x80) ? static_cast<char>(c) : '?';
    }
    return s;
  }

  HRESULT mHr;
  std::wstring mDescription;
};

}  // namespace platform
