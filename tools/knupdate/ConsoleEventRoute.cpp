#include "tools/knupdate/ConsoleEventRoute.h"

namespace {

// The control the events go to. A reader holds the lock shared while it calls the control; the
// route's end takes it exclusively, so it waits for a call under way.
SRWLOCK g_lock = SRWLOCK_INIT;
RunControl* g_control = nullptr;

}  // namespace

ConsoleEventRoute::ConsoleEventRoute(RunControl& control) {
  AcquireSRWLockExclusive(&g_lock);
  g_control = &control;
  ReleaseSRWLockExclusive(&g_lock);
  SetConsoleCtrlHandler(&ConsoleEventRoute::OnConsoleEvent, TRUE);
}

ConsoleEventRoute::~ConsoleEventRoute() {
  SetConsoleCtrlHandler(&ConsoleEventRoute::OnConsoleEvent, FALSE);
  AcquireSRWLockExclusive(&g_lock);
  g_control = nullptr;
  ReleaseSRWLockExclusive(&g_lock);
}

BOOL WINAPI ConsoleEventRoute::OnConsoleEvent(DWORD event) {
  AcquireSRWLockShared(&g_lock);
  const bool handled = g_control != nullptr && g_control->OnConsoleEvent(event);
  ReleaseSRWLockShared(&g_lock);
  return handled ? TRUE : FALSE;
}

void ConsoleEventRoute::EndRunOnRequest() {
  AcquireSRWLockShared(&g_lock);
  if (g_control != nullptr) g_control->EndRunOnRequest();
  ReleaseSRWLockShared(&g_lock);
}
