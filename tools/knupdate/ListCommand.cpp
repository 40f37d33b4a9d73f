// knupdate list: the instruments, as the dialog lists them, each with its mode and its serial
// number (none for an instrument in its DFU loader, which does not name one).
#include "ui/DeviceList.h"
#include "tools/knupdate/CommandTable.h"
#include "tools/knupdate/ExitCodes.h"
#include "tools/knupdate/InstrumentListing.h"
#include "tools/knupdate/ListedDevices.h"

namespace {

const wchar_t* ModeName(DeviceKind kind) { return kind == DeviceKind::kDfu ? L"DFU" : L"application"; }

}  // namespace

int RunListCommand(const CommandArguments&, ConsoleOutput& out) {
  DeviceList devices;
  ListInstruments(out, devices);
  for (const ListedDevice& listed : devices.Entries()) out.Row({listed.text, ModeName(listed.entry.kind), ListedSerial(listed)});
  return exit_codes::kSucceeded;
}
