// What passes from one stage of an update to the next, held by the host that runs it (the
// dialog, a console) as one member. The dialog's thread changes it during "Download" (the
// package check and the preparation) and hands it over; from then on only the worker thread
// touches it, until its last step: it reads the images and the flash layout, and closes the
// DFU device and removes the package folder. Nothing else changes it meanwhile.
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

class UpdateSession {
 public:
  // Tests give a clock of their own.
  explicit UpdateSession(const Clock& clock = SystemClock()) : m_clock(&clock) {}
  UpdateSession(const UpdateSession&) = delete;
  UpdateSession& operator=(const UpdateSession&) = delete;

  const Clock& SessionClock() const { return *m_clock; }

  // "Download" begins: now, for the record; no entry yet.
  void Begin();

  // Where this update's package is unpacked: made by "Download" on the dialog's thread,
  // removed by whichever thread ends the update (the dialog's before the hand-over, the
  // worker's after).
  bool CreatePackageFolder(const std::wstring& tempDirectory) { return m_packageFolder.Create(tempDirectory); }
  const std::wstring& PackageFolder() const { return m_packageFolder.Path(); }
  void RemovePackageFolder() { m_packageFolder.Remove(); }
  // A console that updates several instruments from one checked package keeps the folder from
  // one update to the next (kept), and removes it itself when it is done.
  void KeepPackageFolder(bool kept) { m_keepPackageFolder = kept; }
  // At an update's end: the folder goes, unless it is kept for the next one.
  void ReleasePackageFolder();

  // The package check's result, whole.
  void SetPackage(PreparedPackage package) { m_package = std::move(package); }
  const PreparedPackage& Package() const { return m_package; }

  // The device-list entry being updated, without its line feed.
  void SetEntry(std::wstring entry) { m_entry = std::move(entry); }
  const std::wstring& Entry() const { return m_entry; }

  // The instrument's USB serial number, read by the preparation once the application-mode
  // instrument is open for the switch; empty for a loader entry or one that names none.
  void SetSerial(std::wstring serial) { m_serial = std::move(serial); }
  const std::wstring& Serial() const { return m_serial; }

  // Open from the end of the preparation until the worker ends: the dialog's thread opens it,
  // the worker's closes it.
  void SetDfuDevice(DfuHandle device) { m_hDfuDevice = device; }
  DfuHandle DfuDevice() const { return m_hDfuDevice; }
  // Closes the open DFU device, if any; restart: the loader starts the new firmware.
  void CloseDfuDevice(bool restart);
  // Read by the preparation, used by the worker.
  void SetFlashParams(const DfuFlashParams& params) { m_dfuParams = params; }
  const DfuFlashParams& FlashParams() const { return m_dfuParams; }

  // The workstation's update mark, held from before the instrument is switched (or its loader
  // entry opened) until the update has ended: taken by the preparation (or a console before
  // it), let go by whichever thread ends the update.
  bool TakeUpdateMark() { return m_updateMark.TryTake(); }
  // A console run lets go of the mark itself (LetGoOfUpdateMark), once the updated instrument
  // has left its loader.
  void KeepUpdateMark(bool kept) { m_keepUpdateMark = kept; }
  // At an update's end: the mark goes, unless it is kept a little longer.
  void ReleaseUpdateMark();
  void LetGoOfUpdateMark() { m_updateMark.Release(); }
  bool UpdateMarkHeld() const { return m_updateMark.Held(); }

  // The record of this update as it ended, now, with this text.
  HistoryRecord FinishedRecord(const std::wstring& result) const;
  // The same, ended at endedMs (by the session's clock).
  HistoryRecord FinishedRecord(const std::wstring& result, std::uint64_t endedMs) const;

 private:
  const Clock* m_clock;
  UpdateFolder m_packageFolder;
  bool m_keepPackageFolder = false;
  PreparedPackage m_package;
  std::wstring m_entry;
  std::wstring m_serial;
  DfuHandle m_hDfuDevice = 0;
  DfuFlashParams m_dfuParams = {};
  std::wstring m_startedUtc;  // when "Download" began, by m_clock
  std::uint64_t m_startedMs = 0;
  WorkstationUpdateMark m_updateMark;
  bool m_keepUpdateMark = false;
};
