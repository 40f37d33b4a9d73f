#include "tools/knupdate/InstrumentListing.h"

#include "dfu/DfuLibrary.h"
#include "dfu/DfuLibraryTexts.h"

namespace {

// Warns about a DFU library the dialog would offer to install, or names one of the other
// architecture as the dialog does.
void ReportLibrary(ConsoleOutput& out, int loaded) {
  if (loaded == kDfuDriverNotFound) out.Error(L"DFU driver is not found! Instruments in DFU mode are not listed.");
  if (loaded == kDfuWrongDriverVersion) out.Error(L"DFU driver version is incorrect! Instruments in DFU mode are not listed.");
  if (loaded == kDfuLibraryOfOtherArchitecture) out.Error(texts::kLibraryOfOtherArchitecture);
}

}  // namespace

int ListInstruments(ConsoleOutput& out, DeviceList& devices) {
  devices.CreateHiddenListBox();
  const int loaded = LoadDfuLibrary();
  devices.SetDfuReady(true);
  devices.Refresh();
  ReportLibrary(out, loaded);
  return loaded;
}
