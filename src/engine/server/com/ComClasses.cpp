#include "engine/server/PlatformClasses.h"

namespace engine_server::detail {

HRESULT PlatformCreateEngineFactory(std::shared_ptr<IEngineFactory>* factory) {
  return REGDB_E_CLASSNOTREG;
}

HRESULT PlatformCreateImplementations(std::shared_ptr<IImplementations>* implementations) {
  return REGDB_E_CLASSNOTREG;
}

HRESULT PlatformCreateFamilyHelper(const std::wstring& progId, std::shared_ptr<IFamilyHelper>* helper) {
  return REGDB_E_CLASSNOTREG;
}

}  // namespace engine_server::detail
