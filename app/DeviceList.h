// The device list: the instruments attached now, application-mode ones (through the USBIO
// driver) first, DFU-mode ones (through the DFU library) after them, one list-box entry
// "Device %d: %s\n" each. The list box sorts its entries, so every entry carries as item data
// which device it names; the selection's device is taken from there, never from its position.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <string>
#include <vector>

#include "update/SelectedDevice.h"

// The dialog's members the list keeps up to date.
struct DeviceListState {
  HDEVINFO& deviceList;
  int& usbioCount;
  int& dfuCount;
  int& dfuReady;
  // The DFU entries' product texts in DFU index order: the preparation tells the instrument
  // it switched into its loader from the DFU devices that were there before.
  std::vector<std::wstring>& dfuProducts;
};

// Rebuilds the list box from what is attached, keeping the selected position. While the DFU
// library is not usable, it is retried and the list is left as it was.
void RebuildDeviceList(HWND listBox, DeviceListState state);

// The selected entry's device and text; false when nothing is selected.
bool SelectedDevice(HWND listBox, DeviceEntry& entry, std::wstring& text);
