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

template <class T>
VARIANT ArrayOf(const std::vector<T>& items) {
  VARIANT v;
  VariantInit(&v);
  SAFEARRAY* array = VariantArray(items.size());
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    Variant item(items[static_cast<size_t>(i)]);
    SafeArrayPutElement(array, &i, item.get());
  }
  v.vt = VT_ARRAY | VT_VARIANT;
  v.parray = array;
  return v;
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
  VariantInit(&mV);
  mV.vt = VT_I4;
  mV.lVal = v;
}
Variant::Variant(float v) {
  VariantInit(&mV);
  mV.vt = VT_R4;
  mV.fltVal = v;
}
Variant::Variant(double v) {
  VariantInit(&mV);
  mV.vt = VT_R8;
  mV.dblVal = v;
}
Variant::Variant(bool v) {
  VariantInit(&mV);
  mV.vt = VT_BOOL;
  mV.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
}
Variant::Variant(const std::wstring& v) {
  VariantInit(&mV);
  mV.vt = VT_BSTR;
  mV.bstrVal = SysAllocStringLen(v.data(), static_cast<UINT>(v.size()));
  if (!mV.bstrVal) {
    mV.vt = VT_EMPTY;
    throw platform::ComError(E_OUTOFMEMORY, L"no memory for a string argument");
  }
}
Variant::Variant(IDispatch* v) {
  VariantInit(&mV);
  mV.vt = VT_DISPATCH;
  mV.pdispVal = v;
  if (v) v->AddRef();
}
Variant::Variant(const std::vector<std::wstring>& v) : mV(ArrayOf(v)) {}
Variant::Variant(const std::vector<int>& v) : mV(ArrayOf(v)) {}
Variant Variant::Missing() {
  Variant v;
  v.mV.vt = VT_ERROR;
  v.mV.scode = DISP_E_PARAMNOTFOUND;
  return v;
}
Variant::Variant(const Variant& o) {
  VariantInit(&mV);
  HRESULT hr = VariantCopy(&mV, const_cast<VARIANT*>(&o.mV));
  if (FAILED(hr)) throw platform::ComError(hr, L"a value could not be copied");
}
Variant::Variant(Variant&& o) noexcept : mV(o.mV) { VariantInit(&o.mV); }
Variant& Variant::operator=(Variant o) noexcept {
  std::swap(mV, o.mV);
  return *this;
}

int Variant::Int() const { return Converted(mV, VT_I4).mV.lVal; }
double Variant::Double() const { return Converted(mV, VT_R8).mV.dblVal; }
bool Variant::Bool() const { return Converted(mV, VT_BOOL).mV.boolVal != VARIANT_FALSE; }
std::wstring Variant::String() const {
  if (mV.vt == VT_EMPTY || mV.vt == VT_NULL) return {};
  Variant s = Converted(mV, VT_BSTR);
  return s.mV.bstrVal ? std::wstring(s.mV.bstrVal, SysStringLen(s.mV.bstrVal)) : std::wstring();
}
IDispatch* Variant::Object() const {
  IDispatch* d = nullptr;
  if (mV.vt == VT_DISPATCH) {
    d = mV.pdispVal;
  } else if (mV.vt == (VT_DISPATCH | VT_BYREF) && mV.ppdispVal) {
    d = *mV.ppdispVal;
  } else if (mV.vt == VT_UNKNOWN && mV.punkVal) {
    if (FAILED(mV.punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)))) d = nullptr;
    return d;
  } else if (mV.vt != VT_EMPTY && mV.vt != VT_NULL) {
    throw platform::ComError(DISP_E_TYPEMISMATCH, L"the host answered a value where an object was expected");
  }
  if (d) d->AddRef();
  return d;
}

Dispatch::Dispatch(IDispatch* object, std::string kind) : mObject(object), mKind(std::move(kind)) {
  if (mObject) mObject->AddRef();
}
Dispatch::~Dispatch() {
  if (mObject) mObject->Release();
}

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
