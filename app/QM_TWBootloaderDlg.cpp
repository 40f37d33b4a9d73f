#include "app/QM_TWBootloaderDlg.h"

#include <algorithm>

#include "app/DriverInstall.h"
#include "dfu/DfuLibrary.h"
#include "ui/DeviceList.h"
#include "ui/WindowThreadCall.h"
#include "package/PackageCheck.h"
#include "procedure/Download.h"
#include "procedure/ProcedureTexts.h"
#include "procedure/UpdateWorker.h"
#include "records/UpdateRecordKeeping.h"
#include "signing/TrustedKeys.h"
#include "platform/SystemPaths.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 0;
constexpr UINT kRefreshPeriodMs = 1000;
// Longest stretch a pause leaves the queue unlooked at; Windows ghosts a window as not
// responding after 5 s.
constexpr DWORD kPaintSliceMs = 50;

}  // namespace

CQM_TWBootloaderDlg::CQM_TWBootloaderDlg(CWnd* pParent)
    : CDialogEx(IDD_QM_TWBOOTLOADER_DIALOG, pParent),
      m_hIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      m_bUpdateRunning(0),
      m_bPreparing(false),
      m_dwPreparationEnded(GetTickCount()),
      m_taskbar(&m_systemTaskbar),
      m_wProgressUpper(0),
      m_bRecorded(false),
      m_bHandedOver(false),
      m_bUpdateEnded(false),
      m_bRecordNotSentShown(false) {}

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
  ON_MESSAGE(UM_CALL_ON_DIALOG_THREAD, &CQM_TWBootloaderDlg::OnCallOnDialogThread)
  ON_MESSAGE(WM_QUERYENDSESSION, &CQM_TWBootloaderDlg::OnQueryEndSession)
  ON_MESSAGE(UM_RECORDS_SENT, &CQM_TWBootloaderDlg::OnRecordsSent)
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
  m_devices.Attach(m_listDevices.m_hWnd);
  m_devices.SetDfuReady(CheckDfuLibraryAtStartup(LoadDfuLibrary(), *this) == 1);

  RefreshDeviceList();
  SetTimer(kRefreshTimer, kRefreshPeriodMs, nullptr);
  // Records an earlier start left waiting (nothing without central-records.txt).
  m_recordsSender.NotifyWindow(m_hWnd, UM_RECORDS_SENT);
  m_recordsSender.Send();
  CenterWindow(GetDesktopWindow());
  return TRUE;
}

int CQM_TWBootloaderDlg::PromptBox(const wchar_t* text, const wchar_t* caption, UINT type) {
  return MessageBox(text, caption, type);
}

void CQM_TWBootloaderDlg::RunDriverInstallation() { InstallDrivers(); }

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
  // Closing while an update is prepared or written would end the process under it, halfway
  // through a switch or a write.
  if (m_bPreparing || IsUpdateRunning()) {
    MessageBeep(MB_OK);
    return;
  }
  CDialogEx::OnCancel();
}

void CQM_TWBootloaderDlg::OnSelectFile() {
  CFileDialog dialog(TRUE, L".kn", nullptr, OFN_HIDEREADONLY, L"Update file(*.kn)|*.kn||");
  if (dialog.DoModal() != IDOK) return;
  ChooseUpdateFile(dialog.GetPathName());
}

void CQM_TWBootloaderDlg::ChooseUpdateFile(const std::wstring& path) {
  m_strUpdateFile = path;
  if (m_hWnd != nullptr) SetDlgItemText(IDC_FILE_PATH, m_strUpdateFile.c_str());
}

const PreparedPackage& CQM_TWBootloaderDlg::CheckedPackage() const { return m_session.Package(); }

HWND CQM_TWBootloaderDlg::BoundControl(int id) const {
  switch (id) {
    case IDC_SELECT: return m_btnSelect.m_hWnd;
    case IDOK: return m_btnDownload.m_hWnd;
    case IDC_PROGRESS: return m_progress.m_hWnd;
    case IDC_DEVICE_LIST: return m_listDevices.m_hWnd;
    case IDC_FILE_PATH: return m_editFile.m_hWnd;
    default: return nullptr;
  }
}

void CQM_TWBootloaderDlg::OnDownload() {
  // One update at a time: a click or Enter that reached a message box's loop while an update
  // is prepared or written does nothing, and neither does one the user gave while the
  // preparation held this thread and that reaches us only now.
  if (m_bPreparing || IsUpdateRunning() || QueuedDuringPreparation()) return;
  m_bPreparing = true;
  m_taskbar->SetState(m_hWnd, TaskbarState::kNone);  // a failure's red ends with the next try
  m_bRecorded = false;
  m_bHandedOver = false;
  RunDownload(*this, m_session, m_strUpdateFile, SystemTempDirectory(), signing::TrustedKeysBesideProgram());
  // A package that did not pass its check leaves no record, but it is a failure all the same.
  if (!IsUpdateRunning() && !m_bRecorded) m_taskbar->SetState(m_hWnd, TaskbarState::kError);
  // An update that ended in its preparation has shown its final message by now; a worker's
  // update sends when it gives the dialog back (SetUpdateRunning).
  if (m_bRecorded && !m_bHandedOver) SendRecordsAfterUpdate();
  m_dwPreparationEnded = GetTickCount();
  m_bPreparing = false;
}

bool CQM_TWBootloaderDlg::QueuedDuringPreparation() const {
  // A command sent by another thread happens now; a click or key was queued at its message
  // time, on the same clock as GetTickCount.
  if (InSendMessage()) return false;
  return static_cast<LONG>(static_cast<DWORD>(GetMessageTime()) - m_dwPreparationEnded) <= 0;
}

void CQM_TWBootloaderDlg::OnTimer(UINT_PTR nIDEvent) {
  // A tick generated before the hand-over killed the timer must not rebuild the list while
  // the worker writes.
  if (!IsUpdateRunning()) RefreshDeviceList();
  CDialogEx::OnTimer(nIDEvent);
}

void CQM_TWBootloaderDlg::RefreshDeviceList() {
  CallOnDialogThread([this] { m_devices.Refresh(); });
}

// ---- the update procedure's host ---------------------------------------------------------

bool CQM_TWBootloaderDlg::IsUpdateRunning() const {
  return InterlockedCompareExchange(const_cast<volatile LONG*>(&m_bUpdateRunning), 0, 0) != 0;
}

bool CQM_TWBootloaderDlg::OnDialogThread() const {
  return GetWindowThreadProcessId(m_hWnd, nullptr) == GetCurrentThreadId();
}

void CQM_TWBootloaderDlg::CallOnDialogThread(const std::function<void()>& call) {
  CallOnWindowThread(m_hWnd, UM_CALL_ON_DIALOG_THREAD, call);
}

LRESULT CQM_TWBootloaderDlg::OnCallOnDialogThread(WPARAM, LPARAM lParam) { return RunSentCall(m_hWnd, lParam); }

void CQM_TWBootloaderDlg::ShowMessage(const std::wstring& text) {
  CallOnDialogThread([&] { MessageBox(text.c_str(), nullptr, MB_OK); });
}

void CQM_TWBootloaderDlg::SetStatusText(const std::wstring& text) {
  CallOnDialogThread([&] { SetDlgItemText(IDC_STATUS, text.c_str()); });
}

void CQM_TWBootloaderDlg::ShowStatus(bool shown) {
  CallOnDialogThread([&] { ::ShowWindow(GetDlgItem(IDC_STATUS), shown ? SW_SHOW : SW_HIDE); });
}

void CQM_TWBootloaderDlg::ShowProgress(bool shown) {
  CallOnDialogThread([&] { m_progress.ShowWindow(shown ? SW_SHOW : SW_HIDE); });
}

void CQM_TWBootloaderDlg::SetProgressRange(int upper) {
  CallOnDialogThread([&] { m_progress.SetRange(0, static_cast<WORD>(upper)); });
}

void CQM_TWBootloaderDlg::SetProgressPos(int position) {
  CallOnDialogThread([&] { m_progress.SetPos(position); });
}

void CQM_TWBootloaderDlg::Pause(DWORD milliseconds) {
  if (OnDialogThread()) {
    PauseKeepingPainted(milliseconds);
  } else {
    Sleep(milliseconds);
  }
}

void CQM_TWBootloaderDlg::PauseKeepingPainted(DWORD milliseconds) {
  // The preparation waits up to about three minutes on this thread. Paint messages are
  // handled so the progress is seen and Windows does not ghost the window as not responding;
  // so are the timer messages of the progress bar's own window, which with visual styles
  // animates its rise on timers of its own: Windows delivers a window's timers only through
  // the queue of the thread that owns it, this one. Input and the dialog's refresh timer stay
  // queued, so nothing else runs before the preparation ends. Messages sent by other threads
  // are handled by PeekMessage itself.
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&message);
    while (m_progress.m_hWnd != nullptr && PeekMessageW(&message, m_progress.m_hWnd, WM_TIMER, WM_TIMER, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(end - now, kPaintSliceMs));
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_PAINT | QS_TIMER | QS_SENDMESSAGE, 0);
  }
}

bool CQM_TWBootloaderDlg::GetSelection(DeviceSelection& selection) { return m_devices.GetSelection(selection); }

void CQM_TWBootloaderDlg::EnableInputs(bool enabled) {
  CallOnDialogThread([&] {
    m_btnSelect.EnableWindow(enabled);
    m_btnDownload.EnableWindow(enabled);
    m_editFile.EnableWindow(enabled);
    m_listDevices.EnableWindow(enabled);
  });
}

void CQM_TWBootloaderDlg::SetRefreshTimer(bool running) {
  CallOnDialogThread([&] {
    if (running) {
      SetTimer(kRefreshTimer, kRefreshPeriodMs, nullptr);
    } else {
      KillTimer(kRefreshTimer);
    }
  });
}

void CQM_TWBootloaderDlg::SetUpdateRunning(bool running) {
  // Windows takes a shutdown reason only from the thread that made the window.
  if (running) {
    InterlockedExchange(&m_bUpdateRunning, 1);
    CallOnDialogThread([&] {
      m_bHandedOver = true;
      ShutdownBlockReasonCreate(m_hWnd, texts::kShutdownBlocked);
    });
  } else {
    CallOnDialogThread([&] { ShutdownBlockReasonDestroy(m_hWnd); });
    InterlockedExchange(&m_bUpdateRunning, 0);
    // The worker's last step, after the final message.
    CallOnDialogThread([&] { SendRecordsAfterUpdate(); });
  }
}

void CQM_TWBootloaderDlg::SendRecordsAfterUpdate() {
  m_bUpdateEnded = true;
  m_recordsSender.Send();
}

LRESULT CQM_TWBootloaderDlg::OnRecordsSent(WPARAM, LPARAM) {
  bool failed = false;
  for (const OutboxSendResult& result : m_recordsSender.TakeResults()) failed = failed || !result.failure.empty();
  // Told in the status box once an update has given the dialog back, once per start; while
  // another update runs the box is its, and the send after that one tells it.
  if (!failed || m_bRecordNotSentShown || !m_bUpdateEnded || m_bPreparing || IsUpdateRunning()) return 0;
  m_bRecordNotSentShown = true;
  SetDlgItemText(IDC_STATUS, kRecordNotSent);
  ::ShowWindow(GetDlgItem(IDC_STATUS), SW_SHOW);
  return 0;
}

LRESULT CQM_TWBootloaderDlg::OnQueryEndSession(WPARAM, LPARAM) {
  // A logoff, shutdown or restart would end the process in the middle of a write.
  return IsUpdateRunning() ? FALSE : TRUE;
}

void CQM_TWBootloaderDlg::SetStage(const std::wstring& stage) {
  CallOnDialogThread([&] { m_strStage = stage; });
}

bool CQM_TWBootloaderDlg::RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) {
  const bool recorded = KeepUpdateRecord(record);
  const bool succeeded = outcome == UpdateOutcome::kSucceeded;
  CallOnDialogThread([&] {
    m_bRecorded = true;
    m_taskbar->SetState(m_hWnd, succeeded ? TaskbarState::kNone : TaskbarState::kError);
  });
  return recorded;
}

DWORD WINAPI CQM_TWBootloaderDlg::WorkerThread(LPVOID dialog) {
  auto* self = static_cast<CQM_TWBootloaderDlg*>(dialog);
  return UpdateWorker(*self, self->m_session);
}

bool CQM_TWBootloaderDlg::StartWorker() {
  HANDLE thread = CreateThread(nullptr, 0, &CQM_TWBootloaderDlg::WorkerThread, this, 0, nullptr);
  if (thread == nullptr) return false;
  // Nobody waits for the worker: closing is refused until its last step instead.
  CloseHandle(thread);
  return true;
}

// ---- progress notifications of the DFU library ---------------------------------------------

void CQM_TWBootloaderDlg::ShowProgressPass(WPARAM units, const wchar_t* suffix) {
  const std::wstring text = m_strStage + suffix;
  m_progress.ShowWindow(SW_SHOW);
  ::ShowWindow(GetDlgItem(IDC_STATUS), SW_SHOW);
  // The range message has 16 bits per bound: n = 0 wraps to 65535, as the library expects.
  m_wProgressUpper = static_cast<WORD>(units - 1);
  m_progress.SetRange(0, m_wProgressUpper);
  m_progress.SetPos(0);
  SetDlgItemText(IDC_STATUS, text.c_str());
  m_taskbar->SetState(m_hWnd, TaskbarState::kNormal);
  m_taskbar->SetValue(m_hWnd, 0, m_wProgressUpper);
}

void CQM_TWBootloaderDlg::HideProgress() {
  m_progress.ShowWindow(SW_HIDE);
  ::ShowWindow(GetDlgItem(IDC_STATUS), SW_HIDE);
  m_taskbar->SetState(m_hWnd, TaskbarState::kNone);  // as the bar itself
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
  // A value would bring the taskbar's progress back once the update has ended.
  if (IsUpdateRunning()) m_taskbar->SetValue(m_hWnd, wParam, m_wProgressUpper);
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
