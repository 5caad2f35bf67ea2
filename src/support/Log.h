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

namespace addinlog {
// Levels as the log file records them.
constexpr int kDetail = 1000;
constexpr int kInfo = 2000;
constexpr int kWarning = 3000;
constexpr int kError = 4000;

void Write(int level, const std::wstring& source, const std::wstring& message, const char* file,
           int line) noexcept;
}  // namespace addinlog

#define LOG_DETAIL(source, message) ::addinlog::Write(::addinlog::kDetail, (source), (message), __FILE__, __LINE__)
#define LOG_INFO(source, message) ::addinlog::Write(::addinlog::kInfo, (source), (message), __FILE__, __LINE__)
#define LOG_WARNING(source, message) ::addinlog::Write(::addinlog::kWarning, (source), (message), __FILE__, __LINE__)
#define LOG_ERROR(source, message) ::addinlog::Write(::addinlog::kError, (source), (message), __FILE__, __LINE__)
