// Which device a device-list entry names, and what the preparation reads of the list: the
// entry's text and product text, the USBIO device list its application-mode numbers refer to,
// and the product texts of the DFU-mode entries as the last refresh found them.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <string>
#include <vector>

enum class DeviceKind { kApplication, kDfu };

struct DeviceEntry {
  DeviceKind kind;
  int number;  // USBIO device number, or DFU device index
};

struct DeviceSelection {
  DeviceEntry entry{DeviceKind::kApplication, 0};
  std::wstring text;                     // "Device %d: %s\n" as listed
  std::wstring product;                  // the %s of it, as the device gave it
  HDEVINFO deviceList = nullptr;         // the list the application-mode numbers refer to
  std::vector<std::wstring> dfuProducts;  // DFU entries' product texts, in DFU index order
};
