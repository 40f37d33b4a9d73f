// The images the worker writes, whole in memory before the first write. They lie in the
// update's folder for minutes after the package check, so each is checked again against the
// CRC-32 the check found (and a signed one against its signed SHA-256), and the program image
// against the device's flash: nothing is written that cannot be written whole, or that is not
// what was checked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "procedure/FlashLayout.h"
#include "procedure/UpdateSession.h"

// One image file in memory, held open from before its check to the end of the writes and
// shared with readers only, so no one can change or remove it meanwhile: the bytes checked are
// the bytes written. On the system's volume it is mapped copy-on-write (what the library might
// write into its buffer never reaches the file; and a fresh buffer of 64 MiB costs more in page
// faults than the whole package check). Anywhere else it is read whole into memory of its own:
// a share or a USB disk can go away under a mapping, and the page read then would fault inside
// the library in the middle of a write.
class FirmwareImage {
 public:
  enum class Load { kLoaded, kNoMemory, kUnreadable };
  enum class Access { kMapped, kRead };

  FirmwareImage() = default;
  ~FirmwareImage();
  FirmwareImage(const FirmwareImage&) = delete;
  FirmwareImage& operator=(const FirmwareImage&) = delete;

  // Mapped on the system's volume, read anywhere else.
  Load Open(const std::wstring& path);
  Load Open(const std::wstring& path, Access access);
  // Never null once opened, even for an empty image.
  const std::uint8_t* bytes() const { return m_view != nullptr ? m_view : &m_empty; }
  std::uint32_t length() const { return m_length; }

 private:
  Load MapWhole();
  Load ReadWhole();

  HANDLE m_file = INVALID_HANDLE_VALUE;
  HANDLE m_mapping = nullptr;  // null when read
  const std::uint8_t* m_view = nullptr;
  std::uint32_t m_length = 0;
  std::uint8_t m_empty = 0;
};

struct FirmwareImages {
  FirmwareImage bootloader, data, media, program;
  ProgramPlacement placement = {};
};

// Empty when every image was read, still matches and the program image fits; otherwise the
// text to report, and nothing may be written.
std::wstring LoadFirmwareImages(const UpdateSession& session, FirmwareImages& images);
