#include "tests/signing/Crc32Forgery.h"

#include <cstdint>

#include "update/Crc32.h"

namespace {

// One step of the reflected CRC over a zero byte is linear and invertible: the top byte of a
// table entry tells its index (the top bytes of the 256 entries are all different).
std::uint32_t UndoZeroByte(const Crc32Table& table, std::uint32_t after) {
  for (std::uint32_t index = 0; index < 256; ++index) {
    if ((table.entries[index] >> 24) == (after >> 24)) return ((after ^ table.entries[index]) << 8) | index;
  }
  return 0;
}

}  // namespace

std::string ForgeKeepingCrc32(const std::string& data) {
  Crc32Table table;
  BuildCrc32Table(table);
  // Running values before the final complement.
  const std::uint32_t wanted = UpdateCrc32(table, 0xFFFFFFFFu, data.data(), data.size());
  std::string forged = data;
  forged[0] = static_cast<char>(forged[0] ^ 0x5A);
  const std::size_t head = forged.size() - 4;
  const std::uint32_t before = UpdateCrc32(table, 0xFFFFFFFFu, forged.data(), head);
  // Four bytes w (little-endian) after state s give the state of four zero bytes after s ^ w.
  std::uint32_t state = wanted;
  for (int i = 0; i < 4; ++i) state = UndoZeroByte(table, state);
  const std::uint32_t tail = state ^ before;
  for (int i = 0; i < 4; ++i) forged[head + i] = static_cast<char>(tail >> (8 * i));
  return forged;
}
