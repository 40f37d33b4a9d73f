// The updater's one dialog, "Firmware updater": device list, update file, Download, and the
// progress display that the DFU library drives through its notification messages.
//
// Phases: idle; preparing, while OnDownload runs on the dialog's thread (m_bPreparing);
// updating, while the worker thread writes the firmware with the input controls disabled and
// the timer stopped (m_bUpdateRunning).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/StartupCheck.h"
#include "app/TaskbarProgress.h"
#include "app/resource.h"
#include "dfu/DfuApi.h"
#include "framework/Framework.h"
#include "ui/DeviceList.h"
#include "procedure/UpdateHost.h"
#include "procedure/UpdateSession.h"
#include "records/BackgroundRecordsSender.h"

// Private message: runs a call on the dialog's thread for the worker (see CallOnDialogThread).
constexpr UINT UM_CALL_ON_DIALOG_THREAD = WM_APP + 1;
// Private message: a send to the department's database has ended (see m_recordsSender).
constexpr UINT UM_RECORDS_SENT = WM_APP + 2;

class CQM_TWBootloaderDlg : public CDialogEx, public UpdateHost, public DriverPromptHost {
 public:
  explicit CQM_TWBootloaderDlg(CWnd* pParent = nullptr);
  ~CQM_TWBootloaderDlg() override;

  enum { IDD = IDD_QM_TWBOOTLOADER_DIALOG };

  // Rebuilds the device list; at start-up, every second, and once after a successful update.
  void RefreshDeviceList() override;

  // UpdateHost. Called by the preparation on the dialog's thread and by the worker on its own;
  // whatever touches the dialog's windows, timer or members is carried over to the dialog's
  // thread, since Windows lets only a window's own thread set or kill its timers.
  void ShowMessage(const std::wstring& text) override;
  void SetStatusText(const std::wstring& text) override;
  void ShowStatus(bool shown) override;
  void ShowProgress(bool shown) override;
  void SetProgressRange(int upper) override;
  void SetProgressPos(int position) override;
  void Pause(DWORD milliseconds) override;
  bool GetSelection(DeviceSelection& selection) override;
  void EnableInputs(bool enabled) override;
  void SetRefreshTimer(bool running) override;
  void SetUpdateRunning(bool running) override;
  HWND NotificationWindow() override { return m_hWnd; }
  void SetStage(const std::wstring& stage) override;
  bool StartWorker() override;
  // The dialog takes no stop: closing is refused instead.
  bool StopRequested() override { return false; }
  bool BeginWriting() override { return true; }
  // Into the user's update history (and the department's outbox), and the outcome onto the
  // taskbar button.
  bool RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) override;

  // For tests: where the taskbar progress goes (the shell's taskbar by default).
  void UseTaskbarProgress(TaskbarProgress* taskbar) { m_taskbar = taskbar; }

  // DriverPromptHost, for the start-up check.
  int PromptBox(const wchar_t* text, const wchar_t* caption, UINT type) override;
  void RunDriverInstallation() override;

  // The package the next "Download" checks, as "Select" chooses it: kept, and shown in the
  // file box once the dialog's window exists. Dialog's thread.
  void ChooseUpdateFile(const std::wstring& path);
  const std::wstring& UpdateFile() const { return m_strUpdateFile; }
  // What the last "Download"'s package check gave (see UpdateSession); read it on the dialog's
  // thread while no update runs.
  const PreparedPackage& CheckedPackage() const;
  // The instruments listed, and whether the DFU library is ready. Dialog's thread.
  const DeviceList& Devices() const { return m_devices; }
  // From the hand-over to the worker until the worker's very last step; any thread.
  bool IsUpdateRunning() const;
  HICON Icon() const { return m_hIcon; }
  // The window the wrapper for control id is bound to (DoDataExchange), null for another id.
  HWND BoundControl(int id) const;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnCancel() override;

  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnDownload();
  afx_msg void OnSelectFile();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg LRESULT OnDfuWriteBegin(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnDfuProgress(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnDfuDone(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnDfuVerifyBegin(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnDfuFailed(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnCallOnDialogThread(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnQueryEndSession(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnRecordsSent(WPARAM wParam, LPARAM lParam);

 private:
  void ShowProgressPass(WPARAM units, const wchar_t* suffix);
  void HideProgress();
  bool QueuedDuringPreparation() const;
  // After an update's final message: what waits goes to the department's database.
  void SendRecordsAfterUpdate();
  bool OnDialogThread() const;
  // Runs call on the dialog's thread and returns once it has run.
  void CallOnDialogThread(const std::function<void()>& call);
  // Waits on the dialog's thread, painting but handling no input and no timer tick.
  void PauseKeepingPainted(DWORD milliseconds);
  static DWORD WINAPI WorkerThread(LPVOID dialog);

  HICON m_hIcon;
  // What "Download" checks: set by "Select" (or ChooseUpdateFile); text typed into the file
  // box is not used. Dialog's thread.
  std::wstring m_strUpdateFile;
  // The instruments in m_listDevices; the dialog's thread's.
  DeviceList m_devices;
  // The update under way: the dialog's thread writes it during "Download", then the worker's
  // thread has it until its last step (see UpdateSession).
  UpdateSession m_session;
  // The component being written; written and read on the dialog's thread only (SetStage
  // carries the worker's call over).
  std::wstring m_strStage;
  // Bound to their controls in DoDataExchange; used on the dialog's thread only.
  CButton m_btnSelect;
  CButton m_btnDownload;
  CProgressCtrl m_progress;
  CListBox m_listDevices;
  CEdit m_editFile;

  // Non-zero from the hand-over to the worker until the worker's very last step. Set by the
  // dialog's thread, cleared by the worker's (or by the dialog's, when no worker could be
  // started). While it is set the dialog refuses to close, and the session to end, because the
  // worker still uses the dialog, the open DFU device and the library, and a firmware cut
  // short can leave the instrument unusable.
  volatile LONG m_bUpdateRunning;
  // True while OnDownload runs: a second "Download" reached through a nested message loop
  // (a message box of the preparation) must not start a second preparation. Dialog's thread.
  bool m_bPreparing;
  // When the last preparation gave the thread back (GetTickCount). Dialog's thread.
  DWORD m_dwPreparationEnded;
  // Used on the dialog's thread only.
  SystemTaskbarProgress m_systemTaskbar;
  TaskbarProgress* m_taskbar;
  WORD m_wProgressUpper;  // the bar's upper bound, for the taskbar's total
  bool m_bRecorded;       // the running "Download" has left its record
  bool m_bHandedOver;     // the running "Download" handed the update to the worker

  // Sends the department's records off this thread: at start-up, and after each update's final
  // message. Closing the dialog does not wait for a send (see BackgroundRecordsSender).
  BackgroundRecordsSender m_recordsSender;
  // Whether an update has ended since the start (a failed send is told after an update only),
  // and whether the failure was told: once per start. Dialog's thread.
  bool m_bUpdateEnded;
  bool m_bRecordNotSentShown;

  DECLARE_MESSAGE_MAP()
};
