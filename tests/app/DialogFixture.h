// The start every dialog test shares: a dialog of the test's own, run modally on the test's
// thread as the program runs it, while the test's script works with it from another thread.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "app/QM_TWBootloaderDlg.h"
#include "tests/app/DialogRun.h"

class DialogFixture : public testing::Test {
 protected:
  // dfuInitResult: what the test kndfu.dll answers to LMDFUInit (a bench's kndfu.dll ignores it).
  explicit DialogFixture(int dfuInitResult = 0) : m_run(dfuInitResult) { m_dialog.emplace(); }

  // Set up before its run: its window does not exist yet.
  CQM_TWBootloaderDlg& dialog() { return *m_dialog; }

  // Runs the dialog until it is closed, then lets it go, so its device list is gone before the
  // test's USB port is. `beforeShown` runs while OnInitDialog may hold boxes open.
  INT_PTR RunDialog(const std::function<void()>& beforeShown, const std::function<void(HWND)>& script) {
    const INT_PTR result = m_run.Run(*m_dialog, beforeShown, script);
    m_dialog.reset();
    return result;
  }
  INT_PTR RunDialog(const std::function<void(HWND)>& script) { return RunDialog([] {}, script); }

  // Esc, and the modal loop ended.
  void CloseWithEsc(HWND window) { PressEscAndWait(window, m_run); }
  bool Closed() const { return m_run.Closed(); }

 private:
  DialogRun m_run;
  std::optional<CQM_TWBootloaderDlg> m_dialog;
};
