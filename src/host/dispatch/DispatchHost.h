// The host object model over PowerPoint's own objects, reached late-bound
// through IDispatch. This is what the add-in's connection object hands to
// the add-in: the Application the host passed to OnConnection.
#pragma once

#include <ole2.h>

#include "src/host/Host.h"

namespace host::dispatch {

// The application object over the host's; null for a null pointer. The
// result holds its own reference on application.
host::Ptr<host::Application> MakeApplication(IDispatch* application);

// The running PowerPoint, found through the class of its ProgID
// "PowerPoint.Application" among the system's active objects, for a host
// reference that has died; null when none runs. User-interface thread.
host::Ptr<host::Application> RunningApplication();

// The click sinks of this module that the host still holds (advised and not
// yet released): the module must stay loaded while the host may call them.
// Any thread.
long LiveEventSinks();

}  // namespace host::dispatch
