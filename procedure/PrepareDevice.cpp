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

// The preparation of one update: each step either goes on or ends it with the text shown.
class Preparer {
 public:
  Preparer(UpdateHost& host, UpdateSession& session) : m_host(host), m_session(session) {}

  Preparation Run() {
    m_session.SetDfuDevice(0);
    m_session.SetSerial(std::wstring());  // a loader entry has none; a console's session may hold the last one
    if (Stopped()) return m_end;
    DeviceSelection selection;
    if (!m_host.GetSelection(selection)) return Message(texts::kNoDevice);
    m_session.SetEntry(WithoutFinalLineFeed(selection.text));
    if (!IsForThePackage(selection) || !TakeWorkstationMark(selection)) return m_end;

    DfuTarget target;
    if (selection.entry.kind == DeviceKind::kDfu) {
      target = DfuTarget::Listed(selection.entry.number, selection.product);
    } else {
      if (!SwitchIntoLoader(selection)) return m_end;
      target = DfuTarget::Switched(selection.dfuProducts, DeviceType());
    }
    if (!OpenInLoader(target) || Stopped() || !ReadFlashParams()) return m_end;
    m_end.ready = true;
    return m_end;
  }

 private:
  const std::wstring& DeviceType() const { return m_session.Package().deviceType; }

  // Ends the preparation with a message box.
  const Preparation& Message(const std::wstring& text) {
    Ended(text);
    m_host.ShowMessage(text);
    return m_end;
  }
  // Ends it on the text in the status box.
  void Ended(const std::wstring& text) {
    m_end.endedWith = text;
    m_end.endedAtMs = m_session.SessionClock().Milliseconds();
  }

  // A stop asked for before anything was written ends the update here: a DFU device opened on
  // the way is closed again, with the loader left running.
  bool Stopped() {
    if (!m_host.StopRequested()) return false;
    m_session.CloseDfuDevice(false);
    Message(texts::kStopped);
    return true;
  }

  bool IsForThePackage(const DeviceSelection& selection) {
    switch (MatchDeviceType(selection.product, DeviceType())) {
      case DeviceMatch::kMatch: return true;
      case DeviceMatch::kNotForDevice: Message(texts::kNotForDevice); return false;
      case DeviceMatch::kUnknownType: m_host.DeviceTypeUnknown(DeviceType()); return false;
    }
    return false;
  }

  // From here until the update has ended no other program on the workstation switches an
  // instrument: the loader could hide the one that is open here. The loader is read again
  // under the mark: the list may be older than another program's update that left an
  // instrument there.
  bool TakeWorkstationMark(DeviceSelection& selection) {
    if (!m_session.TakeUpdateMark()) {
      Message(texts::kAnotherProgramUpdating);
      return false;
    }
    if (selection.entry.kind == DeviceKind::kApplication) selection.dfuProducts = ReadDfuProducts();
    return true;
  }

  // The switched instrument is told from the DFU devices that were there before by its product
  // text alone: with one of its type already waiting in the loader, the two could not be told
  // apart, and the waiting one might get the firmware meant for the switched one. One whose
  // product text cannot be read may be of the type as well (and a switched one that cannot be
  // read either is looked for among those), so it counts as one.
  bool AnotherOfTheTypeWaitsInDfu(const DeviceSelection& selection) const {
    for (const std::wstring& product : selection.dfuProducts) {
      if (MayBeOfTheType(product, DeviceType())) return true;
    }
    return false;
  }

  bool SwitchIntoLoader(const DeviceSelection& selection) {
    if (AnotherOfTheTypeWaitsInDfu(selection)) {
      Message(texts::kAnotherWaitingInDfu);
      return false;
    }
    std::wstring serial;
    const SwitchOutcome outcome = SwitchToUpdateMode(m_host, selection.entry.number, selection.deviceList, serial);
    m_session.SetSerial(serial);
    switch (outcome.result) {
      case SwitchResult::kSwitched: return !Stopped();
      case SwitchResult::kStopped: Message(texts::kStopped); return false;
      case SwitchResult::kFailed:
        if (outcome.reasonIsMessage) {
          Message(outcome.reason);
        } else {
          Ended(outcome.reason);
        }
        return false;
    }
    return false;
  }

  bool OpenInLoader(const DfuTarget& target) {
    DfuHandle device = 0;
    const DfuWait wait = WaitForDfuDevice(m_host, target, &device);
    m_session.SetDfuDevice(device);
    switch (wait) {
      case DfuWait::kOpened: return true;
      case DfuWait::kNotFound: Message(texts::kInstallDfuDriver); return false;
      case DfuWait::kWrongDevice: Message(texts::kCannotOpenDevice); return false;
      case DfuWait::kStopped: Message(texts::kStopped); return false;
    }
    return false;
  }

  // The flash layout of the open device; on failure the device is closed again, as nothing
  // will use it.
  bool ReadFlashParams() {
    DfuFlashParams params = {};
    const int rc = DfuParamsGet(m_session.DfuDevice(), &params);
    m_session.SetFlashParams(params);
    if (rc == 0) return true;
    m_session.CloseDfuDevice(false);
    Message(FormatLibraryError(texts::kFlashParamsError, WidenBytes(DfuErrorString(rc)), rc));
    return false;
  }

  UpdateHost& m_host;
  UpdateSession& m_session;
  Preparation m_end;
};

}  // namespace

Preparation PrepareDevice(UpdateHost& host, UpdateSession& session) { return Preparer(host, session).Run(); }
