// The plain rules of the preparation and the worker: which device a package is for, which
// DFU device arrived since the last refresh, where the program image goes, and the messages
// that carry the library's text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "procedure/DeviceMatch.h"
#include "procedure/ErrorText.h"
#include "procedure/FlashLayout.h"

namespace {

struct MatchCase {
  const wchar_t* product;
  const wchar_t* deviceType;
  DeviceMatch expected;
};

TEST(DeviceMatchTest, SubstringOfTheProductCaseSensitiveWithTwoAliases) {
  const MatchCase cases[] = {
      {L"TW 3xx", L"TW 3xx", DeviceMatch::kMatch},
      {L"VX 3xx", L"TW 3xx", DeviceMatch::kMatch},
      {L"VX 5xx", L"QM 5xx", DeviceMatch::kMatch},
      {L"QM 5xx", L"TW 3xx", DeviceMatch::kNotForDevice},
      {L"VX 3xx", L"QM 5xx", DeviceMatch::kNotForDevice},
      {L"tw 3xx", L"TW 3xx", DeviceMatch::kNotForDevice},
      // Neither found nor aliased: no message at all. The aliases work one way only.
      {L"QM 5xx", L"VX 3xx", DeviceMatch::kUnknownType},
      {L"TW 3xx", L"VX 3xx", DeviceMatch::kUnknownType},
      {L"TW 3xx", L"tw 3xx", DeviceMatch::kUnknownType},
      // Only the product counts: what a list entry puts around it matches nothing.
      {L"TW 3xx", L"Device", DeviceMatch::kUnknownType},
      {L"TW 3xx", L"0:", DeviceMatch::kUnknownType},
      {L"TW 3xx", L"\n", DeviceMatch::kUnknownType},
      // An empty device type is no instrument's.
      {L"TW 3xx", L"", DeviceMatch::kNotForDevice},
      {L"", L"", DeviceMatch::kNotForDevice},
  };
  for (const MatchCase& c : cases) {
    EXPECT_EQ(MatchDeviceType(c.product, c.deviceType), c.expected)
        << std::string(c.product, c.product + wcslen(c.product)) << " / " << std::string(c.deviceType, c.deviceType + wcslen(c.deviceType));
  }
}

struct ArrivalCase {
  const char* name;
  std::vector<std::wstring> kept;
  std::vector<std::wstring> seen;  // the last one is the device asked about
  bool arrived;
};

TEST(DeviceMatchTest, ArrivedSinceTheRefresh) {
  const ArrivalCase cases[] = {
      {"NothingKept", {}, {L"TW 3xx"}, true},
      {"KeptBefore", {L"VX 5xx"}, {L"VX 5xx"}, false},
      {"NewAheadOfKept", {L"VX 5xx"}, {L"TW 3xx"}, true},
      {"KeptThenNew", {L"VX 5xx"}, {L"VX 5xx", L"TW 3xx"}, true},
      {"IdenticalFirstIsTheKeptOne", {L"TW 3xx"}, {L"TW 3xx"}, false},
      {"IdenticalSecondIsNew", {L"TW 3xx"}, {L"TW 3xx", L"TW 3xx"}, true},
      {"UnknownCountsAsAText", {L"<<Unknown>>"}, {L"<<Unknown>>", L"<<Unknown>>"}, true},
      {"KeptDeviceGoneOtherStays", {L"VX 5xx", L"QM 5xx"}, {L"QM 5xx"}, false},
      {"NothingSeen", {L"VX 5xx"}, {}, false},
  };
  for (const ArrivalCase& c : cases) EXPECT_EQ(ArrivedSinceRefresh(c.seen, c.kept), c.arrived) << c.name;
}

struct PlacementCase {
  const char* name;
  std::uint64_t length;
  std::uint32_t sector, top, start;
  bool fits;
  ProgramPlacement placement;
};

TEST(FlashLayoutTest, ProgramBodyAtTheStartAndItsLastSectorBelowTheTop) {
  const PlacementCase cases[] = {
      {"EndsWhereTheLastSectorBegins", 0x3C000, 1024, 0x40000, 0x4000, true, {0x3BC00, 0x4000, 0x3FC00, 1024}},
      {"OneByteTooMany", 0x3C001, 1024, 0x40000, 0x4000, false, {}},
      {"JustOneSector", 1024, 1024, 0x40000, 0x4000, true, {0, 0x4000, 0x3FC00, 1024}},
      {"ShorterThanASector", 1023, 1024, 0x40000, 0x4000, false, {}},
      {"NoSectorSize", 0x1000, 0, 0x40000, 0x4000, false, {}},
      {"TopBelowOneSector", 0x1000, 1024, 512, 0, false, {}},
      {"StartAboveTheLastSector", 0x1000, 1024, 0x40000, 0x3FE00, false, {}},
      // No wrap-around in 32 bits: a start near the top of the address space does not fit.
      {"StartNearFourGiB", 0x2000, 1024, 0x40000, 0xFFFFF000, false, {}},
      {"LongerThanFourGiB", 0x100000400ull, 1024, 0xFFFFFFFF, 0, false, {}},
      // Found by fuzzing: the body's end wrapped around 2^64 and seemed to fit.
      {"LengthNearTwoToTheSixtyFour", 0xFFFFFFFFFFFFFC00ull, 1, 0x40000, 0x4000, false, {}},
  };
  for (const PlacementCase& c : cases) {
    ProgramPlacement placement = {};
    ASSERT_EQ(PlaceProgram(c.length, c.sector, c.top, c.start, placement), c.fits) << c.name;
    if (!c.fits) continue;
    EXPECT_EQ(placement.bodyLength, c.placement.bodyLength) << c.name;
    EXPECT_EQ(placement.bodyAddress, c.placement.bodyAddress) << c.name;
    EXPECT_EQ(placement.lastSectorAddress, c.placement.lastSectorAddress) << c.name;
    EXPECT_EQ(placement.sectorSize, c.placement.sectorSize) << c.name;
  }
}

TEST(ErrorTextTest, LibraryTextAndCodeGoInWhole) {
  EXPECT_EQ(FormatLibraryError(L"Error %s (%d) reading flash parameters.", L"Cannot read", -5),
            L"Error Cannot read (-5) reading flash parameters.");
  EXPECT_EQ(FormatLibraryError(L"Error %s (%d) reported during finishing process!\n", L"", -1),
            L"Error  (-1) reported during finishing process!\n");
  // Placeholders inside the library's text stay as they are.
  EXPECT_EQ(FormatLibraryError(L"Error %s (%d) x", L"50%d %s", -13), L"Error 50%d %s (-13) x");
  const std::wstring longText(5000, L'e');
  EXPECT_EQ(FormatLibraryError(L"Error %s (%d)", longText, 7), L"Error " + longText + L" (7)");
}

}  // namespace
