// What passes from one stage of an update to the next, held by the host that runs it (the
// dialog, a console) as one member. The dialog's thread writes it during "Download" (the
// package check and the preparation) and hands it over; from then on only the worker thread
// touches it, until its last step: it reads the images and the flash layout, and closes and
// clears the DFU device and removes the package folder. Nothing else changes it meanwhile.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "dfu/DfuApi.h"
#include "history/HistoryRecord.h"
#include "package/PackageCheck.h"
#include "package/UpdateFolder.h"
#include "procedure/Clock.h"
#include "procedure/WorkstationUpdateMark.h"

struct UpdateSession {
  // Where this update's package is unpacked: made by "Download" on the dialog's thread,
  // removed by whichever thread ends the update (the dialog's before the hand-over, the
  // worker's after).
  UpdateFolder m_packageFolder;
  // A console that updates several instruments from one checked package keeps the folder
  // from one update to the next and removes it itself when it is done.
  bool m_keepPackageFolder = false;
  // The package check's result, whole. Dialog's thread.
  PreparedPackage m_package;
  // The device-list entry being updated, without its line feed. Dialog's thread.
  std::wstring m_entry;
  // The instrument's USB serial number, read by the preparation once the application-mode
  // instrument is open for the switch; empty for a loader entry or one that names none.
  std::wstring m_serial;
  // Open from the end of the preparation until the worker ends: the dialog's thread opens it,
  // the worker's closes it and sets it back to 0.
  DfuHandle m_hDfuDevice = 0;
  DfuFlashParams m_dfuParams = {};  // read by the preparation, used by the worker
  // When "Download" began, by m_clock.
  std::wstring m_startedUtc;
  std::uint64_t m_startedMs = 0;
  // Held from before the instrument is switched (or its loader entry opened) until the update
  // has ended: taken by the preparation (or a console before it), let go by whichever thread
  // ends the update.
  WorkstationUpdateMark m_updateMark;
  // A console run lets go of the mark itself, once the updated instrument has left its loader.
  bool m_keepUpdateMark = false;
  // Tests give a clock of their own.
  const Clock* m_clock = &SystemClock();
};

// The package folder goes at the end of an update, unless it is kept for the next one.
void ReleasePackageFolder(UpdateSession& session);
// So does the workstation's update mark, unless a console run keeps it a little longer.
void ReleaseUpdateMark(UpdateSession& session);

// The record of this update as it ended, now, with this text.
HistoryRecord FinishedRecord(const UpdateSession& session, const std::wstring& result);
// The same, ended at endedMs (by the session's clock).
HistoryRecord FinishedRecord(const UpdateSession& session, const std::wstring& result, std::uint64_t endedMs);
