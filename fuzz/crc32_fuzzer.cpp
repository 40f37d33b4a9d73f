// The CRC-32 that ties a manifest to its images. Input: a split position (2 bytes), then the
// data. Promises: equal to zlib's crc32, whole or continued at any split, at any alignment.
#include <zlib.h>

#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "update/Crc32.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Crc32Table table = [] {
    Crc32Table built;
    BuildCrc32Table(built);
    return built;
  }();
  fuzz::Input input(data, size);
  const std::size_t split = static_cast<std::size_t>(input.Take(2));
  const std::string bytes = input.TakeRest();

  const auto expected = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
  FUZZ_REQUIRE(BufferCrc32(table, bytes.data(), bytes.size()) == expected);

  const std::size_t at = bytes.empty() ? 0 : split % (bytes.size() + 1);
  std::uint32_t crc = UpdateCrc32(table, 0xFFFFFFFFu, bytes.data(), at);
  crc = UpdateCrc32(table, crc, bytes.data() + at, bytes.size() - at);
  FUZZ_REQUIRE((crc ^ 0xFFFFFFFFu) == expected);
  return 0;
}
