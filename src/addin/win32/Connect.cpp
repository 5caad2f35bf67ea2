#include "src/addin/win32/Connect.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <oleauto.h>

#include "src/addin/AddinMain.h"
#include "src/addin/win32/HostApplication.h"
#include "src/addin/win32/ModuleCount.h"
#include "src/dialogs/win32/Win32ProgressView.h"
#include "src/platform/win32/ComOwners.h"
#include "src/powerpoint/PowerPointTranslationProcess.h"
#include "src/support/Log.h"

namespace addin::win {
namespace {

using platform::win::ComPtr;

// The launch kind: the value of the custom array's first element. The host
// passes the array of VARIANTs its type library declares, whose first bytes
// are the element's type code, not its value; an array of plain numbers is
// read the same way. False when there is no array; an empty `words` when the
// array has no element to read.
bool ReadCustom(SAFEARRAY** custom, std::vector<std::uint32_t>* words) {
  if (!custom || !*custom) return false;
  SAFEARRAY* array = *custom;
  words->clear();
  if (SafeArrayGetDim(array) < 1) return true;
  for (UINT d = 0; d < array->cDims; ++d)
    if (array->rgsabound[d].cElements == 0) return true;
  VARTYPE type = VT_EMPTY;
  if (FAILED(SafeArrayGetVartype(array, &type))) {
    // An array made without its element type still says whether it holds
    // VARIANTs; otherwise 32-bit elements are taken for numbers.
    if (array->fFeatures & FADF_VARIANT) {
      type = VT_VARIANT;
    } else if (array->cbElements == sizeof(LONG)) {
      type = VT_I4;
    } else {
      return true;
    }
  }
  std::vector<LONG> first(array->cDims);
  for (UINT d = 1; d <= array->cDims; ++d) {
    if (FAILED(SafeArrayGetLBound(array, d, &first[d - 1]))) return true;
  }
  VARIANT value;
  VariantInit(&value);
  if (type == VT_VARIANT) {
    if (FAILED(SafeArrayGetElement(array, first.data(), &value))) return true;
  } else {
    // Any other element type is read through a VARIANT of that type.
    void* data = nullptr;
    if (FAILED(SafeArrayPtrOfIndex(array, first.data(), &data)) || !data) return true;
    VARIANT view;
    VariantInit(&view);
    view.vt = static_cast<VARTYPE>(type | VT_BYREF);
    view.byref = data;
    if (FAILED(VariantCopyInd(&value, &view))) return true;
  }
  std::uint32_t kind = 0;
  if (SUCCEEDED(VariantChangeType(&value, &value, 0, VT_I4))) {
    kind = static_cast<std::uint32_t>(value.lVal);
  } else {
    LOG_WARNING(L"CConnect:OnConnection", L"the launch kind is no number; 0 is taken");
  }
  VariantClear(&value);
  words->push_back(kind);
  return true;
}

HRESULT LookUpProgId(std::wstring* progId) {
  LPOLESTR text = nullptr;
  const HRESULT hr = ProgIDFromCLSID(kClsidConnect, &text);
  if (FAILED(hr)) return hr;
  *progId = text;
  CoTaskMemFree(text);
  return S_OK;
}

// The members' dispatch ids, OnConnection to OnBeginShutdown.
constexpr DISPID kFirstDispId = 1;
constexpr DISPID kLastDispId = 5;

class CConnect final : public ModuleObject<CConnect, IExtensibility2> {
 public:
  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return Answer(iid == IID_IUnknown || iid == IID_IDispatch || iid == kIidExtensibility2, object);
  }

  // IDispatch, driven by the embedded type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    const HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    *info = ComPtr<ITypeInfo>(mTypeInfo).Detach();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    const HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    return DispGetIDsOfNames(mTypeInfo.Get(), names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    // Only the interface's own members: the automation runtime of some
    // systems crashes on an id it cannot find instead of failing.
    if (id < kFirstDispId || id > kLastDispId) return DISP_E_MEMBERNOTFOUND;
    const HRESULT hr = LoadTypeInfo();
    if (FAILED(hr)) return hr;
    return DispInvoke(static_cast<IExtensibility2*>(this), mTypeInfo.Get(), id, flags, params, result, exception,
                      argError);
  }

  // The extensibility interface. Nothing escapes to the host: every call
  // answers S_OK (the add-in shows its own failures).
  HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, LONG, IDispatch* addInInst,
                                         SAFEARRAY** custom) override {
    try {
      AddinMain::SetProgIdLookup(LookUpProgId);
      AddinMain::SetFacadeSetup([](AddinApplication::Parts& parts) { parts.reconnect = FindRunningHost; });
      powerpoint::PowerPointTranslationProcess::Instance().SetProgressViewFactory(dialogs::win32::MakeProgressView);
      host::Ptr<host::Application> app;
      if (application) {
        app = WrapHostApplication(application);
        if (!app) LOG_ERROR(L"CConnect:OnConnection", L"Application cannot be reached");
      }
      std::shared_ptr<void> instance;
      ComPtr<IDispatch> instanceDispatch;
      if (addInInst && SUCCEEDED(addInInst->QueryInterface(IID_IDispatch, instanceDispatch.OutVoid())) &&
          instanceDispatch) {
        instance = std::shared_ptr<void>(instanceDispatch.Detach(),
                                         [](void* p) { static_cast<IDispatch*>(p)->Release(); });
      }
      std::vector<std::uint32_t> words;
      const bool haveCustom = ReadCustom(custom, &words);
      return addin::OnConnection(app, instance, haveCustom ? &words : nullptr);
    } catch (...) {
      return S_OK;
    }
  }
  HRESULT STDMETHODCALLTYPE OnDisconnection(LONG, SAFEARRAY**) override {
    try {
      return addin::OnDisconnection();
    } catch (...) {
      return S_OK;
    }
  }
  HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) override { return S_OK; }

 private:
  // The type library is read from the module itself, so IDispatch works
  // whether or not the library is registered.
  HRESULT LoadTypeInfo() {
    if (mTypeInfo) return S_OK;
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(gAddinModule, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return E_UNEXPECTED;
    ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, library.Out());
    if (FAILED(hr)) return hr;
    ComPtr<ITypeInfo> info;
    hr = library->GetTypeInfoOfGuid(kIidExtensibility2, info.Out());
    if (FAILED(hr)) return hr;
    // A dual interface is found as its dispatch view; calls go through the
    // table, so keep the interface view whose offsets DispInvoke uses.
    TYPEATTR* attr = nullptr;
    hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) return hr;
    const TYPEKIND kind = attr->typekind;
    info->ReleaseTypeAttr(attr);
    if (kind == TKIND_DISPATCH) {
      HREFTYPE ref = 0;
      hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
      if (FAILED(hr)) return hr;
      return info->GetRefTypeInfo(ref, mTypeInfo.Out());
    }
    mTypeInfo = std::move(info);
    return S_OK;
  }

  ComPtr<ITypeInfo> mTypeInfo;
};

}  // namespace

HRESULT CreateConnect(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* connect = new (std::nothrow) CConnect();
  if (!connect) return E_OUTOFMEMORY;
  const HRESULT hr = connect->QueryInterface(iid, object);
  connect->Release();
  return hr;
}

}  // namespace addin::win
