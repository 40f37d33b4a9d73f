#include "tests/support/Crc32Forgery.h"

#include <cstdint>

#include "oracles/Crc32Rule.h"
#include "package/Crc32.h"

namespace {

// One step of the reflected CRC over a zero byte is linear and invertible: the step of the low
// byte alone (its table entry) tells that byte by its top byte, as the 256 top bytes differ.
std::uint32_t UndoZeroByte(std::uint32_t after) {
  for (std::uint32_t index = 0; index < 256; ++index) {
    const std::uint32_t entry = oracles::Crc32RuleStep(0, static_cast<unsigned char>(index));
    if ((entry >> 24) == (after >> 24)) return ((after ^ entry) << 8) | index;
  }
  return 0;
}

}  // namespace

std::string ForgeKeepingCrc32(const std::string& data) {
  // Running values before the final complement.
  const std::uint32_t wanted = UpdateCrc32(0xFFFFFFFFu, data.data(), data.size());
  std::string forged = data;
  forged[0] = static_cast<char>(forged[0] ^ 0x5A);
  const std::size_t head = forged.size() - 4;
  const std::uint32_t before = UpdateCrc32(0xFFFFFFFFu, forged.data(), head);
  // Four bytes w (little-endian) after state s give the state of four zero bytes after s ^ w.
  std::uint32_t state = wanted;
  for (int i = 0; i < 4; ++i) state = UndoZeroByte(state);
  const std::uint32_t tail = state ^ before;
  for (int i = 0; i < 4; ++i) forged[head + i] = static_cast<char>(tail >> (8 * i));
  return forged;
}
