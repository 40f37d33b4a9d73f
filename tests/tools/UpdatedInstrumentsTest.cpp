// A station's memory of one instrument through what the list shows after its update: when it is
// still taken for the one updated (not updated again) and when it counts as plugged in anew.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/knupdate/UpdatedInstruments.h"

namespace {

const std::wstring kPath = L"\\\\?\\usb#vid_f055&pid_0001#unit#{guid}";

// What the list shows: the instrument in application mode, and one of its type in the loader.
std::vector<ListedDevice> List(bool listed, bool oneInLoader) {
  std::vector<ListedDevice> entries;
  if (listed) entries.push_back({0, L"Device 0: TW 3xx", {DeviceKind::kApplication, 0}, kPath, L"TW 3xx", 0});
  if (oneInLoader) entries.push_back({1, L"Device 1: TW 3xx", {DeviceKind::kDfu, 0}, std::wstring(), L"TW 3xx", 1});
  return entries;
}

enum class Op { kUpdatedAndBack, kUpdatedNotBack, kFailed, kLook };
enum Shown { kNowhere, kListed, kInLoader };

struct Step {
  Op op;
  Shown shown;
  std::uint64_t at;
  bool kept;  // remembered after the step
  bool leftByOtherProgram = false;
};

struct MemoryCase {
  const char* name;
  std::vector<Step> steps;
};

class UpdatedInstrumentsTest : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(UpdatedInstrumentsTest, RemembersTheInstrumentOncePerPlugIn) {
  UpdatedInstruments memory;
  for (std::size_t i = 0; i < GetParam().steps.size(); ++i) {
    const Step& step = GetParam().steps[i];
    const std::vector<ListedDevice> list = List(step.shown == kListed, step.shown == kInLoader);
    switch (step.op) {
      case Op::kUpdatedAndBack: memory.AddUpdated(kPath, true, step.at); break;
      case Op::kUpdatedNotBack: memory.AddUpdated(kPath, false, step.at); break;
      case Op::kFailed: memory.AddFailed(kPath, list, step.at); break;
      case Op::kLook: memory.Forget(list, step.leftByOtherProgram, step.at); break;
    }
    EXPECT_EQ(memory.Contains(kPath), step.kept) << "step " << i;
  }
}

constexpr std::uint64_t kSettle = UpdatedInstruments::kSettleMs, kComeBack = UpdatedInstruments::kRestartAfterOtherProgramMs;

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdatedInstrumentsTest,
    testing::Values(
        MemoryCase{"BackAfterItsUpdateUntilUnplugged",
                   {{Op::kUpdatedAndBack, kListed, 0, true}, {Op::kLook, kListed, 600000, true},
                    {Op::kLook, kNowhere, 601000, false}}},
        MemoryCase{"SlowToComeBackKeptForAWhile",
                   {{Op::kUpdatedNotBack, kNowhere, 0, true}, {Op::kLook, kNowhere, kSettle, true},
                    {Op::kLook, kListed, kSettle, true}, {Op::kLook, kListed, 10 * kSettle, true}}},
        MemoryCase{"NeverBackForgotten",
                   {{Op::kUpdatedNotBack, kNowhere, 0, true}, {Op::kLook, kNowhere, kSettle + 1, false}}},
        MemoryCase{"OnItsWayMayBeTheOneInTheLoader",
                   {{Op::kUpdatedNotBack, kNowhere, 0, true}, {Op::kLook, kInLoader, 2 * kSettle, true},
                    {Op::kLook, kNowhere, 2 * kSettle + 1, false}}},
        MemoryCase{"FailedStillListedNotTriedAgainUntilUnplugged",
                   {{Op::kFailed, kListed, 0, true}, {Op::kLook, kListed, 600000, true},
                    {Op::kLook, kNowhere, 601000, false}}},
        MemoryCase{"FailedInItsLoaderUntilUnpluggedThere",
                   {{Op::kFailed, kInLoader, 0, true}, {Op::kLook, kInLoader, 600000, true},
                    {Op::kLook, kNowhere, 601000, false}}},
        MemoryCase{"FailedAndPulledOutTriedAgainWhenPluggedIn", {{Op::kFailed, kNowhere, 0, false}}},
        MemoryCase{"FailedThenUpdatedByAnotherProgramComesBack",
                   {{Op::kFailed, kInLoader, 0, true}, {Op::kLook, kNowhere, 1000, true, true},
                    {Op::kLook, kNowhere, 1000 + kComeBack, true}, {Op::kLook, kListed, 1000 + kComeBack, true},
                    {Op::kLook, kNowhere, 1001 + kComeBack, false}}},
        MemoryCase{"FailedThenUpdatedByAnotherProgramNeverBack",
                   {{Op::kFailed, kInLoader, 0, true}, {Op::kLook, kNowhere, 1000, true, true},
                    {Op::kLook, kNowhere, 1001 + kComeBack, false}}},
        MemoryCase{"AnotherProgramsUpdateWhileItStillWaitsCountsWhenItLeaves",
                   {{Op::kFailed, kInLoader, 0, true}, {Op::kLook, kInLoader, 1000, true, true},
                    {Op::kLook, kNowhere, 2000, true}, {Op::kLook, kListed, 3000, true}}}),
    [](const testing::TestParamInfo<MemoryCase>& info) { return std::string(info.param.name); });

}  // namespace
