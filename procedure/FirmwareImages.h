// The images the worker writes, read whole into memory before the first write. They lie in a
// shared temporary folder for minutes after the package check, so each is checked again
// against the CRC-32 the check found, and the program image against the device's flash:
// nothing is written that cannot be written whole, or that is not what was checked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "procedure/FlashLayout.h"
#include "procedure/UpdateSession.h"

struct FirmwareImage {
  std::unique_ptr<std::uint8_t[]> bytes;  // never null once read, even for an empty image
  std::uint32_t length = 0;
};

struct FirmwareImages {
  FirmwareImage bootloader, data, media, program;
  ProgramPlacement placement = {};
};

// Empty when every image was read, still matches and the program image fits; otherwise the
// text to report, and nothing may be written.
std::wstring LoadFirmwareImages(const UpdateSession& session, FirmwareImages& images);
