// The folder of an update's own below the temporary directory: new for every update, gone with
// everything in it when the update ends, whichever way; left-behind folders of runs that ended
// abnormally are removed, those of running updates never; nothing else there is touched.
#include "package/UpdateFolder.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "package/Crc32.h"
#include "package/PackageCheck.h"
#include "package/UpdateManifest.h"
#include "procedure/ProcedureTexts.h"
#include "tests/procedure/ProcedureFixture.h"
#include "tests/support/TestFiles.h"
#include "tools/knpack/PackageWriter.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::ScratchDirectory;
using testing_support::WriteFileBytes;

constexpr wchar_t kPrefix[] = L"QM_TWBootloader-update-";

// The names in a folder, "." and ".." left out, directories with a trailing backslash.
std::vector<std::wstring> Listing(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    names.push_back(name + ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? L"\\" : L""));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// A folder last changed an hour ago, as one an abnormal end left behind long before.
void MakeOld(const std::wstring& folder) {
  HANDLE handle = CreateFileW(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  FILETIME now = {};
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER time = {{now.dwLowDateTime, now.dwHighDateTime}};
  time.QuadPart -= 3600ull * 10000000ull;
  const FILETIME hourAgo = {time.LowPart, time.HighPart};
  EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &hourAgo));
  CloseHandle(handle);
}

// What an update may leave there: a read-only file, a subfolder with a file.
void Fill(const std::wstring& folder) {
  ASSERT_TRUE(WriteFileBytes(folder + L"info", "a manifest"));
  SetFileAttributesW((folder + L"info").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(CreateDirectoryW((folder + L"fw").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(folder + L"fw\\program.bin", "program"));
}

TEST(UpdateFolderTest, EachUpdateGetsANewFolderThatGoesWithEverythingInIt) {
  ScratchDirectory temp;
  UpdateFolder first, second;
  ASSERT_TRUE(first.Create(temp.Path()));
  ASSERT_TRUE(second.Create(temp.Path()));
  EXPECT_NE(first.Path(), second.Path());
  for (const UpdateFolder* folder : {&first, &second}) {
    EXPECT_EQ(folder->Path().rfind(temp.Path() + kPrefix, 0), 0u);
    EXPECT_EQ(folder->Path().back(), L'\\');
  }
  Fill(first.Path());
  const std::wstring gone = first.Path();
  first.Remove();
  EXPECT_TRUE(first.Path().empty());
  EXPECT_EQ(GetFileAttributesW(gone.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Listing(temp.Path()), std::vector<std::wstring>{second.Path().substr(temp.Path().size())});
  {
    UpdateFolder scoped;
    ASSERT_TRUE(scoped.Create(temp.Path()));
  }
  EXPECT_EQ(Listing(temp.Path()).size(), 1u) << "a folder goes with its owner";
}

// The checked package holds its files for as long as it lives, and may outlive its folder's
// use (the preparation failed, a console run of several updates ends): removing the folder lets
// go of them first, and everything goes.
TEST(UpdateFolderTest, AFolderGoesWholeWhileItsCheckedPackageStillHoldsItsFiles) {
  ScratchDirectory temp;
  const std::string program(3000, 'P'), media(5000, 'M'), data = "D";
  ManifestContent content;
  content.deviceType = "TW 3xx";
  content.programName = "program.bin";
  content.mediaName = "fw/media.bin";
  content.dataName = "data.bin";
  content.programCrc = BufferCrc32(program.data(), program.size());
  content.mediaCrc = BufferCrc32(media.data(), media.size());
  content.dataCrc = BufferCrc32(data.data(), data.size());
  std::string error;
  ASSERT_TRUE(knpack::WriteZipArchive(temp / L"update.kn",
                                      {knpack::ZipEntry("info", ComposeUpdateManifest(content)),
                                       knpack::ZipEntry("program.bin", program), knpack::ZipEntry("fw/media.bin", media),
                                       knpack::ZipEntry("data.bin", data)},
                                      error))
      << error;
  UpdateFolder folder;
  ASSERT_TRUE(folder.Create(temp.Path()));
  class Silent : public MessageHost {
    void ShowMessage(const std::wstring&) override {}
  } host;
  PreparedPackage package;
  ASSERT_TRUE(PrepareUpdatePackage(host, temp / L"update.kn", folder.Path(), package));
  const std::wstring path = folder.Path();
  EXPECT_FALSE(DeleteFileW(package.programFile.c_str())) << "held while the package lives";
  folder.Remove();
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

// While an update holds its folder, nobody removes it or takes its name; a folder nobody holds
// is one a run ending abnormally left, and a later run removes it. Nothing else is touched,
// not even what merely looks like an update folder by its name.
TEST(UpdateFolderTest, AbandonedFoldersAreRemovedAndNeverOneInUse) {
  ScratchDirectory temp;
  const std::wstring abandoned = temp.Path() + kPrefix + L"dead\\";
  ASSERT_TRUE(CreateDirectoryW(abandoned.c_str(), nullptr));
  Fill(abandoned);
  MakeOld(abandoned);
  // Just made: its update may not hold it yet.
  const std::wstring young = temp.Path() + kPrefix + L"young\\";
  ASSERT_TRUE(CreateDirectoryW(young.c_str(), nullptr));
  UpdateFolder running;
  ASSERT_TRUE(running.Create(temp.Path()));
  Fill(running.Path());
  MakeOld(running.Path());
  ASSERT_TRUE(WriteFileBytes(temp.Path() + kPrefix + L"a-file", "someone else's"));
  ASSERT_TRUE(CreateDirectoryW((temp.Path() + L"QM_TWBootloader-updater").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(temp.Path() + L"QM_TWBootloader-updater\\keep.txt", "someone else's"));

  RemoveAbandonedUpdateFolders(temp.Path());

  EXPECT_EQ(GetFileAttributesW(abandoned.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(young.c_str()), INVALID_FILE_ATTRIBUTES);
  RemoveDirectoryW(young.c_str());
  EXPECT_EQ(ReadFileBytes(running.Path() + L"fw\\program.bin"), "program");
  EXPECT_EQ(ReadFileBytes(temp.Path() + kPrefix + L"a-file"), "someone else's");
  EXPECT_EQ(ReadFileBytes(temp.Path() + L"QM_TWBootloader-updater\\keep.txt"), "someone else's");
  running.Remove();
  EXPECT_EQ(Listing(temp.Path()), (std::vector<std::wstring>{L"QM_TWBootloader-update-a-file", L"QM_TWBootloader-updater\\"}));
}

TEST(UpdateFolderTest, NoFolderWithoutATemporaryDirectory) {
  UpdateFolder folder;
  EXPECT_FALSE(folder.Create(L""));
  ScratchDirectory temp;
  EXPECT_FALSE(folder.Create(temp / L"missing\\"));
  EXPECT_TRUE(folder.Path().empty());
}

// ---- whole updates ---------------------------------------------------------------------------

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
  const std::vector<std::wstring> before = Listing(temp);
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
  if (!usedFolder.empty()) EXPECT_EQ(usedFolder.rfind(temp + kPrefix, 0), 0u);
  EXPECT_EQ(Listing(temp), before);
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
  const std::wstring abandoned = TemporaryDirectory() + kPrefix + L"crashed\\";
  ASSERT_TRUE(CreateDirectoryW(abandoned.c_str(), nullptr));
  Fill(abandoned);
  MakeOld(abandoned);
  Download(MakePackage(PackageImages()));
  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  EXPECT_EQ(GetFileAttributesW(abandoned.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(Listing(TemporaryDirectory()).empty());
}

}  // namespace
