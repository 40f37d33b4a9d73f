// Waiting on a thread that owns windows. Windows expects every top-level window to answer: a
// thread that does not handle its messages for seconds stalls the programs that broadcast to
// all windows, and holds up the end of the session.
#pragma once

#include <windows.h>

// Lets the time pass (INFINITE: until object is set) while this thread's messages are handled
// as they come; returns once object is set, after the messages queued before.
void WaitAnsweringMessages(HANDLE object, DWORD milliseconds);
void WaitAnsweringMessages(DWORD milliseconds);
