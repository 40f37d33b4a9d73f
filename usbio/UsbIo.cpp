#include "usbio/UsbIo.h"

#include <cwchar>
#include <cstdlib>
#include <cstring>

#include "usbio/DeviceSetupLibrary.h"
#include "usbio/UsbSystemPort.h"

const GUID kUsbIoInterfaceGuid = {0x325DDF96, 0x938C, 0x11D3, {0x9E, 0x34, 0x00, 0x80, 0xC8, 0x27, 0x27, 0xF4}};

CUsbIo::CUsbIo() : m_hDevice(nullptr), m_pDetailData(nullptr) {
  std::memset(&m_Overlapped, 0, sizeof m_Overlapped);
  InitializeCriticalSection(&m_CritSect);
}

CUsbIo::~CUsbIo() {
  Close();
  DeleteCriticalSection(&m_CritSect);
}

HDEVINFO CUsbIo::OpenDeviceList(const GUID* interfaceGuid) {
  CDeviceSetupLibrary& setup = DeviceSetupLibrary();
  if (!setup.Load()) return nullptr;
  HDEVINFO list = setup.SetupDiGetClassDevsW(interfaceGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  return list == INVALID_HANDLE_VALUE ? nullptr : list;
}

void CUsbIo::CloseDeviceList(HDEVINFO deviceList) {
  CDeviceSetupLibrary& setup = DeviceSetupLibrary();
  if (!setup.Load()) return;
  if (deviceList != nullptr) setup.SetupDiDestroyDeviceInfoList(deviceList);
}

DWORD CUsbIo::FindDeviceInterface(int number, HDEVINFO deviceList, const GUID* interfaceGuid) {
  if (deviceList == nullptr || interfaceGuid == nullptr) return USBIO_ERR_INVALID_PARAMETER;
  CDeviceSetupLibrary& setup = DeviceSetupLibrary();
  if (!setup.Load()) return USBIO_ERR_SETUP_API_UNAVAILABLE;
  FreeDetailData();

  SP_DEVICE_INTERFACE_DATA interfaceData;
  std::memset(&interfaceData, 0, sizeof interfaceData);
  interfaceData.cbSize = kDeviceInterfaceDataSize;
  if (!setup.SetupDiEnumDeviceInterfaces(deviceList, nullptr, interfaceGuid, static_cast<DWORD>(number),
                                         &interfaceData)) {
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_ITEMS ? USBIO_ERR_NO_SUCH_DEVICE_INSTANCE : error;
  }

  DWORD required = 0;
  setup.SetupDiGetDeviceInterfaceDetailW(deviceList, &interfaceData, nullptr, 0, &required, nullptr);
  if (required == 0) return USBIO_ERR_OPERATION_FAILED;
  m_pDetailData = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(std::malloc(required));
  if (m_pDetailData == nullptr) return USBIO_ERR_NO_MEMORY;
  std::memset(m_pDetailData, 0, required);
  m_pDetailData->cbSize = kDeviceInterfaceDetailDataSize;
  if (!setup.SetupDiGetDeviceInterfaceDetailW(deviceList, &interfaceData, m_pDetailData, required, nullptr, nullptr)) {
    return GetLastError();
  }
  return 0;
}

const wchar_t* CUsbIo::GetDevicePath() const {
  return m_pDetailData != nullptr ? m_pDetailData->DevicePath : nullptr;
}

DWORD CUsbIo::Open(int number, HDEVINFO deviceList, const GUID* interfaceGuid, bool checkApiVersion) {
  if (IsOpen()) return USBIO_ERR_ALREADY_OPEN;
  wchar_t name[80];
  const wchar_t* path = name;
  if (deviceList != nullptr) {
    const DWORD status = FindDeviceInterface(number, deviceList, interfaceGuid);
    if (status != 0) return status;
    path = GetDevicePath();
  } else {
    std::swprintf(name, 80, L"\\\\.\\USBIO_Device%d", number);
  }
  return OpenByPath(path, checkApiVersion);
}

DWORD CUsbIo::OpenByPath(const wchar_t* devicePath, bool checkApiVersion) {
  HANDLE device = UsbSystem().CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? USBIO_ERR_DEVICE_NOT_FOUND : error;
  }
  m_hDevice = device;
  m_Overlapped.hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (m_Overlapped.hEvent == nullptr) {
    Close();
    return USBIO_ERR_NO_MEMORY;
  }
  UsbIoDriverInfo info;
  std::memset(&info, 0, sizeof info);
  const DWORD status = QueryDriverInfo(&info);
  if (status != 0) {
    Close();
    return status;
  }
  if (checkApiVersion && !IsSupportedUsbIoApiVersion(info.apiVersion)) {
    Close();
    return USBIO_ERR_VERSION_MISMATCH;
  }
  return 0;
}

void CUsbIo::Close() {
  if (m_hDevice != nullptr) {
    UsbSystem().CloseHandle(m_hDevice);
    m_hDevice = nullptr;
  }
  if (m_Overlapped.hEvent != nullptr) {
    ::CloseHandle(m_Overlapped.hEvent);
    m_Overlapped.hEvent = nullptr;
  }
  FreeDetailData();
}

void CUsbIo::FreeDetailData() {
  std::free(m_pDetailData);
  m_pDetailData = nullptr;
}

DWORD CUsbIo::IoControl(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize, DWORD* bytesReturned) {
  DWORD returned = 0;
  if (!IsOpen()) return USBIO_ERR_DEVICE_NOT_OPEN;
  EnterCriticalSection(&m_CritSect);
  DWORD status = 0;
  if (!UsbSystem().DeviceIoControl(m_hDevice, code, const_cast<void*>(in), inSize, out, outSize, &returned,
                                   &m_Overlapped)) {
    status = GetLastError();
    if (status == ERROR_IO_PENDING) {
      status = UsbSystem().GetOverlappedResult(m_hDevice, &m_Overlapped, &returned, TRUE) ? 0 : GetLastError();
    }
  }
  LeaveCriticalSection(&m_CritSect);
  if (bytesReturned != nullptr) *bytesReturned = returned;
  return status;
}

void CUsbIo::CancelIo() { UsbSystem().CancelIo(m_hDevice); }

DWORD CUsbIo::QueryDriverInfo(UsbIoDriverInfo* info) {
  return IoControl(IOCTL_USBIO_GET_DRIVER_INFO, nullptr, 0, info, sizeof *info, nullptr);
}

DWORD CUsbIo::GetDescriptor(void* buffer, DWORD* size, DWORD recipient, std::uint8_t type, std::uint8_t index,
                            std::uint16_t languageId) {
  UsbIoDescriptorRequest request;
  request.recipient = recipient;
  request.descriptorType = type;
  request.descriptorIndex = index;
  request.languageId = languageId;
  return IoControl(IOCTL_USBIO_GET_DESCRIPTOR, &request, sizeof request, buffer, *size, size);
}

DWORD CUsbIo::GetDeviceDescriptor(std::uint8_t (&descriptor)[kUsbDeviceDescriptorSize]) {
  DWORD size = kUsbDeviceDescriptorSize;
  return GetDescriptor(descriptor, &size, 0, kUsbDescriptorDevice, 0, 0);
}

DWORD CUsbIo::GetStringDescriptor(void* buffer, DWORD* size, std::uint8_t index, std::uint16_t languageId) {
  return GetDescriptor(buffer, size, 0, kUsbDescriptorString, index, languageId);
}

DWORD CUsbIo::SetConfiguration(const UsbIoConfigurationRecord* configuration) {
  return IoControl(IOCTL_USBIO_SET_CONFIGURATION, configuration, sizeof *configuration, nullptr, 0, nullptr);
}

DWORD CUsbIo::QueryConfigurationInfo(UsbIoConfigurationInfo* info) {
  std::memset(info, 0, sizeof *info);
  return IoControl(IOCTL_USBIO_GET_CONFIGURATION_INFO, nullptr, 0, info, sizeof *info, nullptr);
}
