// The one call form for logging in the whole code base. It passes the
// caller's source file and line to the process-wide AddinLogger, which
// drops the line unless logging is switched on in the registry.
//
//   LOG_INFO(L"AddinMain:TranSheetClick", L"start");
//   LOG_ERROR(mSource, L"failed: " + detail);
//
// The macros never throw and never report a failure to the caller.
#pragma once

#include <string>

namespace support::log {
// Levels as the log file records them.
constexpr int kDetail = 1000;
constexpr int kInfo = 2000;
constexpr int kWarning = 3000;
constexpr int kError = 4000;

void Write(int level, const std::wstring& source, const std::wstring& message, const char* file,
           int line) noexcept;
}  // namespace support::log

#define LOG_DETAIL(source, message) \
  ::support::log::Write(::support::log::kDetail, (source), (message), __FILE__, __LINE__)
#define LOG_INFO(source, message) ::support::log::Write(::support::log::kInfo, (source), (message), __FILE__, __LINE__)
#define LOG_WARNING(source, message) \
  ::support::log::Write(::support::log::kWarning, (source), (message), __FILE__, __LINE__)
#define LOG_ERROR(source, message) \
  ::support::log::Write(::support::log::kError, (source), (message), __FILE__, __LINE__)
