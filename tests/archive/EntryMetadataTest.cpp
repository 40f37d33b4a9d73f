#include "archive/EntryMetadata.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace archive;

struct AttributeCase {
  const char* what;
  std::uint16_t versionMadeBy;
  std::uint32_t external;
  std::uint32_t expected;
};

class MapEntryAttributesTest : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(MapEntryAttributesTest, FollowsTheHostThatMadeTheEntry) {
  EXPECT_EQ(MapEntryAttributes(GetParam().versionMadeBy, GetParam().external), GetParam().expected)
      << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, MapEntryAttributesTest,
    ::testing::Values(
        AttributeCase{"FAT read-only archive", 0x0014, 0x21, kAttrReadOnly | kAttrArchive},
        AttributeCase{"FAT hidden system directory", 0x0014, 0x16, kAttrHidden | kAttrSystem | kAttrDirectory},
        AttributeCase{"NTFS plain", 0x0B14, 0x00, 0},
        AttributeCase{"VFAT archive", 0x0E14, 0x20, kAttrArchive},
        AttributeCase{"host 7 read-only", 0x0714, 0x01, kAttrReadOnly},
        AttributeCase{"Unix rw-r--r-- file", 0x031E, 0x81A40000, kAttrArchive},
        AttributeCase{"Unix r--r--r-- file", 0x031E, 0x81240000, kAttrArchive | kAttrReadOnly},
        AttributeCase{"Unix rwxr-xr-x directory", 0x031E, 0x41ED0010, kAttrDirectory | kAttrArchive},
        AttributeCase{"Unix ignores DOS bits", 0x031E, 0x81A40027, kAttrArchive}));

TEST(DecodeDosDateTimeTest, SplitsDateAndTimeFields) {
  // 2019-11-23 13:45:58: date = (39 << 9) | (11 << 5) | 23, time = (13 << 11) | (45 << 5) | 29.
  const std::uint32_t dos = ((39u << 9 | 11u << 5 | 23u) << 16) | (13u << 11 | 45u << 5 | 29u);
  const DosDateTime t = DecodeDosDateTime(dos);
  EXPECT_EQ(t.year, 2019);
  EXPECT_EQ(t.month, 11);
  EXPECT_EQ(t.day, 23);
  EXPECT_EQ(t.hour, 13);
  EXPECT_EQ(t.minute, 45);
  EXPECT_EQ(t.second, 58);
}

TEST(UnixTimeToFileTimeTest, CountsFrom1601) {
  EXPECT_EQ(UnixTimeToFileTime(0), 116444736000000000ULL);
  EXPECT_EQ(UnixTimeToFileTime(1), 116444736010000000ULL);
  EXPECT_EQ(UnixTimeToFileTime(-1), 116444735990000000ULL);  // before 1970 stays signed
}

std::string Le32(std::uint32_t v) {
  return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
}

std::string SubField(const char tag[2], const std::string& data) {
  return std::string{tag[0], tag[1], static_cast<char>(data.size()), static_cast<char>(data.size() >> 8)} + data;
}

ExtendedTimes Parse(const std::string& extra) {
  return ParseExtendedTimestamps(reinterpret_cast<const std::uint8_t*>(extra.data()), extra.size());
}

// The times an extended-timestamp extra field gives: each flag's time where it is, in flag
// order, and none that the field does not hold whole.
struct TimestampCase {
  const char* name;
  std::string extra;
  bool hasWrite, hasAccess, hasCreation;
  std::int64_t write, access, creation;  // where present
};

class ParseExtendedTimestampsTest : public ::testing::TestWithParam<TimestampCase> {};

TEST_P(ParseExtendedTimestampsTest, GivesTheTimesTheFieldHolds) {
  const TimestampCase& c = GetParam();
  const ExtendedTimes t = Parse(c.extra);
  EXPECT_EQ(t.hasWrite, c.hasWrite);
  EXPECT_EQ(t.hasAccess, c.hasAccess);
  EXPECT_EQ(t.hasCreation, c.hasCreation);
  if (c.hasWrite) EXPECT_EQ(t.write, c.write);
  if (c.hasAccess) EXPECT_EQ(t.access, c.access);
  if (c.hasCreation) EXPECT_EQ(t.creation, c.creation);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ParseExtendedTimestampsTest,
    ::testing::Values(
        TimestampCase{"WriteTimeOnlyWithFlagOne", SubField("UT", "\x01" + Le32(1000)), true, false, false, 1000, 0, 0},
        TimestampCase{"AllThreeTimesInFlagOrder", SubField("UT", "\x07" + Le32(1) + Le32(2) + Le32(3)), true, true,
                      true, 1, 2, 3},
        TimestampCase{"AccessTimeFirstWhenWriteIsAbsent", SubField("UT", "\x02" + Le32(77)), false, true, false, 0, 77,
                      0},
        TimestampCase{"SkipsOtherSubFieldsToTheFirstUT",
                      SubField("ux", "\x01\x04\0\0\0\0\x04\0\0\0\0") + SubField("UT", "\x01" + Le32(42)) +
                          SubField("UT", "\x01" + Le32(99)),
                      true, false, false, 42, 0, 0},
        // Flags announce three times, but the field ends after the first and half the second.
        TimestampCase{"TakesOnlyTimesInsideTheField", SubField("UT", "\x07" + Le32(5)) + "\x01\x02", true, false,
                      false, 5, 0, 0},
        TimestampCase{"TooShortForAHeader", "UT\x01", false, false, false, 0, 0, 0},
        TimestampCase{"ExactlyAHeaderAndNothingToRead", std::string("UT\x05\0", 4), false, false, false, 0, 0, 0},
        TimestampCase{"ASubFieldPastTheEnd", SubField("XY", std::string(300, 'U')), false, false, false, 0, 0, 0}),
    [](const ::testing::TestParamInfo<TimestampCase>& info) { return std::string(info.param.name); });

}  // namespace
