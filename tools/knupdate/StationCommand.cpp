// knupdate station: a production line's station. It watches the list every second and
// updates each instrument of the package's type once per plug-in, remembering it by its device
// path until it leaves the list (UpdatedInstruments), until Ctrl+C or a typed q.
#include <windows.h>

#include <set>
#include <thread>
#include <vector>

#include "procedure/ProcedureTexts.h"
#include "tools/knupdate/CommandTable.h"
#include "tools/knupdate/ConsoleEventRoute.h"
#include "tools/knupdate/ConsoleRun.h"
#include "tools/knupdate/ExitCodes.h"
#include "tools/knupdate/ListedDevices.h"
#include "tools/knupdate/UpdatedInstruments.h"

namespace {

using namespace exit_codes;

constexpr DWORD kRefreshPeriodMs = 1000;  // the dialog's list refresh
constexpr wchar_t kNextInstrument[] = L"Plug in the next instrument (Ctrl+C or q ends the station).";

// Ctrl+C ends the station between updates; so does a line "q" on its input, for a line's
// controller that runs it without a console. The reader reads until the process ends.
void ReadEndRequests(ConsoleOutput& out) {
  std::thread([&out] {
    for (std::wstring line; out.ReadLineThroughInterrupts(line);) {
      if (line == L"q" || line == L"Q") ConsoleEventRoute::EndRunOnRequest();
    }
  }).detach();
}

// The station's loop over the list until it is to end; the results of the updates it tried.
class Station {
 public:
  Station(ConsoleOutput& out, UpdateRun& run, const std::wstring& package) : m_out(out), m_run(run), m_package(package) {}

  std::vector<RunResult> Run() {
    for (bool otherProgramWaitedFor = false; m_run.WaitWhileAnotherProgramUpdates(&otherProgramWaitedFor);) {
      const std::vector<ListedDevice> listed = m_run.Candidates();
      const std::vector<ListedDevice> inLoader = OfKind(listed, true);
      // One left the loader while another program updated: most likely by the command named.
      m_updated.Forget(listed, otherProgramWaitedFor && inLoader.size() < m_inLoaderBefore, GetTickCount64());
      m_inLoaderBefore = inLoader.size();
      NameThoseWaitingInTheLoader(inLoader);
      if (BlockedByTheLoader()) {
        m_run.Idle(kRefreshPeriodMs);
        continue;
      }
      const ListedDevice* next = NextToUpdate(listed);
      if (next == nullptr) {
        m_run.Idle(kRefreshPeriodMs);
        continue;
      }
      if (!UpdateOne(*next)) break;
    }
    return m_results;
  }

 private:
  // One of the type waits in its loader: it is named with the command that updates it, once
  // while it stays.
  void NameThoseWaitingInTheLoader(const std::vector<ListedDevice>& inLoader) {
    std::set<std::wstring> stillWaiting;
    for (const ListedDevice& waiting : inLoader) {
      stillWaiting.insert(waiting.text);
      if (m_waitingShown.count(waiting.text) != 0) continue;
      m_out.Line(waiting.text + L" waits in its DFU loader: knupdate update --package \"" + m_package +
                 L"\" --device " + std::to_wstring(waiting.listedNumber));
    }
    m_waitingShown = stillWaiting;
  }

  // Nothing is switched while one that may be of the type waits in its loader: one of the type,
  // or one whose product text cannot be read (no command can update that one).
  bool BlockedByTheLoader() {
    if (!m_run.OneMayBeOfTheTypeInLoader()) {
      m_blockedShown = false;
      return false;
    }
    if (!m_blockedShown) m_out.Line(texts::kAnotherWaitingInDfu);
    m_blockedShown = true;
    return true;
  }

  const ListedDevice* NextToUpdate(const std::vector<ListedDevice>& listed) const {
    for (const ListedDevice& candidate : listed) {
      if (!m_updated.Contains(candidate.devicePath)) return &candidate;
    }
    return nullptr;
  }

  // False when the station is to end.
  bool UpdateOne(const ListedDevice& next) {
    const std::wstring serial = ListedSerial(next);
    m_out.Line(L"Updating " + NamedWithSerial(next.text, serial) + L".");
    const std::wstring path = next.devicePath;
    RunResult result = m_run.Update(next);
    if (!result.begun) return false;
    result.entry = NamedWithSerial(result.entry, result.serial.empty() ? serial : result.serial);
    m_out.Line(result.entry + L": " + result.result);
    if (result.gone) return true;  // nothing was tried
    m_results.push_back(result);
    if (result.succeeded) {
      // Back (the run waited for it) before the next is asked for: unplugged at the prompt, it
      // leaves the list at once, and the one plugged into its port is new.
      m_updated.AddUpdated(path, result.cameBack, GetTickCount64());
    } else {
      m_updated.AddFailed(path, m_run.Candidates(), GetTickCount64());
    }
    if (m_run.HistoryLost()) return false;  // a line must not go on without its records
    if (!m_run.StopRequested()) m_out.Line(kNextInstrument);
    return true;
  }

  ConsoleOutput& m_out;
  UpdateRun& m_run;
  const std::wstring& m_package;
  UpdatedInstruments m_updated;
  std::vector<RunResult> m_results;
  std::set<std::wstring> m_waitingShown;  // DFU entries already named, while they stay
  bool m_blockedShown = false;
  std::size_t m_inLoaderBefore = 0;
};

}  // namespace

int RunStationCommand(const CommandArguments& arguments, ConsoleOutput& out) {
  ConsoleRun console(out);
  if (!console.List() || !console.Begin(arguments, RunControl::Form::kSeveralUpdates)) return kFailed;
  UpdateRun& run = console.Run();
  ReadEndRequests(out);
  out.Line(L"Station for " + run.DeviceType() + L": " + kNextInstrument);
  const std::vector<RunResult> results = Station(out, run, console.Package()).Run();

  std::size_t failed = 0;
  for (const RunResult& r : results) failed += r.succeeded ? 0 : 1;
  out.Line(L"Station ended: " + std::to_wstring(results.size() - failed) + L" updated, " + std::to_wstring(failed) +
           L" failed.");
  for (const RunResult& r : results) {
    if (!r.succeeded) out.Line(L"failed: " + r.entry + L": " + r.result);
  }
  if (failed != 0) return kFailed;
  return run.HistoryLost() ? kRecordLost : kSucceeded;
}
