// An image file as the worker reads it for the writes, mapped or read whole from a handle held
// by the package check: the same bytes either way, each time from the file's start, and the
// file still held once the image is let go.
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
  // Held as the package check holds what it unpacked: readers only.
  HANDLE WriteAndHold(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = m_scratch / name;
    EXPECT_TRUE(testing_support::WriteFileBytes(path, bytes));
    m_held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(m_held, INVALID_HANDLE_VALUE);
    return m_held;
  }
  void TearDown() override {
    if (m_held != INVALID_HANDLE_VALUE) CloseHandle(m_held);
  }
  testing_support::ScratchDirectory m_scratch;
  HANDLE m_held = INVALID_HANDLE_VALUE;
};

TEST_P(FirmwareImageTest, GivesTheHeldFilesBytesEachTimeFromItsStart) {
  // Past one read chunk of 16 MiB, and not a whole number of pages.
  const std::string bytes = PatternBytes((1u << 24) + 4097, 5);
  const HANDLE held = WriteAndHold(L"media.bin", bytes);
  // Another reader left the file pointer elsewhere: one update after another reads one handle.
  LARGE_INTEGER elsewhere = {};
  elsewhere.QuadPart = 1234;
  ASSERT_TRUE(SetFilePointerEx(held, elsewhere, nullptr, FILE_BEGIN));
  for (int update = 0; update < 2; ++update) {
    FirmwareImage image;
    ASSERT_EQ(image.Open(held, GetParam()), FirmwareImage::Load::kLoaded);
    ASSERT_EQ(image.length(), bytes.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.bytes()), image.length()), bytes) << update;
  }
  EXPECT_FALSE(DeleteFileW((m_scratch / L"media.bin").c_str())) << "let go with the image";
}

TEST_P(FirmwareImageTest, EmptyAndUnheldFiles) {
  FirmwareImage empty;
  EXPECT_EQ(empty.Open(WriteAndHold(L"empty.bin", std::string()), GetParam()), FirmwareImage::Load::kLoaded);
  EXPECT_EQ(empty.length(), 0u);
  EXPECT_NE(empty.bytes(), nullptr);

  FirmwareImage none;
  EXPECT_EQ(none.Open(INVALID_HANDLE_VALUE, GetParam()), FirmwareImage::Load::kUnreadable);
}

INSTANTIATE_TEST_SUITE_P(Accesses, FirmwareImageTest, testing::Values(Access::kMapped, Access::kRead),
                         [](const testing::TestParamInfo<Access>& info) {
                           return std::string(info.param == Access::kMapped ? "Mapped" : "Read");
                         });

}  // namespace
