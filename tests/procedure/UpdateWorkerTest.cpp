// The firmware download on the bench: the library calls in their order with their arguments,
// what lands in the instrument's memories, every failure with its text, the refusals before
// anything is written, and the fault matrix over every bench fault at every stage.
#include "procedure/UpdateWorker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dfu/DfuLibrary.h"
#include "package/Crc32.h"
#include "package/UnpackedFiles.h"
#include "package/UpdateManifest.h"
#include "procedure/ProcedureTexts.h"
#include "tests/procedure/ProcedureFixture.h"
#include "tests/support/TestFiles.h"

namespace proceduretest {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

// The calls of the update itself: what follows the flash parameters.
std::vector<std::string> WorkerCalls(const std::vector<std::string>& calls) {
  std::vector<std::string> after;
  bool started = false;
  for (const std::string& call : calls) {
    if (started) after.push_back(call);
    if (call.rfind("DFU params ", 0) == 0) started = true;
  }
  return after;
}

class UpdateWorkerTest : public ProcedureFixture {
 public:
  void SetUp() override {
    ProcedureFixture::SetUp();
    AddDefaultInstruments();
    Refresh();
    Select(L"TW 3xx");
  }

  std::string Flash(std::uint32_t address, std::uint32_t length) {
    return Memory(L"tw", sim::Memory::kFlash, address, length);
  }

  bool NothingWritten() {
    return Erased(L"tw", sim::Memory::kFlash, 0, 0x40000) && Erased(L"tw", sim::Memory::kEeprom, 0, 0x1000) &&
           Erased(L"tw", sim::Memory::kNand, 0, 0x10000);
  }

  // The dialog is given back after the worker, whatever happened.
  void ExpectDialogGivenBack(int workerRuns = 1) {
    EXPECT_EQ(m_host.workerRuns, workerRuns);
    EXPECT_TRUE(m_host.inputsEnabled);
    EXPECT_TRUE(m_host.timerRunning);
    EXPECT_FALSE(m_host.updateRunning);
    EXPECT_EQ(m_session.DfuDevice(), 0u);
    EXPECT_EQ(OpenDfuDevices(), 0);
    EXPECT_TRUE(UpdateMarkFree()) << "the ending kept the workstation's mark";
  }
};

// S = 1024, T = 0x40000, A = 0x4000: a program of 0x3C000 bytes goes as 0x3BC00 bytes at
// 0x4000, ending where the last sector begins, and its last 1024 bytes at 0x3FC00. Every image
// is verified; a bootloader goes first at address 0; an empty data or media image is skipped.
struct CallsCase {
  const char* name;
  std::function<void(PackageImages&)> arrange;
  std::vector<std::string> calls;  // the library calls after the flash parameters, in order
};

class WorkerCallsTest : public UpdateWorkerTest, public testing::WithParamInterface<CallsCase> {};

TEST_P(WorkerCallsTest, WritesWhatThePackageHoldsInOrderAndVerified) {
  PackageImages images;
  GetParam().arrange(images);
  Download(MakePackage(images));

  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  EXPECT_EQ(m_host.workerResult, 0u);
  EXPECT_EQ(WorkerCalls(DfuCalls(L"tw")), GetParam().calls);
  EXPECT_EQ(Flash(0x4000, 0x3C000), images.program);
  if (images.bootloader.empty()) {
    EXPECT_TRUE(Erased(L"tw", sim::Memory::kFlash, 0, 0x4000)) << "no bootloader in this package";
  } else {
    EXPECT_EQ(Flash(0, static_cast<std::uint32_t>(images.bootloader.size())), images.bootloader);
  }
  EXPECT_EQ(Memory(L"tw", sim::Memory::kEeprom, 0, 0x200), images.data.empty() ? std::string(0x200, '\xFF') : images.data);
  EXPECT_EQ(Memory(L"tw", sim::Memory::kNand, 0, 0x3000), images.media.empty() ? std::string(0x3000, '\xFF') : images.media);
  ExpectDialogGivenBack();
}

const char kErase[] = "DFU erase id=tw address=0x3FC00 length=0x400 verify=1 window=0 rc=0";
const char kData[] = "DFU write eeprom id=tw address=0x0 length=0x200 verify=1 window=1 rc=0";
const char kMedia[] = "DFU write nand id=tw address=0x0 length=0x3000 verify=1 window=1 rc=0";
const char kProgramBody[] = "DFU write flash id=tw address=0x4000 length=0x3BC00 verify=1 window=1 rc=0";
const char kLastSector[] = "DFU write flash id=tw address=0x3FC00 length=0x400 verify=1 window=0 rc=0";
const char kClosedRestarting[] = "DFU close id=tw flag=1 rc=0";

INSTANTIATE_TEST_SUITE_P(
    Packages, WorkerCallsTest,
    testing::Values(
        CallsCase{"EveryImage", [](PackageImages&) {},
                  {kErase, kData, kMedia, kProgramBody, kLastSector, kClosedRestarting}},
        CallsCase{"ABootloaderGoesFirstAtAddressZero",
                  [](PackageImages& images) { images.bootloader = Pattern(0x3000, 9); },
                  {"DFU write flash id=tw address=0x0 length=0x3000 verify=1 window=1 rc=0", kErase, kData, kMedia,
                   kProgramBody, kLastSector, kClosedRestarting}},
        CallsCase{"EmptyDataAndMediaImagesAreSkipped",
                  [](PackageImages& images) {
                    images.data.clear();
                    images.media.clear();
                  },
                  {kErase, kProgramBody, kLastSector, kClosedRestarting}}),
    [](const testing::TestParamInfo<CallsCase>& info) { return std::string(info.param.name); });

// From their check right before the writes to the end of the writes, the images cannot be
// changed, replaced or removed: the bytes checked are the bytes written.
TEST_F(UpdateWorkerTest, NoOneCanChangeTheImagesWhileTheyAreWritten) {
  PackageImages images;
  int tried = 0;
  m_host.onStage = [&](const std::wstring&) {
    for (const wchar_t* name : {L"program.bin", L"media.bin", L"data.bin"}) {
      const std::wstring path = PackageFolder() + name;
      const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
      EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "opened for writing during the writes";
      if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
      EXPECT_FALSE(DeleteFileW(path.c_str())) << "removed during the writes";
      ++tried;
    }
  };
  Download(MakePackage(images));
  EXPECT_EQ(tried, 3 * 3) << "at each of the three stages";
  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  EXPECT_EQ(Flash(0x4000, 0x3C000), images.program);
  EXPECT_EQ(Memory(L"tw", sim::Memory::kNand, 0, 0x3000), images.media);
  ExpectDialogGivenBack();
}

// From their unpacking to the end of the update the package's files are held: in the minutes
// between the check and the writes (the instrument's switch, its loader's search) nobody can
// change, grow, replace, rename or remove an image, nor hold it open for writing. The bytes
// written are the bytes checked.
TEST_F(UpdateWorkerTest, NobodyCanChangeTheImagesBetweenTheCheckAndTheWrites) {
  PackageImages images;
  images.bootloader = Pattern(0x800, 5);
  int tried = 0;
  std::wstring folder;
  m_host.beforeWorker = [&] {
    folder = PackageFolder();
    for (const wchar_t* name : {L"bootloader.bin", L"data.bin", L"media.bin", L"program.bin", L"info"}) {
      SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
      const std::wstring path = PackageFolder() + name;
      EXPECT_FALSE(testing_support::WriteFileBytes(path, "changed"));
      const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
      EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
      if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
      EXPECT_FALSE(DeleteFileW(path.c_str()));
      EXPECT_FALSE(MoveFileW(path.c_str(), (path + L".old").c_str()));
      EXPECT_EQ(testing_support::ReadFileBytes(path).empty(), false) << "readers are welcome";
      ++tried;
    }
  };
  Download(MakePackage(images));
  EXPECT_EQ(tried, 5);
  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  EXPECT_EQ(Flash(0, 0x800), images.bootloader);
  EXPECT_EQ(Flash(0x4000, 0x3C000), images.program);
  EXPECT_EQ(Memory(L"tw", sim::Memory::kNand, 0, 0x3000), images.media);
  EXPECT_FALSE(folder.empty());
  EXPECT_FALSE(testing_support::DirectoryExists(folder)) << "let go of and removed at the end";
  ExpectDialogGivenBack();
}

// What the dialog shows and does around the writes of a whole update.
TEST_F(UpdateWorkerTest, ShowsEveryPassAndGivesTheDialogBack) {
  PackageImages images;
  images.bootloader = Pattern(0x3000, 9);
  Download(MakePackage(images));

  EXPECT_THAT(m_host.messages, ElementsAre(texts::kBootloaderWarning, texts::kUpdatedSuccessfully));
  // The captions the dialog shows, from the stage the worker set before each write.
  EXPECT_THAT(m_host.captions,
              ElementsAre(L"Bootloader file downloading!", L"Bootloader file verifying!", L"Data file downloading!",
                          L"Data file verifying!", L"Media file downloading!", L"Media file verifying!",
                          L"Program file downloading!", L"Program file verifying!"));
  // The hand-over: the status box and the bar hidden by the wait, then the update marked
  // running, the inputs disabled and the refresh stopped before the worker starts.
  const std::vector<std::wstring>& e = m_host.events;
  const auto running = std::find(e.begin(), e.end(), L"running");
  ASSERT_NE(running, e.end());
  EXPECT_EQ(std::vector<std::wstring>(running - 2, running + 4),
            (std::vector<std::wstring>{L"status hidden", L"progress hidden", L"running", L"inputs disabled",
                                       L"timer stopped", L"worker started"}));
  // Success: the list is refreshed once right away, then every second again.
  const auto success = std::find(e.begin(), e.end(), L"message: Updated successfully!");
  ASSERT_NE(success, e.end());
  EXPECT_EQ(std::vector<std::wstring>(success, e.end()),
            (std::vector<std::wstring>{L"message: Updated successfully!", L"pause 100", L"refresh", L"inputs enabled",
                                       L"timer running", L"not running"}));
  ExpectDialogGivenBack();
}

// ---- nothing is written that cannot be written whole, or that is not what was checked ----

struct Refusal {
  const char* name;
  std::function<void(UpdateWorkerTest&)> changeBeforeTheWorker;
  bool withBootloader;
  const wchar_t* message;
};

class WorkerRefusalTest : public UpdateWorkerTest, public testing::WithParamInterface<Refusal> {};

TEST_P(WorkerRefusalTest, NothingIsWrittenAndTheLastSectorStays) {
  const Refusal& c = GetParam();
  // An application already on the device, which a refused update must leave as it is.
  const std::string installed = Pattern(0x3C000, 77);
  ASSERT_TRUE(bench().WriteMemory(L"tw", sim::Memory::kFlash, 0x4000,
                                  reinterpret_cast<const std::uint8_t*>(installed.data()), 0x3C000));
  PackageImages images;
  if (c.withBootloader) images.bootloader = Pattern(0x800, 5);
  m_host.beforeWorker = [&] { c.changeBeforeTheWorker(*this); };
  Download(MakePackage(images));

  EXPECT_EQ(m_host.messages.back(), c.message);
  EXPECT_FALSE(m_host.Succeeded());
  // The failure's ending: the message, then (with the device closed) the refresh and the inputs.
  EXPECT_EQ(std::vector<std::wstring>(m_host.events.end() - 4, m_host.events.end()),
            (std::vector<std::wstring>{L"message: " + std::wstring(c.message), L"timer running", L"inputs enabled",
                                       L"not running"}));
  EXPECT_THAT(WorkerCalls(DfuCalls(L"tw")), ElementsAre("DFU close id=tw flag=0 rc=0"));
  EXPECT_EQ(Flash(0x4000, 0x3C000), installed);
  EXPECT_TRUE(Erased(L"tw", sim::Memory::kFlash, 0, 0x4000));
  EXPECT_TRUE(Erased(L"tw", sim::Memory::kEeprom, 0, 0x1000));
  EXPECT_TRUE(Erased(L"tw", sim::Memory::kNand, 0, 0x10000));
  ExpectDialogGivenBack(m_host.workerThreadStarts ? 1 : 0);
}

// The session names an image the package check did not unpack and hold: it is not read by name.
void NotHeld(UpdateWorkerTest& test, std::wstring PreparedPackage::*file) {
  PreparedPackage package = test.m_session.Package();
  package.*file = test.PackageFolder() + L"elsewhere.bin";
  test.m_session.SetPackage(package);
}

// The check value the check found no longer matches the held bytes: only the CRC-32 compared
// right before the writes can tell.
void CheckedAs(UpdateWorkerTest& test, std::uint32_t ImageCheckValues::*check) {
  PreparedPackage package = test.m_session.Package();
  package.checks.*check ^= 0x01;
  test.m_session.SetPackage(package);
}

void ShrinkFlash(UpdateWorkerTest& test, std::uint32_t flashTop, std::uint16_t sectorSize) {
  DfuFlashParams params = test.m_session.FlashParams();
  params.flashTop = flashTop;
  params.sectorSize = sectorSize;
  test.m_session.SetFlashParams(params);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, WorkerRefusalTest,
    testing::Values(
        Refusal{"BootloaderNotHeld", [](UpdateWorkerTest& t) { NotHeld(t, &PreparedPackage::bootloaderFile); }, true,
                texts::kBootloaderRead},
        Refusal{"DataNotHeld", [](UpdateWorkerTest& t) { NotHeld(t, &PreparedPackage::dataFile); }, false,
                texts::kDataRead},
        Refusal{"MediaNotHeld", [](UpdateWorkerTest& t) { NotHeld(t, &PreparedPackage::mediaFile); }, false,
                texts::kMediaRead},
        Refusal{"ProgramNotHeld", [](UpdateWorkerTest& t) { NotHeld(t, &PreparedPackage::programFile); }, false,
                texts::kProgramRead},
        Refusal{"BootloaderCheckValue", [](UpdateWorkerTest& t) { CheckedAs(t, &ImageCheckValues::bootloader); }, true,
                texts::kFileCorrupted},
        Refusal{"DataCheckValue", [](UpdateWorkerTest& t) { CheckedAs(t, &ImageCheckValues::data); }, false,
                texts::kFileCorrupted},
        Refusal{"MediaCheckValue", [](UpdateWorkerTest& t) { CheckedAs(t, &ImageCheckValues::media); }, false,
                texts::kFileCorrupted},
        Refusal{"ProgramCheckValue", [](UpdateWorkerTest& t) { CheckedAs(t, &ImageCheckValues::program); }, false,
                texts::kFileCorrupted},
        Refusal{"FilesLetGoOfBeforeTheWorker", [](UpdateWorkerTest& t) { LetGoOfFilesIn(t.PackageFolder()); }, true,
                texts::kBootloaderRead},
        Refusal{"ProgramRunsIntoTheLastSector", [](UpdateWorkerTest& t) { ShrinkFlash(t, 0x3FC00, 1024); }, false,
                texts::kProgramDoesNotFit},
        Refusal{"NoSectorSize", [](UpdateWorkerTest& t) { ShrinkFlash(t, 0x40000, 0); }, false,
                texts::kProgramDoesNotFit},
        Refusal{"WorkerThreadNotStarted", [](UpdateWorkerTest& t) { t.m_host.workerThreadStarts = false; }, false,
                texts::kCannotStartUpdate}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// An image of less than one sector has no sound split into body and last sector.
TEST_F(UpdateWorkerTest, AProgramShorterThanASectorIsRefused) {
  PackageImages images;
  images.program = Pattern(512, 4);
  Download(MakePackage(images));
  EXPECT_EQ(m_host.messages.back(), texts::kProgramDoesNotFit);
  EXPECT_THAT(WorkerCalls(DfuCalls(L"tw")), ElementsAre("DFU close id=tw flag=0 rc=0"));
  ExpectDialogGivenBack();
}

// ---- the library's text in the messages ------------------------------------------------

const char* WINAPI VeryLongErrorText(int) {
  static const std::string text = "flash controller says: " + std::string(2000, 'x') + " (end)";
  return text.c_str();
}

// Longer than any fixed buffer the message could have been made in: shown whole.
TEST_F(UpdateWorkerTest, TheLibrarysTextIsShownWhole) {
  SetKey(L"tw", L"fault.nand.error", L"-13");
  m_host.beforeWorker = [] { pfnLMDFUErrorStringGet = &VeryLongErrorText; };
  Download(MakePackage(PackageImages()));
  EXPECT_EQ(m_host.messages.back(), L"Error flash controller says: " + std::wstring(2000, L'x') +
                                        L" (end) (-13) reported during downloading media file!\n");
  ExpectDialogGivenBack();
}

// With the erase and the error text unbound, the erase counts as -1 and the text is the
// binding's own.
TEST_F(UpdateWorkerTest, UnboundEntryPointsCountAsMinusOne) {
  m_host.beforeWorker = [] {
    pfnLMDFUErase = nullptr;
    pfnLMDFUErrorStringGet = nullptr;
  };
  Download(MakePackage(PackageImages()));
  EXPECT_EQ(m_host.messages.back(), L"Error Driver not installed (-1) reported during erasing of last sector of MCU\n");
  ExpectDialogGivenBack();
}

// ---- the history ------------------------------------------------------------------------

// Every update past the package check leaves one record: what went into which instrument,
// from which package, and how it ended.
TEST_F(UpdateWorkerTest, EachUpdateLeavesOneRecord) {
  PackageImages images;
  images.bootloader = Pattern(0x800, 5);
  const std::wstring package = MakePackage(images);
  Download(package);
  ASSERT_EQ(m_host.records.size(), 1u);
  const HistoryRecord& record = m_host.records[0];
  EXPECT_EQ(record.entry, L"Device 0: TW 3xx");
  EXPECT_EQ(record.package, package);
  EXPECT_EQ(record.deviceType, L"TW 3xx");
  EXPECT_EQ(record.deviceTypeCheck, DeviceTypeCheckValue("TW 3xx"));
  EXPECT_EQ(record.programCheck, m_session.Package().checks.program);
  EXPECT_EQ(record.mediaCheck, m_session.Package().checks.media);
  EXPECT_EQ(record.dataCheck, m_session.Package().checks.data);
  EXPECT_TRUE(record.withBootloader);
  EXPECT_EQ(record.bootloaderCheck, m_session.Package().checks.bootloader);
  EXPECT_EQ(record.result, texts::kUpdatedSuccessfully);
  EXPECT_EQ(record.startedUtc.size(), 20u);

  // A preparation that ends in the status box, one that ends silently, and a package that
  // does not pass its check (no record).
  const struct {
    const wchar_t* key;
    const wchar_t* value;
    const char* type;
    std::vector<std::wstring> records;
  } endings[] = {{L"fault.identify", L"short", "TW 3xx", {texts::kGetDeviceInfoFailed}},
                 {L"fault.identify", L"", "VX 3xx", {L""}},
                 {L"fault.identify", L"", "", {}}};
  for (const auto& ending : endings) {
    SetKey(L"tw", ending.key, ending.value);
    m_host.ClearRecords();
    bench().AdvanceClock(5000);
    Refresh();
    Select(L"TW 3xx");
    PackageImages other;
    other.deviceType = ending.type;
    // No type: no package at all.
    const std::wstring path = std::string(ending.type).empty() ? m_scratch / L"no-such.kn" : MakePackage(other);
    Download(path);
    std::vector<std::wstring> results;
    for (const HistoryRecord& r : m_host.records) results.push_back(r.result);
    EXPECT_EQ(results, ending.records) << ending.type;
  }
}

// A record names the physical unit by the serial number it gave when it was opened for the
// switch; one that names none, or whose string cannot be read, is updated all the same, and a
// loader entry has none (not even the one before it in the same session).
TEST_F(UpdateWorkerTest, ARecordNamesTheInstrumentByItsSerialNumber) {
  const struct {
    const wchar_t* select;
    const char* type;
    const wchar_t* serial;
    const wchar_t* unreadable;
    const wchar_t* recorded;
  } cases[] = {
      {L"TW 3xx", "TW 3xx", L"TW3-000123", L"0", L"TW3-000123"},
      {L"VX 5xx", "VX 5xx", L"TW3-000123", L"0", L""},
      {L"TW 3xx", "TW 3xx", L"", L"0", L""},
      {L"TW 3xx", "TW 3xx", L"TW3-000123", L"1", L""},
  };
  for (const auto& c : cases) {
    SetKey(L"tw", L"serial", c.serial);
    SetKey(L"tw", L"usbSerialUnreadable", c.unreadable);
    m_host.ClearRecords();
    bench().AdvanceClock(5000);
    Refresh();
    Select(c.select);
    PackageImages images;
    images.deviceType = c.type;
    Download(MakePackage(images));
    ASSERT_EQ(m_host.records.size(), 1u) << c.select;
    EXPECT_EQ(m_host.records[0].result, texts::kUpdatedSuccessfully) << c.select << " " << c.serial;
    EXPECT_EQ(m_host.records[0].serial, c.recorded) << c.select << " " << c.serial;
  }
}

// A record that cannot be kept (a full or locked disk) is never lost in silence: the text
// comes after the update's own final message, and the outcome stays the update's.
TEST_F(UpdateWorkerTest, ARecordThatCannotBeKeptIsToldAfterTheFinalMessage) {
  const struct {
    const char* name;
    const wchar_t* key;
    const wchar_t* value;
    std::wstring ending;
    UpdateOutcome outcome;
  } cases[] = {
      {"Success", L"fault.identify", L"", texts::kUpdatedSuccessfully, UpdateOutcome::kSucceeded},
      {"PreparationFailure", L"usbFault.bind", L"31", texts::kCannotOpenDevice, UpdateOutcome::kFailed},
      // Last: it leaves the instrument in its loader.
      {"WriteFailure", L"fault.nand.verifyFailure", L"1", texts::kMediaVerify, UpdateOutcome::kFailed},
  };
  m_host.historyWritable = false;
  for (const auto& c : cases) {
    SetKey(L"tw", c.key, c.value);
    m_host.ClearRecords();
    bench().AdvanceClock(5000);
    Refresh();
    Select(L"TW 3xx");
    Download(MakePackage(PackageImages()));
    EXPECT_THAT(m_host.messages, ElementsAre(c.ending, texts::kHistoryNotWritten)) << c.name;
    EXPECT_THAT(m_host.outcomes, ElementsAre(c.outcome)) << c.name;
    SetKey(L"tw", c.key, L"");
  }
}

// The pauses counted before the first event that is `until`: with the procedure's clock moved
// on by the pauses alone, the time at that event.
std::uint64_t PausedUntil(const std::vector<std::wstring>& events, const std::wstring& until) {
  std::uint64_t paused = 0;
  for (const std::wstring& event : events) {
    if (event == until) return paused;
    if (event.rfind(L"pause ", 0) == 0) paused += std::stoul(event.substr(6));
  }
  ADD_FAILURE() << "no event " << testing::PrintToString(until);
  return 0;
}

// The history's durations: from "Download" to the text the update ended with, by the
// procedure's clock; the outcome is the worker's, not read back from the text.
TEST_F(UpdateWorkerTest, RecordsTheTimeFromDownloadToTheEndingTextAndTheOutcome) {
  Download(MakePackage(PackageImages()));
  ASSERT_EQ(m_host.records.size(), 1u);
  EXPECT_THAT(m_host.outcomes, ElementsAre(UpdateOutcome::kSucceeded));
  EXPECT_EQ(m_host.records[0].durationMs, PausedUntil(m_host.events, L"recorded: Updated successfully!"));
  EXPECT_GE(m_host.records[0].durationMs, 500u + 500u) << "the start's pause and the loader's";

  // A preparation that ends in the status box is timed to that text, not to the pauses after it.
  SetKey(L"tw", L"fault.identify", L"short");
  m_host.ClearRecords();
  bench().AdvanceClock(5000);  // back in application mode
  Refresh();
  Select(L"TW 3xx");
  Download(MakePackage(PackageImages()));
  ASSERT_EQ(m_host.records.size(), 1u);
  EXPECT_THAT(m_host.outcomes, ElementsAre(UpdateOutcome::kFailed));
  const std::wstring ending = m_host.records[0].result;
  EXPECT_EQ(ending, texts::kGetDeviceInfoFailed);
  const bool inStatusBox = std::find(m_host.events.begin(), m_host.events.end(), L"status: " + ending) !=
                           m_host.events.end();
  EXPECT_EQ(m_host.records[0].durationMs,
            PausedUntil(m_host.events, (inStatusBox ? L"status: " : L"message: ") + ending));

  // A failed write is a failure whatever its text says.
  SetKey(L"tw", L"fault.identify", L"");
  SetKey(L"tw", L"fault.nand.error", L"-13");
  m_host.ClearRecords();
  bench().AdvanceClock(5000);
  Refresh();
  Select(L"TW 3xx");
  Download(MakePackage(PackageImages()));
  EXPECT_THAT(m_host.outcomes, ElementsAre(UpdateOutcome::kFailed));
  EXPECT_FALSE(m_host.Succeeded());
}

// ---- a stop before the first write -------------------------------------------------------

// A console's Ctrl+C before anything is written ends the update: while the loader is awaited,
// or right before the first write. Nothing is written, an open device is closed, and after
// the first write a stop is no longer asked for.
TEST_F(UpdateWorkerTest, AStopBeforeTheFirstWriteEndsTheUpdate) {
  int asked = 0;
  bool workerStarting = false;
  const struct {
    const char* name;
    std::function<bool()> stop;  // once true, it stays true
  } stops[] = {{"WhileTheLoaderIsAwaited", [&] { return asked > 3; }},
               {"OnceTheLoaderIsOpen", [&] { return m_session.DfuDevice() != 0; }},
               {"RightBeforeWriting", [&] { return workerStarting; }}};
  for (const auto& stop : stops) {
    SCOPED_TRACE(stop.name);
    asked = 0;
    workerStarting = false;
    bool stopped = false;
    m_host.ClearRecords();
    m_host.stopRequested = [&] {
      ++asked;
      return stopped = stopped || stop.stop();
    };
    m_host.beforeWorker = [&] { workerStarting = true; };
    bench().AdvanceClock(5000);
    Refresh();
    Select(L"TW 3xx");
    ClearTrace();
    Download(MakePackage(PackageImages()));

    ASSERT_FALSE(m_host.messages.empty());
    EXPECT_EQ(m_host.messages.back(), texts::kStopped);
    ASSERT_EQ(m_host.records.size(), 1u);
    EXPECT_EQ(m_host.records[0].result, texts::kStopped);
    for (const std::string& call : DfuCalls(L"tw")) {
      EXPECT_EQ(call.find("write"), std::string::npos) << call;
      EXPECT_EQ(call.find("erase"), std::string::npos) << call;
      EXPECT_EQ(call.find("flag=1"), std::string::npos) << call;
    }
    EXPECT_EQ(OpenDfuDevices(), 0);
    EXPECT_TRUE(m_host.inputsEnabled);
    EXPECT_FALSE(m_host.updateRunning);
  }
  EXPECT_TRUE(NothingWritten());
}

// ---- fault matrix ----------------------------------------------------------------------

struct Fault {
  const char* name;
  std::vector<std::pair<const wchar_t*, const wchar_t*>> settings;  // keys of the "TW 3xx"
  std::wstring message;   // empty: no message box after the bootloader warning
  const wchar_t* status;  // the status text, for the endings shown only there
};

class FaultMatrixTest : public UpdateWorkerTest, public testing::WithParamInterface<Fault> {};

// Every bench fault at every stage: the Part's text, never "Updated successfully!", the DFU
// device closed, the controls enabled and the list refreshing again.
TEST_P(FaultMatrixTest, EndsWithItsTextAndGivesTheDialogBack) {
  const Fault& c = GetParam();
  for (const auto& setting : c.settings) SetKey(L"tw", setting.first, setting.second);
  PackageImages images;
  images.bootloader = Pattern(0x800, 5);
  Download(MakePackage(images));

  EXPECT_FALSE(m_host.Succeeded());
  ASSERT_FALSE(m_host.messages.empty());
  EXPECT_EQ(m_host.messages.front(), texts::kBootloaderWarning);
  if (c.message.empty()) {
    EXPECT_EQ(m_host.messages.size(), 1u);
  } else {
    EXPECT_EQ(m_host.messages.back(), c.message);
  }
  if (c.status != nullptr) {
    EXPECT_EQ(m_host.statusText, c.status);
  }
  EXPECT_TRUE(m_host.inputsEnabled);
  EXPECT_TRUE(m_host.timerRunning);
  EXPECT_FALSE(m_host.updateRunning);
  EXPECT_EQ(OpenDfuDevices(), 0);
  for (const std::string& call : DfuCalls(L"tw")) EXPECT_THAT(call, testing::Not(HasSubstr("flag=1")));
  // A failure after the first write stops the sequence: nothing follows it but the close.
  const std::vector<std::string> calls = WorkerCalls(DfuCalls(L"tw"));
  if (calls.size() >= 2) {
    EXPECT_THAT(calls[calls.size() - 2], testing::Not(HasSubstr(" rc=0")));
    EXPECT_EQ(calls.back(), "DFU close id=tw flag=0 rc=0");
  }
}

const wchar_t* const kNoStatus = nullptr;

INSTANTIATE_TEST_SUITE_P(
    BenchFaults, FaultMatrixTest,
    testing::Values(
        // The instrument's answers in application mode.
        Fault{"IdentifyNoReply", {{L"fault.identify", L"noReply"}}, L"", texts::kGetDeviceInfoFailed},
        Fault{"IdentifyLateReply", {{L"fault.identify", L"lateReply"}}, L"", texts::kGetDeviceInfoFailed},
        Fault{"IdentifyShort", {{L"fault.identify", L"short"}}, L"", texts::kGetDeviceInfoFailed},
        Fault{"IdentifyUnplug", {{L"fault.identify", L"unplug"}}, L"", texts::kGetDeviceInfoFailed},
        // The identify reply is taken unchecked: from a wrong address, the status query goes
        // to nobody.
        Fault{"IdentifyWrongAddress", {{L"fault.identify", L"wrongAddress"}}, L"", texts::kGetDeviceStatusFailed},
        Fault{"StatusNoReply", {{L"fault.status", L"noReply"}}, L"", texts::kGetDeviceStatusFailed},
        Fault{"StatusBadChecksum", {{L"fault.status", L"badChecksum"}}, L"", texts::kGetDeviceStatusFailed},
        Fault{"StatusWrongAddress", {{L"fault.status", L"wrongAddress"}}, L"", texts::kGetDeviceStatusFailed},
        Fault{"StatusNegative", {{L"fault.status", L"negative"}}, L"", texts::kGetDeviceStatusFailed},
        Fault{"StatusShort", {{L"fault.status", L"short"}}, L"", texts::kGetDeviceStatusFailed},
        Fault{"StatusUnplug", {{L"fault.status", L"unplug"}}, L"", texts::kGetDeviceStatusFailed},
        Fault{"UpdateModeNoReply", {{L"fault.updateMode", L"noReply"}}, texts::kCannotEnterUpdateMode, kNoStatus},
        Fault{"UpdateModeLateReply", {{L"fault.updateMode", L"lateReply"}}, texts::kCannotEnterUpdateMode,
              kNoStatus},
        Fault{"UpdateModeUnplug", {{L"fault.updateMode", L"unplug"}}, texts::kCannotEnterUpdateMode, kNoStatus},
        // The USB driver.
        Fault{"ConfigurationRefused", {{L"usbFault.setConfiguration", L"31"}}, texts::kCannotOpenDevice, kNoStatus},
        Fault{"BindRefused", {{L"usbFault.bind", L"31"}}, texts::kCannotOpenDevice, kNoStatus},
        // The DFU loader. The package has a bootloader, so the first flash write is its.
        Fault{"FlashParameters", {{L"fault.params", L"-5"}},
              L"Error Cannot read the flash parameters of the device (-5) reading flash parameters.", kNoStatus},
        Fault{"BootloaderVerify", {{L"fault.flash.verifyFailure", L"1"}}, texts::kBootloaderVerify, kNoStatus},
        Fault{"BootloaderError", {{L"fault.flash.error", L"-13"}},
              L"Error Transfer to the device failed (-13) reported during downloading bootloader!\n", kNoStatus},
        Fault{"BootloaderUnplug", {{L"fault.flash.unplugAfter", L"1024"}},
              L"Error Device disconnected (-12) reported during downloading bootloader!\n", kNoStatus},
        Fault{"EraseError", {{L"fault.erase.error", L"-13"}},
              L"Error Transfer to the device failed (-13) reported during erasing of last sector of MCU\n", kNoStatus},
        // A failed verification of the erase is an erase error, not a verification message.
        Fault{"EraseVerify", {{L"fault.erase.verifyFailure", L"1"}},
              L"Error Verification failed: the data read back differs (-14) reported during erasing of last sector "
              L"of MCU\n",
              kNoStatus},
        Fault{"DataVerify", {{L"fault.eeprom.verifyFailure", L"1"}}, texts::kDataVerify, kNoStatus},
        Fault{"DataError", {{L"fault.eeprom.error", L"-13"}},
              L"Error Transfer to the device failed (-13) reported during downloading data file!\n", kNoStatus},
        Fault{"DataUnplug", {{L"fault.eeprom.unplugAfter", L"0"}},
              L"Error Device disconnected (-12) reported during downloading data file!\n", kNoStatus},
        Fault{"MediaVerify", {{L"fault.nand.verifyFailure", L"1"}}, texts::kMediaVerify, kNoStatus},
        Fault{"MediaError", {{L"fault.nand.error", L"-13"}},
              L"Error Transfer to the device failed (-13) reported during downloading media file!\n", kNoStatus},
        Fault{"MediaUnplug", {{L"fault.nand.unplugAfter", L"4096"}},
              L"Error Device disconnected (-12) reported during downloading media file!\n", kNoStatus},
        Fault{"ProgramVerify", {{L"fault.flash.skip", L"1"}, {L"fault.flash.verifyFailure", L"1"}},
              texts::kProgramVerify, kNoStatus},
        Fault{"ProgramError", {{L"fault.flash.skip", L"1"}, {L"fault.flash.error", L"-13"}},
              L"Error Transfer to the device failed (-13) reported during downloading program file!\n", kNoStatus},
        Fault{"ProgramUnplug", {{L"fault.flash.skip", L"1"}, {L"fault.flash.unplugAfter", L"2048"}},
              L"Error Device disconnected (-12) reported during downloading program file!\n", kNoStatus},
        // The last sector: every failure, -14 included, is the finishing error.
        Fault{"FinishingError", {{L"fault.flash.skip", L"2"}, {L"fault.flash.error", L"-13"}},
              L"Error Transfer to the device failed (-13) reported during finishing process!\n", kNoStatus},
        Fault{"FinishingVerify", {{L"fault.flash.skip", L"2"}, {L"fault.flash.verifyFailure", L"1"}},
              L"Error Verification failed: the data read back differs (-14) reported during finishing process!\n",
              kNoStatus}),
    [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace proceduretest
