#include "usbio/SerialNumber.h"

#include "usbio/StringDescriptor.h"

namespace {

// A string descriptor is at most 255 bytes long.
constexpr DWORD kStringDescriptorMaxSize = 256;

}  // namespace

std::wstring ReadSerialNumber(CUsbIo& device) {
  std::uint8_t descriptor[kUsbDeviceDescriptorSize] = {};
  if (device.GetDeviceDescriptor(descriptor) != 0) return std::wstring();
  const std::uint8_t index = descriptor[kUsbDeviceDescriptorSerialNumberIndex];
  if (index == 0) return std::wstring();
  std::uint8_t buffer[kStringDescriptorMaxSize] = {};
  DWORD length = sizeof buffer;
  if (device.GetStringDescriptor(buffer, &length, index, kUsbLanguageEnglishUs) != 0) return std::wstring();
  return StringDescriptorUnits(buffer, length < sizeof buffer ? length : static_cast<DWORD>(sizeof buffer));
}

std::wstring ReadSerialNumber(const wchar_t* devicePath) {
  if (devicePath == nullptr || *devicePath == L'\0') return std::wstring();
  CUsbIo device;
  if (device.OpenByPath(devicePath, true) != 0) return std::wstring();
  return ReadSerialNumber(device);  // closed by its destructor
}
