// "Download" after the package check: the selected device must be the package's, an
// application-mode instrument is switched into its DFU loader, and the DFU device is opened
// and its flash layout read. Runs on the dialog's thread and blocks it (up to about 60 s of
// status polls and 120 s of waiting for the loader), pausing through the host.
#pragma once

#include "procedure/UpdateHost.h"
#include "procedure/UpdateSession.h"

// For the package of session.m_package. True with session.m_hDfuDevice open,
// session.m_dfuParams read and the workstation's update mark held; otherwise the reason has been shown (or, for a package of a type no
// listed device can be, nothing at all).
bool PrepareDevice(UpdateHost& host, UpdateSession& session);
