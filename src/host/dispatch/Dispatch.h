// Late-bound calls into the host's objects: one IDispatch reference, member
// names resolved once per (kind of object, name), arguments and results as
// VARIANT. A failed call throws ComError with the real HRESULT (the one a
// DISP_E_EXCEPTION carries in its EXCEPINFO) and the host's description.
#pragma once

#include <ole2.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "src/platform/ComError.h"
#include "src/platform/win32/ComOwners.h"

namespace host::dispatch {

// An argument or result of a late-bound call, held by the VARIANT owner.
// Constructors cover the argument kinds the object model takes; arrays go
// as SAFEARRAYs of VARIANT, as late-bound callers pass them.
class Variant {
 public:
  Variant() = default;
  Variant(int v);
  Variant(float v);
  Variant(double v);
  Variant(bool v);
  Variant(const std::wstring& v);
  Variant(const wchar_t* v) : Variant(std::wstring(v)) {}
  Variant(IDispatch* v);  // AddRefs
  Variant(const std::vector<std::wstring>& v);
  Variant(const std::vector<int>& v);
  // An optional argument left out.
  static Variant Missing();

  VARIANT* get() { return mV.Ptr(); }
  const VARIANT& ref() const { return mV.Get(); }
  // Conversions as the host's values allow; DISP_E_TYPEMISMATCH otherwise.
  int Int() const;
  double Double() const;
  bool Bool() const;
  std::wstring String() const;
  // Empty for Nothing or an empty value.
  platform::win::ComPtr<IDispatch> Object() const;

 private:
  platform::win::Variant mV;
};

// The reference a host object wrapper keeps. kind names the object model's
// type (its names resolve to that type's DISPIDs).
class Dispatch {
 public:
  Dispatch(IDispatch* object, std::string kind);  // takes a reference of its own
  Dispatch(const Dispatch&) = delete;
  Dispatch& operator=(const Dispatch&) = delete;

  IDispatch* get() const { return mObject.Get(); }
  const std::string& Kind() const { return mKind; }
  // Property get (or a parameterised property / method returning a value).
  Variant Get(const wchar_t* name, const std::vector<Variant>& args = {});
  void Put(const wchar_t* name, const Variant& value);
  Variant Call(const wchar_t* name, const std::vector<Variant>& args = {});

  // The DISPID that name resolves to on this kind of object.
  DISPID Id(const wchar_t* name);

 private:
  Variant Invoke(const wchar_t* name, WORD flags, const std::vector<Variant>& args, bool put);

  platform::win::ComPtr<IDispatch> mObject;
  std::string mKind;
};

// Turns a failed IDispatch::Invoke into ComError through the one conversion
// of failed COM calls: DISP_E_EXCEPTION gives way to the code and
// description its EXCEPINFO carries (whose strings it frees).
[[noreturn]] void ThrowInvokeFailure(HRESULT hr, EXCEPINFO& info, const wchar_t* member);

// How many names have been resolved through GetIDsOfNames (each (kind,
// name) once), for tests.
size_t ResolvedNameCount();

}  // namespace host::dispatch
