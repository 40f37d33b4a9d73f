// The update procedure in a console: the same package check, preparation and worker as the
// dialog's, with every text the dialog would show in a message box or its status box printed
// as a line, in the same order, and the progress of each write and verify pass drawn below.
//
// As in the dialog, the worker runs on a thread of its own while this thread handles the DFU
// library's notifications (sent or posted) in its window; whatever the worker prints or
// changes is carried over to this thread, after the notifications already queued, so the
// lines come in the order the dialog would show them. The stop state is also set by the
// Ctrl+C handler's thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "host/DeviceList.h"
#include "procedure/UpdateHost.h"
#include "procedure/UpdateSession.h"
#include "tools/knupdate/ConsoleOutput.h"

class ConsoleUpdateHost : public UpdateHost {
 public:
  // confirmed: the bootloader warning was answered in advance (--yes).
  ConsoleUpdateHost(ConsoleOutput& out, DeviceList& devices, bool confirmed);
  ~ConsoleUpdateHost() override;
  ConsoleUpdateHost(const ConsoleUpdateHost&) = delete;
  ConsoleUpdateHost& operator=(const ConsoleUpdateHost&) = delete;

  // Ctrl+C and the console's closing: a stop before the first write, refused after it.
  // Returns true when the event was taken care of here.
  bool OnConsoleEvent(DWORD event);

  // The run is over, however it ended.
  void Finished();

  // A run of several updates (every instrument of a package's type, a station): between two
  // updates the host is idle, and Ctrl+C asks the run to end instead of ending the process.
  void BeginRun();
  // Another update of the run begins (false, and none begins, once the run is to end), or the
  // last one has ended.
  bool BeginUpdate();
  void EndUpdate();
  // The run's end asked for otherwise than by Ctrl+C (a typed q): the same, except that while
  // the firmware is written the run ends after the update instead of going on.
  void EndRunOnRequest();
  // Ctrl+C came before the first write of an update, or between two updates: the run ends
  // after the update under way. Set by the Ctrl+C handler's thread.
  bool RunStopRequested() const { return m_runStopRequested.load(); }
  // The update this host runs. The main thread runs "Download" on it, then the worker's
  // thread has it until its last step (see UpdateSession).
  UpdateSession& Session() { return m_session; }
  // Whether the update wrote and verified the firmware. Read once the update has ended.
  bool Succeeded() const { return m_outcome == UpdateOutcome::kSucceeded; }
  // The record of the update that ended last. Read once it has ended.
  const HistoryRecord& LastRecord() const { return m_lastRecord; }
  // Whether a record of this host's updates could not be added to the history (of any update
  // so far). Read once the update has ended.
  bool HistoryLost() const { return m_historyLost; }

  void ShowMessage(const std::wstring& text) override;
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
  bool StopRequested() override { return m_state.load() == kStopping; }
  bool BeginWriting() override;
  bool RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) override;
  // Where the dialog ends without a word: a line, so the technician can tell why.
  void DeviceTypeUnknown(const std::wstring& deviceType) override;
  // "signed by NAME", or "unsigned" when no trusted maker's signature was checked.
  void PackageAccepted(const std::wstring& signer) override;

 private:
  enum State { kIdle, kPreparing, kStopping, kWriting, kEnded };

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static DWORD WINAPI WorkerThread(LPVOID host);
  void OnNotification(UINT message, WPARAM wParam);
  // Runs call on the thread that made the host, after the notifications queued before it.
  void CallOnMainThread(const std::function<void()>& call);
  // While the firmware is written the console's close box is greyed: Windows ends a process
  // whose console is closed a few seconds later, whatever its handler does. And the session's
  // end is refused: a console program that uses windows gets no logoff or shutdown event, so a
  // hidden top-level window of its own answers Windows' question instead.
  void AllowClosing(bool allowed);
  void GuardSession(bool guarded);
  static LRESULT CALLBACK GuardProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  ConsoleOutput& m_out;
  DeviceList& m_devices;  // the main thread's
  UpdateSession m_session;
  bool m_confirmed;
  HWND m_window = nullptr;
  HWND m_sessionGuard = nullptr;  // made and destroyed on the main thread
  std::wstring m_stage, m_lastStatus;  // the main thread's
  // Written where the update ends (the worker's thread, or the main thread when it ends
  // before the hand-over); read by the main thread after the worker has ended.
  UpdateOutcome m_outcome = UpdateOutcome::kFailed;
  HistoryRecord m_lastRecord;  // likewise
  bool m_historyLost = false;  // likewise
  std::atomic<int> m_state{kPreparing};
  bool m_run = false;  // several updates (BeginRun, before the Ctrl+C handler is installed)
  std::atomic<bool> m_runStopRequested{false};
  std::mutex m_eventMutex;  // a console event and the begin of an update, one at a time
  HANDLE m_ended;  // set once the update has ended, for a console that is being closed
};
