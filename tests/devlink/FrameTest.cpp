#include "devlink/Frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/devlink/FrameBytes.h"

namespace {

struct WireCase {
  const char* name;
  std::uint8_t address;
  Bytes payload;
  Bytes wire;
};

class FrameBuildTest : public ::testing::TestWithParam<WireCase> {};

TEST_P(FrameBuildTest, BytesOnTheWire) { EXPECT_EQ(Framed(GetParam().address, GetParam().payload), GetParam().wire); }

INSTANTIATE_TEST_SUITE_P(
    Requests, FrameBuildTest,
    ::testing::Values(WireCase{"IdentifyQuery", 0x00, {0x41}, {0x00, 0x05, 0x41, 0xBA, 0x00}},
                      WireCase{"StatusQueryAt1", 0x01, {0x03, 0xFF, 0x01, 0x00, 0x00},
                               {0x01, 0x09, 0x03, 0xFF, 0x01, 0x00, 0x00, 0xF3, 0x00}},
                      WireCase{"StatusQueryAt20", 0x20, {0x03, 0xFF, 0x01, 0x00, 0x00},
                               {0x20, 0x09, 0x03, 0xFF, 0x01, 0x00, 0x00, 0xD4, 0x00}},
                      WireCase{"UpdateModeAt1", 0x01, {0x09, 0x01, 0x04}, {0x01, 0x07, 0x09, 0x01, 0x04, 0xEA, 0x00}},
                      WireCase{"UpdateModeAt20", 0x20, {0x09, 0x01, 0x04}, {0x20, 0x07, 0x09, 0x01, 0x04, 0xCB, 0x00}},
                      WireCase{"EmptyPayload", 0x07, {}, {0x07, 0x04, 0xF5, 0x00}}),
    [](const ::testing::TestParamInfo<WireCase>& info) { return std::string(info.param.name); });

TEST(FrameBuildTest, PayloadMayAlreadyLieInPlace) {
  std::uint8_t buffer[16] = {0x09, 0x01, 0x04};
  frame::Build(0x01, buffer, 3, buffer);
  EXPECT_EQ(Bytes(buffer, buffer + 7), (Bytes{0x01, 0x07, 0x09, 0x01, 0x04, 0xEA, 0x00}));
}

// The length byte counts the whole frame: 251 payload bytes are the most it can tell.
TEST(FrameBuildTest, APayloadTooLongForTheLengthByteIsRefused) {
  const Bytes longest(frame::kMaxPayload, 0x11);
  const Bytes framed = Framed(0x01, longest);
  ASSERT_EQ(framed.size(), 255u);
  EXPECT_EQ(framed[1], 255);
  EXPECT_EQ(frame::Sum(framed.data(), framed.size()), 0);
  for (std::size_t n : {frame::kMaxPayload + 1, std::size_t{255}, std::size_t{256}, std::size_t{4096}}) {
    Bytes payload(n, 0x22);
    Bytes out(n + frame::kOverhead, 0xEE);
    EXPECT_EQ(frame::Build(0x01, payload.data(), n, out.data()), 0u) << n;
    EXPECT_EQ(out, Bytes(n + frame::kOverhead, 0xEE)) << "nothing written for " << n;
  }
}

TEST(SegmentCountTest, OneUpTo255ThenOnePer192Begun) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {0, 1}, {15, 1}, {255, 1}, {256, 2}, {384, 2}, {385, 3}, {576, 3}, {577, 4},
      // Near 2^32 the count must not wrap to 0.
      {0xFFFFFFFFu, 22369622u}, {0xFFFFFF41u, 22369621u}, {0xFFFFFF40u, 22369621u}};
  for (const auto& [bytes, segments] : cases) EXPECT_EQ(frame::SegmentCount(bytes), segments) << bytes;
}

struct JoinCase {
  const char* name;
  Bytes received;
  std::uint32_t segments;
  bool joined;
  Bytes payload;
};

class JoinSegmentsTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinSegmentsTest, JoinsOnlyIntactSegmentsWithinTheBuffer) {
  Bytes buffer = GetParam().received;
  buffer.resize(72, 0xEE);
  std::size_t length = 0;
  const bool joined = frame::JoinSegments(buffer.data(), buffer.size(), GetParam().received.size(),
                                          GetParam().segments, 0x01, length);
  ASSERT_EQ(joined, GetParam().joined);
  if (joined) {
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length)), GetParam().payload);
  }
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes WithBadSum(Bytes frame) {
  ++frame[frame.size() - 2];
  return frame;
}

Bytes WithLength(Bytes frame, std::uint8_t length) {
  frame[1] = length;
  return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, JoinSegmentsTest,
    ::testing::Values(
        JoinCase{"OneSegment", Framed(0x01, {0x3E, 1, 2, 3}), 1, true, {0x3E, 1, 2, 3}},
        JoinCase{"TwoSegments", Concat(Framed(0x01, {0x3E, 1}), Framed(0x01, {2, 3})), 2, true, {0x3E, 1, 2, 3}},
        JoinCase{"SecondSegmentWrongAddress", Concat(Framed(0x01, {0x3E}), Framed(0x02, {2})), 2, false, {}},
        JoinCase{"BadSum", WithBadSum(Framed(0x01, {0x3E, 1})), 1, false, {}},
        JoinCase{"WrongAddress", Framed(0x09, {0x3E}), 1, false, {}},
        JoinCase{"LengthBelowFour", Bytes{0x01, 0x02, 0xFD, 0x00}, 1, false, {}},
        JoinCase{"LengthPastTheBytesReceived", WithLength(Framed(0x01, {0x3E, 1, 2}), 40), 1, false, {}},
        JoinCase{"SecondSegmentMissing", Framed(0x01, {0x3E}), 2, false, {}}),
    [](const ::testing::TestParamInfo<JoinCase>& info) { return std::string(info.param.name); });

}  // namespace
