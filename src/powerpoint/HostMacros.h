// The text layer runs pre- and post-macros through a callback and knows no
// host; a run connects it to the host application it works on for as long as
// the run lasts. User-interface thread only, like the host objects it holds.
#pragma once

#include <string>
#include <utility>

#include "src/engine/AppCommon.h"
#include "src/host/Host.h"

namespace powerpoint {

// Macros run through the application's Run member; no application, no
// runner (the text layer then reports that nothing can run the macro).
inline engine::AppCommon::MacroRunner HostMacroRunner(host::Ptr<host::Application> application) {
  if (!application) return {};
  return [application](const std::wstring& name) { return application->Run(name, {}); };
}

// Installs the application's runner and puts the earlier one back at the end
// of the scope, so a nested run leaves the outer run's host in place.
class HostMacroScope {
 public:
  HostMacroScope(engine::AppCommon& common, host::Ptr<host::Application> application)
      : mCommon(common), mPrevious(common.GetMacroRunner()) {
    mCommon.SetMacroRunner(HostMacroRunner(std::move(application)));
  }
  ~HostMacroScope() { mCommon.SetMacroRunner(std::move(mPrevious)); }
  HostMacroScope(const HostMacroScope&) = delete;
  HostMacroScope& operator=(const HostMacroScope&) = delete;

 private:
  engine::AppCommon& mCommon;
  engine::AppCommon::MacroRunner mPrevious;
};

}  // namespace powerpoint
