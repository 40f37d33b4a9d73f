// Our kndfu.dll on a bench, reached through the program's own binding, as the updater uses it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dfu/DfuLibrary.h"
#include "sim/bench/TemporaryBench.h"
#include "sim/kndfu/DfuImage.h"
#include "sim/kndfu/DfuResult.h"
#include "tests/sim/NotificationWindow.h"

namespace {

using sim::Instrument;
using sim::Memory;
using sim::Mode;
using sim::Operation;

constexpr std::int64_t kLongAgo = 0;
constexpr std::uint32_t kNoSuchHandle = 0x7EADBEEF;

// Small memories and blocks so every path runs in a few units.
Instrument DfuInstrument(const std::wstring& id, const std::wstring& product, std::uint32_t model) {
  Instrument instrument = sim::MakeInstrument(id, product, model, Mode::kDfu);
  instrument.mode_changed_at = kLongAgo;
  instrument.reenumeration_ms = 60000;
  instrument.transfer_size = 256;
  instrument.sector_size = 1024;
  instrument.flash_top = 0x8000;
  instrument.app_start_address = 0x1000;
  instrument.eeprom_size = 0x800;
  instrument.nand_size = 0x4000;
  return instrument;
}

std::vector<std::uint8_t> Pattern(std::size_t length, std::uint8_t seed) {
  std::vector<std::uint8_t> data(length);
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(seed + i * 13);
  return data;
}

Notification Begin(std::uint32_t n) { return {UM_DFU_WRITE_BEGIN, n}; }
Notification VerifyBegin(std::uint32_t n) { return {UM_DFU_VERIFY_BEGIN, n}; }
Notification Progress(std::uint32_t position) { return {UM_DFU_PROGRESS, position}; }
const Notification kDone{UM_DFU_DONE, 0};
const Notification kFailed{UM_DFU_FAILED, 0};

std::vector<Notification> Passes(std::uint32_t n, bool verify) {
  std::vector<Notification> expected{Begin(n)};
  for (std::uint32_t i = 0; i < n; ++i) expected.push_back(Progress(i));
  if (!verify) return expected;
  expected.push_back(VerifyBegin(n));
  for (std::uint32_t i = 0; i < n; ++i) expected.push_back(Progress(i));
  return expected;
}

class KndfuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.created());
    ASSERT_TRUE(temp_.Activate());
    ASSERT_EQ(kDfuReady, LoadDfuLibrary());
  }
  void TearDown() override { SetEnvironmentVariableW(sim::Bench::kEnvironmentVariable, nullptr); }

  sim::Bench& bench() { return temp_.bench(); }

  void Add(const Instrument& instrument) { ASSERT_TRUE(bench().Save(instrument)); }

  DfuHandle Open(int index) {
    DfuDeviceInfo info{};
    DfuHandle handle = 0;
    EXPECT_EQ(kndfu::kOk, pfnLMDFUDeviceOpen(index, &info, &handle)) << index;
    return handle;
  }

  std::vector<std::uint8_t> Stored(const std::wstring& id, sim::Memory memory, std::uint32_t address,
                                   std::uint32_t length) {
    std::vector<std::uint8_t> data(length);
    EXPECT_TRUE(bench().ReadMemory(id, memory, address, data.data(), length));
    return data;
  }

  Instrument Reload(const std::wstring& id) {
    Instrument instrument;
    EXPECT_TRUE(bench().Load(id, &instrument));
    return instrument;
  }

  sim::TemporaryBench temp_;
};

// --- start-up -------------------------------------------------------------------------------

struct InitCase {
  const char* scenario;
  std::function<void(sim::TemporaryBench&)> arrange;
  int expected;
};

class KndfuInitTest : public ::testing::TestWithParam<InitCase> {};

TEST_P(KndfuInitTest, ReportsTheDriverStateOfTheBenchEveryTimeItIsCalled) {
  sim::TemporaryBench temp;
  ASSERT_TRUE(temp.created());
  ASSERT_TRUE(temp.Activate());
  GetParam().arrange(temp);
  EXPECT_EQ(GetParam().expected, LoadDfuLibrary());
  EXPECT_EQ(GetParam().expected, pfnLMDFUInit());
  if (GetParam().expected != kDfuReady) {
    DfuDeviceInfo info{};
    DfuHandle handle = 0;
    EXPECT_EQ(kndfu::kNotInitialised, pfnLMDFUDeviceOpen(0, &info, &handle));
  }
  SetEnvironmentVariableW(sim::Bench::kEnvironmentVariable, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Benches, KndfuInitTest,
    ::testing::Values(
        InitCase{"Ready", [](sim::TemporaryBench&) {}, kDfuReady},
        InitCase{"NoBenchVariable",
                 [](sim::TemporaryBench&) { SetEnvironmentVariableW(sim::Bench::kEnvironmentVariable, nullptr); },
                 kDfuDriverNotFound},
        InitCase{"FolderWithoutBench",
                 [](sim::TemporaryBench& temp) {
                   SetEnvironmentVariableW(sim::Bench::kEnvironmentVariable, (temp.folder() + L"\\none").c_str());
                 },
                 kDfuDriverNotFound},
        InitCase{"DriverMissing", [](sim::TemporaryBench& temp) { temp.bench().SetDfuDriver(sim::DfuDriver::kMissing); },
                 kDfuDriverNotFound},
        InitCase{"DriverOutdated",
                 [](sim::TemporaryBench& temp) { temp.bench().SetDfuDriver(sim::DfuDriver::kOutdated); },
                 kDfuWrongDriverVersion}),
    [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.scenario); });

// What the updater's start-up check and its error texts rely on, with nothing set up.
TEST(KndfuLoadedByPathTest, WithoutABenchInitReportsNoDriverAndEveryCodeHasText) {
  SetEnvironmentVariableW(sim::Bench::kEnvironmentVariable, nullptr);
  wchar_t exe[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::wstring path(exe, length);
  path = path.substr(0, path.find_last_of(L'\\') + 1) + L"kndfu.dll";
  HMODULE library = LoadLibraryW(path.c_str());
  ASSERT_NE(nullptr, library);

  const char* names[] = {"LMDFUInit",         "LMDFUDeviceOpen",     "LMDFUDeviceClose",
                         "LMDFUDeviceStringGet", "LMDFUDeviceASCIIStringGet", "LMDFUParamsGet",
                         "LMDFUIsValidImage", "LMDFUDownload",       "LMDFUDownloadBin",
                         "LMDFUWriteNand",    "LMDFUWriteEEP",       "LMDFUErase",
                         "LMDFUBlankCheck",   "LMDFUUpload",         "LMDFUStatusGet",
                         "LMDFUErrorStringGet", "LMDFUModeSwitch",   "LMDFUDevTypeGet"};
  for (const char* name : names) EXPECT_NE(nullptr, reinterpret_cast<void*>(GetProcAddress(library, name))) << name;

  auto init = reinterpret_cast<tLMDFUInit>(reinterpret_cast<void*>(GetProcAddress(library, "LMDFUInit")));
  auto text = reinterpret_cast<tLMDFUErrorStringGet>(
      reinterpret_cast<void*>(GetProcAddress(library, "LMDFUErrorStringGet")));
  ASSERT_NE(nullptr, init);
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(kDfuDriverNotFound, init());

  const std::string generic = text(-1234);
  EXPECT_FALSE(generic.empty());
  EXPECT_EQ(generic, text(7));
  std::vector<std::string> seen;
  for (int code : kndfu::kAllResults) {
    ASSERT_NE(nullptr, text(code));
    const std::string message = text(code);
    EXPECT_FALSE(message.empty()) << code;
    EXPECT_NE(generic, message) << code;
    for (const std::string& other : seen) EXPECT_NE(other, message) << code;
    seen.push_back(message);
  }
}

// --- devices --------------------------------------------------------------------------------

TEST_F(KndfuTest, OpensDfuInstrumentsInBenchOrderOnceTheirReenumerationIsOver) {
  Add(sim::MakeInstrument(L"app", L"TW 3xx", 10, Mode::kApplication));
  Add(DfuInstrument(L"first", L"VX 5xx", 11));
  Add(sim::MakeInstrument(L"gone", L"QM 5xx", 12, Mode::kAbsent));
  Instrument arriving = DfuInstrument(L"arriving", L"VX 5xx", 13);
  arriving.mode_changed_at = sim::Bench::NowMs();
  Add(arriving);
  Instrument arrived = DfuInstrument(L"arrived", L"VX 3xx", 14);
  arrived.mode_changed_at = sim::Bench::NowMs() - 61000;
  Add(arrived);
  Add(DfuInstrument(L"last", L"VX 3xx", 15));

  auto models = [&]() {
    std::vector<std::uint32_t> found;
    for (int k = 0;; ++k) {
      DfuDeviceInfo info{};
      DfuHandle handle = 0;
      if (pfnLMDFUDeviceOpen(k, &info, &handle) != kndfu::kOk) break;
      EXPECT_NE(0u, handle);
      std::uint32_t model = 0;
      EXPECT_EQ(kndfu::kOk, pfnLMDFUDevTypeGet(handle, &model));
      found.push_back(model);
      pfnLMDFUDeviceClose(handle, 0);
    }
    return found;
  };
  EXPECT_EQ((std::vector<std::uint32_t>{11, 14, 15}), models());
  EXPECT_EQ((std::vector<std::uint32_t>{11, 14, 15}), models());

  arriving.mode_changed_at -= 60000;
  Add(arriving);
  EXPECT_EQ((std::vector<std::uint32_t>{11, 13, 14, 15}), models());

  DfuDeviceInfo info{};
  DfuHandle handle = 0;
  EXPECT_EQ(kndfu::kNoDevice, pfnLMDFUDeviceOpen(4, &info, &handle));
  EXPECT_EQ(kndfu::kNoDevice, pfnLMDFUDeviceOpen(-1, &info, &handle));
}

TEST_F(KndfuTest, ProductStringComesByTheIndexOfTheDeviceRecord) {
  Add(DfuInstrument(L"vx", L"VX 5xx", 1));
  Add(DfuInstrument(L"wide", L"QM \x263A\x00E9", 2));
  Instrument mute = DfuInstrument(L"mute", L"VX 3xx", 3);
  mute.product_string_unreadable = true;
  Add(mute);

  struct Row {
    int index;
    std::string ascii;
    std::wstring wide;
  } rows[] = {{0, "VX 5xx", L"VX 5xx"}, {1, "QM ?\xE9", L"QM \x263A\x00E9"}};
  for (const Row& row : rows) {
    DfuDeviceInfo info{};
    DfuHandle handle = 0;
    ASSERT_EQ(kndfu::kOk, pfnLMDFUDeviceOpen(row.index, &info, &handle));
    std::uint32_t string_index = 0;
    std::memcpy(&string_index, reinterpret_cast<const std::uint8_t*>(&info) + 12, 4);
    char ascii[1024];
    std::memset(ascii, 'x', sizeof ascii);
    std::uint32_t length = sizeof ascii;
    EXPECT_EQ(kndfu::kOk, pfnLMDFUDeviceASCIIStringGet(handle, string_index, ascii, &length));
    EXPECT_EQ(row.ascii, std::string(ascii));
    EXPECT_EQ(row.ascii.size(), length);
    wchar_t wide[64];
    length = 64;
    EXPECT_EQ(kndfu::kOk, pfnLMDFUDeviceStringGet(handle, string_index, 0x0409, wide, &length));
    EXPECT_EQ(row.wide, std::wstring(wide));

    char small[4];
    length = sizeof small;
    EXPECT_EQ(kndfu::kBufferTooSmall, pfnLMDFUDeviceASCIIStringGet(handle, string_index, small, &length));
    EXPECT_EQ(row.ascii.size() + 1, length);
    length = sizeof ascii;
    EXPECT_EQ(kndfu::kStringUnavailable, pfnLMDFUDeviceASCIIStringGet(handle, string_index + 5, ascii, &length));
  }

  char ascii[1024];
  std::uint32_t length = sizeof ascii;
  EXPECT_EQ(kndfu::kStringUnavailable, pfnLMDFUDeviceASCIIStringGet(Open(2), 2, ascii, &length));
}

TEST_F(KndfuTest, ParamsGiveTheGeometryOrTheInjectedFault) {
  Instrument good = DfuInstrument(L"good", L"VX 5xx", 1);
  good.sector_size = 2048;
  good.flash_top = 0x40000;
  good.app_start_address = 0x4000;
  Add(good);
  Instrument bad = DfuInstrument(L"bad", L"VX 5xx", 2);
  bad.params_fault = kndfu::kParamsUnreadable;
  Add(bad);

  DfuFlashParams params;
  std::memset(&params, 0xCC, sizeof params);
  EXPECT_EQ(kndfu::kOk, pfnLMDFUParamsGet(Open(0), &params));
  EXPECT_EQ(2048, params.sectorSize);
  EXPECT_EQ(0x40000u, params.flashTop);
  EXPECT_EQ(0x4000u, params.appStartAddress);
  EXPECT_EQ(kndfu::kParamsUnreadable, pfnLMDFUParamsGet(Open(1), &params));
}

// --- writes ---------------------------------------------------------------------------------

using WriteCall = int(WINAPI*)(DfuHandle, const std::uint8_t*, std::uint32_t, std::uint32_t, int, HWND);

struct WriteCase {
  const char* scenario;
  WriteCall (*call)();  // read when the test runs, after the library is bound
  sim::Memory memory;
  std::uint32_t address;
  std::uint32_t length;
};

WriteCall DownloadBin() { return pfnLMDFUDownloadBin; }
WriteCall WriteEEP() { return pfnLMDFUWriteEEP; }
WriteCall WriteNand() { return pfnLMDFUWriteNand; }

class KndfuWriteTest : public KndfuTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(KndfuWriteTest, LandsInItsMemoryAtItsAddressAndNowhereElse) {
  Add(DfuInstrument(L"vx", L"VX 5xx", 1));
  const WriteCase& c = GetParam();
  const std::vector<std::uint8_t> data = Pattern(c.length, 0x21);
  EXPECT_EQ(kndfu::kOk, c.call()(Open(0), data.data(), c.length, c.address, 1, nullptr));

  EXPECT_EQ(data, Stored(L"vx", c.memory, c.address, c.length));
  EXPECT_EQ(0xFF, Stored(L"vx", c.memory, c.address - 1, 1)[0]);
  for (sim::Memory other : {Memory::kFlash, Memory::kEeprom, Memory::kNand}) {
    if (other == c.memory) continue;
    EXPECT_EQ(std::vector<std::uint8_t>(0x800, 0xFF), Stored(L"vx", other, 0, 0x800)) << sim::MemoryName(other);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Memories, KndfuWriteTest,
    ::testing::Values(WriteCase{"ProgramAtApplicationStart", &DownloadBin, Memory::kFlash, 0x1000, 0x6C00},
                      WriteCase{"LastSectorUpToFlashTop", &DownloadBin, Memory::kFlash, 0x7C00, 0x400},
                      WriteCase{"DataIntoEeprom", &WriteEEP, Memory::kEeprom, 0x10, 0x7F0},
                      WriteCase{"MediaIntoNand", &WriteNand, Memory::kNand, 0x200, 1000}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.scenario); });

TEST_F(KndfuTest, EraseBlanksExactlyItsRangeAndVerifiesIt) {
  Add(DfuInstrument(L"vx", L"VX 5xx", 1));
  const std::vector<std::uint8_t> data = Pattern(0x1000, 3);
  ASSERT_TRUE(bench().WriteMemory(L"vx", Memory::kFlash, 0x7000, data.data(), 0x1000));
  DfuHandle handle = Open(0);

  EXPECT_EQ(kndfu::kOk, pfnLMDFUErase(handle, 0x7C00, 0x400, 1, nullptr));
  EXPECT_EQ(std::vector<std::uint8_t>(0x400, 0xFF), Stored(L"vx", Memory::kFlash, 0x7C00, 0x400));
  EXPECT_EQ(std::vector<std::uint8_t>(data.begin(), data.begin() + 0xC00), Stored(L"vx", Memory::kFlash, 0x7000, 0xC00));
  EXPECT_EQ(kndfu::kOk, pfnLMDFUBlankCheck(handle, 0x7C00, 0x400));
  EXPECT_EQ(kndfu::kNotBlank, pfnLMDFUBlankCheck(handle, 0x7BFF, 2));
}

struct NotificationCase {
  const char* scenario;
  std::function<void(Instrument&)> fault;
  int verify;
  int expected_result;
  std::vector<Notification> expected;
};

class KndfuNotificationTest : public KndfuTest, public ::testing::WithParamInterface<NotificationCase> {};

// 1000 bytes in blocks of 256: four progress units per pass.
TEST_P(KndfuNotificationTest, WindowOnAnotherThreadReceivesThePassesInOrder) {
  Instrument instrument = DfuInstrument(L"vx", L"VX 5xx", 1);
  GetParam().fault(instrument);
  Add(instrument);
  const std::vector<std::uint8_t> data = Pattern(1000, 9);
  NotificationWindow window;
  ASSERT_NE(nullptr, window.hwnd());

  EXPECT_EQ(GetParam().expected_result,
            pfnLMDFUDownloadBin(Open(0), data.data(), 1000, 0x1000, GetParam().verify, window.hwnd()));
  EXPECT_EQ(GetParam().expected, window.received());
  EXPECT_TRUE(window.HandledOnWindowThread());
}

std::vector<Notification> Concat(std::vector<Notification> head, const std::vector<Notification>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, KndfuNotificationTest,
    ::testing::Values(
        NotificationCase{"VerifiedWrite", [](Instrument&) {}, 1, kndfu::kOk, Concat(Passes(4, true), {kDone})},
        NotificationCase{"WriteWithoutVerify", [](Instrument&) {}, 0, kndfu::kOk, Concat(Passes(4, false), {kDone})},
        // The damaged byte sits in the second unit: its read-back fails.
        NotificationCase{"VerifyFailure",
                         [](Instrument& i) { i.fault(Operation::kFlashWrite).verify_failure = true; }, 1,
                         kndfu::kVerifyFailed,
                         Concat(Passes(4, false), {VerifyBegin(4), Progress(0), kFailed})},
        NotificationCase{"InjectedErrorCode", [](Instrument& i) { i.fault(Operation::kFlashWrite).error_code = -31; },
                         1, -31, {Begin(4), kFailed}},
        NotificationCase{"UnpluggedAfterTwoBlocks",
                         [](Instrument& i) { i.fault(Operation::kFlashWrite).unplug_after = 512; }, 1,
                         kndfu::kDisconnected, {Begin(4), Progress(0), Progress(1), kFailed}},
        NotificationCase{"FaultOfAnotherMemory",
                         [](Instrument& i) { i.fault(Operation::kNandWrite).verify_failure = true; }, 1, kndfu::kOk,
                         Concat(Passes(4, true), {kDone})}),
    [](const ::testing::TestParamInfo<NotificationCase>& info) { return std::string(info.param.scenario); });

struct VerifyFaultCase {
  const char* scenario;
  Operation operation;
  WriteCall (*call)();
  sim::Memory memory;
};

class KndfuVerifyFaultTest : public KndfuTest, public ::testing::WithParamInterface<VerifyFaultCase> {};

// The fault damages what is stored, so the memory really differs from the data sent.
TEST_P(KndfuVerifyFaultTest, ReadBackFindsTheDamagedByte) {
  Instrument instrument = DfuInstrument(L"vx", L"VX 5xx", 1);
  instrument.fault(GetParam().operation).verify_failure = true;
  Add(instrument);
  const std::vector<std::uint8_t> data = Pattern(600, 5);
  EXPECT_EQ(kDfuVerifyFailed, GetParam().call()(Open(0), data.data(), 600, 0x100, 1, nullptr));
  EXPECT_NE(data, Stored(L"vx", GetParam().memory, 0x100, 600));
}

INSTANTIATE_TEST_SUITE_P(
    Memories, KndfuVerifyFaultTest,
    ::testing::Values(VerifyFaultCase{"Flash", Operation::kFlashWrite, &DownloadBin, Memory::kFlash},
                      VerifyFaultCase{"Eeprom", Operation::kEepromWrite, &WriteEEP, Memory::kEeprom},
                      VerifyFaultCase{"Nand", Operation::kNandWrite, &WriteNand, Memory::kNand}),
    [](const ::testing::TestParamInfo<VerifyFaultCase>& info) { return std::string(info.param.scenario); });

TEST_F(KndfuTest, EraseFaultsAreTheirOwnAndCanLetOperationsThrough) {
  Instrument instrument = DfuInstrument(L"vx", L"VX 5xx", 1);
  instrument.fault(Operation::kFlashErase).verify_failure = true;
  instrument.fault(Operation::kFlashErase).skip = 1;
  Add(instrument);
  DfuHandle handle = Open(0);
  const std::vector<std::uint8_t> data = Pattern(0x400, 1);
  EXPECT_EQ(kndfu::kOk, pfnLMDFUDownloadBin(handle, data.data(), 0x400, 0x7C00, 1, nullptr));
  EXPECT_EQ(kndfu::kOk, pfnLMDFUErase(handle, 0x7C00, 0x400, 1, nullptr));
  EXPECT_EQ(kDfuVerifyFailed, pfnLMDFUErase(handle, 0x7C00, 0x400, 1, nullptr));
  EXPECT_EQ(0, Reload(L"vx").fault(Operation::kFlashErase).skip);
}

TEST_F(KndfuTest, RefusedRangesAndArgumentsChangeNothingAndSendNothing) {
  Add(DfuInstrument(L"vx", L"VX 5xx", 1));
  DfuHandle handle = Open(0);
  const std::vector<std::uint8_t> data = Pattern(0x200, 7);
  NotificationWindow window;
  HWND hwnd = window.hwnd();
  std::vector<std::uint8_t> buffer(0x200);

  struct Row {
    const char* scenario;
    std::function<int()> call;
    int expected;
  } rows[] = {
      {"FlashPastTop", [&] { return pfnLMDFUDownloadBin(handle, data.data(), 0x200, 0x7F00, 1, hwnd); },
       kndfu::kOutOfRange},
      {"FlashWrappingAround", [&] { return pfnLMDFUDownloadBin(handle, data.data(), 0x200, 0xFFFFFF00u, 1, hwnd); },
       kndfu::kOutOfRange},
      {"EepromPastEnd", [&] { return pfnLMDFUWriteEEP(handle, data.data(), 1, 0x800, 1, hwnd); }, kndfu::kOutOfRange},
      {"NandPastEnd", [&] { return pfnLMDFUWriteNand(handle, data.data(), 2, 0x3FFF, 1, hwnd); }, kndfu::kOutOfRange},
      {"ErasePastTop", [&] { return pfnLMDFUErase(handle, 0x7C00, 0x401, 1, hwnd); }, kndfu::kOutOfRange},
      {"UploadPastTop", [&] { return pfnLMDFUUpload(handle, buffer.data(), 0x7F00, 0x200, 1, hwnd); },
       kndfu::kOutOfRange},
      {"BlankCheckPastTop", [&] { return pfnLMDFUBlankCheck(handle, 0x8000, 1); }, kndfu::kOutOfRange},
      {"NoData", [&] { return pfnLMDFUDownloadBin(handle, nullptr, 0x200, 0x1000, 1, hwnd); },
       kndfu::kInvalidArgument},
      {"NoUploadBuffer", [&] { return pfnLMDFUUpload(handle, nullptr, 0x1000, 0x200, 1, hwnd); },
       kndfu::kInvalidArgument},
      {"NoImage", [&] { return pfnLMDFUDownload(handle, nullptr, 0x200, 1, hwnd); }, kndfu::kInvalidArgument},
      {"ImageWithoutSuffix", [&] { return pfnLMDFUDownload(handle, data.data(), 0x200, 1, hwnd); },
       kndfu::kInvalidImage},
  };
  for (const Row& row : rows) EXPECT_EQ(row.expected, row.call()) << row.scenario;
  EXPECT_TRUE(window.received().empty());
  for (sim::Memory memory : {Memory::kFlash, Memory::kEeprom, Memory::kNand}) {
    EXPECT_EQ(std::vector<std::uint8_t>(0x100, 0xFF), Stored(L"vx", memory, 0x700, 0x100)) << sim::MemoryName(memory);
  }
  // An empty write is no transfer at all.
  EXPECT_EQ(kndfu::kOk, pfnLMDFUDownloadBin(handle, nullptr, 0, 0x1000, 1, hwnd));
  EXPECT_TRUE(window.received().empty());
}

TEST_F(KndfuTest, UnknownClosedAndMissingArgumentsGiveCodesNotCrashes) {
  Add(DfuInstrument(L"vx", L"VX 5xx", 1));
  DfuHandle closed = Open(0);
  ASSERT_EQ(kndfu::kOk, pfnLMDFUDeviceClose(closed, 0));
  const std::uint8_t data[16] = {};
  std::uint8_t buffer[16];
  char text[64];
  wchar_t wide[64];
  std::uint32_t length = 64;
  std::uint32_t value = 0;
  int status = 0;
  DfuFlashParams params{};

  std::vector<std::function<int(DfuHandle)>> calls = {
      [&](DfuHandle h) { return pfnLMDFUDeviceClose(h, 1); },
      [&](DfuHandle h) { return pfnLMDFUDeviceStringGet(h, 2, 0x0409, wide, &length); },
      [&](DfuHandle h) { return pfnLMDFUDeviceASCIIStringGet(h, 2, text, &length); },
      [&](DfuHandle h) { return pfnLMDFUParamsGet(h, &params); },
      [&](DfuHandle h) { return pfnLMDFUDownloadBin(h, data, 16, 0x1000, 1, nullptr); },
      [&](DfuHandle h) { return pfnLMDFUWriteNand(h, data, 16, 0, 1, nullptr); },
      [&](DfuHandle h) { return pfnLMDFUWriteEEP(h, data, 16, 0, 1, nullptr); },
      [&](DfuHandle h) { return pfnLMDFUErase(h, 0x7C00, 0x400, 1, nullptr); },
      [&](DfuHandle h) { return pfnLMDFUBlankCheck(h, 0x7C00, 0x400); },
      [&](DfuHandle h) { return pfnLMDFUUpload(h, buffer, 0, 16, 1, nullptr); },
      [&](DfuHandle h) { return pfnLMDFUStatusGet(h, &status); },
      [&](DfuHandle h) { return pfnLMDFUModeSwitch(h); },
      [&](DfuHandle h) { return pfnLMDFUDevTypeGet(h, &value); },
  };
  for (DfuHandle handle : {DfuHandle{0}, DfuHandle{kNoSuchHandle}, closed}) {
    for (std::size_t i = 0; i < calls.size(); ++i) {
      length = 64;
      EXPECT_EQ(kndfu::kInvalidHandle, calls[i](handle)) << "call " << i << " handle " << handle;
    }
  }

  DfuHandle open = Open(0);
  DfuDeviceInfo info{};
  DfuHandle handle = 0;
  const int results[] = {
      pfnLMDFUDeviceOpen(0, nullptr, &handle),
      pfnLMDFUDeviceOpen(0, &info, nullptr),
      pfnLMDFUDeviceStringGet(open, 2, 0x0409, nullptr, &length),
      pfnLMDFUDeviceASCIIStringGet(open, 2, text, nullptr),
      pfnLMDFUParamsGet(open, nullptr),
      pfnLMDFUStatusGet(open, nullptr),
      pfnLMDFUDevTypeGet(open, nullptr),
      pfnLMDFUIsValidImage(nullptr, 16),
  };
  for (int result : results) EXPECT_EQ(kndfu::kInvalidArgument, result);
  EXPECT_EQ(Mode::kDfu, Reload(L"vx").mode);
}

// --- leaving DFU mode -----------------------------------------------------------------------

TEST_F(KndfuTest, UnplugPartWayTakesTheInstrumentOffTheBench) {
  Instrument instrument = DfuInstrument(L"vx", L"VX 5xx", 1);
  instrument.fault(Operation::kNandWrite).unplug_after = 0;
  Add(instrument);
  DfuHandle handle = Open(0);
  const std::vector<std::uint8_t> data = Pattern(0x400, 2);

  EXPECT_EQ(kndfu::kDisconnected, pfnLMDFUWriteNand(handle, data.data(), 0x400, 0, 1, nullptr));
  EXPECT_EQ(Mode::kAbsent, Reload(L"vx").mode);
  DfuFlashParams params{};
  EXPECT_EQ(kndfu::kDisconnected, pfnLMDFUParamsGet(handle, &params));
  DfuDeviceInfo info{};
  DfuHandle again = 0;
  EXPECT_EQ(kndfu::kNoDevice, pfnLMDFUDeviceOpen(0, &info, &again));
  // The handle of a vanished device is still released, once.
  EXPECT_EQ(kndfu::kOk, pfnLMDFUDeviceClose(handle, 1));
  EXPECT_EQ(kndfu::kInvalidHandle, pfnLMDFUDeviceClose(handle, 1));
  EXPECT_EQ(Mode::kAbsent, Reload(L"vx").mode);
}

TEST_F(KndfuTest, CloseWithoutRestartLeavesTheLoaderRunning) {
  Add(DfuInstrument(L"vx", L"VX 5xx", 1));
  DfuHandle handle = Open(0);
  EXPECT_EQ(kndfu::kOk, pfnLMDFUDeviceClose(handle, 0));
  EXPECT_EQ(Mode::kDfu, Reload(L"vx").mode);
  EXPECT_NE(0u, Open(0));
  std::uint32_t model = 0;
  EXPECT_EQ(kndfu::kInvalidHandle, pfnLMDFUDevTypeGet(handle, &model));
}

TEST_F(KndfuTest, CloseWithRestartReturnsToTheApplicationAfterTheDelay) {
  Add(DfuInstrument(L"vx", L"VX 5xx", 1));
  DfuHandle handle = Open(0);
  const std::int64_t before = sim::Bench::NowMs();
  EXPECT_EQ(kndfu::kOk, pfnLMDFUDeviceClose(handle, 1));
  const std::int64_t after = sim::Bench::NowMs();

  Instrument instrument = Reload(L"vx");
  EXPECT_EQ(Mode::kApplication, instrument.mode);
  EXPECT_GE(instrument.mode_changed_at, before);
  EXPECT_LE(instrument.mode_changed_at, after);
  EXPECT_EQ(Mode::kAbsent, sim::VisibleMode(instrument, after));
  EXPECT_EQ(Mode::kApplication, sim::VisibleMode(instrument, instrument.mode_changed_at + 60000));
  DfuDeviceInfo info{};
  DfuHandle again = 0;
  EXPECT_EQ(kndfu::kNoDevice, pfnLMDFUDeviceOpen(0, &info, &again));
}

// --- entry points the updater does not call -------------------------------------------------

TEST_F(KndfuTest, SecondaryEntryPointsActOnTheBench) {
  Add(DfuInstrument(L"vx", L"VX 5xx", 4181));
  DfuHandle handle = Open(0);

  std::vector<std::uint8_t> image = Pattern(0x300, 4);
  kndfu::AppendDfuSuffix(&image);
  const std::uint32_t image_length = static_cast<std::uint32_t>(image.size());
  EXPECT_EQ(kndfu::kOk, pfnLMDFUIsValidImage(image.data(), image_length));
  EXPECT_EQ(kndfu::kInvalidImage, pfnLMDFUIsValidImage(image.data(), image_length - 1));
  EXPECT_EQ(kndfu::kOk, pfnLMDFUBlankCheck(handle, 0x1000, 0x300));
  EXPECT_EQ(kndfu::kOk, pfnLMDFUDownload(handle, image.data(), image_length, 1, nullptr));
  EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.begin() + 0x300), Stored(L"vx", Memory::kFlash, 0x1000, 0x300));
  EXPECT_EQ(kndfu::kNotBlank, pfnLMDFUBlankCheck(handle, 0x1000, 0x300));

  std::vector<std::uint8_t> uploaded(0x300);
  EXPECT_EQ(kndfu::kOk, pfnLMDFUUpload(handle, uploaded.data(), 0x1000, 0x300, 1, nullptr));
  EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.begin() + 0x300), uploaded);

  int status = -1;
  EXPECT_EQ(kndfu::kOk, pfnLMDFUStatusGet(handle, &status));
  EXPECT_EQ(0, status);
  std::uint32_t type = 0;
  EXPECT_EQ(kndfu::kOk, pfnLMDFUDevTypeGet(handle, &type));
  EXPECT_EQ(4181u, type);

  EXPECT_EQ(kndfu::kOk, pfnLMDFUModeSwitch(handle));
  EXPECT_EQ(Mode::kApplication, Reload(L"vx").mode);
  EXPECT_EQ(kndfu::kDisconnected, pfnLMDFUStatusGet(handle, &status));
}

}  // namespace
