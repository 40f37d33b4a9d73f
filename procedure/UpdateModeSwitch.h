// The application-mode half of the preparation: open the selected instrument over the USBIO
// driver with DeviceLink's objects, configure it and bind its bulk pipes, identify it, wait
// for its status where the model asks for that, refuse while its logger records, and tell it
// to restart into its DFU loader. The link is closed again on every path.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <string>

#include "procedure/UpdateHost.h"

// Models whose status is read, and whose logger must be stopped, before the switch.
bool IsStatusCheckedModel(std::uint32_t model);

enum class SwitchResult {
  kSwitched,  // told to restart into its loader
  kFailed,    // see SwitchOutcome::reason
  kStopped,   // a stop was asked for while the status was polled; nothing shown yet
};

struct SwitchOutcome {
  SwitchResult result = SwitchResult::kSwitched;
  // kFailed: the text the switch ended with. A status text is in the status box already; a
  // message is the caller's to show, once the link has been closed.
  const wchar_t* reason = nullptr;
  bool reasonIsMessage = false;
};

// serial: the instrument's USB serial number, read once it is open (empty when it names none,
// cannot be read, or the instrument cannot be opened).
SwitchOutcome SwitchToUpdateMode(UpdateHost& host, int usbioNumber, HDEVINFO deviceList, std::wstring& serial);
