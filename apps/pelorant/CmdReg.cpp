// `pelorant reg add|query|delete`: the stand-in registry edited with the
// syntax of Windows' reg.exe, so that the settings a Windows user sets with
// reg or regedit can be set the same way here.
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include "apps/pelorant/Command.h"
#include "src/platform/ConsoleMessageBox.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"

namespace {

using platform::Hive;
using platform::RegKey;
using platform::RegType;
using platform::RegValue;

const char kUsage[] =
    "Usage:\n"
    "  pelorant reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "  pelorant reg query KEY [/v NAME | /ve] [/s]\n"
    "  pelorant reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "\n"
    "KEY is HIVE\\path, HIVE one of HKCU, HKLM, HKCR (or HKEY_CURRENT_USER ...).\n"
    "  /v NAME    the value to add, show or delete; /ve the key's default value\n"
    "  /va        delete every value of the key (and keep the key)\n"
    "  /t TYPE    REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,\n"
    "             REG_BINARY (DATA in hexadecimal digits), REG_NONE\n"
    "  /s         add: the separator of REG_MULTI_SZ items (default \\0);\n"
    "             query: every sub-key below KEY as well\n"
    "  /d DATA    the data; REG_DWORD and REG_QWORD take decimal or 0x hexadecimal\n"
    "  /f         overwrite or delete without asking\n"
    "\n"
    "Without /f an existing value or a deletion is confirmed with Yes/No on the\n"
    "terminal, or by PELORANT_ANSWER=yes|no; with neither, nothing is changed.\n"
    "The hive files live in $PELORANT_REGISTRY when it is set.\n"
    "Exit status: 0 done, 1 failed or not confirmed, 2 bad command line.\n";

const char kNotFound[] = "ERROR: The system was unable to find the specified registry key or value.\n";

struct Options {
  std::string key;
  bool hasValue = false;  // /v or /ve
  std::wstring valueName;
  bool allValues = false;  // /va
  bool force = false;
  bool recurse = false;  // query /s
  bool hasType = false;
  std::string type = "REG_SZ";
  bool hasData = false;
  std::string data;
  bool hasSeparator = false;
  std::string separator = "\\0";
};

bool IsSwitch(const std::string& a, const char* name) {
  if (a.size() < 2 || (a[0] != '/' && a[0] != '-')) return false;
  std::string rest = a.substr(1);
  for (char& c : rest) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return rest == name;
}

// Parses the switches one sub-command allows; `allowed` lists them.
bool ParseOptions(const std::vector<std::string>& args, const std::string& allowed, Options* o, std::string* error) {
  auto allows = [&](const char* s) { return (" " + allowed + " ").find(std::string(" ") + s + " ") != std::string::npos; };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto next = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = "missing argument after " + a;
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string text;
    if (IsSwitch(a, "v") && allows("v")) {
      if (o->hasValue || o->allValues) return *error = "/v, /ve and /va exclude each other", false;
      if (!next(&text)) return false;
      o->hasValue = true;
      o->valueName = platform::FromUtf8(text);
    } else if (IsSwitch(a, "ve") && allows("ve")) {
      if (o->hasValue || o->allValues) return *error = "/v, /ve and /va exclude each other", false;
      o->hasValue = true;
      o->valueName.clear();
    } else if (IsSwitch(a, "va") && allows("va")) {
      if (o->hasValue || o->allValues) return *error = "/v, /ve and /va exclude each other", false;
      o->allValues = true;
    } else if (IsSwitch(a, "f") && allows("f")) {
      o->force = true;
    } else if (IsSwitch(a, "s") && allows("s")) {
      if (allows("d")) {
        if (!next(&o->separator)) return false;
        o->hasSeparator = true;
      } else {
        o->recurse = true;
      }
    } else if (IsSwitch(a, "t") && allows("t")) {
      if (!next(&o->type)) return false;
      o->hasType = true;
    } else if (IsSwitch(a, "d") && allows("d")) {
      if (!next(&o->data)) return false;
      o->hasData = true;
    } else if (a.size() > 1 && (a[0] == '/' || a[0] == '-')) {
      *error = "unknown or misplaced switch " + a;
      return false;
    } else if (o->key.empty()) {
      o->key = a;
    } else {
      *error = "unexpected argument \"" + a + "\"";
      return false;
    }
  }
  if (o->key.empty()) {
    *error = "no key given";
    return false;
  }
  return true;
}

struct KeyName {
  Hive hive;
  std::wstring hiveName;  // as reg.exe prints it: HKEY_CURRENT_USER
  std::wstring path;      // without hive, no leading/trailing backslash
  std::wstring Full() const { return path.empty() ? hiveName : hiveName + L"\\" + path; }
};

bool ParseKeyName(const std::string& text, KeyName* out, std::string* error) {
  std::wstring w = platform::FromUtf8(text);
  if (w.rfind(L"\\\\", 0) == 0) {
    *error = "remote registries are not supported";
    return false;
  }
  size_t slash = w.find(L'\\');
  std::wstring hive = w.substr(0, slash);
  if (!platform::ParseHiveName(hive, &out->hive)) {
    *error = "invalid key name \"" + text + "\": it must start with HKCU, HKLM or HKCR";
    return false;
  }
  out->hiveName = platform::HiveLongName(out->hive);
  std::wstring rest = slash == std::wstring::npos ? L"" : w.substr(slash + 1);
  std::wstring clean;
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find(L'\\', start);
    if (end == std::wstring::npos) end = rest.size();
    if (end > start) clean += (clean.empty() ? L"" : L"\\") + rest.substr(start, end - start);
    start = end + 1;
  }
  out->path = clean;
  return true;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string s;
  char buf[4];
  for (auto b : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    s += buf;
  }
  return s;
}

std::string FormatData(const RegValue& v) {
  if (v.raw) return Hex(v.binary);
  char buf[32];
  switch (v.type) {
    case RegType::Sz:
    case RegType::ExpandSz:
      return platform::ToUtf8(v.text);
    case RegType::MultiSz: {
      std::string s;
      for (size_t i = 0; i < v.multi.size(); ++i) s += (i ? "\\0" : "") + platform::ToUtf8(v.multi[i]);
      return s;
    }
    case RegType::Dword:
      std::snprintf(buf, sizeof buf, "0x%" PRIx32, v.dword);
      return buf;
    case RegType::Qword:
      std::snprintf(buf, sizeof buf, "0x%" PRIx64, v.qword);
      return buf;
    default:
      return Hex(v.binary);
  }
}

void PrintValue(std::ostream& out, const std::wstring& name, const RegValue& v) {
  out << "    " << (name.empty() ? "(Default)" : platform::ToUtf8(name)) << "    "
      << platform::ToUtf8(platform::RegTypeName(v.type)) << "    " << FormatData(v) << "\n";
}

bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t* out) {
  if (text.empty()) return false;
  const char* s = text.c_str();
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    s += 2;
  }
  if (!std::isxdigit(static_cast<unsigned char>(*s))) return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long n = std::strtoull(s, &end, base);
  if (errno != 0 || *end != '\0' || n > max) return false;
  *out = n;
  return true;
}

bool BuildValue(const Options& o, RegValue* v, std::string* error) {
  RegType type;
  if (!platform::ParseRegTypeName(platform::FromUtf8(o.type), &type)) {
    *error = "unknown type " + o.type + " (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD, REG_BINARY, REG_NONE)";
    return false;
  }
  std::wstring data = platform::FromUtf8(o.data);
  std::uint64_t n = 0;
  switch (type) {
    case RegType::Sz: *v = RegValue::String(data); return true;
    case RegType::ExpandSz: *v = RegValue::Expand(data); return true;
    case RegType::MultiSz: {
      if (o.separator.empty()) return *error = "the /s separator is empty", false;
      std::wstring sep = platform::FromUtf8(o.separator);
      std::vector<std::wstring> items;
      size_t start = 0;
      while (!data.empty()) {
        size_t pos = data.find(sep, start);
        std::wstring item = data.substr(start, pos == std::wstring::npos ? std::wstring::npos : pos - start);
        if (item.empty()) return *error = "REG_MULTI_SZ data holds an empty item", false;
        items.push_back(item);
        if (pos == std::wstring::npos) break;
        start = pos + sep.size();
      }
      *v = RegValue::Multi(items);
      return true;
    }
    case RegType::Dword:
      if (o.hasData && !ParseNumber(o.data, 0xFFFFFFFFull, &n))
        return *error = "invalid REG_DWORD data \"" + o.data + "\" (a number from 0 to 4294967295)", false;
      *v = RegValue::Dword(static_cast<std::uint32_t>(n));
      return true;
    case RegType::Qword:
      if (o.hasData && !ParseNumber(o.data, ~0ull, &n))
        return *error = "invalid REG_QWORD data \"" + o.data + "\"", false;
      *v = RegValue::Qword(n);
      return true;
    case RegType::Binary:
    case RegType::None: {
      std::vector<std::uint8_t> bytes;
      if (o.data.size() % 2 != 0) return *error = "binary data needs an even number of hexadecimal digits", false;
      for (size_t i = 0; i < o.data.size(); i += 2) {
        std::uint64_t b;
        if (!std::isxdigit(static_cast<unsigned char>(o.data[i])) ||
            !ParseNumber("0x" + o.data.substr(i, 2), 0xFF, &b))
          return *error = "invalid binary data \"" + o.data + "\"", false;
        bytes.push_back(static_cast<std::uint8_t>(b));
      }
      *v = RegValue::Bytes(std::move(bytes), type);
      v->raw = false;
      return true;
    }
  }
  return *error = "unsupported type " + o.type, false;
}

std::string ErrorText(LONG rc) {
  std::wstring text = platform::SystemErrorText(static_cast<DWORD>(rc));
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  if (text.empty()) text = L"error " + std::to_wstring(rc);
  return "ERROR: " + platform::ToUtf8(text) + "\n";
}

// Asks on the command's own streams: scripted input in tests, the terminal
// for a user, PELORANT_ANSWER for scripts. No answer means no.
bool Confirm(app::CommandIo& io, const std::string& question) {
  platform::ConsoleIo console;
  console.write = [&](const std::string& s) { io.out << s << std::flush; };
  console.readLine = [&](std::string* line) { return static_cast<bool>(std::getline(io.in, *line)); };
  console.interactive = &io.in != &std::cin || ::isatty(0);
  console.presetAnswer = platform::ToUtf8(platform::GetEnvironmentValue(L"PELORANT_ANSWER"));
  platform::MessageBoxRequest box{platform::FromUtf8(question), L"reg", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, 1033};
  return platform::ConsoleMessageBox(box, console) == IDYES;
}

// Opens the key a command names, telling the user why when it cannot.
bool OpenKey(const KeyName& k, bool write, app::CommandIo& io, RegKey* key) {
  LONG rc = RegKey::Open(k.hive, k.path, write, key);
  if (rc == ERROR_SUCCESS) return true;
  if (rc == ERROR_FILE_NOT_FOUND) {
    io.err << kNotFound;
  } else {
    io.err << ErrorText(rc);
  }
  return false;
}

int SyntaxError(app::CommandIo& io, const std::string& sub, const std::string& error) {
  io.err << "ERROR: Invalid syntax: " << error << ".\nType \"pelorant reg " << sub << " /?\" for usage.\n";
  return 2;
}

int Add(const std::vector<std::string>& args, app::CommandIo& io) {
  Options o;
  std::string error;
  KeyName k;
  if (!ParseOptions(args, "v ve t s d f", &o, &error) || !ParseKeyName(o.key, &k, &error)) return SyntaxError(io, "add", error);
  if (k.path.empty()) return SyntaxError(io, "add", "a key below the hive is needed");
  RegType type = RegType::Sz;
  if (o.hasSeparator && (!platform::ParseRegTypeName(platform::FromUtf8(o.type), &type) || type != RegType::MultiSz))
    return SyntaxError(io, "add", "/s is only for REG_MULTI_SZ");
  if ((o.hasType || o.hasData) && !o.hasValue) o.hasValue = true;  // reg.exe sets the default value then
  RegValue value;
  if (o.hasValue && !BuildValue(o, &value, &error)) return SyntaxError(io, "add", error);

  RegKey key;
  if (o.hasValue && !o.force && RegKey::Open(k.hive, k.path, false, &key) == ERROR_SUCCESS) {
    RegValue old;
    if (key.QueryValue(o.valueName, &old) == ERROR_SUCCESS) {
      std::string shown = o.valueName.empty() ? "(Default)" : platform::ToUtf8(o.valueName);
      if (!Confirm(io, "Value " + shown + " exists, overwrite(Yes/No)?")) {
        io.err << "The operation was canceled: the value was not changed.\n";
        return 1;
      }
    }
  }
  // Key and value in one change, after any question: the batch holds the
  // hive's lock while it is open.
  platform::RegBatch batch(k.hive);
  LONG rc = RegKey::Create(k.hive, k.path, &key);
  if (rc == ERROR_SUCCESS && o.hasValue) rc = key.SetValue(o.valueName, value);
  if (rc == ERROR_SUCCESS) rc = batch.Commit();
  if (rc != ERROR_SUCCESS) {
    io.err << ErrorText(rc);
    return 1;
  }
  io.out << "The operation completed successfully.\n";
  return 0;
}

// Prints one key as reg.exe's query does; with `recurse` every key below.
// Returns the number of values printed.
int PrintKey(app::CommandIo& io, const KeyName& k, const RegKey& key, const Options& o, bool* found) {
  int printed = 0;
  std::vector<std::wstring> names;
  key.EnumValues(&names);
  std::ostringstream values;
  for (const auto& name : names) {
    if (o.hasValue && !platform::EqualsNoCase(name, o.valueName)) continue;
    RegValue v;
    if (key.QueryValue(name, &v) != ERROR_SUCCESS) continue;
    PrintValue(values, name, v);
    ++printed;
  }
  std::vector<std::wstring> subkeys;
  key.EnumSubkeys(&subkeys);
  if (!o.hasValue || printed > 0) {
    io.out << "\n" << platform::ToUtf8(k.Full()) << "\n" << values.str();
    *found = true;
  }
  if (!o.recurse) {
    if (!o.hasValue && !subkeys.empty()) {
      if (printed) io.out << "\n";
      for (const auto& s : subkeys) io.out << platform::ToUtf8(k.Full()) << "\\" << platform::ToUtf8(s) << "\n";
    }
    return printed;
  }
  for (const auto& s : subkeys) {
    RegKey sub;
    if (key.OpenSubkey(s, false, &sub) != ERROR_SUCCESS) continue;
    KeyName child{k.hive, k.hiveName, k.path.empty() ? s : k.path + L"\\" + s};
    printed += PrintKey(io, child, sub, o, found);
  }
  return printed;
}

int Query(const std::vector<std::string>& args, app::CommandIo& io) {
  Options o;
  std::string error;
  KeyName k;
  if (!ParseOptions(args, "v ve s", &o, &error) || !ParseKeyName(o.key, &k, &error)) return SyntaxError(io, "query", error);
  RegKey key;
  if (!OpenKey(k, false, io, &key)) return 1;
  bool found = false;
  int printed = PrintKey(io, k, key, o, &found);
  if (o.hasValue && printed == 0) {
    io.err << kNotFound;
    return 1;
  }
  if (o.recurse && o.hasValue) io.out << "\nEnd of search: " << printed << " match(es) found.\n";
  return 0;
}

int Delete(const std::vector<std::string>& args, app::CommandIo& io) {
  Options o;
  std::string error;
  KeyName k;
  if (!ParseOptions(args, "v ve va f", &o, &error) || !ParseKeyName(o.key, &k, &error)) return SyntaxError(io, "delete", error);
  if (k.path.empty() && !o.hasValue && !o.allValues) return SyntaxError(io, "delete", "a hive cannot be deleted");
  RegKey key;
  if (!OpenKey(k, true, io, &key)) return 1;
  LONG rc = ERROR_SUCCESS;
  std::string full = platform::ToUtf8(k.Full());
  if (o.hasValue) {
    RegValue v;
    if (key.QueryValue(o.valueName, &v) != ERROR_SUCCESS) {
      io.err << kNotFound;
      return 1;
    }
    std::string shown = o.valueName.empty() ? "(Default)" : platform::ToUtf8(o.valueName);
    if (!o.force && !Confirm(io, "Delete the registry value " + shown + " (Yes/No)?")) {
      io.err << "The operation was canceled: nothing was deleted.\n";
      return 1;
    }
    rc = key.DeleteValue(o.valueName);
  } else if (o.allValues) {
    if (!o.force && !Confirm(io, "Delete all values under the registry key " + full + " (Yes/No)?")) {
      io.err << "The operation was canceled: nothing was deleted.\n";
      return 1;
    }
    platform::RegBatch batch(k.hive);
    std::vector<std::wstring> names;
    rc = key.EnumValues(&names);
    for (const auto& n : names) {
      if (rc != ERROR_SUCCESS) break;
      rc = key.DeleteValue(n);
    }
    if (rc == ERROR_SUCCESS) rc = batch.Commit();
  } else {
    if (!o.force && !Confirm(io, "Permanently delete the registry key " + full + " (Yes/No)?")) {
      io.err << "The operation was canceled: nothing was deleted.\n";
      return 1;
    }
    key.Close();
    rc = platform::DeleteKeyTree(k.hive, k.path);
  }
  if (rc != ERROR_SUCCESS) {
    io.err << (rc == ERROR_FILE_NOT_FOUND ? std::string(kNotFound) : ErrorText(rc));
    return 1;
  }
  io.out << "The operation completed successfully.\n";
  return 0;
}

int RunReg(const std::vector<std::string>& args, app::CommandIo& io) {
  if (args.empty() || args[0] == "/?" || args[0] == "-?") {
    io.out << kUsage;
    return args.empty() ? 2 : 0;
  }
  std::string sub = args[0];
  for (char& c : sub) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const auto& a : rest) {
    if (a == "/?" || a == "-?") {
      io.out << kUsage;
      return 0;
    }
  }
  if (sub == "add") return Add(rest, io);
  if (sub == "query") return Query(rest, io);
  if (sub == "delete") return Delete(rest, io);
  io.err << "ERROR: Invalid syntax: unknown operation \"" << args[0] << "\" (add, query or delete).\n";
  return 2;
}

app::CommandRegistration reg{{"reg", "add, query and delete registry values (the syntax of reg.exe)", kUsage, RunReg}};

}  // namespace
