// The device list as a console builds it: in a hidden list box of this thread, with the DFU
// library loaded and what the dialog would say of it printed. Whatever the library's answer,
// the list is built: a console lists what it can, where the dialog would wait for a driver.
#pragma once

#include "ui/DeviceList.h"
#include "tools/knupdate/ConsoleOutput.h"

// LoadDfuLibrary's answer; devices listed.
int ListInstruments(ConsoleOutput& out, DeviceList& devices);
