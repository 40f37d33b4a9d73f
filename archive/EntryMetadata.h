// How an entry's central-record fields become Windows file metadata: the attribute bits by
// the host that made the entry, the DOS date and time as calendar fields, and the 'UT'
// extended timestamps of the local extra field. Plain rules, no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace archive {

// Windows file attribute bits as the entries carry them.
constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrSystem = 0x04;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;

// versionMadeBy's high byte names the host; FAT, NTFS-like and VFAT hosts store DOS
// attribute bits, all others (Unix above all) a mode word in the high 16 bits.
std::uint32_t MapEntryAttributes(std::uint16_t versionMadeBy, std::uint32_t externalAttributes);

struct DosDateTime {
  int year, month, day, hour, minute, second;
};

DosDateTime DecodeDosDateTime(std::uint32_t dosDateTime);  // date in the high, time in the low 16 bits

// A Unix time as a FILETIME count (100 ns since 1601-01-01 UTC).
std::uint64_t UnixTimeToFileTime(std::int32_t unixTime);

// The times an 'UT' sub-field of a local extra field supplies.
struct ExtendedTimes {
  bool hasWrite = false, hasAccess = false, hasCreation = false;
  std::int32_t write = 0, access = 0, creation = 0;
};

// Walks the sub-fields to the first 'UT' one and takes the times its flags announce, each only
// when its four bytes lie inside the field.
ExtendedTimes ParseExtendedTimestamps(const std::uint8_t* extra, std::size_t size);

}  // namespace archive
