// The CRC-32 that ties a manifest to its images. Input: a split position (2 bytes), then the
// data. Promises: the sums (zlib's) equal the rule computed bit by bit, whole
// or continued at any split, at any alignment.
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "oracles/Crc32Rule.h"
#include "package/Crc32.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::size_t split = static_cast<std::size_t>(input.Take(2));
  const std::string bytes = input.TakeRest();

  std::uint32_t rule = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) rule = oracles::Crc32RuleStep(rule, byte);
  const std::uint32_t expected = bytes.empty() ? 0 : rule ^ 0xFFFFFFFFu;
  FUZZ_REQUIRE(BufferCrc32(bytes.data(), bytes.size()) == expected);

  const std::size_t at = bytes.empty() ? 0 : split % (bytes.size() + 1);
  std::uint32_t crc = UpdateCrc32(0xFFFFFFFFu, bytes.data(), at);
  crc = UpdateCrc32(crc, bytes.data() + at, bytes.size() - at);
  FUZZ_REQUIRE(crc == rule);
  return 0;
}
