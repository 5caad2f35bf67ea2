#include "src/engine/EngineCaches.h"

#include <algorithm>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "src/engine/EngineEnumeration.h"
#include "src/engine/EngineFamilies.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace engine {

const wchar_t* const kAddinKeyPath = L"Software\\Talvoren\\OfficeAddIn";
const wchar_t* const kCommonSettingsPath = L"Software\\Talvoren\\OfficeAddIn\\RegV1\\Common";
const wchar_t* const kRefreshTriggerValue = L"RefreshTrigger";
const wchar_t* const kCacheFileName = L"Engines.tsv";

namespace {

const wchar_t* const kSource = L"EngineCaches";
const wchar_t* const kValueRefreshType = L"_Cache.RefreshType";
const wchar_t* const kValueEnumFlag = L"_Cache.EnumFlag";
const wchar_t* const kValueDisplayLanguage = L"_Cache.DisplayLanguage";
const wchar_t* const kValueEnumProductFilter = L"_Cache.EnumProductFilter";

constexpr int kUiLanguageTextId = 101;
constexpr std::int32_t kDefaultEnumFlag = 3072;
// A cache file is a few hundred rows; anything near this size is not one.
constexpr std::uintmax_t kMaxCacheFileBytes = 64u * 1024u * 1024u;

enum Column { kChecked, kEngineGroup, kEngineID, kFromLang, kToLang, kFlags, kDisplayName, kProductName,
              kProductNameShort, kColumnCount };

// Through UTF-8: a wide path handed to std::filesystem directly is converted
// by the C locale on Linux and fails on any non-ASCII folder name.
std::filesystem::path FsPath(const std::wstring& path) {
  std::string utf8 = platform::ToUtf8(path);
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::wstring EscapeCell(const std::wstring& cell) {
  std::wstring out;
  out.reserve(cell.size());
  for (size_t i = 0; i < cell.size(); ++i) {
    wchar_t c = cell[i];
    if (c == L'\r' && i + 1 < cell.size() && cell[i + 1] == L'\n') {
      out += L"  ";
      ++i;
    } else if (c == L'\t' || c == L'\r' || c == L'\n' || c == 0) {
      // A lone line break or NUL would split or end the row on reading.
      out += L' ';
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::wstring> SplitCells(const std::wstring& line) {
  std::vector<std::wstring> cells;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find(L'\t', start);
    if (tab == std::wstring::npos) {
      cells.push_back(line.substr(start));
      return cells;
    }
    cells.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

std::int32_t ParseFlags(const std::wstring& text) {
  // Base from the prefix, as the C library reads it: "0x" hex, "0" octal.
  const wchar_t* begin = text.c_str();
  wchar_t* end = nullptr;
  long long value = std::wcstoll(begin, &end, 0);
  if (end == begin) return 0;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// UTF-16 code units, so the order is the same on both platforms whatever the
// width of wchar_t.
std::u16string SortKey(const EngineEntry& e) {
  std::wstring joined = e.DisplayName() + e.ProductName() + e.EngineID() + e.FromLang() + e.ToLang();
  std::u16string key;
  key.reserve(joined.size());
  for (wchar_t wc : joined) {
    auto c = static_cast<std::uint32_t>(wc);
    if (c > 0xFFFF && c <= 0x10FFFF) {
      c -= 0x10000;
      key.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      key.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      key.push_back(static_cast<char16_t>(c));
    }
  }
  return key;
}

bool ReadText(const platform::RegKey& key, const wchar_t* name, std::wstring* out) {
  if (!key) return false;
  platform::RegValue value;
  if (key.QueryValue(name, &value) != ERROR_SUCCESS) return false;
  if (value.type == platform::RegType::Sz || value.type == platform::RegType::ExpandSz) {
    *out = value.text;
    return true;
  }
  if (value.type == platform::RegType::Dword) {
    *out = std::to_wstring(value.dword);
    return true;
  }
  return false;
}

// The user's value when the user's key has it, else the machine's.
bool ReadTextWithFallback(const platform::RegKey& user, const platform::RegKey& machine, const wchar_t* name,
                          std::wstring* out) {
  return ReadText(user, name, out) || ReadText(machine, name, out);
}

std::wstring ReadTrigger(platform::Hive hive) {
  platform::RegKey key;
  if (platform::RegKey::Open(hive, kAddinKeyPath, false, &key) != ERROR_SUCCESS) return {};
  std::wstring text;
  ReadText(key, kRefreshTriggerValue, &text);
  return text;
}

bool ReadFileBytes(const std::wstring& path, std::string* out, std::wstring* reason) {
  std::error_code ec;
  auto size = std::filesystem::file_size(FsPath(path), ec);
  if (ec) {
    *reason = L"cannot read " + path;
    return false;
  }
  if (size > kMaxCacheFileBytes) {
    *reason = path + L" is too large to be an engine cache";
    return false;
  }
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in) {
    *reason = L"cannot open " + path;
    return false;
  }
  out->assign(static_cast<size_t>(size), '\0');
  in.read(out->data(), static_cast<std::streamsize>(size));
  if (in.gcount() != static_cast<std::streamsize>(size)) {
    *reason = L"cannot read " + path;
    return false;
  }
  return true;
}

std::wstring UniqueSuffix() {
  std::random_device rd;
  return std::to_wstring(rd() & 0xFFFFFF);
}

}  // namespace

const std::vector<std::wstring>& EngineCacheColumns() {
  static const std::vector<std::wstring> columns = {L"Checked",  L"EngineGroup", L"EngineID",
                                                    L"FromLang", L"ToLang",      L"Flags",
                                                    L"DisplayName", L"ProductName", L"ProductNameShort"};
  return columns;
}

EngineCacheTable TableFromEntries(const EngineEntryList& entries) {
  EngineCacheTable table;
  table.header = EngineCacheColumns();
  table.rows.reserve(entries.size());
  for (const auto& [key, e] : entries) {
    table.rows.push_back({std::to_wstring(e.Checked()), e.EngineGroup(), e.EngineID(), e.FromLang(), e.ToLang(),
                          std::to_wstring(e.Flags()), e.DisplayName(), e.ProductName(), e.ProductNameShort()});
  }
  return table;
}

bool EntriesFromTable(const EngineCacheTable& table, EngineEntryList* out, std::wstring* reason) {
  const auto& names = EngineCacheColumns();
  int position[kColumnCount];
  bool any = false;
  for (int c = 0; c < kColumnCount; ++c) {
    position[c] = -1;
    for (size_t h = 0; h < table.header.size(); ++h) {
      if (table.header[h] == names[c]) {
        position[c] = static_cast<int>(h);
        any = true;
        break;
      }
    }
  }
  bool headerPresent = table.header.size() > 1 || (table.header.size() == 1 && !table.header[0].empty());
  if (!any && (headerPresent || !table.rows.empty())) {
    if (reason) *reason = L"the header names none of the engine cache columns";
    return false;
  }
  EngineEntryList entries;
  entries.reserve(table.rows.size());
  for (const auto& row : table.rows) {
    auto cell = [&](int column, std::wstring* value) {
      int at = position[column];
      if (at < 0 || static_cast<size_t>(at) >= row.size()) return false;
      *value = row[at];
      return true;
    };
    EngineEntry e;
    std::wstring v;
    if (cell(kChecked, &v)) e.SetChecked(v == L"0" ? 0 : 1);
    if (cell(kEngineGroup, &v)) e.SetEngineGroup(v);
    if (cell(kEngineID, &v)) e.SetEngineID(v);
    if (cell(kFromLang, &v)) e.SetFromLang(v);
    if (cell(kToLang, &v)) e.SetToLang(v);
    if (cell(kFlags, &v)) e.SetFlags(ParseFlags(v));
    if (cell(kDisplayName, &v)) e.SetDisplayName(v);
    if (cell(kProductName, &v)) e.SetProductName(v);
    if (cell(kProductNameShort, &v)) e.SetProductNameShort(v);
    std::wstring key = e.EngineKey();
    entries.emplace_back(std::move(key), std::move(e));
  }
  *out = std::move(entries);
  return true;
}

std::string FormatCacheFile(const EngineCacheTable& table) {
  std::wstring text;
  auto addLine = [&](const std::vector<std::wstring>& cells) {
    for (size_t i = 0; i < cells.size(); ++i) {
      if (i) text += L'\t';
      text += EscapeCell(cells[i]);
    }
    text += L"\r\n";
  };
  addLine(table.header);
  for (const auto& row : table.rows) addLine(row);
  return std::string("\xFF\xFE", 2) + platform::ToUtf16Le(text);
}

bool ParseCacheFile(const std::string& bytes, EngineCacheTable* out, std::wstring* reason) {
  std::string_view body(bytes);
  if (body.size() >= 2 && static_cast<unsigned char>(body[0]) == 0xFF && static_cast<unsigned char>(body[1]) == 0xFE) {
    body.remove_prefix(2);
  }
  if (body.size() % 2 != 0) {
    if (reason) *reason = L"odd number of bytes: not UTF-16LE text";
    return false;
  }
  for (size_t i = 0; i < body.size(); i += 2) {
    unsigned unit = static_cast<unsigned char>(body[i]) | (static_cast<unsigned char>(body[i + 1]) << 8);
    if (unit == 0) {
      if (reason) *reason = L"NUL character: not a text file";
      return false;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      unsigned next = 0;
      if (i + 3 < body.size()) next = static_cast<unsigned char>(body[i + 2]) | (static_cast<unsigned char>(body[i + 3]) << 8);
      if (next < 0xDC00 || next > 0xDFFF) {
        if (reason) *reason = L"broken surrogate pair: not UTF-16LE text";
        return false;
      }
      i += 2;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      if (reason) *reason = L"broken surrogate pair: not UTF-16LE text";
      return false;
    }
  }
  std::wstring text = platform::FromUtf16Le(body);
  EngineCacheTable table;
  size_t start = 0;
  bool first = true;
  while (start < text.size()) {
    size_t nl = text.find(L'\n', start);
    size_t end = nl == std::wstring::npos ? text.size() : nl;
    size_t stop = end;
    if (stop > start && text[stop - 1] == L'\r') --stop;
    std::wstring line = text.substr(start, stop - start);
    start = nl == std::wstring::npos ? text.size() : nl + 1;
    if (first) {
      table.header = SplitCells(line);
      first = false;
    } else if (!line.empty()) {
      table.rows.push_back(SplitCells(line));
    }
  }
  *out = std::move(table);
  return true;
}

std::wstring EngineCacheFolder() {
  std::wstring roaming = platform::RoamingAppDataFolder();
  if (roaming.empty()) return {};
  std::wstring folder = platform::JoinPath(roaming, L"Talvoren");
  folder = platform::JoinPath(folder, L"Addins");
  return platform::JoinPath(folder, L"Office");
}

std::wstring EngineCacheFilePath() {
  std::wstring folder = EngineCacheFolder();
  return folder.empty() ? std::wstring() : platform::JoinPath(folder, kCacheFileName);
}

EngineCaches::EngineCaches() { ResetCacheSettings(); }

void EngineCaches::ResetCacheSettings() {
  mDisplayLanguage = LoadText(kUiLanguageTextId);
  mEnumFlag = kDefaultEnumFlag;
  mRefreshType = 0;
  mMachineRefreshTrigger.clear();
  mUserRefreshTrigger.clear();
  mDirty = 0;
  mEnumProductFilter.clear();
}

std::wstring EngineCaches::SettingsPath() const {
  std::wstring path = kCommonSettingsPath;
  if (!mSettingsSubKey.empty()) path += L"\\" + mSettingsSubKey;
  return path;
}

bool EngineCaches::LoadCache(bool machineDefaults) {
  mDirty = 1;
  mLastFailure.clear();
  platform::RegKey user;
  platform::RegKey machine;
  if (machineDefaults) {
    ResetCacheSettings();
    mDirty = 1;
  } else {
    platform::RegKey::Open(platform::Hive::CurrentUser, SettingsPath(), false, &user);
  }
  platform::RegKey::Open(platform::Hive::LocalMachine, SettingsPath(), false, &machine);

  if (user || machine) {
    std::wstring text = std::to_wstring(mRefreshType);
    ReadTextWithFallback(user, machine, kValueRefreshType, &text);
    mRefreshType = text == L"1" ? 1 : 0;

    text = std::to_wstring(mEnumFlag);
    if (ReadTextWithFallback(user, machine, kValueEnumFlag, &text)) {
      const wchar_t* begin = text.c_str();
      wchar_t* end = nullptr;
      long long value = std::wcstoll(begin, &end, 10);
      // Text without a number keeps the flag word as it was rather than
      // silently listing nothing.
      if (end != begin) mEnumFlag = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
      else LOG_WARNING(kSource, L"_Cache.EnumFlag is not a number: " + text);
    }
    ReadTextWithFallback(user, machine, kValueDisplayLanguage, &mDisplayLanguage);
    text.clear();
    ReadTextWithFallback(user, machine, kValueEnumProductFilter, &text);
    mEnumProductFilter = text;
  }

  if (mRefreshType == 0) {
    mUserRefreshTrigger = ReadTrigger(platform::Hive::CurrentUser);
    mMachineRefreshTrigger = ReadTrigger(platform::Hive::LocalMachine);
    if (!machineDefaults) {
      if (!ReadCacheFile()) return false;
      mDirty = 0;
      mIncomplete = false;
      return true;
    }
  }
  return true;
}

bool EngineCaches::ReadCacheFile() {
  std::wstring path = EngineCacheFilePath();
  if (path.empty()) {
    mLastFailure = L"the roaming application-data folder is unknown";
    LOG_ERROR(kSource, mLastFailure);
    return false;
  }
  if (!platform::PathExists(path)) {
    mEntries.clear();
    return true;
  }
  std::string bytes;
  std::wstring reason;
  EngineCacheTable table;
  EngineEntryList entries;
  if (!ReadFileBytes(path, &bytes, &reason) || !ParseCacheFile(bytes, &table, &reason) ||
      !EntriesFromTable(table, &entries, &reason)) {
    mLastFailure = path + L": " + reason;
    LOG_ERROR(kSource, L"LoadCache: " + mLastFailure);
    return false;
  }
  mEntries = std::move(entries);
  return true;
}

bool EngineCaches::WriteCacheFile() {
  std::wstring folder = EngineCacheFolder();
  if (folder.empty()) {
    mLastFailure = L"the roaming application-data folder is unknown";
    return false;
  }
  DWORD made = platform::CreateFolderTree(folder);
  if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) {
    mLastFailure = L"cannot create " + folder;
    return false;
  }
  std::wstring path = platform::JoinPath(folder, kCacheFileName);
  std::error_code ec;

  // A file this program cannot read may still be someone's only copy of the
  // user's check marks: keep it aside instead of replacing it.
  if (platform::PathExists(path)) {
    if (!std::filesystem::is_regular_file(FsPath(path), ec)) {
      mLastFailure = path + L" is not a file; it was not replaced";
      return false;
    }
    std::string old;
    std::wstring reason;
    EngineCacheTable oldTable;
    EngineEntryList oldEntries;
    bool readable = ReadFileBytes(path, &old, &reason) && ParseCacheFile(old, &oldTable, &reason) &&
                    EntriesFromTable(oldTable, &oldEntries, &reason);
    if (!readable) {
      std::wstring aside = path + L".damaged";
      for (int n = 1; platform::PathExists(aside) && n < 1000; ++n) aside = path + L".damaged" + std::to_wstring(n);
      std::filesystem::rename(FsPath(path), FsPath(aside), ec);
      if (ec) {
        mLastFailure = L"cannot keep the unreadable " + path + L" aside; it was not replaced";
        return false;
      }
      LOG_WARNING(kSource, path + L" could not be read (" + reason + L"); kept as " + aside);
      platform::ReportDiagnostic(L"The engine cache " + path + L" could not be read (" + reason + L"); it was kept as " +
                                 aside + L".");
    }
  }

  std::string bytes = FormatCacheFile(BuildTable());
  std::wstring temp = path + L".tmp" + UniqueSuffix();
  {
    std::ofstream out(FsPath(temp), std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (out) out.flush();
    if (!out) {
      out.close();
      std::filesystem::remove(FsPath(temp), ec);
      mLastFailure = L"cannot write " + temp;
      return false;
    }
  }
  std::filesystem::rename(FsPath(temp), FsPath(path), ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(FsPath(temp), ignored);
    mLastFailure = L"cannot replace " + path;
    return false;
  }
  return true;
}

bool EngineCaches::SaveCache(bool onlyIfDirty, bool withSettings) {
  bool ok = true;
  mLastFailure.clear();
  if (mRefreshType == 0 && (mDirty == 1 || !onlyIfDirty)) {
    if (WriteCacheFile()) {
      // A list that misses an implementation's pairs is kept, but the
      // trigger stays behind so that the next start asks the engines again.
      if (!mIncomplete) mUserRefreshTrigger = mMachineRefreshTrigger;
      mDirty = 0;
    } else {
      LOG_ERROR(kSource, L"SaveCache: " + mLastFailure);
      ok = false;
    }
  }

  platform::RegKey addin;
  if (platform::RegKey::Create(platform::Hive::CurrentUser, kAddinKeyPath, &addin) != ERROR_SUCCESS ||
      addin.SetValue(kRefreshTriggerValue, platform::RegValue::String(mUserRefreshTrigger)) != ERROR_SUCCESS) {
    LOG_ERROR(kSource, L"SaveCache: cannot write RefreshTrigger");
    if (mLastFailure.empty()) mLastFailure = L"cannot write the user's RefreshTrigger";
    ok = false;
  }

  if (withSettings) {
    platform::RegKey settings;
    if (platform::RegKey::Create(platform::Hive::CurrentUser, SettingsPath(), &settings) != ERROR_SUCCESS) {
      if (mLastFailure.empty()) mLastFailure = L"cannot open the settings key";
      ok = false;
    } else {
      auto put = [&](const wchar_t* name, const std::wstring& text) {
        LONG rc = text.empty() ? settings.DeleteValue(name) : settings.SetValue(name, platform::RegValue::String(text));
        if (rc != ERROR_SUCCESS && !(text.empty() && rc == ERROR_FILE_NOT_FOUND)) {
          if (mLastFailure.empty()) mLastFailure = std::wstring(L"cannot write ") + name;
          ok = false;
        }
      };
      put(kValueRefreshType, std::to_wstring(mRefreshType));
      put(kValueEnumFlag, std::to_wstring(mEnumFlag));
      put(kValueDisplayLanguage, mDisplayLanguage);
      put(kValueEnumProductFilter, mEnumProductFilter);
    }
  }
  return ok;
}

bool EngineCaches::RefreshCache(bool display, bool useCacheIfCurrent) {
  LOG_INFO(kSource + std::wstring(L":RefreshCache"), L"RefreshCache");
  if (mMachineRefreshTrigger == mUserRefreshTrigger && mRefreshType != 1 && !mEntries.empty() && useCacheIfCurrent) {
    return true;
  }
  ++mEngineQueries;
  // COM (on Windows) for the duration of the rebuild, released on every way
  // out, exceptions included.
  struct EngineThread {
    bool initialized = SUCCEEDED(engine_server::InitializeEngineThread());
    ~EngineThread() {
      if (initialized) engine_server::UninitializeEngineThread();
    }
  } engineThread;
  EnumResult found = CollectEngines(mDisplayLanguage, mEnumFlag);
  if (found.ending == EnumEnding::NotStarted) return false;
  if (found.ending == EnumEnding::Cancelled) return true;

  EngineEntryList fresh = std::move(found.entries);
  for (const BuiltInFamily& family : BuiltInFamilies()) ListFamilyPairs(family.name, &fresh, mEnumFlag);

  EngineEntryList old = std::move(mEntries);
  for (auto& [key, entry] : fresh) {
    const std::wstring& k = entry.EngineKey();
    auto match = std::find_if(old.begin(), old.end(),
                              [&](const auto& o) { return o.second.EngineKey() == k; });
    if (match != old.end()) {
      entry.SetChecked(match->second.Checked());
      old.erase(match);
    }
  }
  // An implementation that failed this time (a network engine offline, say)
  // keeps the pairs it had, with the user's check marks, until a rebuild in
  // which it answers: a passing failure must not erase the user's choices.
  // One that said it has no usable engine at all loses them: those pairs
  // could never be opened.
  for (auto& o : old) {
    if (std::find(found.failedNames.begin(), found.failedNames.end(), o.second.EngineGroup()) !=
        found.failedNames.end()) {
      fresh.push_back(std::move(o));
    }
  }
  mEntries = std::move(fresh);
  ApplyListingRules(&mEntries, mEnumProductFilter);
  mDirty = 1;
  mIncomplete = found.failedImplementations > 0;
  SortEntries();
  if (found.EngineUnavailable) ErrorList::Add(1253);
  return found.failedImplementations == 0;
}

void EngineCaches::SortEntries() {
  std::vector<std::pair<std::u16string, size_t>> keys;
  keys.reserve(mEntries.size());
  for (size_t i = 0; i < mEntries.size(); ++i) keys.emplace_back(SortKey(mEntries[i].second), i);
  std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  EngineEntryList sorted;
  sorted.reserve(mEntries.size());
  for (const auto& k : keys) sorted.push_back(std::move(mEntries[k.second]));
  mEntries = std::move(sorted);
}

void EngineCaches::SetChecked(size_t index, std::int32_t checked) {
  EngineEntry& e = Entry(index);
  if (e.Checked() != checked) {
    e.SetChecked(checked);
    mDirty = 1;
  }
}

void EngineCaches::SetEntries(EngineEntryList entries) {
  mEntries = std::move(entries);
  mDirty = 1;
}

std::optional<EngineEntry> EngineCaches::FindEntry(const std::wstring& group, const std::wstring& id) const {
  for (const auto& [key, e] : mEntries) {
    if (e.EngineGroup() == group && e.EngineID() == id) return e;
  }
  return std::nullopt;
}

int EngineCaches::FindKey(const std::wstring& engineKey) const {
  for (size_t i = 0; i < mEntries.size(); ++i) {
    if (mEntries[i].second.EngineKey() == engineKey) return static_cast<int>(i);
  }
  return -1;
}

bool EngineCaches::IsSameAs(const EngineCaches& other) const {
  if (this == &other) return true;
  return mEnumFlag == other.mEnumFlag && mRefreshType == other.mRefreshType &&
         mEntries.size() == other.mEntries.size() && mDisplayLanguage == other.mDisplayLanguage &&
         mDirty == other.mDirty && mMachineRefreshTrigger == other.mMachineRefreshTrigger &&
         mUserRefreshTrigger == other.mUserRefreshTrigger && mEnumProductFilter == other.mEnumProductFilter &&
         BuildTable() == other.BuildTable();
}

void EngineCaches::AssignFrom(const EngineCaches& other) {
  if (this == &other) return;
  mSettingsSubKey = other.mSettingsSubKey;
  mRefreshType = other.mRefreshType;
  mEnumFlag = other.mEnumFlag;
  mDisplayLanguage = other.mDisplayLanguage;
  mDirty = other.mDirty;
  mMachineRefreshTrigger = other.mMachineRefreshTrigger;
  mUserRefreshTrigger = other.mUserRefreshTrigger;
  mEnumProductFilter = other.mEnumProductFilter;
  mEntries = other.mEntries;
  mIncomplete = other.mIncomplete;
}

std::unique_ptr<EngineCaches> EngineCaches::Clone() const {
  auto copy = std::make_unique<EngineCaches>();
  copy->AssignFrom(*this);
  return copy;
}

}  // namespace engine
