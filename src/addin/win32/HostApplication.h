// The seam between the host's connection and the add-in's host object
// model: turns the Application object the host hands over into the add-in's
// Application. Null when it cannot be wrapped; the connection then fails the
// way a missing Application does (logged, message 1001, S_OK to the host).
#pragma once

#include <oaidl.h>

#include "src/host/Application.h"

namespace addin::win {

host::Ptr<host::Application> WrapHostApplication(IDispatch* application);

// The running host, for the facade's reconnection when the reference it
// holds has died; null when none runs.
host::Ptr<host::Application> FindRunningHost();

}  // namespace addin::win
