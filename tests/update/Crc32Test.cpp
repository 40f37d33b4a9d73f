#include "update/Crc32.h"

#include <gtest/gtest.h>

#include <string>

#include "update/UpdateManifest.h"

namespace {

class Crc32Test : public ::testing::Test {
 protected:
  void SetUp() override { BuildCrc32Table(m_table); }
  Crc32Table m_table;
};

TEST_F(Crc32Test, TableIsThatOfTheReflectedPolynomial) {
  EXPECT_EQ(m_table.entries[0], 0u);
  EXPECT_EQ(m_table.entries[1], 0x77073096u);
  EXPECT_EQ(m_table.entries[128], 0xEDB88320u);
  EXPECT_EQ(m_table.entries[255], 0x2D02EF8Du);
}

TEST_F(Crc32Test, KnownValues) {
  EXPECT_EQ(BufferCrc32(m_table, "123456789", 9), 0xCBF43926u);
  EXPECT_EQ(BufferCrc32(m_table, "a", 1), 0xE8B7BE43u);
  EXPECT_EQ(BufferCrc32(m_table, "", 0), 0u);
  EXPECT_EQ(BufferCrc32(m_table, nullptr, 5), 0u);
}

// The sums must give what the rule's byte table gives, for every length and alignment.
TEST_F(Crc32Test, SumsAgreeWithTheByteTable) {
  std::string bytes;
  for (int i = 0; i < 100; ++i) bytes.push_back(static_cast<char>(i * 37 + 11));
  for (std::size_t offset = 0; offset < 8; ++offset) {
    for (std::size_t length = 0; offset + length <= bytes.size(); ++length) {
      std::uint32_t expected = 0xFFFFFFFFu;
      for (std::size_t i = offset; i < offset + length; ++i) {
        expected = (expected >> 8) ^ m_table.entries[(expected ^ static_cast<unsigned char>(bytes[i])) & 0xFF];
      }
      expected = length == 0 ? 0 : expected ^ 0xFFFFFFFFu;
      ASSERT_EQ(BufferCrc32(m_table, bytes.data() + offset, length), expected) << offset << "+" << length;
    }
  }
}

TEST_F(Crc32Test, RunningValueContinuesAcrossPieces) {
  const std::string text = "The quick brown fox jumps over the lazy dog";
  const std::uint32_t whole = BufferCrc32(m_table, text.data(), text.size());
  EXPECT_EQ(whole, 0x414FA339u);
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    std::uint32_t crc = UpdateCrc32(m_table, 0xFFFFFFFFu, text.data(), cut);
    crc = UpdateCrc32(m_table, crc, text.data() + cut, text.size() - cut);
    ASSERT_EQ(crc ^ 0xFFFFFFFFu, whole) << cut;
  }
}

}  // namespace
