#include "ui/MessagePump.h"

namespace {

void DispatchQueued() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

}  // namespace

void WaitAnsweringMessages(HANDLE object, DWORD milliseconds) {
  const bool forever = milliseconds == INFINITE;
  const ULONGLONG end = GetTickCount64() + (forever ? 0 : milliseconds);
  for (;;) {
    DispatchQueued();
    const ULONGLONG now = GetTickCount64();
    if (!forever && now >= end) return;
    const DWORD wait = forever ? INFINITE : static_cast<DWORD>(end - now);
    const DWORD count = object != nullptr ? 1 : 0;
    if (MsgWaitForMultipleObjects(count, count != 0 ? &object : nullptr, FALSE, wait, QS_ALLINPUT) == WAIT_OBJECT_0 &&
        count != 0) {
      DispatchQueued();  // what came before the object was set
      return;
    }
  }
}

void WaitAnsweringMessages(DWORD milliseconds) { WaitAnsweringMessages(nullptr, milliseconds); }
