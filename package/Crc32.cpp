#include "package/Crc32.h"

#include <zlib.h>

#include <algorithm>

namespace {

// zlib takes at most an unsigned int of bytes a call.
constexpr std::size_t kZlibChunk = 1u << 30;

}  // namespace

std::uint32_t UpdateCrc32(std::uint32_t crc, const void* bytes, std::size_t count) {
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

std::uint32_t BufferCrc32(const void* bytes, std::size_t count) {
  if (bytes == nullptr || count == 0) return 0;
  return UpdateCrc32(0xFFFFFFFFu, bytes, count) ^ 0xFFFFFFFFu;
}
