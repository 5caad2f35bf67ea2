// The COM owners release exactly what they own, and a failed call becomes
// the ComError of its real code.
#include <gtest/gtest.h>

#include "src/platform/win32/ComOwners.h"

namespace wintest {

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

}  // namespace wintest

namespace {

using namespace platform::win;

TEST(ComOwnersTest, PointersAndVariantsBalanceTheirReferences) {
  wintest::Counted object;
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
}

HRESULT STDMETHODCALLTYPE FillIn(EXCEPINFO* info) {
  info->scode = E_ACCESSDENIED;
  info->bstrDescription = SysAllocString(L"filled late");
  return S_OK;
}

TEST(ComOwnersTest, FailuresCarryTheRealCode) {
  struct Case {
    HRESULT hr;
    SCODE scode;
    WORD wCode;
    bool deferred;
    HRESULT expected;
    const wchar_t* description;
  };
  const Case cases[] = {
      {E_INVALIDARG, 0, 0, false, E_INVALIDARG, L""},
      {DISP_E_EXCEPTION, STG_E_FILENOTFOUND, 0, false, STG_E_FILENOTFOUND, L"said"},
      {DISP_E_EXCEPTION, 0, 5, false, MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x205), L"said"},
      {DISP_E_EXCEPTION, 0, 0, true, E_ACCESSDENIED, L"filled late"},
      {DISP_E_EXCEPTION, 0, 0, false, DISP_E_EXCEPTION, L"said"},
  };
  for (const Case& c : cases) {
    EXCEPINFO info{};
    info.scode = c.scode;
    info.wCode = c.wCode;
    info.bstrSource = SysAllocString(L"source");
    if (c.deferred) {
      info.pfnDeferredFillIn = &FillIn;
    } else if (c.hr == DISP_E_EXCEPTION) {
      info.bstrDescription = SysAllocString(L"said");
    }
    const platform::ComError error = ComErrorFrom(c.hr, &info);
    EXPECT_EQ(error.Error(), c.expected);
    EXPECT_EQ(error.Description(), c.description);
    // Everything the server handed over has been freed and cleared.
    EXPECT_EQ(info.bstrSource, nullptr);
    EXPECT_EQ(info.bstrDescription, nullptr);
    EXPECT_EQ(info.pfnDeferredFillIn, nullptr);
  }

  EXPECT_EQ(ThrowIfFailed(S_FALSE), S_FALSE);
  try {
    ThrowIfFailed(E_ABORT);
    ADD_FAILURE() << "no exception";
  } catch (const platform::ComError& e) {
    EXPECT_EQ(e.Error(), E_ABORT);
  }
}

}  // namespace
