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
  for (int k = 1; k < 16; ++k) {
    for (int i = 0; i < 256; ++i) {
      const std::uint32_t previous = table.entries[k - 1][i];
      table.entries[k][i] = (previous >> 8) ^ table.entries[0][previous & 0xFF];
    }
  }
}

std::uint32_t UpdateCrc32(const Crc32Table& table, std::uint32_t crc, const void* bytes, std::size_t count) {
  const auto& t = table.entries;
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  for (; count >= 16; count -= 16, p += 16) {
    const std::uint32_t w0 = crc ^ LoadLe32(p);
    const std::uint32_t w1 = LoadLe32(p + 4), w2 = LoadLe32(p + 8), w3 = LoadLe32(p + 12);
    crc = t[15][w0 & 0xFF] ^ t[14][(w0 >> 8) & 0xFF] ^ t[13][(w0 >> 16) & 0xFF] ^ t[12][w0 >> 24] ^
          t[11][w1 & 0xFF] ^ t[10][(w1 >> 8) & 0xFF] ^ t[9][(w1 >> 16) & 0xFF] ^ t[8][w1 >> 24] ^
          t[7][w2 & 0xFF] ^ t[6][(w2 >> 8) & 0xFF] ^ t[5][(w2 >> 16) & 0xFF] ^ t[4][w2 >> 24] ^
          t[3][w3 & 0xFF] ^ t[2][(w3 >> 8) & 0xFF] ^ t[1][(w3 >> 16) & 0xFF] ^ t[0][w3 >> 24];
  }
  for (; count > 0; --count, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
  return crc;
}

std::uint32_t BufferCrc32(const Crc32Table& table, const void* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return 0;
  return UpdateCrc32(table, 0xFFFFFFFFu, bytes, count) ^ 0xFFFFFFFFu;
}
