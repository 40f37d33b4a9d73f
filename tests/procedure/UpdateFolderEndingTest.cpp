// The update's own folder in whole updates on a bench: gone however the update ends, with
// nothing else in the temporary directory touched, and a folder an abnormal end left behind
// removed by the next update.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "package/UpdateManifest.h"
#include "procedure/ProcedureTexts.h"
#include "tests/procedure/ProcedureFixture.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UpdateFolders.h"
#include "tools/knpack/PackageWriter.h"

namespace {

using testing_support::FileExists;
using testing_support::FillAsAnUpdate;
using testing_support::FolderListing;
using testing_support::kUpdateFolderPrefix;
using testing_support::MakeOld;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

using proceduretest::PackageImages;
using proceduretest::ProcedureFixture;

struct Ending {
  const char* name;
  // Arranges the bench and returns the package to download.
  std::function<std::wstring(ProcedureFixture&)> arrange;
  const wchar_t* lastMessage;
};

// A package whose images all come out, but whose manifest's check values do not match them.
std::wstring MismatchedPackage(ProcedureFixture& t) {
  ManifestContent content;
  content.deviceType = "TW 3xx";
  content.programName = "program.bin";
  content.mediaName = "media.bin";
  content.dataName = "data.bin";
  content.programCrc = 1;
  content.mediaCrc = 2;
  content.dataCrc = 3;
  const std::wstring path = t.m_scratch / L"mismatched.kn";
  std::string error;
  EXPECT_TRUE(knpack::WriteZipArchive(path,
                                      {knpack::ZipEntry("info", ComposeUpdateManifest(content)),
                                       knpack::ZipEntry("program.bin", "p"), knpack::ZipEntry("media.bin", "m"),
                                       knpack::ZipEntry("data.bin", "d")},
                                      error))
      << error;
  return path;
}

class UpdateFolderEndingTest : public ProcedureFixture, public testing::WithParamInterface<Ending> {};

// Another program's files in the temporary directory, some of them named as the package's, stay
// as they were however the update ends; the update's own folder is gone.
TEST_P(UpdateFolderEndingTest, TheUpdatesFolderGoesAndNothingElseIsTouched) {
  const Ending& c = GetParam();
  AddDefaultInstruments();
  Refresh();
  Select(L"TW 3xx");
  const std::wstring package = c.arrange(*this);
  const std::wstring temp = TemporaryDirectory();
  for (const wchar_t* name : {L"info", L"program.bin", L"media.bin", L"version.dll"}) {
    ASSERT_TRUE(WriteFileBytes(temp + name, "another program's"));
    SetFileAttributesW((temp + name).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  const std::vector<std::wstring> before = FolderListing(temp);
  std::wstring usedFolder;
  m_host.beforeWorker = [&] {
    usedFolder = PackageFolder();
    EXPECT_EQ(m_session.Package().programFile, usedFolder + L"program.bin");
    EXPECT_TRUE(FileExists(usedFolder + L"info"));
  };

  Download(package);

  ASSERT_FALSE(m_host.messages.empty());
  EXPECT_EQ(m_host.messages.back(), c.lastMessage);
  EXPECT_TRUE(PackageFolder().empty());
  if (!usedFolder.empty()) {
    EXPECT_EQ(usedFolder.rfind(temp + kUpdateFolderPrefix, 0), 0u);
  }
  EXPECT_EQ(FolderListing(temp), before);
  for (const wchar_t* name : {L"info", L"program.bin", L"media.bin", L"version.dll"}) {
    EXPECT_EQ(ReadFileBytes(temp + name), "another program's");
    EXPECT_EQ(GetFileAttributesW((temp + name).c_str()) & FILE_ATTRIBUTE_READONLY, DWORD{FILE_ATTRIBUTE_READONLY});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Endings, UpdateFolderEndingTest,
    testing::Values(
        Ending{"Success", [](ProcedureFixture& t) { return t.MakePackage(PackageImages()); },
               texts::kUpdatedSuccessfully},
        Ending{"PackageRefused", &MismatchedPackage, texts::kFileCorrupted},
        Ending{"PreparationEnded",
               [](ProcedureFixture& t) {
                 PackageImages images;
                 images.deviceType = "QM 5xx";
                 return t.MakePackage(images);
               },
               texts::kNotForDevice},
        Ending{"WorkerFailed",
               [](ProcedureFixture& t) {
                 t.SetKey(L"tw", L"fault.nand.verifyFailure", L"1");
                 return t.MakePackage(PackageImages());
               },
               texts::kMediaVerify}),
    [](const testing::TestParamInfo<Ending>& info) { return std::string(info.param.name); });

// A run that ended abnormally left its folder; the next update removes it.
TEST_F(ProcedureFixture, AnUpdateRemovesAFolderAnAbnormalEndLeftBehind) {
  AddDefaultInstruments();
  Refresh();
  Select(L"TW 3xx");
  const std::wstring abandoned = TemporaryDirectory() + kUpdateFolderPrefix + L"crashed\\";
  ASSERT_TRUE(CreateDirectoryW(abandoned.c_str(), nullptr));
  ASSERT_TRUE(FillAsAnUpdate(abandoned));
  ASSERT_TRUE(MakeOld(abandoned));
  Download(MakePackage(PackageImages()));
  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  EXPECT_EQ(GetFileAttributesW(abandoned.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(FolderListing(TemporaryDirectory()).empty());
}

}  // namespace
