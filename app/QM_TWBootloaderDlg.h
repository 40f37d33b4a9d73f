// The updater's one dialog, "Firmware updater": device list, update file, Download, and the
// progress display that the DFU library drives through its notification messages.
//
// Phases (told apart by the input controls' enabled state and the refresh timer, no flag):
// idle; preparing, while OnDownload runs on the dialog's thread; updating, while the worker
// thread writes the firmware with the input controls disabled and the timer stopped.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>

#include "app/StartupCheck.h"
#include "app/resource.h"
#include "dfu/DfuApi.h"
#include "framework/Framework.h"
#include "update/UpdateHost.h"

class CQM_TWBootloaderDlg : public CDialogEx, public UpdateHost, public DriverPromptHost {
 public:
  explicit CQM_TWBootloaderDlg(CWnd* pParent = nullptr);
  ~CQM_TWBootloaderDlg() override;

  enum { IDD = IDD_QM_TWBOOTLOADER_DIALOG };

  // Rebuilds the device list; at start-up, every second, and once after a successful update.
  void RefreshDeviceList();

  // UpdateHost: message boxes owned by the dialog, OK only, the application's title.
  void ShowMessage(const std::wstring& text) override;
  // The update procedure's pauses.
  virtual void Pause(DWORD milliseconds) { Sleep(milliseconds); }

  // DriverPromptHost, for the start-up check.
  int PromptBox(const wchar_t* text, const wchar_t* caption, UINT type) override;
  void RunDriverInstallation() override;

  // State shared by the stages of an update; the dialog is its only owner.
  HICON m_hIcon;
  std::wstring m_strUpdateFile;  // chosen with "Select" only
  DfuFlashParams m_dfuParams;
  DfuHandle m_hDfuDevice;
  HDEVINFO m_hDeviceList;
  int m_nUsbioCount;  // application-mode entries at the head of the list
  int m_nDfuCount;    // DFU-mode entries after them
  int m_nDfuReady;    // 1 once the DFU library has loaded
  std::wstring m_strStage;  // written by the worker before each write, read by the progress handlers
  std::wstring m_strProgramFile;
  std::wstring m_strMediaFile;
  std::wstring m_strDataFile;
  std::wstring m_strBootloaderFile;
  BOOL m_bWithBootloader;
  CButton m_btnSelect;
  CButton m_btnDownload;
  CProgressCtrl m_progress;
  CListBox m_listDevices;
  CEdit m_editFile;

  // Non-zero from the hand-over to the worker until the worker's very last step. Written by
  // the dialog's thread (set) and the worker (clear). While it is set the dialog refuses to
  // close, because the worker still uses the dialog, the open DFU device and the library.
  volatile LONG m_bUpdateRunning;

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

  // Rest of "Download" after the package check: the device's way into DFU mode and the
  // hand-over to the worker thread. Comes with the USB layer.
  void PrepareDevice(const std::wstring& deviceType);

 private:
  void ShowProgressPass(WPARAM units, const wchar_t* suffix);
  void HideProgress();

  DECLARE_MESSAGE_MAP()
};
