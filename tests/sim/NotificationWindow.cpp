#include "tests/sim/NotificationWindow.h"

#include "dfu/DfuApi.h"

namespace {

constexpr const wchar_t* kClassName = L"KnDfuNotificationRecorder";

bool IsDfuNotification(UINT message) {
  return message == UM_DFU_WRITE_BEGIN || message == UM_DFU_VERIFY_BEGIN || message == UM_DFU_PROGRESS ||
         message == UM_DFU_DONE || message == UM_DFU_FAILED;
}

const char* MessageName(UINT message) {
  switch (message) {
    case UM_DFU_WRITE_BEGIN: return "WRITE_BEGIN";
    case UM_DFU_VERIFY_BEGIN: return "VERIFY_BEGIN";
    case UM_DFU_PROGRESS: return "PROGRESS";
    case UM_DFU_DONE: return "DONE";
    case UM_DFU_FAILED: return "FAILED";
  }
  return "?";
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Notification& notification) {
  return out << MessageName(notification.message) << "(" << notification.position << ")";
}

NotificationWindow::NotificationWindow() {
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = std::thread(&NotificationWindow::Run, this, ready);
  WaitForSingleObject(ready, INFINITE);
  CloseHandle(ready);
}

NotificationWindow::~NotificationWindow() {
  if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
  thread_.join();
}

std::vector<Notification> NotificationWindow::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

bool NotificationWindow::HandledOnWindowThread() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !foreign_thread_seen_;
}

void NotificationWindow::Run(HANDLE ready) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &NotificationWindow::Procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClassName;
  RegisterClassW(&window_class);  // fails harmlessly when an earlier window registered it
  window_thread_ = GetCurrentThreadId();
  window_ = CreateWindowExW(0, kClassName, L"DFU notifications", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                            nullptr, GetModuleHandleW(nullptr), this);
  SetEvent(ready);
  if (window_ == nullptr) return;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
}

LRESULT CALLBACK NotificationWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<NotificationWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && IsDfuNotification(message)) {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->received_.push_back(Notification{message, wparam});
    if (GetCurrentThreadId() != self->window_thread_) self->foreign_thread_seen_ = true;
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}
