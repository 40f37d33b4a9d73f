// CRC-32 of ZIP and zlib (reflected polynomial 0x04C11DB7, start 0xFFFFFFFF, final
// complement), which ties an update package's manifest to its images. No platform calls.
#pragma once

#include <cstddef>
#include <cstdint>

// The byte table of the polynomial (entry 1 = 0x77073096, entry 255 = 0x2D02EF8D): the rule
// as the manifest's check values were defined. The sums themselves are zlib's, which gives
// the same values faster than any table walk of ours.
struct Crc32Table {
  std::uint32_t entries[256];
};

void BuildCrc32Table(Crc32Table& table);

// 0 for an empty or absent range.
std::uint32_t BufferCrc32(const Crc32Table& table, const void* bytes, std::size_t count);

// Continues a CRC over more bytes; crc is the running value before the final complement.
std::uint32_t UpdateCrc32(const Crc32Table& table, std::uint32_t crc, const void* bytes, std::size_t count);
