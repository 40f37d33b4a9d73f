#include "update/Crc32.h"

namespace {

std::uint32_t Reflect(std::uint32_t value, int bits) {
  std::uint32_t result = 0;
  for (int i = 0; i < bits; ++i) {
    if (value & (1u << i)) result |= 1u << (bits - 1 - i);
  }
  return result;
}

std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

void BuildCrc32Table(Crc32Table& table) {
  constexpr std::uint32_t kPolynomial = 0x04C11DB7;
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = Reflect(i, 8) << 24;
    for (int step = 0; step < 8; ++step) {
      value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
    }
    table.entries[0][i] = Reflect(value, 32);
  }
  for (int k = 1; k < 8; ++k) {
    for (int i = 0; i < 256; ++i) {
      const std::uint32_t previous = table.entries[k - 1][i];
      table.entries[k][i] = (previous >> 8) ^ table.entries[0][previous & 0xFF];
    }
  }
}

std::uint32_t UpdateCrc32(const Crc32Table& table, std::uint32_t crc, const void* bytes, std::size_t count) {
  const auto& t = table.entries;
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  for (; count >= 8; count -= 8, p += 8) {
    const std::uint32_t low = crc ^ LoadLe32(p);
    const std::uint32_t high = LoadLe32(p + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
  }
  for (; count > 0; --count, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return crc;
}

std::uint32_t BufferCrc32(const Crc32Table& table, const void* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return 0;
  return UpdateCrc32(table, 0xFFFFFFFFu, bytes, count) ^ 0xFFFFFFFFu;
}
