#include "tools/knupdate/ProductionLine.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <thread>
#include <vector>

#include "procedure/ProcedureTexts.h"

namespace {

constexpr int kSucceeded = 0, kFailed = 1;
constexpr DWORD kRefreshPeriodMs = 1000;  // the dialog's list refresh
// After its own update an instrument re-enumerates, or waits in its loader after a failure: its
// path is kept that long even while it is not listed, so it is not taken for a new one.
constexpr std::uint64_t kComeBackMs = 180000;

constexpr wchar_t kNoInstrument[] = L"No instrument for this package is listed.";
constexpr wchar_t kNotListedAnyMore[] = L"The instrument is no longer listed.";
constexpr wchar_t kNextInstrument[] = L"Plug in the next instrument (Ctrl+C or q ends the station).";

bool IsDfu(const ListedDevice& listed) { return listed.entry.kind == DeviceKind::kDfu; }

std::vector<ListedDevice> OfKind(const std::vector<ListedDevice>& entries, bool dfu) {
  std::vector<ListedDevice> kept;
  for (const ListedDevice& listed : entries) {
    if (IsDfu(listed) == dfu) kept.push_back(listed);
  }
  return kept;
}

const ListedDevice* WithPath(const std::vector<ListedDevice>& entries, const std::wstring& path) {
  for (const ListedDevice& listed : entries) {
    if (!IsDfu(listed) && listed.devicePath == path) return &listed;
  }
  return nullptr;
}

void PrintSummary(ConsoleOutput& out, const std::vector<RunResult>& results) {
  out.Line(L"Summary:");
  for (const RunResult& r : results) out.Line(r.entry + L"\t" + r.result + L"\t" + FormatSeconds(r.durationMs));
}

bool AllSucceeded(const std::vector<RunResult>& results) {
  return std::all_of(results.begin(), results.end(), [](const RunResult& r) { return r.succeeded; });
}

// "Device 2: TW 3xx" -> "2".
std::wstring NumberOf(const std::wstring& entry) {
  const std::size_t colon = entry.find(L':');
  return colon != std::wstring::npos && colon > 7 ? entry.substr(7, colon - 7) : std::wstring();
}

}  // namespace

int UpdateEveryInstrument(ConsoleOutput& out, UpdateRun& run, const std::wstring& package, bool keepGoing) {
  if (!run.CheckPackage(package)) return kFailed;
  const std::vector<ListedDevice> initial = run.Candidates();
  if (initial.empty()) {
    out.Error(kNoInstrument);
    return kFailed;
  }
  std::vector<RunResult> results;
  const auto goOn = [&] { return !run.StopRequested() && (keepGoing || AllSucceeded(results)); };

  // Those waiting in their loader first. A failed one stays there, ahead of the others in the
  // order of the DFU devices: the next is the one after the failed ones.
  const std::size_t waiting = OfKind(initial, true).size();
  std::size_t failedInLoader = 0;
  for (std::size_t k = 0; k < waiting && goOn(); ++k) {
    const std::vector<ListedDevice> inLoader = OfKind(run.Candidates(), true);
    if (inLoader.size() <= failedInLoader) break;  // gone meanwhile
    results.push_back(run.Update(inLoader[failedInLoader]));
    if (!results.back().succeeded) ++failedInLoader;
  }
  // Then every instrument in application mode, by the path it had when the run began.
  for (const ListedDevice& planned : OfKind(initial, false)) {
    if (!goOn()) break;
    const std::vector<ListedDevice> now = run.Candidates();
    const ListedDevice* listed = WithPath(now, planned.devicePath);
    if (listed == nullptr) {
      out.Line(planned.text + L": " + kNotListedAnyMore);
      results.push_back({planned.text, kNotListedAnyMore, 0, false});
      continue;
    }
    results.push_back(run.Update(*listed));
  }
  PrintSummary(out, results);
  return AllSucceeded(results) ? kSucceeded : kFailed;
}

namespace {

// The station's memory of the instruments it has updated, by device path.
class UpdatedInstruments {
 public:
  void Add(const std::wstring& path) { m_paths[path] = {false, GetTickCount64()}; }
  bool Contains(const std::wstring& path) const { return m_paths.count(path) != 0; }

  // An instrument is forgotten once it has left the list: once it is missing after it was seen
  // again since its update, or when it has not come back for kComeBackMs.
  void Forget(const std::vector<ListedDevice>& listed) {
    for (auto it = m_paths.begin(); it != m_paths.end();) {
      if (WithPath(listed, it->first) != nullptr) {
        it->second.seenSince = true;
        ++it;
      } else if (it->second.seenSince || GetTickCount64() - it->second.updatedAt > kComeBackMs) {
        it = m_paths.erase(it);
      } else {
        ++it;
      }
    }
  }

 private:
  struct Updated {
    bool seenSince;
    std::uint64_t updatedAt;
  };
  std::map<std::wstring, Updated> m_paths;
};

}  // namespace

int RunStation(ConsoleOutput& out, UpdateRun& run, const std::wstring& package) {
  if (!run.CheckPackage(package)) return kFailed;
  // Ctrl+C ends the station between updates; so does a line "q" on its input, for a line's
  // controller that runs it without a console. The reader is left to the process's end.
  ConsoleUpdateHost* host = &run.Host();
  std::thread([&out, host] {
    for (std::wstring line; out.ReadLine(line);) {
      if (line == L"q" || line == L"Q") host->OnConsoleEvent(CTRL_C_EVENT);
    }
  }).detach();
  out.Line(L"Station for " + run.DeviceType() + L": " + kNextInstrument);
  UpdatedInstruments updated;
  std::vector<RunResult> results;
  std::set<std::wstring> waitingShown;  // DFU entries already named, while they stay
  bool blockedShown = false;
  while (!run.StopRequested()) {
    const std::vector<ListedDevice> listed = run.Candidates();
    updated.Forget(listed);

    // One of the type waits in its loader: it is named with the command that updates it, and
    // nothing is switched until it has gone.
    const std::vector<ListedDevice> inLoader = OfKind(listed, true);
    std::set<std::wstring> stillWaiting;
    for (const ListedDevice& waiting : inLoader) {
      stillWaiting.insert(waiting.text);
      if (waitingShown.count(waiting.text) != 0) continue;
      out.Line(waiting.text + L" waits in its DFU loader: knupdate update --package \"" + package + L"\" --device " +
               NumberOf(waiting.text));
    }
    waitingShown = stillWaiting;
    if (!inLoader.empty()) {
      if (!blockedShown) out.Line(texts::kAnotherWaitingInDfu);
      blockedShown = true;
      Sleep(kRefreshPeriodMs);
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
      Sleep(kRefreshPeriodMs);
      continue;
    }
    out.Line(L"Updating " + next->text + L".");
    const std::wstring path = next->devicePath;
    results.push_back(run.Update(*next));
    updated.Add(path);
    out.Line(results.back().entry + L": " + results.back().result);
    if (!run.StopRequested()) out.Line(kNextInstrument);
  }

  std::size_t failed = 0;
  for (const RunResult& r : results) failed += r.succeeded ? 0 : 1;
  out.Line(L"Station ended: " + std::to_wstring(results.size() - failed) + L" updated, " + std::to_wstring(failed) +
           L" failed.");
  for (const RunResult& r : results) {
    if (!r.succeeded) out.Line(L"failed: " + r.entry + L": " + r.result);
  }
  return failed == 0 ? kSucceeded : kFailed;
}
