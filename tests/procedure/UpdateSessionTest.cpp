// What an update carries from stage to stage, and the record it leaves.
#include "procedure/UpdateSession.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SetClock : public Clock {
 public:
  std::uint64_t Milliseconds() const override { return now; }
  std::wstring UtcTimestamp() const override { return L"2026-12-10T15:04:05Z"; }
  std::uint64_t now = 0;
};

// The record of an ended update: the package check's result as it was, the entry, the time
// from "Download" to the end, and the text on one line (the line feed some texts end in
// shapes a message box).
TEST(UpdateSessionTest, AFinishedRecordHoldsThePackageTheEntryAndTheDuration) {
  SetClock clock;
  UpdateSession session(clock);
  clock.now = 7000;
  session.Begin();
  session.SetEntry(L"Device 0: TW 3xx");
  PreparedPackage package;
  package.packagePath = L"C:\\packages\\tw.kn";
  package.deviceType = L"TW 3xx";
  package.deviceTypeCheck = 11;
  package.checks = {22, 33, 44, 55};
  package.withBootloader = true;
  package.signedImages.signer = L"Maker";
  session.SetPackage(package);
  clock.now = 7000 + 18250;
  const HistoryRecord record =
      session.FinishedRecord(L"Error Device disconnected (-12) reported during downloading media file!\n");
  EXPECT_EQ(record.result, L"Error Device disconnected (-12) reported during downloading media file!");
  EXPECT_EQ(record.startedUtc, L"2026-12-10T15:04:05Z");
  EXPECT_EQ(record.entry, L"Device 0: TW 3xx");
  EXPECT_EQ(record.package, L"C:\\packages\\tw.kn");
  EXPECT_EQ(record.deviceType, L"TW 3xx");
  EXPECT_EQ(record.deviceTypeCheck, 11u);
  EXPECT_EQ(record.programCheck, 22u);
  EXPECT_EQ(record.mediaCheck, 33u);
  EXPECT_EQ(record.dataCheck, 44u);
  EXPECT_EQ(record.bootloaderCheck, 55u);
  EXPECT_TRUE(record.withBootloader);
  EXPECT_EQ(record.signer, L"Maker");
  EXPECT_EQ(record.serial, L"");
  session.SetSerial(L"TW3-000123");
  EXPECT_EQ(session.FinishedRecord(L"x").serial, L"TW3-000123");
  EXPECT_EQ(record.durationMs, 18250u);
  EXPECT_EQ(session.FinishedRecord(L"x", 7000 + 5).durationMs, 5u) << "ended at a given time";
}

}  // namespace
