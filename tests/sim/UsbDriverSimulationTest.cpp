// The bench's USBIO driver simulation, reached through the USB layer as the updater
// reaches it: which instruments it shows, shared opens, the trace of the frames, the
// instruments' faults, and an instrument leaving for its DFU loader.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/UsbBench.h"
#include "usbio/DeviceSetupLibrary.h"
#include "usbio/StringDescriptor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using sim::HexBytes;
using usbtest::ScopedDeviceList;
using usbtest::TestDevice;
using usbtest::TestPipe;

const GUID* const kGuid = &kUsbIoInterfaceGuid;
constexpr DWORD kGenerousMs = 10000;
constexpr DWORD kShortMs = 30;

// Requests to bus address 1: the status query and the update-mode request.
const Bytes kStatusQuery = {0x01, 0x09, 0x03, 0xFF, 0x01, 0x00, 0x00, 0xF3, 0x00};
const Bytes kUpdateModeRequest = {0x01, 0x07, 0x09, 0x01, 0x04, 0xEA, 0x00};

class UsbDriverSimulationTest : public usbtest::UsbBenchTest {
 protected:
  // The instrument behind an open device: its serial number string is the bench id.
  std::wstring IdOf(CUsbIo& device) {
    std::uint8_t descriptor[kUsbDeviceDescriptorSize] = {};
    if (device.GetDeviceDescriptor(descriptor) != 0) return L"?";
    std::uint8_t buffer[256] = {};
    DWORD size = sizeof buffer;
    if (device.GetStringDescriptor(buffer, &size, descriptor[16], kUsbLanguageEnglishUs) != 0) return L"?";
    StringDescriptorToText(size, buffer);
    const std::string text(reinterpret_cast<const char*>(buffer));
    return std::wstring(text.begin(), text.end());
  }

  std::vector<std::wstring> ListedPaths() {
    std::vector<std::wstring> paths;
    ScopedDeviceList list;
    CUsbIo device;
    for (int n = 0; device.FindDeviceInterface(n, list.get(), kGuid) == 0; ++n) paths.push_back(device.GetDevicePath());
    return paths;
  }

  // Exchanges one frame over the bound pipes; the reply's bytes, or the read's status.
  DWORD Exchange(const Bytes& request, Bytes* reply, DWORD timeoutMs = kGenerousMs) {
    DWORD size = static_cast<DWORD>(request.size());
    const DWORD written = writePipe_.WriteWithTimeout(request.data(), &size, kGenerousMs);
    if (written != 0) return written;
    const DWORD cleared = readPipe_.ClearPipeCounters();
    if (cleared != 0) return cleared;
    std::uint8_t buffer[64];
    size = sizeof buffer;
    const DWORD status = readPipe_.ReadWithTimeout(buffer, &size, timeoutMs);
    reply->assign(buffer, buffer + size);
    return status;
  }

  TestPipe readPipe_;
  TestPipe writePipe_;
};

TEST_F(UsbDriverSimulationTest, ShowsTheInstrumentsInApplicationModeInBenchOrder) {
  Add(usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181));
  Add(sim::MakeInstrument(L"vx1", L"VX 5xx", 4200, sim::Mode::kDfu));
  sim::Instrument restarting = usbtest::ApplicationInstrument(L"rs1", L"TW 3xx", 4192);
  restarting.mode_changed_at = sim::Bench::NowMs();
  restarting.reenumeration_ms = 600000;
  Add(restarting);
  Add(usbtest::ApplicationInstrument(L"qm1", L"QM 5xx", 4100));
  Add(sim::MakeInstrument(L"ab1", L"QM 5xx", 4100, sim::Mode::kAbsent));

  EXPECT_EQ((std::vector<std::wstring>{sim::UsbDriverSimulation::DevicePathOf(L"tw1"),
                                       sim::UsbDriverSimulation::DevicePathOf(L"qm1")}),
            ListedPaths());

  // Device names count the same instruments; interface paths are matched without case.
  const std::pair<std::wstring, std::wstring> opened[] = {
      {L"\\\\.\\USBIO_Device0", L"tw1"},
      {L"\\\\.\\USBIO_Device1", L"qm1"},
      {L"\\\\?\\USB#VID_F055&PID_0001#qm1#{325DDF96-938C-11D3-9E34-0080C82727F4}", L"qm1"},
  };
  for (const auto& [path, id] : opened) {
    CUsbIo device;
    ASSERT_EQ(0u, device.OpenByPath(path.c_str(), true)) << std::string(path.begin(), path.end());
    EXPECT_EQ(id, IdOf(device));
  }
  for (const wchar_t* id : {L"vx1", L"rs1", L"ab1", L"zz9"}) {
    CUsbIo device;
    EXPECT_EQ(USBIO_ERR_DEVICE_NOT_FOUND,
              device.OpenByPath(sim::UsbDriverSimulation::DevicePathOf(id).c_str(), false));
  }
  CUsbIo third;
  EXPECT_EQ(USBIO_ERR_DEVICE_NOT_FOUND, third.Open(2, nullptr, kGuid, false));
  // Only the exact name of a number names a device.
  for (const wchar_t* name : {L"\\\\.\\USBIO_Device01", L"\\\\.\\USBIO_Device1x", L"\\\\.\\USBIO_Device",
                              L"\\\\.\\USBIO_Device+1", L"\\\\.\\USBIO_Device 1"}) {
    CUsbIo device;
    EXPECT_EQ(USBIO_ERR_DEVICE_NOT_FOUND, device.OpenByPath(name, false));
  }
}

TEST_F(UsbDriverSimulationTest, ASetupApiBindingThatOutlivesItsSimulationFails) {
  Add(usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181));
  {
    sim::UsbDriverSimulation gone(bench());  // the one the entry points reach from now on
    ScopedDeviceList list;
    ASSERT_NE(nullptr, list.get());
  }
  ASSERT_TRUE(DeviceSetupLibrary().IsLoaded());
  EXPECT_EQ(nullptr, CUsbIo::OpenDeviceList(kGuid));
  CUsbIo device;
  const HDEVINFO someList = reinterpret_cast<HDEVINFO>(static_cast<std::uintptr_t>(0x1234));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), device.FindDeviceInterface(0, someList, kGuid));
  CUsbIo::CloseDeviceList(someList);
}

// The Setup API takes its records only at the sizes of the program's platform, as Windows
// does; those of the other architecture are refused.
struct RecordSizeCase {
  const char* name;
  DWORD interfaceDataSize;
  DWORD detailDataSize;
  DWORD error;  // of the call the wrong size reaches first; 0: the device path is read
};

#ifdef _WIN64
const RecordSizeCase kRecordSizes[] = {
    {"SizesOf64BitWindows", 32, 8, 0},
    {"InterfaceDataOf32BitWindows", 28, 8, ERROR_INVALID_USER_BUFFER},
    {"DetailDataOf32BitWindows", 32, 6, ERROR_INVALID_USER_BUFFER},
};
#else
const RecordSizeCase kRecordSizes[] = {
    {"SizesOf32BitWindows", 28, 6, 0},
    {"InterfaceDataOf64BitWindows", 32, 6, ERROR_INVALID_USER_BUFFER},
    {"DetailDataOf64BitWindows", 28, 8, ERROR_INVALID_USER_BUFFER},
};
#endif

class UsbDriverSimulationRecordSizeTest : public UsbDriverSimulationTest,
                                          public ::testing::WithParamInterface<RecordSizeCase> {};

TEST_P(UsbDriverSimulationRecordSizeTest, TheSetupApiTakesThePlatformsRecordSizesOnly) {
  const RecordSizeCase& c = GetParam();
  Add(usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181));
  ScopedDeviceList list;
  CDeviceSetupLibrary& setup = DeviceSetupLibrary();
  ASSERT_TRUE(setup.Load());

  // Big enough for either architecture's record; cbSize alone tells the size.
  alignas(8) std::uint8_t interfaceBytes[32] = {};
  auto* interfaceData = reinterpret_cast<SP_DEVICE_INTERFACE_DATA*>(interfaceBytes);
  interfaceData->cbSize = c.interfaceDataSize;
  const BOOL enumerated = setup.SetupDiEnumDeviceInterfaces(list.get(), nullptr, kGuid, 0, interfaceData);
  if (c.interfaceDataSize != kDeviceInterfaceDataSize) {
    EXPECT_FALSE(enumerated);
    EXPECT_EQ(c.error, GetLastError());
    return;
  }
  ASSERT_TRUE(enumerated);

  DWORD required = 0;
  EXPECT_FALSE(setup.SetupDiGetDeviceInterfaceDetailW(list.get(), interfaceData, nullptr, 0, &required, nullptr));
  ASSERT_GT(required, kDeviceInterfaceDetailDataSize);
  std::vector<std::uint64_t> block((required + 7) / 8);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(block.data());
  detail->cbSize = c.detailDataSize;
  const BOOL read = setup.SetupDiGetDeviceInterfaceDetailW(list.get(), interfaceData, detail, required, nullptr, nullptr);
  if (c.error != 0) {
    EXPECT_FALSE(read);
    EXPECT_EQ(c.error, GetLastError());
  } else {
    ASSERT_TRUE(read);
    EXPECT_EQ(sim::UsbDriverSimulation::DevicePathOf(L"tw1"), detail->DevicePath);
  }
}

INSTANTIATE_TEST_SUITE_P(Architectures, UsbDriverSimulationRecordSizeTest, ::testing::ValuesIn(kRecordSizes),
                         [](const ::testing::TestParamInfo<RecordSizeCase>& info) { return info.param.name; });

TEST_F(UsbDriverSimulationTest, OpensOneDeviceTwiceAtTheSameTime) {
  Add(usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181));
  ScopedDeviceList list;
  TestDevice first;
  ASSERT_EQ(0u, first.Open(0, list.get(), kGuid, true));
  TestDevice second;
  ASSERT_EQ(0u, second.OpenByPath(first.GetDevicePath(), false));
  EXPECT_NE(first.Handle(), second.Handle());
  second.Close();
  UsbIoDriverInfo info{};
  EXPECT_EQ(0u, first.QueryDriverInfo(&info));
}

TEST_F(UsbDriverSimulationTest, TracesEveryFrameInBothDirections) {
  Add(usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181));
  BindPipes(0, readPipe_, writePipe_);

  Bytes statusReply;
  ASSERT_EQ(0u, Exchange(kStatusQuery, &statusReply));
  ASSERT_FALSE(statusReply.empty());

  simulation_.SetEcho(L"tw1", true);
  Bytes echoed;
  ASSERT_EQ(0u, Exchange({0xAB, 0xCD}, &echoed));
  EXPECT_EQ((Bytes{0xAB, 0xCD}), echoed);

  // A late reply is traced as far as it lands in the cancelled read.
  simulation_.ScriptReply(L"tw1", {1, 2, 3, 4, 5, 6}, true);
  std::uint8_t buffer[4];
  DWORD size = sizeof buffer;
  EXPECT_EQ(USBIO_ERR_TIMEOUT, readPipe_.ReadWithTimeout(buffer, &size, 0));
  EXPECT_EQ(4u, size);

  EXPECT_EQ((std::vector<std::string>{
                "OUT tw1 ep02 01 09 03 FF 01 00 00 F3 00",
                "IN tw1 ep81 " + HexBytes(statusReply.data(), statusReply.size()),
                "OUT tw1 ep02 AB CD",
                "IN tw1 ep81 AB CD",
                "IN tw1 ep81 01 02 03 04",
            }),
            TraceLines());
}

struct FaultCase {
  const char* name;
  const wchar_t* fault;
  DWORD status;   // of the read that follows the status query
  DWORD size;     // bytes it received
  sim::Mode mode;  // the instrument's mode afterwards
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class UsbDriverSimulationFaultTest : public UsbDriverSimulationTest,
                                     public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UsbDriverSimulationFaultTest, TheInstrumentAnswersTheStatusQueryAsSwitched) {
  Add(usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181));
  SetInstrumentKey(L"tw1", L"fault.status", GetParam().fault);
  BindPipes(0, readPipe_, writePipe_);

  Bytes reply;
  EXPECT_EQ(GetParam().status, Exchange(kStatusQuery, &reply, kShortMs));
  EXPECT_EQ(GetParam().size, reply.size());
  sim::Instrument instrument;
  ASSERT_TRUE(bench().Load(L"tw1", &instrument));
  EXPECT_EQ(GetParam().mode, instrument.mode);
}

const FaultCase kFaults[] = {
    {"None", L"", 0, 15, sim::Mode::kApplication},
    {"NoReply", L"noReply", USBIO_ERR_TIMEOUT, 0, sim::Mode::kApplication},
    {"LateReply", L"lateReply", USBIO_ERR_TIMEOUT, 15, sim::Mode::kApplication},
    {"Negative", L"negative", 0, 9, sim::Mode::kApplication},
    {"Short", L"short", 0, 4, sim::Mode::kApplication},
    {"Unplug", L"unplug", ERROR_DEVICE_NOT_CONNECTED, 0, sim::Mode::kAbsent},
};

INSTANTIATE_TEST_SUITE_P(Faults, UsbDriverSimulationFaultTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(UsbDriverSimulationTest, AnInstrumentSwitchedToUpdateModeLeavesTheBusAfterItsAnswer) {
  sim::Instrument tw = usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181);
  tw.reenumeration_ms = 600000;  // stays off the bus for the whole test
  Add(tw);
  Add(usbtest::ApplicationInstrument(L"qm1", L"QM 5xx", 4100));
  ScopedDeviceList listBefore;
  BindPipes(0, readPipe_, writePipe_);

  Bytes answer;
  ASSERT_EQ(0u, Exchange(kUpdateModeRequest, &answer));
  EXPECT_EQ(9u, answer.size());
  sim::Instrument switched;
  ASSERT_TRUE(bench().Load(L"tw1", &switched));
  EXPECT_EQ(sim::Mode::kDfu, switched.mode);

  // Re-enumerating: gone from a new device list, from its interface path and its device
  // name, and from the entry of a list taken before.
  EXPECT_EQ(std::vector<std::wstring>{sim::UsbDriverSimulation::DevicePathOf(L"qm1")}, ListedPaths());
  CUsbIo device;
  EXPECT_EQ(USBIO_ERR_DEVICE_NOT_FOUND, device.OpenByPath(sim::UsbDriverSimulation::DevicePathOf(L"tw1").c_str(), false));
  EXPECT_EQ(USBIO_ERR_DEVICE_NOT_FOUND, device.Open(0, listBefore.get(), kGuid, true));
  ASSERT_EQ(0u, device.Open(0, nullptr, kGuid, true));
  EXPECT_EQ(L"qm1", IdOf(device));

  // The handles still open on it answer no more.
  EXPECT_NE(0u, readPipe_.ClearPipeCounters());
}

}  // namespace
