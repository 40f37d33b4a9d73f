// Walks through the bench build on the default bench as a person would, from another process
// of the same Wine session: the dialog lists the bench's three instruments with the first
// selected, a click on another entry stays selected across the one-second refreshes, Esc
// closes. Prints what it sees; exits with 0 when everything was as expected.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/operator/DialogDriver.h"

namespace dd = dialog_driver;

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++g_failures;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c == L'\n' ? std::string("\\n") : std::string(1, c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::vector<std::wstring> Entries(HWND list) {
  std::vector<std::wstring> entries;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    entries.push_back(text);
  }
  return entries;
}

// A left click in the middle of entry `index`, as the mouse delivers it.
void ClickEntry(HWND list, int index) {
  RECT item = {};
  SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(list, WM_LBUTTONUP, 0, at);
}

}  // namespace

int main() {
  HWND dialog = dd::WaitFor([] { return dd::FindDialog(0, L"Firmware updater"); }, 60000);
  Check(dialog != nullptr, "the dialog \"Firmware updater\" opens");
  if (dialog == nullptr) return 1;
  HWND list = GetDlgItem(dialog, 1000);

  std::vector<std::wstring> entries;
  dd::WaitUntil([&] { return (entries = Entries(list)).size() == 3; });
  for (const std::wstring& entry : entries) std::printf("     entry \"%s\"\n", Narrow(entry).c_str());
  Check(entries.size() == 3 && entries[0] == L"Device 0: TW 3xx\n" && entries[1] == L"Device 1: QM 5xx\n" &&
            entries[2] == L"Device 2: VX 5xx\n",
        "the default bench's instruments are listed as Device 0, 1 and 2");
  Check(SendMessageW(list, LB_GETCURSEL, 0, 0) == 0, "the first is selected");

  ClickEntry(list, 2);
  Check(dd::WaitUntil([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == 2; }), "a click selects Device 2");
  Sleep(2500);  // two refreshes of the list
  Check(SendMessageW(list, LB_GETCURSEL, 0, 0) == 2 && Entries(list).size() == 3,
        "the selection stays across the refreshes");

  dd::PressKey(dialog, VK_ESCAPE);
  Check(dd::WaitUntil([&] { return !IsWindow(dialog); }), "Esc closes the dialog");
  return g_failures == 0 ? 0 : 1;
}
