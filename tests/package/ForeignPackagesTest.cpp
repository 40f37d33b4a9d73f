// Packages made by other ZIP producers (Python's zipfile, Info-ZIP zip); the fixture set-up
// test writes them and passes their folder as --fixtures=DIR.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/ArchiveReader.h"
#include "archive/EntryMetadata.h"
#include "package/PackageCheck.h"
#include "procedure/ProcedureTexts.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TestFiles.h"

namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::ScratchDirectory;

constexpr std::int32_t kInfoZipMtime = 1622548800;  // stamped by the fixture script

std::wstring Fixture(const wchar_t* name) {
  std::wstring directory = testing_support::CommandLineOption(L"fixtures");
  if (!directory.empty() && directory.back() != L'\\') directory += L'\\';
  return directory + name;
}

TEST(ForeignPackagesTest, PythonZipfileUnixPackagePassesTwice) {
  ScratchDirectory temp;
  MessageRecorder host;
  PreparedPackage package;
  for (int run = 0; run < 2; ++run) {
    ASSERT_TRUE(PrepareUpdatePackage(host, Fixture(L"python-unix.kn"), temp.Path(), package)) << "run " << run;
  }
  EXPECT_THAT(host.messages, IsEmpty());
  EXPECT_EQ(package.deviceType, L"QM 5xx");
  EXPECT_EQ(package.programFile, temp.Path() + L"fw/program.bin");
  EXPECT_NE(GetFileAttributesW(package.programFile.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(GetFileAttributesW(package.dataFile.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST(ForeignPackagesTest, InfoZipPackageWithBootloaderAndExtendedTimes) {
  ScratchDirectory temp;
  MessageRecorder host;
  PreparedPackage package;
  ASSERT_TRUE(PrepareUpdatePackage(host, Fixture(L"infozip.kn"), temp.Path(), package));
  EXPECT_THAT(host.messages, ElementsAre(std::wstring(texts::kBootloaderWarning)));
  EXPECT_TRUE(package.withBootloader);
  EXPECT_EQ(package.bootloaderFile, temp.Path() + L"boot.bin");

  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW(package.programFile.c_str(), GetFileExInfoStandard, &data));
  const std::uint64_t written = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                data.ftLastWriteTime.dwLowDateTime;
  EXPECT_EQ(written, archive::UnixTimeToFileTime(kInfoZipMtime));
}

// Only stored and deflated entries are unpacked: a bzip2 entry is refused and nothing is
// written for it, so its name finds no image, not even one an earlier package left.
TEST(ForeignPackagesTest, ABzip2EntryIsNotUnpacked) {
  ScratchDirectory temp;
  ASSERT_TRUE(testing_support::WriteFileBytes(temp.Path() + L"m.bin", "an earlier package's media"));
  const std::vector<ExtractedEntry> entries = ExtractPackage(Fixture(L"bzip2.kn"), temp.Path());
  ASSERT_EQ(entries.size(), 4u);  // info, p.bin, m.bin (bzip2), d.bin
  for (const ExtractedEntry& entry : entries) {
    const bool bzip2 = entry.index == 2;
    EXPECT_EQ(entry.result, bzip2 ? archive::kArchiveCorrupt : archive::kArchiveOk) << entry.index;
    EXPECT_EQ(entry.createdFile, !bzip2) << entry.index;
  }
  EXPECT_EQ(testing_support::ReadFileBytes(temp.Path() + L"m.bin"), "an earlier package's media");

  MessageRecorder host;
  PreparedPackage package;
  EXPECT_FALSE(PrepareUpdatePackage(host, Fixture(L"bzip2.kn"), temp.Path(), package));
  EXPECT_THAT(host.messages, ElementsAre(std::wstring(texts::kWrongUpdateFile)));
}

}  // namespace
