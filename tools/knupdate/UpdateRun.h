// Every console update, one or several from one package: the package is checked once (and a
// bootloader warning answered once), then each instrument is updated by the very procedure
// the dialog runs, with its own history record. The list is read again before each update,
// so every instrument is found where it now is. While the run lives, the console's events go
// to its control.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/DeviceList.h"
#include "procedure/UpdateSession.h"
#include "tools/knupdate/ConsoleEventRoute.h"
#include "tools/knupdate/ConsoleOutput.h"
#include "tools/knupdate/ConsoleUpdateHost.h"
#include "tools/knupdate/RunControl.h"
#include "tools/knupdate/RunRecords.h"

// How one update of the run ended.
struct RunResult {
  std::wstring entry;   // the list entry as it was updated
  std::wstring result;  // the text it ended with
  std::uint64_t durationMs = 0;
  bool succeeded = false;
  bool begun = true;  // false: the run was to end before it began; nothing was done or recorded
  bool gone = false;  // not listed any more when its update was to begin; nothing done or recorded
  std::wstring serial{};  // the serial number of the instrument switched; empty from a loader entry
  bool cameBack = false;  // updated from application mode, and listed there again since
};


// Why an instrument of a run's plan was not updated: gone from the list.
constexpr wchar_t kNotListedAnyMore[] = L"Not updated: the instrument is no longer listed.";

class UpdateRun {
 public:
  // devices: listed already, on this thread, with the DFU library loaded.
  UpdateRun(ConsoleOutput& out, DeviceList& devices, RunControl::Form form, bool confirmed);
  ~UpdateRun();
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  // The package check, once for the run; false when the package was refused or the update
  // stopped meanwhile (the reason printed).
  bool CheckPackage(const std::wstring& package);
  const std::wstring& DeviceType() const { return m_deviceType; }

  // The list read again now: the entries of instruments the package is for, in list order.
  std::vector<ListedDevice> Candidates();
  // Whether, as last listed, a device that may be of the package's type waits in its DFU
  // loader (its product text names the type, or cannot be read): none can be switched then.
  bool OneMayBeOfTheTypeInLoader() const;
  // Updates the instrument of this entry unless the run is to end. The workstation's update
  // mark is taken first, and the list read again under it: another program's update may have
  // moved the instrument meanwhile. After a success it waits, for a while, until the
  // instrument has left its DFU loader: until then it would be taken for another one waiting
  // there, and the mark is held until then. One switched from application mode is then waited
  // for there, for a while, and the serial number it came back with compared with the one
  // switched (the result says so when they differ).
  RunResult Update(const ListedDevice& planned);

  // Lets time pass on this thread while its windows go on answering (the hidden list box is a
  // top-level window); a failed send to the department's database is told meanwhile.
  void Idle(DWORD milliseconds);
  // Waits, answering messages, while another program on this workstation updates an
  // instrument, saying so once; waited tells whether it did. False when the run was stopped.
  // Only looks: the update takes the mark itself.
  bool WaitWhileAnotherProgramUpdates(bool* waited = nullptr);

  // Ctrl+C (or q) asked the run to end (between updates, or before a first write).
  bool StopRequested() const { return m_control.RunStopRequested(); }
  // Whether a record of the run's updates could not be added to the history.
  bool HistoryLost() const { return m_records.HistoryLost(); }

 private:
  // Of the entries as listed now, those the package is for.
  std::vector<ListedDevice> ForThePackage() const;
  // Takes the workstation's mark, waiting while another program holds it; false when stopped.
  bool TakeWorkstationMark();
  // After a success: waits, answering messages, for a while, until no more than settled
  // instruments of the package's type wait in their loader (the list read again each time).
  void WaitUntilLeftLoader(std::size_t settled);
  // After the success of one switched from application mode: waits until it is listed there
  // again, for a while, and compares its serial number.
  void WaitUntilBack(const std::wstring& path, RunResult& result);

  ConsoleOutput& m_out;
  DeviceList& m_devices;
  RunControl m_control;
  RunRecords m_records;
  UpdateSession m_session;
  ConsoleUpdateHost m_host;
  ConsoleEventRoute m_route;  // last: gone first, before what the events reach
  std::wstring m_deviceType;
};

// "2.500 s": a duration as the history gives it, in seconds.
std::wstring FormatSeconds(std::uint64_t milliseconds);
