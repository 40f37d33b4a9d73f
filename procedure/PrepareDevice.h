// "Download" after the package check: the selected device must be the package's, an
// application-mode instrument is switched into its DFU loader, and the DFU device is opened
// and its flash layout read. Runs on the dialog's thread and blocks it (up to about 60 s of
// status polls and 120 s of waiting for the loader), pausing through the host.
#pragma once

#include <cstdint>
#include <string>

#include "procedure/UpdateHost.h"
#include "procedure/UpdateSession.h"

// How the preparation ended.
struct Preparation {
  // The DFU device open (session.DfuDevice()), its flash layout read and the workstation's
  // update mark held: the worker may take over.
  bool ready = false;
  // Otherwise the text it ended with, for the update's record: the message shown, or the
  // status box's text where it ended on a status; empty for a package of a type no listed
  // device can be (nothing is shown then).
  std::wstring endedWith;
  // When that text was shown, by the session's clock: a message box stays until it is
  // dismissed, and the update ended when it appeared. 0: nothing was shown.
  std::uint64_t endedAtMs = 0;
};

// For the package of session.Package().
Preparation PrepareDevice(UpdateHost& host, UpdateSession& session);
