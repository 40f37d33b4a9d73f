// Small views of the device list's entries, as the production line reads them.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "ui/DeviceList.h"
#include "usbio/SerialNumber.h"

inline bool IsDfu(const ListedDevice& listed) { return listed.entry.kind == DeviceKind::kDfu; }

// The entries in DFU mode (dfu) or in application mode.
inline std::vector<ListedDevice> OfKind(const std::vector<ListedDevice>& entries, bool dfu) {
  std::vector<ListedDevice> kept;
  for (const ListedDevice& listed : entries) {
    if (IsDfu(listed) == dfu) kept.push_back(listed);
  }
  return kept;
}

// The application-mode entry of this device path, or null.
inline const ListedDevice* WithPath(const std::vector<ListedDevice>& entries, const std::wstring& path) {
  for (const ListedDevice& listed : entries) {
    if (!IsDfu(listed) && listed.devicePath == path) return &listed;
  }
  return nullptr;
}

// The serial number of a listed instrument, read now; empty for a loader entry, which names
// none.
inline std::wstring ListedSerial(const ListedDevice& listed) {
  return IsDfu(listed) ? std::wstring() : ReadSerialNumber(listed.devicePath.c_str());
}

// "Device 0: TW 3xx (serial TW3-000123)": an entry named with its instrument's serial number,
// which tells one unit of a type from another; the entry alone without one.
inline std::wstring NamedWithSerial(const std::wstring& entry, const std::wstring& serial) {
  return serial.empty() ? entry : entry + L" (serial " + serial + L")";
}
