#include "archive/ArchiveReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/EntryMetadata.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBytes.h"
#include "tools/knpack/PackageWriter.h"

namespace {

using archive::ArchiveEntry;
using archive::ArchiveReader;
using knpack::ZipEntrySpec;
using testing_support::DirectoryExists;
using testing_support::FileAttributes;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::ScratchDirectory;
using testing_support::WriteFileBytes;

constexpr std::uint32_t kJan2025 = 0x5A210000;  // 2025-01-01 00:00:00 as a DOS date and time
constexpr std::uint64_t kJan2025Utc = 133801632000000000ULL;
constexpr std::uint16_t kFatHost = 0x0014, kUnixHost = 0x031E;

std::uint64_t Ticks(const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// Most entries here need some data, whatever it is.
ZipEntrySpec Entry(const std::string& name, const std::string& data = "data") { return knpack::ZipEntry(name, data); }

class ArchiveReaderTest : public ::testing::Test {
 protected:
  std::wstring Write(const std::wstring& name, const std::vector<ZipEntrySpec>& entries) {
    const std::wstring path = m_scratch / name;
    std::string error;
    EXPECT_TRUE(knpack::WriteZipArchive(path, entries, error)) << error;
    return path;
  }

  // Rewrites the archive's bytes through edit.
  template <typename Edit>
  void Patch(const std::wstring& path, Edit edit) {
    std::string bytes = ReadFileBytes(path);
    edit(bytes);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
  }

  std::wstring Root() const { return m_scratch / L"root\\"; }

  ScratchDirectory m_scratch;
};

TEST_F(ArchiveReaderTest, IndexMinusOneDescribesTheArchive) {
  const auto path = Write(L"five.zip", {Entry("a"), Entry("b"), Entry("c"), Entry("d"), Entry("e")});
  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  ArchiveEntry entry;
  ASSERT_EQ(reader.GetEntry(-1, entry), archive::kArchiveOk);
  EXPECT_EQ(entry.index, 5);
  EXPECT_STREQ(entry.name, L"");
  EXPECT_EQ(entry.uncompressedSize, 0u);
  EXPECT_EQ(reader.GetEntry(5, entry), archive::kArchiveArgs);
  EXPECT_EQ(reader.GetEntry(-2, entry), archive::kArchiveArgs);
  EXPECT_EQ(reader.ExtractEntry(5, L"x"), archive::kArchiveArgs);
}

TEST_F(ArchiveReaderTest, EntriesCanBeDescribedInAnyOrder) {
  const auto path = Write(L"five.zip", {Entry("a"), Entry("b"), Entry("c"), Entry("d"), Entry("e")});
  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  for (int index : {3, 3, 1, 4, 0, 2}) {
    ArchiveEntry entry;
    ASSERT_EQ(reader.GetEntry(index, entry), archive::kArchiveOk);
    EXPECT_EQ(entry.index, index);
    EXPECT_EQ(std::wstring(entry.name), std::wstring(1, static_cast<wchar_t>(L'a' + index)));
  }
}

TEST_F(ArchiveReaderTest, UnreadableArchivesLeaveTheReaderClosed) {
  ASSERT_TRUE(WriteFileBytes(m_scratch / L"text.kn", "this is not an archive"));
  for (const std::wstring& path : {m_scratch / L"missing.kn", m_scratch / L"text.kn", m_scratch.Path()}) {
    ArchiveReader reader;
    EXPECT_EQ(reader.Open(path), archive::kArchiveNoFile);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.SetRootDirectory(Root()), 0u);
    ArchiveEntry entry;
    EXPECT_EQ(reader.GetEntry(-1, entry), archive::kArchiveArgs);
    EXPECT_EQ(reader.GetEntry(0, entry), archive::kArchiveArgs);
    EXPECT_EQ(reader.ExtractEntry(0, L"info"), archive::kArchiveArgs);
    EXPECT_EQ(reader.Close(), 0u);
  }
}

TEST_F(ArchiveReaderTest, AnEntryCountTheFileCannotHoldIsRefused) {
  const auto path = Write(L"small.zip", {Entry("a")});
  Patch(path, [](std::string& zip) {
    const std::size_t end = zip_bytes::EndRecord(zip);
    zip_bytes::Put16(zip, end + zip_bytes::kEndCountOnDisk, 60000);
    zip_bytes::Put16(zip, end + zip_bytes::kEndCountTotal, 60000);
  });
  ArchiveReader reader;
  EXPECT_EQ(reader.Open(path), archive::kArchiveNoFile);
}

TEST_F(ArchiveReaderTest, ExtractsFilesAndDirectoriesUnderTheRoot) {
  const std::string big(100000, 'x');  // several passes through the data buffer
  ZipEntrySpec directory = Entry("empty/", "");
  directory.externalAttributes = archive::kAttrDirectory;
  const auto path = Write(L"pkg.zip", {Entry("info", "manifest"), Entry("fw/sub/prog.bin", big), directory});

  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  std::wstring root = Root();
  root.pop_back();  // the reader appends the separator itself
  reader.SetRootDirectory(root);
  for (int index = 0; index < 3; ++index) {
    ArchiveEntry entry;
    ASSERT_EQ(reader.GetEntry(index, entry), archive::kArchiveOk);
    EXPECT_EQ(reader.ExtractEntry(index, entry.name), archive::kArchiveOk) << index;
  }
  EXPECT_EQ(ReadFileBytes(Root() + L"info"), "manifest");
  EXPECT_EQ(ReadFileBytes(Root() + L"fw\\sub\\prog.bin"), big);
  EXPECT_TRUE(DirectoryExists(Root() + L"empty"));
  EXPECT_FALSE(FileExists(Root() + L"empty"));
}

TEST_F(ArchiveReaderTest, NonAsciiNamesAreReadAsUtf8) {
  const auto path = Write(L"utf8.zip", {Entry("pr\xC3\xBC" "f/\xE2\x82\xAC.bin", "euro")});
  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  reader.SetRootDirectory(Root());
  ArchiveEntry entry;
  ASSERT_EQ(reader.GetEntry(0, entry), archive::kArchiveOk);
  EXPECT_STREQ(entry.name, L"pr\u00FCf/\u20AC.bin");
  EXPECT_EQ(reader.ExtractEntry(0, entry.name), archive::kArchiveOk);
  EXPECT_EQ(ReadFileBytes(Root() + L"pr\u00FCf\\\u20AC.bin"), "euro");
}

struct AttributeCase {
  const char* what;
  std::uint16_t versionMadeBy;
  std::uint32_t external;
  bool readOnly;
};

class ArchiveAttributeTest : public ArchiveReaderTest, public ::testing::WithParamInterface<AttributeCase> {};

TEST_P(ArchiveAttributeTest, FileGetsTheEntrysAttributesAndCanBeReplaced) {
  ZipEntrySpec old = Entry("x.bin", "old");
  old.versionMadeBy = GetParam().versionMadeBy;
  old.externalAttributes = GetParam().external;
  ZipEntrySpec fresh = old;
  fresh.data = "new";
  const auto first = Write(L"first.zip", {old});
  const auto second = Write(L"second.zip", {fresh});

  for (const auto& [path, content] : {std::pair{first, "old"}, std::pair{second, "new"}}) {
    ArchiveReader reader;
    ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
    reader.SetRootDirectory(Root());
    ArchiveEntry entry;
    ASSERT_EQ(reader.GetEntry(0, entry), archive::kArchiveOk);
    EXPECT_EQ(reader.ExtractEntry(0, entry.name), archive::kArchiveOk) << "a file left by an earlier package";
    EXPECT_EQ(ReadFileBytes(Root() + L"x.bin"), content);
  }
  const DWORD attributes = FileAttributes(Root() + L"x.bin");
  EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, GetParam().readOnly) << GetParam().what;
  EXPECT_NE(attributes & FILE_ATTRIBUTE_ARCHIVE, 0u) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Hosts, ArchiveAttributeTest,
                         ::testing::Values(AttributeCase{"FAT read-only", kFatHost, 0x21, true},
                                           AttributeCase{"FAT archive", kFatHost, 0x20, false},
                                           AttributeCase{"Unix owner may write", kUnixHost, 0x81A40000, false},
                                           AttributeCase{"Unix owner may not write", kUnixHost, 0x81240000, true}));

TEST_F(ArchiveReaderTest, DosTimeIsLocalAndUtTimeReplacesOnlyTheWriteTime) {
  // Run with TZ set; the offset of 2025-01-01 in that zone is given to the test.
  const std::wstring offsetOption = testing_support::CommandLineOption(L"utc-offset-minutes");
  const std::int64_t offsetMinutes = offsetOption.empty() ? 0 : std::stoll(offsetOption);
  const std::uint64_t dosUtc = kJan2025Utc + static_cast<std::uint64_t>(offsetMinutes * 60 * 10000000LL);
  const std::int32_t utWrite = 1600000000;  // 2020-09-13 12:26:40 UTC

  ZipEntrySpec plain = Entry("plain.bin");
  plain.dosDateTime = kJan2025;
  ZipEntrySpec stamped = plain;
  stamped.name = "stamped.bin";
  stamped.localExtra = knpack::ExtendedTimestampField(utWrite);
  const auto path = Write(L"times.zip", {plain, stamped});

  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  reader.SetRootDirectory(Root());
  ArchiveEntry entry;
  ASSERT_EQ(reader.GetEntry(0, entry), archive::kArchiveOk);
  EXPECT_EQ(Ticks(entry.writeTime), dosUtc);
  EXPECT_EQ(Ticks(entry.accessTime), dosUtc);
  EXPECT_EQ(Ticks(entry.creationTime), dosUtc);

  ASSERT_EQ(reader.GetEntry(1, entry), archive::kArchiveOk);
  EXPECT_EQ(Ticks(entry.writeTime), archive::UnixTimeToFileTime(utWrite));
  EXPECT_EQ(Ticks(entry.accessTime), dosUtc);
  EXPECT_EQ(Ticks(entry.creationTime), dosUtc);

  ASSERT_EQ(reader.ExtractEntry(1, entry.name), archive::kArchiveOk);
  WIN32_FILE_ATTRIBUTE_DATA data;
  ASSERT_TRUE(GetFileAttributesExW((Root() + L"stamped.bin").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(Ticks(data.ftLastWriteTime), archive::UnixTimeToFileTime(utWrite));
}

struct RefusedName {
  std::string stored;
  DWORD describeResult;  // what GetEntry says about it
};

class RefusedNameTest : public ArchiveReaderTest, public ::testing::WithParamInterface<RefusedName> {};

TEST_P(RefusedNameTest, NothingIsWrittenOutsideTheRoot) {
  ZipEntrySpec hostile = Entry(GetParam().stored, "payload");
  ZipEntrySpec directory = hostile;
  directory.name += "/";
  directory.externalAttributes = archive::kAttrDirectory;
  const auto path = Write(L"hostile.zip", {hostile, directory});
  CreateDirectoryW(Root().c_str(), nullptr);

  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  reader.SetRootDirectory(Root());
  for (int index = 0; index < 2; ++index) {
    ArchiveEntry entry;
    EXPECT_EQ(reader.GetEntry(index, entry), GetParam().describeResult);
    EXPECT_NE(reader.ExtractEntry(index, entry.name), archive::kArchiveOk);
  }
  reader.Close();

  // Only the archive and the empty root are there: nothing above, nothing inside.
  for (const std::wstring& directoryPath : {m_scratch.Path(), Root()}) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((directoryPath + L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
      const std::wstring name = found.cFileName;
      EXPECT_TRUE(name == L"." || name == L".." || name == L"hostile.zip" || name == L"root") << "found " << testing::PrintToString(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, RefusedNameTest,
    ::testing::Values(RefusedName{"../evil.bin", 0}, RefusedName{"a/../../evil.bin", 0}, RefusedName{"CON", 0},
                      RefusedName{"fw/aux.txt", 0}, RefusedName{"x/y:stream", 0}, RefusedName{"fw/.../x", 0},
                      RefusedName{std::string(250, 'n'), 0},  // fits the entry, not root + name
                      RefusedName{std::string(261, 'n'), archive::kArchiveNoFile}));  // more than an entry holds

TEST_F(ArchiveReaderTest, DamagedEntriesGiveTheirResultCodes) {
  const std::string text(5000, 'z');
  const auto path = Write(L"damaged.zip", {Entry("crc.bin", text), Entry("method.bin", text),
                                           Entry("locked.bin", text), Entry("deflate.bin", text)});
  Patch(path, [](std::string& zip) {
    using namespace zip_bytes;
    Put32(zip, LocalHeader(zip, 0) + kLocalCrc, 0x12345678);  // wrong CRC in both records
    Put32(zip, CentralRecord(zip, 0) + kCentralCrc, 0x12345678);
    Put16(zip, LocalHeader(zip, 1) + kLocalMethod, 0);  // local header says stored, central deflated
    Put16(zip, LocalHeader(zip, 2) + kLocalFlags, 1);   // encrypted
    Put16(zip, CentralRecord(zip, 2) + kCentralFlags, 1);
    const std::size_t data = LocalHeader(zip, 3) + 30 + std::string("deflate.bin").size();
    for (std::size_t i = 0; i < 8; ++i) zip[data + i] = '\xFF';  // an invalid deflate block
  });

  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  reader.SetRootDirectory(Root());
  const std::vector<std::pair<const wchar_t*, DWORD>> expected = {{L"crc.bin", archive::kArchiveOk},
                                                                  {L"method.bin", archive::kArchiveCorrupt},
                                                                  {L"locked.bin", archive::kArchivePassword},
                                                                  {L"deflate.bin", archive::kArchiveFlate}};
  for (int index = 0; index < 4; ++index) {
    EXPECT_EQ(reader.ExtractEntry(index, expected[index].first), expected[index].second) << index;
  }
  EXPECT_EQ(ReadFileBytes(Root() + L"crc.bin"), text) << "the manifest, not the archive, judges the data";
}

TEST_F(ArchiveReaderTest, StoredDataEndingEarlyIsAReadFailure) {
  ZipEntrySpec stored = Entry("stored.bin", std::string(3000, 's'));
  stored.deflate = false;
  const auto path = Write(L"stored.zip", {stored});
  Patch(path, [](std::string& zip) {  // both records claim 1000 bytes of data for 3000 bytes
    using namespace zip_bytes;
    Put32(zip, LocalHeader(zip, 0) + 18, 1000);
    Put32(zip, CentralRecord(zip, 0) + 20, 1000);
  });
  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  reader.SetRootDirectory(Root());
  EXPECT_EQ(reader.ExtractEntry(0, L"stored.bin"), archive::kArchiveFlate);
}

// Deflated data that gives more than the entry declares is not the entry it claims to be: the
// extraction fails, and nothing past the declared size is written. (A package's declared sizes
// are what the updater checks the free disk space against.)
TEST_F(ArchiveReaderTest, DeflatedDataBeyondTheDeclaredSizeIsAFailure) {
  const std::string text(300000, 'z');
  const auto path = Write(L"grows.zip", {Entry("grows.bin", text), Entry("honest.bin", text)});
  Patch(path, [](std::string& zip) {  // both records of the first entry claim 1000 bytes
    using namespace zip_bytes;
    Put32(zip, LocalHeader(zip, 0) + 22, 1000);
    Put32(zip, CentralRecord(zip, 0) + 24, 1000);
  });
  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  reader.SetRootDirectory(Root());
  EXPECT_EQ(reader.ExtractEntry(0, L"grows.bin"), archive::kArchiveFlate);
  EXPECT_LE(ReadFileBytes(Root() + L"grows.bin").size(), 1000u);
  EXPECT_EQ(reader.ExtractEntry(1, L"honest.bin"), archive::kArchiveOk);
  EXPECT_EQ(ReadFileBytes(Root() + L"honest.bin"), text);
}

TEST_F(ArchiveReaderTest, UnreadableCentralRecordEndsTheWalkAtOnce) {
  const auto path = Write(L"broken.zip", {Entry("a"), Entry("b"), Entry("c"), Entry("d")});
  Patch(path, [](std::string& zip) { zip[zip_bytes::CentralRecord(zip, 2)] = 'X'; });
  ArchiveReader reader;
  ASSERT_EQ(reader.Open(path), archive::kArchiveOk);
  ArchiveEntry entry;
  EXPECT_EQ(reader.GetEntry(-1, entry), archive::kArchiveOk);
  EXPECT_EQ(entry.index, 4);
  EXPECT_EQ(reader.GetEntry(2, entry), archive::kArchiveCorrupt);
  EXPECT_EQ(reader.GetEntry(3, entry), archive::kArchiveCorrupt);
  EXPECT_EQ(reader.ExtractEntry(3, L"d"), archive::kArchiveCorrupt);
  ASSERT_EQ(reader.GetEntry(1, entry), archive::kArchiveOk) << "entries before the damage stay readable";
  EXPECT_STREQ(entry.name, L"b");
}

TEST(EnsureDirectoryTest, CreatesTheRootAndEveryParent) {
  ScratchDirectory scratch;
  const std::wstring root = scratch / L"new-root\\";
  archive::EnsureDirectory(root.c_str(), L"a/b\\c");
  EXPECT_TRUE(DirectoryExists(root + L"a\\b\\c"));
  archive::EnsureDirectory(nullptr, scratch / L"plain");
  EXPECT_TRUE(DirectoryExists(scratch / L"plain"));
}

}  // namespace
