// Wire records, request codes and status codes of the USBIO driver interface, declared once.
// Little-endian and packed, as the driver exchanges them. Plain declarations.
#pragma once

#include <cstddef>
#include <cstdint>

// Driver request codes.
constexpr std::uint32_t IOCTL_USBIO_GET_DESCRIPTOR = 0x80942006;
constexpr std::uint32_t IOCTL_USBIO_SET_CONFIGURATION = 0x80942024;
constexpr std::uint32_t IOCTL_USBIO_GET_CONFIGURATION_INFO = 0x80942050;
constexpr std::uint32_t IOCTL_USBIO_GET_DRIVER_INFO = 0x8094206C;
constexpr std::uint32_t IOCTL_USBIO_BIND_PIPE = 0x80942078;
constexpr std::uint32_t IOCTL_USBIO_QUERY_PIPE_STATISTICS = 0x80942098;

// Statuses the USB layer produces itself; every other failure is a system or driver code.
constexpr std::uint32_t USBIO_ERR_OPERATION_FAILED = 0xE0001000;
constexpr std::uint32_t USBIO_ERR_NO_MEMORY = 0xE0000100;
constexpr std::uint32_t USBIO_ERR_DEVICE_NOT_FOUND = 0xE0001100;
constexpr std::uint32_t USBIO_ERR_DEVICE_NOT_OPEN = 0xE0001102;
constexpr std::uint32_t USBIO_ERR_NO_SUCH_DEVICE_INSTANCE = 0xE0001104;
constexpr std::uint32_t USBIO_ERR_INVALID_PARAMETER = 0xE0001105;
constexpr std::uint32_t USBIO_ERR_SETUP_API_UNAVAILABLE = 0xE0001106;
constexpr std::uint32_t USBIO_ERR_ALREADY_OPEN = 0xE0001107;
constexpr std::uint32_t USBIO_ERR_TIMEOUT = 0xE000100C;
constexpr std::uint32_t USBIO_ERR_VERSION_MISMATCH = 0xE000101C;

// Driver interface versions accepted with the version check on: 2.31 up to 2.FF.
constexpr bool IsSupportedUsbIoApiVersion(std::uint16_t version) {
  return (version >> 8) == 0x02 && (version & 0xFF) >= 0x31;
}

constexpr std::uint8_t kUsbDescriptorDevice = 1;
constexpr std::uint8_t kUsbDescriptorString = 3;
constexpr std::uint16_t kUsbLanguageEnglishUs = 0x0409;
constexpr std::uint32_t kUsbPipeTypeBulk = 2;
constexpr std::size_t kUsbDeviceDescriptorSize = 18;
constexpr std::size_t kUsbDeviceDescriptorProductIndex = 15;  // iProduct
constexpr std::size_t kUsbDeviceDescriptorSerialNumberIndex = 16;  // iSerialNumber

#pragma pack(push, 1)

struct UsbIoDescriptorRequest {
  std::uint32_t recipient;  // 0 = the device
  std::uint8_t descriptorType;
  std::uint8_t descriptorIndex;
  std::uint16_t languageId;
};
static_assert(sizeof(UsbIoDescriptorRequest) == 8, "descriptor request is 8 bytes");

struct UsbIoInterfaceSetting {
  std::uint16_t interfaceIndex;
  std::uint16_t alternateSettingIndex;
  std::uint32_t maximumTransferSize;
};
static_assert(sizeof(UsbIoInterfaceSetting) == 8, "interface setting is 8 bytes");

constexpr std::size_t kUsbIoMaxInterfaces = 32;
constexpr std::size_t kUsbIoMaxPipes = 32;

struct UsbIoConfigurationRecord {
  std::uint16_t configurationIndex;
  std::uint16_t numberOfInterfaces;
  UsbIoInterfaceSetting interfaces[kUsbIoMaxInterfaces];
};
static_assert(sizeof(UsbIoConfigurationRecord) == 260, "configuration record is 260 bytes");

struct UsbIoInterfaceInfo {
  std::uint8_t bytes[8];  // not read by the program
};

struct UsbIoPipeInfo {
  std::uint32_t pipeType;  // 2 = bulk
  std::uint32_t maximumTransferSize;
  std::uint16_t maximumPacketSize;
  std::uint8_t endpointAddress;  // bit 7: IN (device to host)
  std::uint8_t interval;
  std::uint8_t interfaceNumber;
  std::uint8_t reserved[3];
};
static_assert(sizeof(UsbIoPipeInfo) == 16, "pipe info is 16 bytes");
static_assert(offsetof(UsbIoPipeInfo, endpointAddress) == 10, "endpoint address at offset 10");

struct UsbIoConfigurationInfo {
  std::uint32_t numberOfInterfaces;
  std::uint32_t numberOfPipes;
  UsbIoInterfaceInfo interfaceInfo[kUsbIoMaxInterfaces];
  UsbIoPipeInfo pipeInfo[kUsbIoMaxPipes];
};
static_assert(sizeof(UsbIoConfigurationInfo) == 776, "configuration info is 776 bytes");
static_assert(offsetof(UsbIoConfigurationInfo, pipeInfo) == 264, "pipe entries at offset 264");

struct UsbIoDriverInfo {
  std::uint16_t apiVersion;  // high byte major, low byte minor
  std::uint16_t driverVersion;
  std::uint32_t driverBuildNumber;
  std::uint32_t flags;
};
static_assert(sizeof(UsbIoDriverInfo) == 12, "driver info is 12 bytes");

struct UsbIoBindRequest {
  std::uint8_t endpointAddress;
};
static_assert(sizeof(UsbIoBindRequest) == 1, "bind request is 1 byte");

constexpr std::size_t kUsbIoPipeStatisticsSize = 32;
constexpr std::uint32_t kUsbIoClearPipeCounters = 7;  // query flags that reset the counters

#pragma pack(pop)
