// Walks through the bench build on the default bench as a person would, from another process
// of the same Wine session: the dialog lists the bench's three instruments with the first
// selected, a click on another entry stays selected across the one-second refreshes, Esc
// closes. Prints what it sees; exits with 0 when everything was as expected.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/operator/DialogDriver.h"
#include "tests/app/ProbeReport.h"

namespace dd = dialog_driver;


int main() {
  ProbeReport report;
  HWND dialog = dd::WaitFor([] { return dd::FindDialog(0, L"Firmware updater"); }, 60000);
  report.Check(dialog != nullptr, "the dialog \"Firmware updater\" opens");
  if (dialog == nullptr) return 1;
  HWND list = GetDlgItem(dialog, 1000);

  std::vector<std::wstring> entries;
  dd::WaitUntil([&] { return (entries = dd::ListEntries(list)).size() == 3; });
  for (const std::wstring& entry : entries) std::printf("     entry \"%s\"\n", dd::Printable(entry).c_str());
  report.Check(entries.size() == 3 && entries[0] == L"Device 0: TW 3xx\n" && entries[1] == L"Device 1: QM 5xx\n" &&
            entries[2] == L"Device 2: VX 5xx\n",
        "the default bench's instruments are listed as Device 0, 1 and 2");
  report.Check(SendMessageW(list, LB_GETCURSEL, 0, 0) == 0, "the first is selected");

  dd::ClickListEntry(list, 2);
  report.Check(dd::WaitUntil([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == 2; }), "a click selects Device 2");
  Sleep(2500);  // two refreshes of the list
  report.Check(SendMessageW(list, LB_GETCURSEL, 0, 0) == 2 && dd::ListEntries(list).size() == 3,
        "the selection stays across the refreshes");

  dd::PressKey(dialog, VK_ESCAPE);
  report.Check(dd::WaitUntil([&] { return !IsWindow(dialog); }), "Esc closes the dialog");
  return report.ExitCode();
}
