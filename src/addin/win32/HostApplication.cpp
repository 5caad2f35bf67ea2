#include "src/addin/win32/HostApplication.h"

#include "src/host/dispatch/DispatchHost.h"

namespace addin::win {

host::Ptr<host::Application> WrapHostApplication(IDispatch* application) {
  return host::dispatch::MakeApplication(application);
}

host::Ptr<host::Application> FindRunningHost() { return host::dispatch::RunningApplication(); }

}  // namespace addin::win
