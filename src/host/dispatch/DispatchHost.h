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

}  // namespace host::dispatch
