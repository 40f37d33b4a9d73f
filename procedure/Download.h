// "Download" as the dialog runs it on its own thread: a short pause, the package check, the
// preparation of the selected device, and the hand-over to the worker thread.
#pragma once

#include <string>

#include "procedure/UpdateHost.h"
#include "procedure/UpdateSession.h"

// tempDirectory ends in a backslash, as the system reports it. The package is unpacked into a
// folder of this update's own below it, removed again when the update ends, whichever way.
// trustedKeysFile: the makers whose signature a package must carry (trusted-keys.txt beside
// the program); without the file, or with no key in it, packages are taken unsigned. A file
// that cannot be read (or no name at all) trusts no key and refuses every package.
void RunDownload(UpdateHost& host, UpdateSession& session, const std::wstring& updateFile,
                 const std::wstring& tempDirectory, const std::wstring& trustedKeysFile);
