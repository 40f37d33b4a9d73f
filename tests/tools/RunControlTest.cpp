// Ctrl+C, Ctrl+Break, the console's closing and a typed q, against a console update or a run
// of several: a stop before the first write, refused during the writes, and the run's end
// between two updates.
#include "tools/knupdate/RunControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// One update: a stop before the first write, refused after it; nothing is left to protect
// once the run has ended.
TEST(RunControlTest, OneUpdateStopsBeforeTheFirstWriteAndIsRefusedAfter) {
  ConsoleOutput out;
  {
    RunControl control(out, RunControl::Form::kOneUpdate);
    ASSERT_TRUE(control.BeginUpdate());
    EXPECT_TRUE(control.OnConsoleEvent(CTRL_C_EVENT));
    EXPECT_TRUE(control.StopRequested());
    EXPECT_FALSE(control.BeginWriting());
  }
  {
    RunControl control(out, RunControl::Form::kOneUpdate);
    ASSERT_TRUE(control.BeginUpdate());
    EXPECT_TRUE(control.BeginWriting());
    EXPECT_TRUE(control.OnConsoleEvent(CTRL_C_EVENT));
    EXPECT_TRUE(control.OnConsoleEvent(CTRL_BREAK_EVENT));
    EXPECT_FALSE(control.StopRequested());
    control.RunEnded();
    EXPECT_FALSE(control.OnConsoleEvent(CTRL_C_EVENT)) << "nothing left to protect";
    EXPECT_FALSE(control.OnConsoleEvent(CTRL_CLOSE_EVENT));
  }
}

// Ctrl+C between two updates of a run ends it; during the writes it is refused, and after
// them it ends the run.
TEST(RunControlTest, CtrlCEndsARunBetweenUpdates) {
  ConsoleOutput out;
  RunControl idle(out, RunControl::Form::kSeveralUpdates);
  EXPECT_TRUE(idle.OnConsoleEvent(CTRL_C_EVENT)) << "taken care of, not the end of the process";
  EXPECT_TRUE(idle.RunStopRequested());

  RunControl writing(out, RunControl::Form::kSeveralUpdates);
  ASSERT_TRUE(writing.BeginUpdate());
  EXPECT_TRUE(writing.BeginWriting());
  EXPECT_TRUE(writing.OnConsoleEvent(CTRL_C_EVENT));
  EXPECT_FALSE(writing.RunStopRequested()) << "refused while the firmware is written";
  writing.UpdateEnded();
  EXPECT_TRUE(writing.OnConsoleEvent(CTRL_BREAK_EVENT));
  EXPECT_TRUE(writing.RunStopRequested());
}

// A run whose update is writing the firmware.
class RunWritingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_control.BeginUpdate());
    ASSERT_TRUE(m_control.BeginWriting());
  }

  ConsoleOutput m_out;
  RunControl m_control{m_out, RunControl::Form::kSeveralUpdates};
};

// The console closing during the writes: the handler holds the process until the update has
// ended, and the run begins no further instrument in the seconds Windows leaves it after.
TEST_F(RunWritingTest, AClosingConsoleEndsTheRunAfterTheUpdate) {
  std::atomic<bool> returned{false};
  std::thread handler([&] {
    EXPECT_TRUE(m_control.OnConsoleEvent(CTRL_CLOSE_EVENT));
    returned = true;
  });
  Sleep(200);
  EXPECT_FALSE(returned) << "returned while the firmware was written";
  m_control.UpdateEnded();
  handler.join();
  EXPECT_TRUE(m_control.RunStopRequested());
  EXPECT_FALSE(m_control.BeginUpdate()) << "no further update begins";
}

// A typed q while the firmware is written does not stop the update, but is not lost either: the
// run ends after it.
TEST_F(RunWritingTest, AnEndAskedForDuringTheWritesEndsTheRunAfterTheUpdate) {
  m_control.EndRunOnRequest();
  EXPECT_FALSE(m_control.StopRequested()) << "the writes stopped";
  EXPECT_TRUE(m_control.RunStopRequested());
  m_control.UpdateEnded();
  EXPECT_FALSE(m_control.BeginUpdate());
}

}  // namespace
