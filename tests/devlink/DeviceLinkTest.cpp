// DeviceLink against instruments of a bench, through the real USB layer and the bench's
// driver simulation: the bytes on the wire, the reply checks and the commands.
#include "devlink/DeviceLink.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devlink/Frame.h"
#include "dfu/DfuLibrary.h"
#include "sim/bench/TemporaryBench.h"
#include "sim/usb/UsbDriverSimulation.h"
#include "tests/devlink/FrameBytes.h"
#include "tests/support/TestFiles.h"
#include "usbio/DeviceSetupLibrary.h"

namespace {

// Status reply data: RunState 0x04030201, ReadyState 0x00200000, AuxState 0x0605.
const Bytes kStatusData = {0x01, 0x02, 0x03, 0x04, 0x00, 0x00, 0x20, 0x00, 0x05, 0x06};

Bytes PositiveReply(std::uint8_t address) {
  Bytes payload = {frame::kPositiveMarker};
  payload.insert(payload.end(), kStatusData.begin(), kStatusData.end());
  return Framed(address, payload);
}

class DeviceLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_bench.created());
    sim::Instrument tw = sim::MakeInstrument(L"tw1", L"TW 3xx", 4181, sim::Mode::kApplication);
    tw.bus_address = 0x01;
    ASSERT_TRUE(m_bench.bench().Save(tw));
    m_simulation = std::make_unique<sim::UsbDriverSimulation>(m_bench.bench());
    InstallUsbSystemPort(m_simulation.get());
    DeviceLink::DeviceAddress = 0;
    DeviceLink::ModelNumber = 0;
    DeviceLink::Busy = 0;
  }

  void TearDown() override {
    DeviceLink::CloseAll();
    DeviceSetupLibrary().Release();
    InstallUsbSystemPort(nullptr);
  }

  // Opens, configures and binds the link to the bench's first instrument, as the update
  // preparation does.
  void OpenLink() {
    HDEVINFO list = CUsbIo::OpenDeviceList(&sim::kUsbIoInterfaceGuid);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(DeviceLink::Device.Open(0, list, &sim::kUsbIoInterfaceGuid, true), 0u);
    UsbIoConfigurationRecord record;
    DeviceLink::BuildConfigurationRecord(record);
    ASSERT_EQ(DeviceLink::Device.SetConfiguration(&record), 0u);
    UsbIoConfigurationInfo info;
    ASSERT_EQ(DeviceLink::Device.QueryConfigurationInfo(&info), 0u);
    for (std::uint32_t i = 0; i < info.numberOfPipes; ++i) {
      const UsbIoPipeInfo& pipe = info.pipeInfo[i];
      if (pipe.pipeType != kUsbPipeTypeBulk) continue;
      CUsbIoPipe& target = (pipe.endpointAddress & 0x80) ? DeviceLink::ReadPipe : DeviceLink::WritePipe;
      ASSERT_EQ(target.Bind(0, pipe.endpointAddress, list, &sim::kUsbIoInterfaceGuid, true), 0u);
    }
    CUsbIo::CloseDeviceList(list);
  }

  void SetFault(const wchar_t* command, const wchar_t* fault) {
    m_bench.bench().WriteString(sim::Bench::InstrumentSection(L"tw1"), std::wstring(L"fault.") + command, fault);
  }

  void SetAddress(std::uint32_t address) {
    sim::Instrument tw;
    ASSERT_TRUE(m_bench.bench().Load(L"tw1", &tw));
    tw.bus_address = address;
    ASSERT_TRUE(m_bench.bench().Save(tw));
  }

  // The frames on the wire so far, one "OUT ..." or "IN ..." line each, endpoint dropped.
  std::vector<std::string> Trace() {
    std::vector<std::string> lines;
    const std::string text = testing_support::ReadFileBytes(m_bench.bench().TracePath());
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // "OUT tw1 ep02 01 09 ..." -> "OUT 01 09 ..."
      const std::size_t direction = line.find(' ');
      const std::size_t bytes = line.find(' ', line.find(' ', direction + 1) + 1);
      if (direction != std::string::npos && bytes != std::string::npos) {
        lines.push_back(line.substr(0, direction) + line.substr(bytes));
      }
      start = end + 1;
    }
    return lines;
  }

  std::vector<std::string> Sent() {
    std::vector<std::string> out;
    for (const std::string& line : Trace()) {
      if (line.compare(0, 4, "OUT ") == 0) out.push_back(line.substr(4));
    }
    return out;
  }

  sim::TemporaryBench m_bench;
  std::unique_ptr<sim::UsbDriverSimulation> m_simulation;
};

// Identify, status and the switch: the identify frame goes unaddressed, the others to the
// address the instrument answered with, their checksums following it.
struct AddressCase {
  const char* name;
  std::uint32_t busAddress;
  std::vector<std::string> sent;
};

class DeviceLinkAddressTest : public DeviceLinkTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(DeviceLinkAddressTest, IdentifyThenStatusThenUpdateMode) {
  SetAddress(GetParam().busAddress);
  OpenLink();
  ASSERT_EQ(DeviceLink::GetDeviceInfo(), kLinkOk);
  EXPECT_EQ(DeviceLink::DeviceAddress, GetParam().busAddress);
  EXPECT_EQ(DeviceLink::ModelNumber, 4181u);
  std::uint32_t run = 0xFFFFFFFF, ready = 0;
  std::uint16_t aux = 0xFFFF;
  ASSERT_EQ(DeviceLink::GetDeviceStatus(run, ready, aux), kLinkOk);
  EXPECT_EQ(run, 0u);
  EXPECT_NE(ready & 0x200000u, 0u);
  EXPECT_EQ(aux, 0u);
  ASSERT_EQ(DeviceLink::EnterUpdateMode(), kLinkOk);
  EXPECT_EQ(Sent(), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, DeviceLinkAddressTest,
    ::testing::Values(AddressCase{"Address1", 0x01,
                                  {"00 05 41 BA 00", "01 09 03 FF 01 00 00 F3 00", "00 05 41 BA 00",
                                   "01 07 09 01 04 EA 00"}},
                      AddressCase{"Address20", 0x20,
                                  {"00 05 41 BA 00", "20 09 03 FF 01 00 00 D4 00", "00 05 41 BA 00",
                                   "20 07 09 01 04 CB 00"}}),
    [](const ::testing::TestParamInfo<AddressCase>& info) { return std::string(info.param.name); });

struct ReplyCase {
  const char* name;
  std::uint8_t deviceAddress;
  Bytes reply;
  bool duringCancel;  // the read times out and the reply lands as it is cancelled
  std::uint8_t result;
  Bytes expectedStart;  // reply buffer's first bytes afterwards
};

class ExchangeFrameReplyTest : public DeviceLinkTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ExchangeFrameReplyTest, ChecksAndUnpacksTheReply) {
  OpenLink();
  DeviceLink::DeviceAddress = GetParam().deviceAddress;
  m_simulation->ScriptReply(L"tw1", GetParam().reply, GetParam().duringCancel);
  std::memcpy(DeviceLink::RequestBuffer, "\x03\xFF\x01\x00\x00", 5);
  EXPECT_EQ(DeviceLink::ExchangeFrame(5, DeviceLink::ReplyBuffer), GetParam().result);
  const Bytes& start = GetParam().expectedStart;
  EXPECT_EQ(Bytes(DeviceLink::ReplyBuffer, DeviceLink::ReplyBuffer + start.size()), start);
  EXPECT_EQ(DeviceLink::Busy, 0);
}

Bytes WithByte(Bytes bytes, std::size_t at, std::uint8_t value) {
  bytes[at] = value;
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ExchangeFrameReplyTest,
    ::testing::Values(
        ReplyCase{"IntactPositive", 0x01, PositiveReply(0x01), false, kLinkOk, kStatusData},
        ReplyCase{"IntactNegative", 0x01, Framed(0x01, {frame::kNegativeMarker, 9, 8, 7, 6}), false, kLinkNotOpen,
                  {9, 8, 7, 6}},
        ReplyCase{"WrongAddress", 0x01, PositiveReply(0x02), false, kLinkDamaged, {}},
        ReplyCase{"BadChecksum", 0x01, WithByte(PositiveReply(0x01), 13, 0x00), false, kLinkDamaged, {}},
        ReplyCase{"FailedReadLeavingNegative", 0x01, Framed(0x01, {frame::kNegativeMarker, 9, 8, 7, 6}), true,
                  kLinkReadFailed, {9, 8, 7, 6}},
        ReplyCase{"FailedReadLeavingPositive", 0x01, PositiveReply(0x01), true, kLinkOk, kStatusData},
        ReplyCase{"FailedReadLeavingNothing", 0x01, Bytes{}, true, kLinkReadFailed, {}},
        ReplyCase{"UnaddressedKeepsTheFrame", 0x00, PositiveReply(0x00), false, kLinkOk,
                  Bytes{0x00, 0x0F, frame::kPositiveMarker, 0x01, 0x02}},
        ReplyCase{"UnaddressedLengthZero", 0x00, Bytes{0x00, 0x00, 0x3E, 0x55}, false, kLinkOk, {0x00, 0x00}},
        ReplyCase{"UnaddressedBadSum", 0x00, WithByte(PositiveReply(0x00), 3, 0x77), false, kLinkDamaged, {}},
        ReplyCase{"SegmentLengthBelowFour", 0x01, Bytes{0x01, 0x02, 0xFD, 0x00}, false, kLinkDamaged, {}},
        ReplyCase{"SegmentLongerThanReceived", 0x01, WithByte(Framed(0x01, {0x3E, 1, 2}), 1, 60), false,
                  kLinkDamaged, {}},
        ReplyCase{"UnaddressedLengthPastReceived", 0x00, Bytes{0x00, 0x40, 0x3E, 0x00}, false, kLinkDamaged, {}},
        ReplyCase{"NoMarker", 0x01, Framed(0x01, {}), false, kLinkDamaged, {}},
        ReplyCase{"PositiveTooShortForItsData", 0x01, Framed(0x01, {frame::kPositiveMarker, 1, 2}), false,
                  kLinkDamaged, {}}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

TEST_F(DeviceLinkTest, NoReplyTimesOutThroughTheCancel) {
  OpenLink();
  DeviceLink::DeviceAddress = 0x01;
  SetFault(L"status", L"noReply");
  std::uint32_t run = 7, ready = 7;
  std::uint16_t aux = 7;
  EXPECT_EQ(DeviceLink::GetDeviceStatus(run, ready, aux), kLinkReadFailed);
  EXPECT_EQ(run, 7u) << "outputs are written only on success";
  EXPECT_EQ(DeviceLink::Busy, 0);
}

TEST_F(DeviceLinkTest, BusyLinkSendsNothing) {
  OpenLink();
  DeviceLink::Busy = 1;
  EXPECT_EQ(DeviceLink::ExchangeFrame(5, DeviceLink::ReplyBuffer), kLinkBusy);
  EXPECT_EQ(DeviceLink::Busy, 1);
  DeviceLink::Busy = 0;
  EXPECT_TRUE(Sent().empty());
}

// One length byte frames at most 251 payload bytes: a longer payload would wrap it, and is
// refused whole, with nothing on the wire and the link free again.
TEST_F(DeviceLinkTest, APayloadTooLongToFrameIsNeverSent) {
  OpenLink();
  DeviceLink::DeviceAddress = 0x01;
  for (const std::size_t n : {frame::kMaxPayload + 1, std::size_t{255}}) {
    EXPECT_EQ(DeviceLink::ExchangeFrame(static_cast<std::uint8_t>(n), DeviceLink::ReplyBuffer), kLinkWriteFailed) << n;
    EXPECT_EQ(DeviceLink::Busy, 0) << n;
  }
  EXPECT_TRUE(Sent().empty());
}

TEST_F(DeviceLinkTest, PayloadOfZeroOnlyReceives) {
  OpenLink();
  DeviceLink::DeviceAddress = 0x01;
  m_simulation->ScriptReply(L"tw1", PositiveReply(0x01));
  EXPECT_EQ(DeviceLink::ExchangeFrame(0, DeviceLink::ReplyBuffer), kLinkOk);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(DeviceLinkTest, ClosedLinkTouchesNoPipe) {
  std::uint32_t run, ready;
  std::uint16_t aux;
  EXPECT_EQ(DeviceLink::ExchangeFrame(5, DeviceLink::ReplyBuffer), kLinkNotOpen);
  EXPECT_EQ(DeviceLink::GetDeviceInfo(), kLinkNotOpen);
  EXPECT_EQ(DeviceLink::GetDeviceStatus(run, ready, aux), kLinkNotOpen);
  EXPECT_EQ(DeviceLink::EnterUpdateMode(), kLinkNotOpen);
  std::uint8_t buffer[9];
  EXPECT_EQ(DeviceLink::ReadRaw(buffer, 9, 4000), kLinkNotOpen);
  EXPECT_TRUE(Trace().empty());
}

struct IdentifyCase {
  const wchar_t* fault;
  std::uint8_t result;
  bool learned;  // DeviceAddress and ModelNumber taken from the reply
};

class IdentifyReplyTest : public DeviceLinkTest, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(IdentifyReplyTest, AcceptedWhateverItsChecksumOrMarkerButNotShort) {
  OpenLink();
  DeviceLink::DeviceAddress = 0x33;
  DeviceLink::ModelNumber = 1234;
  SetFault(L"identify", GetParam().fault);
  EXPECT_EQ(DeviceLink::GetDeviceInfo(), GetParam().result);
  EXPECT_EQ(DeviceLink::DeviceAddress, GetParam().learned ? 0x01 : 0x33);
  EXPECT_EQ(DeviceLink::ModelNumber, GetParam().learned ? 4181u : 1234u);
  EXPECT_EQ(DeviceLink::EnterUpdateMode(), GetParam().result) << "the update-mode request identifies first";
}

INSTANTIATE_TEST_SUITE_P(Faults, IdentifyReplyTest,
                         ::testing::Values(IdentifyCase{L"", kLinkOk, true}, IdentifyCase{L"badChecksum", kLinkOk, true},
                                           IdentifyCase{L"short", kLinkReadFailed, false},
                                           IdentifyCase{L"noReply", kLinkReadFailed, false}));

TEST_F(DeviceLinkTest, UnpluggedInstrumentFailsTheNextCommand) {
  OpenLink();
  ASSERT_EQ(DeviceLink::GetDeviceInfo(), kLinkOk);
  SetFault(L"status", L"unplug");
  std::uint32_t run, ready;
  std::uint16_t aux;
  EXPECT_EQ(DeviceLink::GetDeviceStatus(run, ready, aux), kLinkReadFailed);
  EXPECT_EQ(DeviceLink::GetDeviceStatus(run, ready, aux), kLinkWriteFailed);
}

TEST(LinkConfigurationTest, TwoInterfacesWith64KiBTransfers) {
  UsbIoConfigurationRecord record;
  std::memset(&record, 0xAB, sizeof record);
  DeviceLink::BuildConfigurationRecord(record);
  EXPECT_EQ(record.configurationIndex, 0);
  ASSERT_EQ(record.numberOfInterfaces, 2);
  for (std::uint16_t i = 0; i < 2; ++i) {
    EXPECT_EQ(record.interfaces[i].interfaceIndex, i);
    EXPECT_EQ(record.interfaces[i].alternateSettingIndex, 0);
    EXPECT_EQ(record.interfaces[i].maximumTransferSize, 0x10000u);
  }
  EXPECT_EQ(record.interfaces[2].interfaceIndex, 0) << "the rest of the record is cleared";
  EXPECT_EQ(LinkConfiguration[2].enabled, 0u);
  EXPECT_EQ(LinkConfiguration[3].interfaceIndex, 3u);
}

// The instrument's way from application mode into its DFU loader: identified, polled until
// ready, seen with its logger running, switched, and found by the DFU library afterwards.
TEST_F(DeviceLinkTest, InstrumentPolledUntilReadyThenSwitchedTurnsUpAsDfuDevice) {
  const std::wstring section = sim::Bench::InstrumentSection(L"tw1");
  m_bench.bench().WriteInt(section, L"statusReadyAfter", 3);
  m_bench.bench().WriteInt(section, L"runState", 2);
  sim::Instrument tw;
  ASSERT_TRUE(m_bench.bench().Load(L"tw1", &tw));
  tw.reenumeration_ms = 200;
  ASSERT_TRUE(m_bench.bench().Save(tw));
  ASSERT_TRUE(m_bench.Activate());

  OpenLink();
  ASSERT_EQ(DeviceLink::GetDeviceInfo(), kLinkOk);
  std::uint32_t run = 0, ready = 0;
  std::uint16_t aux = 0;
  int polls = 0;
  do {
    ASSERT_EQ(DeviceLink::GetDeviceStatus(run, ready, aux), kLinkOk);
    ++polls;
  } while ((ready & 0x200000u) == 0 && polls < 10);
  EXPECT_EQ(polls, 3);
  EXPECT_EQ(run & 0x3u, 2u) << "the logger is running";

  m_bench.bench().WriteInt(section, L"runState", 0);
  ASSERT_EQ(DeviceLink::GetDeviceStatus(run, ready, aux), kLinkOk);
  EXPECT_EQ(run, 0u);
  ASSERT_EQ(DeviceLink::EnterUpdateMode(), kLinkOk);
  DeviceLink::CloseAll();

  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring library = self;
  library = library.substr(0, library.find_last_of(L'\\') + 1) + L"kndfu.dll";
  ASSERT_EQ(LoadDfuLibraryNamed(library.c_str()), 0);
  DfuDeviceInfo info;
  DfuHandle handle = 0;
  int opened = -1;
  for (int attempt = 0; attempt < 100 && opened != 0; ++attempt) {
    opened = pfnLMDFUDeviceOpen(0, &info, &handle);
    if (opened != 0) Sleep(20);
  }
  ASSERT_EQ(opened, 0) << "the switched instrument is a DFU device once it has re-enumerated";
  char product[64] = {};
  std::uint32_t length = sizeof product;
  ASSERT_EQ(pfnLMDFUDeviceASCIIStringGet(handle, info.productStringIndex, product, &length), 0);
  EXPECT_STREQ(product, "TW 3xx");
  pfnLMDFUDeviceClose(handle, 0);

  EXPECT_EQ(Sent().back(), "01 07 09 01 04 EA 00");
}

}  // namespace
