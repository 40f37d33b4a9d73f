// Takes the console's events (Ctrl+C, Ctrl+Break, its closing, the session's end) to a run's
// control for as long as this object lives. Windows calls the handler on a thread of its own,
// at any time: once the route is gone, no call reaches the control, and one under way has
// returned.
#pragma once

#include <windows.h>

#include "tools/knupdate/RunControl.h"

class ConsoleEventRoute {
 public:
  explicit ConsoleEventRoute(RunControl& control);
  ~ConsoleEventRoute();
  ConsoleEventRoute(const ConsoleEventRoute&) = delete;
  ConsoleEventRoute& operator=(const ConsoleEventRoute&) = delete;

  // A station's input reader asks for the run's end (a typed q); nothing when no route is set.
  // The reader may outlive the run: it is left reading until the process ends.
  static void EndRunOnRequest();

 private:
  static BOOL WINAPI OnConsoleEvent(DWORD event);
};
