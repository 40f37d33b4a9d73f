#include "app/QM_TWBootloaderDlg.h"

#include "app/DeviceList.h"
#include "app/DriverInstall.h"
#include "dfu/DfuLibrary.h"
#include "update/UpdatePackage.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 0;
constexpr UINT kRefreshPeriodMs = 1000;
constexpr DWORD kDownloadStartPauseMs = 500;

}  // namespace

CQM_TWBootloaderDlg::CQM_TWBootloaderDlg(CWnd* pParent)
    : CDialogEx(IDD_QM_TWBOOTLOADER_DIALOG, pParent),
      m_hIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_dfuParams(),
      m_hDfuDevice(0),
      m_hDeviceList(nullptr),
      m_nUsbioCount(0),
      m_nDfuCount(0),
      m_nDfuReady(0),
      m_bWithBootloader(FALSE),
      m_bUpdateRunning(0) {}

CQM_TWBootloaderDlg::~CQM_TWBootloaderDlg() = default;

void CQM_TWBootloaderDlg::DoDataExchange(CDataExchange* pDX) {
  CDialogEx::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_SELECT, m_btnSelect);
  DDX_Control(pDX, IDOK, m_btnDownload);
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_DEVICE_LIST, m_listDevices);
  DDX_Control(pDX, IDC_FILE_PATH, m_editFile);
}

BEGIN_MESSAGE_MAP(CQM_TWBootloaderDlg, CDialogEx)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_COMMAND(IDCANCEL, &CQM_TWBootloaderDlg::OnCancel)
  ON_BN_CLICKED(IDOK, &CQM_TWBootloaderDlg::OnDownload)
  ON_BN_CLICKED(IDC_SELECT, &CQM_TWBootloaderDlg::OnSelectFile)
  ON_WM_TIMER()
  ON_MESSAGE(UM_DFU_WRITE_BEGIN, &CQM_TWBootloaderDlg::OnDfuWriteBegin)
  ON_MESSAGE(UM_DFU_PROGRESS, &CQM_TWBootloaderDlg::OnDfuProgress)
  ON_MESSAGE(UM_DFU_DONE, &CQM_TWBootloaderDlg::OnDfuDone)
  ON_MESSAGE(UM_DFU_VERIFY_BEGIN, &CQM_TWBootloaderDlg::OnDfuVerifyBegin)
  ON_MESSAGE(UM_DFU_FAILED, &CQM_TWBootloaderDlg::OnDfuFailed)
END_MESSAGE_MAP()

BOOL CQM_TWBootloaderDlg::OnInitDialog() {
  CDialogEx::OnInitDialog();

  // The About item stays out when its text is missing; choosing it does nothing.
  HMENU hSysMenu = GetSystemMenu(FALSE);
  wchar_t aboutText[256] = {};
  if (hSysMenu != nullptr && LoadStringW(AfxGetResourceHandle(), IDS_ABOUTBOX, aboutText, 256) > 0) {
    AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  // Prompts and a driver installation happen here, before the dialog is shown; the dialog
  // opens whatever the result, and the refresh keeps trying the library.
  m_nDfuReady = 0;
  m_nDfuReady = CheckDfuLibraryAtStartup(LoadDfuLibrary(), *this);

  RefreshDeviceList();
  SetTimer(kRefreshTimer, kRefreshPeriodMs, nullptr);
  CenterWindow(GetDesktopWindow());
  return TRUE;
}

int CQM_TWBootloaderDlg::PromptBox(const wchar_t* text, const wchar_t* caption, UINT type) {
  return MessageBox(text, caption, type);
}

void CQM_TWBootloaderDlg::RunDriverInstallation() { InstallDrivers(); }

void CQM_TWBootloaderDlg::ShowMessage(const std::wstring& text) { MessageBox(text.c_str(), nullptr, MB_OK); }

void CQM_TWBootloaderDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) return;  // there is no About box
  CDialogEx::OnSysCommand(nID, lParam);
}

void CQM_TWBootloaderDlg::OnPaint() {
  if (!IsIconic()) {
    CDialogEx::OnPaint();
    return;
  }
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(m_hWnd, &paint);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT rect;
  GetClientRect(&rect);
  const int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, m_hIcon);
  EndPaint(m_hWnd, &paint);
}

HCURSOR CQM_TWBootloaderDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CQM_TWBootloaderDlg::OnCancel() {
  // Closing while the worker runs would end the process under it, halfway through a write.
  if (InterlockedCompareExchange(&m_bUpdateRunning, 0, 0) != 0) {
    MessageBeep(MB_OK);
    return;
  }
  CDialogEx::OnCancel();
}

void CQM_TWBootloaderDlg::OnSelectFile() {
  CFileDialog dialog(TRUE, L".kn", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, L"Update file(*.kn)|*.kn||");
  if (dialog.DoModal() != IDOK) return;
  m_strUpdateFile = dialog.GetPathName();
  SetDlgItemText(IDC_FILE_PATH, m_strUpdateFile.c_str());
}

void CQM_TWBootloaderDlg::OnDownload() {
  Pause(kDownloadStartPauseMs);
  PreparedPackage package;
  if (!PrepareUpdatePackage(*this, m_strUpdateFile, SystemTempDirectory(), package)) return;
  m_strProgramFile = package.programFile;
  m_strMediaFile = package.mediaFile;
  m_strDataFile = package.dataFile;
  m_strBootloaderFile = package.bootloaderFile;
  m_bWithBootloader = package.withBootloader ? TRUE : FALSE;
  PrepareDevice(package.deviceType);
}

void CQM_TWBootloaderDlg::PrepareDevice(const std::wstring& /*deviceType*/) {}

void CQM_TWBootloaderDlg::OnTimer(UINT_PTR nIDEvent) {
  RefreshDeviceList();
  CDialogEx::OnTimer(nIDEvent);
}

void CQM_TWBootloaderDlg::RefreshDeviceList() {
  RebuildDeviceList(m_listDevices.m_hWnd, {m_hDeviceList, m_nUsbioCount, m_nDfuCount, m_nDfuReady});
}

void CQM_TWBootloaderDlg::ShowProgressPass(WPARAM units, const wchar_t* suffix) {
  const std::wstring text = m_strStage + suffix;
  m_progress.ShowWindow(SW_SHOW);
  ::ShowWindow(GetDlgItem(IDC_STATUS), SW_SHOW);
  // The range message has 16 bits per bound: n = 0 wraps to 65535, as the library expects.
  m_progress.SetRange(0, static_cast<WORD>(units - 1));
  m_progress.SetPos(0);
  SetDlgItemText(IDC_STATUS, text.c_str());
}

void CQM_TWBootloaderDlg::HideProgress() {
  m_progress.ShowWindow(SW_HIDE);
  ::ShowWindow(GetDlgItem(IDC_STATUS), SW_HIDE);
}

LRESULT CQM_TWBootloaderDlg::OnDfuWriteBegin(WPARAM wParam, LPARAM) {
  ShowProgressPass(wParam, L" downloading!");
  return 0;
}

LRESULT CQM_TWBootloaderDlg::OnDfuVerifyBegin(WPARAM wParam, LPARAM) {
  ShowProgressPass(wParam, L" verifying!");
  return 0;
}

LRESULT CQM_TWBootloaderDlg::OnDfuProgress(WPARAM wParam, LPARAM) {
  m_progress.SetPos(static_cast<int>(wParam));
  return 0;
}

LRESULT CQM_TWBootloaderDlg::OnDfuDone(WPARAM, LPARAM) {
  HideProgress();
  return 0;
}

LRESULT CQM_TWBootloaderDlg::OnDfuFailed(WPARAM, LPARAM) {
  HideProgress();
  return 0;
}
