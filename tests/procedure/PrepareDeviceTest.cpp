// The preparation of an update on the bench: every way it can end, the status polls and the
// wait for the DFU loader in counted time, and which DFU device it takes.
#include "procedure/PrepareDevice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "devlink/DeviceLink.h"
#include "procedure/ProcedureTexts.h"
#include "tests/procedure/ProcedureFixture.h"

namespace proceduretest {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

// ---- the endings -----------------------------------------------------------------------

struct Ending {
  const char* name;
  std::function<void(ProcedureFixture&)> arrange;  // after the default bench is listed
  const char* packageType;
  std::vector<std::wstring> messages;
  const wchar_t* status;  // null: the status box was never shown
  bool statusShown;
  bool progressShown;
  int progressPos;
  int statusPolls;  // pauses of 1000 ms
  int dfuAttempts;  // pauses of 100 ms
};

class PreparationEndingTest : public ProcedureFixture, public testing::WithParamInterface<Ending> {};

// Selects the "TW 3xx" (model 4181, status ready at the first poll) unless arranged otherwise.
TEST_P(PreparationEndingTest, EndsWithItsTextAndLeavesTheDialogUsable) {
  const Ending& c = GetParam();
  AddDefaultInstruments();
  Refresh();
  Select(L"TW 3xx");
  c.arrange(*this);
  PackageImages images;
  images.deviceType = c.packageType;
  Download(MakePackage(images));

  EXPECT_EQ(m_host.messages, c.messages);
  if (c.status == nullptr) {
    EXPECT_THAT(m_host.events, testing::Not(testing::Contains(L"status shown")));
  } else {
    EXPECT_EQ(m_host.statusText, c.status);
  }
  EXPECT_EQ(m_host.statusShown, c.statusShown);
  EXPECT_EQ(m_host.progressShown, c.progressShown);
  EXPECT_EQ(m_host.progressPos, c.progressPos);
  EXPECT_EQ(m_host.PausesOf(1000), c.statusPolls);
  EXPECT_EQ(m_host.PausesOf(100), c.dfuAttempts);
  EXPECT_EQ(m_host.events.front(), L"pause 500");

  // Nothing was handed over; the dialog is as it was, the link and every DFU device closed.
  EXPECT_EQ(m_host.workerRuns, 0);
  EXPECT_TRUE(m_host.inputsEnabled);
  EXPECT_TRUE(m_host.timerRunning);
  EXPECT_FALSE(m_host.updateRunning);
  EXPECT_FALSE(DeviceLink::Device.IsOpen());
  EXPECT_FALSE(DeviceLink::ReadPipe.IsOpen());
  EXPECT_FALSE(DeviceLink::WritePipe.IsOpen());
  EXPECT_EQ(OpenDfuDevices(), 0);
  EXPECT_THAT(DfuCalls(L"tw"), testing::Each(testing::Not(HasSubstr("write"))));
  EXPECT_FALSE(m_session.UpdateMarkHeld());
  EXPECT_TRUE(UpdateMarkFree()) << "the ending kept the workstation's mark";
}

const std::wstring kCannotOpen = texts::kCannotOpenDevice;

INSTANTIATE_TEST_SUITE_P(
    Endings, PreparationEndingTest,
    testing::Values(
        Ending{"NoSelection", [](ProcedureFixture& f) { f.SelectNothing(); }, "TW 3xx", {texts::kNoDevice}, nullptr,
               false, false, 0, 0, 0},
        Ending{"WrongDevice", [](ProcedureFixture& f) { f.Select(L"QM 5xx"); }, "TW 3xx", {texts::kNotForDevice},
               nullptr, false, false, 0, 0, 0},
        Ending{"TypeOfNoListedFamilyEndsSilently", [](ProcedureFixture& f) { f.Select(L"QM 5xx"); }, "VX 3xx", {},
               nullptr, false, false, 0, 0, 0},
        Ending{"CaseMatters", [](ProcedureFixture&) {}, "tw 3xx", {}, nullptr, false, false, 0, 0, 0},
        // Only the product text counts, never the rest of the entry "Device 0: TW 3xx\n".
        Ending{"TypeFoundOnlyAroundTheProductEndsSilently", [](ProcedureFixture&) {}, "Device", {}, nullptr, false,
               false, 0, 0, 0},
        Ending{"NumberFoundOnlyAroundTheProductEndsSilently", [](ProcedureFixture&) {}, "0:", {}, nullptr, false,
               false, 0, 0, 0},
        Ending{"EmptyTypeIsNoInstruments", [](ProcedureFixture&) {}, "", {texts::kNotForDevice}, nullptr, false,
               false, 0, 0, 0},
        Ending{"DeviceGoneSinceTheRefresh",
               [](ProcedureFixture& f) { f.bench().SetMode(L"tw", sim::Mode::kAbsent); }, "TW 3xx", {kCannotOpen},
               nullptr, false, false, 0, 0, 0},
        Ending{"ConfigurationRefused",
               [](ProcedureFixture& f) { f.SetKey(L"tw", L"usbFault.setConfiguration", L"31"); }, "TW 3xx",
               {kCannotOpen}, nullptr, false, false, 0, 0, 0},
        Ending{"SecondOpenRefused", [](ProcedureFixture& f) { f.SetKey(L"tw", L"usbFault.secondOpen", L"32"); },
               "TW 3xx", {kCannotOpen}, nullptr, false, false, 0, 0, 0},
        Ending{"ConfigurationInfoRefused",
               [](ProcedureFixture& f) { f.SetKey(L"tw", L"usbFault.configurationInfo", L"31"); }, "TW 3xx",
               {kCannotOpen}, nullptr, false, false, 0, 0, 0},
        Ending{"PipeCannotBeBound", [](ProcedureFixture& f) { f.SetKey(L"tw", L"usbFault.bind", L"31"); }, "TW 3xx",
               {kCannotOpen}, nullptr, false, false, 0, 0, 0},
        Ending{"IdentifyReplyTooShort", [](ProcedureFixture& f) { f.SetKey(L"tw", L"fault.identify", L"short"); },
               "TW 3xx", {}, texts::kGetDeviceInfoFailed, true, false, 0, 0, 0},
        Ending{"StatusRefused", [](ProcedureFixture& f) { f.SetKey(L"tw", L"fault.status", L"negative"); },
               "TW 3xx", {}, texts::kGetDeviceStatusFailed, true, true, 0, 0, 0},
        Ending{"StatusNeverReady", [](ProcedureFixture& f) { f.SetKey(L"tw", L"statusReadyAfter", L"1000"); },
               "TW 3xx", {}, texts::kStatusTimeOut, true, true, 60, 60, 0},
        Ending{"StatusFailsWhilePolled",
               [](ProcedureFixture& f) {
                 f.SetKey(L"tw", L"statusReadyAfter", L"5");
                 f.m_host.onPause = [&f](DWORD ms) {
                   f.bench().AdvanceClock(ms);
                   if (ms == 1000) f.SetKey(L"tw", L"fault.status", L"badChecksum");
                 };
               },
               "TW 3xx", {}, texts::kGetDeviceStatusFailed, true, true, 1, 1, 0},
        Ending{"LoggerRunning", [](ProcedureFixture& f) { f.SetKey(L"tw", L"runState", L"2"); }, "TW 3xx",
               {texts::kLoggerRunning}, texts::kLoggerRunning, true, true, 0, 0, 0},
        Ending{"LoggerRunningAndNeverReady",
               [](ProcedureFixture& f) {
                 f.SetKey(L"tw", L"runState", L"1");
                 f.SetKey(L"tw", L"statusReadyAfter", L"1000");
               },
               "TW 3xx", {texts::kLoggerRunning}, texts::kLoggerRunning, true, true, 60, 60, 0},
        Ending{"UpdateModeRefused", [](ProcedureFixture& f) { f.SetKey(L"tw", L"fault.updateMode", L"unplug"); },
               "TW 3xx", {texts::kCannotEnterUpdateMode}, texts::kCheckDeviceStatus, true, true, 0, 0, 0},
        Ending{"UpdateModeRefusedUncheckedModel",
               [](ProcedureFixture& f) {
                 f.bench().SetMode(L"vx", sim::Mode::kAbsent);  // a loader of the same family would keep it from being switched
                 f.Refresh();
                 f.Select(L"QM 5xx");
                 f.SetKey(L"qm", L"fault.updateMode", L"unplug");
               },
               "QM 5xx", {texts::kCannotEnterUpdateMode}, texts::kCheckDeviceStatus, true, false, 0, 0, 0},
        Ending{"LoaderNeverAppears",
               [](ProcedureFixture& f) {
                 // On the bus for two days; after the switch it stays away for one.
                 f.SetKey(L"tw", L"modeChangedAt", std::to_wstring(f.bench().ClockMs() - 2 * 86400000LL));
                 f.SetKey(L"tw", L"reenumerationMs", L"86400000");
               },
               "TW 3xx",
               {texts::kInstallDfuDriver}, texts::kWaitDfuDriver, false, false, 1199, 0, 1200},
        Ending{"FlashParametersUnreadable",
               [](ProcedureFixture& f) { f.SetKey(L"tw", L"fault.params", L"-5"); }, "TW 3xx",
               {L"Error Cannot read the flash parameters of the device (-5) reading flash parameters."},
               texts::kWaitDfuDriver, false, false, 1199, 0, 15},
        Ending{"ListedDfuDeviceGone",
               [](ProcedureFixture& f) {
                 f.Select(L"VX 5xx");
                 f.bench().SetMode(L"vx", sim::Mode::kAbsent);
               },
               "QM 5xx", {texts::kInstallDfuDriver}, texts::kWaitDfuDriver, false, false, 1199, 0, 1200},
        Ending{"ListedDfuDeviceReplaced",
               [](ProcedureFixture& f) {
                 f.Select(L"VX 5xx");
                 f.SetKey(L"vx", L"product", L"VX 5xx rev B");
               },
               "QM 5xx", {kCannotOpen}, texts::kWaitDfuDriver, false, false, 0, 0, 0}),
    [](const testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

// ---- counted time ----------------------------------------------------------------------

// The default bench's "TW 3xx" is ready at its third status poll and re-enumerates in 1.5 s:
// two polls of a second, fifteen attempts of 100 ms, and it is the same for every update on
// the same bench, since its polls count from its last start.
TEST_F(ProcedureFixture, PollsAndWaitsInCountedTime) {
  AddDefaultInstruments();
  SetKey(L"tw", L"statusReadyAfter", L"3");
  for (int update = 1; update <= 2; ++update) {
    SCOPED_TRACE(testing::Message() << "update " << update);
    m_host.ClearRecords();
    bench().AdvanceClock(2000);  // back in application mode after the last update
    Refresh();
    Select(L"TW 3xx");
    Download(MakePackage(PackageImages()));

    EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
    EXPECT_EQ(m_host.PausesOf(1000), 2);
    EXPECT_EQ(m_host.PausesOf(100), 15 + 1) << "fifteen attempts, and the worker's pause after its success";
    // Status: positions 0, 1, 2; the wait: 0, then 0 .. 14, then 1198 and 1199.
    std::vector<int> expected = {0, 1, 2, 0};
    for (int attempt = 0; attempt < 15; ++attempt) expected.push_back(attempt);
    expected.push_back(1198);
    expected.push_back(1199);
    EXPECT_EQ(m_host.positions, expected);
  }
}

// Model 4181 already ready at its first read: no poll, and the switch follows at once.
TEST_F(ProcedureFixture, StatusReadyAtOnceGoesStraightToTheSwitch) {
  AddDefaultInstruments();
  Refresh();
  Select(L"TW 3xx");
  Download(MakePackage(PackageImages()));
  EXPECT_EQ(m_host.PausesOf(1000), 0);
  std::vector<std::string> requests;
  for (const std::string& frame : UsbFrames()) {
    if (frame.rfind("OUT tw ", 0) == 0) requests.push_back(frame);
  }
  EXPECT_THAT(requests, ElementsAre("OUT tw ep02 00 05 41 BA 00", "OUT tw ep02 01 09 03 FF 01 00 00 F3 00",
                                    "OUT tw ep02 00 05 41 BA 00", "OUT tw ep02 01 07 09 01 04 EA 00"));
}

// The bulk IN endpoint carries the replies and the bulk OUT endpoint the requests, whatever
// their order in the configuration; an interrupt endpoint is left alone.
TEST_F(ProcedureFixture, BulkPipesAreBoundByDirection) {
  AddDefaultInstruments();
  SetKey(L"tw", L"usbEndpoints", L"interrupt:83,bulk:02,bulk:81");
  Refresh();
  Select(L"TW 3xx");
  Download(MakePackage(PackageImages()));
  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  const std::vector<std::string> frames = UsbFrames();
  ASSERT_FALSE(frames.empty());
  for (const std::string& frame : frames) {
    EXPECT_TRUE(frame.rfind("OUT tw ep02 ", 0) == 0 || frame.rfind("IN tw ep81 ", 0) == 0) << frame;
  }
}

// A model that is not status-checked: identify, then the switch.
TEST_F(ProcedureFixture, OtherModelsAreSwitchedWithoutAStatusRead) {
  AddDefaultInstruments();
  bench().SetMode(L"vx", sim::Mode::kAbsent);  // a loader of the same family would keep it from being switched
  Refresh();
  Select(L"QM 5xx");
  PackageImages images;
  images.deviceType = "QM 5xx";
  Download(MakePackage(images));
  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  std::vector<std::string> requests;
  for (const std::string& frame : UsbFrames()) {
    if (frame.rfind("OUT qm ", 0) == 0) requests.push_back(frame);
  }
  EXPECT_THAT(requests, ElementsAre("OUT qm ep02 00 05 41 BA 00", "OUT qm ep02 00 05 41 BA 00",
                                    "OUT qm ep02 02 07 09 01 04 E9 00"));
  EXPECT_THAT(m_host.events, testing::Not(testing::Contains(L"range 60")));
}

// ---- which DFU device is written -------------------------------------------------------

// On a real bus the switched instrument takes its place among the DFU devices by bus order:
// on the default bench it becomes DFU device 0 and the VX 5xx device 1. The firmware must go
// into the TW 3xx, not into the device that was next after the listed ones.
TEST_F(ProcedureFixture, TheSwitchedInstrumentIsTheOneWritten) {
  AddDefaultInstruments();
  Refresh();
  EXPECT_EQ(m_devices.DfuProducts(), std::vector<std::wstring>{L"VX 5xx"});
  Select(L"TW 3xx");
  ClearTrace();
  Download(MakePackage(PackageImages()));

  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  EXPECT_THAT(DfuCalls(L"tw"), testing::Contains(HasSubstr("DFU write flash id=tw address=0x4000")));
  EXPECT_THAT(DfuCalls(L"vx"), testing::Each(testing::AnyOf(HasSubstr("DFU open"), HasSubstr("close id=vx flag=0"))));
  EXPECT_TRUE(Erased(L"vx", sim::Memory::kFlash, 0, 0x40000));
  EXPECT_EQ(OpenDfuDevices(), 0);
}

// The product string of the "VX 5xx", there before, fails to read once while the switched
// instrument is awaited: it must not pass for a new arrival and get the firmware.
TEST_F(ProcedureFixture, AOneOffUnreadableProductTextIsReadAgain) {
  AddDefaultInstruments();
  Refresh();
  Select(L"TW 3xx");
  SetKey(L"vx", L"fault.productStringFailures", L"1");
  Download(MakePackage(PackageImages()));

  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  EXPECT_THAT(DfuCalls(L"tw"), testing::Contains(HasSubstr("DFU close id=tw flag=1 rc=0")));
  EXPECT_TRUE(Erased(L"vx", sim::Memory::kFlash, 0, 0x40000));
  EXPECT_EQ(bench().ReadInt(sim::Bench::InstrumentSection(L"vx"), L"fault.productStringFailures", -1), 0);
}

// A switched instrument whose product string cannot be read at all is still found: its
// "<<Unknown>>" is new.
TEST_F(ProcedureFixture, ASwitchedInstrumentWithoutAReadableProductTextIsTaken) {
  AddDefaultInstruments();
  SetKey(L"tw", L"fault.productStringUnreadable", L"1");
  Refresh();
  Select(L"TW 3xx");
  Download(MakePackage(PackageImages()));
  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  EXPECT_THAT(DfuCalls(L"tw"), testing::Contains(HasSubstr("DFU close id=tw flag=1 rc=0")));
}

// An instrument that may be of the package's type already waits in DFU mode, before or after
// the selected one on the bus: the one that arrives could not be told from it, so nothing is
// switched and nothing written, and the technician is told why. (Taking the first new "TW 3xx"
// would write the waiting one when it comes later in bus order, and report success for the one
// left in its loader.) One whose product text cannot be read counts too, whatever its type: a
// switched one that cannot be read either is looked for among such devices, and the k-th
// unreadable one might be the one that waited.
struct LoaderWait {
  const char* name;
  const wchar_t* waitingProduct;
  bool waitingUnreadable;
  bool switchedUnreadable;
  bool waitingFirst;
};

class WaitingInItsLoaderTest : public ProcedureFixture, public testing::WithParamInterface<LoaderWait> {};

TEST_P(WaitingInItsLoaderTest, NothingIsSwitchedWhileOneThatMayBeOfTheTypeWaits) {
  const LoaderWait& c = GetParam();
  {
    sim::Instrument waiting = BenchInstrument(L"twloader", c.waitingProduct, 4181, sim::Mode::kDfu);
    waiting.product_string_unreadable = c.waitingUnreadable;
    sim::Instrument switched = BenchInstrument(L"tw", L"TW 3xx", 4181, sim::Mode::kApplication);
    switched.product_string_unreadable = c.switchedUnreadable;
    Add(c.waitingFirst ? waiting : switched);
    Add(c.waitingFirst ? switched : waiting);
    Refresh();
    const std::wstring waitingEntry = c.waitingUnreadable ? L"Device 1: <<Unknown>>\n" : L"Device 1: TW 3xx\n";
    EXPECT_THAT(Entries(), testing::UnorderedElementsAre(L"Device 0: TW 3xx\n", waitingEntry));
    Select(L"Device 0");
    ClearTrace();
    Download(MakePackage(PackageImages()));

    EXPECT_THAT(m_host.messages, ElementsAre(texts::kAnotherWaitingInDfu));
    EXPECT_THAT(m_host.outcomes, ElementsAre(UpdateOutcome::kFailed));
    EXPECT_EQ(m_host.records.back().result, texts::kAnotherWaitingInDfu);
    EXPECT_THAT(UsbFrames(), IsEmpty()) << "the instrument was told something";
    EXPECT_THAT(DfuCalls(L"twloader"), testing::Each(testing::Not(HasSubstr("write"))));
    EXPECT_THAT(DfuCalls(L"tw"), testing::Each(testing::Not(HasSubstr("write"))));
    EXPECT_TRUE(Erased(L"twloader", sim::Memory::kFlash, 0, 0x40000));
    EXPECT_TRUE(Erased(L"tw", sim::Memory::kFlash, 0, 0x40000));
    sim::Instrument selected;
    ASSERT_TRUE(bench().Load(L"tw", &selected));
    EXPECT_EQ(selected.mode, sim::Mode::kApplication) << "switched";
    EXPECT_EQ(m_host.workerRuns, 0);
    EXPECT_EQ(OpenDfuDevices(), 0);
  }
  if (c.waitingUnreadable) return;  // its entry names no type: it cannot be chosen for the package
  // The waiting one itself is updated from its DFU entry as before.
  Refresh();
  Select(L"Device 1");
  m_host.ClearRecords();
  Download(MakePackage(PackageImages()));
  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  EXPECT_FALSE(Erased(L"twloader", sim::Memory::kFlash, 0x4000, 0x400));
}

INSTANTIATE_TEST_SUITE_P(
    BusOrders, WaitingInItsLoaderTest,
    testing::Values(LoaderWait{"IdenticalWaitingOneFirst", L"TW 3xx", false, false, true},
                    LoaderWait{"IdenticalWaitingOneLast", L"TW 3xx", false, false, false},
                    LoaderWait{"UnreadableWaitingOneFirst", L"QM 5xx", true, false, true},
                    LoaderWait{"UnreadableWaitingOneLast", L"QM 5xx", true, false, false},
                    LoaderWait{"BothUnreadableWaitingOneFirst", L"QM 5xx", true, true, true},
                    LoaderWait{"BothUnreadableWaitingOneLast", L"QM 5xx", true, true, false}),
    [](const testing::TestParamInfo<LoaderWait>& info) { return std::string(info.param.name); });

// The list is a second old, or older: another program's update may since have left an
// instrument of the type in its loader. The loader is read again once the workstation's mark is
// held, and that instrument blocks the switch as one listed would.
TEST_F(ProcedureFixture, OneThatEnteredItsLoaderSinceTheLastRefreshBlocksTheSwitch) {
  AddDefaultInstruments();
  sim::Instrument other = BenchInstrument(L"twother", L"TW 3xx", 4181, sim::Mode::kApplication);
  other.reenumeration_ms = 0;
  Add(other);
  Refresh();
  Select(L"TW 3xx");
  ASSERT_TRUE(bench().SetMode(L"twother", sim::Mode::kDfu));  // after the refresh
  ClearTrace();
  Download(MakePackage(PackageImages()));

  EXPECT_THAT(m_host.messages, ElementsAre(texts::kAnotherWaitingInDfu));
  EXPECT_THAT(UsbFrames(), IsEmpty()) << "the instrument was told something";
  EXPECT_THAT(DfuCalls(L"twother"), testing::Each(testing::Not(HasSubstr("write"))));
}

// The DFU driver is installed while the preparation waits for the switched instrument, well
// after the instrument has come back as a DFU device: the library, bound afresh at every
// attempt, finds it then, and the update goes on.
TEST_F(ProcedureFixture, ADfuDriverInstalledWhileTheWaitRunsIsPickedUp) {
  AddDefaultInstruments();
  Refresh();
  Select(L"TW 3xx");
  ASSERT_TRUE(bench().SetDfuDriver(sim::DfuDriver::kMissing));
  constexpr int kInstalledAfter = 40;  // attempts of 100 ms: past the 1.5 s the switch takes
  int attempts = 0;
  m_host.onPause = [&](DWORD milliseconds) {
    bench().AdvanceClock(milliseconds);
    m_clock.Advance(milliseconds);
    if (milliseconds == 100 && ++attempts == kInstalledAfter) bench().SetDfuDriver(sim::DfuDriver::kPresent);
  };
  Download(MakePackage(PackageImages()));

  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  EXPECT_GE(m_host.PausesOf(100), kInstalledAfter) << "found before the driver was there";
  EXPECT_THAT(DfuCalls(L"tw"), testing::Contains(HasSubstr("DFU close id=tw flag=1 rc=0")));
}

// A library that keeps opening DFU devices is not believed past 128, more than a USB bus can
// carry: one attempt of the wait opens devices 0 to 127 and no further.
TEST_F(ProcedureFixture, AnAttemptOfTheWaitOpensNoMoreThan128DfuDevices) {
  constexpr int kWaiting = 130;
  for (int i = 0; i < kWaiting; ++i) Add(BenchInstrument(L"qm" + std::to_wstring(i), L"QM 5xx", 4100, sim::Mode::kDfu));
  Add(BenchInstrument(L"tw", L"TW 3xx", 4181, sim::Mode::kApplication));
  Refresh();
  Select(L"TW 3xx");
  ClearTrace();
  // Stopped after the first attempt, with the switched one still behind the others.
  m_host.stopRequested = [&] { return m_host.statusText == texts::kWaitDfuDriver && m_host.PausesOf(100) >= 1; };
  Download(MakePackage(PackageImages()));

  EXPECT_THAT(m_host.messages, ElementsAre(texts::kStopped));
  // The wait's attempt: the opens after the instrument was told to switch.
  const std::vector<std::string> trace = TraceLines();
  const auto switched = std::find_if(trace.begin(), trace.end(), [](const std::string& line) {
    return line.rfind("OUT tw ", 0) == 0;
  });
  ASSERT_NE(switched, trace.end());
  int opened = 0;
  for (int i = 0; i < kWaiting; ++i) {
    const std::string open = "DFU open id=qm" + std::to_string(i) + " ";
    const int opens = static_cast<int>(std::count_if(
        switched, trace.end(), [&](const std::string& line) { return line.rfind(open, 0) == 0; }));
    EXPECT_EQ(opens, i < 128 ? 1 : 0) << "device " << i;
    opened += opens;
  }
  EXPECT_EQ(opened, 128);
  EXPECT_EQ(OpenDfuDevices(), 0);
}

// Another instrument turns up in DFU mode during the wait, ahead of the switched one: its
// product text is of another type, so it is closed again and the wait goes on to the right one.
TEST_F(ProcedureFixture, AnotherInstrumentArrivingMeanwhileIsSkipped) {
  sim::Instrument arriving = BenchInstrument(L"qmnew", L"QM 5xx", 4100, sim::Mode::kDfu);
  arriving.mode_changed_at = 1000000000;  // the clock's start: on the bus 0.5 s from now
  arriving.reenumeration_ms = 500;
  Add(arriving);
  AddDefaultInstruments();
  Refresh();
  EXPECT_EQ(m_devices.DfuProducts(), std::vector<std::wstring>{L"VX 5xx"});
  Select(L"TW 3xx");
  Download(MakePackage(PackageImages()));

  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  EXPECT_THAT(DfuCalls(L"qmnew"), testing::Contains(HasSubstr("DFU close id=qmnew flag=0")));
  EXPECT_THAT(DfuCalls(L"qmnew"), testing::Each(testing::Not(HasSubstr("write"))));
  EXPECT_THAT(DfuCalls(L"tw"), testing::Contains(HasSubstr("DFU close id=tw flag=1 rc=0")));
  EXPECT_EQ(OpenDfuDevices(), 0);
}

// A DFU-mode entry is written directly: no USB frame, and DFU device N taken from the entry.
// A package for "QM 5xx" also serves the "VX 5xx".
TEST_F(ProcedureFixture, ADfuEntryIsWrittenDirectly) {
  AddDefaultInstruments();
  Add(BenchInstrument(L"vx2", L"VX 5xx", 4200, sim::Mode::kDfu));
  Refresh();
  EXPECT_THAT(Entries(), ElementsAre(L"Device 0: TW 3xx\n", L"Device 1: QM 5xx\n", L"Device 2: VX 5xx\n",
                                     L"Device 3: VX 5xx\n"));
  Select(L"Device 3");
  ClearTrace();
  PackageImages images;
  images.deviceType = "QM 5xx";
  Download(MakePackage(images));

  EXPECT_THAT(m_host.messages, ElementsAre(texts::kUpdatedSuccessfully));
  EXPECT_THAT(UsbFrames(), IsEmpty());
  EXPECT_THAT(DfuCalls(L"vx2"), testing::Contains(HasSubstr("DFU open id=vx2 index=1 rc=0")));
  EXPECT_THAT(DfuCalls(L"vx2"), testing::Contains(HasSubstr("DFU close id=vx2 flag=1 rc=0")));
  EXPECT_TRUE(Erased(L"vx", sim::Memory::kFlash, 0, 0x40000));
  EXPECT_EQ(m_host.positions, (std::vector<int>{0, 1198, 1199})) << "opened at the first attempt";
}

}  // namespace
}  // namespace proceduretest
