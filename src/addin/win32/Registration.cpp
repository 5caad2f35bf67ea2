#include "src/addin/win32/Registration.h"

#include <vector>

#include "src/addin/AddinMain.h"
#include "src/platform/win32/ComOwners.h"

namespace addin::win {
namespace {

using platform::win::UniqueRegKey;

constexpr wchar_t kProgIdVersioned[] = L"VelmoraMsPowerPoint.Addin.1";
constexpr wchar_t kClassName[] = L"Connect Class";
constexpr wchar_t kHostAddinKey[] = L"Software\\Microsoft\\Office\\PowerPoint\\Addins\\VelmoraMsPowerPoint.Addin";
constexpr wchar_t kSettingsKey[] = L"SOFTWARE\\Talvoren\\OfficeAddIn";
constexpr wchar_t kProductName[] = L"Talvoren PowerPoint AddIn";

struct Value {
  HKEY root;
  std::wstring key;
  const wchar_t* name;  // null: the key's default value
  bool isNumber;
  std::wstring text;
  DWORD number;
};

std::wstring ClassKey() { return std::wstring(L"CLSID\\") + kClassId; }
std::wstring TypeLibKey() { return std::wstring(L"TypeLib\\") + kTypeLibId; }

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Every value registration writes, in writing order.
std::vector<Value> Values(const std::wstring& modulePath) {
  const std::wstring cls = ClassKey();
  const std::wstring lib = TypeLibKey() + L"\\1.0";
  const std::wstring unversioned = kProgId;
  return {
      {HKEY_CLASSES_ROOT, kProgIdVersioned, nullptr, false, kClassName, 0},
      {HKEY_CLASSES_ROOT, std::wstring(kProgIdVersioned) + L"\\CLSID", nullptr, false, kClassId, 0},
      {HKEY_CLASSES_ROOT, unversioned, nullptr, false, kClassName, 0},
      {HKEY_CLASSES_ROOT, unversioned + L"\\CLSID", nullptr, false, kClassId, 0},
      {HKEY_CLASSES_ROOT, unversioned + L"\\CurVer", nullptr, false, kProgIdVersioned, 0},
      {HKEY_CLASSES_ROOT, cls, nullptr, false, kClassName, 0},
      {HKEY_CLASSES_ROOT, cls + L"\\ProgID", nullptr, false, kProgIdVersioned, 0},
      {HKEY_CLASSES_ROOT, cls + L"\\VersionIndependentProgID", nullptr, false, unversioned, 0},
      {HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", nullptr, false, modulePath, 0},
      {HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", L"ThreadingModel", false, L"Apartment", 0},
      {HKEY_CLASSES_ROOT, cls + L"\\TypeLib", nullptr, false, kTypeLibId, 0},
      // The type library as the automation registrar records it; only its
      // own key, so that the host's interface registration is left alone.
      {HKEY_CLASSES_ROOT, lib, nullptr, false, kProductName, 0},
      {HKEY_CLASSES_ROOT, lib + L"\\0\\win64", nullptr, false, modulePath, 0},
      {HKEY_CLASSES_ROOT, lib + L"\\FLAGS", nullptr, false, L"0", 0},
      {HKEY_CLASSES_ROOT, lib + L"\\HELPDIR", nullptr, false, FolderOf(modulePath), 0},
      {HKEY_CURRENT_USER, kHostAddinKey, L"FriendlyName", false, L"Talvoren PowerPoint Addin", 0},
      {HKEY_CURRENT_USER, kHostAddinKey, L"Description", false, kProductName, 0},
      {HKEY_CURRENT_USER, kHostAddinKey, L"LoadBehavior", true, {}, 3},
      {HKEY_CURRENT_USER, kHostAddinKey, L"CommandLineSafe", true, {}, 0},
      {HKEY_LOCAL_MACHINE, kSettingsKey, L"PelorantName", false, kProductName, 0},
      {HKEY_LOCAL_MACHINE, kSettingsKey, L"PelorantProgID", false, unversioned, 0},
  };
}

// Keys that belong to the add-in alone and go whole (the class key is
// replaced whole on registration too, so no stale subkey survives).
std::vector<std::wstring> OwnClassesKeys() {
  return {kProgIdVersioned, kProgId, ClassKey(), TypeLibKey()};
}

// Keys where registration only adds values: removing the add-in removes
// those values, and the key only when nothing else is left in it.
struct SharedKey {
  HKEY root;
  const wchar_t* key;
  std::vector<const wchar_t*> values;
};
std::vector<SharedKey> SharedKeys() {
  return {
      {HKEY_CURRENT_USER, kHostAddinKey, {L"FriendlyName", L"Description", L"LoadBehavior", L"CommandLineSafe"}},
      {HKEY_LOCAL_MACHINE, kSettingsKey, {L"PelorantName", L"PelorantProgID"}},
  };
}

HRESULT FromWin32(LONG rc) { return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(rc)); }

void Keep(HRESULT* first, HRESULT hr) {
  if (SUCCEEDED(*first) && FAILED(hr)) *first = hr;
}

HRESULT WriteValue(const Value& v) {
  UniqueRegKey key;
  LONG rc = RegCreateKeyExW(v.root, v.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                            key.Out(), nullptr);
  if (rc != ERROR_SUCCESS) return FromWin32(rc);
  if (v.isNumber) {
    rc = RegSetValueExW(key.Get(), v.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number), sizeof v.number);
  } else {
    rc = RegSetValueExW(key.Get(), v.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                        static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)));
  }
  return FromWin32(rc);
}

HRESULT DeleteTree(HKEY root, const std::wstring& key) {
  const LONG rc = RegDeleteTreeW(root, key.c_str());
  if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
  if (rc != ERROR_SUCCESS) return FromWin32(rc);
  // Some registries take the key itself with its tree, others leave it.
  const LONG left = RegDeleteKeyW(root, key.c_str());
  return left == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(left);
}

// Removes the key at path if it holds neither values nor subkeys.
HRESULT DeleteIfEmpty(HKEY root, const std::wstring& path) {
  UniqueRegKey key;
  LONG rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE, key.Out());
  if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
  if (rc != ERROR_SUCCESS) return FromWin32(rc);
  DWORD subkeys = 0, values = 0;
  rc = RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                        nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return FromWin32(rc);
  key.Reset();
  if (subkeys != 0 || values != 0) return S_OK;
  return FromWin32(RegDeleteKeyW(root, path.c_str()));
}

}  // namespace

HRESULT RegisterAddin(const std::wstring& modulePath) {
  HRESULT first = DeleteTree(HKEY_CLASSES_ROOT, ClassKey());
  for (const Value& v : Values(modulePath)) Keep(&first, WriteValue(v));
  // The key only, replaced whole.
  const std::wstring programmable = ClassKey() + L"\\Programmable";
  Keep(&first, DeleteTree(HKEY_CLASSES_ROOT, programmable));
  UniqueRegKey key;
  Keep(&first, FromWin32(RegCreateKeyExW(HKEY_CLASSES_ROOT, programmable.c_str(), 0, nullptr,
                                         REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, key.Out(), nullptr)));
  return first;
}

HRESULT UnregisterAddin() {
  HRESULT first = S_OK;
  for (const std::wstring& k : OwnClassesKeys()) Keep(&first, DeleteTree(HKEY_CLASSES_ROOT, k));
  for (const SharedKey& shared : SharedKeys()) {
    UniqueRegKey key;
    const LONG rc = RegOpenKeyExW(shared.root, shared.key, 0, KEY_SET_VALUE, key.Out());
    if (rc == ERROR_FILE_NOT_FOUND) continue;
    if (rc != ERROR_SUCCESS) {
      Keep(&first, FromWin32(rc));
      continue;
    }
    for (const wchar_t* name : shared.values) {
      const LONG del = RegDeleteValueW(key.Get(), name);
      if (del != ERROR_FILE_NOT_FOUND) Keep(&first, FromWin32(del));
    }
    key.Reset();
    Keep(&first, DeleteIfEmpty(shared.root, shared.key));
  }
  return first;
}

}  // namespace addin::win
