#include "src/options/OptionFile.h"

#include "src/options/TranslationOptions.h"
#include "src/platform/ProfileFile.h"
#include "src/platform/System.h"
#include "src/support/Log.h"

namespace options {

namespace {
const wchar_t* const kSource = L"TranslationOptions";

// A section larger than this is not an option file; stop growing there.
constexpr DWORD kMaxSectionChars = 16u << 20;

std::wstring StripQuotes(const std::wstring& value) {
  if (value.size() >= 2) {
    wchar_t first = value.front(), last = value.back();
    if ((first == L'"' && last == L'"') || (first == L'\'' && last == L'\'')) {
      return value.substr(1, value.size() - 2);
    }
  }
  return value;
}

// ": <system text> (error N)" for a failure's error code.
std::wstring ErrorDetail(DWORD code) {
  std::wstring text = platform::SystemErrorText(code);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  std::wstring detail = L" (error " + std::to_wstring(code) + L")";
  return text.empty() ? detail : L": " + text + detail;
}

// The folder part of a path, or empty when it names a file in the current
// folder.
std::wstring ParentFolder(const std::wstring& path) {
  size_t cut = path.find_last_of(std::wstring(L"/") + platform::PathSeparator());
  if (cut == std::wstring::npos || cut == 0) return std::wstring();
  return path.substr(0, cut);
}
}  // namespace

bool ReadOptionSection(const std::wstring& path, const std::wstring& section,
                       std::vector<std::wstring>* names, std::vector<std::wstring>* values) {
  names->clear();
  values->clear();
  std::vector<wchar_t> buffer(1024);
  DWORD got;
  for (;;) {
    got = platform::ProfileReadSection(path, section, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (got < buffer.size() - 2) break;
    if (buffer.size() >= kMaxSectionChars) return false;
    buffer.assign(buffer.size() * 2, L'\0');
  }
  const wchar_t* p = buffer.data();
  const wchar_t* end = p + got;
  while (p < end && *p != L'\0') {
    std::wstring line(p);
    p += line.size() + 1;
    size_t eq = line.find(L'=');
    // A line without "=" gives no value; taken as an empty one it would
    // reset its field (a bare "DualPrint" turning it off).
    if (eq == std::wstring::npos) continue;
    names->push_back(line.substr(0, eq));
    values->push_back(StripQuotes(line.substr(eq + 1)));
  }
  return !names->empty();
}

bool WriteOptionSection(const std::wstring& path, const std::wstring& section,
                        const std::vector<std::wstring>& names, const std::vector<std::wstring>& values) {
  if (names.size() != values.size()) return false;
  // A line break inside a value would end its line early and turn the rest
  // into a line of its own, another value the file never meant to hold.
  const std::wstring breaks(L"\r\n\0", 3);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].find_first_of(breaks) != std::wstring::npos ||
        values[i].find_first_of(breaks) != std::wstring::npos) {
      platform::SetLastErrorCode(ERROR_INVALID_DATA);
      return false;
    }
  }
  std::wstring text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    text += names[i] + L"=\"" + values[i] + L"\"";
    text.push_back(L'\0');
  }
  if (!platform::PathExists(path)) {
    if (!platform::ProfileWriteString(path, section, L"dummy", L"dummy")) return false;
  }
  return platform::ProfileWriteSection(path, section, text);
}

std::wstring UserDataFolder() {
  std::wstring roaming = platform::RoamingAppDataFolder();
  if (roaming.empty()) return std::wstring();
  return platform::JoinPath(platform::JoinPath(platform::JoinPath(roaming, L"Talvoren"), L"Addins"),
                            L"Office");
}

std::wstring DefaultOptionFilePath(const std::wstring& name, std::wstring* why) {
  auto fail = [&](std::wstring reason) {
    if (why) *why = std::move(reason);
    return std::wstring();
  };
  // The name becomes a file name in the data folder: it must not reach out
  // of that folder nor hold what Windows refuses in file names.
  if (name.empty() || name == L"." || name == L"..") return fail(L"the name cannot be a file name");
  for (wchar_t c : name) {
    if (c < 0x20 || std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos) {
      return fail(L"the name \"" + name + L"\" holds a character that a file name cannot; give a path");
    }
  }
  std::wstring folder = UserDataFolder();
  if (folder.empty()) return fail(L"the per-user data folder is unknown; give a path");
  return platform::JoinPath(folder, name + L".ini");
}

bool TranslationOptions::Import(const std::wstring& name, const std::wstring& path, std::wstring* why) {
  auto fail = [&](std::wstring reason) {
    LOG_WARNING(kSource, L"Import: " + reason);
    if (why) *why = std::move(reason);
    return false;
  };
  if (name.empty()) return fail(L"no option set name was given");
  std::wstring file = path;
  if (file.empty()) {
    std::wstring reason;
    file = DefaultOptionFilePath(name, &reason);
    if (file.empty()) return fail(reason);
  }
  std::vector<std::wstring> names, values;
  if (!ReadOptionSection(file, kOptionSection, &names, &values)) {
    if (!platform::PathExists(file)) return fail(file + L" does not exist");
    return fail(file + L" has no [" + kOptionSection + L"] section with values, or cannot be read");
  }
  // The whole collection is searched, "default" included: adding a second
  // "default" would leave a set that a later load folds over the imported one.
  TranslationOption* set = Find(name);
  if (set == nullptr) set = Add(name);
  if (!FromNameValue(set, names, values)) return fail(L"the values of " + file + L" could not be applied");
  set->SetName(name);
  CheckFonts(set);
  return true;
}

bool TranslationOptions::Export(const std::wstring& name, const std::wstring& path, std::wstring* why) {
  auto fail = [&](std::wstring reason) {
    LOG_WARNING(kSource, L"Export: " + reason);
    if (why) *why = std::move(reason);
    return false;
  };
  const TranslationOption* set = Find(name);
  if (set == nullptr) return fail(L"there is no option set named \"" + name + L"\"");
  std::vector<std::wstring> names, values;
  if (!ToNameValue(*set, &names, &values, false)) return fail(L"the option set could not be encoded");
  std::wstring file = path;
  if (file.empty()) {
    std::wstring reason;
    file = DefaultOptionFilePath(set->Name(), &reason);
    if (file.empty()) return fail(reason);
  }
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos) {
      return fail(L"the value " + names[i] + L" holds a line break, which an option file cannot carry");
    }
  }
  std::wstring folder = ParentFolder(file);
  if (!folder.empty()) {
    DWORD rc = platform::CreateFolderTree(folder);
    if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS) {
      return fail(L"the folder " + folder + L" could not be created" + ErrorDetail(rc));
    }
  }
  if (!WriteOptionSection(file, kOptionSection, names, values)) {
    return fail(file + L" could not be written" + ErrorDetail(platform::GetLastErrorCode()));
  }
  return true;
}

}  // namespace options
