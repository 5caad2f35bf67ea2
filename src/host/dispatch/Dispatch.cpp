#include "src/host/dispatch/Dispatch.h"

#include "src/platform/win32/ComOwners.h"

#include <map>
#include <mutex>
#include <utility>

namespace host::dispatch {

namespace {

std::mutex gNamesLock;
// DISPIDs by (kind of object, member name). Only ids live here, never an
// object: a DISPID belongs to the type, not to one instance.
std::map<std::pair<std::string, std::wstring>, DISPID>& Names() {
  static std::map<std::pair<std::string, std::wstring>, DISPID> names;
  return names;
}

SAFEARRAY* VariantArray(size_t count) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
  if (!array) throw platform::ComError(E_OUTOFMEMORY, L"no memory for an argument array");
  return array;
}

// Fills v, which holds nothing yet and owns what it is given as soon as it
// is given it.
template <class T>
void PutArray(const std::vector<T>& items, VARIANT* v) {
  v->parray = VariantArray(items.size());
  v->vt = VT_ARRAY | VT_VARIANT;
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    Variant item(items[static_cast<size_t>(i)]);
    SafeArrayPutElement(v->parray, &i, item.get());
  }
}

Variant Converted(const VARIANT& from, VARTYPE type) {
  Variant to;
  VARIANT source = from;
  // A by-reference result reads through its pointer.
  HRESULT hr = VariantChangeType(to.get(), &source, 0, type);
  if (FAILED(hr)) throw platform::ComError(DISP_E_TYPEMISMATCH, L"the host answered a value of another type");
  return to;
}

}  // namespace

Variant::Variant(int v) {
  mV.Ptr()->vt = VT_I4;
  mV.Ptr()->lVal = v;
}
Variant::Variant(float v) {
  mV.Ptr()->vt = VT_R4;
  mV.Ptr()->fltVal = v;
}
Variant::Variant(double v) {
  mV.Ptr()->vt = VT_R8;
  mV.Ptr()->dblVal = v;
}
Variant::Variant(bool v) : mV(v) {}
Variant::Variant(const std::wstring& v) : mV(v) {}
Variant::Variant(IDispatch* v) : mV(v) {}
Variant::Variant(const std::vector<std::wstring>& v) { PutArray(v, mV.Ptr()); }
Variant::Variant(const std::vector<int>& v) { PutArray(v, mV.Ptr()); }
Variant Variant::Missing() {
  Variant v;
  v.mV.Ptr()->vt = VT_ERROR;
  v.mV.Ptr()->scode = DISP_E_PARAMNOTFOUND;
  return v;
}

int Variant::Int() const { return Converted(ref(), VT_I4).ref().lVal; }
double Variant::Double() const { return Converted(ref(), VT_R8).ref().dblVal; }
bool Variant::Bool() const { return Converted(ref(), VT_BOOL).ref().boolVal != VARIANT_FALSE; }
std::wstring Variant::String() const {
  if (ref().vt == VT_EMPTY || ref().vt == VT_NULL) return {};
  Variant s = Converted(ref(), VT_BSTR);
  const BSTR text = s.ref().bstrVal;
  return text ? std::wstring(text, SysStringLen(text)) : std::wstring();
}
platform::win::ComPtr<IDispatch> Variant::Object() const {
  const VARIANT& v = ref();
  platform::win::ComPtr<IDispatch> d;
  if (v.vt == VT_DISPATCH) {
    d = platform::win::ComPtr<IDispatch>::Share(v.pdispVal);
  } else if (v.vt == (VT_DISPATCH | VT_BYREF) && v.ppdispVal) {
    d = platform::win::ComPtr<IDispatch>::Share(*v.ppdispVal);
  } else if (v.vt == VT_UNKNOWN && v.punkVal) {
    if (FAILED(v.punkVal->QueryInterface(IID_IDispatch, d.OutVoid()))) d.Reset();
  } else if (v.vt != VT_EMPTY && v.vt != VT_NULL) {
    throw platform::ComError(DISP_E_TYPEMISMATCH, L"the host answered a value where an object was expected");
  }
  return d;
}

Dispatch::Dispatch(IDispatch* object, std::string kind)
    : mObject(platform::win::ComPtr<IDispatch>::Share(object)), mKind(std::move(kind)) {}

DISPID Dispatch::Id(const wchar_t* name) {
  const auto key = std::make_pair(mKind, std::wstring(name));
  {
    std::lock_guard<std::mutex> lock(gNamesLock);
    auto found = Names().find(key);
    if (found != Names().end()) return found->second;
  }
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = mObject->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) {
    // The host says DISP_E_UNKNOWNNAME; callers branch on the contract's code.
    throw platform::ComError(DISP_E_MEMBERNOTFOUND, std::wstring(L"the host has no member ") + name);
  }
  std::lock_guard<std::mutex> lock(gNamesLock);
  Names().emplace(key, id);
  return id;
}

size_t ResolvedNameCount() {
  std::lock_guard<std::mutex> lock(gNamesLock);
  return Names().size();
}

Variant Dispatch::Get(const wchar_t* name, const std::vector<Variant>& args) {
  return Invoke(name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, false);
}
void Dispatch::Put(const wchar_t* name, const Variant& value) {
  Invoke(name, DISPATCH_PROPERTYPUT, {value}, true);
}
Variant Dispatch::Call(const wchar_t* name, const std::vector<Variant>& args) {
  return Invoke(name, DISPATCH_METHOD, args, false);
}

Variant Dispatch::Invoke(const wchar_t* name, WORD flags, const std::vector<Variant>& args, bool put) {
  if (!mObject) throw platform::ComError(E_POINTER, L"no host object");
  const DISPID id = Id(name);
  // IDispatch takes the arguments last first.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->ref());
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()), put ? 1u : 0u};
  Variant result;
  EXCEPINFO info{};
  UINT badArgument = 0;
  HRESULT hr = mObject->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, put ? nullptr : result.get(),
                               &info, &badArgument);
  if (FAILED(hr)) ThrowInvokeFailure(hr, info, name);
  return result;
}

void ThrowInvokeFailure(HRESULT hr, EXCEPINFO& info, const wchar_t* member) {
  platform::ComError error = platform::win::ComErrorFrom(hr, &info);
  if (!error.Description().empty()) throw error;
  throw platform::ComError(error.Error(), std::wstring(member) + L" failed");
}

}  // namespace host::dispatch
