// Several updates from one package, as a service lab or a production line runs them: the
// package is checked once (and a bootloader warning answered once), then every instrument is
// updated by the very procedure the dialog runs, each with its own history record. The list is
// rebuilt before each update, so every instrument is found where it now is.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/DeviceList.h"
#include "procedure/WorkstationUpdateMark.h"
#include "tools/knupdate/ConsoleOutput.h"
#include "tools/knupdate/ConsoleUpdateHost.h"

// How one update of the run ended.
struct RunResult {
  std::wstring entry;   // the list entry as it was updated
  std::wstring result;  // the text it ended with
  std::uint64_t durationMs = 0;
  bool succeeded = false;
  bool begun = true;  // false: the run was to end before it began; nothing was done or recorded
  bool gone = false;  // not listed any more when its update was to begin; nothing done or recorded
};

// Why an instrument of a run's plan was not updated: gone from the list.
constexpr wchar_t kNotListedAnyMore[] = L"Not updated: the instrument is no longer listed.";

// The entry that names the planned instrument in entries listed since: an application-mode one
// by its device path, one in its loader by its DFU index and product text; null when none.
const ListedDevice* FindAgain(const std::vector<ListedDevice>& entries, const ListedDevice& planned);

// The instruments of deviceType waiting in their DFU loader, as the list shows them now.
std::size_t WaitingInLoader(const DeviceList& devices, const std::wstring& deviceType);
// After a successful update: waits, answering messages, for a while, until no more than
// settled instruments of deviceType wait in their loader (the list rebuilt each time): until
// then the updated one could be taken for another waiting there. Gives up when stopped says so.
void WaitUntilLeftLoader(DeviceList& devices, const std::wstring& deviceType, std::size_t settled,
                         const std::function<bool()>& stopped);

// Waits, answering messages, until mark holds the workstation's update mark, saying once that
// another program is updating; waited tells whether it had to. False (nothing held) when the
// update or the run was stopped meanwhile.
bool WaitForWorkstationMark(ConsoleOutput& out, ConsoleUpdateHost& host, WorkstationUpdateMark& mark,
                            bool* waited = nullptr);

class UpdateRun {
 public:
  // devices: listed already (the DFU library loaded). The host stays alive until the process
  // ends: the Ctrl+C handler may still look at it.
  UpdateRun(ConsoleOutput& out, DeviceList& devices, bool confirmed);
  ~UpdateRun();
  UpdateRun(const UpdateRun&) = delete;
  UpdateRun& operator=(const UpdateRun&) = delete;

  ConsoleUpdateHost& Host() { return *m_host; }

  // The package check, once for the run; false when the package was refused or the update
  // stopped meanwhile (the reason printed).
  bool CheckPackage(const std::wstring& package);
  const std::wstring& DeviceType() const { return m_deviceType; }

  // The list rebuilt now: the entries of instruments the package is for, in list order.
  std::vector<ListedDevice> Candidates();
  // Whether, as last listed, a device that may be of the package's type waits in its DFU
  // loader (its product text names the type, or cannot be read): none can be switched then.
  bool OneMayBeOfTheTypeInLoader() const;
  // Updates the instrument of this entry, which Candidates gave, unless the run is to end. The
  // workstation's update mark is taken first, and the list read again under it: another
  // program's update may have moved the instrument meanwhile. After a success it waits, for a
  // while, until the instrument has left its DFU loader: until then it would be taken for
  // another one waiting there.
  RunResult Update(const ListedDevice& planned);

  // Lets time pass on this thread while its windows go on answering (the hidden list box is a
  // top-level window).
  void Idle(DWORD milliseconds);

  // Waits, answering messages, while another program on this workstation updates an
  // instrument, saying so once; waited tells whether it did. False when the run was stopped.
  // Only looks: the update takes the mark itself.
  bool WaitWhileAnotherProgramUpdates(bool* waited = nullptr);

  // Ctrl+C asked the run to end (between updates, or before a first write).
  bool StopRequested() const { return m_host->RunStopRequested(); }

 private:
  // Of the entries as listed now, those the package is for.
  std::vector<ListedDevice> ForThePackage() const;

  ConsoleOutput& m_out;
  DeviceList& m_devices;
  ConsoleUpdateHost* m_host;  // never deleted, see above
  std::wstring m_deviceType;
};

// "2.500 s": a duration as the history gives it, in seconds.
std::wstring FormatSeconds(std::uint64_t milliseconds);
