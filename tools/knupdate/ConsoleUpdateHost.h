// The update procedure shown in a console: the same package check, preparation and worker as
// the dialog's, with every text the dialog would show in a message box or its status box
// printed as a line, in the same order, and the progress of each write and verify pass drawn
// below. Whether the update may go on is the run's control's; its records are the run's.
//
// As in the dialog, the worker runs on a thread of its own while this thread handles the DFU
// library's notifications (sent or posted) in its window; whatever the worker prints or
// changes is carried over to this thread, after the notifications already queued, so the
// lines come in the order the dialog would show them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/DeviceList.h"
#include "procedure/UpdateHost.h"
#include "procedure/UpdateSession.h"
#include "tools/knupdate/ConsoleOutput.h"
#include "tools/knupdate/RunControl.h"
#include "tools/knupdate/RunRecords.h"

class ConsoleUpdateHost : public UpdateHost {
 public:
  // Made on the main thread, which owns devices. confirmed: the bootloader warning was
  // answered in advance (--yes).
  ConsoleUpdateHost(ConsoleOutput& out, DeviceList& devices, UpdateSession& session, RunControl& control,
                    RunRecords& records, bool confirmed);
  ~ConsoleUpdateHost() override;
  ConsoleUpdateHost(const ConsoleUpdateHost&) = delete;
  ConsoleUpdateHost& operator=(const ConsoleUpdateHost&) = delete;

  // A new update: its stage and status start empty (main thread).
  void BeginUpdate();

  void ShowMessage(const std::wstring& text) override;
  // The warning, then y/N unless answered in advance; a no is said with the stop's text.
  bool ConfirmBootloaderUpdate() override;
  void SetStatusText(const std::wstring& text) override;
  void ShowStatus(bool) override {}
  void ShowProgress(bool) override {}
  void SetProgressRange(int) override {}
  void SetProgressPos(int) override {}
  // The preparation pauses on this thread for minutes: its windows go on answering meanwhile.
  void Pause(DWORD milliseconds) override;
  bool GetSelection(DeviceSelection& selection) override { return m_devices.GetSelection(selection); }
  void RefreshDeviceList() override;
  void EnableInputs(bool) override {}
  void SetRefreshTimer(bool) override {}
  void SetUpdateRunning(bool running) override;
  HWND NotificationWindow() override { return m_window; }
  void SetStage(const std::wstring& stage) override;
  bool StartWorker() override;
  bool StopRequested() override { return m_control.StopRequested(); }
  bool BeginWriting() override { return m_control.BeginWriting(); }
  bool RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) override;
  // Where the dialog ends without a word: a line, so the technician can tell why.
  void DeviceTypeUnknown(const std::wstring& deviceType) override;
  // "signed by NAME", or "unsigned" when no trusted maker's signature was checked.
  void PackageAccepted(const std::wstring& signer) override;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static DWORD WINAPI WorkerThread(LPVOID host);
  void OnNotification(UINT message, WPARAM wParam);
  // Runs call on the thread that made the host, after the notifications queued before it.
  void CallOnMainThread(const std::function<void()>& call);

  ConsoleOutput& m_out;
  DeviceList& m_devices;  // the main thread's
  UpdateSession& m_session;
  RunControl& m_control;
  RunRecords& m_records;
  const bool m_confirmed;
  HWND m_window = nullptr;
  std::wstring m_stage, m_lastStatus;  // the main thread's
};
