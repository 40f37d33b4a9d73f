#include "package/Crc32.h"

#include <gtest/gtest.h>

#include <string>

#include "oracles/Crc32Rule.h"

namespace {

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(BufferCrc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(BufferCrc32("a", 1), 0xE8B7BE43u);
  EXPECT_EQ(BufferCrc32("", 0), 0u);
  EXPECT_EQ(BufferCrc32(nullptr, 5), 0u);
}

// The sums must give what the rule gives bit by bit, for every length and alignment.
TEST(Crc32Test, SumsAgreeWithTheRule) {
  std::string bytes;
  for (int i = 0; i < 100; ++i) bytes.push_back(static_cast<char>(i * 37 + 11));
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  for (std::size_t offset = 0; offset < 8; ++offset) {
    for (std::size_t length = 0; offset + length <= bytes.size(); ++length) {
      ASSERT_EQ(BufferCrc32(data + offset, length), oracles::Crc32Rule(data + offset, length))
          << offset << "+" << length;
    }
  }
}

TEST(Crc32Test, RunningValueContinuesAcrossPieces) {
  const std::string text = "The quick brown fox jumps over the lazy dog";
  const std::uint32_t whole = BufferCrc32(text.data(), text.size());
  EXPECT_EQ(whole, 0x414FA339u);
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    std::uint32_t crc = UpdateCrc32(0xFFFFFFFFu, text.data(), cut);
    crc = UpdateCrc32(crc, text.data() + cut, text.size() - cut);
    ASSERT_EQ(crc ^ 0xFFFFFFFFu, whole) << cut;
  }
}

}  // namespace
