#include "src/engine/server/EngineClasses.h"

#include <algorithm>
#include <mutex>

#include "src/engine/server/PlatformClasses.h"
#include "src/engine/server/ServerObjects.h"
#include "src/platform/Strings.h"

namespace engine_server {
namespace {

struct Table {
  std::mutex mutex;
  std::vector<InProcessImplementation> implementations;
  std::vector<std::pair<std::wstring, FamilyHelperMaker>> helpers;
  ClassHooks hooks;
};

Table& TheTable() {
  static Table table;
  return table;
}

bool FindImplementation(const std::wstring& name, InProcessImplementation* out) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (const auto& impl : t.implementations) {
    if (platform::EqualsNoCase(impl.name, name)) {
      *out = impl;
      return true;
    }
  }
  return false;
}

class ImplementationList : public IImplementations {
 public:
  explicit ImplementationList(std::vector<std::wstring> names) : mNames(std::move(names)) {}
  HRESULT Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(mNames.size());
    return S_OK;
  }
  HRESULT Item(LONG index, std::wstring* name) override {
    if (!name) return E_POINTER;
    if (index < 1 || index > static_cast<LONG>(mNames.size())) return DISP_E_BADINDEX;
    *name = mNames[index - 1];
    return S_OK;
  }

 private:
  std::vector<std::wstring> mNames;
};

// The EngineFactory class of the in-process engine side: it holds the
// settings a client makes before choosing an implementation and forwards
// everything else to that implementation's own factory, or to `others` for
// a name not served in process.
class DispatchingFactory : public IEngineFactory {
 public:
  DispatchingFactory(std::shared_ptr<IEngineFactory> others, HRESULT othersResult)
      : mOthers(others), mOthersResult(othersResult), mTarget(std::move(others)) {}

  HRESULT SetImplementation(const std::wstring& name) override {
    InProcessImplementation impl;
    const bool inProcess = FindImplementation(name, &impl);
    if (!inProcess && !mOthers && FAILED(mOthersResult)) return mOthersResult;
    std::shared_ptr<IEngineFactory> target = mOthers;
    if (inProcess) target = impl.makeFactory ? impl.makeFactory() : nullptr;
    if (target) {
      HRESULT hr = target->SetImplementation(name);
      if (FAILED(hr)) return hr;
    }
    if (target && inProcess && !mDisplayLanguage.empty()) {
      HRESULT hr = target->SetDisplayLanguage(mDisplayLanguage);
      if (FAILED(hr)) return hr;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    mTarget = std::move(target);
    return S_OK;
  }

  HRESULT SetDisplayLanguage(const std::wstring& language) override {
    mDisplayLanguage = language;
    auto target = Target();
    return target ? target->SetDisplayLanguage(language) : S_OK;
  }

  HRESULT Properties(std::shared_ptr<IClientProperties>* properties) override {
    if (!properties) return E_POINTER;
    if (auto target = Target()) return target->Properties(properties);
    if (FAILED(mOthersResult)) return mOthersResult;
    *properties = mOwnProperties;
    return S_OK;
  }

  // An implementation name that nothing serves has no usable engine.
  HRESULT GetEngineList(const std::wstring& engineId, const std::wstring& reserved1,
                        const std::wstring& reserved2, LONG flags,
                        std::shared_ptr<IEngineList>* list) override {
    if (!list) return E_POINTER;
    if (auto target = Target()) return target->GetEngineList(engineId, reserved1, reserved2, flags, list);
    return FAILED(mOthersResult) ? mOthersResult : ENGINE_E_UNAVAILABLE;
  }

  HRESULT GetEngine(const std::shared_ptr<IEngineListItem>& item,
                    std::shared_ptr<ITranslationEngine>* engine) override {
    if (!engine) return E_POINTER;
    if (auto target = Target()) return target->GetEngine(item, engine);
    return FAILED(mOthersResult) ? mOthersResult : E_UNEXPECTED;
  }

  HRESULT WaitForResult(LONG timeoutMs, LONG* status) override {
    if (!status) return E_POINTER;
    if (auto target = Target()) return target->WaitForResult(timeoutMs, status);
    if (FAILED(mOthersResult)) return mOthersResult;
    *status = kRequestDone;
    return S_OK;
  }

  HRESULT Cancel() override {
    auto target = Target();
    return target ? target->Cancel() : S_OK;
  }

  HRESULT ErrorCode(LONG* code) override {
    if (!code) return E_POINTER;
    if (auto target = Target()) return target->ErrorCode(code);
    if (FAILED(mOthersResult)) return mOthersResult;
    *code = 0;
    return S_OK;
  }

  HRESULT ErrorText(std::wstring* text) override {
    if (!text) return E_POINTER;
    if (auto target = Target()) return target->ErrorText(text);
    if (FAILED(mOthersResult)) return mOthersResult;
    text->clear();
    return S_OK;
  }

 private:
  // Cancel may come from another thread while the owner thread switches
  // implementations, so the target is read under the lock.
  std::shared_ptr<IEngineFactory> Target() {
    std::lock_guard<std::mutex> lock(mMutex);
    return mTarget;
  }

  const std::shared_ptr<IEngineFactory> mOthers;
  const HRESULT mOthersResult;
  std::mutex mMutex;
  std::shared_ptr<IEngineFactory> mTarget;
  std::wstring mDisplayLanguage;
  std::shared_ptr<ClientProperties> mOwnProperties = std::make_shared<ClientProperties>();
};

}  // namespace

void RegisterImplementation(InProcessImplementation implementation) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (auto& impl : t.implementations) {
    if (platform::EqualsNoCase(impl.name, implementation.name)) {
      impl = std::move(implementation);
      return;
    }
  }
  t.implementations.push_back(std::move(implementation));
}

void UnregisterImplementation(const std::wstring& name) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  std::erase_if(t.implementations,
                [&](const InProcessImplementation& i) { return platform::EqualsNoCase(i.name, name); });
}

std::vector<std::wstring> RegisteredImplementations() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  std::vector<std::wstring> names;
  for (const auto& impl : t.implementations) names.push_back(impl.name);
  return names;
}

void RegisterFamilyHelper(const std::wstring& progId, FamilyHelperMaker make) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  for (auto& h : t.helpers) {
    if (platform::EqualsNoCase(h.first, progId)) {
      h.second = std::move(make);
      return;
    }
  }
  t.helpers.emplace_back(progId, std::move(make));
}

void UnregisterFamilyHelper(const std::wstring& progId) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  std::erase_if(t.helpers, [&](const auto& h) { return platform::EqualsNoCase(h.first, progId); });
}

HRESULT CreateInProcessEngineFactory(std::shared_ptr<IEngineFactory>* factory) {
  if (!factory) return E_POINTER;
  *factory = MakeDispatchingFactory(nullptr, S_OK);
  return S_OK;
}

std::shared_ptr<IEngineFactory> MakeDispatchingFactory(std::shared_ptr<IEngineFactory> others, HRESULT othersResult) {
  return std::make_shared<DispatchingFactory>(std::move(others), othersResult);
}

HRESULT CreateServerSettings(std::shared_ptr<IServerSettings>* settings) {
  if (!settings) return E_POINTER;
  std::function<std::shared_ptr<IServerSettings>()> make;
  {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (const auto& impl : t.implementations) {
      if (impl.makeServerSettings) {
        make = impl.makeServerSettings;
        break;
      }
    }
  }
  if (!make) return REGDB_E_CLASSNOTREG;
  *settings = make();
  return *settings ? S_OK : E_FAIL;
}

std::shared_ptr<IImplementations> MakeImplementationList(std::vector<std::wstring> names) {
  return std::make_shared<ImplementationList>(std::move(names));
}

HRESULT CreateInProcessImplementations(std::shared_ptr<IImplementations>* implementations) {
  if (!implementations) return E_POINTER;
  std::vector<InProcessImplementation> registered;
  {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    registered = t.implementations;
  }
  // Detection may take a moment (it looks at the file system), so it runs
  // outside the lock.
  std::vector<std::wstring> names;
  for (const auto& impl : registered) {
    if (!impl.available || impl.available()) names.push_back(impl.name);
  }
  *implementations = MakeImplementationList(std::move(names));
  return S_OK;
}

HRESULT CreateInProcessFamilyHelper(const std::wstring& progId, std::shared_ptr<IFamilyHelper>* helper) {
  if (!helper) return E_POINTER;
  FamilyHelperMaker make;
  {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (const auto& h : t.helpers) {
      if (platform::EqualsNoCase(h.first, progId)) make = h.second;
    }
  }
  if (!make) return REGDB_E_CLASSNOTREG;
  auto made = make();
  if (!made) return E_FAIL;
  *helper = std::move(made);
  return S_OK;
}

ClassHooks SetClassHooks(ClassHooks hooks) {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  std::swap(t.hooks, hooks);
  return hooks;
}

ClassHooks InProcessClassHooks() {
  ClassHooks hooks;
  hooks.createEngineFactory = CreateInProcessEngineFactory;
  hooks.createImplementations = CreateInProcessImplementations;
  hooks.createFamilyHelper = CreateInProcessFamilyHelper;
  return hooks;
}

namespace {
ClassHooks CurrentHooks() {
  Table& t = TheTable();
  std::lock_guard<std::mutex> lock(t.mutex);
  return t.hooks;
}
}  // namespace

HRESULT CreateEngineFactory(std::shared_ptr<IEngineFactory>* factory) {
  if (!factory) return E_POINTER;
  auto hooks = CurrentHooks();
  if (hooks.createEngineFactory) return hooks.createEngineFactory(factory);
  return detail::PlatformCreateEngineFactory(factory);
}

HRESULT CreateImplementations(std::shared_ptr<IImplementations>* implementations) {
  if (!implementations) return E_POINTER;
  auto hooks = CurrentHooks();
  if (hooks.createImplementations) return hooks.createImplementations(implementations);
  return detail::PlatformCreateImplementations(implementations);
}

HRESULT InitializeEngineThread() { return detail::PlatformInitializeThread(); }

void UninitializeEngineThread() { detail::PlatformUninitializeThread(); }

HRESULT CreateFamilyHelper(const std::wstring& progId, std::shared_ptr<IFamilyHelper>* helper) {
  if (!helper) return E_POINTER;
  auto hooks = CurrentHooks();
  if (hooks.createFamilyHelper) return hooks.createFamilyHelper(progId, helper);
  return detail::PlatformCreateFamilyHelper(progId, helper);
}

}  // namespace engine_server
