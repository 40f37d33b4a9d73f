// Fixtures shared by the tests that update instruments on a bench: the default bench's three
// instruments, and an update package built from images in the test's own folder.
#pragma once

#include <cstdint>
#include <string>

#include "sim/bench/Bench.h"

namespace testing_support {

struct InstrumentTiming {
  std::int64_t modeChangedAt;  // on the bus since (bench clock)
  std::uint32_t reenumerationMs;
  std::uint32_t bytesPerSecond = 0;  // unpaced
};

// "TW 3xx" (id tw, model 4181, address 1) and "QM 5xx" (qm, 4100, 2) in application mode,
// "VX 5xx" (vx, 4200, 3) in DFU mode, in this bus order.
bool SaveDefaultInstruments(sim::Bench& bench, const InstrumentTiming& timing);

struct PackageImages {
  std::string deviceType = "TW 3xx";
  std::string program, media, data;
  std::string bootloader;  // none when empty
};

// Writes the images into folder (ending in a backslash) and builds folder + "update.kn" from
// them; the package's path, or empty when it could not be built.
std::wstring BuildPackage(const std::wstring& folder, const PackageImages& images);

}  // namespace testing_support
