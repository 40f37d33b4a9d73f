// A real window on its own thread that records the DFU notifications it receives, as the
// program's dialog does while its worker thread calls the library.
#pragma once

#include <windows.h>

#include <mutex>
#include <ostream>
#include <thread>
#include <vector>

struct Notification {
  UINT message;
  WPARAM position;
  bool operator==(const Notification& other) const {
    return message == other.message && position == other.position;
  }
};
std::ostream& operator<<(std::ostream& out, const Notification& notification);

class NotificationWindow {
 public:
  NotificationWindow();
  ~NotificationWindow();
  NotificationWindow(const NotificationWindow&) = delete;
  NotificationWindow& operator=(const NotificationWindow&) = delete;

  HWND hwnd() const { return window_; }
  std::vector<Notification> received() const;
  // True when every notification was handled by the window's own thread.
  bool HandledOnWindowThread() const;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Run(HANDLE ready);

  std::thread thread_;
  HWND window_ = nullptr;
  DWORD window_thread_ = 0;
  mutable std::mutex mutex_;
  std::vector<Notification> received_;  // written by the window's thread
  bool foreign_thread_seen_ = false;
};
