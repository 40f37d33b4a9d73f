// The two forms of knupdate for service departments and production lines, on UpdateRun:
// every listed instrument a package is for, one after another; and a station that updates
// each instrument of the package's type as it is plugged in.
#pragma once

#include <string>

#include "tools/knupdate/ConsoleOutput.h"
#include "tools/knupdate/UpdateRun.h"

// knupdate update --package P --all [--keep-going]. The instruments waiting in their DFU
// loader go first: while one of the type waits there, no other of the type can be switched.
// The first failure ends the run unless keepGoing. Returns the exit code: 0 when every update
// succeeded, 1 when one failed, the package was refused or no instrument is for it.
int UpdateEveryInstrument(ConsoleOutput& out, UpdateRun& run, const std::wstring& package, bool keepGoing);

// knupdate station --package P: watches the list every second and updates every instrument in
// application mode that the package is for, once per plug-in; Ctrl+C ends it between updates
// with a summary. Returns 0 when no update failed, 1 otherwise.
int RunStation(ConsoleOutput& out, UpdateRun& run, const std::wstring& package);
