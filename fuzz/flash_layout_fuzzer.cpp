// Where the program image goes in flash, for any image length and any flash layout a device
// may report. Input: length (8), sector size (2), flash top (4), application start (4).
// Promises: an image is placed only when it fits, and then its body ends at or below the last
// sector, which ends at the flash top.
#include <cstdint>

#include "fuzz/FuzzInput.h"
#include "procedure/FlashLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const std::uint64_t length = input.Take(8);
  const auto sector = static_cast<std::uint32_t>(input.Take(4));
  const auto top = static_cast<std::uint32_t>(input.Take(4));
  const auto start = static_cast<std::uint32_t>(input.Take(4));

  ProgramPlacement placement = {};
  // In 128 bits, where nothing wraps: the body, from the start on, ends at or below the last
  // sector, which lies inside the flash.
  using Wide = unsigned __int128;
  const bool fits = sector > 0 && Wide{length} >= sector && Wide{top} >= sector &&
                    Wide{start} + (Wide{length} - sector) <= Wide{top} - sector;
  FUZZ_REQUIRE(PlaceProgram(length, sector, top, start, placement) == fits);
  if (!fits) return 0;
  FUZZ_REQUIRE(placement.bodyLength == length - sector && placement.bodyAddress == start);
  FUZZ_REQUIRE(placement.sectorSize == sector && placement.lastSectorAddress + std::uint64_t{sector} == top);
  FUZZ_REQUIRE(std::uint64_t{placement.bodyAddress} + placement.bodyLength <= placement.lastSectorAddress);
  return 0;
}
