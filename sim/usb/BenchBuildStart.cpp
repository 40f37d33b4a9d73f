// Linked into the bench build only: before the program starts, the USB layer is pointed at
// the bench's driver simulation over the bench named by KN_BENCH. Without a bench the program
// sees no USBIO driver at all, like a machine without it. KN_HISTORY, when set, names the
// history file the bench build writes instead of the user's own. The workstation's update mark
// is the bench's.
#include <windows.h>

#include "history/UpdateHistory.h"
#include "procedure/WorkstationUpdateMark.h"
#include "sim/bench/Bench.h"
#include "sim/usb/UsbDriverSimulation.h"

namespace {

const bool g_benchInstalled = sim::InstallBenchUsbDriver();

// The bench is this build's workstation: its update mark is the bench's own.
const bool g_markNamed = [] {
  const std::wstring folder = sim::Bench::FolderFromEnvironment();
  if (folder.empty()) return false;
  SetWorkstationUpdateMarkName(sim::Bench(folder).UpdateMarkName());
  return true;
}();

const bool g_historyNamed = [] {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableW(L"KN_HISTORY", path, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return false;
  SetHistoryFileForTesting(path);
  return true;
}();

}  // namespace
