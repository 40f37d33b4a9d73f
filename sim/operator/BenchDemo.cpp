// The main job's operator: drives the bench build of the updater on the default bench the way
// a technician would, from another process of the same Wine session, and prints what they
// would see: the instruments listed, the package chosen with "Select", "Download", and every
// message box on the way, answered with OK. Saves a screenshot at each step.
//
// usage: bench_demo PACKAGE SCREENSHOT_DIR
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/operator/DialogDriver.h"
#include "sim/operator/ScreenCapture.h"

namespace dd = dialog_driver;

namespace {

constexpr int kDeviceList = 1000, kFilePath = 1004, kSelect = 1002, kStatus = 1009, kProgress = 1008;

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\n') {
      out += "\\n";
    } else if (c == L'\r') {
      out += "\\r";
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char bytes[8];
      const int n = WideCharToMultiByte(CP_UTF8, 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
      out.append(bytes, static_cast<std::size_t>(n > 0 ? n : 0));
    }
  }
  return out;
}

class Operator {
 public:
  explicit Operator(std::wstring screenshots) : m_screenshots(std::move(screenshots)) {}

  void Say(const std::string& line) { std::printf("%s\n", line.c_str()), std::fflush(stdout); }

  void Snapshot(const wchar_t* name) {
    Sleep(400);  // let the windows paint what they have just been told
    const std::wstring path = m_screenshots + std::to_wstring(++m_shots) + L"-" + name + L".bmp";
    if (!SaveScreenAsBitmap(path)) Say("   (no screenshot: the screen could not be read)");
  }

  bool ChoosePackage(HWND dialog, DWORD pid, const std::wstring& package) {
    dd::Click(dialog, kSelect);
    HWND picker = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, dialog); });
    if (picker == nullptr) return false;
    Say("-> \"Select\" opens the file dialog \"" + Utf8(dd::Text(picker)) + "\"");
    Snapshot(L"file-dialog");
    if (!dd::ChooseFileName(picker, package)) return false;
    return dd::WaitUntil([&] { return !IsWindow(picker) && dd::Text(GetDlgItem(dialog, kFilePath)) == package; });
  }

  // Answers every message box the dialog opens until none has come for quietMs; how many.
  int AnswerMessageBoxes(HWND dialog, DWORD pid, DWORD quietMs) {
    for (int answered = 0;; ++answered) {
      HWND box = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr, dialog); }, quietMs);
      if (box == nullptr) return answered;
      const dd::MessageBoxSeen seen = dd::ReadMessageBox(box);
      Say("   message box \"" + Utf8(seen.caption) + "\": " + Utf8(seen.text));
      Snapshot(L"message");
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      Say("-> OK");
      dd::WaitUntil([&] { return !IsWindow(box); });
    }
  }

 private:
  std::wstring m_screenshots;
  int m_shots = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_demo PACKAGE SCREENSHOT_DIR\n");
    return 2;
  }
  const std::wstring package = argv[1];
  std::wstring screenshots = argv[2];
  if (screenshots.back() != L'\\') screenshots += L'\\';
  Operator person(screenshots);

  HWND dialog = dd::WaitFor([] { return dd::FindDialog(0, L"Firmware updater"); }, 60000);
  if (dialog == nullptr) {
    person.Say("the dialog \"Firmware updater\" did not open");
    return 1;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  person.Say("the dialog \"Firmware updater\" is open; its device list shows:");
  HWND list = GetDlgItem(dialog, kDeviceList);
  std::vector<std::wstring> entries;
  dd::WaitUntil([&] { return !(entries = dd::ListEntries(list)).empty(); }, 10000);
  int target = -1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    person.Say("   " + Utf8(entries[i]));
    if (target < 0 && entries[i].find(L"TW 3xx") != std::wstring::npos) target = static_cast<int>(i);
  }
  person.Snapshot(L"devices");
  if (target < 0) {
    person.Say("no \"TW 3xx\" instrument is listed");
    return 1;
  }

  dd::ClickListEntry(list, target);
  dd::WaitUntil([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == target; });
  person.Say("-> select \"" + Utf8(entries[static_cast<std::size_t>(target)]) + "\"");
  if (!person.ChoosePackage(dialog, pid, package)) {
    person.Say("the package could not be chosen");
    return 1;
  }
  person.Say("-> choose the package; the file box shows " + Utf8(dd::Text(GetDlgItem(dialog, kFilePath))));
  person.Snapshot(L"package");

  person.Say("-> \"Download\"");
  dd::Click(dialog, IDOK);
  if (person.AnswerMessageBoxes(dialog, pid, 4000) == 0) {
    person.Say("   no message box: the package passed its check");
  }
  if (IsWindowVisible(GetDlgItem(dialog, kStatus))) {
    person.Say("   status: " + Utf8(dd::Text(GetDlgItem(dialog, kStatus))) +
               (IsWindowVisible(GetDlgItem(dialog, kProgress)) ? " (progress bar shown)" : ""));
  }
  person.Snapshot(L"after-download");

  dd::PressKey(dialog, VK_ESCAPE);
  const bool closed = dd::WaitUntil([&] { return !IsWindow(dialog); });
  person.Say(closed ? "-> Esc: the dialog closes" : "the dialog did not close");
  return closed ? 0 : 1;
}
