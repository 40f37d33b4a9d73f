// knupdate: the update from a console, for service labs and production lines that update many
// instruments and script their work. The very procedure the dialog runs. Its commands are in
// CommandTable.cpp, each in a file of its own; its exit codes in ExitCodes.h.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/ProgramStart.h"
#include "tools/knupdate/CommandTable.h"
#include "tools/knupdate/ConsoleOutput.h"

int wmain(int argc, wchar_t** argv) {
  ExcludeCurrentFolderFromDllSearch();
  // A station's input reader prints and reads through it until the process ends.
  static ConsoleOutput out;
  return RunCommandLine(std::vector<std::wstring>(argv + 1, argv + argc), out);
}
