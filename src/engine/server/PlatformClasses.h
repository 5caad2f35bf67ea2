// The platform's own way of creating the engine-side classes (COM on
// Windows, the in-process table on Linux), used when no hook replaces it.
#pragma once

#include "src/engine/server/EngineClasses.h"

namespace engine_server::detail {

HRESULT PlatformCreateEngineFactory(std::shared_ptr<IEngineFactory>* factory);
HRESULT PlatformCreateImplementations(std::shared_ptr<IImplementations>* implementations);
HRESULT PlatformCreateFamilyHelper(const std::wstring& progId, std::shared_ptr<IFamilyHelper>* helper);
HRESULT PlatformInitializeThread();
void PlatformUninitializeThread();

}  // namespace engine_server::detail
