#include "app/QM_TWBootloader.h"

#include "app/QM_TWBootloaderDlg.h"
#include "platform/ProgramStart.h"

CQM_TWBootloaderApp::CQM_TWBootloaderApp() {
  // Restart support only: no recovery, no autosave.
  m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

CQM_TWBootloaderApp theApp;

BOOL CQM_TWBootloaderApp::InitInstance() {
  ExcludeCurrentFolderFromDllSearch();

  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_WIN95_CLASSES;
  InitCommonControlsEx(&controls);

  CWinApp::InitInstance();

  // Set as the framework expects; the program keeps no settings there.
  SetRegistryKey(L"Local AppWizard-Generated Applications");

  CQM_TWBootloaderDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();

  m_pMainWnd = nullptr;
  // The dialog was the whole program: end the application.
  return FALSE;
}
