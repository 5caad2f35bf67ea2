// Shared pieces of the host object wrappers: each wrapper holds one
// Dispatch and reads its members by name.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "src/host/Host.h"
#include "src/host/dispatch/Dispatch.h"

namespace host::dispatch {

class Base {
 protected:
  Base(IDispatch* object, const char* kind) : d(std::make_shared<Dispatch>(object, kind)) {}

  int GetInt(const wchar_t* name, const std::vector<Variant>& args = {}) { return d->Get(name, args).Int(); }
  float GetFloat(const wchar_t* name) { return static_cast<float>(d->Get(name).Double()); }
  bool GetBool(const wchar_t* name) { return d->Get(name).Bool(); }
  std::wstring GetString(const wchar_t* name) { return d->Get(name).String(); }
  void Set(const wchar_t* name, const Variant& v) { d->Put(name, v); }
  void Do(const wchar_t* name, const std::vector<Variant>& args = {}) { d->Call(name, args); }

  std::shared_ptr<Dispatch> d;
};

// A wrapper of type W over the object a call answered, with W's further
// constructor arguments; null for Nothing.
template <class W, class... Extra>
host::Ptr<W> Wrap(const Variant& v, Extra&&... extra) {
  auto object = v.Object();
  if (!object) return nullptr;
  auto w = std::make_shared<W>(object.Get(), std::forward<Extra>(extra)...);
  return w;
}

// A collection whose items all wrap as ItemWrapper.
template <class Interface, class ItemWrapper>
class Collection : public Interface, protected Base {
 public:
  Collection(IDispatch* o, const char* kind) : Base(o, kind) {}
  int Count() override { return GetInt(L"Count"); }
  decltype(std::declval<Interface&>().Item(0)) Item(int index) override {
    return Wrap<ItemWrapper>(d->Get(L"Item", {index}));
  }
};

// An optional argument: left out when it holds the "any" value.
inline Variant Optional(int v) { return v == 0 ? Variant::Missing() : Variant(v); }
inline Variant Optional(const std::wstring& v) { return v.empty() ? Variant::Missing() : Variant(v); }

inline Variant TriState(bool v) { return Variant(v ? msoTrue : msoFalse); }

host::Ptr<host::CommandBars> MakeCommandBars(IDispatch* bars);
host::Ptr<host::CommandBarControl> MakeControl(IDispatch* control);

}  // namespace host::dispatch
