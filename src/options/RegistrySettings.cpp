#include "src/options/RegistrySettings.h"

#include "src/platform/Strings.h"

namespace options {

const wchar_t* const kProductKeyPath = L"Software\\Talvoren\\OfficeAddIn";
const wchar_t* const kHostKeyPath = L"Software\\Talvoren\\OfficeAddIn\\RegV1\\PowerPoint";
const wchar_t* const kCommonKeyPath = L"Software\\Talvoren\\OfficeAddIn\\RegV1\\Common";
const wchar_t* const kOptionCountValue = L"TranslationOption.Count";
const wchar_t* const kOptionSelectedValue = L"TranslationOption.Selected";
const wchar_t* const kOptionSubkeyStem = L"TranslationOption";

RegistrySettings::RegistrySettings() : mBasePath(kHostKeyPath) {}
RegistrySettings::RegistrySettings(std::wstring basePath) : mBasePath(std::move(basePath)) {}
RegistrySettings::~RegistrySettings() = default;

std::wstring RegistrySettings::FullPath(const std::wstring& subpath) const {
  if (subpath.empty()) return mBasePath;
  if (mBasePath.empty()) return subpath[0] == L'\\' ? subpath.substr(1) : subpath;
  return subpath[0] == L'\\' ? mBasePath + subpath : mBasePath + L"\\" + subpath;
}

bool RegistrySettings::OpenRead(platform::Hive root, const std::wstring& subpath,
                                std::optional<platform::Hive> fallback) {
  Close();
  const std::wstring path = FullPath(subpath);
  LONG primary = platform::RegKey::Open(root, path, false, &mPrimary);
  if (primary != ERROR_SUCCESS) mLastError = primary;
  if (!fallback) return primary == ERROR_SUCCESS;
  LONG second = platform::RegKey::Open(*fallback, path, false, &mFallback);
  if (second != ERROR_SUCCESS && primary == ERROR_SUCCESS) mLastError = second;
  return primary == ERROR_SUCCESS || second == ERROR_SUCCESS;
}

bool RegistrySettings::OpenWrite(platform::Hive root, const std::wstring& subpath) {
  Close();
  mLastError = platform::RegKey::Open(root, FullPath(subpath), true, &mPrimary);
  return mLastError == ERROR_SUCCESS;
}

bool RegistrySettings::Create(platform::Hive root, const std::wstring& subpath) {
  Close();
  mLastError = platform::RegKey::Create(root, FullPath(subpath), &mPrimary);
  return mLastError == ERROR_SUCCESS;
}

bool RegistrySettings::IsOpen() const { return mPrimary.IsOpen() || mFallback.IsOpen(); }

namespace {
// Text of a value as the settings readers see it; false for types that count
// as absent.
bool ValueText(const platform::RegValue& v, std::wstring* out) {
  if (!platform::IsWellFormedValue(v)) return false;
  switch (v.type) {
    case platform::RegType::Sz:
    case platform::RegType::ExpandSz:
      *out = v.text;
      return true;
    case platform::RegType::MultiSz:
      *out = v.multi.empty() ? std::wstring() : v.multi.front();
      return true;
    case platform::RegType::Dword:
      // Signed, so that a time limit of -1 stored as a number reads back as -1.
      *out = std::to_wstring(static_cast<std::int32_t>(v.dword));
      return true;
    default:
      return false;
  }
}
}  // namespace

std::wstring RegistrySettings::QueryValue(const std::wstring& name, const std::wstring& defaultText) const {
  for (const platform::RegKey* key : {&mPrimary, &mFallback}) {
    if (!key->IsOpen()) continue;
    platform::RegValue value;
    std::wstring text;
    if (key->QueryValue(name, &value) == ERROR_SUCCESS && ValueText(value, &text)) return text;
  }
  return defaultText;
}

bool RegistrySettings::SetValue(const std::wstring& name, const std::wstring& text, bool keepEmpty) {
  if (!mPrimary.IsOpen()) {
    mLastError = ERROR_INVALID_HANDLE;
    return false;
  }
  LONG rc;
  if (text.empty() && !keepEmpty) {
    rc = mPrimary.DeleteValue(name);
    if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
  } else {
    // Rewriting an equal value costs a whole hive file rewrite on posix and
    // changes nothing anywhere.
    platform::RegValue current;
    if (mPrimary.QueryValue(name, &current) == ERROR_SUCCESS && current.type == platform::RegType::Sz &&
        platform::IsWellFormedValue(current) && current.text == text) {
      return true;
    }
    rc = mPrimary.SetValue(name, platform::RegValue::String(text));
  }
  if (rc != ERROR_SUCCESS) mLastError = rc;
  return rc == ERROR_SUCCESS;
}

bool RegistrySettings::DeleteValuesExcept(const std::vector<std::wstring>& keep) {
  if (!mPrimary.IsOpen()) {
    mLastError = ERROR_INVALID_HANDLE;
    return false;
  }
  std::vector<std::wstring> present;
  LONG rc = mPrimary.EnumValues(&present);
  if (rc != ERROR_SUCCESS) {
    mLastError = rc;
    return false;
  }
  for (const auto& name : present) {
    bool kept = false;
    for (const auto& k : keep) kept = kept || platform::EqualsNoCase(k, name);
    if (kept) continue;
    rc = mPrimary.DeleteValue(name);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
      mLastError = rc;
      return false;
    }
  }
  return true;
}

bool RegistrySettings::EnumSubkeys(std::vector<std::wstring>* names) const {
  names->clear();
  bool any = false;
  for (const platform::RegKey* key : {&mPrimary, &mFallback}) {
    if (!key->IsOpen()) continue;
    std::vector<std::wstring> found;
    if (key->EnumSubkeys(&found) != ERROR_SUCCESS) continue;
    any = true;
    for (auto& f : found) {
      bool seen = false;
      for (const auto& n : *names) seen = seen || platform::EqualsNoCase(n, f);
      if (!seen) names->push_back(std::move(f));
    }
  }
  return any;
}

bool RegistrySettings::DeleteSubkey(platform::Hive root, const std::wstring& subpath) {
  LONG rc = platform::DeleteKeyTree(root, FullPath(subpath));
  if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) mLastError = rc;
  return rc == ERROR_SUCCESS;
}

void RegistrySettings::Close() {
  mPrimary.Close();
  mFallback.Close();
}

}  // namespace options
