// What the update procedure (package check, preparation, worker) needs from the window that
// runs it. The dialog implements it with its controls; a console can too; the procedure's
// tests implement it with a recorder that counts pauses instead of sleeping.
//
// The preparation calls it on the dialog's thread; the worker calls it from its own thread,
// and an implementation that owns windows carries those calls over to the windows' thread.
#pragma once

#include <windows.h>

#include <string>

#include "history/HistoryRecord.h"
#include "package/MessageHost.h"
#include "procedure/SelectedDevice.h"

// How an update that got past the package check ended: decided where the firmware was
// written and verified (or where the update stopped), never read back from a shown text.
enum class UpdateOutcome { kSucceeded, kFailed };

class UpdateHost : public MessageHost {
 public:
  // The status box above the progress bar: its caption and whether it is shown.
  virtual void SetStatusText(const std::wstring& text) = 0;
  virtual void ShowStatus(bool shown) = 0;
  // The progress bar: shown or hidden, range 0..upper, position.
  virtual void ShowProgress(bool shown) = 0;
  virtual void SetProgressRange(int upper) = 0;
  virtual void SetProgressPos(int position) = 0;

  // The procedure's fixed pauses. On the dialog's thread the window keeps being painted, but
  // no input and no timer tick is handled until the preparation has ended.
  virtual void Pause(DWORD milliseconds) = 0;

  // The selected list entry; false when nothing is selected.
  virtual bool GetSelection(DeviceSelection& selection) = 0;
  virtual void RefreshDeviceList() = 0;
  // "Select", "Download", the file box and the device list, in this order.
  virtual void EnableInputs(bool enabled) = 0;
  // The one-second list refresh.
  virtual void SetRefreshTimer(bool running) = 0;
  // While set, "Download" does nothing and closing is refused.
  virtual void SetUpdateRunning(bool running) = 0;

  // The window the DFU library reports its write and verify passes to (may be null).
  virtual HWND NotificationWindow() = 0;
  // The component being written, put in front of the progress captions.
  virtual void SetStage(const std::wstring& stage) = 0;
  // Starts UpdateWorker for this host on a thread of its own; false when it cannot.
  virtual bool StartWorker() = 0;

  // A console may be told to stop. Asked while the preparation waits: true ends the update as
  // a failure, nothing written.
  virtual bool StopRequested() = 0;
  // Right before the first write: false (a stop was asked for) ends the update as a failure,
  // nothing written. After true the host refuses to stop until the update has ended, since a
  // firmware cut short can leave the instrument unusable.
  virtual bool BeginWriting() = 0;
  // The package's device type is of no family the updater knows: the preparation ends without
  // a message box, as the dialog always has. A console says so in a line of its own.
  virtual void DeviceTypeUnknown(const std::wstring& deviceType) { (void)deviceType; }
  // The package passed its check; signer: the trusted maker who signed it, empty when no
  // trusted key is set (the signature is then not looked at). A console prints it.
  virtual void PackageAccepted(const std::wstring& signer) { (void)signer; }
  // An update that got past the package check has ended: its record, for the history, and
  // its outcome. False when the record could not be kept: the procedure says so after the
  // update's own final message.
  virtual bool RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) = 0;
};
