#include "ui/WindowThreadCall.h"

#include "dfu/DfuApi.h"

void CallOnWindowThread(HWND window, UINT message, const std::function<void()>& call) {
  if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
    call();
    return;
  }
  SendMessageW(window, message, 0, reinterpret_cast<LPARAM>(&call));
}

LRESULT RunSentCall(HWND window, LPARAM call) {
  MSG queued;
  while (PeekMessageW(&queued, window, UM_DFU_WRITE_BEGIN, UM_DFU_PROGRESS, PM_REMOVE)) DispatchMessageW(&queued);
  (*reinterpret_cast<const std::function<void()>*>(call))();
  return 0;
}
