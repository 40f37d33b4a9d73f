// The firmware download: the worker thread that writes the images into the open DFU device,
// each write verified by the library, reports the outcome and gives the dialog back.
//
//   bootloader (when the package has one) at 0; erase of the last sector T - S; data image
//   (EEPROM); media image (NAND); program image minus its last sector at A; its last sector
//   at T - S. Any failure ends the sequence at once.
#pragma once

#include <windows.h>

#include "procedure/UpdateHost.h"
#include "procedure/UpdateSession.h"

// The hand-over at the end of the preparation, on the dialog's thread: the update is marked
// running and the inputs and the list refresh stopped before the worker starts; a worker
// that cannot be started ends the update like a failed one.
void HandOver(UpdateHost& host, UpdateSession& session);

// The worker's whole run; 0 after a successful update, 1 after a failure. Ends with the DFU
// device closed, the inputs enabled, the list refresh running and the update no longer
// marked running.
DWORD UpdateWorker(UpdateHost& host, UpdateSession& session);
