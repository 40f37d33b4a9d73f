// CUsbIo over the bench's driver simulation: finding and opening devices, the API-version
// check, requests on closed objects, the Setup API binding, descriptors and configuration.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>

#include "tests/support/UsbBench.h"
#include "usbio/DeviceSetupLibrary.h"
#include "usbio/SerialNumber.h"
#include "usbio/StringDescriptor.h"

namespace {

using usbtest::ScopedDeviceList;
using usbtest::TestDevice;
using usbtest::TestPipe;

const GUID* const kGuid = &kUsbIoInterfaceGuid;
// A list handle no Setup API made: the calls must refuse before they would use it.
const HDEVINFO kSomeList = reinterpret_cast<HDEVINFO>(static_cast<std::uintptr_t>(0x1234));

class UsbIoTest : public usbtest::UsbBenchTest {
 protected:
  void SetUp() override {
    UsbBenchTest::SetUp();
    Add(usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181));
    Add(usbtest::ApplicationInstrument(L"qm1", L"QM 5xx", 4100));
  }
};

// --- finding and opening -------------------------------------------------------------------

TEST_F(UsbIoTest, OpenWithoutAListOpensTheDeviceNameAndLeavesTheSetupApiAlone) {
  TestDevice device;
  ASSERT_EQ(0u, device.Open(1, nullptr, kGuid, true));
  EXPECT_TRUE(device.IsOpen());
  EXPECT_EQ(std::vector<std::wstring>{L"\\\\.\\USBIO_Device1"}, port_.openedPaths);
  EXPECT_EQ(0, port_.libraryLoads);
  EXPECT_FALSE(DeviceSetupLibrary().IsLoaded());
  EXPECT_EQ(nullptr, device.GetDevicePath());
}

TEST_F(UsbIoTest, OpenWithAListOpensTheInterfacePathOfThatEntry) {
  ScopedDeviceList list;
  ASSERT_NE(nullptr, list.get());
  TestDevice device;
  ASSERT_EQ(0u, device.Open(1, list.get(), kGuid, true));
  const std::wstring path = sim::UsbDriverSimulation::DevicePathOf(L"qm1");
  EXPECT_EQ(std::vector<std::wstring>{path}, port_.openedPaths);
  ASSERT_NE(nullptr, device.GetDevicePath());
  EXPECT_EQ(path, device.GetDevicePath());
}

TEST_F(UsbIoTest, FindDeviceInterfaceWalksTheListAndForgetsThePathPastItsEnd) {
  ScopedDeviceList list;
  CUsbIo device;
  ASSERT_EQ(0u, device.FindDeviceInterface(0, list.get(), kGuid));
  EXPECT_EQ(sim::UsbDriverSimulation::DevicePathOf(L"tw1"), device.GetDevicePath());
  ASSERT_EQ(0u, device.FindDeviceInterface(1, list.get(), kGuid));
  EXPECT_EQ(sim::UsbDriverSimulation::DevicePathOf(L"qm1"), device.GetDevicePath());

  EXPECT_EQ(USBIO_ERR_NO_SUCH_DEVICE_INSTANCE, device.FindDeviceInterface(2, list.get(), kGuid));
  EXPECT_EQ(nullptr, device.GetDevicePath());
  EXPECT_FALSE(device.IsOpen());
  EXPECT_TRUE(port_.openedPaths.empty());
}

TEST_F(UsbIoTest, FindDeviceInterfaceRefusesANullListOrGuidWithoutLoadingTheSetupApi) {
  CUsbIo device;
  EXPECT_EQ(USBIO_ERR_INVALID_PARAMETER, device.FindDeviceInterface(0, nullptr, kGuid));
  EXPECT_EQ(USBIO_ERR_INVALID_PARAMETER, device.FindDeviceInterface(0, kSomeList, nullptr));
  EXPECT_EQ(USBIO_ERR_INVALID_PARAMETER, device.Open(0, kSomeList, nullptr, true));
  EXPECT_EQ(0, port_.libraryLoads);
  EXPECT_FALSE(DeviceSetupLibrary().IsLoaded());
  EXPECT_FALSE(device.IsOpen());
}

TEST_F(UsbIoTest, OpeningAnOpenObjectAgainLeavesItsHandleAsItWas) {
  ScopedDeviceList list;
  TestDevice device;
  ASSERT_EQ(0u, device.Open(0, list.get(), kGuid, true));
  const HANDLE handle = device.Handle();
  port_.Clear();

  EXPECT_EQ(USBIO_ERR_ALREADY_OPEN, device.Open(1, list.get(), kGuid, true));
  EXPECT_EQ(USBIO_ERR_ALREADY_OPEN, device.Open(0, nullptr, kGuid, false));
  EXPECT_EQ(handle, device.Handle());
  EXPECT_TRUE(port_.openedPaths.empty());
  EXPECT_EQ(0, port_.closes);
  EXPECT_EQ(sim::UsbDriverSimulation::DevicePathOf(L"tw1"), device.GetDevicePath());
  UsbIoDriverInfo info{};
  EXPECT_EQ(0u, device.QueryDriverInfo(&info));
}

TEST_F(UsbIoTest, ADeviceThatIsNotThereIsNotFound) {
  ScopedDeviceList list;
  CUsbIo device;
  EXPECT_EQ(USBIO_ERR_NO_SUCH_DEVICE_INSTANCE, device.Open(2, list.get(), kGuid, true));
  EXPECT_EQ(USBIO_ERR_DEVICE_NOT_FOUND, device.Open(2, nullptr, kGuid, true));
  EXPECT_EQ(USBIO_ERR_DEVICE_NOT_FOUND, device.OpenByPath(sim::UsbDriverSimulation::DevicePathOf(L"xx9").c_str(), false));
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(0, port_.closes);
}

TEST_F(UsbIoTest, CloseTwiceIsHarmlessAndForgetsTheDevicePath) {
  ScopedDeviceList list;
  TestDevice device;
  ASSERT_EQ(0u, device.Open(0, list.get(), kGuid, true));
  device.Close();
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(nullptr, device.Handle());
  EXPECT_EQ(nullptr, device.GetDevicePath());
  device.Close();
  EXPECT_EQ(1, port_.closes);
  // The object opens again as new.
  ASSERT_EQ(0u, device.Open(1, list.get(), kGuid, true));
  EXPECT_EQ(sim::UsbDriverSimulation::DevicePathOf(L"qm1"), device.GetDevicePath());
}

TEST_F(UsbIoTest, CloseDeviceListAcceptsNull) {
  CUsbIo::CloseDeviceList(nullptr);
  ScopedDeviceList list;
  EXPECT_NE(nullptr, list.get());
}

// --- driver API version --------------------------------------------------------------------

struct VersionCase {
  const char* name;
  std::uint16_t version;
  DWORD withCheck;  // the status of Open with the check on; off, every version opens
};
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.name; }

class UsbIoVersionTest : public UsbIoTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(UsbIoVersionTest, OpensOnlySupportedVersionsWhenCheckedAndClosesOnRefusal) {
  for (const bool pending : {false, true}) {
    SCOPED_TRACE(pending ? "requests pending" : "requests immediate");
    SetRequestsPending(pending);
    sim::Instrument tw = usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181);
    tw.driver_api_version = GetParam().version;
    Add(tw);
    ScopedDeviceList list;
    const std::wstring path = sim::UsbDriverSimulation::DevicePathOf(L"tw1");
    port_.Clear();

    TestDevice checked;
    EXPECT_EQ(GetParam().withCheck, checked.Open(0, list.get(), kGuid, true));
    EXPECT_EQ(GetParam().withCheck == 0, checked.IsOpen());
    TestDevice checkedByPath;
    EXPECT_EQ(GetParam().withCheck, checkedByPath.OpenByPath(path.c_str(), true));
    EXPECT_EQ(GetParam().withCheck == 0, checkedByPath.IsOpen());
    if (GetParam().withCheck != 0) {
      EXPECT_EQ(nullptr, checked.Handle());
      EXPECT_EQ(2, port_.closes);  // the handles opened for the query are not left behind
    }

    TestDevice unchecked;
    EXPECT_EQ(0u, unchecked.Open(0, list.get(), kGuid, false));
    EXPECT_TRUE(unchecked.IsOpen());
    TestDevice uncheckedByPath;
    EXPECT_EQ(0u, uncheckedByPath.OpenByPath(path.c_str(), false));
    EXPECT_TRUE(uncheckedByPath.IsOpen());
  }
}

const VersionCase kVersionCases[] = {
    {"V0230", 0x0230, USBIO_ERR_VERSION_MISMATCH},
    {"V0231", 0x0231, 0},
    {"V02FF", 0x02FF, 0},
    {"V0300", 0x0300, USBIO_ERR_VERSION_MISMATCH},
    {"V0131", 0x0131, USBIO_ERR_VERSION_MISMATCH},
};

INSTANTIATE_TEST_SUITE_P(Versions, UsbIoVersionTest, ::testing::ValuesIn(kVersionCases),
                         [](const ::testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

// --- requests on a closed object ------------------------------------------------------------

struct ClosedRequestCase {
  const char* name;
  // count: a byte count or size the request may write; it holds 64 on entry.
  std::function<DWORD(CUsbIoPipe&, std::uint8_t (&buffer)[64], DWORD& count)> request;
};
void PrintTo(const ClosedRequestCase& c, std::ostream* os) { *os << c.name; }

class UsbIoClosedTest : public UsbIoTest, public ::testing::WithParamInterface<ClosedRequestCase> {};

TEST_P(UsbIoClosedTest, FailsAtOnceWithoutWritingTheByteCount) {
  for (const bool openedBefore : {false, true}) {
    SCOPED_TRACE(openedBefore ? "closed after an open" : "never opened");
    TestPipe pipe;
    if (openedBefore) {
      ASSERT_EQ(0u, pipe.Bind(0, usbtest::kInEndpoint, nullptr, kGuid, true));
      pipe.Close();
    }
    port_.Clear();
    std::uint8_t buffer[64];
    std::memset(buffer, 0xA5, sizeof buffer);
    DWORD count = 64;
    EXPECT_EQ(USBIO_ERR_DEVICE_NOT_OPEN, GetParam().request(pipe, buffer, count));
    EXPECT_EQ(64u, count);
    EXPECT_TRUE(port_.requestCodes.empty());
    EXPECT_FALSE(pipe.IsOpen());
  }
}

const ClosedRequestCase kClosedRequests[] = {
    {"IoControl",
     [](CUsbIoPipe& pipe, std::uint8_t (&buffer)[64], DWORD& count) {
       return pipe.IoControl(IOCTL_USBIO_GET_DRIVER_INFO, nullptr, 0, buffer, sizeof(UsbIoDriverInfo), &count);
     }},
    {"QueryDriverInfo",
     [](CUsbIoPipe& pipe, std::uint8_t (&buffer)[64], DWORD&) {
       return pipe.QueryDriverInfo(reinterpret_cast<UsbIoDriverInfo*>(buffer));
     }},
    {"GetDescriptor",
     [](CUsbIoPipe& pipe, std::uint8_t (&buffer)[64], DWORD& count) {
       return pipe.GetDescriptor(buffer, &count, 0, kUsbDescriptorString, 2, kUsbLanguageEnglishUs);
     }},
    {"GetStringDescriptor",
     [](CUsbIoPipe& pipe, std::uint8_t (&buffer)[64], DWORD& count) {
       return pipe.GetStringDescriptor(buffer, &count, 2, kUsbLanguageEnglishUs);
     }},
    {"GetDeviceDescriptor",
     [](CUsbIoPipe& pipe, std::uint8_t (&buffer)[64], DWORD&) {
       return pipe.GetDeviceDescriptor(*reinterpret_cast<std::uint8_t(*)[kUsbDeviceDescriptorSize]>(buffer));
     }},
    {"SetConfiguration",
     [](CUsbIoPipe& pipe, std::uint8_t (&)[64], DWORD&) {
       UsbIoConfigurationRecord record{};
       return pipe.SetConfiguration(&record);
     }},
    {"QueryConfigurationInfo",
     [](CUsbIoPipe& pipe, std::uint8_t (&)[64], DWORD&) {
       UsbIoConfigurationInfo info;
       std::memset(&info, 0xA5, sizeof info);
       const DWORD status = pipe.QueryConfigurationInfo(&info);
       const UsbIoConfigurationInfo zero{};
       EXPECT_EQ(0, std::memcmp(&zero, &info, sizeof info)) << "the record is zeroed first";
       return status;
     }},
    {"QueryPipeStatistics",
     [](CUsbIoPipe& pipe, std::uint8_t (&buffer)[64], DWORD&) { return pipe.QueryPipeStatistics(buffer, 0); }},
    {"ClearPipeCounters", [](CUsbIoPipe& pipe, std::uint8_t (&)[64], DWORD&) { return pipe.ClearPipeCounters(); }},
    {"BindRequestOfAnUnopenedPipe",
     [](CUsbIoPipe& pipe, std::uint8_t (&)[64], DWORD&) {
       const UsbIoBindRequest bind{usbtest::kInEndpoint};
       return pipe.IoControl(IOCTL_USBIO_BIND_PIPE, &bind, sizeof bind, nullptr, 0, nullptr);
     }},
};

INSTANTIATE_TEST_SUITE_P(Requests, UsbIoClosedTest, ::testing::ValuesIn(kClosedRequests),
                         [](const ::testing::TestParamInfo<ClosedRequestCase>& info) { return info.param.name; });

// --- the Setup API binding ------------------------------------------------------------------

class UsbIoSetupApiTest : public UsbIoTest, public ::testing::WithParamInterface<const wchar_t*> {};

TEST_P(UsbIoSetupApiTest, UnavailableLeavesNothingBoundAndIsTriedAgainAtEveryUse) {
  SetSetupApi(GetParam());
  CDeviceSetupLibrary& setup = DeviceSetupLibrary();

  EXPECT_EQ(nullptr, CUsbIo::OpenDeviceList(kGuid));
  EXPECT_EQ(1, port_.libraryLoads);
  CUsbIo device;
  EXPECT_EQ(USBIO_ERR_SETUP_API_UNAVAILABLE, device.FindDeviceInterface(0, kSomeList, kGuid));
  EXPECT_EQ(USBIO_ERR_SETUP_API_UNAVAILABLE, device.Open(0, kSomeList, kGuid, true));
  CUsbIo::CloseDeviceList(kSomeList);
  EXPECT_EQ(4, port_.libraryLoads);
  // A module loaded without all its entry points is freed again at once.
  EXPECT_EQ(std::wstring(GetParam()) == L"missing" ? 0 : port_.libraryLoads, port_.libraryFrees);
  EXPECT_FALSE(setup.IsLoaded());
  EXPECT_EQ(nullptr, setup.SetupDiGetClassDevsW);
  EXPECT_EQ(nullptr, setup.SetupDiDestroyDeviceInfoList);
  EXPECT_EQ(nullptr, setup.SetupDiEnumDeviceInterfaces);
  EXPECT_EQ(nullptr, setup.SetupDiGetDeviceInterfaceDetailW);
  EXPECT_FALSE(device.IsOpen());
  EXPECT_TRUE(port_.openedPaths.empty());

  // Device names need no Setup API.
  EXPECT_EQ(0u, device.Open(0, nullptr, kGuid, true));
  device.Close();

  // Once the Setup API is there, the next use binds it.
  SetSetupApi(L"present");
  ScopedDeviceList list;
  ASSERT_NE(nullptr, list.get());
  EXPECT_TRUE(setup.IsLoaded());
  EXPECT_EQ(0u, device.Open(1, list.get(), kGuid, true));
  EXPECT_EQ(sim::UsbDriverSimulation::DevicePathOf(L"qm1"), device.GetDevicePath());
}

INSTANTIATE_TEST_SUITE_P(States, UsbIoSetupApiTest, ::testing::Values(L"missing", L"incomplete"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                           return std::wstring(info.param) == L"missing" ? "Missing" : "Incomplete";
                         });

// --- requests, immediate and pending --------------------------------------------------------

// Every request either completes in DeviceIoControl or reports itself pending and is
// fetched with GetOverlappedResult; both give the same results.
class UsbIoRequestTest : public UsbIoTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    UsbIoTest::SetUp();
    SetRequestsPending(GetParam());
  }
  void TearDown() override {
    // The path the parameter names was the one taken.
    EXPECT_FALSE(port_.requestCodes.empty());
    EXPECT_EQ(GetParam() ? static_cast<int>(port_.requestCodes.size()) : 0, port_.overlappedResults);
    UsbIoTest::TearDown();
  }

  std::string ProductText(CUsbIo& device, DWORD* status) {
    std::uint8_t descriptor[kUsbDeviceDescriptorSize] = {};
    *status = device.GetDeviceDescriptor(descriptor);
    if (*status != 0) return {};
    std::uint8_t buffer[256];
    std::memset(buffer, 0xA5, sizeof buffer);
    DWORD size = sizeof buffer;
    *status = device.GetStringDescriptor(buffer, &size, descriptor[kUsbDeviceDescriptorProductIndex],
                                         kUsbLanguageEnglishUs);
    if (*status != 0) return {};
    EXPECT_EQ(buffer[0], size) << "the count is the descriptor's length";
    StringDescriptorToText(size, buffer);
    return reinterpret_cast<const char*>(buffer);
  }
};

TEST_P(UsbIoRequestTest, DeviceDescriptorNamesTheProductString) {
  TestDevice device;
  ASSERT_EQ(0u, device.Open(0, nullptr, kGuid, true));
  std::uint8_t descriptor[kUsbDeviceDescriptorSize] = {};
  ASSERT_EQ(0u, device.GetDeviceDescriptor(descriptor));
  EXPECT_EQ(kUsbDeviceDescriptorSize, descriptor[0]);
  EXPECT_EQ(kUsbDescriptorDevice, descriptor[1]);
  EXPECT_NE(0, descriptor[kUsbDeviceDescriptorProductIndex]);

  DWORD status = 0;
  EXPECT_EQ("TW 3xx", ProductText(device, &status));
  EXPECT_EQ(0u, status);
}

TEST_P(UsbIoRequestTest, ProductStringsKeepTheLowByteOfEveryCharacter) {
  const struct {
    const wchar_t* product;
    const char* text;
  } cases[] = {
      {L"QM 5xx", "QM 5xx"},
      {L"", ""},
      {L"\u00B5QM \u20AC5", "\xB5QM \xAC" "5"},
      {L"\u0410\u0431", "\x10\x31"},
  };
  for (const auto& c : cases) {
    Add(usbtest::ApplicationInstrument(L"tw1", c.product, 4181));
    CUsbIo device;
    ASSERT_EQ(0u, device.Open(0, nullptr, kGuid, true));
    DWORD status = 0;
    EXPECT_EQ(c.text, ProductText(device, &status));
    EXPECT_EQ(0u, status);
  }
}

TEST_P(UsbIoRequestTest, AnUnreadableProductStringFailsWithTheDriversStatus) {
  SetInstrumentKey(L"tw1", L"usbProductUnreadable", L"1");
  CUsbIo device;
  ASSERT_EQ(0u, device.Open(0, nullptr, kGuid, true));
  DWORD status = 0;
  ProductText(device, &status);
  EXPECT_EQ(static_cast<DWORD>(ERROR_GEN_FAILURE), status);  // the simulated device stalls it
}

// The serial number an instrument names, read from the open device or by its path alone;
// one that names none, or whose string cannot be read, has none.
TEST_P(UsbIoRequestTest, SerialNumbersAreReadAsTheDeviceNamesThem) {
  const struct {
    const wchar_t* serial;
    const wchar_t* unreadable;
    const wchar_t* read;
  } cases[] = {
      {L"TW3-000123", L"0", L"TW3-000123"},
      {L"SN \u00B5\u20AC", L"0", L"SN \u00B5\u20AC"},
      {L"", L"0", L""},  // iSerialNumber 0
      {L"TW3-000124", L"1", L""},
  };
  for (const auto& c : cases) {
    sim::Instrument tw = usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181);
    tw.serial = c.serial;
    Add(tw);
    SetInstrumentKey(L"tw1", L"usbSerialUnreadable", c.unreadable);
    CUsbIo device;
    ASSERT_EQ(0u, device.Open(0, nullptr, kGuid, true));
    EXPECT_EQ(ReadSerialNumber(device), c.read) << c.serial;
    EXPECT_EQ(ReadSerialNumber(sim::UsbDriverSimulation::DevicePathOf(L"tw1").c_str()), c.read) << c.serial;
  }
  EXPECT_EQ(ReadSerialNumber(sim::UsbDriverSimulation::DevicePathOf(L"gone").c_str()), L"");
  EXPECT_EQ(ReadSerialNumber(static_cast<const wchar_t*>(nullptr)), L"");
}

TEST_P(UsbIoRequestTest, StringDescriptorCapacityLimitsWhatIsReturned) {
  CUsbIo device;
  ASSERT_EQ(0u, device.Open(0, nullptr, kGuid, true));
  std::uint8_t buffer[8];
  std::memset(buffer, 0xA5, sizeof buffer);
  DWORD size = 4;
  ASSERT_EQ(0u, device.GetStringDescriptor(buffer, &size, 2, kUsbLanguageEnglishUs));
  EXPECT_EQ(4u, size);
  EXPECT_EQ(0xA5, buffer[4]);
  // A truncated descriptor whose length byte exceeds the count stays as it is.
  const std::vector<std::uint8_t> before(buffer, buffer + 4);
  StringDescriptorToText(size, buffer);
  EXPECT_EQ(before, std::vector<std::uint8_t>(buffer, buffer + 4));
}

UsbIoConfigurationRecord TwoInterfaces() {
  UsbIoConfigurationRecord record;
  std::memset(&record, 0, sizeof record);
  record.configurationIndex = 0;
  record.numberOfInterfaces = 2;
  for (std::uint16_t i = 0; i < 2; ++i) record.interfaces[i] = {i, 0, 0x10000};
  return record;
}

struct PipeEntry {
  std::uint32_t type;
  std::uint8_t address;
  bool operator==(const PipeEntry& other) const { return type == other.type && address == other.address; }
};

void PrintTo(const PipeEntry& entry, std::ostream* os) { *os << entry.type << ":" << std::hex << +entry.address; }

std::vector<PipeEntry> Pipes(const UsbIoConfigurationInfo& info) {
  std::vector<PipeEntry> pipes;
  for (std::uint32_t i = 0; i < info.numberOfPipes && i < kUsbIoMaxPipes; ++i) {
    pipes.push_back({info.pipeInfo[i].pipeType, info.pipeInfo[i].endpointAddress});
  }
  return pipes;
}

TEST_P(UsbIoRequestTest, ConfiguresTheDeviceAndReportsItsPipes) {
  SetInstrumentKey(L"qm1", L"usbEndpoints", L"interrupt:81,bulk:82,bulk:01");
  const struct {
    int number;
    const wchar_t* id;
    std::vector<PipeEntry> pipes;
  } cases[] = {
      {0, L"tw1", {{kUsbPipeTypeBulk, 0x81}, {kUsbPipeTypeBulk, 0x02}, {3, 0x83}}},
      {1, L"qm1", {{3, 0x81}, {kUsbPipeTypeBulk, 0x82}, {kUsbPipeTypeBulk, 0x01}}},
  };
  for (const auto& c : cases) {
    CUsbIo device;
    ASSERT_EQ(0u, device.Open(c.number, nullptr, kGuid, true));
    const UsbIoConfigurationRecord record = TwoInterfaces();
    EXPECT_EQ(0u, device.SetConfiguration(&record));
    EXPECT_EQ(2, bench().ReadInt(sim::Bench::InstrumentSection(c.id), L"usbConfiguredInterfaces", -1));

    UsbIoConfigurationInfo info;
    std::memset(&info, 0xA5, sizeof info);
    ASSERT_EQ(0u, device.QueryConfigurationInfo(&info));
    EXPECT_EQ(c.pipes, Pipes(info));
    const UsbIoPipeInfo unused{};
    for (std::uint32_t i = info.numberOfPipes; i < kUsbIoMaxPipes; ++i) {
      EXPECT_EQ(0, std::memcmp(&unused, &info.pipeInfo[i], sizeof unused)) << "pipe entry " << i;
    }
  }
}

TEST_P(UsbIoRequestTest, AFailedSetConfigurationPassesTheDriversCode) {
  SetInstrumentKey(L"tw1", L"usbFault.setConfiguration", L"31");
  CUsbIo device;
  ASSERT_EQ(0u, device.Open(0, nullptr, kGuid, true));
  const UsbIoConfigurationRecord record = TwoInterfaces();
  EXPECT_EQ(31u, device.SetConfiguration(&record));
  EXPECT_TRUE(device.IsOpen());
}

TEST_P(UsbIoRequestTest, IoControlStoresTheByteCountAlsoAfterAFailure) {
  CUsbIo device;
  ASSERT_EQ(0u, device.Open(0, nullptr, kGuid, true));
  UsbIoDriverInfo info{};
  DWORD count = 0xDEADBEEF;
  EXPECT_EQ(0u, device.IoControl(IOCTL_USBIO_GET_DRIVER_INFO, nullptr, 0, &info, sizeof info, &count));
  EXPECT_EQ(sizeof info, count);
  EXPECT_EQ(0x0240, info.apiVersion);

  count = 0xDEADBEEF;
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), device.IoControl(0x80942FFC, nullptr, 0, nullptr, 0, &count));
  EXPECT_EQ(0u, count);
}

INSTANTIATE_TEST_SUITE_P(Paths, UsbIoRequestTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Pending" : "Immediate";
                         });

}  // namespace
