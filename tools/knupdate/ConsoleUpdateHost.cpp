#include "tools/knupdate/ConsoleUpdateHost.h"

#include "dfu/DfuApi.h"
#include "ui/MessagePump.h"
#include "ui/WindowThreadCall.h"
#include "procedure/ProcedureTexts.h"
#include "procedure/UpdateWorker.h"
#include "text/LineFeed.h"

namespace {

constexpr wchar_t kClassName[] = L"KnConsoleUpdate";
constexpr UINT kCallOnMainThread = WM_APP + 1;
constexpr wchar_t kDeviceTypeUnknown[] = L"The file is for a device type the updater does not know!";
constexpr wchar_t kConfirm[] = L"Go on with the bootloader update? Type y and Enter to go on:";

}  // namespace

ConsoleUpdateHost::ConsoleUpdateHost(ConsoleOutput& out, DeviceList& devices, UpdateSession& session,
                                     RunControl& control, RunRecords& records, bool confirmed)
    : m_out(out), m_devices(devices), m_session(session), m_control(control), m_records(records), m_confirmed(confirmed) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &ConsoleUpdateHost::WindowProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);
  m_window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), this);
}

ConsoleUpdateHost::~ConsoleUpdateHost() {
  if (m_window != nullptr) DestroyWindow(m_window);
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

void ConsoleUpdateHost::BeginUpdate() {
  m_lastStatus.clear();
  m_stage.clear();
  m_records.BeginUpdate();
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
}

bool ConsoleUpdateHost::ConfirmBootloaderUpdate() {
  ShowMessage(texts::kBootloaderWarning);
  if (m_confirmed) return true;
  m_out.Line(kConfirm);
  const std::wstring answer = m_out.ReadLine();
  if (answer == L"y" || answer == L"Y") return true;
  m_out.Line(texts::kStopped);
  return false;
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
    if (text == m_lastStatus) return;  // the status box shows no change
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
  if (!running) m_control.UpdateEnded();
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

void ConsoleUpdateHost::DeviceTypeUnknown(const std::wstring&) {
  CallOnMainThread([&] { m_out.Line(kDeviceTypeUnknown); });
}

void ConsoleUpdateHost::PackageAccepted(const std::wstring& signer) {
  CallOnMainThread([&] { m_out.Line(signer.empty() ? std::wstring(L"unsigned") : L"signed by " + signer); });
}

bool ConsoleUpdateHost::RecordUpdate(const HistoryRecord& record, UpdateOutcome outcome) {
  return m_records.Add(record, outcome);
}
