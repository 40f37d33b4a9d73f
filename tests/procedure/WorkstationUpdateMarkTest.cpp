// The one mark of an update under way on a workstation: taken in one step by one holder at a
// time, let go from any thread, and free again when its holder ended without letting go.
#include "procedure/WorkstationUpdateMark.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class WorkstationUpdateMarkTest : public ::testing::Test {
 protected:
  // A name of this test's own: nothing else on the machine holds it.
  void SetUp() override { SetWorkstationUpdateMarkName(L"Global\\QM_TWBootloader.UpdateUnderWay.test"); }
  void TearDown() override { SetWorkstationUpdateMarkName(std::wstring()); }
};

TEST_F(WorkstationUpdateMarkTest, OneHolderAtATime) {
  WorkstationUpdateMark mine, theirs;
  EXPECT_FALSE(WorkstationUpdateMark::HeldElsewhere());
  ASSERT_TRUE(mine.TryTake());
  EXPECT_TRUE(mine.Held());
  EXPECT_TRUE(mine.TryTake()) << "held already";
  EXPECT_FALSE(theirs.TryTake());
  EXPECT_FALSE(theirs.Held());
  EXPECT_TRUE(WorkstationUpdateMark::HeldElsewhere());
  mine.Release();
  EXPECT_FALSE(mine.Held());
  EXPECT_TRUE(theirs.TryTake());
  EXPECT_FALSE(mine.TryTake());
}

// The preparation takes the mark on the dialog's thread and the worker lets go of it on its own.
TEST_F(WorkstationUpdateMarkTest, TakenOnOneThreadLetGoOnAnother) {
  WorkstationUpdateMark mark;
  ASSERT_TRUE(mark.TryTake());
  std::thread([&] { mark.Release(); }).join();
  EXPECT_FALSE(mark.Held());
  WorkstationUpdateMark next;
  EXPECT_TRUE(next.TryTake()) << "not let go";
}

// A program that ended while it held the mark (its owning thread gone) leaves it abandoned:
// the next one takes it.
TEST_F(WorkstationUpdateMarkTest, AnAbandonedMarkIsFree) {
  std::thread([] {
    const HANDLE mutex = CreateMutexW(nullptr, TRUE, WorkstationUpdateMarkName().c_str());
    ASSERT_NE(mutex, nullptr);
  }).join();  // ends owning it; the handle stays open, as a crashed program's until it is reaped
  WorkstationUpdateMark next;
  EXPECT_TRUE(next.TryTake());
}

}  // namespace
