#include "usbio/StringDescriptor.h"

#include "usbio/UsbIoRecords.h"

void StringDescriptorToText(std::uint32_t byteCount, void* buffer) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::uint32_t remaining = byteCount;
  while (remaining > 0) {
    const std::uint8_t length = bytes[0];
    if (length == 0 || length > remaining) return;
    if (length >= 2 && bytes[1] == kUsbDescriptorString) {
      std::uint32_t out = 0;
      for (std::uint32_t in = 2; in < length; in += 2) bytes[out++] = bytes[in];
      bytes[out] = 0;  // out < length: the terminator stays inside the descriptor
    }
    bytes += length;
    remaining -= length;
  }
}

std::wstring StringDescriptorUnits(const void* buffer, std::uint32_t byteCount) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  if (byteCount < 2 || bytes[0] < 2 || bytes[0] > byteCount || bytes[1] != kUsbDescriptorString) return {};
  std::wstring text;
  for (std::uint32_t at = 2; at + 1 < bytes[0]; at += 2) {
    text.push_back(static_cast<wchar_t>(bytes[at] | (bytes[at + 1] << 8)));
  }
  return text;
}
