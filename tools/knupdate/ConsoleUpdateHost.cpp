#include "tools/knupdate/ConsoleUpdateHost.h"

#include "dfu/DfuApi.h"
#include "history/UpdateHistory.h"
#include "host/MessagePump.h"
#include "host/WindowThreadCall.h"
#include "procedure/ProcedureTexts.h"
#include "procedure/UpdateWorker.h"
#include "text/LineFeed.h"

namespace {

constexpr wchar_t kClassName[] = L"KnConsoleUpdate";
constexpr wchar_t kGuardClassName[] = L"KnUpdateSessionGuard";
constexpr UINT kCallOnMainThread = WM_APP + 1;
constexpr wchar_t kMustFinish[] =
    L"The update must finish: the firmware is being written, and stopping now could leave the instrument unusable.";
constexpr wchar_t kStoppingText[] = L"Stopping: the update ends before anything is written.";
constexpr wchar_t kRunStoppingText[] = L"Stopping: no further instrument is updated.";
constexpr wchar_t kDeviceTypeUnknown[] = L"The file is for a device type the updater does not know!";
constexpr wchar_t kConfirm[] = L"Go on with the bootloader update? Type y and Enter to go on:";

}  // namespace

ConsoleUpdateHost::ConsoleUpdateHost(ConsoleOutput& out, DeviceList& devices, bool confirmed)
    : m_out(out),
      m_devices(devices),
      m_confirmed(confirmed),
      m_ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &ConsoleUpdateHost::WindowProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);
  m_window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), this);
  WNDCLASSW guardClass = {};
  guardClass.lpfnWndProc = &ConsoleUpdateHost::GuardProcedure;
  guardClass.hInstance = GetModuleHandleW(nullptr);
  guardClass.lpszClassName = kGuardClassName;
  RegisterClassW(&guardClass);
}

ConsoleUpdateHost::~ConsoleUpdateHost() {
  if (m_sessionGuard != nullptr) DestroyWindow(m_sessionGuard);
  if (m_window != nullptr) DestroyWindow(m_window);
  if (m_ended != nullptr) CloseHandle(m_ended);
}

LRESULT CALLBACK ConsoleUpdateHost::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<ConsoleUpdateHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && message >= UM_DFU_WRITE_BEGIN && message <= UM_DFU_PROGRESS) {
    self->OnNotification(message, wParam);
    return 0;
  }
  if (message == kCallOnMainThread) return RunSentCall(window, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

void ConsoleUpdateHost::CallOnMainThread(const std::function<void()>& call) {
  CallOnWindowThread(m_window, kCallOnMainThread, call);
}

void ConsoleUpdateHost::AllowClosing(bool allowed) {
  HWND console = GetConsoleWindow();
  if (console == nullptr) return;
  HMENU menu = GetSystemMenu(console, FALSE);
  if (menu != nullptr) EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | (allowed ? MF_ENABLED : MF_GRAYED));
}

LRESULT CALLBACK ConsoleUpdateHost::GuardProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_QUERYENDSESSION) return FALSE;  // only while the firmware is written: it exists only then
  return DefWindowProcW(window, message, wParam, lParam);
}

void ConsoleUpdateHost::GuardSession(bool guarded) {
  // A message-only window hears nothing of the session: the guard is a top-level window, never
  // shown. Windows takes its shutdown reason only from the thread that made it.
  CallOnMainThread([&] {
    if (guarded && m_sessionGuard == nullptr) {
      m_sessionGuard = CreateWindowExW(WS_EX_TOOLWINDOW, kGuardClassName, L"knupdate", WS_POPUP, 0, 0, 0, 0, nullptr,
                                       nullptr, GetModuleHandleW(nullptr), nullptr);
      if (m_sessionGuard != nullptr) ShutdownBlockReasonCreate(m_sessionGuard, texts::kShutdownBlocked);
    } else if (!guarded && m_sessionGuard != nullptr) {
      ShutdownBlockReasonDestroy(m_sessionGuard);
      DestroyWindow(m_sessionGuard);
      m_sessionGuard = nullptr;
    }
  });
}

void ConsoleUpdateHost::OnNotification(UINT message, WPARAM wParam) {
  switch (message) {
    case UM_DFU_WRITE_BEGIN:
    case UM_DFU_VERIFY_BEGIN:
      SetStatusText(m_stage + (message == UM_DFU_WRITE_BEGIN ? L" downloading!" : L" verifying!"));
      m_out.BeginProgress(static_cast<unsigned>(wParam & 0xFFFF));
      break;
    case UM_DFU_PROGRESS: m_out.Progress(static_cast<unsigned>(wParam)); break;
    case UM_DFU_DONE:
    case UM_DFU_FAILED: m_out.EndProgress(); break;
    default: break;
  }
}

void ConsoleUpdateHost::ShowMessage(const std::wstring& text) {
  CallOnMainThread([&] { m_out.Lines(WithoutFinalLineFeed(text)); });
  if (text != texts::kBootloaderWarning || m_confirmed) return;
  // The warning asks for a yes before the update goes on; anything else stops it.
  m_out.Line(kConfirm);
  const std::wstring answer = m_out.ReadLine();
  if (answer != L"y" && answer != L"Y") {
    int expected = kPreparing;
    m_state.compare_exchange_strong(expected, kStopping);
  }
}

void ConsoleUpdateHost::Pause(DWORD milliseconds) {
  if (GetWindowThreadProcessId(m_window, nullptr) == GetCurrentThreadId()) {
    WaitAnsweringMessages(milliseconds);
  } else {
    Sleep(milliseconds);
  }
}

void ConsoleUpdateHost::SetStatusText(const std::wstring& text) {
  CallOnMainThread([&] {
    if (text == m_lastStatus) return;
    m_lastStatus = text;
    m_out.Line(text);
  });
}

void ConsoleUpdateHost::SetStage(const std::wstring& stage) {
  CallOnMainThread([&] { m_stage = stage; });
}

void ConsoleUpdateHost::RefreshDeviceList() {
  CallOnMainThread([&] { m_devices.Refresh(); });  // the list box is this thread's
}

void ConsoleUpdateHost::SetUpdateRunning(bool running) {
  if (running) return;
  m_state = m_run ? kIdle : kEnded;
  AllowClosing(true);
  GuardSession(false);
}

DWORD WINAPI ConsoleUpdateHost::WorkerThread(LPVOID host) {
  auto* self = static_cast<ConsoleUpdateHost*>(host);
  return UpdateWorker(*self, self->m_session);
}

bool ConsoleUpdateHost::StartWorker() {
  HANDLE worker = CreateThread(nullptr, 0, &ConsoleUpdateHost::WorkerThread, this, 0, nullptr);
  if (worker == nullptr) return false;
  // This thread handles the library's notifications and the worker's calls until it ends.
  WaitAnsweringMessages(worker, INFINITE);
  CloseHandle(worker);
  return true;
}

bool ConsoleUpdateHost::BeginWriting() {
  int expected = kPreparing;
  if (!m_state.compare_exchange_strong(expected, kWriting)) return false;
  AllowClosing(false);
  GuardSession(true);
  return true;
}

void ConsoleUpdateHost::DeviceTypeUnknown(const std::wstring&) {
  CallOnMainThread([&] { m_out.Line(kDeviceTypeUnknown); });
}

void ConsoleUpdateHost::PackageAccepted(const std::wstring& signer) {
  CallOnMainThread([&] { m_out.Line(signer.empty() ? std::wstring(L"unsigned") : L"signed by " + signer); });
}

bool ConsoleUpdateHost::RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) {
  const bool recorded = AppendHistoryRecord(HistoryFilePath(), record);
  m_outcome = outcome;
  m_lastRecord = record;
  if (!recorded) m_historyLost = true;
  return recorded;
}

void ConsoleUpdateHost::Finished() {
  m_state = kEnded;
  AllowClosing(true);
  GuardSession(false);
  SetEvent(m_ended);
}

void ConsoleUpdateHost::BeginRun() {
  m_run = true;
  m_state = kIdle;
}

bool ConsoleUpdateHost::BeginUpdate() {
  m_outcome = UpdateOutcome::kFailed;
  m_lastRecord = HistoryRecord();
  m_lastStatus.clear();
  m_stage.clear();
  ResetEvent(m_ended);
  // Under the lock the Ctrl+C handler takes: a stop it asks for while this update begins
  // either comes before (no update begins) or finds the update preparing.
  std::lock_guard<std::mutex> lock(m_eventMutex);
  if (m_runStopRequested.load()) return false;
  m_state = kPreparing;
  return true;
}

void ConsoleUpdateHost::EndUpdate() {
  m_state = kIdle;
  AllowClosing(true);
  GuardSession(false);
  SetEvent(m_ended);
}

void ConsoleUpdateHost::EndRunOnRequest() {
  {
    std::lock_guard<std::mutex> lock(m_eventMutex);
    if (m_state.load() == kWriting) {
      if (!m_runStopRequested.exchange(true)) m_out.Line(kRunStoppingText);
      return;
    }
  }
  OnConsoleEvent(CTRL_C_EVENT);
}

bool ConsoleUpdateHost::OnConsoleEvent(DWORD event) {
  int state = kIdle;
  {
    std::lock_guard<std::mutex> lock(m_eventMutex);
    if (m_state.compare_exchange_strong(state, kIdle)) {
      if (!m_runStopRequested.exchange(true)) m_out.Line(kRunStoppingText);
      return true;
    }
    state = kPreparing;
    if (m_state.compare_exchange_strong(state, kStopping)) {
      m_out.Line(kStoppingText);
      m_runStopRequested = true;
      state = kStopping;
    }
  }
  if (state == kEnded) return false;  // nothing left to protect
  // The console is closing, or the session ending: Windows ends the process a few seconds after
  // this returns, so no further instrument may be begun meanwhile.
  if (m_run && event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && !m_runStopRequested.exchange(true)) {
    m_out.Line(kRunStoppingText);
  }
  if (state == kWriting) m_out.Line(kMustFinish);
  // A console that is being closed ends the process as soon as this returns: hold it until the
  // update has stopped or ended. Windows ends it a few seconds later all the same, which is why
  // the close box is greyed while the firmware is written.
  if (event == CTRL_CLOSE_EVENT) WaitForSingleObject(m_ended, INFINITE);
  return true;
}
