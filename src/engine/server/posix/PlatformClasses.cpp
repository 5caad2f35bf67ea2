#include "src/engine/server/PlatformClasses.h"

namespace engine_server::detail {

HRESULT PlatformCreateEngineFactory(std::shared_ptr<IEngineFactory>* factory) {
  return CreateInProcessEngineFactory(factory);
}

HRESULT PlatformCreateImplementations(std::shared_ptr<IImplementations>* implementations) {
  return CreateInProcessImplementations(implementations);
}

HRESULT PlatformCreateFamilyHelper(const std::wstring& progId, std::shared_ptr<IFamilyHelper>* helper) {
  return CreateInProcessFamilyHelper(progId, helper);
}

HRESULT PlatformInitializeThread() { return S_OK; }

void PlatformUninitializeThread() {}

}  // namespace engine_server::detail
