#include "procedure/PrepareDevice.h"

#include "dfu/DfuLibrary.h"
#include "procedure/DeviceMatch.h"
#include "procedure/DfuDeviceWait.h"
#include "procedure/DfuProduct.h"
#include "procedure/ErrorText.h"
#include "procedure/ProcedureTexts.h"
#include "procedure/UpdateModeSwitch.h"
#include "text/LineFeed.h"
#include "text/WidenBytes.h"

namespace {

// A stop asked for before anything was written ends the update here: a DFU device opened on
// the way is closed again, with the loader left running.
bool Stopped(UpdateHost& host, UpdateSession& session) {
  if (!host.StopRequested()) return false;
  if (session.m_hDfuDevice != 0) DfuDeviceClose(session.m_hDfuDevice, 0);
  session.m_hDfuDevice = 0;
  host.ShowMessage(texts::kStopped);
  return true;
}

// The flash layout of the open device; on failure the device is closed again, as nothing
// will use it.
bool ReadFlashParams(UpdateHost& host, UpdateSession& session) {
  const int rc = DfuParamsGet(session.m_hDfuDevice, &session.m_dfuParams);
  if (rc == 0) return true;
  DfuDeviceClose(session.m_hDfuDevice, 0);
  session.m_hDfuDevice = 0;
  host.ShowMessage(FormatLibraryError(texts::kFlashParamsError, WidenBytes(DfuErrorString(rc)), rc));
  return false;
}

// The switched instrument is told from the DFU devices that were there before by its product
// text alone: with one of its type already waiting in the loader, the two could not be told
// apart, and the waiting one might get the firmware meant for the switched one. One whose
// product text cannot be read may be of the type as well (and a switched one that cannot be
// read either is looked for among those), so it counts as one.
bool AnotherOfTheTypeWaitsInDfu(const DeviceSelection& selection, const std::wstring& deviceType) {
  for (const std::wstring& product : selection.dfuProducts) {
    if (MayBeOfTheType(product, deviceType)) return true;
  }
  return false;
}

}  // namespace

bool PrepareDevice(UpdateHost& host, UpdateSession& session) {
  const std::wstring& deviceType = session.m_package.deviceType;
  session.m_hDfuDevice = 0;
  session.m_serial.clear();  // a loader entry has none; a console's session may hold the last one
  if (Stopped(host, session)) return false;
  DeviceSelection selection;
  if (!host.GetSelection(selection)) {
    host.ShowMessage(texts::kNoDevice);
    return false;
  }
  session.m_entry = WithoutFinalLineFeed(selection.text);

  switch (MatchDeviceType(ProductOfEntry(selection.text), deviceType)) {
    case DeviceMatch::kMatch: break;
    case DeviceMatch::kNotForDevice: host.ShowMessage(texts::kNotForDevice); return false;
    case DeviceMatch::kUnknownType: host.DeviceTypeUnknown(deviceType); return false;
  }
  // From here until the update has ended no other program on the workstation switches an
  // instrument: the loader could hide the one that is open here.
  if (!session.m_updateMark.TryTake()) {
    host.ShowMessage(texts::kAnotherProgramUpdating);
    return false;
  }
  // The loader as it is now, under the mark: the list may be older than another program's
  // update that left an instrument there.
  if (selection.entry.kind == DeviceKind::kApplication) selection.dfuProducts = ReadDfuProducts();

  DfuTarget target;
  if (selection.entry.kind == DeviceKind::kDfu) {
    target = DfuTarget::Listed(selection.entry.number, ProductOfEntry(selection.text));
  } else {
    if (AnotherOfTheTypeWaitsInDfu(selection, deviceType)) {
      host.ShowMessage(texts::kAnotherWaitingInDfu);
      return false;
    }
    switch (SwitchToUpdateMode(host, selection.entry.number, selection.deviceList, session.m_serial)) {
      case SwitchResult::kSwitched: break;
      case SwitchResult::kFailed: return false;
      case SwitchResult::kStopped: host.ShowMessage(texts::kStopped); return false;
    }
    if (Stopped(host, session)) return false;
    target = DfuTarget::Switched(selection.dfuProducts, deviceType);
  }

  switch (WaitForDfuDevice(host, target, &session.m_hDfuDevice)) {
    case DfuWait::kOpened: break;
    case DfuWait::kNotFound: host.ShowMessage(texts::kInstallDfuDriver); return false;
    case DfuWait::kWrongDevice: host.ShowMessage(texts::kCannotOpenDevice); return false;
    case DfuWait::kStopped: host.ShowMessage(texts::kStopped); return false;
  }
  return !Stopped(host, session) && ReadFlashParams(host, session);
}
