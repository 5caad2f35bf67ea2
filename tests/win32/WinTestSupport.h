// Helpers of the Windows-only suite: where the built modules are, running a
// program with a bounded wait, and reading the registry back.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "src/platform/win32/ComOwners.h"

namespace wintest {

// The Windows spelling of a module path the build passes in the
// environment (a Linux path under Wine's Z: drive).
inline std::wstring ModuleFromEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return {};
  std::wstring path;
  if (value[0] == '/') path = L"Z:";
  for (const char* p = value; *p; ++p) path += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

// Runs a command line and answers its exit code; -1 if it could not start
// or did not end within a minute.
inline long Run(std::wstring commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  platform::win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 1);
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  return static_cast<long>(code);
}

inline bool KeyExists(HKEY root, const std::wstring& path) {
  platform::win::UniqueRegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Out()) == ERROR_SUCCESS;
}

// A string value (name empty: the default value); nothing if absent or not
// a string.
inline std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const std::wstring& name) {
  wchar_t buffer[1024];
  DWORD size = sizeof buffer;
  if (RegGetValueW(root, path.c_str(), name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ, nullptr, buffer,
                   &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(buffer);
}

inline std::optional<DWORD> ReadNumber(HKEY root, const std::wstring& path, const std::wstring& name) {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

inline void WriteString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value) {
  ASSERT_EQ(RegSetKeyValueW(root, path.c_str(), name.c_str(), REG_SZ, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

}  // namespace wintest
