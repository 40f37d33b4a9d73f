// An entry's central-record fields and its local extra field, as a package may carry them.
// Input: versionMadeBy (2), external attributes (4), DOS date and time (4), a Unix time (4),
// then the extra field. Promises: only the five attribute bits, calendar fields in their
// ranges, FILETIMEs exact, and the 'UT' times taken only from inside the field (the field
// lies in a buffer of exactly its size, so the address sanitizer sees any read past it).
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/EntryMetadata.h"
#include "fuzz/FuzzInput.h"

namespace {

std::int32_t Le32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

// The first 'UT' sub-field's times, walked independently.
archive::ExtendedTimes Expected(const std::vector<std::uint8_t>& extra) {
  archive::ExtendedTimes times;
  std::size_t offset = 0;
  while (extra.size() > 4 && offset + 4 < extra.size()) {
    const std::size_t dataSize = extra[offset + 2] | (extra[offset + 3] << 8);
    if (extra[offset] != 'U' || extra[offset + 1] != 'T') {
      offset += 4 + dataSize;
      continue;
    }
    const std::uint8_t flags = extra[offset + 4];
    std::size_t at = offset + 5;
    bool* has[] = {&times.hasWrite, &times.hasAccess, &times.hasCreation};
    std::int32_t* value[] = {&times.write, &times.access, &times.creation};
    for (int bit = 0; bit < 3; ++bit) {
      if ((flags & (1 << bit)) == 0) continue;
      if (at + 4 > extra.size()) break;
      *has[bit] = true;
      *value[bit] = Le32(extra.data() + at);
      at += 4;
    }
    break;
  }
  return times;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const auto versionMadeBy = static_cast<std::uint16_t>(input.Take(2));
  const auto external = static_cast<std::uint32_t>(input.Take(4));
  const auto dosDateTime = static_cast<std::uint32_t>(input.Take(4));
  const auto unixTime = static_cast<std::int32_t>(static_cast<std::uint32_t>(input.Take(4)));
  const std::string rest = input.TakeRest();

  const std::uint32_t attributes = archive::MapEntryAttributes(versionMadeBy, external);
  FUZZ_REQUIRE((attributes & ~0x37u) == 0);
  const unsigned host = versionMadeBy >> 8;
  const bool dosHost = host == 0 || host == 7 || host == 11 || host == 14;
  const bool directory = dosHost ? (external & 0x10) != 0 : (external & (1u << 30)) != 0;
  FUZZ_REQUIRE(((attributes & archive::kAttrDirectory) != 0) == directory);

  const archive::DosDateTime fields = archive::DecodeDosDateTime(dosDateTime);
  FUZZ_REQUIRE(fields.year >= 1980 && fields.year <= 2107);
  FUZZ_REQUIRE(fields.month >= 0 && fields.month <= 15 && fields.day >= 0 && fields.day <= 31);
  FUZZ_REQUIRE(fields.hour >= 0 && fields.hour <= 31 && fields.minute >= 0 && fields.minute <= 63);
  FUZZ_REQUIRE(fields.second >= 0 && fields.second <= 62 && fields.second % 2 == 0);

  const std::uint64_t fileTime = archive::UnixTimeToFileTime(unixTime);
  FUZZ_REQUIRE(fileTime == static_cast<std::uint64_t>((static_cast<std::int64_t>(unixTime) + 11644473600LL) * 10000000LL));

  const std::vector<std::uint8_t> extra(rest.begin(), rest.end());
  const archive::ExtendedTimes times = archive::ParseExtendedTimestamps(extra.empty() ? nullptr : extra.data(), extra.size());
  const archive::ExtendedTimes expected = Expected(extra);
  FUZZ_REQUIRE(times.hasWrite == expected.hasWrite && times.hasAccess == expected.hasAccess &&
               times.hasCreation == expected.hasCreation);
  FUZZ_REQUIRE(times.write == expected.write && times.access == expected.access && times.creation == expected.creation);
  return 0;
}
