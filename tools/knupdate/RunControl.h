// Whether a console update, or a run of several, may go on: Ctrl+C, the console's closing and
// the session's end stop an update before its first write, are refused while the firmware is
// written, and end a run of several between two updates. A typed q ends a run too.
//
// Threads: the main thread begins and ends updates and the run; the worker's thread begins
// the writes and ends its update; the console handler's thread and a station's input reader
// ask for the stop. Every field says which of them write it.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>

#include "tools/knupdate/ConsoleOutput.h"
#include "tools/knupdate/WritingGuard.h"

class RunControl {
 public:
  enum class Form {
    kOneUpdate,       // knupdate update --device: nothing to protect before or after it
    kSeveralUpdates,  // --all, a station: a stop between two updates ends the run
  };

  // Made on the main thread (see WritingGuard).
  RunControl(ConsoleOutput& out, Form form);
  ~RunControl();
  RunControl(const RunControl&) = delete;
  RunControl& operator=(const RunControl&) = delete;

  // Main thread. Another update begins; false, and none begins, once the run is to end.
  bool BeginUpdate();
  // The update has ended, however (the worker's thread at its last step, or the main thread).
  void UpdateEnded();
  // Main thread: the run is over; nothing is left to protect.
  void RunEnded();

  // Worker's thread, right before the first write: false when a stop came first. After true
  // every stop is refused until the update has ended.
  bool BeginWriting();
  // The update under way is to stop before anything is written.
  bool StopRequested() const { return m_state.load() == kStopping; }
  // No further update of the run is to begin.
  bool RunStopRequested() const { return m_runStopRequested.load(); }

  // Console handler's thread: Ctrl+C, Ctrl+Break, the console's closing, the session's end.
  // True when the event was taken care of here (false: the process ends as Windows ends it).
  bool OnConsoleEvent(DWORD event);
  // A station's input reader: the run's end asked for otherwise than by Ctrl+C (a typed q):
  // the same, except that while the firmware is written the run ends after the update instead
  // of going on.
  void EndRunOnRequest();

 private:
  enum State { kIdle, kPreparing, kStopping, kWriting, kEnded };
  void End(State next);

  ConsoleOutput& m_out;
  const Form m_form;
  WritingGuard m_guard;  // engaged by the worker's thread, released by whichever ends the update
  // Written by all four threads; changes that must not cross each other are made under
  // m_eventMutex.
  std::atomic<int> m_state{kIdle};
  // Written by the console handler's thread and the input reader; read by the main thread.
  std::atomic<bool> m_runStopRequested{false};
  std::mutex m_eventMutex;  // a console event and the begin of an update, one at a time
  // Set once the update has ended (by whichever thread ends it), for a console that is being
  // closed: its handler holds the process until then.
  HANDLE m_ended;
};
