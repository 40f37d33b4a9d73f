// While the firmware is written, a console program must not be closed, and the session must
// not end: a firmware cut short can leave the instrument unusable. Windows ends a process
// whose console is closed a few seconds after its handler returns, whatever the handler does,
// so the console's close box is greyed instead. A console program that uses windows gets no
// logoff or shutdown event: a hidden top-level window of its own answers Windows' question.
#pragma once

#include <windows.h>

class WritingGuard {
 public:
  // Made on the thread that handles this process's messages: the guard window is that
  // thread's, and Windows takes a shutdown reason only from the thread that made the window.
  WritingGuard();
  ~WritingGuard();
  WritingGuard(const WritingGuard&) = delete;
  WritingGuard& operator=(const WritingGuard&) = delete;

  // From any thread; the work is carried over to the thread that made the guard.
  void Engage();
  void Release();

 private:
  static LRESULT CALLBACK CallProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK GuardProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Set(bool engaged);  // on the thread that made the guard

  HWND m_callWindow = nullptr;  // message-only, for the calls of other threads
  HWND m_guardWindow = nullptr;  // exists only while engaged
};
