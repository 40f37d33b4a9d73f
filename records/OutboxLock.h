// The outbox's cross-process lock: an exclusive lock on a file of its own beside it
// ("outbox.csv.lock"), which is never replaced as the outbox is. Every reader and writer of the
// outbox holds it, in whichever process, so an append never meets a rewrite half done.
#pragma once

#include <windows.h>

#include <string>

class OutboxLock {
 public:
  // Waits up to about five seconds for another holder; Held() says whether it was taken.
  explicit OutboxLock(const std::wstring& outboxPath);
  ~OutboxLock();
  OutboxLock(const OutboxLock&) = delete;
  OutboxLock& operator=(const OutboxLock&) = delete;

  bool Held() const { return m_held; }

 private:
  HANDLE m_file = INVALID_HANDLE_VALUE;
  OVERLAPPED m_whole = {};
  bool m_held = false;
};
