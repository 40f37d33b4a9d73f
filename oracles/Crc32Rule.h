// The CRC-32 rule as the manifest's check values were defined, one bit at a time: the oracle
// the product's sums are held against, by the tests and the native fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>

namespace oracles {

// The running value after one more byte (reflected polynomial 0xEDB88320).
inline std::uint32_t Crc32RuleStep(std::uint32_t running, unsigned char byte) {
  running ^= byte;
  for (int bit = 0; bit < 8; ++bit) running = (running & 1u) ? (running >> 1) ^ 0xEDB88320u : running >> 1;
  return running;
}

// Start 0xFFFFFFFF, final complement; 0 for no bytes, as the updater takes it.
inline std::uint32_t Crc32Rule(const unsigned char* bytes, std::size_t count) {
  if (count == 0) return 0;
  std::uint32_t running = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < count; ++i) running = Crc32RuleStep(running, bytes[i]);
  return running ^ 0xFFFFFFFFu;
}

}  // namespace oracles
