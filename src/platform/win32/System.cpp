#include "src/platform/System.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include "src/platform/Strings.h"
#include "src/platform/SystemNative.h"

namespace platform {
namespace {

// Queries made on the caller's behalf must not disturb the error code that
// the caller's own error reporting depends on.
class KeepLastError {
 public:
  KeepLastError() : mCode(::GetLastError()) {}
  ~KeepLastError() { ::SetLastError(mCode); }

 private:
  DWORD mCode;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

}  // namespace

DWORD GetLastErrorCode() { return ::GetLastError(); }
void SetLastErrorCode(DWORD code) { ::SetLastError(code); }

std::wstring SystemErrorText(DWORD code) {
  KeepLastError keep;
  wchar_t* buf = nullptr;
  DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             /*lpSource=*/nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                             reinterpret_cast<wchar_t*>(&buf), /*nSize=*/0, /*Arguments=*/nullptr);
  std::wstring text;
  if (n && buf) text.assign(buf, n);
  if (buf) ::LocalFree(buf);
  return text;
}

std::wstring TempFolder() {
  KeepLastError keep;
  wchar_t buf[MAX_PATH + 2];
  DWORD n = ::GetTempPathW(MAX_PATH + 1, buf);
  if (n == 0 || n > MAX_PATH + 1) return {};
  std::wstring t(buf, n);
  if (!IsSeparator(t.back())) t += L'\\';
  return t;
}

std::wstring RoamingAppDataFolder() {
  KeepLastError keep;
  wchar_t buf[MAX_PATH];
  if (SUCCEEDED(::SHGetFolderPathW(/*hwnd=*/nullptr, CSIDL_APPDATA, /*hToken=*/nullptr, SHGFP_TYPE_CURRENT, buf)))
    return buf;
  return GetEnvironmentValue(L"APPDATA");
}

std::wstring ModuleFilePath() {
  KeepLastError keep;
  HMODULE module = nullptr;
  // The module that holds this code: the add-in DLL inside PowerPoint, not
  // PowerPoint's own executable.
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ModuleFilePath), &module))
    return {};
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(module, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    if (buf.size() > 32768) return {};
    buf.resize(buf.size() * 2);
  }
}

std::wstring ModuleFolder() {
  std::wstring path = ModuleFilePath();
  size_t cut = path.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return {};
  return path.substr(0, cut + 1);
}

wchar_t PathSeparator() { return L'\\'; }

std::wstring NormalizePath(const std::wstring& path) { return path; }

std::wstring ExpandEnvironment(const std::wstring& text) {
  KeepLastError keep;
  std::wstring out(text.size() + 256, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD n = ::ExpandEnvironmentStringsW(text.c_str(), out.data(), static_cast<DWORD>(out.size()));
    if (n == 0) return text;
    if (n <= out.size()) {
      out.resize(n - 1);  // n counts the terminator
      return out;
    }
    out.resize(n);
  }
  return text;
}

std::wstring GetEnvironmentValue(const std::wstring& name) {
  KeepLastError keep;
  std::wstring buf(256, L'\0');
  for (;;) {
    DWORD n = ::GetEnvironmentVariableW(name.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(n);
  }
}

bool SetEnvironmentValue(const std::wstring& name, const std::wstring& value) {
  KeepLastError keep;
  BOOL ok = ::SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
  // Keep the C runtime's copy in step for code that reads it through getenv.
  std::wstring assignment = name + L"=" + value;
  _wputenv(assignment.c_str());
  return ok != FALSE;
}

DWORD CreateFolderTree(const std::wstring& rawPath) {
  std::wstring path = rawPath;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  while (path.size() > 1 && path.back() == L'\\' && !(path.size() == 3 && path[1] == L':')) path.pop_back();
  DWORD rc = ERROR_SUCCESS;
  if (path.empty()) {
    rc = ERROR_PATH_NOT_FOUND;
  } else {
    DWORD attrs = ::GetFileAttributesW(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES) {
      rc = (attrs & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
    } else {
      // Skip the root: "C:\", "\\server\share\".
      size_t start = 0;
      if (path.size() >= 2 && path[1] == L':') {
        start = 2;
      } else if (path.rfind(L"\\\\", 0) == 0) {
        size_t server = path.find(L'\\', 2);
        start = server == std::wstring::npos ? path.size() : path.find(L'\\', server + 1);
        if (start == std::wstring::npos) start = path.size();
      }
      size_t pos = start;
      while (rc == ERROR_SUCCESS) {
        pos = path.find(L'\\', pos + 1);
        std::wstring part = path.substr(0, pos);
        if (!part.empty() && part.back() != L'\\' && part.back() != L':' && !::CreateDirectoryW(part.c_str(), nullptr)) {
          DWORD e = ::GetLastError();
          if (e == ERROR_ALREADY_EXISTS) {
            DWORD a = ::GetFileAttributesW(part.c_str());
            if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) rc = ERROR_PATH_NOT_FOUND;
          } else {
            rc = e;
          }
        }
        if (pos == std::wstring::npos) break;
      }
    }
  }
  ::SetLastError(rc);
  return rc;
}

bool PathExists(const std::wstring& path) {
  KeepLastError keep;
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteFileAt(const std::wstring& path) {
  KeepLastError keep;
  return ::DeleteFileW(path.c_str()) != FALSE || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool IsCodePageSupported(unsigned codePage) { return ::IsValidCodePage(codePage) != FALSE; }

bool MultiByteToWide(unsigned codePage, std::string_view bytes, std::wstring* out) {
  KeepLastError keep;
  out->clear();
  if (!::IsValidCodePage(codePage)) return false;
  if (bytes.empty()) return true;
  int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  ::MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out->data(), n);
  return true;
}

bool WideToMultiByte(unsigned codePage, std::wstring_view text, std::string* out) {
  KeepLastError keep;
  out->clear();
  if (!::IsValidCodePage(codePage)) return false;
  if (text.empty()) return true;
  // UTF-8 and UTF-7 accept no default character.
  const char* defaultChar = (codePage == CP_UTF8 || codePage == CP_UTF7) ? nullptr : "?";
  int n = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, defaultChar,
                                nullptr);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out->data(), n, defaultChar,
                        nullptr);
  return true;
}

LANGID SystemDefaultLangId() { return ::GetSystemDefaultLangID(); }

unsigned DefaultAnsiCodePage(LANGID langId) {
  KeepLastError keep;
  wchar_t buf[16];
  int n = ::GetLocaleInfoW(MAKELCID(langId, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, buf, 16);
  if (n <= 0) return 1252;
  return static_cast<unsigned>(wcstoul(buf, nullptr, 10));
}

namespace native {

int ShowMessageBox(const MessageBoxRequest& request) {
  return ::MessageBoxExW(/*hWnd=*/reinterpret_cast<HWND>(request.owner), request.text.c_str(), request.caption.c_str(),
                         request.style | MB_TOPMOST, request.langId);
}

void AlertBeep(unsigned iconType) { ::MessageBeep(iconType); }

void WriteDiagnostic(const std::wstring& message) {
  ::OutputDebugStringW((message + L"\n").c_str());
  std::string m = ToUtf8(message);
  std::fprintf(stderr, "Pelorant: %s\n", m.c_str());
  std::fflush(stderr);
}

}  // namespace native
namespace {

// The HTML Help control from the file its class registration names, else
// from the system folder; never a file of that name that the search path
// finds first (the host program's folder, the current folder).
HMODULE LoadHelpControl() {
  wchar_t server[MAX_PATH] = {};
  DWORD size = sizeof(server);
  // Without RRF_NOEXPAND an expandable path comes back expanded.
  if (::RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32",
                     /*lpValue=*/nullptr, RRF_RT_REG_SZ, /*pdwType=*/nullptr, server, &size) == ERROR_SUCCESS) {
    const std::wstring registered = server;
    const bool absolute = registered.size() > 2 && (registered[1] == L':' || (IsSeparator(registered[0]) &&
                                                                              IsSeparator(registered[1])));
    if (absolute) {
      if (HMODULE control = ::LoadLibraryExW(registered.c_str(), /*hFile=*/nullptr, LOAD_WITH_ALTERED_SEARCH_PATH))
        return control;
    }
  }
  return ::LoadLibraryExW(L"hhctrl.ocx", /*hFile=*/nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

bool OpenHelpFile(const std::wstring& path) {
  // A viewer that cannot be loaded or shows nothing leaves its code behind;
  // the caller's code is what signals the command's own failure.
  KeepLastError keep;
  // The help control stays loaded, as its viewer window lives on.
  using HtmlHelpProc = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
  constexpr UINT kDisplayTopic = 0;
  if (HMODULE control = LoadHelpControl()) {
    auto htmlHelp = reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void*>(::GetProcAddress(control, "HtmlHelpW")));
    if (htmlHelp && htmlHelp(nullptr, path.c_str(), kDisplayTopic, 0) != nullptr) return true;
  }
  HINSTANCE shown = ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(shown) > 32;
}

}  // namespace platform
