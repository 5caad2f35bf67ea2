#include "src/platform/Registry.h"

#include <windows.h>

#include "src/platform/Strings.h"

namespace platform {

class RegKeyImpl {
 public:
  RegKeyImpl(HKEY k, bool w, REGSAM v) : key(k), writable(w), view(v) {}
  ~RegKeyImpl() { ::RegCloseKey(key); }
  RegKeyImpl(const RegKeyImpl&) = delete;
  RegKeyImpl& operator=(const RegKeyImpl&) = delete;

  HKEY key;
  bool writable;
  REGSAM view;  // 0 or KEY_WOW64_32KEY
};

namespace {

HKEY RootOf(Hive hive) {
  switch (hive) {
    case Hive::CurrentUser: return HKEY_CURRENT_USER;
    case Hive::LocalMachine: return HKEY_LOCAL_MACHINE;
    case Hive::ClassesRoot: return HKEY_CLASSES_ROOT;
  }
  return HKEY_CURRENT_USER;
}

constexpr REGSAM kReadWrite = KEY_READ | KEY_WRITE;

LONG OpenFrom(HKEY parent, const std::wstring& path, bool writable, REGSAM view, std::unique_ptr<RegKeyImpl>* out) {
  HKEY h = nullptr;
  LONG rc = ::RegOpenKeyExW(parent, path.c_str(), /*ulOptions=*/0, (writable ? kReadWrite : KEY_READ) | view, &h);
  if (rc != ERROR_SUCCESS) return rc;
  out->reset(new RegKeyImpl(h, writable, view));
  return ERROR_SUCCESS;
}

LONG CreateFrom(HKEY parent, const std::wstring& path, REGSAM view, std::unique_ptr<RegKeyImpl>* out) {
  HKEY h = nullptr;
  LONG rc = ::RegCreateKeyExW(parent, path.c_str(), /*Reserved=*/0, /*lpClass=*/nullptr,
                              REG_OPTION_NON_VOLATILE, kReadWrite | view, /*lpSecurityAttributes=*/nullptr, &h,
                              /*lpdwDisposition=*/nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  out->reset(new RegKeyImpl(h, true, view));
  return ERROR_SUCCESS;
}

}  // namespace

RegKey::RegKey() = default;
RegKey::~RegKey() = default;
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;

bool RegKey::IsOpen() const { return mImpl != nullptr; }
void RegKey::Close() { mImpl.reset(); }

LONG RegKey::Open(Hive hive, const std::wstring& path, bool writable, RegKey* out) {
  if (!out) return ERROR_INVALID_PARAMETER;
  out->Close();
  return OpenFrom(RootOf(hive), path, writable, 0, &out->mImpl);
}

LONG RegKey::Open(Hive hive, const std::wstring& path, bool writable, RegKey* out, RegView view) {
  if (!out) return ERROR_INVALID_PARAMETER;
  out->Close();
  return OpenFrom(RootOf(hive), path, writable, view == RegView::Registry32 ? KEY_WOW64_32KEY : 0, &out->mImpl);
}

LONG RegKey::Create(Hive hive, const std::wstring& path, RegKey* out) {
  if (!out) return ERROR_INVALID_PARAMETER;
  out->Close();
  return CreateFrom(RootOf(hive), path, 0, &out->mImpl);
}

LONG RegKey::OpenSubkey(const std::wstring& name, bool writable, RegKey* out) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (!out || out == this) return ERROR_INVALID_PARAMETER;
  out->Close();
  return OpenFrom(mImpl->key, name, writable, mImpl->view, &out->mImpl);
}

LONG RegKey::CreateSubkey(const std::wstring& name, RegKey* out) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (!out || out == this) return ERROR_INVALID_PARAMETER;
  if (!mImpl->writable) return ERROR_ACCESS_DENIED;
  out->Close();
  return CreateFrom(mImpl->key, name, mImpl->view, &out->mImpl);
}

LONG RegKey::QueryValue(const std::wstring& name, RegValue* out) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  std::vector<std::uint8_t> data(256);
  for (;;) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    LONG rc = ::RegQueryValueExW(mImpl->key, name.c_str(), /*lpReserved=*/nullptr, &type, data.data(), &size);
    if (rc == ERROR_MORE_DATA) {
      // The value may grow between the calls; ask again with what it needs now.
      data.resize(size + 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) return rc;
    data.resize(size);
    if (out) *out = RegValueFromBytes(static_cast<RegType>(type), data);
    return ERROR_SUCCESS;
  }
}

LONG RegKey::SetValue(const std::wstring& name, const RegValue& value) {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (!mImpl->writable) return ERROR_ACCESS_DENIED;
  std::vector<std::uint8_t> data = RegValueBytes(value);
  return ::RegSetValueExW(mImpl->key, name.c_str(), /*Reserved=*/0, static_cast<DWORD>(value.type),
                          data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()));
}

LONG RegKey::DeleteValue(const std::wstring& name) {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (!mImpl->writable) return ERROR_ACCESS_DENIED;
  return ::RegDeleteValueW(mImpl->key, name.c_str());
}

LONG RegKey::EnumSubkeys(std::vector<std::wstring>* names) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  names->clear();
  wchar_t buf[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    LONG rc = ::RegEnumKeyExW(mImpl->key, i, buf, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    names->emplace_back(buf, len);
  }
}

LONG RegKey::EnumValues(std::vector<std::wstring>* names) const {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  names->clear();
  std::wstring buf(16384, L'\0');
  for (DWORD i = 0;; ++i) {
    DWORD len = static_cast<DWORD>(buf.size());
    LONG rc = ::RegEnumValueW(mImpl->key, i, buf.data(), &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    names->emplace_back(buf.data(), len);
  }
}

LONG RegKey::DeleteSubkeyTree(const std::wstring& name) {
  if (!mImpl) return ERROR_INVALID_HANDLE;
  if (!mImpl->writable) return ERROR_ACCESS_DENIED;
  return ::RegDeleteTreeW(mImpl->key, name.empty() ? nullptr : name.c_str());
}

LONG DeleteKeyTree(Hive hive, const std::wstring& path) {
  bool onlySeparators = path.find_first_not_of(L'\\') == std::wstring::npos;
  if (onlySeparators) return ERROR_ACCESS_DENIED;
  return ::RegDeleteTreeW(RootOf(hive), path.c_str());
}

std::wstring RegistryHiveFile(Hive) { return {}; }

RegBatch::RegBatch(Hive hive) : mHive(hive) {}
RegBatch::~RegBatch() = default;
LONG RegBatch::Commit() {
  if (mEnded) return ERROR_INVALID_HANDLE;
  mEnded = true;
  return ERROR_SUCCESS;
}

void SetRegistryBatching(bool) {}
std::uint64_t RegistryRewriteCount() { return 0; }

}  // namespace platform
