// CRC-32 of ZIP and zlib (reflected polynomial 0x04C11DB7, start 0xFFFFFFFF, final
// complement), which ties an update package's manifest to its images. Plain logic.
#pragma once

#include <cstddef>
#include <cstdint>

struct Crc32Table {
  // entries[0] is the classic byte table (entry 1 = 0x77073096, entry 255 = 0x2D02EF8D);
  // entries[k] advances a byte that lies k bytes further on, so sixteen bytes go in one step.
  std::uint32_t entries[16][256];
};

void BuildCrc32Table(Crc32Table& table);

// 0 for an empty or absent range.
std::uint32_t BufferCrc32(const Crc32Table& table, const void* bytes, std::size_t count);

// Continues a CRC over more bytes; crc is the running value before the final complement.
std::uint32_t UpdateCrc32(const Crc32Table& table, std::uint32_t crc, const void* bytes, std::size_t count);
