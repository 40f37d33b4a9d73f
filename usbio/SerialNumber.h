// An instrument's USB serial number: the string descriptor its device descriptor names in
// iSerialNumber, in US English, read with the same requests as the product text. It tells one
// physical unit from another of the same type, which the list's "Device N: TW 3xx" cannot.
#pragma once

#include <string>

#include "usbio/UsbIo.h"

// From an open device. Empty when the device names no serial number (index 0) or it cannot be
// read: a unit without one is still updated, its record just cannot name it.
std::wstring ReadSerialNumber(CUsbIo& device);
// From the device at devicePath (an application-mode entry's path of the device list), opened
// for the read alone and closed again; empty as above, or when it cannot be opened.
std::wstring ReadSerialNumber(const wchar_t* devicePath);
