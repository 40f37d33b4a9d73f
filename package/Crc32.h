// CRC-32 of ZIP and zlib (reflected polynomial 0x04C11DB7, start 0xFFFFFFFF, final
// complement), which ties an update package's manifest to its images. The sums are zlib's.
// No platform calls.
#pragma once

#include <cstddef>
#include <cstdint>

// 0 for an empty or absent range.
std::uint32_t BufferCrc32(const void* bytes, std::size_t count);

// Continues a CRC over more bytes; crc is the running value before the final complement.
std::uint32_t UpdateCrc32(std::uint32_t crc, const void* bytes, std::size_t count);
