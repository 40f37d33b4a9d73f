// knupdate update --all: every listed instrument the package is for, one after another, each
// with its record, and a summary that names every planned instrument as it was listed when
// the run began (the list is renumbered as the run goes on), with its serial number.
#include <algorithm>
#include <vector>

#include "tools/knupdate/CommandTable.h"
#include "tools/knupdate/ConsoleRun.h"
#include "tools/knupdate/ExitCodes.h"
#include "tools/knupdate/ListedDevices.h"

namespace {

using namespace exit_codes;

constexpr wchar_t kNoInstrument[] = L"No instrument for this package is listed.";
// Why an instrument of the run's plan was not updated.
constexpr wchar_t kNotUpdatedStopped[] = L"Not updated: the run was stopped.";
constexpr wchar_t kNotUpdatedAfterFailure[] = L"Not updated: the run ended at a failure.";
constexpr wchar_t kNotUpdatedCannotBeTold[] =
    L"Not updated: it cannot be told from another instrument of its type in the DFU loader.";
constexpr wchar_t kSummaryHeading[] = L"Summary (entries as listed when the run began):";

// The loader's own order, which stays while instruments leave it; the list's order is that of
// the entries' texts, where "Device 10" comes before "Device 9".
std::vector<ListedDevice> InLoaderOrder(std::vector<ListedDevice> inLoader) {
  std::stable_sort(inLoader.begin(), inLoader.end(),
                   [](const ListedDevice& a, const ListedDevice& b) { return a.entry.number < b.entry.number; });
  return inLoader;
}

// An instrument of the plan: its entry as listed when the run began, and its serial number then.
struct Planned {
  ListedDevice listed;
  std::wstring serial;
};

RunResult NotUpdated(const Planned& planned, const wchar_t* why) {
  return {NamedWithSerial(planned.listed.text, planned.serial), why, 0, false};
}

// The result of the planned instrument's update, named as the run planned it: the list is
// renumbered while the run goes on, and an entry's text then may have been another's before.
// The serial number is the one switched, when it was read. An update the run's end kept from
// beginning counts as one not updated.
RunResult AsPlanned(RunResult result, const Planned& planned) {
  if (!result.begun) return NotUpdated(planned, kNotUpdatedStopped);
  result.entry = NamedWithSerial(planned.listed.text, result.serial.empty() ? planned.serial : result.serial);
  return result;
}

void PrintSummary(ConsoleOutput& out, const std::vector<RunResult>& results) {
  out.Line(kSummaryHeading);
  for (const RunResult& r : results) out.Row({r.entry, r.result, FormatSeconds(r.durationMs)});
}

bool AllSucceeded(const std::vector<RunResult>& results) {
  return std::all_of(results.begin(), results.end(), [](const RunResult& r) { return r.succeeded; });
}

// Those waiting in their loader first, in the loader's own order; then every instrument in
// application mode, by the path it had when the run began.
std::vector<Planned> Plan(UpdateRun& run) {
  const std::vector<ListedDevice> initial = run.Candidates();
  std::vector<Planned> planned;
  for (const ListedDevice& listed : InLoaderOrder(OfKind(initial, true))) planned.push_back({listed, std::wstring()});
  for (const ListedDevice& listed : OfKind(initial, false)) planned.push_back({listed, ListedSerial(listed)});
  return planned;
}

}  // namespace

int RunAllCommand(const CommandArguments& arguments, ConsoleOutput& out) {
  ConsoleRun console(out);
  if (!console.List() || !console.Begin(arguments, RunControl::Form::kSeveralUpdates)) return kFailed;
  UpdateRun& run = console.Run();
  const bool keepGoing = arguments.Has(options::kKeepGoing);
  const std::vector<Planned> planned = Plan(run);
  if (planned.empty()) {
    out.Error(kNoInstrument);
    return kFailed;
  }
  std::vector<RunResult> results;
  // Instruments in their loader have no path: each time the first there is updated, which
  // holds only while every one updated before has left. After one that failed or stayed, the
  // others there cannot be told from it.
  bool loaderSettled = true;
  for (const Planned& planEntry : planned) {
    const ListedDevice& plan = planEntry.listed;
    if (run.StopRequested()) {
      results.push_back(NotUpdated(planEntry, kNotUpdatedStopped));
    } else if (!keepGoing && !AllSucceeded(results)) {
      results.push_back(NotUpdated(planEntry, kNotUpdatedAfterFailure));
    } else if (IsDfu(plan) && !loaderSettled) {
      results.push_back(NotUpdated(planEntry, kNotUpdatedCannotBeTold));
    } else if (IsDfu(plan)) {
      const std::vector<ListedDevice> inLoader = InLoaderOrder(OfKind(run.Candidates(), true));
      if (inLoader.empty()) {
        results.push_back(NotUpdated(planEntry, kNotListedAnyMore));
      } else {
        results.push_back(AsPlanned(run.Update(inLoader.front()), planEntry));
        loaderSettled = results.back().succeeded && OfKind(run.Candidates(), true).size() < inLoader.size();
      }
    } else {
      const std::vector<ListedDevice> now = run.Candidates();
      const ListedDevice* listed = WithPath(now, plan.devicePath);
      results.push_back(listed != nullptr ? AsPlanned(run.Update(*listed), planEntry) : NotUpdated(planEntry, kNotListedAnyMore));
    }
  }
  PrintSummary(out, results);
  if (!AllSucceeded(results)) return kFailed;
  return run.HistoryLost() ? kRecordLost : kSucceeded;
}
