// Owners for the Windows and COM resources the Windows side holds: each
// releases what it owns exactly once, moves instead of copying where a copy
// would mean a second release, and starts empty. Also the one place where a
// failed COM call (HRESULT, and for IDispatch::Invoke its EXCEPINFO) turns
// into a ComError.
//
// Threads: an owner is used from one thread at a time; COM pointers from the
// apartment that obtained them.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

#include "src/platform/ComError.h"

namespace platform::win {

// One counted reference to a COM object. Copying adds a reference, moving
// hands it on.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  // Adopts a reference the caller already owns (an out argument's).
  static ComPtr Adopt(T* p) {
    ComPtr r;
    r.mP = p;
    return r;
  }
  // Takes a reference of its own on p.
  static ComPtr Share(T* p) {
    if (p) p->AddRef();
    return Adopt(p);
  }
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr& o) : mP(o.mP) {
    if (mP) mP->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : mP(std::exchange(o.mP, nullptr)) {}
  ComPtr& operator=(const ComPtr& o) {
    if (this != &o) *this = ComPtr(o);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      Reset();
      mP = std::exchange(o.mP, nullptr);
    }
    return *this;
  }

  T* operator->() const { return mP; }
  T* Get() const { return mP; }
  explicit operator bool() const { return mP != nullptr; }
  // Releases what is held and gives the slot for an out argument.
  T** Out() {
    Reset();
    return &mP;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  // Hands the reference to the caller.
  T* Detach() { return std::exchange(mP, nullptr); }
  void Reset() {
    if (T* p = std::exchange(mP, nullptr)) p->Release();
  }

  // Asks for another interface of the same object; an empty owner and the
  // failure code if the object does not have it.
  template <typename U>
  HRESULT As(REFIID iid, ComPtr<U>* out) const {
    if (!mP) return E_POINTER;
    return mP->QueryInterface(iid, out->OutVoid());
  }

 private:
  T* mP = nullptr;
};

// The reference count and QueryInterface answer of a COM object this code
// implements over Interface; the last Release deletes it as Self. Any thread.
template <class Self, class Interface>
class ComObject : public Interface {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --mRefs;
    if (left == 0) delete static_cast<Self*>(this);
    return left;
  }

 protected:
  ~ComObject() = default;

  // This object as Interface when `known` says the asked-for interface is
  // one it has.
  HRESULT Answer(bool known, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!known) return E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> mRefs{1};
};

// One BSTR. A null BSTR is the empty text, as COM treats it.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& s) : mB(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {
    if (!mB && !s.empty()) throw platform::ComError(E_OUTOFMEMORY);
  }
  static Bstr Adopt(BSTR b) {
    Bstr r;
    r.mB = b;
    return r;
  }
  ~Bstr() { SysFreeString(mB); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : mB(std::exchange(o.mB, nullptr)) {}
  Bstr& operator=(Bstr&& o) noexcept {
    if (this != &o) {
      SysFreeString(mB);
      mB = std::exchange(o.mB, nullptr);
    }
    return *this;
  }

  BSTR Get() const { return mB; }
  BSTR* Out() {
    SysFreeString(std::exchange(mB, nullptr));
    return &mB;
  }
  BSTR Detach() { return std::exchange(mB, nullptr); }
  std::wstring Text() const { return mB ? std::wstring(mB, SysStringLen(mB)) : std::wstring(); }

 private:
  BSTR mB = nullptr;
};

// One VARIANT, cleared (and whatever it holds released) on destruction.
class Variant {
 public:
  Variant() { VariantInit(&mV); }
  explicit Variant(LONG v) : Variant() {
    mV.vt = VT_I4;
    mV.lVal = v;
  }
  explicit Variant(bool v) : Variant() {
    mV.vt = VT_BOOL;
    mV.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
  }
  explicit Variant(const std::wstring& s) : Variant() {
    Bstr b(s);
    mV.vt = VT_BSTR;
    mV.bstrVal = b.Detach();
  }
  // Holds its own reference on p.
  explicit Variant(IDispatch* p) : Variant() {
    mV.vt = VT_DISPATCH;
    mV.pdispVal = p;
    if (p) p->AddRef();
  }
  ~Variant() { VariantClear(&mV); }
  Variant(const Variant& o) : Variant() {
    HRESULT hr = VariantCopy(&mV, const_cast<VARIANT*>(&o.mV));
    if (FAILED(hr)) throw platform::ComError(hr);
  }
  Variant& operator=(const Variant& o) {
    if (this != &o) *this = Variant(o);
    return *this;
  }
  Variant(Variant&& o) noexcept : mV(o.mV) { VariantInit(&o.mV); }
  Variant& operator=(Variant&& o) noexcept {
    if (this != &o) {
      VariantClear(&mV);
      mV = o.mV;
      VariantInit(&o.mV);
    }
    return *this;
  }

  const VARIANT& Get() const { return mV; }
  VARIANT* Ptr() { return &mV; }
  // Clears what is held and gives the slot for an out argument.
  VARIANT* Out() {
    VariantClear(&mV);
    return &mV;
  }
  VARTYPE Type() const { return mV.vt; }

 private:
  VARIANT mV;
};

// COM on this thread for the owner's lifetime. A thread already in another
// apartment keeps it: the owner then owes no CoUninitialize, and Result()
// says RPC_E_CHANGED_MODE.
class ComInitializer {
 public:
  explicit ComInitializer(DWORD model = COINIT_APARTMENTTHREADED) : mHr(CoInitializeEx(nullptr, model)) {}
  ~ComInitializer() {
    if (SUCCEEDED(mHr)) CoUninitialize();
  }
  ComInitializer(const ComInitializer&) = delete;
  ComInitializer& operator=(const ComInitializer&) = delete;
  HRESULT Result() const { return mHr; }
  bool Usable() const { return SUCCEEDED(mHr) || mHr == RPC_E_CHANGED_MODE; }

 private:
  HRESULT mHr;
};

// A kernel handle; both null and INVALID_HANDLE_VALUE count as empty.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : mH(Valid(h) ? h : nullptr) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : mH(std::exchange(o.mH, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      Reset();
      mH = std::exchange(o.mH, nullptr);
    }
    return *this;
  }
  HANDLE Get() const { return mH; }
  explicit operator bool() const { return mH != nullptr; }
  HANDLE Detach() { return std::exchange(mH, nullptr); }
  void Reset(HANDLE h = nullptr) {
    if (HANDLE old = std::exchange(mH, Valid(h) ? h : nullptr)) CloseHandle(old);
  }

 private:
  static bool Valid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
  HANDLE mH = nullptr;
};

// A module this code loaded (LoadLibrary*); freed on destruction. Never hold
// one in a static that DllMain's detach would free under the loader lock.
class UniqueModule {
 public:
  UniqueModule() = default;
  explicit UniqueModule(HMODULE m) : mM(m) {}
  ~UniqueModule() { Reset(); }
  UniqueModule(const UniqueModule&) = delete;
  UniqueModule& operator=(const UniqueModule&) = delete;
  UniqueModule(UniqueModule&& o) noexcept : mM(std::exchange(o.mM, nullptr)) {}
  UniqueModule& operator=(UniqueModule&& o) noexcept {
    if (this != &o) {
      Reset();
      mM = std::exchange(o.mM, nullptr);
    }
    return *this;
  }
  HMODULE Get() const { return mM; }
  explicit operator bool() const { return mM != nullptr; }
  HMODULE Detach() { return std::exchange(mM, nullptr); }
  void Reset(HMODULE m = nullptr) {
    if (HMODULE old = std::exchange(mM, m)) FreeLibrary(old);
  }

 private:
  HMODULE mM = nullptr;
};

// An open registry key.
class UniqueRegKey {
 public:
  UniqueRegKey() = default;
  explicit UniqueRegKey(HKEY k) : mK(k) {}
  ~UniqueRegKey() { Reset(); }
  UniqueRegKey(const UniqueRegKey&) = delete;
  UniqueRegKey& operator=(const UniqueRegKey&) = delete;
  UniqueRegKey(UniqueRegKey&& o) noexcept : mK(std::exchange(o.mK, nullptr)) {}
  UniqueRegKey& operator=(UniqueRegKey&& o) noexcept {
    if (this != &o) {
      Reset();
      mK = std::exchange(o.mK, nullptr);
    }
    return *this;
  }
  HKEY Get() const { return mK; }
  HKEY* Out() {
    Reset();
    return &mK;
  }
  explicit operator bool() const { return mK != nullptr; }
  void Reset() {
    if (HKEY old = std::exchange(mK, nullptr)) RegCloseKey(old);
  }

 private:
  HKEY mK = nullptr;
};

// The code an EXCEPINFO's 16-bit wCode stands for, as automation clients
// map it (the interface facility, from 0x200 on).
inline HRESULT HresultFromWCode(WORD wCode) {
  constexpr WORD kLast = 0xFFFF - 0x200;
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x200 + (wCode > kLast ? kLast : wCode));
}

// The error a failed call stands for. For DISP_E_EXCEPTION the real code is
// the EXCEPINFO's (filled in first if the server deferred it): scode, else
// the mapped wCode, else DISP_E_EXCEPTION itself. The EXCEPINFO's strings are
// freed either way, so the caller owns nothing afterwards.
inline platform::ComError ComErrorFrom(HRESULT hr, EXCEPINFO* info = nullptr) {
  std::wstring description;
  if (info) {
    if (hr == DISP_E_EXCEPTION) {
      if (info->pfnDeferredFillIn) {
        auto fill = std::exchange(info->pfnDeferredFillIn, nullptr);
        fill(info);
      }
      if (FAILED(info->scode)) {
        hr = info->scode;
      } else if (info->wCode != 0) {
        hr = HresultFromWCode(info->wCode);
      }
      description = Bstr::Adopt(std::exchange(info->bstrDescription, nullptr)).Text();
    }
    Bstr::Adopt(std::exchange(info->bstrSource, nullptr));
    Bstr::Adopt(std::exchange(info->bstrDescription, nullptr));
    Bstr::Adopt(std::exchange(info->bstrHelpFile, nullptr));
  }
  return platform::ComError(hr, std::move(description));
}

// Throws the ComError of a failed call; returns hr (S_OK, S_FALSE...) on
// success.
inline HRESULT ThrowIfFailed(HRESULT hr, EXCEPINFO* info = nullptr) {
  if (FAILED(hr)) throw ComErrorFrom(hr, info);
  if (info) ComErrorFrom(hr, info);  // frees whatever the server put there
  return hr;
}

}  // namespace platform::win
