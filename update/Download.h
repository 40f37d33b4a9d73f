// "Download" as the dialog runs it on its own thread: a short pause, the package check, the
// preparation of the selected device, and the hand-over to the worker thread.
#pragma once

#include <string>

#include "update/UpdateHost.h"
#include "update/UpdateSession.h"

// tempDirectory ends in a backslash, as the system reports it. The package is unpacked into a
// folder of this update's own below it, removed again when the update ends, whichever way.
void RunDownload(UpdateHost& host, UpdateSession& session, const std::wstring& updateFile,
                 const std::wstring& tempDirectory);
