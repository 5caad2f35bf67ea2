// The DLL's COM exports: the class factory of CConnect, the unload answer,
// and registration.
#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <new>

#include "src/addin/AddinMain.h"
#include "src/addin/win32/Connect.h"
#include "src/addin/win32/ModuleCount.h"
#include "src/addin/win32/Registration.h"
#include "src/host/dispatch/DispatchHost.h"

namespace addin::win {
namespace {

std::atomic<long> gModuleCount{0};

class ClassFactory final : public ModuleObject<ClassFactory, IClassFactory> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return Answer(iid == IID_IUnknown || iid == IID_IClassFactory, object);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CreateConnect(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return S_OK;
  }
};

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(gAddinModule, path, MAX_PATH);
  return (n == 0 || n >= MAX_PATH) ? std::wstring() : std::wstring(path, n);
}

}  // namespace

void ModuleAddRef() { ++gModuleCount; }
void ModuleRelease() { --gModuleCount; }
// Beside its COM objects, the module is in use while the add-in is connected
// (the host may have let go of the connection object and still click) and
// while the host holds one of its click sinks.
bool ModuleInUse() {
  return gModuleCount.load() != 0 || addin::CurrentAddinMain() != nullptr || host::dispatch::LiveEventSinks() != 0;
}

}  // namespace addin::win

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != addin::win::kClsidConnect) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) addin::win::ClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, object);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() { return addin::win::ModuleInUse() ? S_FALSE : S_OK; }

// Runs under the system default locale, so that whatever the registration
// formats does not depend on the calling thread's.
STDAPI DllRegisterServer() {
  const std::wstring path = addin::win::ModulePath();
  if (path.empty()) return E_UNEXPECTED;
  const LCID previous = GetThreadLocale();
  SetThreadLocale(GetSystemDefaultLCID());
  const HRESULT hr = addin::win::RegisterAddin(path);
  SetThreadLocale(previous);
  return hr;
}

STDAPI DllUnregisterServer() { return addin::win::UnregisterAddin(); }
