// CUsbIoPipe over the bench's driver simulation: binding, and reads and writes with a
// time-out that end, cancelled if need be, before the call returns.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/UsbBench.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using usbtest::kInEndpoint;
using usbtest::kOutEndpoint;
using usbtest::ScopedDeviceList;
using usbtest::TestPipe;

const GUID* const kGuid = &kUsbIoInterfaceGuid;

// The status query to bus address 1 and the number of bytes of the instrument's answer.
const Bytes kStatusQuery = {0x01, 0x09, 0x03, 0xFF, 0x01, 0x00, 0x00, 0xF3, 0x00};
constexpr DWORD kStatusReplySize = 15;

// Long enough never to run out when an answer is waiting; a read that has to wait for it
// would fail the test, not slow it.
constexpr DWORD kGenerousMs = 10000;
constexpr DWORD kShortMs = 30;

class UsbIoPipeTest : public usbtest::UsbBenchTest {
 public:
  // What the read cases arrange on instrument tw1.
  void Script(const Bytes& bytes, bool duringCancel = false) { simulation_.ScriptReply(L"tw1", bytes, duringCancel); }
  void SetFault(const wchar_t* fault) { SetInstrumentKey(L"tw1", L"fault.status", fault); }
  void SendStatusQuery() { Write(kStatusQuery); }

 protected:
  void SetUp() override {
    UsbBenchTest::SetUp();
    Add(usbtest::ApplicationInstrument(L"tw1", L"TW 3xx", 4181));
    Add(usbtest::ApplicationInstrument(L"qm1", L"QM 5xx", 4100));
  }

  void Write(const Bytes& bytes) {
    DWORD size = static_cast<DWORD>(bytes.size());
    ASSERT_EQ(0u, writePipe_.WriteWithTimeout(bytes.data(), &size, kGenerousMs));
    ASSERT_EQ(bytes.size(), size);
  }

  TestPipe readPipe_;
  TestPipe writePipe_;
};

// --- Bind ------------------------------------------------------------------------------------

struct MissingDeviceCase {
  const char* name;
  bool withList;
  int number;
  const GUID* guid;
  DWORD expected;
};
void PrintTo(const MissingDeviceCase& c, std::ostream* os) { *os << c.name; }

class UsbIoPipeBindMissingTest : public UsbIoPipeTest, public ::testing::WithParamInterface<MissingDeviceCase> {};

TEST_P(UsbIoPipeBindMissingTest, ReturnsTheOpenStatusAndStaysClosed) {
  ScopedDeviceList list;
  ASSERT_NE(nullptr, list.get());
  TestPipe pipe;
  EXPECT_EQ(GetParam().expected,
            pipe.Bind(GetParam().number, kInEndpoint, GetParam().withList ? list.get() : nullptr,
                      GetParam().guid, true));
  EXPECT_FALSE(pipe.IsOpen());
  EXPECT_TRUE(port_.requestCodes.empty()) << "nothing is bound";
}

const MissingDeviceCase kMissingDevices[] = {
    {"PastTheEndOfTheList", true, 2, kGuid, USBIO_ERR_NO_SUCH_DEVICE_INSTANCE},
    {"NoSuchDeviceName", false, 2, kGuid, USBIO_ERR_DEVICE_NOT_FOUND},
    {"NullGuidWithAList", true, 0, nullptr, USBIO_ERR_INVALID_PARAMETER},
};

INSTANTIATE_TEST_SUITE_P(Cases, UsbIoPipeBindMissingTest, ::testing::ValuesIn(kMissingDevices),
                         [](const ::testing::TestParamInfo<MissingDeviceCase>& info) { return info.param.name; });

TEST_F(UsbIoPipeTest, BindOnAnOpenPipeSendsOnlyTheBindRequestAgain) {
  ScopedDeviceList list;
  ASSERT_EQ(0u, readPipe_.Bind(0, kInEndpoint, list.get(), kGuid, true));
  const HANDLE handle = readPipe_.Handle();
  EXPECT_EQ((std::vector<DWORD>{IOCTL_USBIO_GET_DRIVER_INFO, IOCTL_USBIO_BIND_PIPE}), port_.requestCodes);
  port_.Clear();

  // Number, list and check are not looked at again: the open device stays.
  EXPECT_EQ(0u, readPipe_.Bind(7, kInEndpoint, nullptr, nullptr, true));
  EXPECT_EQ(handle, readPipe_.Handle());
  EXPECT_TRUE(port_.openedPaths.empty());
  EXPECT_EQ(0, port_.closes);
  EXPECT_EQ(std::vector<DWORD>{IOCTL_USBIO_BIND_PIPE}, port_.requestCodes);
  EXPECT_EQ(0u, readPipe_.ClearPipeCounters());
}

TEST_F(UsbIoPipeTest, ABindRefusedByTheDriverKeepsThePipeOpen) {
  // 0x85 is no endpoint of the configuration.
  const DWORD status = readPipe_.Bind(0, 0x85, nullptr, kGuid, true);
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), status);
  EXPECT_TRUE(readPipe_.IsOpen());
  EXPECT_EQ(0u, readPipe_.Bind(0, kInEndpoint, nullptr, kGuid, true));
}

TEST_F(UsbIoPipeTest, BindThroughPendingRequestsGivesTheSameResults) {
  SetRequestsPending(true);
  ScopedDeviceList list;
  TestPipe missing;
  EXPECT_EQ(USBIO_ERR_NO_SUCH_DEVICE_INSTANCE, missing.Bind(2, kInEndpoint, list.get(), kGuid, true));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), readPipe_.Bind(1, 0x85, list.get(), kGuid, true));
  ASSERT_EQ(0u, readPipe_.Bind(1, kInEndpoint, list.get(), kGuid, true));
  ASSERT_EQ(0u, writePipe_.Bind(1, kOutEndpoint, list.get(), kGuid, true));
  EXPECT_EQ(0u, readPipe_.ClearPipeCounters());
  EXPECT_EQ(static_cast<int>(port_.requestCodes.size()), port_.overlappedResults);

  simulation_.ScriptReply(L"qm1", {0x11, 0x22});
  std::uint8_t buffer[16] = {};
  DWORD size = sizeof buffer;
  EXPECT_EQ(0u, readPipe_.ReadWithTimeout(buffer, &size, kGenerousMs));
  EXPECT_EQ(2u, size);
}

// --- timed reads -------------------------------------------------------------------------------

struct ReadCase {
  const char* name;
  std::function<void(UsbIoPipeTest&)> arrange;
  DWORD wanted;
  DWORD timeoutMs;
  DWORD status;
  DWORD size;
  Bytes data;  // the first bytes of the buffer afterwards; empty: not compared
};
void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class UsbIoPipeReadTest : public UsbIoPipeTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(UsbIoPipeReadTest, EndsWithTheTransferDone) {
  BindPipes(0, readPipe_, writePipe_);
  GetParam().arrange(*this);
  std::uint8_t buffer[64];
  std::memset(buffer, 0xA5, sizeof buffer);
  DWORD size = GetParam().wanted;
  EXPECT_EQ(GetParam().status, readPipe_.ReadWithTimeout(buffer, &size, GetParam().timeoutMs));
  EXPECT_EQ(GetParam().size, size);
  const Bytes& data = GetParam().data;
  EXPECT_EQ(data, Bytes(buffer, buffer + data.size()));
  EXPECT_EQ(0xA5, buffer[GetParam().wanted]) << "nothing lands beyond the bytes asked for";

  // Nothing stays pending: the next answer goes to the next read.
  simulation_.ScriptReply(L"tw1", {0xEE});
  size = sizeof buffer;
  EXPECT_EQ(0u, readPipe_.ReadWithTimeout(buffer, &size, kGenerousMs));
  EXPECT_EQ(1u, size);
  EXPECT_EQ(0xEE, buffer[0]);
}

const ReadCase kReadCases[] = {
    {"AnsweredWithFewerBytesThanWanted", [](UsbIoPipeTest& t) { t.Script({1, 2, 3, 4, 5}); }, 32, kGenerousMs,
     0, 5, {1, 2, 3, 4, 5}},
    {"AnsweredWithExactlyTheBytesWanted", [](UsbIoPipeTest& t) { t.Script({1, 2, 3}); }, 3, kGenerousMs, 0, 3,
     {1, 2, 3}},
    {"AnsweredByTheInstrument", [](UsbIoPipeTest& t) { t.SendStatusQuery(); }, 32, kGenerousMs, 0,
     kStatusReplySize, {0x01, kStatusReplySize, '>'}},
    {"AnsweredWithTimeOutZero", [](UsbIoPipeTest& t) { t.Script({7, 8}); }, 32, 0, 0, 2, {7, 8}},
    {"NothingQueued", [](UsbIoPipeTest&) {}, 32, kShortMs, USBIO_ERR_TIMEOUT, 0, {0xA5}},
    {"NothingQueuedWithTimeOutZero", [](UsbIoPipeTest&) {}, 32, 0, USBIO_ERR_TIMEOUT, 0, {0xA5}},
    {"InstrumentDoesNotAnswer",
     [](UsbIoPipeTest& t) {
       t.SetFault(L"noReply");
       t.SendStatusQuery();
     },
     32, kShortMs, USBIO_ERR_TIMEOUT, 0, {0xA5}},
    {"ReplyArrivesDuringTheCancel", [](UsbIoPipeTest& t) { t.Script({9, 8, 7}, true); }, 32, kShortMs,
     USBIO_ERR_TIMEOUT, 3, {9, 8, 7}},
    {"InstrumentAnswersDuringTheCancel",
     [](UsbIoPipeTest& t) {
       t.SetFault(L"lateReply");
       t.SendStatusQuery();
     },
     32, 0, USBIO_ERR_TIMEOUT, kStatusReplySize, {0x01, kStatusReplySize, '>'}},
};

INSTANTIATE_TEST_SUITE_P(Cases, UsbIoPipeReadTest, ::testing::ValuesIn(kReadCases),
                         [](const ::testing::TestParamInfo<ReadCase>& info) { return info.param.name; });

TEST_F(UsbIoPipeTest, WriteMovesTheBytesToTheEndpoint) {
  BindPipes(0, readPipe_, writePipe_);
  simulation_.SetEcho(L"tw1", true);
  const Bytes frame = {0x10, 0x20, 0x30, 0x40};
  DWORD size = static_cast<DWORD>(frame.size());
  EXPECT_EQ(0u, writePipe_.WriteWithTimeout(frame.data(), &size, 0));
  EXPECT_EQ(frame.size(), size);

  std::uint8_t buffer[16] = {};
  size = sizeof buffer;
  EXPECT_EQ(0u, readPipe_.ReadWithTimeout(buffer, &size, kGenerousMs));
  EXPECT_EQ(frame, Bytes(buffer, buffer + size));
}

// --- transfers on a pipe that is not open -------------------------------------------------------

struct ClosedTransferCase {
  const char* name;
  bool simulated;  // through the bench's simulation, or the system's own calls
  bool read;
};
void PrintTo(const ClosedTransferCase& c, std::ostream* os) { *os << c.name; }

class UsbIoPipeClosedTest : public UsbIoPipeTest, public ::testing::WithParamInterface<ClosedTransferCase> {};

TEST_P(UsbIoPipeClosedTest, FailsWithThePlatformsInvalidHandleErrorWithoutWaiting) {
  if (!GetParam().simulated) InstallUsbSystemPort(nullptr);
  for (const bool openedBefore : {false, true}) {
    SCOPED_TRACE(openedBefore ? "closed after a bind" : "never opened");
    TestPipe pipe;
    if (openedBefore) {
      InstallUsbSystemPort(&port_);
      ASSERT_EQ(0u, pipe.Bind(0, GetParam().read ? kInEndpoint : kOutEndpoint, nullptr, kGuid, true));
      pipe.Close();
      if (!GetParam().simulated) InstallUsbSystemPort(nullptr);
    }
    std::uint8_t buffer[16] = {1, 2, 3};
    DWORD size = sizeof buffer;
    // A wait would run into the generous time-out and report it instead.
    const DWORD status = GetParam().read ? pipe.ReadWithTimeout(buffer, &size, kGenerousMs)
                                         : pipe.WriteWithTimeout(buffer, &size, kGenerousMs);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), status);
    EXPECT_EQ(0u, size);
  }
  InstallUsbSystemPort(&port_);
}

const ClosedTransferCase kClosedTransfers[] = {
    {"SimulatedRead", true, true},
    {"SimulatedWrite", true, false},
    {"SystemRead", false, true},
    {"SystemWrite", false, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, UsbIoPipeClosedTest, ::testing::ValuesIn(kClosedTransfers),
                         [](const ::testing::TestParamInfo<ClosedTransferCase>& info) { return info.param.name; });

}  // namespace
