// Runs the real dialog modally on the test's thread, as the program does, while a second
// thread looks at it and operates it like a person.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "app/QM_TWBootloaderDlg.h"
#include "sim/operator/DialogDriver.h"

constexpr wchar_t kTitle[] = L"Firmware updater";

// Runs the dialog on this thread and `script` on another; the script gets the dialog's
// window once it is shown. Whatever the script leaves open is dismissed so DoModal returns.
class DialogRun {
 public:
  explicit DialogRun(int dfuInitResult) {
    SetEnvironmentVariableW(L"KN_TEST_DFU_INIT", std::to_wstring(dfuInitResult).c_str());
  }
  ~DialogRun() { SetEnvironmentVariableW(L"KN_TEST_DFU_INIT", nullptr); }

  // `beforeShown` runs first (while OnInitDialog may hold boxes open); `script` once the
  // dialog is visible.
  INT_PTR Run(CQM_TWBootloaderDlg& dialog, const std::function<void()>& beforeShown,
              const std::function<void(HWND)>& script) {
    const DWORD pid = GetCurrentProcessId();
    std::thread driver([&] {
      beforeShown();
      HWND window = dialog_driver::WaitFor([&] { return dialog_driver::FindDialog(pid, kTitle); });
      EXPECT_NE(window, nullptr) << "the dialog never showed";
      if (window != nullptr) script(window);
      // Clean-up after a failed step: nothing may keep the modal loop alive.
      if (!m_closed) {
        // A worker still running uses the dialog: let it end (its boxes answered) first.
        dialog_driver::WaitUntil(
            [&] {
              dialog_driver::DismissPopups(pid, window);
              return !dialog.IsUpdateRunning();
            },
            120000);
        dialog.SetUpdateRunning(false);
        if (window != nullptr) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
      }
    });
    const INT_PTR result = dialog.DoModal();
    m_closed = true;
    driver.join();
    return result;
  }

  INT_PTR Run(CQM_TWBootloaderDlg& dialog, const std::function<void(HWND)>& script) {
    return Run(dialog, [] {}, script);
  }

  bool Closed() const { return m_closed; }

 private:
  std::atomic<bool> m_closed{false};
};

// Closes the dialog with Esc and waits for the modal loop to end.
inline void PressEscAndWait(HWND window, const DialogRun& run) {
  dialog_driver::PressKey(window, VK_ESCAPE);
  EXPECT_TRUE(dialog_driver::WaitUntil([&] { return run.Closed(); })) << "Esc did not close the dialog";
}

