// Small views of the device list's entries, as the production line reads them.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "ui/DeviceList.h"

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
