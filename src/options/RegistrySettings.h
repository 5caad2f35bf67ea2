// The key-access object behind every settings reader and writer. Settings are
// strings: read from the user hive with the machine hive as fallback, written
// to the user hive only.
//
// One object holds at most a primary key (the hive asked for) and a fallback
// key; every Open*/Create closes what was open. Not thread-safe; use one
// object per thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "src/platform/Registry.h"

namespace options {

extern const wchar_t* const kProductKeyPath;  // Software\Talvoren\OfficeAddIn
extern const wchar_t* const kHostKeyPath;     // ...\RegV1\PowerPoint
extern const wchar_t* const kCommonKeyPath;   // ...\RegV1\Common

// Value names of the option-set list in the host key.
extern const wchar_t* const kOptionCountValue;     // "TranslationOption.Count"
extern const wchar_t* const kOptionSelectedValue;  // "TranslationOption.Selected"
extern const wchar_t* const kOptionSubkeyStem;     // "TranslationOption"

class RegistrySettings {
 public:
  RegistrySettings();  // base path: the host key
  explicit RegistrySettings(std::wstring basePath);
  ~RegistrySettings();
  RegistrySettings(const RegistrySettings&) = delete;
  RegistrySettings& operator=(const RegistrySettings&) = delete;

  const std::wstring& BasePath() const { return mBasePath; }
  // The common key's path, for readers of the shared settings.
  static std::wstring CommonPath() { return kCommonKeyPath; }

  // Opens base path + subpath (a leading "\" is optional; empty means the
  // base key) for reading under `root`, and under `fallback` when given.
  // True when the single open succeeded or, with a fallback, either did.
  bool OpenRead(platform::Hive root, const std::wstring& subpath,
                std::optional<platform::Hive> fallback = std::nullopt);
  // Opens an existing key for writing; Create also makes it (and parents).
  bool OpenWrite(platform::Hive root, const std::wstring& subpath);
  bool Create(platform::Hive root, const std::wstring& subpath);
  bool IsOpen() const;

  // The value as text: string values (REG_SZ, REG_EXPAND_SZ, the first
  // string of REG_MULTI_SZ) whole, REG_DWORD as signed decimal. Looked up in
  // the primary key, then the fallback key; any other type, or none, gives
  // `defaultText`.
  std::wstring QueryValue(const std::wstring& name, const std::wstring& defaultText) const;
  // Writes REG_SZ into the primary key. An empty text deletes the value (a
  // value that is already absent counts as deleted) unless keepEmpty is set,
  // which stores the empty string.
  bool SetValue(const std::wstring& name, const std::wstring& text, bool keepEmpty = false);
  // Removes every value of the primary key whose name is not in `keep`
  // (case-insensitive).
  bool DeleteValuesExcept(const std::vector<std::wstring>& keep);

  // Direct subkeys of the primary key.
  bool EnumSubkeys(std::vector<std::wstring>* names) const;
  // Deletes base path + subpath with everything below it; an absent key
  // counts as deleted.
  bool DeleteSubkey(platform::Hive root, const std::wstring& subpath);
  void Close();

  // The Win32 error of the last failed call, for logs.
  LONG LastError() const { return mLastError; }

 private:
  std::wstring FullPath(const std::wstring& subpath) const;

  platform::RegKey mPrimary;
  platform::RegKey mFallback;
  std::wstring mBasePath;
  LONG mLastError = 0;
};

}  // namespace options
