// Hands a call from the update worker to the thread that owns a host's window. Windows lets
// only that thread touch its controls and timers.
#pragma once

#include <windows.h>

#include <functional>

// Runs `call` on the window's thread: directly when already there, else sent as `message`,
// whose handler must be RunSentCall. Sent, not posted: the worker goes on only once the
// window's thread has done it, which keeps the order of the worker's endings.
void CallOnWindowThread(HWND window, UINT message, const std::function<void()>& call);

// The handler for CallOnWindowThread's message. A library that posts its notifications may
// still have some of its last call queued: they came before this call (a new stage, the
// outcome), so they are dispatched first. (One that sends them has none left.)
LRESULT RunSentCall(HWND window, LPARAM call);
