#include "update/Crc32.h"

#include <zlib.h>

#include <algorithm>

namespace {

std::uint32_t Reflect(std::uint32_t value, int bits) {
  std::uint32_t result = 0;
  for (int i = 0; i < bits; ++i) {
    if (value & (1u << i)) result |= 1u << (bits - 1 - i);
  }
  return result;
}

// zlib takes at most an unsigned int of bytes a call.
constexpr std::size_t kZlibChunk = 1u << 30;

}  // namespace

void BuildCrc32Table(Crc32Table& table) {
  constexpr std::uint32_t kPolynomial = 0x04C11DB7;
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = Reflect(i, 8) << 24;
    for (int step = 0; step < 8; ++step) {
      value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
    }
    table.entries[i] = Reflect(value, 32);
  }
}

std::uint32_t UpdateCrc32(const Crc32Table&, std::uint32_t crc, const void* bytes, std::size_t count) {
  // zlib's value is the complemented running value.
  uLong value = ~crc & 0xFFFFFFFFu;
  const auto* p = static_cast<const Bytef*>(bytes);
  while (count > 0) {
    const std::size_t part = std::min(count, kZlibChunk);
    value = crc32(value, p, static_cast<uInt>(part));
    p += part;
    count -= part;
  }
  return ~static_cast<std::uint32_t>(value);
}

std::uint32_t BufferCrc32(const Crc32Table& table, const void* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return 0;
  return UpdateCrc32(table, 0xFFFFFFFFu, bytes, count) ^ 0xFFFFFFFFu;
}
