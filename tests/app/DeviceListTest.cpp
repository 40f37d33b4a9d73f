// The device list on benches: application-mode instruments through the USB layer and the
// bench's driver simulation, DFU-mode ones through our kndfu.dll, in a real sorted list box.
#include "app/DeviceList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dfu/DfuLibrary.h"
#include "sim/operator/DialogDriver.h"
#include "sim/bench/TemporaryBench.h"
#include "sim/usb/UsbDriverSimulation.h"
#include "usbio/DeviceSetupLibrary.h"

namespace {

using sim::Mode;

class DeviceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_bench.created());
    ASSERT_TRUE(m_bench.Activate());
    m_simulation = std::make_unique<sim::UsbDriverSimulation>(m_bench.bench());
    InstallUsbSystemPort(m_simulation.get());
    m_listBox = CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP | LBS_SORT | LBS_NOTIFY | LBS_HASSTRINGS, 0, 0, 200,
                                200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(m_listBox, nullptr);
  }

  void TearDown() override {
    DestroyWindow(m_listBox);
    CUsbIo::CloseDeviceList(m_deviceList);
    DeviceSetupLibrary().Release();
    InstallUsbSystemPort(nullptr);
  }

  void Add(const std::wstring& id, const std::wstring& product, Mode mode, std::uint16_t apiVersion = 0x0240) {
    sim::Instrument instrument = sim::MakeInstrument(id, product, 4181, mode);
    instrument.driver_api_version = apiVersion;
    ASSERT_TRUE(m_bench.bench().Save(instrument));
  }

  void Refresh() {
    RebuildDeviceList(m_listBox, {m_deviceList, m_usbioCount, m_dfuCount, m_dfuReady, m_dfuProducts});
  }

  std::vector<std::wstring> Entries() const { return dialog_driver::ListEntries(m_listBox); }

  LRESULT Selection() const { return SendMessageW(m_listBox, LB_GETCURSEL, 0, 0); }
  void Select(LRESULT position) { SendMessageW(m_listBox, LB_SETCURSEL, static_cast<WPARAM>(position), 0); }

  sim::TemporaryBench m_bench;
  std::unique_ptr<sim::UsbDriverSimulation> m_simulation;
  HWND m_listBox = nullptr;
  HDEVINFO m_deviceList = nullptr;
  int m_usbioCount = -1, m_dfuCount = -1, m_dfuReady = 0;
  std::vector<std::wstring> m_dfuProducts;
};

TEST_F(DeviceListTest, NoInstrumentAttached) {
  Refresh();
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(m_usbioCount, 0);
  EXPECT_EQ(m_dfuCount, 0);
  EXPECT_EQ(m_dfuReady, 1);
  EXPECT_EQ(Selection(), LB_ERR);
}

TEST_F(DeviceListTest, ApplicationModeFirstThenDfuMode) {
  Add(L"tw1", L"TW 3xx", Mode::kApplication);
  Add(L"vx1", L"VX 5xx", Mode::kDfu);
  Add(L"qm1", L"QM 5xx", Mode::kApplication);
  Refresh();
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"Device 0: TW 3xx\n", L"Device 1: QM 5xx\n", L"Device 2: VX 5xx\n"}));
  EXPECT_EQ(m_usbioCount, 2);
  EXPECT_EQ(m_dfuCount, 1);
  EXPECT_EQ(Selection(), 0);

  const std::pair<DeviceKind, int> expected[] = {
      {DeviceKind::kApplication, 0}, {DeviceKind::kApplication, 1}, {DeviceKind::kDfu, 0}};
  for (int position = 0; position < 3; ++position) {
    Select(position);
    DeviceEntry entry;
    std::wstring text;
    ASSERT_TRUE(SelectedDevice(m_listBox, entry, text));
    EXPECT_EQ(entry.kind, expected[position].first) << position;
    EXPECT_EQ(entry.number, expected[position].second) << position;
    EXPECT_EQ(text, Entries()[static_cast<std::size_t>(position)]);
  }
}

TEST_F(DeviceListTest, ProductTextsAsTheDevicesGiveThem) {
  Add(L"odd", L"M\u00E4ter \u03A9", Mode::kApplication);  // Omega keeps only its low byte
  Add(L"vx1", L"VX 5xx", Mode::kDfu);
  m_bench.bench().WriteInt(sim::Bench::InstrumentSection(L"vx1"), L"fault.productStringUnreadable", 1);
  Refresh();
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"Device 0: M\u00E4ter \u00A9\n", L"Device 1: <<Unknown>>\n"}));
  // The DFU entries' texts are kept as shown, for the preparation to tell a new one by.
  EXPECT_EQ(m_dfuProducts, std::vector<std::wstring>{L"<<Unknown>>"});
}

TEST_F(DeviceListTest, ADeviceThatCannotBeOpenedUsesUpItsNumber) {
  Add(L"a", L"TW 3xx", Mode::kApplication);
  Add(L"b", L"TW 3xx", Mode::kApplication, 0x0230);  // refused by the driver version check
  Add(L"c", L"QM 5xx", Mode::kApplication);
  Add(L"v", L"VX 5xx", Mode::kDfu);
  Refresh();
  EXPECT_EQ(Entries(), (std::vector<std::wstring>{L"Device 0: TW 3xx\n", L"Device 2: QM 5xx\n", L"Device 2: VX 5xx\n"}));
  EXPECT_EQ(m_usbioCount, 2);
  EXPECT_EQ(m_dfuCount, 1);
  // Position 1 is USBIO device 2, not device 1, and position 2 the DFU device.
  Select(1);
  DeviceEntry entry;
  std::wstring text;
  ASSERT_TRUE(SelectedDevice(m_listBox, entry, text));
  EXPECT_EQ(entry.kind, DeviceKind::kApplication);
  EXPECT_EQ(entry.number, 2);
  Select(2);
  ASSERT_TRUE(SelectedDevice(m_listBox, entry, text));
  EXPECT_EQ(entry.kind, DeviceKind::kDfu);
  EXPECT_EQ(entry.number, 0);
}

TEST_F(DeviceListTest, WithElevenEntriesTheSelectedEntryNamesTheDeviceShown) {
  for (int i = 0; i < 11; ++i) Add(L"tw" + std::to_wstring(i), L"TW 3xx #" + std::to_wstring(i), Mode::kApplication);
  Add(L"vx", L"VX 5xx", Mode::kDfu);
  Refresh();
  const std::vector<std::wstring> entries = Entries();
  ASSERT_EQ(entries.size(), 12u);
  EXPECT_EQ(entries[2], L"Device 10: TW 3xx #10\n") << "the list box sorts its texts";
  EXPECT_EQ(entries[3], L"Device 11: VX 5xx\n");
  EXPECT_EQ(entries[4], L"Device 2: TW 3xx #2\n");
  for (int position = 0; position < 12; ++position) {
    Select(position);
    DeviceEntry entry;
    std::wstring text;
    ASSERT_TRUE(SelectedDevice(m_listBox, entry, text));
    const std::wstring shown = entries[static_cast<std::size_t>(position)];
    const int numberShown = std::stoi(shown.substr(7));
    EXPECT_EQ(entry.kind == DeviceKind::kDfu ? 11 + entry.number : entry.number, numberShown) << position;
  }
}

TEST_F(DeviceListTest, SelectionFollowsThePosition) {
  Add(L"tw1", L"TW 3xx", Mode::kApplication);
  Add(L"qm1", L"QM 5xx", Mode::kApplication);
  Add(L"vx1", L"VX 5xx", Mode::kDfu);
  Refresh();
  Select(2);
  Refresh();
  EXPECT_EQ(Selection(), 2) << "kept across refreshes";

  sim::Instrument gone;
  ASSERT_TRUE(m_bench.bench().Load(L"vx1", &gone));
  gone.mode = Mode::kAbsent;
  ASSERT_TRUE(m_bench.bench().Save(gone));
  Refresh();
  EXPECT_EQ(Entries().size(), 2u);
  EXPECT_EQ(Selection(), 0) << "the list got shorter than the remembered position";
}

TEST_F(DeviceListTest, WhileTheDfuLibraryIsMissingTheListStaysAndIsRetried) {
  Add(L"tw1", L"TW 3xx", Mode::kApplication);
  SendMessageW(m_listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"earlier entry"));
  for (sim::DfuDriver driver : {sim::DfuDriver::kMissing, sim::DfuDriver::kOutdated}) {
    ASSERT_TRUE(m_bench.bench().SetDfuDriver(driver));
    Refresh();
    EXPECT_EQ(Entries(), std::vector<std::wstring>{L"earlier entry"});
    EXPECT_EQ(m_usbioCount, -1) << "counts untouched";
    EXPECT_EQ(m_dfuReady, 0);
  }
  ASSERT_TRUE(m_bench.bench().SetDfuDriver(sim::DfuDriver::kPresent));
  Refresh();
  EXPECT_EQ(Entries(), std::vector<std::wstring>{L"Device 0: TW 3xx\n"});
  EXPECT_EQ(m_dfuReady, 1);
}

}  // namespace
