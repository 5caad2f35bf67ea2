#include "src/addin/win32/HostApplication.h"

#include "src/host/dispatch/DispatchHost.h"

namespace addin::win {

host::Ptr<host::Application> WrapHostApplication(IDispatch* application) {
  return host::dispatch::MakeApplication(application);
}

}  // namespace addin::win
