// Driver installation at start-up: Microsoft's Driver Package Installer (DPInst) is started
// for the CDC driver package and then for the DFU driver package, each waited for.
#pragma once

#include <windows.h>

// The installer that fits the system: the 64-bit one when the system has a WOW64 directory
// (the function exists and either answers or fails for a reason other than "not
// implemented"), otherwise the 32-bit one.
const wchar_t* ChooseDriverInstaller(bool hasWow64Function, UINT wow64Result, DWORD wow64Error);

// Runs the chosen installer from the folder "qmdriver" beside the program, in that folder, for
// ".\KNCDCDriver\" and then ".\DFU_Driver\". A start that fails is skipped silently.
void InstallDrivers();
