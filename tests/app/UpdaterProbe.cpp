// Walks through the updater's start on a machine without the DFU driver, as a person would,
// from another process of the same Wine session: the "Attention" box, OK, the dialog with its
// controls, Enter without a package, the box that asks for one, Esc. Prints what it sees;
// exits with 0 when everything was as expected.
#include <windows.h>

#include <cstdio>
#include <string>

#include "sim/operator/DialogDriver.h"
#include "tests/app/ProbeReport.h"

namespace dd = dialog_driver;


int main() {
  ProbeReport report;
  HWND box = dd::WaitFor([] { return dd::FindDialog(0, L"Attention"); }, 60000);
  report.Check(box != nullptr, "an \"Attention\" box comes up");
  if (box == nullptr) return 1;
  dd::MessageBoxSeen seen = dd::ReadMessageBox(box);
  std::printf("     box \"%s\": %s\n", dd::Printable(seen.caption).c_str(), dd::Printable(seen.text).c_str());
  report.Check(seen.text == L"DFU driver is not found! Do you want to install it?", "it asks to install the DFU driver");
  report.Check(seen.buttons.size() == 2 && seen.buttons[0] == IDOK && seen.buttons[1] == IDCANCEL, "with OK and Cancel");
  report.Check(dd::Text(seen.owner) == L"Firmware updater", "owned by the (still hidden) dialog");
  PostMessageW(box, WM_COMMAND, IDOK, 0);

  HWND dialog = dd::WaitFor([] { return dd::FindDialog(0, L"Firmware updater"); });
  report.Check(dialog != nullptr, "the dialog \"Firmware updater\" opens");
  if (dialog == nullptr) return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    std::printf("     control %5d %-18s %-18s %s\n", static_cast<WORD>(GetDlgCtrlID(child)), dd::Printable(dd::ClassOf(child)).c_str(),
                ("\"" + dd::Printable(dd::Text(child)) + "\"").c_str(), IsWindowVisible(child) ? "shown" : "hidden");
  }
  report.Check(dd::Text(GetDlgItem(dialog, IDOK)) == L"Download" && dd::Text(GetDlgItem(dialog, 1002)) == L"Select" &&
            GetDlgItem(dialog, 1000) != nullptr && GetDlgItem(dialog, 1004) != nullptr &&
            !IsWindowVisible(GetDlgItem(dialog, 1008)) && !IsWindowVisible(GetDlgItem(dialog, 1009)),
        "with the list, the file box, Select and Download; status and progress hidden");

  dd::PressKey(dialog, VK_RETURN);
  box = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, dialog); });
  report.Check(box != nullptr, "Enter without a package brings up a box");
  if (box == nullptr) return 1;
  seen = dd::ReadMessageBox(box);
  std::printf("     box \"%s\": %s\n", dd::Printable(seen.caption).c_str(), dd::Printable(seen.text).c_str());
  report.Check(seen.text == L"Please open a update file at first!", "asking for an update file");
  report.Check(seen.caption == L"QM_TWBootloader", "with the application's title");
  report.Check(seen.owner == dialog, "owned by the dialog");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  report.Check(dd::WaitUntil([&] { return !IsWindow(box); }), "OK closes the box");

  dd::PressKey(dialog, VK_ESCAPE);
  report.Check(dd::WaitUntil([&] { return !IsWindow(dialog); }), "Esc closes the dialog");
  return report.ExitCode();
}
