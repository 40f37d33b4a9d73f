// The progress of a write on the dialog's taskbar button, as Windows shows it since Windows 7:
// the same progress as the bar during each write and verify pass, the error state after a
// failed update until the next "Download", and nothing while idle. Behind this small interface
// so the tests see the calls.
#pragma once

#include <windows.h>

enum class TaskbarState { kNone, kNormal, kError };

class TaskbarProgress {
 public:
  virtual ~TaskbarProgress() = default;
  virtual void SetState(HWND window, TaskbarState state) = 0;
  virtual void SetValue(HWND window, ULONGLONG done, ULONGLONG total) = 0;
};

// Through the shell's ITaskbarList3. Created, used and destroyed on the dialog's thread, whose
// COM apartment it lives in. Where there is no taskbar (or an older Windows) it does nothing.
class SystemTaskbarProgress : public TaskbarProgress {
 public:
  SystemTaskbarProgress() = default;
  ~SystemTaskbarProgress() override;
  SystemTaskbarProgress(const SystemTaskbarProgress&) = delete;
  SystemTaskbarProgress& operator=(const SystemTaskbarProgress&) = delete;

  void SetState(HWND window, TaskbarState state) override;
  void SetValue(HWND window, ULONGLONG done, ULONGLONG total) override;

 private:
  bool Ready();

  struct ITaskbarList3* m_list = nullptr;
  bool m_tried = false;
  bool m_comStarted = false;
};
