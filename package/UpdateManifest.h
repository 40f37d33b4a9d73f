// The manifest "info" of an update package: one value per line, 8-bit text, read in a fixed
// order, and the check values that tie it to the device type and the images. Plain logic.
//
//   1 device type          2 check value of line 1
//   3 program image name   4 its CRC-32       5 media image name   6 its CRC-32
//   7 data image name      8 its CRC-32
//   9 "UPDATE_BOOTLOADER" (optional)  10 bootloader image name  11 its CRC-32
#pragma once

#include <cstdint>
#include <string>

#include "package/Crc32.h"

constexpr char kBootloaderMarker[] = "UPDATE_BOOTLOADER";

// The manifest's entry name, at the package's root.
constexpr char kManifestEntryName[] = "info";
constexpr wchar_t kManifestFileName[] = L"info";

// Longest manifest line taken; a longer one cannot be a name, a check value or a device type
// that any instrument reports, and makes the manifest unreadable.
constexpr std::size_t kMaxManifestLine = 4096;

struct UpdateManifest {
  std::string deviceType, deviceTypeCheck;
  std::string programName, programCheck;
  std::string mediaName, mediaCheck;
  std::string dataName, dataCheck;
  bool hasLine9 = false;  // present even when empty
  std::string line9;
  std::string bootloaderName, bootloaderCheck;

  bool HasBootloaderMarker() const { return hasLine9 && line9 == kBootloaderMarker; }
};

// Reads lines one at a time: a line ends at a line feed, a carriage return just before it is
// dropped, nothing else is trimmed. ReadLine gives false at the end of the input.
// A Ctrl-Z ends the input, as the C runtime's text mode has it (old editors put one last).
class ManifestLineReader {
 public:
  virtual ~ManifestLineReader() = default;
  // False when no further line exists; overlong set when the line exceeded kMaxManifestLine.
  bool ReadLine(std::string& line, bool& overlong);

 protected:
  virtual int NextByte() = 0;  // -1 at the end

 private:
  int Next();
  bool m_ended = false;
};

// True when value can stand as one manifest line and read back the same: no line feed, no
// Ctrl-Z, not longer than a line may be.
bool IsWritableManifestField(const std::string& value);

// Lines 1 to 8 read as empty when missing; line 9 is looked for; 10 and 11 only after the
// marker. Returns false when a line is overlong.
bool ReadUpdateManifest(ManifestLineReader& reader, UpdateManifest& manifest);

// Check value of line 1: the line held as 16-bit characters, CRC-32 over as many bytes of
// their little-endian image as the line has characters (so "abc" covers 61 00 62). Stored
// packages carry exactly this value.
std::uint32_t DeviceTypeCheckValue(const std::string& deviceType);

// "%u" of a check value: digits only, no leading zeros.
std::string FormatCheckValue(std::uint32_t value);

// The manifest text a package carries for these values (used by the package builder). Every
// text field must be writable (IsWritableManifestField).
struct ManifestContent {
  std::string deviceType;
  std::string programName, mediaName, dataName, bootloaderName;
  std::uint32_t programCrc = 0, mediaCrc = 0, dataCrc = 0, bootloaderCrc = 0;
  bool withBootloader = false;
};
std::string ComposeUpdateManifest(const ManifestContent& content);
