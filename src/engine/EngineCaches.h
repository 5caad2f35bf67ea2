// The process's list of installed engine language pairs, kept in memory and
// in "Engines.tsv" below the roaming application-data folder, with the
// user's check mark per pair and the settings that decide when the list is
// rebuilt from the engine side.
//
// Used on the user-interface thread only. Dialogs work on a Clone and write
// it back with AssignFrom.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "src/engine/EngineCacheFormat.h"
#include "src/engine/EngineEntry.h"

namespace engine {

// The registry and file names the cache uses.
extern const wchar_t* const kAddinKeyPath;         // Software\Talvoren\OfficeAddIn
extern const wchar_t* const kCommonSettingsPath;   // ...\RegV1\Common
extern const wchar_t* const kRefreshTriggerValue;  // "RefreshTrigger"
extern const wchar_t* const kCacheFileName;        // "Engines.tsv"

// Where the cache file lies: <roaming app data>/Talvoren/Addins/Office.
// Empty when the roaming folder is unknown.
std::wstring EngineCacheFolder();
std::wstring EngineCacheFilePath();

class EngineCaches {
 public:
  // Its settings live in the common key, or in settingsSubKey below it.
  explicit EngineCaches(std::wstring settingsSubKey = {});
  EngineCaches(const EngineCaches&) = delete;
  EngineCaches& operator=(const EngineCaches&) = delete;

  void ResetCacheSettings();

  bool LoadCache(bool machineDefaults);
  bool SaveCache(bool onlyIfDirty, bool withSettings);
  // The display flag is accepted for the callers' sake and has no effect.
  // A failing engine-side call other than those the enumeration handles
  // raises ComError and leaves the cache unchanged.
  bool RefreshCache(bool display, bool useCacheIfCurrent);
  void SortEntries();

  size_t Count() const { return mEntries.size(); }
  const EngineEntry& Entry(size_t index) const { return mEntries.at(index).second; }
  EngineEntry& Entry(size_t index) { return mEntries.at(index).second; }
  const std::wstring& KeyAt(size_t index) const { return mEntries.at(index).first; }
  std::int32_t Checked(size_t index) const { return Entry(index).Checked(); }
  void SetChecked(size_t index, std::int32_t checked);
  const EngineEntryList& Entries() const { return mEntries; }
  // Replaces the whole list and marks it changed: what a refresh ends with,
  // for a caller (the tests' engine sides) that lists the pairs itself.
  void SetEntries(EngineEntryList entries);

  std::optional<EngineEntry> FindEntry(const std::wstring& group, const std::wstring& id) const;
  // Index of the first entry with this EngineKey, or -1.
  int FindKey(const std::wstring& engineKey) const;

  bool IsSameAs(const EngineCaches& other) const;
  void AssignFrom(const EngineCaches& other);
  std::unique_ptr<EngineCaches> Clone() const;

  // The table as the file would hold it.
  EngineCacheTable BuildTable() const { return TableFromEntries(mEntries); }

  const std::wstring& SettingsSubKey() const { return mSettingsSubKey; }
  std::int32_t RefreshType() const { return mRefreshType; }
  void SetRefreshType(std::int32_t v) { mRefreshType = v; }
  std::int32_t EnumFlag() const { return mEnumFlag; }
  void SetEnumFlag(std::int32_t v) { mEnumFlag = v; }
  const std::wstring& DisplayLanguage() const { return mDisplayLanguage; }
  void SetDisplayLanguage(std::wstring v) { mDisplayLanguage = std::move(v); }
  std::int32_t Dirty() const { return mDirty; }
  void SetDirty(std::int32_t v) { mDirty = v; }
  const std::wstring& MachineRefreshTrigger() const { return mMachineRefreshTrigger; }
  const std::wstring& UserRefreshTrigger() const { return mUserRefreshTrigger; }
  const std::wstring& EnumProductFilter() const { return mEnumProductFilter; }
  void SetEnumProductFilter(std::wstring v) { mEnumProductFilter = std::move(v); }

  // Why the last LoadCache or SaveCache failed, for the log and the command
  // line; empty after a success.
  const std::wstring& LastFailure() const { return mLastFailure; }
  // Number of times RefreshCache asked the engine side (tests and the
  // command line show whether the up-to-date test held).
  int EngineQueries() const { return mEngineQueries; }

 private:
  std::wstring SettingsPath() const;
  bool ReadCacheFile();
  bool WriteCacheFile();

  std::wstring mSettingsSubKey;
  std::int32_t mRefreshType = 0;
  std::int32_t mEnumFlag = 3072;
  std::wstring mDisplayLanguage;
  std::int32_t mDirty = 0;
  std::wstring mMachineRefreshTrigger;
  std::wstring mUserRefreshTrigger;
  std::wstring mEnumProductFilter;
  EngineEntryList mEntries;

  // The last rebuild missed an implementation that failed; the entries
  // read from the file since then do not count.
  bool mIncomplete = false;

  std::wstring mLastFailure;
  int mEngineQueries = 0;
};

}  // namespace engine
