// Benchmark of what the department's database costs the dialog: the bench build of the updater
// (started by scripts/benchmark-records.sh, with central-records.txt beside it naming a server
// that is away) updates the "TW 3xx" of the default bench; from another process this program
// answers the final message and times how long the dialog then takes to be ready again
// ("Download" enabled, its window answering; the procedure's own pause after a success
// included), and how long the dialog's thread is busy at most while the record's send waits
// for the server. Given the time of a run without central-records.txt, it prints what the
// department's database adds. The goal: under 0.1 s.
//
// usage: records_send_bench PACKAGE [BASELINE_SECONDS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim/operator/DialogDriver.h"

namespace dd = dialog_driver;

namespace {

constexpr int kDeviceList = 1000, kSelect = 1002, kFilePath = 1004, kStatus = 1009;
constexpr wchar_t kTarget[] = L"TW 3xx";
// How long the dialog is watched after the final message: longer than a login time-out.
constexpr ULONGLONG kWatchMs = 8000;

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// How long the window's thread takes to answer a message now, in seconds.
double AnswerTime(HWND window) {
  const double start = Seconds();
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
  return Seconds() - start;
}

bool StartTheUpdate(HWND dialog, DWORD pid, const std::wstring& package) {
  HWND list = GetDlgItem(dialog, kDeviceList);
  std::vector<std::wstring> entries;
  if (!dd::WaitUntil([&] { return !(entries = dd::ListEntries(list)).empty(); }, 10000)) return false;
  const auto target = std::find_if(entries.begin(), entries.end(),
                                   [](const std::wstring& entry) { return entry.find(kTarget) != std::wstring::npos; });
  if (target == entries.end()) return false;
  const int index = static_cast<int>(target - entries.begin());
  dd::ClickListEntry(list, index);
  dd::WaitUntil([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == index; });
  dd::Click(dialog, kSelect);
  HWND picker = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, dialog); });
  if (picker == nullptr || !dd::ChooseFileName(picker, package)) return false;
  if (!dd::WaitUntil([&] { return dd::Text(GetDlgItem(dialog, kFilePath)) == package; })) return false;
  dd::Click(dialog, IDOK);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: records_send_bench PACKAGE [BASELINE_SECONDS]\n");
    return 2;
  }
  HWND dialog = dd::WaitFor([] { return dd::FindDialog(0, L"Firmware updater"); }, 60000);
  DWORD pid = 0;
  if (dialog != nullptr) GetWindowThreadProcessId(dialog, &pid);
  if (dialog == nullptr || !StartTheUpdate(dialog, pid, argv[1])) {
    std::fprintf(stderr, "the update could not be started\n");
    return 1;
  }
  HWND box = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, dialog); }, 180000);
  if (box == nullptr) {
    std::fprintf(stderr, "no final message came\n");
    return 1;
  }
  const std::wstring outcome = dd::ReadMessageBox(box).text;
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  const double answered = Seconds();
  HWND download = GetDlgItem(dialog, IDOK);
  dd::WaitUntil([&] { return !IsWindow(box) && IsWindowEnabled(download) != FALSE; }, 10000, 1);
  AnswerTime(dialog);
  const double ready = Seconds() - answered;

  // Meanwhile the record's send waits for the server: the dialog must go on answering.
  double slowest = 0;
  const ULONGLONG end = GetTickCount64() + kWatchMs;
  while (GetTickCount64() < end) {
    slowest = std::max(slowest, AnswerTime(dialog));
    Sleep(20);
  }
  std::printf("final message: %ls\n", outcome.c_str());
  std::printf("from the final message answered to the dialog ready again: %.3f s\n", ready);
  const double added = argc == 3 ? ready - _wtof(argv[2]) : 0;
  if (argc == 3) std::printf("added by the department's database: %.3f s (goal < 0.100 s)\n", added);
  std::printf("slowest answer of the dialog in the %llu s after: %.3f s\n",
              static_cast<unsigned long long>(kWatchMs / 1000), slowest);
  HWND status = GetDlgItem(dialog, kStatus);
  std::printf("status box: %ls\n", dd::Text(status).c_str());
  dd::PressKey(dialog, VK_ESCAPE);
  dd::WaitUntil([&] { return !IsWindow(dialog); });
  return outcome == L"Updated successfully!" && added < 0.1 ? 0 : 1;
}
