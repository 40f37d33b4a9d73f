#include "procedure/FlashLayout.h"

bool PlaceProgram(std::uint64_t imageLength, std::uint32_t sectorSize, std::uint32_t flashTop,
                  std::uint32_t appStartAddress, ProgramPlacement& placement) {
  if (sectorSize == 0 || imageLength < sectorSize || flashTop < sectorSize) return false;
  const std::uint64_t bodyLength = imageLength - sectorSize;
  const std::uint64_t lastSector = flashTop - sectorSize;
  // Without a sum that could wrap for an absurd length: body and start both below the sector.
  if (bodyLength > lastSector || appStartAddress > lastSector - bodyLength) return false;
  placement.bodyLength = static_cast<std::uint32_t>(bodyLength);
  placement.bodyAddress = appStartAddress;
  placement.lastSectorAddress = static_cast<std::uint32_t>(lastSector);
  placement.sectorSize = sectorSize;
  return true;
}
