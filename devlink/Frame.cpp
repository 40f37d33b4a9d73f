#include "devlink/Frame.h"

#include <cstring>

namespace frame {

std::uint8_t Sum(const std::uint8_t* bytes, std::size_t count) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
  return sum;
}

std::size_t Build(std::uint8_t address, const std::uint8_t* payload, std::size_t n, std::uint8_t* out) {
  if (n > kMaxPayload) return 0;
  std::memmove(out + kPayloadOffset, payload, n);
  out[kAddressOffset] = address;
  out[kLengthOffset] = static_cast<std::uint8_t>(n + kOverhead);
  out[n + 2] = static_cast<std::uint8_t>(0x100 - Sum(out, n + 2u));
  out[n + 3] = 0x00;
  return n + kOverhead;
}

std::uint32_t SegmentCount(std::uint32_t byteCount) {
  // In 64 bits: near 2^32 the rounding up would wrap to 0 segments.
  return byteCount <= kMaxFrame ? 1 : static_cast<std::uint32_t>((std::uint64_t{byteCount} + 191) / 192);
}

bool JoinSegments(std::uint8_t* buffer, std::size_t bufferSize, std::size_t received, std::uint32_t segments,
                  std::uint8_t address, std::size_t& payloadLength) {
  const std::size_t available = received < bufferSize ? received : bufferSize;
  std::size_t readAt = 0, writeAt = 0;
  for (std::uint32_t segment = 0; segment < segments; ++segment) {
    if (readAt + kPayloadOffset > available) return false;
    const std::size_t length = buffer[readAt + kLengthOffset];
    if (length < kOverhead || readAt + length > available) return false;
    if (buffer[readAt + kAddressOffset] != address || Sum(buffer + readAt, length) != 0) return false;
    // The write position never passes the read position, so the join needs no second buffer.
    std::memmove(buffer + writeAt, buffer + readAt + kPayloadOffset, length - kOverhead);
    writeAt += length - kOverhead;
    readAt += length;
  }
  payloadLength = writeAt;
  return true;
}

}  // namespace frame
