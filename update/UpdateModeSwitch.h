// The application-mode half of the preparation: open the selected instrument over the USBIO
// driver with DeviceLink's objects, configure it and bind its bulk pipes, identify it, wait
// for its status where the model asks for that, refuse while its logger records, and tell it
// to restart into its DFU loader. The link is closed again on every path.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include "update/UpdateHost.h"

// Models whose status is read, and whose logger must be stopped, before the switch.
bool IsStatusCheckedModel(std::uint32_t model);

// True once the instrument has been told to restart into its loader; otherwise the reason
// has been shown (message box or status text).
bool SwitchToUpdateMode(UpdateHost& host, int usbioNumber, HDEVINFO deviceList);
