// knupdate: the update from a console, for service labs and production lines that update many
// instruments and script their work. The very procedure the dialog runs.
//
//   knupdate list                                   the instruments, as the dialog lists them
//   knupdate update --package FILE --device N|TEXT [--yes]
//                                                   updates entry "Device N", or the one entry
//                                                   whose text contains TEXT; --yes answers the
//                                                   bootloader warning in advance
//   knupdate update --package FILE --all [--yes] [--keep-going]
//                                                   every listed instrument the package is for,
//                                                   one after another, with a summary
//   knupdate station --package FILE [--yes]         updates each instrument of the package's
//                                                   type as it is plugged in, until Ctrl+C
//   knupdate history                                the update history of this user
//
// Exit code: 0 after "Updated successfully!" (and for list and history; for --all and a
// station, when every update succeeded), 1 after any failure (a device that names no listed
// instrument, or no instrument for the package, included), 2 for wrong usage or a device that
// names several, 3 when every update succeeded but a record could not be added to the history.
#include <windows.h>

#include <atomic>
#include <cwctype>
#include <string>
#include <vector>

#include "app/StartupCheck.h"
#include "dfu/DfuLibrary.h"
#include "history/UpdateHistory.h"
#include "host/DeviceList.h"
#include "package/PackageCheck.h"
#include "platform/ProgramStart.h"
#include "procedure/Download.h"
#include "procedure/ProcedureTexts.h"
#include "signing/TrustedKeys.h"
#include "tools/knupdate/ConsoleOutput.h"
#include "tools/knupdate/ConsoleUpdateHost.h"
#include "tools/knupdate/ExitCodes.h"
#include "tools/knupdate/ProductionLine.h"
#include "tools/knupdate/UpdateRun.h"

namespace {

using namespace exit_codes;

constexpr wchar_t kUsageText[] =
    L"usage: knupdate list\r\n"
    L"       knupdate update --package FILE --device N|TEXT [--yes]\r\n"
    L"       knupdate update --package FILE --all [--yes] [--keep-going]\r\n"
    L"       knupdate station --package FILE [--yes]\r\n"
    L"       knupdate history";

// The update under way, for the Ctrl+C handler's thread. Once set it stays alive until the
// process ends, so a handler that is running as the update ends never finds it gone.
std::atomic<ConsoleUpdateHost*> g_host{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  ConsoleUpdateHost* host = g_host.load();
  return host != nullptr && host->OnConsoleEvent(event) ? TRUE : FALSE;
}

bool IsNumber(const std::wstring& text) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (!std::iswdigit(c)) return false;
  }
  return true;
}

const wchar_t* ModeName(DeviceKind kind) { return kind == DeviceKind::kDfu ? L"DFU" : L"application"; }

// Warns about a DFU library the dialog would offer to install, or names one of the other
// architecture as the dialog does.
void ReportLibrary(ConsoleOutput& out, int loaded) {
  if (loaded == kDfuDriverNotFound) out.Error(L"DFU driver is not found! Instruments in DFU mode are not listed.");
  if (loaded == kDfuWrongDriverVersion) out.Error(L"DFU driver version is incorrect! Instruments in DFU mode are not listed.");
  if (loaded == kDfuLibraryOfOtherArchitecture) out.Error(startup_texts::kLibraryOfOtherArchitecture);
}

// The DFU library's answer at start; whatever it is, the list is built: a console lists what
// it can, where the dialog would wait for a driver.
int StartListing(DeviceList& devices) {
  devices.CreateHiddenListBox();
  const int loaded = LoadDfuLibrary();
  devices.SetDfuReady(true);
  devices.Refresh();
  return loaded;
}

int List(ConsoleOutput& out) {
  DeviceList devices;
  ReportLibrary(out, StartListing(devices));
  for (const ListedDevice& listed : devices.Entries()) out.Row({listed.text, ModeName(listed.entry.kind)});
  return kSucceeded;
}

int History(ConsoleOutput& out) {
  const std::wstring path = HistoryFilePath();
  std::string text;
  if (!ReadHistory(path, text)) {
    out.Line(L"No update recorded yet (" + path + L").");
    return kSucceeded;
  }
  // Record by record, so a console shows the text itself whatever its code page. A quoted field
  // may hold a line break (a product text that carries one): it stays in its record, printed
  // escaped, and never starts a line of its own.
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at < text.size() && text[at] == '"') quoted = !quoted;
    const bool recordEnds = at == text.size() || (!quoted && text.compare(at, 2, "\r\n") == 0);
    if (!recordEnds) continue;
    if (at > start) out.Line(FromUtf8(text.substr(start, at - start)));
    start = at + 2;
    ++at;
  }
  return kSucceeded;
}

enum class Choice { kOne, kNone, kSeveral };

// The one entry that N or TEXT names into chosen, or the reason printed.
Choice ChooseDevice(ConsoleOutput& out, const std::vector<ListedDevice>& entries, const std::wstring& device,
                    ListedDevice& chosen) {
  std::vector<const ListedDevice*> matches;
  for (const ListedDevice& listed : entries) {
    const bool named = IsNumber(device) ? std::to_wstring(listed.listedNumber) == device
                                        : listed.text.find(device) != std::wstring::npos;
    if (named) matches.push_back(&listed);
  }
  if (matches.size() == 1) {
    chosen = *matches[0];
    return Choice::kOne;
  }
  if (matches.empty()) {
    out.Error(L"No instrument is listed as " + device + L".");
    return Choice::kNone;
  }
  out.Error(L"More than one instrument is listed as " + device + L"; name one of them:");
  for (const ListedDevice* listed : matches) out.Error(L"  " + listed->text);
  return Choice::kSeveral;
}

// The package's full path, as the dialog's file choice gives it.
std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 2] = {};
  const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 2, full, nullptr);
  return length > 0 && length < MAX_PATH * 2 ? std::wstring(full, length) : path;
}

int Update(ConsoleOutput& out, const std::wstring& package, const std::wstring& device, bool confirmed) {
  // Both live until the process ends, with the host the Ctrl+C handler may still look at.
  auto* devices = new DeviceList();
  ReportLibrary(out, StartListing(*devices));
  ListedDevice chosen;
  switch (ChooseDevice(out, devices->Entries(), device, chosen)) {
    case Choice::kOne: break;
    case Choice::kNone: return kFailed;     // an instrument not attached (now)
    case Choice::kSeveral: return kUsage;  // a name that does not tell which one
  }
  devices->Select(chosen.position);

  auto* host = new ConsoleUpdateHost(out, *devices, confirmed);
  g_host = host;
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
  UpdateSession& session = host->Session();
  BeginUpdate(session);
  if (CheckUpdatePackage(*host, session, FullPath(package), SystemTempDirectory(),
                         signing::TrustedKeysBesideProgram())) {
    // The workstation's update mark before the instrument is touched. After a wait for another
    // program's update the list is read again: the instrument chosen may have moved or gone.
    bool waited = false;
    if (WaitForWorkstationMark(out, *host, session.m_updateMark, &waited) && waited) {
      devices->Refresh();
      const std::vector<ListedDevice> now = devices->Entries();
      const ListedDevice* again = FindAgain(now, chosen);
      devices->Select(again != nullptr ? again->position : -1);  // none: "No device is found!"
    }
    // The mark is let go once the updated instrument has left its loader, as a run does: until
    // then another program would take it for one of the type waiting there.
    const std::size_t waiting = WaitingInLoader(*devices, session.m_package.deviceType);
    const std::size_t settled = chosen.entry.kind == DeviceKind::kDfu && waiting > 0 ? waiting - 1 : 0;
    session.m_keepUpdateMark = true;
    UpdateSelectedInstrument(*host, session);  // a stop meanwhile ends it here, recorded
    if (host->Succeeded()) WaitUntilLeftLoader(*devices, session.m_package.deviceType, settled, [] { return false; });
    session.m_updateMark.Release();
  }
  host->Finished();
  if (!host->Succeeded()) return kFailed;
  return host->HistoryLost() ? kRecordLost : kSucceeded;
}

// The forms that update several instruments: --all, and a station.
enum class RunForm { kAll, kStation };

int RunSeveral(ConsoleOutput& out, RunForm form, const std::wstring& package, bool confirmed, bool keepGoing) {
  auto* devices = new DeviceList();  // lives until the process ends, as the host does
  const int loaded = StartListing(*devices);
  ReportLibrary(out, loaded);
  // Without the library no instrument waiting in its loader is seen, and each one switched
  // would be left there: a run switches none.
  if (loaded != kDfuReady) {
    out.Error(texts::kInstallDfuDriver);
    return kFailed;
  }
  UpdateRun run(out, *devices, confirmed);
  g_host = &run.Host();
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
  const int result = form == RunForm::kAll ? UpdateEveryInstrument(out, run, FullPath(package), keepGoing)
                                           : RunStation(out, run, FullPath(package));
  run.Host().Finished();
  return result;
}

// The options after the command; false for one that is not known or lacks its value.
struct Options {
  std::wstring package, device;
  bool confirmed = false, all = false, keepGoing = false;
};

bool ParseOptions(const std::vector<std::wstring>& args, Options& options) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == L"--yes") {
      options.confirmed = true;
    } else if (args[i] == L"--all") {
      options.all = true;
    } else if (args[i] == L"--keep-going") {
      options.keepGoing = true;
    } else if ((args[i] == L"--package" || args[i] == L"--device") && i + 1 < args.size()) {
      (args[i] == L"--package" ? options.package : options.device) = args[i + 1];
      ++i;
    } else {
      return false;
    }
  }
  return !options.package.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ExcludeCurrentFolderFromDllSearch();
  static ConsoleOutput out;  // the Ctrl+C handler prints through it until the process ends
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == L"list") return List(out);
  if (args.size() == 1 && args[0] == L"history") return History(out);
  Options options;
  if (!args.empty() && args[0] == L"update" && ParseOptions(args, options)) {
    if (!options.device.empty() && !options.all && !options.keepGoing) {
      return Update(out, options.package, options.device, options.confirmed);
    }
    if (options.device.empty() && options.all) {
      return RunSeveral(out, RunForm::kAll, options.package, options.confirmed, options.keepGoing);
    }
  }
  if (!args.empty() && args[0] == L"station" && ParseOptions(args, options) && options.device.empty() &&
      !options.all && !options.keepGoing) {
    return RunSeveral(out, RunForm::kStation, options.package, options.confirmed, false);
  }
  out.Errors(kUsageText);
  return kUsage;
}
