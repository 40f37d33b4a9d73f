#include "tools/knupdate/ProductionLine.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#include "procedure/ProcedureTexts.h"
#include "tools/knupdate/ExitCodes.h"
#include "tools/knupdate/ListedDevices.h"
#include "tools/knupdate/UpdatedInstruments.h"

namespace {

using namespace exit_codes;
constexpr DWORD kRefreshPeriodMs = 1000;  // the dialog's list refresh
// How long an updated instrument may take to come back in application mode, which the station
// waits for before it asks for the next one.
constexpr ULONGLONG kComeBackMs = 30000;

constexpr wchar_t kNoInstrument[] = L"No instrument for this package is listed.";
// Why an instrument of the run's plan was not updated.
constexpr wchar_t kNotUpdatedStopped[] = L"Not updated: the run was stopped.";
constexpr wchar_t kNotUpdatedAfterFailure[] = L"Not updated: the run ended at a failure.";
constexpr wchar_t kNotUpdatedCannotBeTold[] =
    L"Not updated: it cannot be told from another instrument of its type in the DFU loader.";
constexpr wchar_t kSummaryHeading[] = L"Summary (entries as listed when the run began):";
constexpr wchar_t kNextInstrument[] = L"Plug in the next instrument (Ctrl+C or q ends the station).";

// The loader's own order, which stays while instruments leave it; the list's order is that of
// the entries' texts, where "Device 10" comes before "Device 9".
std::vector<ListedDevice> InLoaderOrder(std::vector<ListedDevice> inLoader) {
  std::stable_sort(inLoader.begin(), inLoader.end(),
                   [](const ListedDevice& a, const ListedDevice& b) { return a.entry.number < b.entry.number; });
  return inLoader;
}

// Waits until the instrument of this path is listed again, for a while; false when it was not.
bool ComesBack(UpdateRun& run, const std::wstring& path) {
  const ULONGLONG end = GetTickCount64() + kComeBackMs;
  for (;;) {
    if (WithPath(run.Candidates(), path) != nullptr) return true;
    if (GetTickCount64() >= end || run.StopRequested()) return false;
    run.Idle(kRefreshPeriodMs / 4);
  }
}

RunResult NotUpdated(const ListedDevice& planned, const wchar_t* why) { return {planned.text, why, 0, false}; }

// The result of the planned instrument's update, named as the run planned it: the list is
// renumbered while the run goes on, and an entry's text then may have been another's before.
// An update the run's end kept from beginning counts as one not updated.
RunResult AsPlanned(RunResult result, const ListedDevice& planned) {
  if (!result.begun) return NotUpdated(planned, kNotUpdatedStopped);
  result.entry = planned.text;
  return result;
}

void PrintSummary(ConsoleOutput& out, const std::vector<RunResult>& results) {
  out.Line(kSummaryHeading);
  for (const RunResult& r : results) out.Row({r.entry, r.result, FormatSeconds(r.durationMs)});
}

bool AllSucceeded(const std::vector<RunResult>& results) {
  return std::all_of(results.begin(), results.end(), [](const RunResult& r) { return r.succeeded; });
}

}  // namespace

int UpdateEveryInstrument(ConsoleOutput& out, UpdateRun& run, const std::wstring& package, bool keepGoing) {
  if (!run.CheckPackage(package)) return kFailed;
  // Those waiting in their loader first, in the loader's own order; then every instrument in
  // application mode, by the path it had when the run began.
  const std::vector<ListedDevice> initial = run.Candidates();
  std::vector<ListedDevice> planned = InLoaderOrder(OfKind(initial, true));
  for (const ListedDevice& listed : OfKind(initial, false)) planned.push_back(listed);
  if (planned.empty()) {
    out.Error(kNoInstrument);
    return kFailed;
  }
  std::vector<RunResult> results;
  // Instruments in their loader have no path: each time the first there is updated, which
  // holds only while every one updated before has left. After one that failed or stayed, the
  // others there cannot be told from it.
  bool loaderSettled = true;
  for (const ListedDevice& plan : planned) {
    if (run.StopRequested()) {
      results.push_back(NotUpdated(plan, kNotUpdatedStopped));
    } else if (!keepGoing && !AllSucceeded(results)) {
      results.push_back(NotUpdated(plan, kNotUpdatedAfterFailure));
    } else if (IsDfu(plan) && !loaderSettled) {
      results.push_back(NotUpdated(plan, kNotUpdatedCannotBeTold));
    } else if (IsDfu(plan)) {
      const std::vector<ListedDevice> inLoader = InLoaderOrder(OfKind(run.Candidates(), true));
      if (inLoader.empty()) {
        results.push_back(NotUpdated(plan, kNotListedAnyMore));
      } else {
        results.push_back(AsPlanned(run.Update(inLoader.front()), plan));
        loaderSettled = results.back().succeeded && OfKind(run.Candidates(), true).size() < inLoader.size();
      }
    } else {
      const std::vector<ListedDevice> now = run.Candidates();
      const ListedDevice* listed = WithPath(now, plan.devicePath);
      results.push_back(listed != nullptr ? AsPlanned(run.Update(*listed), plan) : NotUpdated(plan, kNotListedAnyMore));
    }
  }
  PrintSummary(out, results);
  if (!AllSucceeded(results)) return kFailed;
  return run.Host().HistoryLost() ? kRecordLost : kSucceeded;
}

int RunStation(ConsoleOutput& out, UpdateRun& run, const std::wstring& package) {
  if (!run.CheckPackage(package)) return kFailed;
  // Ctrl+C ends the station between updates; so does a line "q" on its input, for a line's
  // controller that runs it without a console. The reader is left to the process's end.
  ConsoleUpdateHost* host = &run.Host();
  std::thread([&out, host] {
    for (std::wstring line; out.ReadLineThroughInterrupts(line);) {
      if (line == L"q" || line == L"Q") host->EndRunOnRequest();
    }
  }).detach();
  out.Line(L"Station for " + run.DeviceType() + L": " + kNextInstrument);
  UpdatedInstruments updated;
  std::vector<RunResult> results;
  std::set<std::wstring> waitingShown;  // DFU entries already named, while they stay
  bool blockedShown = false;
  std::size_t inLoaderBefore = 0;
  for (bool otherProgramWaitedFor = false; run.WaitWhileAnotherProgramUpdates(&otherProgramWaitedFor);) {
    const std::vector<ListedDevice> listed = run.Candidates();
    const std::vector<ListedDevice> inLoader = OfKind(listed, true);
    // One left the loader while another program updated: most likely by the command named.
    updated.Forget(listed, otherProgramWaitedFor && inLoader.size() < inLoaderBefore, GetTickCount64());
    inLoaderBefore = inLoader.size();

    // One of the type waits in its loader: it is named with the command that updates it, and
    // nothing is switched until it has gone. So does one whose product text cannot be read,
    // which may be of the type (no command can update it).
    std::set<std::wstring> stillWaiting;
    for (const ListedDevice& waiting : inLoader) {
      stillWaiting.insert(waiting.text);
      if (waitingShown.count(waiting.text) != 0) continue;
      out.Line(waiting.text + L" waits in its DFU loader: knupdate update --package \"" + package + L"\" --device " +
               std::to_wstring(waiting.listedNumber));
    }
    waitingShown = stillWaiting;
    if (run.OneMayBeOfTheTypeInLoader()) {
      if (!blockedShown) out.Line(texts::kAnotherWaitingInDfu);
      blockedShown = true;
      run.Idle(kRefreshPeriodMs);
      continue;
    }
    blockedShown = false;

    const ListedDevice* next = nullptr;
    for (const ListedDevice& candidate : listed) {
      if (!updated.Contains(candidate.devicePath)) {
        next = &candidate;
        break;
      }
    }
    if (next == nullptr) {
      run.Idle(kRefreshPeriodMs);
      continue;
    }
    out.Line(L"Updating " + next->text + L".");
    const std::wstring path = next->devicePath;
    const RunResult result = run.Update(*next);
    if (!result.begun) break;
    out.Line(result.entry + L": " + result.result);
    if (result.gone) continue;  // nothing was tried
    results.push_back(result);
    if (result.succeeded) {
      // Back before the next is asked for: unplugged at the prompt, it leaves the list at once,
      // and the one plugged into its port is new.
      updated.AddUpdated(path, ComesBack(run, path), GetTickCount64());
    } else {
      updated.AddFailed(path, run.Candidates(), GetTickCount64());
    }
    if (run.Host().HistoryLost()) break;  // a line must not go on without its records
    if (!run.StopRequested()) out.Line(kNextInstrument);
  }

  std::size_t failed = 0;
  for (const RunResult& r : results) failed += r.succeeded ? 0 : 1;
  out.Line(L"Station ended: " + std::to_wstring(results.size() - failed) + L" updated, " + std::to_wstring(failed) +
           L" failed.");
  for (const RunResult& r : results) {
    if (!r.succeeded) out.Line(L"failed: " + r.entry + L": " + r.result);
  }
  if (failed != 0) return kFailed;
  return run.Host().HistoryLost() ? kRecordLost : kSucceeded;
}
