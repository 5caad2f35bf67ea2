// The Windows-only suite: the COM owners, the add-in DLL as an installer and
// the host meet it, the engine client over COM against the fake engine
// server, and where the help control is loaded from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <oaidl.h>
#include <objbase.h>
#include <optional>
#include <string>
#include <tuple>
#include <vector>
#include <windows.h>

#include "src/engine/server/EngineClasses.h"
#include "src/platform/Strings.h"
#include "src/platform/System.h"
#include "src/platform/win32/ComOwners.h"
#include "tests/common/Errors.h"
#include "tests/common/TempDir.h"

namespace wintest {

// The host's interface as the host declares it, written here apart from the
// DLL's own declaration: a slot out of place in the DLL calls the wrong
// method and shows in the answers below. In a named namespace: a type no other
// file can see would let the compiler assume no object implements it.
struct HostExtensibility : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch*, LONG, IDispatch*, SAFEARRAY**) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnection(LONG, SAFEARRAY**) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) = 0;
};

}  // namespace wintest

using namespace engine_server;
using namespace platform::win;

namespace {

// Helpers of the Windows-only suite: where the built modules are, running a
// program with a bounded wait, and reading the registry back.
// The Windows spelling of a module path the build passes in the
// environment (a Linux path under Wine's Z: drive).
std::wstring ModuleFromEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) return {};
  std::wstring path = value[0] == '/' ? L"Z:" : L"";
  for (const char* p = value; *p; ++p) path += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

// Runs a command line and answers its exit code; -1 if it could not start
// or did not end within a minute.
long RunProgram(std::wstring commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  platform::win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 1);
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);
  return static_cast<long>(code);
}

bool KeyExists(HKEY root, const std::wstring& path) {
  platform::win::UniqueRegKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Out()) == ERROR_SUCCESS;
}

// A string value (name empty: the default value); nothing if absent or not
// a string.
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const std::wstring& name) {
  wchar_t buffer[1024];
  DWORD size = sizeof buffer;
  if (RegGetValueW(root, path.c_str(), name.empty() ? nullptr : name.c_str(), RRF_RT_REG_SZ, nullptr, buffer,
                   &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(buffer);
}

std::optional<DWORD> ReadNumber(HKEY root, const std::wstring& path, const std::wstring& name) {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
    return std::nullopt;
  return value;
}

void WriteString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value) {
  ASSERT_EQ(RegSetKeyValueW(root, path.c_str(), name.c_str(), REG_SZ, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// The COM owners release exactly what they own, and a failed call becomes
// the ComError of its real code.
// Counts its references; never deleted by Release.
struct Counted : IUnknown {
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

HRESULT STDMETHODCALLTYPE FillIn(EXCEPINFO* info) {
  info->scode = E_ACCESSDENIED;
  info->bstrDescription = SysAllocString(L"filled late");
  return S_OK;
}

TEST(ComOwnersTest, PointersAndVariantsBalanceTheirReferencesAndFailuresCarryTheRealCode) {
  Counted object;
  {
    ComPtr<IUnknown> a = ComPtr<IUnknown>::Adopt(&object);
    ComPtr<IUnknown> b = a;  // a second reference
    EXPECT_EQ(object.refs, 2u);
    ComPtr<IUnknown> c = std::move(b);  // handed on, not added
    EXPECT_EQ(object.refs, 2u);
    EXPECT_FALSE(b);
    c = a;  // assigning over a held reference lets that one go first
    EXPECT_EQ(object.refs, 2u);
    ComPtr<IUnknown> out;
    EXPECT_EQ(a.As(IID_IDispatch, &out), E_NOINTERFACE);
  }
  EXPECT_EQ(object.refs, 0u);

  Variant text(std::wstring(L"abc"));
  Variant copy = text;
  ASSERT_EQ(copy.Type(), VT_BSTR);
  EXPECT_NE(copy.Get().bstrVal, text.Get().bstrVal);  // its own string
  Variant moved = std::move(copy);
  EXPECT_EQ(copy.Type(), VT_EMPTY);
  EXPECT_EQ(std::wstring(moved.Get().bstrVal), L"abc");

  // The failure, what the server filled in, the code and the description.
  const std::tuple<HRESULT, SCODE, WORD, bool, HRESULT, const wchar_t*> cases[] = {
      {E_INVALIDARG, 0, 0, false, E_INVALIDARG, L""},
      {DISP_E_EXCEPTION, STG_E_FILENOTFOUND, 0, false, STG_E_FILENOTFOUND, L"said"},
      {DISP_E_EXCEPTION, 0, 5, false, MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x205), L"said"},
      {DISP_E_EXCEPTION, 0, 0, true, E_ACCESSDENIED, L"filled late"},
      {DISP_E_EXCEPTION, 0, 0, false, DISP_E_EXCEPTION, L"said"},
  };
  for (auto [hr, scode, wCode, deferred, expected, description] : cases) {
    EXCEPINFO info{};
    info.scode = scode;
    info.wCode = wCode;
    info.bstrSource = SysAllocString(L"source");
    if (deferred) {
      info.pfnDeferredFillIn = &FillIn;
    } else if (hr == DISP_E_EXCEPTION) {
      info.bstrDescription = SysAllocString(L"said");
    }
    const platform::ComError error = ComErrorFrom(hr, &info);
    EXPECT_EQ(error.Error(), expected);
    EXPECT_EQ(error.Description(), description);
    // Everything the server handed over has been freed and cleared.
    EXPECT_EQ(std::tuple(info.bstrSource, info.bstrDescription, info.pfnDeferredFillIn),
              std::tuple(nullptr, nullptr, nullptr));
  }

  EXPECT_EQ(ThrowIfFailed(S_FALSE), S_FALSE);
  EXPECT_EQ(testsupport::ErrorOf([] { ThrowIfFailed(E_ABORT); }), E_ABORT);
}

// The add-in DLL as an installer and the host meet it: regsvr32 registers
// and unregisters it, COM creates its connect object from the registration,
// and the module may unload once that object is gone.

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
    mDll = ModuleFromEnv("PELORANT_DLL");
    ASSERT_FALSE(mDll.empty()) << "PELORANT_DLL is not set";
    ASSERT_TRUE(mCom.Usable());
    // The settings key as an installer and the add-in leave it: machine
    // defaults, the refresh trigger and log settings, none of them the
    // registration's.
    mHadVendorKey = KeyExists(HKEY_LOCAL_MACHINE, kVendorKey);
    mHadSettingsKey = KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey);
    for (const wchar_t* name : {L"RefreshTrigger", L"LogLevel"}) {
      if (!ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, name)) {
        WriteString(HKEY_LOCAL_MACHINE, kSettingsKey, name, L"7");
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

  long Regsvr32(const std::wstring& options) { return RunProgram(L"regsvr32.exe " + options + L" \"" + mDll + L"\""); }

  std::wstring mDll;
  platform::win::ComInitializer mCom;
  bool mHadVendorKey = false, mHadSettingsKey = false;
  std::vector<std::wstring> mWritten;
};

TEST_F(RegistrationTest, RegistersServesTheConnectObjectAndUnregistersOnlyItsKeys) {
  // A subkey left by an older registration must not survive a new one.
  ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(kClassKey) + L"\\Stale").c_str(), nullptr, REG_SZ,
                            L"x", 4),
            ERROR_SUCCESS);
  ASSERT_EQ(Regsvr32(L"/s"), 0);

  const std::wstring cls = kClassKey;
  const std::tuple<HKEY, std::wstring, std::wstring, std::wstring> strings[] = {
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
  for (const auto& [root, key, name, text] : strings) {
    const auto value = ReadString(root, key, name);
    ASSERT_TRUE(value.has_value()) << platform::ToUtf8(key);
    EXPECT_EQ(CompareStringOrdinal(value->c_str(), -1, text.c_str(), -1, TRUE), CSTR_EQUAL) << platform::ToUtf8(key);
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
  ComPtr<wintest::HostExtensibility> connect;
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
  EXPECT_EQ((std::vector<HRESULT>{connect->OnAddInsUpdate(&custom), connect->OnStartupComplete(&custom),
                                  connect->OnBeginShutdown(&custom), connect->OnDisconnection(1, &custom)}),
            std::vector<HRESULT>(4, S_OK));
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
  const std::pair<HKEY, const wchar_t*> gone[] = {
      {HKEY_CLASSES_ROOT, L"VelmoraMsPowerPoint.Addin.1"}, {HKEY_CLASSES_ROOT, L"VelmoraMsPowerPoint.Addin"},
      {HKEY_CLASSES_ROOT, kClassKey}, {HKEY_CLASSES_ROOT, kTypeLibKey}, {HKEY_CURRENT_USER, kHostKey}};
  for (auto [root, key] : gone) EXPECT_FALSE(KeyExists(root, key)) << platform::ToUtf8(key);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, L"PelorantName"));
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, L"PelorantProgID"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, L"RefreshTrigger"), std::optional<std::wstring>(L"7"));
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kSettingsKey, L"LogLevel"), std::optional<std::wstring>(L"7"));
  // Unregistering again finds nothing to remove and still succeeds.
  EXPECT_EQ(Regsvr32(L"/u /s"), 0);
}

// The add-in's engine client over COM, against the fake engine server of the
// test tree (registered for the suite with regsvr32): every operation the
// add-in relies on reaches the right table position and carries its values
// and codes both ways.
// Asks the fake server for its faulty implementations as well.
const wchar_t* const kFaulty = L"PELORANT_FAKE_FAULTY_IMPLEMENTATIONS";

class ComEngineClientTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sDll = ModuleFromEnv("PELORANT_FAKE_ENGINE_DLL");
    if (!sDll.empty()) sRegistered = RunProgram(L"regsvr32.exe /s \"" + sDll + L"\"") == 0;
  }
  static void TearDownTestSuite() {
    if (sRegistered) RunProgram(L"regsvr32.exe /u /s \"" + sDll + L"\"");
  }

  void SetUp() override {
    ASSERT_TRUE(sRegistered) << "the fake engine server could not be registered";
    ASSERT_TRUE(SUCCEEDED(InitializeEngineThread()));
  }
  void TearDown() override {
    SetEnvironmentVariableW(kFaulty, nullptr);
    mEngine.reset();
    mFactory.reset();
    UninitializeEngineThread();
  }

  // A factory on the fake implementation with display language and client
  // id set, listing the pairs (all of them when engineId is empty).
  std::shared_ptr<IEngineList> List(const std::wstring& engineId) {
    EXPECT_EQ(CreateEngineFactory(&mFactory), S_OK);
    if (!mFactory) return nullptr;
    std::shared_ptr<IClientProperties> properties;
    std::shared_ptr<IClientProperty> property;
    std::shared_ptr<IEngineList> list;
    LONG status = -1;
    // The client id is the only property.
    EXPECT_EQ((std::vector<HRESULT>{mFactory->SetImplementation(L"FakeCom"), mFactory->SetDisplayLanguage(L"ja"),
                                    mFactory->Properties(&properties), properties->Item(2, &property),
                                    properties->Item(1, &property), property->SetValue(L"T1"),
                                    mFactory->GetEngineList(engineId, L"", L"", 0x0C00, &list),
                                    mFactory->WaitForResult(-1, &status)}),
              (std::vector<HRESULT>{S_OK, S_OK, S_OK, DISP_E_BADINDEX, S_OK, S_OK, S_OK, S_OK}));
    EXPECT_EQ(status, kRequestDone);
    return list;
  }

  // Opens one pair's engine; answers the factory's status.
  LONG Open(const std::wstring& engineId) {
    std::shared_ptr<IEngineList> list = List(engineId);
    std::shared_ptr<IEngineListItem> item;
    if (!list || list->Item(1, &item) != S_OK) return -1;
    EXPECT_EQ(mFactory->GetEngine(item, &mEngine), S_OK);
    LONG status = -1;
    EXPECT_EQ(mFactory->WaitForResult(-1, &status), S_OK);
    return status;
  }

  // The engine's status and error code after its request.
  std::pair<LONG, LONG> Outcome(IRequest& request) {
    LONG status = -1, code = -1;
    EXPECT_EQ(request.WaitForResult(-1, &status), S_OK);
    EXPECT_EQ(request.ErrorCode(&code), S_OK);
    return {status, code};
  }

  static inline std::wstring sDll;
  static inline bool sRegistered = false;
  std::shared_ptr<IEngineFactory> mFactory;
  std::shared_ptr<ITranslationEngine> mEngine;
};

TEST_F(ComEngineClientTest, ListsPairsTranslatesThroughAFamilyHelperReportsFailuresAndCancels) {
  std::shared_ptr<IImplementations> implementations;
  ASSERT_EQ(CreateImplementations(&implementations), S_OK);
  LONG count = 0;
  ASSERT_EQ(implementations->Count(&count), S_OK);
  EXPECT_EQ(count, 1);  // an installation serves its working implementation only
  // The faulty implementations, asked for: a null name arrives as empty.
  ASSERT_TRUE(SetEnvironmentVariableW(kFaulty, L"1"));
  ASSERT_EQ(implementations->Count(&count), S_OK);
  ASSERT_EQ(count, 3);
  const wchar_t* names[] = {L"FakeCom", L"Unavailable", L""};
  for (LONG i = 1; i <= 3; ++i) {
    std::wstring name = L"unset";
    EXPECT_EQ(implementations->Item(i, &name), S_OK);
    EXPECT_EQ(name, names[i - 1]);
  }
  std::wstring name;
  EXPECT_EQ(implementations->Item(4, &name), DISP_E_BADINDEX);
  SetEnvironmentVariableW(kFaulty, nullptr);
  EXPECT_EQ(implementations->Item(2, &name), DISP_E_BADINDEX);

  std::shared_ptr<IEngineList> list = List(L"");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->Count(&count), S_OK);
  ASSERT_EQ(count, 3);
  // Each item's reads, "|"-joined; the display language and the client id
  // arrived in the display and product names.
  const wchar_t* pairs[] = {L"fake.en.ja|en|ja|9|ja:fake.en.ja|Fake T1|F", L"fake.ja.en|ja|en|1|ja:fake.ja.en|Fake T1|F",
                            L"fake.broken|en|de|1|ja:fake.broken|Fake T1|F"};
  for (LONG i = 1; i <= 3; ++i) {
    std::shared_ptr<IEngineListItem> item;
    ASSERT_EQ(list->Item(i, &item), S_OK);
    std::wstring id, from, to, display, product, shortName;
    LONG flags = 0;
    const HRESULT reads[] = {item->EngineID(&id),       item->FromLang(&from),       item->ToLang(&to),
                             item->Flags(&flags),       item->DisplayName(&display), item->ProductName(&product),
                             item->ProductNameShort(&shortName)};
    for (HRESULT hr : reads) EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(id + L"|" + from + L"|" + to + L"|" + std::to_wstring(flags) + L"|" + display + L"|" + product + L"|" +
                  shortName,
              pairs[i - 1]);
  }
  std::shared_ptr<IEngineListItem> item;
  EXPECT_EQ(list->Item(4, &item), DISP_E_BADINDEX);

  // One pair by its id; an implementation without engines.
  list = List(L"fake.ja.en");
  ASSERT_TRUE(list);
  ASSERT_EQ(list->Count(&count), S_OK);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(mFactory->SetImplementation(L"Unavailable"), S_OK);
  EXPECT_EQ(mFactory->GetEngineList(L"", L"", L"", 0, &list), ENGINE_E_UNAVAILABLE);

  ASSERT_EQ(Open(L"fake.en.ja"), kRequestDone);
  ASSERT_TRUE(mEngine);
  LONG flags = 0;
  ASSERT_EQ(mEngine->Info(&flags), S_OK);
  EXPECT_EQ(flags, kInfoFlagTranslate | kInfoFlagCorrespondence | kInfoFlagDictionary);

  // The source, its translation and its word groups.
  const std::tuple<const wchar_t*, const wchar_t*, std::vector<WordCorrespondence>> cases[] = {
      {L"the cat sat", L"SAT CAT THE",
       {{{{0, 3}}, {{8, 3}}}, {{{4, 3}}, {{4, 3}}}, {{{8, 3}}, {{0, 3}}}}},
      // A word without translation: a group with source ranges only.
      {L"a big cat", L"CAT BIG", {{{{0, 1}}, {}}, {{{2, 3}}, {{4, 3}}}, {{{6, 3}}, {{0, 3}}}}},
  };
  for (const auto& [source, translation, expected] : cases) {
    std::shared_ptr<ITranslationResult> result;
    ASSERT_EQ(mEngine->Translate(source, kTranslateModeCorrespondence, &result), S_OK);
    EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestDone}, LONG{0}));
    std::wstring text;
    std::vector<WordCorrespondence> groups;
    ASSERT_EQ(std::pair(result->Text(&text), result->Correspondence(&groups)), std::pair(S_OK, S_OK));
    EXPECT_EQ(std::pair(text, groups), std::pair(std::wstring(translation), expected));
  }

  // Plain mode: no correspondence list at all.
  std::shared_ptr<ITranslationResult> plain;
  ASSERT_EQ(mEngine->Translate(L"one two", kTranslateModePlain, &plain), S_OK);
  std::vector<WordCorrespondence> none{{}};
  EXPECT_EQ(plain->Correspondence(&none), S_OK);
  EXPECT_TRUE(none.empty());

  // A family helper reached by its registered identifier, as the built-in
  // families are, answers and opens an engine by its id.
  std::shared_ptr<IFamilyHelper> helper;
  EXPECT_EQ(CreateFamilyHelper(L"NotRegistered.Helper", &helper), REGDB_E_CLASSNOTREG);
  ASSERT_EQ(CreateFamilyHelper(L"FakeFamily.Helper", &helper), S_OK);
  bool japanese = false, other = true;
  ASSERT_EQ(helper->Supports(kFamilyCapabilityJapanesePairs, &japanese), S_OK);
  ASSERT_EQ(helper->Supports(3, &other), S_OK);
  EXPECT_EQ(std::pair(japanese, other), std::pair(true, false));

  EXPECT_EQ(helper->OpenEngine(L"fr.de", &mEngine), E_INVALIDARG);
  ASSERT_EQ(helper->OpenEngine(L"en.ja", &mEngine), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestDone}, LONG{0}));
  ASSERT_EQ(mEngine->Translate(L"big cat", kTranslateModePlain, &plain), S_OK);
  std::wstring text;
  ASSERT_EQ(plain->Text(&text), S_OK);
  EXPECT_EQ(text, L"CAT BIG");

  ASSERT_EQ(Open(L"fake.en.ja"), kRequestDone);
  ASSERT_EQ(mEngine->Translate(L"fail", kTranslateModePlain, &plain), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestFailed}, kEngineErrorEngine));

  // A request that runs until cancelled.
  ASSERT_EQ(mEngine->Translate(L"hang", kTranslateModePlain, &plain), S_OK);
  LONG status = -1;
  ASSERT_EQ(mEngine->WaitForResult(0, &status), S_OK);
  EXPECT_EQ(status, kRequestRunning);
  ASSERT_EQ(mEngine->Cancel(), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestCancelled}, LONG{0}));

  std::shared_ptr<IDictionaryResult> entry;
  ASSERT_EQ(mEngine->LookupDictionary(L"cat", &entry), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestDone}, LONG{0}));
  ASSERT_EQ(entry->Text(&text), S_OK);
  EXPECT_EQ(text, L"neko (noun)");
  ASSERT_EQ(mEngine->LookupDictionary(L"dog", &entry), S_OK);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestFailed}, kEngineErrorWordNotFound));

  // Sentences as the engine cuts them, and an engine that does not.
  std::vector<SentenceSpan> spans;
  ASSERT_EQ(mEngine->SplitSentences(L"One. Two. Three", 1, &spans), S_OK);
  EXPECT_EQ(spans, (std::vector<SentenceSpan>{{0, 5}, {5, 5}, {10, 5}}));
  EXPECT_EQ(mEngine->SplitSentences(L"nosplit", 1, &spans), S_FALSE);
  EXPECT_TRUE(spans.empty());

  // The two dialogs answer differently, so a swapped position shows.
  EXPECT_EQ(std::pair(mEngine->ShowSettingsDialog(0), mEngine->ShowDictionaryDialog(0)), std::pair(S_OK, S_FALSE));

  // An engine that fails to open carries its error code.
  ASSERT_EQ(Open(L"fake.broken"), kRequestFailed);
  LONG code = 0;
  ASSERT_EQ(mFactory->ErrorCode(&code), S_OK);
  EXPECT_EQ(code, kEngineErrorNotReady);
  ASSERT_TRUE(mEngine);
  EXPECT_EQ(Outcome(*mEngine), std::make_pair(LONG{kRequestFailed}, kEngineErrorNotReady));
}

// The HTML Help control comes from the file its class registration names,
// else from the system folder; never from a file of its name that a load by
// bare name finds first (the program's folder, the current folder).
// The control's class registration, changed here in the suite's own Wine
// prefix and put back as it was (Wine's classes have no per-user view that
// could hide it instead).
const wchar_t kServerKey[] = L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

// A copy of the fake control, unloaded (should anything have loaded it) and
// removed when it goes.
struct Planted {
  Planted(const std::wstring& source, std::wstring to)
      : path(std::move(to)), copied(::CopyFileW(source.c_str(), path.c_str(), FALSE)) {}
  ~Planted() {
    while (HMODULE module = ::GetModuleHandleW(path.c_str())) {
      if (!::FreeLibrary(module)) break;
    }
    ::DeleteFileW(path.c_str());
  }
  bool Loaded() const { return ::GetModuleHandleW(path.c_str()) != nullptr; }

  const std::wstring path;
  const bool copied;
};

TEST(HelpControlTest, ComesFromItsRegistrationOrTheSystemFolderNeverFromTheSearchPath) {
  const std::wstring fake = ModuleFromEnv("PELORANT_FAKE_HELP_DLL");
  ASSERT_FALSE(fake.empty()) << "PELORANT_FAKE_HELP_DLL names the fake help control";
  const std::optional<std::wstring> server = ReadString(HKEY_CLASSES_ROOT, kServerKey, L"");
  ASSERT_TRUE(server) << "the system registers no help control";
  testsupport::TempDir temp;
  Planted besideProgram(fake, platform::ModuleFolder() + L"hhctrl.ocx");
  Planted inCurrentFolder(fake, temp.wpath() + L"\\hhctrl.ocx");
  Planted registered(fake, temp.wpath() + L"\\registered-help.ocx");
  ASSERT_TRUE(besideProgram.copied && inCurrentFolder.copied && registered.copied);
  struct Restore {
    std::wstring folder, server;
    ~Restore() {
      ::SetCurrentDirectoryW(folder.c_str());
      WriteString(HKEY_CLASSES_ROOT, kServerKey, L"", server);
    }
  } restore{std::filesystem::current_path().wstring(), *server};
  ASSERT_TRUE(::SetCurrentDirectoryW(temp.wpath().c_str()));

  const std::wstring help = temp.wpath() + L"\\Pelorant.chm";
  // A name that is not a full path, and a full path to nothing, fall back
  // to the system folder; the first of them is where a load by bare name
  // would take a planted copy.
  const std::pair<std::wstring, bool> cases[] = {
      {L"hhctrl.ocx", false},
      {temp.wpath() + L"\\missing\\hhctrl.ocx", false},
      {registered.path, true},
  };
  wchar_t system[MAX_PATH] = {};
  ::GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring systemControl = std::wstring(system) + L"\\hhctrl.ocx";
  for (const auto& [registration, registeredOne] : cases) {
    SCOPED_TRACE(platform::ToUtf8(registration));
    WriteString(HKEY_CLASSES_ROOT, kServerKey, L"", registration);
    const bool shown = platform::OpenHelpFile(help);
    // Which copies are loaded; only the fake answers a help file that is not
    // there with a window.
    EXPECT_EQ(std::tuple(besideProgram.Loaded(), inCurrentFolder.Loaded(), registered.Loaded(), shown),
              std::tuple(false, false, registeredOne, registeredOne));
    EXPECT_TRUE(registeredOne || ::GetModuleHandleW(systemControl.c_str()) != nullptr) << "from the system folder";
  }
}

}  // namespace
