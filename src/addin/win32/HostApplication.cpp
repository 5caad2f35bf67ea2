#include "src/addin/win32/HostApplication.h"

namespace addin::win {

// No object model over IDispatch is built into this module yet, so no
// Application can be wrapped.
host::Ptr<host::Application> WrapHostApplication(IDispatch* /*application*/) { return nullptr; }

}  // namespace addin::win
