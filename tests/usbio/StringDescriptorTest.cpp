// String descriptors turned into 8-bit text in place, as the device list reads them.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "usbio/StringDescriptor.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct TextCase {
  const char* name;
  Bytes buffer;
  std::uint32_t byteCount;  // the count the caller passes; may be below the buffer size
  Bytes expected;           // the whole buffer afterwards
};
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class StringDescriptorTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(StringDescriptorTextTest, ConvertsStringDescriptorsInPlace) {
  Bytes buffer = GetParam().buffer;
  StringDescriptorToText(GetParam().byteCount, buffer.data());
  EXPECT_EQ(GetParam().expected, buffer);
}

const TextCase kTextCases[] = {
    {"OneCharacter", {0x04, 0x03, 'A', 0x00}, 4, {'A', 0x00, 'A', 0x00}},
    {"Empty", {0x02, 0x03}, 2, {0x00, 0x03}},
    {"OddLengthTakesTheLastLowByte", {0x05, 0x03, 'A', 0x00, 'B'}, 5, {'A', 'B', 0x00, 0x00, 'B'}},
    {"HighBytesAreDropped",
     {0x08, 0x03, 0xB5, 0x00, 0xAC, 0x20, '1', 0x04},  // U+00B5, U+20AC, U+0431
     8,
     {0xB5, 0xAC, '1', 0x00, 0xAC, 0x20, '1', 0x04}},
    {"LengthPastTheCountLeavesTheBufferUnchanged", {0x06, 0x03, 'A', 0x00, 'B', 0x00}, 4,
     {0x06, 0x03, 'A', 0x00, 'B', 0x00}},
    {"LengthZeroStops", {0x00, 0x03, 'A', 0x00}, 4, {0x00, 0x03, 'A', 0x00}},
    {"CountZeroTouchesNothing", {0x04, 0x03, 'A', 0x00}, 0, {0x04, 0x03, 'A', 0x00}},
    {"SeveralDescriptors",
     {0x04, 0x03, 'A', 0x00, 0x06, 0x03, 'B', 0x00, 'C', 0x00},
     10,
     {'A', 0x00, 'A', 0x00, 'B', 'C', 0x00, 0x00, 'C', 0x00}},
    {"OtherDescriptorTypesAreKept",
     {0x04, 0x01, 'A', 0x00, 0x04, 0x03, 'B', 0x00},
     8,
     {0x04, 0x01, 'A', 0x00, 'B', 0x00, 'B', 0x00}},
    {"StopsAtALaterDescriptorPastTheCount",
     {0x04, 0x03, 'A', 0x00, 0x06, 0x03, 'B', 0x00, 'C', 0x00},
     8,
     {'A', 0x00, 'A', 0x00, 0x06, 0x03, 'B', 0x00, 'C', 0x00}},
    {"StopsAtALaterLengthZero",
     {0x04, 0x03, 'A', 0x00, 0x00, 0x03, 'B', 0x00},
     8,
     {'A', 0x00, 'A', 0x00, 0x00, 0x03, 'B', 0x00}},
};

INSTANTIATE_TEST_SUITE_P(Cases, StringDescriptorTextTest, ::testing::ValuesIn(kTextCases),
                         [](const ::testing::TestParamInfo<TextCase>& info) { return info.param.name; });

// A serial number keeps every UTF-16 unit; anything that is not one whole string descriptor
// gives no text rather than a guess.
TEST(StringDescriptorUnitsTest, TakesTheUnitsOfOneWholeStringDescriptor) {
  const struct {
    const char* name;
    Bytes buffer;
    std::uint32_t byteCount;
    std::wstring text;
  } cases[] = {
      {"Serial", {0x0A, 0x03, 'T', 0, 'W', 0, '-', 0, '1', 0}, 10, L"TW-1"},
      {"BeyondEightBits", {0x06, 0x03, 0xAC, 0x20, 0x31, 0x04}, 6, L"\u20AC\u0431"},
      {"Empty", {0x02, 0x03}, 2, L""},
      {"OddLengthLeavesTheLastByteOut", {0x05, 0x03, 'A', 0x00, 'B'}, 5, L"A"},
      {"OnlyItsOwnLengthCounts", {0x04, 0x03, 'A', 0x00, 'B', 0x00}, 6, L"A"},
      {"LengthPastTheCount", {0x06, 0x03, 'A', 0x00, 'B', 0x00}, 4, L""},
      {"LengthBelowTwo", {0x01, 0x03}, 2, L""},
      {"NotAStringDescriptor", {0x04, 0x01, 'A', 0x00}, 4, L""},
      {"CountZero", {0x04, 0x03, 'A', 0x00}, 0, L""},
  };
  for (const auto& c : cases) EXPECT_EQ(StringDescriptorUnits(c.buffer.data(), c.byteCount), c.text) << c.name;
}

}  // namespace
