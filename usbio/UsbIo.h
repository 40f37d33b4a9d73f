// CUsbIo: the program's handle to one USB device served by the USBIO driver. It finds the
// driver's devices through the Setup API, opens one by its number in a device list (or by
// its "\\.\USBIO_Device<n>" name), and issues synchronous driver requests: descriptors,
// configuration, configuration info.
//
// Every operation returns a 32-bit status: 0, a USBIO status (UsbIoRecords.h), or the
// system's error code as GetLastError gave it. Requests of one object are serialised by its
// lock; they share one overlapped structure and its event.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <cstdint>

#include "usbio/UsbIoRecords.h"

// The device interface class of the USBIO driver's devices.
extern const GUID kUsbIoInterfaceGuid;

class CUsbIo {
 public:
  CUsbIo();
  virtual ~CUsbIo();
  CUsbIo(const CUsbIo&) = delete;
  CUsbIo& operator=(const CUsbIo&) = delete;

  // Device list of the present devices of an interface class; null on failure.
  static HDEVINFO OpenDeviceList(const GUID* interfaceGuid);
  static void CloseDeviceList(HDEVINFO deviceList);

  // With a list: list entry number; without: the device named "\\.\USBIO_Device<number>".
  DWORD Open(int number, HDEVINFO deviceList, const GUID* interfaceGuid, bool checkApiVersion);
  DWORD OpenByPath(const wchar_t* devicePath, bool checkApiVersion);
  void Close();
  bool IsOpen() const { return m_hDevice != nullptr; }

  // Looks up list entry number and keeps its interface detail (the device path).
  DWORD FindDeviceInterface(int number, HDEVINFO deviceList, const GUID* interfaceGuid);
  // The path the last successful lookup found, or null.
  const wchar_t* GetDevicePath() const;

  DWORD IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned);
  // Cancels the I/O the calling thread has pending on the device handle.
  void CancelIo();

  DWORD QueryDriverInfo(UsbIoDriverInfo* info);
  DWORD GetDescriptor(void* buffer, DWORD* size, DWORD recipient, std::uint8_t type, std::uint8_t index,
                      std::uint16_t languageId);
  DWORD GetDeviceDescriptor(std::uint8_t (&descriptor)[kUsbDeviceDescriptorSize]);
  DWORD GetStringDescriptor(void* buffer, DWORD* size, std::uint8_t index, std::uint16_t languageId);
  DWORD SetConfiguration(const UsbIoConfigurationRecord* configuration);
  DWORD QueryConfigurationInfo(UsbIoConfigurationInfo* info);

 protected:
  HANDLE m_hDevice;
  OVERLAPPED m_Overlapped;
  CRITICAL_SECTION m_CritSect;
  SP_DEVICE_INTERFACE_DETAIL_DATA_W* m_pDetailData;

 private:
  void FreeDetailData();
};
