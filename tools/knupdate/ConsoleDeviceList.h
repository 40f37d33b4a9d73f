// The device list of the console updater: built by the dialog's own refresh into a list box
// of this process that is never shown, so the entries, their order and the devices they name
// are exactly those the dialog would list.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <string>
#include <vector>

#include "update/SelectedDevice.h"

struct ListedDevice {
  int position;
  std::wstring text;  // without the entry's line feed
  DeviceEntry entry;
};

class ConsoleDeviceList {
 public:
  ConsoleDeviceList();
  ~ConsoleDeviceList();
  ConsoleDeviceList(const ConsoleDeviceList&) = delete;
  ConsoleDeviceList& operator=(const ConsoleDeviceList&) = delete;

  // The DFU library's answer at start (0, -3, -7, ...). Whatever it is, the list is built: a
  // console lists what it can, where the dialog would wait for a driver.
  int Start();
  void Refresh();
  std::vector<ListedDevice> Entries() const;
  void Select(int position);
  bool GetSelection(DeviceSelection& selection) const;

 private:
  HWND m_listBox = nullptr;
  HDEVINFO m_deviceList = nullptr;
  int m_usbioCount = 0, m_dfuCount = 0, m_dfuReady = 0;
  std::vector<std::wstring> m_dfuProducts;
};
