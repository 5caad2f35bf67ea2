// The user's named option sets and the selected one. After any load or reset
// the collection holds a set named "default".
//
// Sets are kept in insertion order and may share a name; lookups by name
// reach the first. Pointers returned stay valid until the next Add, Remove,
// Reset, Assign, Load or Import.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "src/options/TranslationOption.h"

namespace options {

inline constexpr const wchar_t* kDefaultOptionName = L"default";

class TranslationOptions {
 public:
  // Empty; Reset or Load before use. The sets live below settingsKey (of the
  // user's hive), the add-in's host key unless given.
  TranslationOptions();
  explicit TranslationOptions(std::wstring settingsKey);
  TranslationOptions(const TranslationOptions&) = delete;
  TranslationOptions& operator=(const TranslationOptions&) = delete;

  // Removes every set, adds one named "default" and selects it.
  bool Reset();
  // Appends a set with the defaults and the given name; returns the first set
  // that has that name (the new one unless the name was taken).
  TranslationOption* Add(const std::wstring& name);
  TranslationOption* Find(const std::wstring& name);
  const TranslationOption* Find(const std::wstring& name) const;
  TranslationOption* Selected();
  const TranslationOption* Selected() const;
  // Selects the set of that name, if there is one, and returns it.
  TranslationOption* Select(const std::wstring& name);
  // Removes the first set of that name. "default" cannot be removed. When the
  // removed set was the selected one, "default" is selected.
  bool Remove(const std::wstring& name);

  // Makes this collection a copy of `other` (hidden values included).
  void Assign(const TranslationOptions& other);
  std::unique_ptr<TranslationOptions> Clone() const;

  // The set's name/value pairs: 24, or 45 with the hidden ones.
  static bool ToNameValue(const TranslationOption& set, std::vector<std::wstring>* names,
                          std::vector<std::wstring>* values, bool includeHidden);
  // Applies pairs to a set: known names (exact case) set their field, the
  // others are ignored. False when the lists differ in length.
  static bool FromNameValue(TranslationOption* set, const std::vector<std::wstring>& names,
                            const std::vector<std::wstring>& values);

  // The registry store (user hive with the machine hive as fallback, or the
  // machine hive alone). Load replaces the collection; on failure it still
  // holds at least "default".
  bool Load(bool machineOnly);
  // Writes every set to the user hive. Without `includeHidden` the hidden
  // values in memory are not written: each set keeps the hidden values the
  // user's store holds for a set of its name (none for a new set).
  bool Save(bool includeHidden);

  // Option files. An empty path means "<set name>.ini" in the per-user data
  // folder. `why`, when given, receives a one-line reason on failure.
  bool Import(const std::wstring& name, const std::wstring& path, std::wstring* why = nullptr);
  bool Export(const std::wstring& name, const std::wstring& path, std::wstring* why = nullptr);

  size_t Count() const { return mOptions.size(); }
  TranslationOption& At(size_t index) { return mOptions.at(index); }
  const TranslationOption& At(size_t index) const { return mOptions.at(index); }
  // The set names in order (the names of At(0), At(1) ...).
  std::vector<std::wstring> OptionNames() const;
  const std::wstring& SelectedName() const { return mSelectedName; }
  const std::wstring& KeyPrefix() const { return mKeyPrefix; }
  // The registry key Load and Save use (the host key unless set; tests point
  // it elsewhere).
  const std::wstring& SettingsKey() const { return mSettingsKey; }

  // Why the last Load or Save failed; empty after a success.
  const std::wstring& LastFailure() const { return mLastFailure; }

 private:
  void CheckFonts(TranslationOption* set) const;

  std::wstring mKeyPrefix;
  std::wstring mSettingsKey;
  std::vector<TranslationOption> mOptions;
  std::wstring mSelectedName;
  std::wstring mLastFailure;
};

// The subkey (below the host key) of set number `index` counted from 1:
// prefix + "\TranslationOption" + "%02d".
std::wstring OptionSubkeyName(const std::wstring& keyPrefix, int index);

// The add-in's per-user data folder (the engine cache's folder):
// <roaming app data>/Talvoren/Addins/Office. Empty when unknown.
std::wstring UserDataFolder();
// "<name>.ini" there; empty (with `why`) when the name cannot be a file name
// (empty, a path separator, a character Windows forbids in file names).
std::wstring DefaultOptionFilePath(const std::wstring& name, std::wstring* why = nullptr);

// A font name that is not installed for its character set is replaced by the
// first installed font of that set; kept when the set has none.
std::wstring CheckFontName(const std::wstring& name, int charset);

}  // namespace options
