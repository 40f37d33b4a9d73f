// The bench model: instruments and their memories kept in the bench folder, and the pure
// rules both simulated sides apply to them.
#include "sim/bench/Bench.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/bench/TemporaryBench.h"
#include "sim/kndfu/DfuImage.h"
#include "sim/kndfu/TransferPlan.h"

namespace {

using sim::Bench;
using sim::Instrument;
using sim::Memory;
using sim::Mode;
using sim::Operation;

std::string ReadWholeFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string text(4096, '\0');
  DWORD got = 0;
  ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &got, nullptr);
  CloseHandle(file);
  text.resize(got);
  return text;
}

class BenchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.created()); }
  Bench& bench() { return temp_.bench(); }
  sim::TemporaryBench temp_;
};

TEST_F(BenchTest, InstrumentSurvivesSaveAndLoadWithEveryField) {
  Instrument saved = sim::MakeInstrument(L"qm1", L"QM 5xx \x00E9\x263A", 4100, Mode::kDfu);
  saved.serial = L"QM5-\x00E9 004711";
  saved.bus_address = 0x20;
  saved.mode_changed_at = 13370000123456LL;
  saved.reenumeration_ms = 2500;
  saved.driver_api_version = 0x0231;
  saved.sector_size = 2048;
  saved.flash_top = 0x80000000u;
  saved.app_start_address = 0x8000;
  saved.eeprom_size = 0x2000;
  saved.nand_size = 0x400000;
  saved.bytes_per_second = 65536;
  saved.transfer_size = 512;
  saved.params_fault = -5;
  saved.product_string_unreadable = true;
  saved.fault(Operation::kFlashErase).error_code = -21;
  saved.fault(Operation::kEepromWrite).verify_failure = true;
  saved.fault(Operation::kNandWrite).unplug_after = 4096;
  saved.fault(Operation::kNandWrite).skip = 2;
  ASSERT_TRUE(bench().Save(saved));

  Instrument loaded;
  ASSERT_TRUE(bench().Load(L"qm1", &loaded));
  EXPECT_EQ(saved.id, loaded.id);
  EXPECT_EQ(saved.product, loaded.product);
  EXPECT_EQ(saved.serial, loaded.serial);
  EXPECT_EQ(saved.model, loaded.model);
  EXPECT_EQ(saved.bus_address, loaded.bus_address);
  EXPECT_EQ(saved.mode, loaded.mode);
  EXPECT_EQ(saved.mode_changed_at, loaded.mode_changed_at);
  EXPECT_EQ(saved.reenumeration_ms, loaded.reenumeration_ms);
  EXPECT_EQ(saved.driver_api_version, loaded.driver_api_version);
  EXPECT_EQ(saved.sector_size, loaded.sector_size);
  EXPECT_EQ(saved.flash_top, loaded.flash_top);
  EXPECT_EQ(saved.app_start_address, loaded.app_start_address);
  EXPECT_EQ(saved.eeprom_size, loaded.eeprom_size);
  EXPECT_EQ(saved.nand_size, loaded.nand_size);
  EXPECT_EQ(saved.bytes_per_second, loaded.bytes_per_second);
  EXPECT_EQ(saved.transfer_size, loaded.transfer_size);
  EXPECT_EQ(saved.params_fault, loaded.params_fault);
  EXPECT_EQ(saved.product_string_unreadable, loaded.product_string_unreadable);
  for (int i = 0; i < sim::kOperationCount; ++i) {
    Operation op = static_cast<Operation>(i);
    EXPECT_EQ(saved.fault(op).verify_failure, loaded.fault(op).verify_failure) << i;
    EXPECT_EQ(saved.fault(op).error_code, loaded.fault(op).error_code) << i;
    EXPECT_EQ(saved.fault(op).unplug_after, loaded.fault(op).unplug_after) << i;
    EXPECT_EQ(saved.fault(op).skip, loaded.fault(op).skip) << i;
  }
}

TEST_F(BenchTest, KeepsTheOrderInstrumentsWereAddedInAndRefusesUnusableIds) {
  for (const wchar_t* id : {L"vx1", L"tw1", L"qm1"}) ASSERT_TRUE(bench().Save(sim::MakeInstrument(id, id, 1, Mode::kDfu)));
  ASSERT_TRUE(bench().Save(sim::MakeInstrument(L"tw1", L"again", 2, Mode::kApplication)));
  EXPECT_FALSE(bench().Save(sim::MakeInstrument(L"a,b", L"comma", 3, Mode::kDfu)));
  EXPECT_FALSE(bench().Save(sim::MakeInstrument(L"", L"empty", 3, Mode::kDfu)));

  EXPECT_EQ((std::vector<std::wstring>{L"vx1", L"tw1", L"qm1"}), bench().InstrumentIds());
  std::vector<Instrument> all = bench().LoadAll();
  ASSERT_EQ(3u, all.size());
  EXPECT_EQ(L"again", all[1].product);
  Instrument missing;
  EXPECT_FALSE(bench().Load(L"nope", &missing));
}

// An instrument saved without a serial number names none; a bench written before instruments
// had one gives each its id, unique on the bench as a serial number is.
TEST_F(BenchTest, SerialNumbersOfBenchesWithoutThem) {
  Instrument none = sim::MakeInstrument(L"tw1", L"TW 3xx", 4181, Mode::kApplication);
  none.serial.clear();
  ASSERT_TRUE(bench().Save(none));
  ASSERT_TRUE(bench().Save(sim::MakeInstrument(L"qm1", L"QM 5xx", 4100, Mode::kApplication)));
  ASSERT_TRUE(WritePrivateProfileStringW(Bench::InstrumentSection(L"qm1").c_str(), L"serial", nullptr,
                                         bench().IniPath().c_str()));
  Instrument loaded;
  ASSERT_TRUE(bench().Load(L"tw1", &loaded));
  EXPECT_EQ(loaded.serial, L"");
  ASSERT_TRUE(bench().Load(L"qm1", &loaded));
  EXPECT_EQ(loaded.serial, L"qm1");
}

// The USB simulation keeps its own keys in the instrument's section; saving the record must
// leave them alone.
TEST_F(BenchTest, SavingAnInstrumentKeepsKeysOfOtherSimulatedParts) {
  Instrument instrument = sim::MakeInstrument(L"tw1", L"TW 3xx", 4181, Mode::kApplication);
  ASSERT_TRUE(bench().Save(instrument));
  const std::wstring section = Bench::InstrumentSection(L"tw1");
  ASSERT_TRUE(bench().WriteInt(section, L"readyAfterPolls", 3));
  ASSERT_TRUE(bench().WriteString(section, L"fault.status", L"noReply"));
  instrument.model = 4182;
  ASSERT_TRUE(bench().Save(instrument));
  EXPECT_EQ(3, bench().ReadInt(section, L"readyAfterPolls", 0));
  EXPECT_EQ(L"noReply", bench().ReadString(section, L"fault.status", L""));
}

TEST_F(BenchTest, ReadsNumbersAsAPersonWritesThem) {
  const std::wstring section = Bench::InstrumentSection(L"x");
  struct Row {
    const wchar_t* text;
    std::int64_t expected;
  } rows[] = {{L"0x8000", 0x8000}, {L"0xFFFFFFFF", 0xFFFFFFFFLL}, {L"1024", 1024}, {L"-14", -14}, {L"garbage", 77}};
  for (const Row& row : rows) {
    ASSERT_TRUE(bench().WriteString(section, L"value", row.text));
    EXPECT_EQ(row.expected, bench().ReadInt(section, L"value", 77)) << row.text;
  }
  EXPECT_EQ(77, bench().ReadInt(section, L"absent", 77));
}

TEST_F(BenchTest, DriverStateDefaultsToPresentAndPersists) {
  EXPECT_EQ(sim::DfuDriver::kPresent, bench().GetDfuDriver());
  ASSERT_TRUE(bench().SetDfuDriver(sim::DfuDriver::kOutdated));
  EXPECT_EQ(sim::DfuDriver::kOutdated, Bench(temp_.folder()).GetDfuDriver());
}

TEST_F(BenchTest, ModeChangeIsStampedWithTheBenchClock) {
  ASSERT_TRUE(bench().Save(sim::MakeInstrument(L"vx1", L"VX 5xx", 5, Mode::kApplication)));
  const std::int64_t before = Bench::NowMs();
  ASSERT_TRUE(bench().SetMode(L"vx1", Mode::kDfu));
  const std::int64_t after = Bench::NowMs();
  Instrument instrument;
  ASSERT_TRUE(bench().Load(L"vx1", &instrument));
  EXPECT_EQ(Mode::kDfu, instrument.mode);
  EXPECT_GE(instrument.mode_changed_at, before);
  EXPECT_LE(instrument.mode_changed_at, after);
  EXPECT_FALSE(bench().SetMode(L"nope", Mode::kDfu));
}

TEST_F(BenchTest, MemoryReadsErasedWhereNothingWasWrittenAndStaysInsideItsSize) {
  Instrument instrument = sim::MakeInstrument(L"vx1", L"VX 5xx", 5, Mode::kDfu);
  instrument.eeprom_size = 0x200;
  ASSERT_TRUE(bench().Save(instrument));
  const std::uint8_t data[3] = {0x00, 0x11, 0x22};
  ASSERT_TRUE(bench().WriteMemory(L"vx1", Memory::kEeprom, 0x100, data, sizeof data));
  ASSERT_TRUE(bench().WriteMemory(L"vx1", Memory::kEeprom, 0x1FF, data, 1));
  EXPECT_FALSE(bench().WriteMemory(L"vx1", Memory::kEeprom, 0x1FF, data, 2));
  EXPECT_FALSE(bench().WriteMemory(L"vx1", Memory::kEeprom, 0xFFFFFFFFu, data, 2));

  std::vector<std::uint8_t> all(0x200);
  ASSERT_TRUE(bench().ReadMemory(L"vx1", Memory::kEeprom, 0, all.data(), 0x200));
  std::vector<std::uint8_t> expected(0x200, 0xFF);
  expected[0x100] = 0x00;
  expected[0x101] = 0x11;
  expected[0x102] = 0x22;
  expected[0x1FF] = 0x00;
  EXPECT_EQ(expected, all);
  std::uint8_t flash[4];
  ASSERT_TRUE(bench().ReadMemory(L"vx1", Memory::kFlash, 0x100, flash, sizeof flash));
  EXPECT_EQ(0xFF, flash[0]);  // memories are separate files
  EXPECT_FALSE(bench().ReadMemory(L"vx1", Memory::kEeprom, 0x1FF, all.data(), 2));
}

TEST_F(BenchTest, FaultWithSkipLetsThatManyOperationsThrough) {
  Instrument instrument = sim::MakeInstrument(L"vx1", L"VX 5xx", 5, Mode::kDfu);
  instrument.fault(Operation::kNandWrite).verify_failure = true;
  instrument.fault(Operation::kNandWrite).skip = 2;
  ASSERT_TRUE(bench().Save(instrument));
  std::vector<bool> applied;
  for (int i = 0; i < 4; ++i) applied.push_back(bench().TakeFault(L"vx1", Operation::kNandWrite));
  EXPECT_EQ((std::vector<bool>{false, false, true, true}), applied);
  EXPECT_FALSE(bench().TakeFault(L"vx1", Operation::kEepromWrite));
}

TEST_F(BenchTest, TraceCollectsLinesInOrder) {
  ASSERT_TRUE(bench().AppendTrace("> 01 09 03"));
  ASSERT_TRUE(bench().AppendTrace("< 01 07"));
  EXPECT_EQ("> 01 09 03\n< 01 07\n", ReadWholeFile(bench().TracePath()));
}

struct VisibilityCase {
  const char* scenario;
  Mode mode;
  std::int64_t now;
  Mode expected;
  std::uint32_t lingerMs = 0;
};

class VisibleModeTest : public ::testing::TestWithParam<VisibilityCase> {};

// Mode changed at 1000 with a re-enumeration delay of 500 ms (after the loader's linger).
TEST_P(VisibleModeTest, InstrumentIsOffTheBusDuringItsReenumeration) {
  Instrument instrument;
  instrument.mode = GetParam().mode;
  instrument.mode_changed_at = 1000;
  instrument.reenumeration_ms = 500;
  instrument.loader_linger_ms = GetParam().lingerMs;
  EXPECT_EQ(GetParam().expected, sim::VisibleMode(instrument, GetParam().now));
}

INSTANTIATE_TEST_SUITE_P(
    Delays, VisibleModeTest,
    ::testing::Values(VisibilityCase{"DfuRightAfterTheChange", Mode::kDfu, 1000, Mode::kAbsent},
                      VisibilityCase{"DfuOneMillisecondEarly", Mode::kDfu, 1499, Mode::kAbsent},
                      VisibilityCase{"DfuWhenTheDelayHasPassed", Mode::kDfu, 1500, Mode::kDfu},
                      VisibilityCase{"ApplicationAfterRestart", Mode::kApplication, 2000, Mode::kApplication},
                      VisibilityCase{"ApplicationDuringRestart", Mode::kApplication, 1200, Mode::kAbsent},
                      VisibilityCase{"UnpluggedStaysAway", Mode::kAbsent, 9000, Mode::kAbsent},
                      VisibilityCase{"LingersInTheLoader", Mode::kApplication, 1299, Mode::kDfu, 300},
                      VisibilityCase{"OffTheBusAfterLingering", Mode::kApplication, 1799, Mode::kAbsent, 300},
                      VisibilityCase{"ApplicationAfterLingering", Mode::kApplication, 1800, Mode::kApplication, 300},
                      VisibilityCase{"OnlyTheWayOutLingers", Mode::kDfu, 1000, Mode::kAbsent, 300}),
    [](const ::testing::TestParamInfo<VisibilityCase>& info) { return std::string(info.param.scenario); });

TEST(RangeInsideTest, AcceptsRangesUpToTheEndAndNothingThatWrapsAround) {
  EXPECT_TRUE(sim::RangeInside(0, 0, 0));
  EXPECT_TRUE(sim::RangeInside(0x3FC00, 0x400, 0x40000));
  EXPECT_TRUE(sim::RangeInside(0x40000, 0, 0x40000));
  EXPECT_FALSE(sim::RangeInside(0x3FC00, 0x401, 0x40000));
  EXPECT_FALSE(sim::RangeInside(0x40001, 0, 0x40000));
  EXPECT_FALSE(sim::RangeInside(0xFFFFFF00u, 0x200, 0x40000));
}

struct PlanCase {
  std::uint32_t length;
  std::uint32_t block;
  std::uint32_t units;
  std::uint32_t unit_bytes;
  std::uint32_t last_unit;
};

TEST(TransferPlanTest, UnitsAreBlocksAndFitTheSixteenBitProgressRange) {
  const PlanCase cases[] = {
      {0, 1024, 0, 0, 0},
      {1000, 256, 4, 256, 232},
      {1024, 1024, 1, 1024, 1024},
      {100, 1024, 1, 100, 100},
      {0xFFFF * 16u, 16, 0xFFFF, 16, 16},
      {0xFFFF * 16u + 1, 16, 0x8000, 32, 17},
      {64u << 20, 1024, 0x8000, 2048, 2048},
  };
  for (const PlanCase& c : cases) {
    kndfu::TransferPlan plan = kndfu::PlanTransfer(c.length, c.block);
    EXPECT_LE(plan.units, kndfu::kMaxProgressUnits) << c.length;
    EXPECT_EQ(c.units, plan.units) << c.length;
    EXPECT_EQ(c.unit_bytes, plan.unit_bytes) << c.length;
    if (plan.units > 0) {
      EXPECT_EQ(c.last_unit, kndfu::UnitLength(plan, c.length, plan.units - 1)) << c.length;
    }
  }
}

TEST(DfuImageTest, SuffixIsRecognisedOnlyIntact) {
  std::vector<std::uint8_t> image(300);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  kndfu::AppendDfuSuffix(&image);
  std::uint32_t payload = 0;
  ASSERT_TRUE(kndfu::DfuImagePayload(image.data(), static_cast<std::uint32_t>(image.size()), &payload));
  EXPECT_EQ(300u, payload);

  std::vector<std::uint8_t> damaged = image;
  damaged[10] ^= 1;
  EXPECT_FALSE(kndfu::DfuImagePayload(damaged.data(), static_cast<std::uint32_t>(damaged.size()), &payload));
  EXPECT_FALSE(kndfu::DfuImagePayload(image.data(), 15, &payload));
  EXPECT_FALSE(kndfu::DfuImagePayload(image.data(), 300, &payload));  // payload alone: no suffix
}

}  // namespace
