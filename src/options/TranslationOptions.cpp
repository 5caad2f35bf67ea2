#include "src/options/TranslationOptions.h"

#include <algorithm>
#include <map>

#include "src/options/RegistrySettings.h"
#include "src/platform/Fonts.h"
#include "src/platform/Strings.h"
#include "src/support/Log.h"

namespace options {

namespace {
const wchar_t* const kSource = L"TranslationOptions";
const size_t kPublicPairs = static_cast<size_t>(kPublicPairCount);

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() &&
         platform::EqualsNoCase(std::wstring_view(text).substr(0, prefix.size()), prefix);
}

// The number N of a subkey named "TranslationOption<digits>", or -1.
long long OptionSubkeyNumber(const std::wstring& name) {
  const std::wstring stem = kOptionSubkeyStem;
  if (!StartsWithNoCase(name, stem) || name.size() == stem.size()) return -1;
  long long n = 0;
  for (size_t i = stem.size(); i < name.size(); ++i) {
    if (name[i] < L'0' || name[i] > L'9') return -1;
    n = n * 10 + (name[i] - L'0');
    if (n > 1000000000LL) n = 1000000000LL;
  }
  return n;
}
}  // namespace

std::wstring OptionSubkeyName(const std::wstring& keyPrefix, int index) {
  wchar_t digits[16];
  swprintf(digits, sizeof digits / sizeof digits[0], L"%02d", index);
  return keyPrefix + L"\\" + kOptionSubkeyStem + digits;
}

TranslationOptions::TranslationOptions() : TranslationOptions(kHostKeyPath) {}

TranslationOptions::TranslationOptions(std::wstring settingsKey) : mSettingsKey(std::move(settingsKey)) {}

bool TranslationOptions::Reset() {
  mOptions.clear();
  TranslationOption set;
  set.SetName(kDefaultOptionName);
  mOptions.push_back(std::move(set));
  mSelectedName = kDefaultOptionName;
  return true;
}

TranslationOption* TranslationOptions::Add(const std::wstring& name) {
  TranslationOption set;
  set.SetName(name);
  mOptions.push_back(std::move(set));
  return Find(name);
}

TranslationOption* TranslationOptions::Find(const std::wstring& name) {
  for (auto& set : mOptions) {
    if (set.Name() == name) return &set;
  }
  return nullptr;
}

const TranslationOption* TranslationOptions::Find(const std::wstring& name) const {
  return const_cast<TranslationOptions*>(this)->Find(name);
}

TranslationOption* TranslationOptions::Selected() { return Find(mSelectedName); }
const TranslationOption* TranslationOptions::Selected() const { return Find(mSelectedName); }

TranslationOption* TranslationOptions::Select(const std::wstring& name) {
  TranslationOption* set = Find(name);
  if (set != nullptr) mSelectedName = name;
  return set;
}

bool TranslationOptions::Remove(const std::wstring& name) {
  if (name == kDefaultOptionName) return false;
  for (auto it = mOptions.begin(); it != mOptions.end(); ++it) {
    if (it->Name() != name) continue;
    mOptions.erase(it);
    // A selection that names no set would leave the menu and the commands
    // without option set; fall back on the set that always exists.
    if (mSelectedName == name && Find(name) == nullptr) mSelectedName = kDefaultOptionName;
    return true;
  }
  return false;
}

std::vector<std::wstring> TranslationOptions::OptionNames() const {
  std::vector<std::wstring> names;
  names.reserve(mOptions.size());
  for (const auto& set : mOptions) names.push_back(set.Name());
  return names;
}

void TranslationOptions::Assign(const TranslationOptions& other) {
  if (&other == this) return;
  Reset();
  mKeyPrefix = other.mKeyPrefix;
  mSettingsKey = other.mSettingsKey;
  for (const auto& source : other.mOptions) {
    if (source.Name() == kDefaultOptionName) {
      *Find(kDefaultOptionName) = source;
    } else {
      mOptions.push_back(source);
    }
  }
  Select(other.mSelectedName);
}

std::unique_ptr<TranslationOptions> TranslationOptions::Clone() const {
  auto copy = std::make_unique<TranslationOptions>();
  copy->Assign(*this);
  return copy;
}

std::wstring CheckFontName(const std::wstring& name, int charset) {
  platform::FontCatalog& catalog = platform::FontCatalog::Current();
  if (catalog.IsInstalled(name, charset)) return name;
  std::vector<std::wstring> fonts = catalog.InstalledFonts(charset);
  if (fonts.empty()) return name;
  return fonts.front();
}

void TranslationOptions::CheckFonts(TranslationOption* set) const {
  for (int i = 0; i < 7; ++i) {
    std::wstring checked = CheckFontName(set->Font(i), kFontCharsets[i]);
    if (checked != set->Font(i)) {
      LOG_DETAIL(kSource, L"font " + set->Font(i) + L" is not installed; using " + checked);
      set->SetFont(i, std::move(checked));
    }
  }
}

bool TranslationOptions::Load(bool machineOnly) {
  mLastFailure.clear();
  if (!Reset()) {
    mLastFailure = L"the option sets could not be reset";
    return false;
  }
  const platform::Hive root = machineOnly ? platform::Hive::LocalMachine : platform::Hive::CurrentUser;
  const std::optional<platform::Hive> fallback =
      machineOnly ? std::nullopt : std::optional<platform::Hive>(platform::Hive::LocalMachine);

  RegistrySettings reg(mSettingsKey);
  long long count = 0;
  std::wstring selected;
  if (reg.OpenRead(root, L"", fallback)) {
    count = ParseAutoBaseInt(reg.QueryValue(kOptionCountValue, L"1"));
    selected = reg.QueryValue(kOptionSelectedValue, kDefaultOptionName);
  }
  reg.Close();

  // The stored count decides how many subkeys are tried, but a damaged count
  // must not make the loop run for billions of absent keys: no set above the
  // highest numbered subkey present can load, so stop there.
  long long highest = 0;
  if (count > 0 && reg.OpenRead(root, mKeyPrefix, fallback)) {
    std::vector<std::wstring> subkeys;
    reg.EnumSubkeys(&subkeys);
    for (const auto& name : subkeys) highest = std::max(highest, OptionSubkeyNumber(name));
    reg.Close();
  }
  const long long last = std::min(count, highest);

  std::vector<std::wstring> names, defaults;
  ToNameValue(*Find(kDefaultOptionName), &names, &defaults, true);

  for (long long i = 1; i <= last; ++i) {
    if (!reg.OpenRead(root, OptionSubkeyName(mKeyPrefix, static_cast<int>(i)), fallback)) continue;
    std::vector<std::wstring> values(names.size());
    for (size_t p = 0; p < names.size(); ++p) {
      if (!names[p].empty()) values[p] = reg.QueryValue(names[p], defaults[p]);
    }
    reg.Close();

    std::wstring name = values[0];
    if (name.empty()) name = kDefaultOptionName;
    values[0] = name;
    if (name != kDefaultOptionName) Add(name);
    // The set just added, as names may repeat.
    TranslationOption* set = name == kDefaultOptionName ? Find(kDefaultOptionName) : &mOptions.back();
    if (!FromNameValue(set, names, values)) {
      mLastFailure = L"the values of option set " + name + L" could not be applied";
      return false;
    }
    CheckFonts(set);
    if (name == selected) Select(name);
  }
  return true;
}

namespace {
// The hidden values each set has in the user's store now, by set name and
// occurrence of that name, so that a save without them can write them back
// unchanged into whichever subkey the set lands in.
using HiddenValues = std::vector<std::wstring>;  // in the order of the hidden pairs
std::map<std::wstring, std::vector<HiddenValues>> StoredHiddenValues(const std::wstring& settingsKey,
                                                                   const std::wstring& keyPrefix,
                                                                   const std::vector<std::wstring>& names) {
  std::map<std::wstring, std::vector<HiddenValues>> stored;
  const platform::Hive user = platform::Hive::CurrentUser;
  RegistrySettings reg(settingsKey);
  if (!reg.OpenRead(user, L"")) return stored;
  const long long count = ParseAutoBaseInt(reg.QueryValue(kOptionCountValue, L"1"));
  long long highest = 0;
  if (count > 0 && reg.OpenRead(user, keyPrefix)) {
    std::vector<std::wstring> subkeys;
    reg.EnumSubkeys(&subkeys);
    for (const auto& name : subkeys) highest = std::max(highest, OptionSubkeyNumber(name));
  }
  // Registry text never holds a NUL, so it marks an absent value.
  const std::wstring absent(1, L'\0');
  for (long long i = 1; i <= std::min(count, highest); ++i) {
    if (!reg.OpenRead(user, OptionSubkeyName(keyPrefix, static_cast<int>(i)))) continue;
    std::wstring name = reg.QueryValue(names::kName, L"");
    if (name.empty()) name = kDefaultOptionName;
    HiddenValues values;
    for (size_t p = kPublicPairs; p < names.size(); ++p) {
      std::wstring value = names[p].empty() ? absent : reg.QueryValue(names[p], absent);
      values.push_back(value == absent ? std::wstring() : value);
    }
    stored[name].push_back(std::move(values));
  }
  return stored;
}
}  // namespace

bool TranslationOptions::Save(bool includeHidden) {
  mLastFailure.clear();
  const platform::Hive user = platform::Hive::CurrentUser;
  // Without its hidden values a save keeps the ones stored, whatever they
  // are; dropping them would lose settings the user cannot even see.
  std::map<std::wstring, std::vector<HiddenValues>> storedHidden;
  std::map<std::wstring, size_t> occurrences;
  if (!includeHidden && !mOptions.empty()) {
    std::vector<std::wstring> names, values;
    ToNameValue(mOptions.front(), &names, &values, true);
    storedHidden = StoredHiddenValues(mSettingsKey, mKeyPrefix, names);
  }
  // One rewrite of the store for the whole save, and none when it fails.
  platform::RegBatch batch(user);
  RegistrySettings reg(mSettingsKey);
  auto fail = [&](std::wstring why) {
    mLastFailure = std::move(why);
    if (reg.LastError() != 0) mLastFailure += L" (error " + std::to_wstring(reg.LastError()) + L")";
    LOG_WARNING(kSource, L"Save: " + mLastFailure);
    reg.Close();
    return false;
  };

  if (!reg.Create(user, mKeyPrefix)) return fail(L"the settings key could not be created");
  reg.Close();

  // Each set is written over its old subkey and only then are stale subkeys
  // removed, so that a failure half way never leaves the user without the
  // sets stored before. Values the new set does not write are removed, which
  // gives the same end result as writing into fresh subkeys.
  std::vector<std::wstring> written;
  for (size_t i = 0; i < mOptions.size(); ++i) {
    std::vector<std::wstring> names, values;
    if (!ToNameValue(mOptions[i], &names, &values, true)) {
      return fail(L"option set " + mOptions[i].Name() + L" could not be encoded");
    }
    if (!includeHidden) {
      const std::vector<HiddenValues>& stored = storedHidden[mOptions[i].Name()];
      const size_t occurrence = occurrences[mOptions[i].Name()]++;
      for (size_t p = kPublicPairs; p < values.size(); ++p) {
        values[p] = occurrence < stored.size() ? stored[occurrence][p - kPublicPairs] : std::wstring();
      }
    }
    const std::wstring subkey = OptionSubkeyName(mKeyPrefix, static_cast<int>(i + 1));
    if (!reg.Create(user, subkey)) return fail(L"the key " + subkey + L" could not be created");
    std::vector<std::wstring> kept;
    for (size_t p = 0; p < names.size(); ++p) {
      if (names[p].empty()) continue;
      if (!reg.SetValue(names[p], values[p])) {
        return fail(L"the value " + names[p] + L" of " + subkey + L" could not be written");
      }
      if (!values[p].empty()) kept.push_back(names[p]);
    }
    if (!reg.DeleteValuesExcept(kept)) return fail(L"old values of " + subkey + L" could not be removed");
    std::vector<std::wstring> inner;
    reg.EnumSubkeys(&inner);
    reg.Close();
    for (const auto& name : inner) {
      if (!reg.DeleteSubkey(user, subkey + L"\\" + name)) {
        return fail(L"the key " + subkey + L"\\" + name + L" could not be removed");
      }
    }
    written.push_back(subkey.substr(subkey.rfind(L'\\') + 1));
  }

  if (!reg.Create(user, L"")) return fail(L"the settings key could not be opened for writing");
  if (!reg.SetValue(kOptionCountValue, std::to_wstring(mOptions.size())) ||
      !reg.SetValue(kOptionSelectedValue, mSelectedName)) {
    return fail(L"the option set list could not be written");
  }
  reg.Close();

  if (reg.OpenWrite(user, mKeyPrefix)) {
    std::vector<std::wstring> subkeys;
    reg.EnumSubkeys(&subkeys);
    reg.Close();
    for (const auto& name : subkeys) {
      if (!StartsWithNoCase(name, kOptionSubkeyStem)) continue;
      bool current = false;
      for (const auto& w : written) current = current || platform::EqualsNoCase(w, name);
      if (current) continue;
      const std::wstring path = mKeyPrefix.empty() ? name : mKeyPrefix + L"\\" + name;
      if (!reg.DeleteSubkey(user, path)) return fail(L"the stale key " + name + L" could not be removed");
    }
  }
  if (LONG rc = batch.Commit(); rc != ERROR_SUCCESS) {
    return fail(L"the settings could not be written (error " + std::to_wstring(rc) + L")");
  }
  return true;
}

}  // namespace options
