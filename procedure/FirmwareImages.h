// The images the worker writes, whole in memory before the first write. They are read
// through the handles the package check has held since it unpacked them (UnpackedFiles), so
// nobody can have changed them since their check: the CRC-32 the manifest requires is compared
// once more right before the writes, and the program image is placed in the device's flash.
// Nothing is written that cannot be written whole, or that is not what was checked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "procedure/FlashLayout.h"
#include "procedure/UpdateSession.h"

// One image file in memory, from a handle held open (readers only) by someone else for longer
// than the image lives. On the system's volume it is mapped copy-on-write (what the library
// might write into its buffer never reaches the file; and a fresh buffer of 64 MiB costs more
// in page faults than the whole package check). Anywhere else it is read whole into memory of
// its own: a share or a USB disk can go away under a mapping, and the page read then would
// fault inside the library in the middle of a write.
class FirmwareImage {
 public:
  enum class Load { kLoaded, kNoMemory, kUnreadable };
  enum class Access { kMapped, kRead };

  FirmwareImage() = default;
  ~FirmwareImage();
  FirmwareImage(const FirmwareImage&) = delete;
  FirmwareImage& operator=(const FirmwareImage&) = delete;

  // file is held by the caller and read from its start, whatever its file pointer; path names
  // it and decides the access: mapped on the system's volume, read anywhere else.
  Load Open(HANDLE file, const std::wstring& path);
  Load Open(HANDLE file, Access access);
  // Never null once opened, even for an empty image.
  const std::uint8_t* bytes() const { return m_view != nullptr ? m_view : &m_empty; }
  std::uint32_t length() const { return m_length; }

 private:
  Load MapWhole(HANDLE file);
  Load ReadWhole(HANDLE file);

  HANDLE m_mapping = nullptr;  // null when read
  const std::uint8_t* m_view = nullptr;
  std::uint32_t m_length = 0;
  std::uint8_t m_empty = 0;
};

struct FirmwareImages {
  FirmwareImage bootloader, data, media, program;
  ProgramPlacement placement = {};
};

// Empty when every image was read, still matches its CRC-32 and the program image fits;
// otherwise the text to report, and nothing may be written.
std::wstring LoadFirmwareImages(const UpdateSession& session, FirmwareImages& images);
