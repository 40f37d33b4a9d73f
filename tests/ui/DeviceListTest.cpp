// The device list on benches: application-mode instruments through the USB layer and the
// bench's driver simulation, DFU-mode ones through our kndfu.dll, in a real sorted list box.
#include "ui/DeviceList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dfu/DfuLibrary.h"
#include "sim/bench/TemporaryBench.h"
#include "sim/operator/DialogDriver.h"
#include "sim/usb/UsbDriverSimulation.h"
#include "usbio/DeviceSetupLibrary.h"

namespace {

using sim::Mode;

struct Attached {
  std::wstring id, product;
  Mode mode;
  std::uint16_t apiVersion = 0x0240;  // 0x0230 is refused by the driver version check
};

class DeviceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_bench.created());
    ASSERT_TRUE(m_bench.Activate());
    m_simulation = std::make_unique<sim::UsbDriverSimulation>(m_bench.bench());
    InstallUsbSystemPort(m_simulation.get());
    ASSERT_TRUE(m_devices.CreateHiddenListBox());
  }

  void TearDown() override {
    m_devices.Close();
    DeviceSetupLibrary().Release();
    InstallUsbSystemPort(nullptr);
  }

  void Add(const Attached& attached) {
    sim::Instrument instrument = sim::MakeInstrument(attached.id, attached.product, 4181, attached.mode);
    instrument.driver_api_version = attached.apiVersion;
    ASSERT_TRUE(m_bench.bench().Save(instrument));
  }

  std::vector<std::wstring> Entries() const { return dialog_driver::ListEntries(m_devices.ListBox()); }
  LRESULT Selection() const { return SendMessageW(m_devices.ListBox(), LB_GETCURSEL, 0, 0); }

  sim::TemporaryBench m_bench;
  std::unique_ptr<sim::UsbDriverSimulation> m_simulation;
  DeviceList m_devices;
};

TEST_F(DeviceListTest, NoInstrumentAttached) {
  m_devices.Refresh();
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(m_devices.ApplicationCount(), 0);
  EXPECT_EQ(m_devices.DfuCount(), 0);
  EXPECT_TRUE(m_devices.DfuReady());
  EXPECT_EQ(Selection(), LB_ERR);
  DeviceSelection selection;
  EXPECT_FALSE(m_devices.GetSelection(selection));
}

// Each entry, at each position of the sorted list, names the device whose number it shows.
struct ListCase {
  const char* name;
  std::vector<Attached> attached;
  std::vector<std::wstring> entries;     // as listed, in list order
  std::vector<DeviceEntry> devices;      // the device each position names
  int applicationCount, dfuCount;
};

class DeviceListPositions : public DeviceListTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(DeviceListPositions, EveryPositionNamesTheDeviceItShows) {
  for (const Attached& attached : GetParam().attached) Add(attached);
  m_devices.Refresh();
  ASSERT_EQ(Entries(), GetParam().entries);
  EXPECT_EQ(m_devices.ApplicationCount(), GetParam().applicationCount);
  EXPECT_EQ(m_devices.DfuCount(), GetParam().dfuCount);
  EXPECT_EQ(Selection(), 0);
  for (std::size_t position = 0; position < GetParam().devices.size(); ++position) {
    m_devices.Select(static_cast<int>(position));
    DeviceSelection selection;
    ASSERT_TRUE(m_devices.GetSelection(selection));
    EXPECT_EQ(selection.entry.kind, GetParam().devices[position].kind) << position;
    EXPECT_EQ(selection.entry.number, GetParam().devices[position].number) << position;
    EXPECT_EQ(selection.text, GetParam().entries[position]);
  }
  // All entries at once, as a console lists them, without their line feeds.
  const std::vector<ListedDevice> listed = m_devices.Entries();
  ASSERT_EQ(listed.size(), GetParam().entries.size());
  for (std::size_t position = 0; position < listed.size(); ++position) {
    EXPECT_EQ(listed[position].text + L"\n", GetParam().entries[position]);
    EXPECT_EQ(listed[position].entry.number, GetParam().devices[position].number);
  }
}

constexpr DeviceKind kApp = DeviceKind::kApplication;
constexpr DeviceKind kDfu = DeviceKind::kDfu;

std::vector<Attached> ElevenAndOneInItsLoader() {
  std::vector<Attached> attached;
  for (int i = 0; i < 11; ++i) attached.push_back({L"tw" + std::to_wstring(i), L"TW 3xx #" + std::to_wstring(i), Mode::kApplication});
  attached.push_back({L"vx", L"VX 5xx", Mode::kDfu});
  return attached;
}

INSTANTIATE_TEST_SUITE_P(
    Benches, DeviceListPositions,
    ::testing::Values(
        ListCase{"ApplicationModeFirstThenDfuMode",
                 {{L"tw1", L"TW 3xx", Mode::kApplication}, {L"vx1", L"VX 5xx", Mode::kDfu},
                  {L"qm1", L"QM 5xx", Mode::kApplication}},
                 {L"Device 0: TW 3xx\n", L"Device 1: QM 5xx\n", L"Device 2: VX 5xx\n"},
                 {{kApp, 0}, {kApp, 1}, {kDfu, 0}},
                 2, 1},
        // Position 1 is USBIO device 2, not device 1, and position 2 the DFU device.
        ListCase{"ADeviceThatCannotBeOpenedUsesUpItsNumber",
                 {{L"a", L"TW 3xx", Mode::kApplication}, {L"b", L"TW 3xx", Mode::kApplication, 0x0230},
                  {L"c", L"QM 5xx", Mode::kApplication}, {L"v", L"VX 5xx", Mode::kDfu}},
                 {L"Device 0: TW 3xx\n", L"Device 2: QM 5xx\n", L"Device 2: VX 5xx\n"},
                 {{kApp, 0}, {kApp, 2}, {kDfu, 0}},
                 2, 1},
        // The list box sorts its texts: "Device 10" comes before "Device 2".
        ListCase{"WithElevenEntriesTheListBoxSortsByText",
                 ElevenAndOneInItsLoader(),
                 {L"Device 0: TW 3xx #0\n", L"Device 1: TW 3xx #1\n", L"Device 10: TW 3xx #10\n",
                  L"Device 11: VX 5xx\n", L"Device 2: TW 3xx #2\n", L"Device 3: TW 3xx #3\n",
                  L"Device 4: TW 3xx #4\n", L"Device 5: TW 3xx #5\n", L"Device 6: TW 3xx #6\n",
                  L"Device 7: TW 3xx #7\n", L"Device 8: TW 3xx #8\n", L"Device 9: TW 3xx #9\n"},
                 {{kApp, 0}, {kApp, 1}, {kApp, 10}, {kDfu, 0}, {kApp, 2}, {kApp, 3}, {kApp, 4}, {kApp, 5},
                  {kApp, 6}, {kApp, 7}, {kApp, 8}, {kApp, 9}},
                 11, 1}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.name); });

TEST_F(DeviceListTest, ProductTextsAsTheDevicesGiveThem) {
  Add({L"odd", L"M\u00E4ter \u03A9", Mode::kApplication});  // Omega keeps only its low byte
  Add({L"vx1", L"VX 5xx", Mode::kDfu});
  m_bench.bench().WriteInt(sim::Bench::InstrumentSection(L"vx1"), L"fault.productStringUnreadable", 1);
  m_devices.Refresh();
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"Device 0: M\u00E4ter \u00A9\n", L"Device 1: <<Unknown>>\n"}));
  // The DFU entries' texts are kept as shown, for the preparation to tell a new one by.
  EXPECT_EQ(m_devices.DfuProducts(), std::vector<std::wstring>{L"<<Unknown>>"});
  DeviceSelection selection;
  ASSERT_TRUE(m_devices.GetSelection(selection));
  EXPECT_EQ(selection.dfuProducts, std::vector<std::wstring>{L"<<Unknown>>"});
}

TEST_F(DeviceListTest, SelectionFollowsThePosition) {
  Add({L"tw1", L"TW 3xx", Mode::kApplication});
  Add({L"qm1", L"QM 5xx", Mode::kApplication});
  Add({L"vx1", L"VX 5xx", Mode::kDfu});
  m_devices.Refresh();
  m_devices.Select(2);
  m_devices.Refresh();
  EXPECT_EQ(Selection(), 2) << "kept across refreshes";

  sim::Instrument gone;
  ASSERT_TRUE(m_bench.bench().Load(L"vx1", &gone));
  gone.mode = Mode::kAbsent;
  ASSERT_TRUE(m_bench.bench().Save(gone));
  m_devices.Refresh();
  EXPECT_EQ(Entries().size(), 2u);
  EXPECT_EQ(Selection(), 0) << "the list got shorter than the remembered position";
}

TEST_F(DeviceListTest, WhileTheDfuLibraryIsMissingTheListStaysAndIsRetried) {
  Add({L"tw1", L"TW 3xx", Mode::kApplication});
  SendMessageW(m_devices.ListBox(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"earlier entry"));
  for (sim::DfuDriver driver : {sim::DfuDriver::kMissing, sim::DfuDriver::kOutdated}) {
    ASSERT_TRUE(m_bench.bench().SetDfuDriver(driver));
    m_devices.Refresh();
    EXPECT_EQ(Entries(), std::vector<std::wstring>{L"earlier entry"});
    EXPECT_EQ(m_devices.ApplicationCount(), 0) << "counts untouched";
    EXPECT_FALSE(m_devices.DfuReady());
  }
  ASSERT_TRUE(m_bench.bench().SetDfuDriver(sim::DfuDriver::kPresent));
  m_devices.Refresh();
  EXPECT_EQ(Entries(), std::vector<std::wstring>{L"Device 0: TW 3xx\n"});
  EXPECT_TRUE(m_devices.DfuReady());
}

}  // namespace
