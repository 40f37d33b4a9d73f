#include "procedure/DfuDeviceWait.h"

#include "dfu/DfuLibrary.h"
#include "procedure/DeviceMatch.h"
#include "procedure/DfuProduct.h"
#include "procedure/ProcedureTexts.h"

namespace {

constexpr int kAttempts = 1200;
constexpr DWORD kAttemptPauseMs = 100;
constexpr DWORD kOpenedPauseMs = 500;
// More than a USB bus can carry: a library that keeps opening devices is not believed further.
constexpr int kMaxDfuDevices = 128;

enum class Attempt { kOpened, kNotYet, kWrongDevice };

// Goes through the DFU devices from index 0 and keeps the first that arrived since the last
// refresh and may be the instrument switched.
Attempt OpenSwitchedDevice(const DfuTarget& target, DfuHandle* device) {
  std::vector<std::wstring> seen;
  for (int index = 0; index < kMaxDfuDevices; ++index) {
    DfuDeviceInfo info = {};
    DfuHandle handle = 0;
    if (DfuDeviceOpen(index, &info, &handle) != 0) {
      if (handle != 0) DfuDeviceClose(handle, 0);
      return Attempt::kNotYet;
    }
    // One failed read must not make a device that was there look new. A readable product text
    // of another device type is another instrument.
    seen.push_back(ReadDfuProductTextTwiceIfNeeded(handle, info));
    if (ArrivedSinceRefresh(seen, target.keptProducts) && MayBeOfTheType(seen.back(), target.deviceType)) {
      *device = handle;
      return Attempt::kOpened;
    }
    DfuDeviceClose(handle, 0);
  }
  return Attempt::kNotYet;
}

Attempt OpenListedDevice(const DfuTarget& target, DfuHandle* device) {
  DfuDeviceInfo info = {};
  DfuHandle handle = 0;
  if (DfuDeviceOpen(target.index, &info, &handle) != 0) {
    if (handle != 0) DfuDeviceClose(handle, 0);
    return Attempt::kNotYet;
  }
  if (ReadDfuProductText(handle, info) != target.product) {
    DfuDeviceClose(handle, 0);
    return Attempt::kWrongDevice;
  }
  *device = handle;
  return Attempt::kOpened;
}

Attempt TryOpen(const DfuTarget& target, DfuHandle* device) {
  // The library is bound afresh at every attempt: a driver installed meanwhile is picked up.
  if (LoadDfuLibrary() != kDfuReady) return Attempt::kNotYet;
  return target.switched ? OpenSwitchedDevice(target, device) : OpenListedDevice(target, device);
}

}  // namespace

DfuTarget DfuTarget::Switched(std::vector<std::wstring> keptProducts, std::wstring deviceType) {
  DfuTarget target;
  target.switched = true;
  target.keptProducts = std::move(keptProducts);
  target.deviceType = std::move(deviceType);
  return target;
}

DfuTarget DfuTarget::Listed(int index, std::wstring product) {
  DfuTarget target;
  target.index = index;
  target.product = std::move(product);
  return target;
}

DfuWait WaitForDfuDevice(UpdateHost& host, const DfuTarget& target, DfuHandle* device) {
  host.ShowProgress(true);
  host.ShowStatus(true);
  host.SetStatusText(texts::kWaitDfuDriver);
  host.SetProgressRange(kAttempts);
  host.SetProgressPos(0);

  DfuWait result = DfuWait::kNotFound;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const Attempt outcome = TryOpen(target, device);
    if (outcome == Attempt::kOpened) {
      host.SetProgressPos(kAttempts - 2);
      host.SetProgressPos(kAttempts - 1);
      host.Pause(kOpenedPauseMs);
      result = DfuWait::kOpened;
      break;
    }
    if (outcome == Attempt::kWrongDevice) {
      result = DfuWait::kWrongDevice;
      break;
    }
    host.SetProgressPos(attempt);
    host.Pause(kAttemptPauseMs);
    if (host.StopRequested()) {
      result = DfuWait::kStopped;
      break;
    }
  }

  host.ShowStatus(false);
  host.ShowProgress(false);
  return result;
}
