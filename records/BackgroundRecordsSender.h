// Sends the outbox on a thread of its own, so no update and no window ever waits for the
// department's database (a server that is away takes a login time-out of a few seconds).
//
// A send asked for while one runs follows it once, so a record kept meanwhile goes too. The
// thread and what it reports live apart from the sender: a sender may go (its dialog closed)
// while a send runs; that send ends on its own, or with the process. Every step of a send is
// safe to cut: the outbox is replaced in one step, and a record leaves it only once the
// database has committed it, where a second send finds it stored.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "records/OutboxSender.h"

class BackgroundRecordsSender {
 public:
  BackgroundRecordsSender();
  ~BackgroundRecordsSender();  // does not wait for a send
  BackgroundRecordsSender(const BackgroundRecordsSender&) = delete;
  BackgroundRecordsSender& operator=(const BackgroundRecordsSender&) = delete;

  // After each send, message is posted to window (to be handled on the window's own thread,
  // which then takes the results). Any thread; before the first send.
  void NotifyWindow(HWND window, UINT message);

  // Starts a send of what waits (SendWaitingRecords), or one more after the one running.
  void Send();
  // Waits until no send runs, up to milliseconds; true when none runs.
  bool WaitUntilIdle(DWORD milliseconds);
  // The results of the sends that ended since the last call, oldest first.
  std::vector<OutboxSendResult> TakeResults();

 private:
  struct State;
  // The thread's loop: it holds the state, whoever else has let go of it.
  static void SendWhileAsked(const std::shared_ptr<State>& state);
  static DWORD WINAPI SendThread(LPVOID share);

  std::shared_ptr<State> m_state;
};
