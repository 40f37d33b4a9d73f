#include "package/PackageCheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "package/Crc32.h"
#include "package/FileCrc32.h"
#include "package/UpdateManifest.h"
#include "procedure/ProcedureTexts.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TestFiles.h"
#include "tests/support/ZipBytes.h"
#include "tools/knpack/PackageWriter.h"

namespace {

using knpack::ZipEntrySpec;
using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::ScratchDirectory;
using testing_support::WriteFileBytes;

const std::wstring kBootloaderWarning = texts::kBootloaderWarning;
const std::wstring kWrong = texts::kWrongUpdateFile;
const std::wstring kCorrupted = texts::kFileCorrupted;

std::string Check(const std::string& data) {
  return FormatCheckValue(BufferCrc32(data.data(), data.size()));
}

// The parts of a package; the manifest text is made from them unless a case rewrites it.
struct PackageParts {
  std::string deviceType = "TW 3xx";
  std::string program = "PROGRAM IMAGE", media = "MEDIA IMAGE", data = "DATA IMAGE", boot = "BOOT IMAGE";
  bool withBootloader = false;

  std::string Manifest() const {
    ManifestContent content;
    content.deviceType = deviceType;
    content.programName = "p.bin";
    content.mediaName = "m.bin";
    content.dataName = "d.bin";
    content.bootloaderName = "b.bin";
      content.programCrc = BufferCrc32(program.data(), program.size());
    content.mediaCrc = BufferCrc32(media.data(), media.size());
    content.dataCrc = BufferCrc32(data.data(), data.size());
    content.bootloaderCrc = BufferCrc32(boot.data(), boot.size());
    content.withBootloader = withBootloader;
    return ComposeUpdateManifest(content);
  }
};

class PrepareUpdatePackageTest : public ::testing::Test {
 protected:
  std::wstring TempDir() const { return m_scratch / L"temp\\"; }

  void SetUp() override { CreateDirectoryW(TempDir().c_str(), nullptr); }

  std::wstring WritePackage(const std::string& manifest, const PackageParts& parts, std::uint32_t attributes = 0x20) {
    std::vector<ZipEntrySpec> entries = {knpack::ZipEntry("info", manifest), knpack::ZipEntry("p.bin", parts.program),
                                         knpack::ZipEntry("m.bin", parts.media), knpack::ZipEntry("d.bin", parts.data),
                                         knpack::ZipEntry("b.bin", parts.boot)};
    for (ZipEntrySpec& entry : entries) entry.externalAttributes = attributes;
    return WriteEntries(entries);
  }

  std::wstring WriteEntries(const std::vector<ZipEntrySpec>& entries) {
    const std::wstring path = m_scratch / (L"package" + std::to_wstring(m_packages++) + L".kn");
    std::string error;
    EXPECT_TRUE(knpack::WriteZipArchive(path, entries, error)) << error;
    return path;
  }

  bool Prepare(const std::wstring& package) {
    m_host.messages.clear();
    return PrepareUpdatePackage(m_host, package, TempDir(), m_result);
  }

  ScratchDirectory m_scratch;
  MessageRecorder m_host;
  PreparedPackage m_result;
  int m_packages = 0;
};

TEST_F(PrepareUpdatePackageTest, AcceptsAGoodPackageAndHandsOnItsImages) {
  ASSERT_TRUE(Prepare(WritePackage(PackageParts().Manifest(), PackageParts())));
  EXPECT_THAT(m_host.messages, IsEmpty());
  EXPECT_EQ(m_result.deviceType, L"TW 3xx");
  EXPECT_EQ(m_result.programFile, TempDir() + L"p.bin");
  EXPECT_EQ(m_result.mediaFile, TempDir() + L"m.bin");
  EXPECT_EQ(m_result.dataFile, TempDir() + L"d.bin");
  EXPECT_EQ(m_result.bootloaderFile, L"");
  EXPECT_FALSE(m_result.withBootloader);
  EXPECT_EQ(ReadFileBytes(m_result.programFile), "PROGRAM IMAGE");
}

// Every file the check unpacks, named by the manifest or not, is held from its writing until
// the checked package goes: readers are welcome, nobody may write, replace, rename or remove one.
// A refused package holds nothing.
TEST_F(PrepareUpdatePackageTest, EveryUnpackedFileIsHeldWhileThePackageLives) {
  const PackageParts parts;
  ASSERT_TRUE(Prepare(WritePackage(parts.Manifest(), parts)));
  const struct {
    const wchar_t* name;
    std::string bytes;
  } files[] = {{L"info", parts.Manifest()}, {L"p.bin", parts.program}, {L"m.bin", parts.media},
               {L"d.bin", parts.data}, {L"b.bin", parts.boot}};
  for (const auto& file : files) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(file.name)));
    const std::wstring path = TempDir() + file.name;
    EXPECT_EQ(ReadFileBytes(path), file.bytes);
    EXPECT_FALSE(WriteFileBytes(path, "changed"));
    const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(MoveFileW(path.c_str(), (path + L".old").c_str()));
    EXPECT_FALSE(DeleteFileW(path.c_str()));
  }
  m_result = PreparedPackage();
  for (const auto& file : files) EXPECT_TRUE(DeleteFileW((TempDir() + file.name).c_str())) << "let go with the package";

  PackageParts wrong = parts;
  wrong.program = "ANOTHER PROGRAM";
  EXPECT_FALSE(Prepare(WritePackage(wrong.Manifest() + "not the marker\n", wrong)));
  EXPECT_TRUE(DeleteFileW((TempDir() + L"p.bin").c_str())) << "a refused package holds nothing";
}

TEST_F(PrepareUpdatePackageTest, BootloaderSectionWarnsAndGoesOn) {
  PackageParts parts;
  parts.withBootloader = true;
  ASSERT_TRUE(Prepare(WritePackage(parts.Manifest(), parts)));
  EXPECT_THAT(m_host.messages, ElementsAre(kBootloaderWarning));
  EXPECT_TRUE(m_result.withBootloader);
  EXPECT_EQ(m_result.bootloaderFile, TempDir() + L"b.bin");
}

TEST_F(PrepareUpdatePackageTest, NoPackageChosen) {
  EXPECT_FALSE(Prepare(L""));
  EXPECT_THAT(m_host.messages, ElementsAre(std::wstring(texts::kNoUpdateFile)));
}

struct ManifestCase {
  const char* name;
  std::function<std::string(const PackageParts&)> manifest;  // from the parts' own manifest
  std::function<void(PackageParts&)> parts;                  // changes to the images, if any
  bool accepted;
  std::vector<std::wstring> messages;
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string StripFinalLineEnd(std::string text) { return text.substr(0, text.size() - 2); }

void NoChange(PackageParts&) {}

class ManifestCaseTest : public PrepareUpdatePackageTest, public ::testing::WithParamInterface<ManifestCase> {};

TEST_P(ManifestCaseTest, ShowsTheExpectedMessages) {
  PackageParts parts;
  GetParam().parts(parts);
  EXPECT_EQ(Prepare(WritePackage(GetParam().manifest(parts), parts)), GetParam().accepted);
  EXPECT_EQ(m_host.messages, GetParam().messages);
}

INSTANTIATE_TEST_SUITE_P(
    Manifests, ManifestCaseTest,
    ::testing::Values(
        ManifestCase{"EightLinesWithFinalLineFeed", [](const PackageParts& p) { return p.Manifest(); }, NoChange, true,
                     {}},
        ManifestCase{"EightLinesWithoutFinalLineFeed",
                     [](const PackageParts& p) { return StripFinalLineEnd(p.Manifest()); }, NoChange, true, {}},
        ManifestCase{"LineFeedsOnly",
                     [](const PackageParts& p) {
                       std::string text = p.Manifest();
                       for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
                       return text;
                     },
                     NoChange, true, {}},
        ManifestCase{"EmptyLine9", [](const PackageParts& p) { return p.Manifest() + "\r\n"; }, NoChange, false,
                     {kWrong}},
        ManifestCase{"LowerCaseMarker",
                     [](const PackageParts& p) { return p.Manifest() + "update_bootloader\r\nb.bin\r\n" + Check(p.boot) + "\r\n"; },
                     NoChange, false, {kWrong}},
        ManifestCase{"TrailingSpaceInAName",
                     [](const PackageParts& p) { return Replace(p.Manifest(), "m.bin\r\n", "m.bin \r\n"); }, NoChange,
                     false, {kWrong}},
        ManifestCase{"MissingLine10", [](const PackageParts& p) { return p.Manifest() + "UPDATE_BOOTLOADER\r\n"; },
                     NoChange, false, {kBootloaderWarning, kWrong}},
        ManifestCase{"LeadingZeroInACheckValue",
                     [](const PackageParts& p) { return Replace(p.Manifest(), Check(p.data), "0" + Check(p.data)); },
                     NoChange, false, {kCorrupted}},
        ManifestCase{"EmptyImageChecksAsZero", [](const PackageParts& p) { return p.Manifest(); },
                     [](PackageParts& p) { p.media = ""; }, true, {}},
        ManifestCase{"PlainCrcOfLine1IsNotTheCheckValue",
                     [](const PackageParts& p) { return Replace(p.Manifest(), "abc\r\n367556721", "abc\r\n" + Check("abc")); },
                     [](PackageParts& p) { p.deviceType = "abc"; }, false, {kCorrupted}},
        ManifestCase{"Line1RuleAccepted", [](const PackageParts& p) { return p.Manifest(); },
                     [](PackageParts& p) { p.deviceType = "abc"; }, true, {}},
        ManifestCase{"ImageNamedOutsideTheTemporaryDirectory",
                     [](const PackageParts& p) { return Replace(p.Manifest(), "p.bin\r\n", "..\\victim.bin\r\n"); },
                     NoChange, false, {kWrong}},
        ManifestCase{"ImageNamedByAnAbsolutePath",
                     [](const PackageParts& p) { return Replace(p.Manifest(), "p.bin\r\n", "C:\\windows\\win.ini\r\n"); },
                     NoChange, false, {kWrong}},
        ManifestCase{"CtrlZEndsTheTextFile", [](const PackageParts& p) { return p.Manifest() + "\x1A" + "junk\r\n"; },
                     NoChange, true, {}},
        ManifestCase{"OverlongDeviceType",
                     [](const PackageParts& p) { return std::string(5000, 'T') + "\r\n" + p.Manifest(); }, NoChange,
                     false, {kWrong}}),
    [](const ::testing::TestParamInfo<ManifestCase>& info) { return std::string(info.param.name); });

TEST_F(PrepareUpdatePackageTest, MismatchDeletesTheManifestAndEveryImage) {
  PackageParts parts;
  parts.withBootloader = true;
  const std::string manifest = Replace(parts.Manifest(), Check(parts.data), Check("other data"));
  ASSERT_FALSE(Prepare(WritePackage(manifest, parts, 0x21)));  // read-only entries go too
  EXPECT_THAT(m_host.messages, ElementsAre(kBootloaderWarning, kCorrupted));
  for (const wchar_t* name : {L"info", L"p.bin", L"m.bin", L"d.bin", L"b.bin"}) {
    EXPECT_FALSE(FileExists(TempDir() + name)) << testing::PrintToString(std::wstring(name));
  }
}

TEST_F(PrepareUpdatePackageTest, ANameOutsideTheTemporaryDirectoryIsNeverReadOrDeleted) {
  // A file beside the temporary directory, named by the manifest with a check value that
  // would not match: it must not be deleted as a "corrupted" image.
  ASSERT_TRUE(WriteFileBytes(m_scratch / L"victim.bin", "keep me"));
  PackageParts parts;
  std::string manifest = Replace(parts.Manifest(), "d.bin\r\n", "..\\victim.bin\r\n");
  EXPECT_FALSE(Prepare(WritePackage(manifest, parts)));
  EXPECT_THAT(m_host.messages, ElementsAre(kWrong));
  EXPECT_EQ(ReadFileBytes(m_scratch / L"victim.bin"), "keep me");
}

TEST_F(PrepareUpdatePackageTest, AnEarlierPackagesFilesAreNeverTakenForThisOne) {
  ASSERT_TRUE(Prepare(WritePackage(PackageParts().Manifest(), PackageParts())));
  ASSERT_TRUE(WriteFileBytes(m_scratch / L"not-a-zip.kn", "plain text"));
  const std::vector<std::wstring> unreadable = {
      m_scratch / L"not-a-zip.kn", m_scratch / L"missing.kn",
      WriteEntries({knpack::ZipEntry("p.bin", "PROGRAM IMAGE"), knpack::ZipEntry("m.bin", "MEDIA IMAGE"), knpack::ZipEntry("d.bin", "DATA IMAGE")})};
  for (const std::wstring& package : unreadable) {
    EXPECT_FALSE(Prepare(package)) << testing::PrintToString(package);
    EXPECT_THAT(m_host.messages, ElementsAre(kWrong));
  }
}

// The temporary folder is shared. A manifest that names another program's file there as an
// image, with a check value that does not match, must neither take it nor delete it.
TEST_F(PrepareUpdatePackageTest, AFileThePackageDidNotWriteIsNeitherTakenNorDeleted) {
  const std::wstring foreign = TempDir() + L"someone-elses.dat";
  ASSERT_TRUE(WriteFileBytes(foreign, "not ours"));
  ASSERT_TRUE(SetFileAttributesW(foreign.c_str(), FILE_ATTRIBUTE_READONLY));
  PackageParts parts;
  const std::string manifest = Replace(parts.Manifest(), "d.bin\r\n" + Check(parts.data),
                                       "someone-elses.dat\r\n" + Check("something else"));
  EXPECT_FALSE(Prepare(WritePackage(manifest, parts)));
  EXPECT_THAT(m_host.messages, ElementsAre(kWrong));
  EXPECT_EQ(ReadFileBytes(foreign), "not ours");
  SetFileAttributesW(foreign.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A package that holds only a manifest finds the images an earlier package left in the same
// folder, with matching check values: they are not this package's.
TEST_F(PrepareUpdatePackageTest, EveryImageComesFromThisPackage) {
  const PackageParts parts;
  ASSERT_TRUE(Prepare(WritePackage(parts.Manifest(), parts)));
  EXPECT_FALSE(Prepare(WriteEntries({knpack::ZipEntry("info", parts.Manifest())})));
  EXPECT_THAT(m_host.messages, ElementsAre(kWrong));
  // The same file under another spelling is still this package's own.
  const std::string manifest = Replace(parts.Manifest(), "p.bin\r\n", "./P.BIN\r\n");
  EXPECT_TRUE(Prepare(WritePackage(manifest, parts)));
  EXPECT_THAT(m_host.messages, IsEmpty());
}

// An earlier manifest that cannot be removed (another program holds it open) must not stand in
// for a package that brings none.
TEST_F(PrepareUpdatePackageTest, AManifestThisPackageDidNotWriteIsNeverRead) {
  const PackageParts parts;
  ASSERT_TRUE(Prepare(WritePackage(parts.Manifest(), parts)));
  HANDLE held = CreateFileW((TempDir() + L"info").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(Prepare(WriteEntries({knpack::ZipEntry("p.bin", parts.program), knpack::ZipEntry("m.bin", parts.media),
                                     knpack::ZipEntry("d.bin", parts.data)})));
  EXPECT_THAT(m_host.messages, ElementsAre(kWrong));
  CloseHandle(held);
}

TEST_F(PrepareUpdatePackageTest, ReadOnlyEntriesPassTwiceInARow) {
  const std::wstring package = WritePackage(PackageParts().Manifest(), PackageParts(), 0x21);
  ASSERT_TRUE(Prepare(package));
  EXPECT_NE(GetFileAttributesW((TempDir() + L"p.bin").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(Prepare(package));
  EXPECT_THAT(m_host.messages, IsEmpty());
}

TEST_F(PrepareUpdatePackageTest, ImagesInASubdirectory) {
  PackageParts parts;
  const std::string manifest = Replace(parts.Manifest(), "p.bin\r\n", "fw/p.bin\r\n");
  ASSERT_TRUE(Prepare(WriteEntries({knpack::ZipEntry("info", manifest), knpack::ZipEntry("fw/p.bin", parts.program),
                                     knpack::ZipEntry("m.bin", parts.media), knpack::ZipEntry("d.bin", parts.data)})));
  EXPECT_EQ(m_result.programFile, TempDir() + L"fw/p.bin");
  EXPECT_EQ(ReadFileBytes(m_result.programFile), parts.program);
}

TEST_F(PrepareUpdatePackageTest, NoFolderIsLeftWhereTheManifestBelongs) {
  ZipEntrySpec folder = knpack::ZipEntry("info/", "");
  folder.externalAttributes = 0x10;
  PackageParts parts;
  EXPECT_FALSE(Prepare(WriteEntries({folder, knpack::ZipEntry("INFO/inner.bin", "x"), knpack::ZipEntry("p.bin", parts.program)})));
  EXPECT_THAT(m_host.messages, ElementsAre(kWrong));
  EXPECT_FALSE(testing_support::DirectoryExists(TempDir() + L"info"));

  CreateDirectoryW((TempDir() + L"info").c_str(), nullptr);  // an empty one from elsewhere
  EXPECT_TRUE(Prepare(WritePackage(parts.Manifest(), parts))) << "a later package is not blocked";
}

TEST_F(PrepareUpdatePackageTest, NoTemporaryDirectory) {
  PreparedPackage result;
  EXPECT_FALSE(PrepareUpdatePackage(m_host, WritePackage(PackageParts().Manifest(), PackageParts()), L"", result));
  EXPECT_THAT(m_host.messages, ElementsAre(kWrong));
}

TEST(FileCrc32Test, WholeFilesInChunks) {
  ScratchDirectory scratch;
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, kFileCrcChunk - 1, kFileCrcChunk, kFileCrcChunk + 1,
                           3 * kFileCrcChunk}) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + size);
    ASSERT_TRUE(WriteFileBytes(scratch / L"image.bin", bytes));
    EXPECT_EQ(FileCrc32(scratch / L"image.bin"), BufferCrc32(bytes.data(), bytes.size())) << size;
  }
  EXPECT_EQ(FileCrc32(scratch / L"missing.bin"), 0u);
  EXPECT_EQ(FileCrc32(scratch.Path()), 0u);
}

}  // namespace

namespace {

// A package that would fill the disk is refused before anything is written: too many entries,
// or entries that together declare more than the volume has free (less a reserve). Every
// declared size is a lie here; the check must not need to unpack anything to see it.
struct FillingCase {
  const char* name;
  int entries;
  std::uint32_t declaredEach;  // written into both records of every entry
};

class DiskFillingPackageTest : public PrepareUpdatePackageTest, public testing::WithParamInterface<FillingCase> {};

TEST_P(DiskFillingPackageTest, IsRefusedWithNothingWritten) {
  const FillingCase& c = GetParam();
  std::vector<ZipEntrySpec> entries = {knpack::ZipEntry("info", PackageParts().Manifest())};
  for (int i = 1; i < c.entries; ++i) entries.push_back(knpack::ZipEntry("e" + std::to_string(i) + ".bin", "x"));
  const std::wstring path = WriteEntries(entries);
  if (c.declaredEach != 0) {
    std::string zip = ReadFileBytes(path);
    for (int i = 0; i < c.entries; ++i) {
      zip_bytes::Put32(zip, zip_bytes::LocalHeader(zip, i) + 22, c.declaredEach);
      zip_bytes::Put32(zip, zip_bytes::CentralRecord(zip, i) + 24, c.declaredEach);
    }
    ASSERT_TRUE(WriteFileBytes(path, zip));
  }
  EXPECT_FALSE(Prepare(path));
  EXPECT_THAT(m_host.messages, ElementsAre(kWrong));
  EXPECT_FALSE(FileExists(TempDir() + L"info"));
  EXPECT_FALSE(FileExists(TempDir() + L"e1.bin"));
}

INSTANTIATE_TEST_SUITE_P(
    Packages, DiskFillingPackageTest,
    // 200 entries of almost 4 GiB declare about 800 GiB: more than any disk these tests run on.
    testing::Values(FillingCase{"MoreThanAThousandEntries", 1001, 0},
                    FillingCase{"MoreThanTheVolumeHolds", 200, 0xFFFFFFF0u}),
    [](const testing::TestParamInfo<FillingCase>& info) { return std::string(info.param.name); });

// The unpacking itself stops at the limit: the package tool's extract writes no more than the
// first 1000 entries either.
TEST_F(PrepareUpdatePackageTest, UnpackingStopsAtTheEntryLimit) {
  std::vector<ZipEntrySpec> entries;
  for (int i = 0; i < 1001; ++i) entries.push_back(knpack::ZipEntry("e" + std::to_string(i) + ".bin", "x"));
  const std::vector<ExtractedEntry> written = ExtractPackage(WriteEntries(entries), TempDir());
  EXPECT_EQ(written.size(), 1000u);
  EXPECT_TRUE(FileExists(TempDir() + L"e999.bin"));
  EXPECT_FALSE(FileExists(TempDir() + L"e1000.bin"));
}

TEST_F(PrepareUpdatePackageTest, AThousandEntriesOfTheirDeclaredSizeAreFine) {
  const PackageParts parts;
  std::vector<ZipEntrySpec> entries = {knpack::ZipEntry("info", parts.Manifest()), knpack::ZipEntry("p.bin", parts.program),
                                       knpack::ZipEntry("m.bin", parts.media), knpack::ZipEntry("d.bin", parts.data)};
  for (int i = 4; i < 1000; ++i) entries.push_back(knpack::ZipEntry("e" + std::to_string(i) + ".bin", "x"));
  EXPECT_TRUE(Prepare(WriteEntries(entries)));
  EXPECT_THAT(m_host.messages, IsEmpty());
}

}  // namespace
