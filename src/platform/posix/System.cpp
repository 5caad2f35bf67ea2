#include "src/platform/System.h"

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "src/platform/ConsoleMessageBox.h"
#include "src/platform/Strings.h"
#include "src/platform/SystemNative.h"

extern char** environ;

namespace platform {
namespace {

thread_local DWORD tLastError = 0;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::wstring StripTrailingSlash(std::wstring s) {
  while (s.size() > 1 && s.back() == L'/') s.pop_back();
  return s;
}

struct ErrorText {
  DWORD code;
  const wchar_t* text;
};

// The texts Windows gives for the codes this program can meet, so that
// error reports read the same on both platforms.
const ErrorText kErrorTexts[] = {
    {0, L"The operation completed successfully.\r\n"},
    {1, L"Incorrect function.\r\n"},
    {2, L"The system cannot find the file specified.\r\n"},
    {3, L"The system cannot find the path specified.\r\n"},
    {5, L"Access is denied.\r\n"},
    {6, L"The handle is invalid.\r\n"},
    {8, L"Not enough memory resources are available to process this command.\r\n"},
    {13, L"The data is invalid.\r\n"},
    {29, L"The system cannot write to the specified device.\r\n"},
    {30, L"The system cannot read from the specified device.\r\n"},
    {32, L"The process cannot access the file because it is being used by another process.\r\n"},
    {80, L"The file exists.\r\n"},
    {87, L"The parameter is incorrect.\r\n"},
    {122, L"The data area passed to a system call is too small.\r\n"},
    {183, L"Cannot create a file when that file already exists.\r\n"},
    {234, L"More data is available.\r\n"},
    {259, L"No more data is available.\r\n"},
    {1009, L"The configuration registry database is corrupt.\r\n"},
    {1010, L"The configuration registry key is invalid.\r\n"},
    {1011, L"The configuration registry key could not be opened.\r\n"},
    {1012, L"The configuration registry key could not be read.\r\n"},
    {1013, L"The configuration registry key could not be written.\r\n"},
    {1018, L"Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
    {1223, L"The operation was canceled by the user.\r\n"},
    {1460, L"This operation returned because the timeout period expired.\r\n"},
};

const char* IconvName(unsigned codePage) {
  switch (codePage) {
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    case 65001: return "UTF-8";
  }
  return nullptr;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : mCd(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(mCd);
  }
  bool ok() const { return mCd != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return mCd; }

 private:
  iconv_t mCd;
};

std::string ReadTtyLine() {
  std::string line;
  std::getline(std::cin, line);
  return line;
}

}  // namespace

DWORD GetLastErrorCode() { return tLastError; }
void SetLastErrorCode(DWORD code) { tLastError = code; }

std::wstring SystemErrorText(DWORD code) {
  for (const auto& e : kErrorTexts) {
    if (e.code == code) return e.text;
  }
  return {};
}

std::wstring TempFolder() {
  std::string t = Env("TMPDIR");
  if (t.empty()) t = "/tmp";
  std::wstring w = StripTrailingSlash(FromUtf8(t));
  return w + L"/";
}

std::wstring RoamingAppDataFolder() {
  std::string x = Env("XDG_CONFIG_HOME");
  if (!x.empty()) return StripTrailingSlash(FromUtf8(x));
  std::string home = Env("HOME");
  if (home.empty()) return {};
  return StripTrailingSlash(FromUtf8(home)) + L"/.config";
}

std::wstring ModuleFilePath() {
  char buf[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buf, PATH_MAX);
  if (n <= 0) return {};
  return FromUtf8(std::string_view(buf, static_cast<size_t>(n)));
}

std::wstring ModuleFolder() {
  std::wstring path = ModuleFilePath();
  size_t slash = path.rfind(L'/');
  if (slash == std::wstring::npos) return {};
  return path.substr(0, slash + 1);
}

wchar_t PathSeparator() { return L'/'; }

std::wstring NormalizePath(const std::wstring& path) {
  std::wstring out = path;
  for (wchar_t& c : out) {
    if (c == L'\\') c = L'/';
  }
  return out;
}

std::wstring ExpandEnvironment(const std::wstring& text) {
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != L'%') {
      out.push_back(text[i++]);
      continue;
    }
    size_t close = text.find(L'%', i + 1);
    if (close == std::wstring::npos) {
      out.append(text, i, std::wstring::npos);
      break;
    }
    std::wstring name = text.substr(i + 1, close - i - 1);
    std::string narrow = ToUtf8(name);
    bool found = false;
    std::wstring value;
    if (!name.empty()) {
      if (const char* v = std::getenv(narrow.c_str())) {
        value = FromUtf8(v);
        found = true;
      } else {
        for (char** e = environ; e && *e && !found; ++e) {
          const char* eq = std::strchr(*e, '=');
          if (!eq) continue;
          std::wstring envName = FromUtf8(std::string_view(*e, static_cast<size_t>(eq - *e)));
          if (EqualsNoCase(envName, name)) {
            value = FromUtf8(eq + 1);
            found = true;
          }
        }
      }
      if (!found && (EqualsNoCase(name, L"temp") || EqualsNoCase(name, L"tmp"))) {
        value = StripTrailingSlash(TempFolder());
        found = true;
      } else if (!found && EqualsNoCase(name, L"appdata")) {
        value = RoamingAppDataFolder();
        found = !value.empty();
      } else if (!found && EqualsNoCase(name, L"userprofile")) {
        value = StripTrailingSlash(FromUtf8(Env("HOME")));
        found = !value.empty();
      } else if (!found && EqualsNoCase(name, L"localappdata")) {
        std::string data = Env("XDG_DATA_HOME");
        value = StripTrailingSlash(FromUtf8(data.empty() && !Env("HOME").empty() ? Env("HOME") + "/.local/share" : data));
        found = !value.empty();
      }
    }
    if (found) {
      out += value;
      i = close + 1;
    } else {
      // Left as written, both '%' included, as Windows leaves it.
      out.append(text, i, close - i + 1);
      i = close + 1;
    }
  }
  return out;
}

DWORD CreateFolderTree(const std::wstring& path) {
  std::string p = ToUtf8(NormalizePath(path));
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  DWORD rc;
  struct stat st;
  // "D:\..." names a Windows drive; here it would quietly become a folder
  // named "D:" below the current one.
  bool windowsDrive = p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]));
  if (p.empty() || windowsDrive) {
    rc = ERROR_PATH_NOT_FOUND;
  } else if (::stat(p.c_str(), &st) == 0) {
    rc = S_ISDIR(st.st_mode) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
  } else {
    rc = ERROR_SUCCESS;
    size_t pos = 0;
    while (rc == ERROR_SUCCESS) {
      pos = p.find('/', pos + 1);
      std::string part = p.substr(0, pos);
      if (::mkdir(part.c_str(), 0755) != 0) {
        int e = errno;
        if (e == EEXIST) {
          if (::stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) rc = ERROR_PATH_NOT_FOUND;
        } else {
          rc = e == EACCES || e == EPERM || e == EROFS ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
        }
      }
      if (pos == std::string::npos) break;
    }
  }
  SetLastErrorCode(rc);
  return rc;
}

bool PathExists(const std::wstring& path) {
  struct stat st;
  return ::stat(ToUtf8(NormalizePath(path)).c_str(), &st) == 0;
}

bool DeleteFileAt(const std::wstring& path) {
  const std::string file = ToUtf8(NormalizePath(path));
  const int saved = errno;
  const bool gone = ::unlink(file.c_str()) == 0 || errno == ENOENT;
  errno = saved;
  return gone;
}

bool IsCodePageSupported(unsigned codePage) {
  const char* name = IconvName(codePage);
  return name && Iconv("WCHAR_T", name).ok();
}

bool MultiByteToWide(unsigned codePage, std::string_view bytes, std::wstring* out) {
  const char* name = IconvName(codePage);
  if (!name) return false;
  Iconv cd("WCHAR_T", name);
  if (!cd.ok()) return false;
  out->clear();
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  wchar_t buf[256];
  while (inLeft > 0) {
    char* o = reinterpret_cast<char*>(buf);
    size_t oLeft = sizeof buf;
    size_t r = iconv(cd.get(), &in, &inLeft, &o, &oLeft);
    out->append(buf, (sizeof buf - oLeft) / sizeof(wchar_t));
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      // An undecodable or truncated sequence: one byte becomes U+FFFD.
      out->push_back(L'\xFFFD');
      ++in;
      --inLeft;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  // Code pages with combining marks (1255, 1258) hold back the last
  // character until the end of input is signalled.
  char* o = reinterpret_cast<char*>(buf);
  size_t oLeft = sizeof buf;
  iconv(cd.get(), nullptr, nullptr, &o, &oLeft);
  out->append(buf, (sizeof buf - oLeft) / sizeof(wchar_t));
  return true;
}

bool WideToMultiByte(unsigned codePage, std::wstring_view text, std::string* out) {
  const char* name = IconvName(codePage);
  if (!name) return false;
  Iconv cd(name, "WCHAR_T");
  if (!cd.ok()) return false;
  out->clear();
  char* in = reinterpret_cast<char*>(const_cast<wchar_t*>(text.data()));
  size_t inLeft = text.size() * sizeof(wchar_t);
  char buf[512];
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    size_t r = iconv(cd.get(), &in, &inLeft, &o, &oLeft);
    out->append(buf, sizeof buf - oLeft);
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      out->push_back('?');
      in += sizeof(wchar_t);
      inLeft -= sizeof(wchar_t);
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* o = buf;
  size_t oLeft = sizeof buf;
  iconv(cd.get(), nullptr, nullptr, &o, &oLeft);
  out->append(buf, sizeof buf - oLeft);
  return true;
}

LANGID SystemDefaultLangId() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::string v = Env(var);
    if (v.empty()) continue;
    LANGID id = LangIdFromLocaleName(v);
    return id ? id : 1033;
  }
  return 1033;
}

unsigned DefaultAnsiCodePage(LANGID langId) {
  switch (langId) {
    case 2052:
    case 4100: return 936;
    case 1028:
    case 3076:
    case 5124: return 950;
    case 2074: return 1250;  // Serbian, Latin script
  }
  switch (langId & 0x3FF) {
    case 0x11: return 932;
    case 0x04: return 936;
    case 0x12: return 949;
    case 0x1E: return 874;
    case 0x05: case 0x0E: case 0x15: case 0x1B: case 0x24: case 0x1A: case 0x18: case 0x1C:
      return 1250;
    case 0x19: case 0x22: case 0x02: case 0x23: case 0x2F: case 0x3F: case 0x40: case 0x44:
      return 1251;
    case 0x08: return 1253;
    case 0x1F: case 0x2C: return 1254;
    case 0x0D: return 1255;
    case 0x01: case 0x29: case 0x20: return 1256;
    case 0x25: case 0x26: case 0x27: return 1257;
    case 0x2A: return 1258;
  }
  return 1252;
}

namespace native {

int ShowMessageBox(const MessageBoxRequest& request) {
  ConsoleIo io;
  io.write = [](const std::string& s) {
    std::fwrite(s.data(), 1, s.size(), stderr);
    std::fflush(stderr);
  };
  io.interactive = ::isatty(0) != 0;
  io.readLine = [](std::string* line) {
    if (!std::cin.good()) return false;
    *line = ReadTtyLine();
    return !std::cin.fail();
  };
  io.presetAnswer = Env("PELORANT_ANSWER");
  return ConsoleMessageBox(request, io);
}

void AlertBeep(unsigned iconType) {
  std::string kind = IconKindName(iconType);
  std::fprintf(stderr, "[beep%s%s]\n", kind.empty() ? "" : ": ", kind.c_str());
  std::fflush(stderr);
}

void WriteDiagnostic(const std::wstring& message) {
  std::string m = ToUtf8(message);
  std::fprintf(stderr, "pelorant: %s\n", m.c_str());
  std::fflush(stderr);
}

}  // namespace native
}  // namespace platform

namespace platform {

std::wstring GetEnvironmentValue(const std::wstring& name) {
  const char* v = std::getenv(ToUtf8(name).c_str());
  return v ? FromUtf8(v) : std::wstring();
}

bool SetEnvironmentValue(const std::wstring& name, const std::wstring& value) {
  std::string n = ToUtf8(name);
  if (value.empty()) return ::unsetenv(n.c_str()) == 0;
  return ::setenv(n.c_str(), ToUtf8(value).c_str(), 1) == 0;
}

bool OpenHelpFile(const std::wstring&) { return false; }

}  // namespace platform
