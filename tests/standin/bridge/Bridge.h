// The Windows half of the PowerPoint stand-in's object model: every object
// is an IDispatch whose calls travel, by member name, over standard output
// to the Linux program that started this process and come back on standard
// input (tests/standin/Protocol.h). Command-bar controls also carry the
// connection points through which a connected add-in receives clicks.
// Single-threaded: the user-interface thread only.
#pragma once

#include <ole2.h>

#include <string>

namespace standin {

// Takes over the process's standard input and output for the channel (the
// C runtime's standard output then writes to standard error, so nothing
// else can break into it) and answers the host's Application object,
// AddRef'd. Null with the reason in *error when standard input or output
// is missing.
IDispatch* ConnectToHost(std::wstring* error);

// The kinds of the stand-in's objects that are alive (held by anyone),
// comma-separated; empty when none is.
std::string LiveObjects();

}  // namespace standin
