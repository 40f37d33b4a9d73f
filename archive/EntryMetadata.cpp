#include "archive/EntryMetadata.h"

namespace archive {
namespace {

bool HostStoresDosAttributes(unsigned host) {
  return host == 0 || host == 7 || host == 11 || host == 14;
}

std::uint16_t ReadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::int32_t ReadLe32(const std::uint8_t* p) {
  const std::uint32_t value = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                              (static_cast<std::uint32_t>(p[2]) << 16) |
                              (static_cast<std::uint32_t>(p[3]) << 24);
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::uint32_t MapEntryAttributes(std::uint16_t versionMadeBy, std::uint32_t externalAttributes) {
  bool readOnly, hidden, system, directory, archiveBit;
  if (HostStoresDosAttributes(versionMadeBy >> 8)) {
    readOnly = externalAttributes & 0x01;
    hidden = externalAttributes & 0x02;
    system = externalAttributes & 0x04;
    directory = externalAttributes & 0x10;
    archiveBit = externalAttributes & 0x20;
  } else {
    directory = externalAttributes & (1u << 30);  // S_IFDIR in the mode word
    readOnly = !(externalAttributes & (1u << 23));  // owner may not write
    archiveBit = true;
    hidden = system = false;
  }
  return (directory ? kAttrDirectory : 0) | (archiveBit ? kAttrArchive : 0) | (hidden ? kAttrHidden : 0) |
         (readOnly ? kAttrReadOnly : 0) | (system ? kAttrSystem : 0);
}

DosDateTime DecodeDosDateTime(std::uint32_t dosDateTime) {
  const std::uint32_t date = dosDateTime >> 16;
  const std::uint32_t time = dosDateTime & 0xFFFF;
  DosDateTime result;
  result.year = 1980 + static_cast<int>((date >> 9) & 0x7F);
  result.month = static_cast<int>((date >> 5) & 0x0F);
  result.day = static_cast<int>(date & 0x1F);
  result.hour = static_cast<int>((time >> 11) & 0x1F);
  result.minute = static_cast<int>((time >> 5) & 0x3F);
  result.second = static_cast<int>(2 * (time & 0x1F));
  return result;
}

std::uint64_t UnixTimeToFileTime(std::int32_t unixTime) {
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(unixTime) + 11644473600LL) * 10000000ULL;
}

ExtendedTimes ParseExtendedTimestamps(const std::uint8_t* extra, std::size_t size) {
  ExtendedTimes times;
  if (extra == nullptr || size <= 4) return times;
  std::size_t offset = 0;
  while (offset + 4 < size) {
    const std::size_t dataSize = ReadLe16(extra + offset + 2);
    if (extra[offset] != 'U' || extra[offset + 1] != 'T') {
      offset += 4 + dataSize;
      continue;
    }
    const std::uint8_t flags = extra[offset + 4];
    std::size_t at = offset + 5;
    const auto take = [&](bool wanted, bool& has, std::int32_t& value) {
      if (!wanted) return;
      if (at + 4 > size) {
        at = size;  // a time that does not fit ends the reading: later ones would too
        return;
      }
      has = true;
      value = ReadLe32(extra + at);
      at += 4;
    };
    take(flags & 1, times.hasWrite, times.write);
    take(flags & 2, times.hasAccess, times.access);
    take(flags & 4, times.hasCreation, times.creation);
    break;
  }
  return times;
}

}  // namespace archive
