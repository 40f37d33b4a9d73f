// An image file as the worker holds it for the writes, mapped or read whole: the same bytes
// either way, and the file kept from writers and deletion until the image is let go.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "procedure/FirmwareImages.h"
#include "tests/support/TestFiles.h"

namespace {

using Access = FirmwareImage::Access;
using testing_support::PatternBytes;

class FirmwareImageTest : public ::testing::TestWithParam<Access> {
 protected:
  std::wstring Write(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = m_scratch / name;
    EXPECT_TRUE(testing_support::WriteFileBytes(path, bytes));
    return path;
  }
  testing_support::ScratchDirectory m_scratch;
};

TEST_P(FirmwareImageTest, HoldsTheFilesBytesAgainstWritersUntilLetGo) {
  // Past one read chunk of 16 MiB, and not a whole number of pages.
  const std::string bytes = PatternBytes((1u << 24) + 4097, 5);
  const std::wstring path = Write(L"media.bin", bytes);
  {
    FirmwareImage image;
    ASSERT_EQ(image.Open(path, GetParam()), FirmwareImage::Load::kLoaded);
    ASSERT_EQ(image.length(), bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.bytes()), image.length()), bytes);
    const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(DeleteFileW(path.c_str()));
  }
  EXPECT_TRUE(DeleteFileW(path.c_str())) << "still held after the image was let go";
}

TEST_P(FirmwareImageTest, EmptyMissingAndWriterHeldFiles) {
  FirmwareImage empty;
  EXPECT_EQ(empty.Open(Write(L"empty.bin", std::string()), GetParam()), FirmwareImage::Load::kLoaded);
  EXPECT_EQ(empty.length(), 0u);
  EXPECT_NE(empty.bytes(), nullptr);

  FirmwareImage missing;
  EXPECT_EQ(missing.Open(m_scratch / L"missing.bin", GetParam()), FirmwareImage::Load::kUnreadable);

  const std::wstring held = Write(L"held.bin", "abc");
  const HANDLE writer = CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  FirmwareImage image;
  EXPECT_EQ(image.Open(held, GetParam()), FirmwareImage::Load::kUnreadable);
  CloseHandle(writer);
}

INSTANTIATE_TEST_SUITE_P(Accesses, FirmwareImageTest, testing::Values(Access::kMapped, Access::kRead),
                         [](const testing::TestParamInfo<Access>& info) {
                           return std::string(info.param == Access::kMapped ? "Mapped" : "Read");
                         });

}  // namespace
