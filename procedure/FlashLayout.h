// Where the program image goes in the MCU's flash, as the DFU library takes addresses: its
// first L - S bytes at the application start A, its last S bytes in the last sector below the
// flash top T, at T - S. The last sector is erased first and written last, so an interrupted
// update never leaves a complete-looking application behind. Plain logic.
#pragma once

#include <cstdint>

struct ProgramPlacement {
  std::uint32_t bodyLength;       // L - S
  std::uint32_t bodyAddress;      // A
  std::uint32_t lastSectorAddress;  // T - S
  std::uint32_t sectorSize;       // S
};

// False when the image cannot be placed: no sector size, an image shorter than one sector,
// or a body that would run into the last sector or past the flash.
bool PlaceProgram(std::uint64_t imageLength, std::uint32_t sectorSize, std::uint32_t flashTop,
                  std::uint32_t appStartAddress, ProgramPlacement& placement);
