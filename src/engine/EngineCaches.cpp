#include "src/engine/EngineCaches.h"

#include <algorithm>
#include <cwchar>

#include "resources/MessageIds.h"
#include "src/engine/EngineEnumeration.h"
#include "src/engine/EngineFamilies.h"
#include "src/engine/server/EngineClasses.h"
#include "src/platform/Files.h"
#include "src/platform/Registry.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/support/ErrorList.h"
#include "src/support/Log.h"
#include "src/support/ResourceModule.h"

namespace engine {

namespace msg = resources::msg;

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

constexpr std::int32_t kDefaultEnumFlag = 3072;
// A cache file is a few hundred rows; anything near this size is not one.
constexpr std::size_t kMaxCacheFileBytes = 64u * 1024u * 1024u;

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

// The cache file's bytes, with a reason a user can read on failure.
bool ReadFileBytes(const std::wstring& path, std::string* out, std::wstring* reason) {
  DWORD rc = platform::CurrentFiles().ReadFile(path, kMaxCacheFileBytes, out);
  if (rc == ERROR_SUCCESS) return true;
  *reason = rc == ERROR_FILE_TOO_LARGE ? path + L" is too large to be an engine cache" : L"cannot read " + path;
  return false;
}

}  // namespace

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

EngineCaches::EngineCaches(std::wstring settingsSubKey) : mSettingsSubKey(std::move(settingsSubKey)) {
  ResetCacheSettings();
}

void EngineCaches::ResetCacheSettings() {
  mDisplayLanguage = support::LoadText(msg::kUiLanguageTextId);
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
  platform::Files& files = platform::CurrentFiles();
  if (files.CreateFolders(folder) != ERROR_SUCCESS) {
    mLastFailure = L"cannot create " + folder;
    return false;
  }
  std::wstring path = platform::JoinPath(folder, kCacheFileName);

  // A file this program cannot read may still be someone's only copy of the
  // user's check marks: keep it aside instead of replacing it.
  platform::FileKind kind = files.Kind(path);
  if (kind != platform::FileKind::Missing) {
    if (kind != platform::FileKind::Regular) {
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
      std::wstring aside;
      if (files.KeepAside(path, L".damaged", &aside) != ERROR_SUCCESS) {
        mLastFailure = L"cannot keep the unreadable " + path + L" aside; it was not replaced";
        return false;
      }
      LOG_WARNING(kSource, path + L" could not be read (" + reason + L"); kept as " + aside);
      platform::ReportDiagnostic(L"The engine cache " + path + L" could not be read (" + reason + L"); it was kept as " +
                                 aside + L".");
    }
  }

  if (files.WriteAtomically(path, FormatCacheFile(BuildTable()), {}) != ERROR_SUCCESS) {
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

  // The trigger and the settings go to the settings file in one rewrite.
  platform::RegBatch batch(platform::Hive::CurrentUser);
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
  if (batch.Commit() != ERROR_SUCCESS) {
    LOG_ERROR(kSource, L"SaveCache: cannot write the settings file");
    if (mLastFailure.empty()) mLastFailure = L"cannot write the user's settings";
    ok = false;
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
  if (found.EngineUnavailable) support::ErrorList::Add(msg::kNoEngines);
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
