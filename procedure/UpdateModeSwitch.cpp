#include "procedure/UpdateModeSwitch.h"

#include <algorithm>

#include "devlink/Commands.h"
#include "devlink/DeviceLink.h"
#include "procedure/ProcedureTexts.h"
#include "usbio/SerialNumber.h"

namespace {

constexpr std::uint32_t kStatusCheckedModels[] = {4181, 4192, 4193, 4194};
constexpr int kStatusPolls = 60;
constexpr DWORD kStatusPollPauseMs = 1000;
constexpr std::uint32_t kBulkPipe = 2;
constexpr std::uint8_t kEndpointIn = 0x80;

// Opens the device object, checks the path opens a second time, configures the device and
// binds the read pipe to its bulk IN endpoint and the write pipe to its bulk OUT endpoint.
bool OpenLink(int number, HDEVINFO deviceList) {
  CUsbIo& device = DeviceLink::Device;
  if (device.Open(number, deviceList, &kUsbIoInterfaceGuid, true) != 0) return false;

  const wchar_t* path = device.GetDevicePath();
  CUsbIo second;
  if (path == nullptr || second.OpenByPath(path, false) != 0) return false;
  second.Close();

  UsbIoConfigurationRecord record;
  DeviceLink::BuildConfigurationRecord(record);
  UsbIoConfigurationInfo info = {};
  if (device.SetConfiguration(&record) != 0 || device.QueryConfigurationInfo(&info) != 0) return false;

  const std::uint32_t pipes = std::min<std::uint32_t>(info.numberOfPipes, kUsbIoMaxPipes);
  for (std::uint32_t i = 0; i < pipes; ++i) {
    const UsbIoPipeInfo& pipe = info.pipeInfo[i];
    if (pipe.pipeType != kBulkPipe) continue;
    CUsbIoPipe& bound = (pipe.endpointAddress & kEndpointIn) != 0 ? DeviceLink::ReadPipe : DeviceLink::WritePipe;
    if (bound.Bind(number, pipe.endpointAddress, deviceList, &kUsbIoInterfaceGuid, true) != 0) return false;
  }
  return true;
}

struct DeviceStatus {
  std::uint32_t runState = 0;
  std::uint32_t readyState = 0;
  std::uint16_t auxState = 0;
  const wchar_t* failure = nullptr;  // the status text the wait ended with, when not ready
};

enum class StatusWait {
  kReady,
  kNoStatus,    // the first read failed: nothing is known of the instrument's state
  kNeverReady,  // a later read failed or the polls ran out; the last status read stands
  kStopped,     // a stop was asked for meanwhile
};

StatusWait WaitFailed(UpdateHost& host, DeviceStatus& status, const wchar_t* text, StatusWait wait) {
  host.SetStatusText(text);
  status.failure = text;
  return wait;
}

// Polls until the instrument reports its status ready.
StatusWait WaitForReadyStatus(UpdateHost& host, DeviceStatus& status) {
  host.ShowProgress(true);
  host.SetProgressRange(kStatusPolls);
  host.SetProgressPos(0);
  if (DeviceLink::GetDeviceStatus(status.runState, status.readyState, status.auxState) != kLinkOk) {
    return WaitFailed(host, status, texts::kGetDeviceStatusFailed, StatusWait::kNoStatus);
  }
  for (int count = 0; (status.readyState & commands::kReadyStateReadyBit) == 0;) {
    if (DeviceLink::GetDeviceStatus(status.runState, status.readyState, status.auxState) != kLinkOk) {
      return WaitFailed(host, status, texts::kGetDeviceStatusFailed, StatusWait::kNeverReady);
    }
    if (count >= kStatusPolls) return WaitFailed(host, status, texts::kStatusTimeOut, StatusWait::kNeverReady);
    ++count;
    host.SetProgressPos(count);
    host.Pause(kStatusPollPauseMs);
    if (host.StopRequested()) return StatusWait::kStopped;
  }
  return StatusWait::kReady;
}

SwitchOutcome FailedWithStatus(UpdateHost& host, const wchar_t* text) {
  host.SetStatusText(text);
  return {SwitchResult::kFailed, text, false};
}

SwitchOutcome FailedWithMessage(const wchar_t* text) { return {SwitchResult::kFailed, text, true}; }

// The device checks on the open link, ending with the switch into the loader.
SwitchOutcome CheckAndSwitch(UpdateHost& host) {
  host.SetStatusText(texts::kCheckDeviceStatus);
  host.ShowStatus(true);
  if (DeviceLink::GetDeviceInfo() != kLinkOk) return FailedWithStatus(host, texts::kGetDeviceInfoFailed);

  if (IsStatusCheckedModel(DeviceLink::ModelNumber)) {
    DeviceStatus status;
    const StatusWait wait = WaitForReadyStatus(host, status);
    if (wait == StatusWait::kStopped) return {SwitchResult::kStopped};
    if (wait == StatusWait::kNoStatus) return {SwitchResult::kFailed, status.failure, false};
    if ((status.runState & commands::kRunStateLoggerBits) != 0) {
      host.SetStatusText(texts::kLoggerRunning);
      return FailedWithMessage(texts::kLoggerRunning);
    }
    if (wait != StatusWait::kReady) return {SwitchResult::kFailed, status.failure, false};
  }

  if (DeviceLink::EnterUpdateMode() != kLinkOk) return FailedWithMessage(texts::kCannotEnterUpdateMode);
  return {SwitchResult::kSwitched};
}

}  // namespace

bool IsStatusCheckedModel(std::uint32_t model) {
  return std::find(std::begin(kStatusCheckedModels), std::end(kStatusCheckedModels), model) !=
         std::end(kStatusCheckedModels);
}

SwitchOutcome SwitchToUpdateMode(UpdateHost& host, int usbioNumber, HDEVINFO deviceList, std::wstring& serial) {
  serial.clear();
  if (!OpenLink(usbioNumber, deviceList)) {
    DeviceLink::CloseAll();
    return FailedWithMessage(texts::kCannotOpenDevice);
  }
  // Read before the switch: in its loader the instrument is another USB device.
  serial = ReadSerialNumber(DeviceLink::Device);
  const SwitchOutcome outcome = CheckAndSwitch(host);
  DeviceLink::CloseAll();
  return outcome;
}
