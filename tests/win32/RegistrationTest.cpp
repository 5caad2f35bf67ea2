// The add-in DLL as an installer and the host meet it: regsvr32 registers
// and unregisters it, COM creates its connect object from the registration,
// and the module may unload once that object is gone.
#include <gtest/gtest.h>
#include <oaidl.h>
#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/win32/WinTestSupport.h"

namespace wintest {

// The host's interface as the host declares it, written here apart from the
// DLL's own declaration: a slot out of place in the DLL calls the wrong
// method and shows in the answers below.
struct HostExtensibility : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch*, LONG, IDispatch*, SAFEARRAY**) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnection(LONG, SAFEARRAY**) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) = 0;
};

}  // namespace wintest

namespace {

using platform::win::ComPtr;
using wintest::HostExtensibility;
using wintest::KeyExists;
using wintest::ReadNumber;
using wintest::ReadString;

const CLSID kClsid = {0x03673A7E, 0x14CB, 0x4B46, {0xA8, 0xC5, 0x18, 0xE3, 0xA6, 0xC7, 0xC4, 0x33}};
const IID kIidExtensibility = {0xB65AD801, 0xABAF, 0x11D0, {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};
const wchar_t kClassKey[] = L"CLSID\\{03673A7E-14CB-4B46-A8C5-18E3A6C7C433}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{58584FC9-5192-40AC-BCE7-4502DEC2183D}";
const wchar_t kHostKey[] = L"Software\\Microsoft\\Office\\PowerPoint\\Addins\\VelmoraMsPowerPoint.Addin";
const wchar_t kVendorKey[] = L"SOFTWARE\\Talvoren";
const wchar_t kSettingsKey[] = L"SOFTWARE\\Talvoren\\OfficeAddIn";

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mDll = wintest::ModuleFromEnv("PELORANT_DLL");
    ASSERT_FALSE(mDll.empty()) << "PELORANT_DLL is not set";
    ASSERT_TRUE(mCom.Usable());
    // The settings key as an installer and the add-in leave it: machine
    // defaults, the refresh trigger and log settings, none of them the
    // registration's.
    mHadVendorKey = KeyExists(HKEY_LOCAL_MACHINE, kVendorKey);
    mHadSettingsKey = KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
    for (const wchar_t* name : {L"RefreshTrigger", L"LogLevel"}) {
      if (!ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, name)) {
        wintest::WriteString(HKEY_LOCAL_MACHINE, kSettingsKey, name, L"7");
        mWritten.push_back(name);
      }
    }
  }

  void TearDown() override {
    Regsvr32(L"/u /s");
    for (const std::wstring& name : mWritten) RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, name.c_str());
    if (!mHadSettingsKey) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kSettingsKey);
    if (!mHadVendorKey) RegDeleteKeyW(HKEY_LOCAL_MACHINE, kVendorKey);
  }

  long Regsvr32(const std::wstring& options) { return wintest::Run(L"regsvr32.exe " + options + L" \"" + mDll + L"\""); }

  std::wstring mDll;
  platform::win::ComInitializer mCom;
  bool mHadVendorKey = false;
  bool mHadSettingsKey = false;
  std::vector<std::wstring> mWritten;
};

TEST_F(RegistrationTest, RegistersServesTheConnectObjectAndUnregistersOnlyItsKeys) {
  // A subkey left by an older registration must not survive a new one.
  ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(kClassKey) + L"\\Stale").c_str(), nullptr, REG_SZ,
                            L"x", 4),
            ERROR_SUCCESS);
  ASSERT_EQ(Regsvr32(L"/s"), 0);

  const std::wstring cls = kClassKey;
  struct Expected {
    HKEY root;
    std::wstring key, name, text;
  };
  const Expected strings[] = {
      {HKEY_CLASSES_ROOT, L"VelmoraMsPowerPoint.Addin.1", L"", L"Connect Class"},
      {HKEY_CLASSES_ROOT, L"VelmoraMsPowerPoint.Addin.1\\CLSID", L"", L"{03673A7E-14CB-4B46-A8C5-18E3A6C7C433}"},
      {HKEY_CLASSES_ROOT, L"VelmoraMsPowerPoint.Addin", L"", L"Connect Class"},
      {HKEY_CLASSES_ROOT, L"VelmoraMsPowerPoint.Addin\\CLSID", L"", L"{03673A7E-14CB-4B46-A8C5-18E3A6C7C433}"},
      {HKEY_CLASSES_ROOT, L"VelmoraMsPowerPoint.Addin\\CurVer", L"", L"VelmoraMsPowerPoint.Addin.1"},
      {HKEY_CLASSES_ROOT, cls, L"", L"Connect Class"},
      {HKEY_CLASSES_ROOT, cls + L"\\ProgID", L"", L"VelmoraMsPowerPoint.Addin.1"},
      {HKEY_CLASSES_ROOT, cls + L"\\VersionIndependentProgID", L"", L"VelmoraMsPowerPoint.Addin"},
      {HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", L"", mDll},
      {HKEY_CLASSES_ROOT, cls + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {HKEY_CLASSES_ROOT, cls + L"\\TypeLib", L"", L"{58584FC9-5192-40AC-BCE7-4502DEC2183D}"},
      {HKEY_CLASSES_ROOT, std::wstring(kTypeLibKey) + L"\\1.0\\0\\win64", L"", mDll},
      {HKEY_CURRENT_USER, kHostKey, L"FriendlyName", L"Talvoren PowerPoint Addin"},
      {HKEY_CURRENT_USER, kHostKey, L"Description", L"Talvoren PowerPoint AddIn"},
      {HKEY_LOCAL_MACHINE, kSettingsKey, L"PelorantName", L"Talvoren PowerPoint AddIn"},
      {HKEY_LOCAL_MACHINE, kSettingsKey, L"PelorantProgID", L"VelmoraMsPowerPoint.Addin"},
  };
  for (const Expected& e : strings) {
    const auto value = ReadString(e.root, e.key, e.name);
    ASSERT_TRUE(value.has_value()) << std::string(e.key.begin(), e.key.end());
    EXPECT_EQ(CompareStringOrdinal(value->c_str(), -1, e.text.c_str(), -1, TRUE), CSTR_EQUAL)
        << std::string(e.key.begin(), e.key.end());
  }
  EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, kHostKey, L"LoadBehavior"), std::optional<DWORD>(3));
  EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, kHostKey, L"CommandLineSafe"), std::optional<DWORD>(0));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, cls + L"\\Programmable"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, cls + L"\\Stale"));
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(L"VelmoraMsPowerPoint.Addin", &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, kClsid));

  // Created as the host creates it, through the registration, then called
  // both through the table and through IDispatch; the module may unload
  // once the object is gone.
  ComPtr<HostExtensibility> connect;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidExtensibility, connect.OutVoid()), S_OK);
  HMODULE module = GetModuleHandleW(L"Pelorant.dll");
  ASSERT_NE(module, nullptr);
  using ExportFn = HRESULT(STDAPICALLTYPE*)();
  auto canUnload = reinterpret_cast<ExportFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  using ClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto classObject = reinterpret_cast<ClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  ASSERT_TRUE(canUnload && classObject);
  EXPECT_EQ(canUnload(), S_FALSE);

  // The type information lists the five methods at table positions 7-11.
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(connect->GetTypeInfo(0, 0, info.Out()), S_OK);
  const wchar_t* names[] = {L"OnConnection", L"OnDisconnection", L"OnAddInsUpdate", L"OnStartupComplete",
                            L"OnBeginShutdown"};
  for (UINT i = 0; i < 5; ++i) {
    FUNCDESC* func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
    EXPECT_EQ(func->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
    EXPECT_EQ(func->memid, static_cast<MEMBERID>(i + 1));
    platform::win::Bstr name;
    UINT got = 0;
    EXPECT_EQ(info->GetNames(func->memid, name.Out(), 1, &got), S_OK);
    EXPECT_EQ(name.Text(), names[i]);
    info->ReleaseFuncDesc(func);
  }

  // Late-bound, as a script host would call it.
  LPOLESTR method = const_cast<LPOLESTR>(L"OnStartupComplete");
  DISPID id = 0;
  ASSERT_EQ(connect->GetIDsOfNames(IID_NULL, &method, 1, 0, &id), S_OK);
  EXPECT_EQ(id, 4);
  SAFEARRAY* custom = SafeArrayCreateVector(VT_VARIANT, 0, 0);
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_ARRAY | VT_VARIANT | VT_BYREF;
  arg.pparray = &custom;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  EXPECT_EQ(connect->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(connect->Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);

  // Early-bound: every slot answers, disconnecting with nothing connected too.
  EXPECT_EQ(connect->OnAddInsUpdate(&custom), S_OK);
  EXPECT_EQ(connect->OnStartupComplete(&custom), S_OK);
  EXPECT_EQ(connect->OnBeginShutdown(&custom), S_OK);
  EXPECT_EQ(connect->OnDisconnection(1, &custom), S_OK);
  // A connection to an Application the add-in cannot work with: the host
  // still hears S_OK (the add-in shows its own message), and after the
  // disconnection only the host's reference keeps the module.
  VARIANT launch;
  VariantInit(&launch);
  launch.vt = VT_I4;
  launch.lVal = 1;
  LONG index = 0;
  SAFEARRAY* withKind = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  ASSERT_EQ(SafeArrayPutElement(withKind, &index, &launch), S_OK);
  EXPECT_EQ(connect->OnConnection(connect.Get(), 1, connect.Get(), &withKind), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);
  EXPECT_EQ(connect->OnDisconnection(0, &withKind), S_OK);
  SafeArrayDestroy(withKind);
  SafeArrayDestroy(custom);

  // The factory: only its own class, no aggregation, locks hold the module.
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(classObject(IID_IDispatch, IID_IClassFactory, factory.OutVoid()), CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(classObject(kClsid, IID_IClassFactory, factory.OutVoid()), S_OK);
  ComPtr<IUnknown> aggregated;
  EXPECT_EQ(factory->CreateInstance(connect.Get(), IID_IUnknown, aggregated.OutVoid()), CLASS_E_NOAGGREGATION);
  ComPtr<IUnknown> other;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, other.OutVoid()), E_NOINTERFACE);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  connect.Reset();
  EXPECT_EQ(canUnload(), S_FALSE);
  ASSERT_EQ(classObject(kClsid, IID_IClassFactory, factory.OutVoid()), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(canUnload(), S_OK);


  ASSERT_EQ(Regsvr32(L"/u /s"), 0);
  for (const wchar_t* gone : {L"VelmoraMsPowerPoint.Addin.1", L"VelmoraMsPowerPoint.Addin", kClassKey, kTypeLibKey})
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, gone)) << std::string(gone, gone + wcslen(gone));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kHostKey));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, L"PelorantName"));
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, L"PelorantProgID"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, L"RefreshTrigger"), std::optional<std::wstring>(L"7"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, L"LogLevel"), std::optional<std::wstring>(L"7"));
  // Unregistering again finds nothing to remove and still succeeds.
  EXPECT_EQ(Regsvr32(L"/u /s"), 0);
}

}  // namespace
