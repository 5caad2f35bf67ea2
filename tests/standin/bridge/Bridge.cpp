#include "tests/standin/bridge/Bridge.h"

#include <fcntl.h>
#include <io.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <map>
#include <vector>

#include "src/platform/Strings.h"
#include "src/platform/win32/Bitmaps.h"
#include "src/platform/win32/ComOwners.h"
#include "tests/standin/Protocol.h"

namespace standin {

namespace {

const IID kButtonEvents = {0x000C0351, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The pipe to the Linux program: requests go out on gOut, answers come in on gIn.
FILE* gIn = nullptr;
FILE* gOut = nullptr;

// Sends one request line and reads its answer; false when the pipe broke.
bool Request(const std::string& line, std::string* answer) {
  answer->clear();
  if (!gIn || !gOut || std::fputs((line + "\n").c_str(), gOut) < 0 || std::fflush(gOut) != 0) return false;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, gIn)) {
    *answer += buffer;
    if (answer->back() == '\n') return answer->pop_back(), true;
  }
  return false;
}

// Member names get ids in the order they are first asked for, the same id
// for a name on every kind of object.
std::map<std::wstring, DISPID> gIds;
std::vector<std::wstring> gNames;

// Paths cross between the Windows and the Linux side of Wine, through
// Wine's own conversions (kept as they were where those are missing): the
// name as `From`, converted by `function`, as `To`.
template <class To, class From>
std::basic_string<To> WinePath(const char* function, const std::basic_string<From>& path) {
  using Convert = To*(CDECL*)(const From*);
  static const auto convert =
      reinterpret_cast<Convert>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), function)));
  To* converted = convert ? convert(path.c_str()) : nullptr;
  if (!converted) return {};
  std::basic_string<To> out = converted;
  HeapFree(GetProcessHeap(), 0, converted);
  return out;
}
std::string ToUnixPath(const std::wstring& path) {
  const std::string unix = WinePath<char>("wine_get_unix_file_name", path);
  return unix.empty() ? platform::ToUtf8(path) : unix;
}
std::wstring ToDosPath(const std::string& path) {
  std::wstring dos = path.rfind('/', 0) == 0 ? WinePath<wchar_t>("wine_get_dos_file_name", path) : L"";
  if (dos.rfind(L"\\\\?\\", 0) == 0) dos.erase(0, 4);
  return dos.empty() ? platform::FromUtf8(path) : dos;
}

bool TakesPath(const std::wstring& member) { return member == L"Open" || member == L"SaveCopyAs"; }

class RemoteObject;
std::map<int, RemoteObject*> gObjects;

// A command-bar control is also its own (only) connection point.
class RemoteObject : public IDispatch, public IConnectionPointContainer, public IConnectionPoint {
 public:
  RemoteObject(int handle, std::string kind) : mHandle(handle), mKind(std::move(kind)) { gObjects[handle] = this; }

  const std::string& Kind() const { return mKind; }
  bool IsControl() const { return mKind == "CommandBarControl"; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch) *out = static_cast<IDispatch*>(this);
    if (iid == IID_IConnectionPointContainer && IsControl()) *out = static_cast<IConnectionPointContainer*>(this);
    if (iid == IID_IConnectionPoint && IsControl()) *out = static_cast<IConnectionPoint*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++mRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --mRefs;
    if (left == 0) {
      gObjects.erase(mHandle);
      std::string ignored;
      Request("R " + std::to_string(mHandle), &ignored);
      for (auto& [cookie, sink] : mSinks) sink->Release();
      delete this;
    }
    return left;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return count ? *count = 0, S_OK : E_POINTER; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) {
      auto [found, added] = gIds.try_emplace(names[i], static_cast<DISPID>(gNames.size() + 101));
      if (added) gNames.push_back(names[i]);
      ids[i] = found->second;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* info, UINT*) override;

  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = iid == kButtonEvents ? static_cast<IConnectionPoint*>(this) : nullptr;
    return *point ? (AddRef(), S_OK) : CONNECT_E_NOCONNECTION;
  }

  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events)))) return CONNECT_E_CANNOTCONNECT;
    *cookie = mNextCookie++;
    mSinks[*cookie] = events;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    auto found = mSinks.find(cookie);
    if (found == mSinks.end()) return CONNECT_E_NOCONNECTION;
    IDispatch* sink = found->second;
    mSinks.erase(found);
    sink->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  // Raises Click(Ctrl, CancelDefault) on every sink connected to the button.
  void Raise() {
    std::vector<platform::win::ComPtr<IDispatch>> sinks;
    for (auto& [cookie, sink] : mSinks) sinks.push_back(platform::win::ComPtr<IDispatch>::Share(sink));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    for (const auto& sink : sinks) {
      // The last argument first.
      VARIANT args[2];
      args[0].vt = VT_BOOL | VT_BYREF;
      args[0].pboolVal = &cancel;
      args[1].vt = VT_DISPATCH;
      args[1].pdispVal = static_cast<IDispatch*>(this);
      DISPPARAMS params{args, nullptr, 2, 0};
      sink->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
  }

 private:
  virtual ~RemoteObject() = default;
  // The button's click sinks, by cookie.
  std::map<DWORD, IDispatch*> mSinks;
  DWORD mNextCookie = 1;
  ULONG mRefs = 1;
  int mHandle;
  std::string mKind;
};

IDispatch* ObjectFor(int handle, const std::string& kind) {
  auto found = gObjects.find(handle);
  if (found == gObjects.end()) return new RemoteObject(handle, kind);
  found->second->AddRef();
  return found->second;
}

// A call's argument as the protocol carries it; false for a kind of value
// the stand-in's objects never take.
bool ToValue(const VARIANT& in, Value* out) {
  VARIANT v;
  VariantInit(&v);
  if (FAILED(VariantCopyInd(&v, const_cast<VARIANT*>(&in)))) return false;
  bool ok = true;
  switch (v.vt) {
    case VT_EMPTY:
    case VT_ERROR: *out = Value(); break;  // a left-out optional argument
    case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT:
      ok = SUCCEEDED(VariantChangeType(&v, &v, 0, VT_I4));
      *out = Value::Int(v.lVal);
      break;
    case VT_R4: *out = Value::Double(v.fltVal); break;
    case VT_R8: *out = Value::Double(v.dblVal); break;
    case VT_BOOL: *out = Value::Bool(v.boolVal != VARIANT_FALSE); break;
    case VT_BSTR:
      *out = Value::String(platform::ToUtf8(std::wstring(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal))));
      break;
    case VT_DISPATCH: {
      // Nothing, one of the stand-in's objects, or a button face, which lives
      // with its control on the host's side.
      *out = Value::Null();
      for (auto& [handle, object] : gObjects)
        if (static_cast<IDispatch*>(object) == v.pdispVal) *out = Value::Object(handle, "");
      platform::Picture picture;
      if (v.pdispVal && out->type == Value::Type::Null) {
        ok = platform::win::PictureObjectPixels(v.pdispVal, &picture) == S_OK;
        *out = Value::String(PictureText(picture));
      }
      break;
    }
    default:
      // The add-in passes one-dimensional arrays of VARIANTs only.
      ok = v.vt == (VT_ARRAY | VT_VARIANT) && v.parray && SafeArrayGetDim(v.parray) == 1;
      if (!ok) break;
      Value array(Value::Type::Array);
      LONG low = 0, high = -1;
      SafeArrayGetLBound(v.parray, 1, &low);
      SafeArrayGetUBound(v.parray, 1, &high);
      for (LONG i = low; ok && i <= high; ++i) {
        VARIANT item;
        VariantInit(&item);
        ok = SUCCEEDED(SafeArrayGetElement(v.parray, &i, &item));
        array.items.emplace_back();
        if (ok) ok = ToValue(item, &array.items.back());
        VariantClear(&item);
      }
      *out = std::move(array);
  }
  VariantClear(&v);
  return ok;
}

void ToVariant(const Value& v, VARIANT* out) {
  VariantInit(out);
  switch (v.type) {
    case Value::Type::Missing:
    case Value::Type::Array: break;
    case Value::Type::Null:
    case Value::Type::Object:
      out->vt = VT_DISPATCH;
      out->pdispVal = v.type == Value::Type::Object ? ObjectFor(v.handle, v.s) : nullptr;
      break;
    case Value::Type::Int:
      out->vt = VT_I4;
      out->lVal = static_cast<LONG>(v.i);
      break;
    case Value::Type::Double:
      out->vt = VT_R8;
      out->dblVal = v.d;
      break;
    case Value::Type::Bool:
      out->vt = VT_BOOL;
      out->boolVal = v.i ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case Value::Type::String: {
      const std::wstring s = platform::FromUtf8(v.s);
      out->vt = VT_BSTR;
      out->bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
      break;
    }
  }
}

HRESULT Fail(EXCEPINFO* info, HRESULT code, const std::wstring& description) {
  if (!info) return code;
  *info = EXCEPINFO{};
  info->scode = code;
  info->bstrSource = SysAllocString(L"PowerPoint stand-in");
  info->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
  return DISP_E_EXCEPTION;
}

HRESULT RemoteObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* info, UINT*) {
  if (id <= 100 || static_cast<size_t>(id - 100) > gNames.size()) return DISP_E_MEMBERNOTFOUND;
  std::wstring member = gNames[static_cast<size_t>(id - 101)];
  const UINT count = params ? params->cArgs : 0;
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  std::string line;
  if (IsControl() && member == L"Execute") {
    // The click is the stand-in's own: it raises the event here, where the
    // sinks are connected.
    return Raise(), S_OK;
  }
  if (IsControl() && member == L"PasteFace") {
    // The clipboard is this side's: the face is read here and put as the
    // button's Picture.
    platform::Picture pasted;
    const bool opened = OpenClipboard(nullptr);
    const bool read = opened && platform::win::BitmapPixels(static_cast<HBITMAP>(GetClipboardData(CF_BITMAP)), &pasted);
    if (opened) CloseClipboard();
    if (!read) return Fail(info, E_FAIL, L"there is no bitmap on the clipboard");
    member = L"Picture";
    put = true;
    line = " " + Encode(Value::String(PictureText(pasted)));
  }
  line = std::string(put ? "P " : "G ") + std::to_string(mHandle) + " " + platform::ToUtf8(member) + line;
  // Arguments arrive last first.
  for (UINT i = count; i-- > 0;) {
    Value v;
    if (!ToValue(params->rgvarg[i], &v)) return DISP_E_TYPEMISMATCH;
    if (i == count - 1 && TakesPath(member) && v.type == Value::Type::String) v.s = ToUnixPath(platform::FromUtf8(v.s));
    line += " " + Encode(v);
  }
  std::string answer;
  if (!Request(line, &answer)) return Fail(info, RPC_E_DISCONNECTED, L"the host is gone");
  const std::vector<std::string> tokens = Tokens(answer);
  size_t at = 1;
  Value v;
  if (tokens.size() >= 2 && tokens[0] == "!") {
    at = 2;
    Decode(tokens, &at, &v);
    return Fail(info, static_cast<HRESULT>(std::strtoul(tokens[1].c_str(), nullptr, 16)), platform::FromUtf8(v.s));
  }
  if (tokens.empty() || tokens[0] != "=" || !Decode(tokens, &at, &v))
    return Fail(info, E_UNEXPECTED, L"the host answered something unreadable");
  const bool text = v.type == Value::Type::String;
  if (text && (member == L"FullName" || member == L"Path")) v.s = platform::ToUtf8(ToDosPath(v.s));
  if (text && IsControl() && (member == L"Picture" || member == L"Mask") && !put) {
    platform::Picture face;
    if (!ParsePictureText(v.s, &face)) return Fail(info, E_UNEXPECTED, L"the host answered an unreadable face");
    if (result) {
      // As the host hands a face out: an OLE picture owning its bitmap.
      IDispatch* picture = nullptr;
      if (!face.pixels.empty()) platform::win::MakePictureObject(face, &picture);
      VariantInit(result);
      result->vt = VT_DISPATCH;
      result->pdispVal = picture;
    }
    return S_OK;
  }
  // An answer nobody takes is dropped at once (an object's handle with it).
  VARIANT dropped;
  ToVariant(v, result ? result : &dropped);
  if (!result) VariantClear(&dropped);
  return S_OK;
}

}  // namespace

IDispatch* ConnectToHost(std::wstring* error) {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE kept = nullptr;
  if (in == INVALID_HANDLE_VALUE || !in || out == INVALID_HANDLE_VALUE || !out ||
      !DuplicateHandle(GetCurrentProcess(), out, GetCurrentProcess(), &kept, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    if (error) *error = L"standard input and output must lead to the host program";
    return nullptr;
  }
  std::fflush(stdout);
  _dup2(_fileno(stderr), _fileno(stdout));
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
  gIn = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(in), _O_RDONLY | _O_BINARY), "rb");
  gOut = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(kept), _O_BINARY), "wb");
  return ObjectFor(1, "Application");
}

std::string LiveObjects() {
  std::string kinds;
  for (auto& [handle, object] : gObjects) kinds += (kinds.empty() ? "" : ", ") + object->Kind();
  return kinds;
}

}  // namespace standin
