// "Download" as the dialog runs it on its own thread: a short pause, the package check, the
// preparation of the selected device, and the hand-over to the worker thread. A console that
// updates several instruments from one package runs the stages on their own.
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

// The stages of RunDownload, after session.Begin(). The short pause, the update's own folder
// and the package check into session.Package();
// false when the package was refused (the reason shown, the folder removed).
bool CheckUpdatePackage(UpdateHost& host, UpdateSession& session, const std::wstring& updateFile,
                        const std::wstring& tempDirectory, const std::wstring& trustedKeysFile);
// The preparation of the selected instrument for the checked package and the hand-over to the
// worker; every ending is recorded.
void UpdateSelectedInstrument(UpdateHost& host, UpdateSession& session);
