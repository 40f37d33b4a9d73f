// The folder of an update's own below the temporary directory: new for every update, gone with
// everything in it when removed, even while its checked package still holds its files;
// left-behind folders of runs that ended abnormally are removed, those of running updates
// never; nothing else there is touched.
#include "package/UpdateFolder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/Crc32.h"
#include "package/PackageCheck.h"
#include "package/UpdateManifest.h"
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
using testing_support::ScratchDirectory;
using testing_support::WriteFileBytes;

TEST(UpdateFolderTest, EachUpdateGetsANewFolderThatGoesWithEverythingInIt) {
  ScratchDirectory temp;
  UpdateFolder first, second;
  ASSERT_TRUE(first.Create(temp.Path()));
  ASSERT_TRUE(second.Create(temp.Path()));
  EXPECT_NE(first.Path(), second.Path());
  for (const UpdateFolder* folder : {&first, &second}) {
    EXPECT_EQ(folder->Path().rfind(temp.Path() + kUpdateFolderPrefix, 0), 0u);
    EXPECT_EQ(folder->Path().back(), L'\\');
  }
  ASSERT_TRUE(FillAsAnUpdate(first.Path()));
  const std::wstring gone = first.Path();
  first.Remove();
  EXPECT_TRUE(first.Path().empty());
  EXPECT_EQ(GetFileAttributesW(gone.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(FolderListing(temp.Path()), std::vector<std::wstring>{second.Path().substr(temp.Path().size())});
  {
    UpdateFolder scoped;
    ASSERT_TRUE(scoped.Create(temp.Path()));
  }
  EXPECT_EQ(FolderListing(temp.Path()).size(), 1u) << "a folder goes with its owner";
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
  const std::wstring abandoned = temp.Path() + kUpdateFolderPrefix + L"dead\\";
  ASSERT_TRUE(CreateDirectoryW(abandoned.c_str(), nullptr));
  ASSERT_TRUE(FillAsAnUpdate(abandoned));
  ASSERT_TRUE(MakeOld(abandoned));
  // Just made: its update may not hold it yet.
  const std::wstring young = temp.Path() + kUpdateFolderPrefix + L"young\\";
  ASSERT_TRUE(CreateDirectoryW(young.c_str(), nullptr));
  UpdateFolder running;
  ASSERT_TRUE(running.Create(temp.Path()));
  ASSERT_TRUE(FillAsAnUpdate(running.Path()));
  ASSERT_TRUE(MakeOld(running.Path()));
  ASSERT_TRUE(WriteFileBytes(temp.Path() + kUpdateFolderPrefix + L"a-file", "someone else's"));
  ASSERT_TRUE(CreateDirectoryW((temp.Path() + L"QM_TWBootloader-updater").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(temp.Path() + L"QM_TWBootloader-updater\\keep.txt", "someone else's"));

  RemoveAbandonedUpdateFolders(temp.Path());

  EXPECT_EQ(GetFileAttributesW(abandoned.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(young.c_str()), INVALID_FILE_ATTRIBUTES);
  RemoveDirectoryW(young.c_str());
  EXPECT_EQ(ReadFileBytes(running.Path() + L"fw\\program.bin"), "program");
  EXPECT_EQ(ReadFileBytes(temp.Path() + kUpdateFolderPrefix + L"a-file"), "someone else's");
  EXPECT_EQ(ReadFileBytes(temp.Path() + L"QM_TWBootloader-updater\\keep.txt"), "someone else's");
  running.Remove();
  EXPECT_EQ(FolderListing(temp.Path()), (std::vector<std::wstring>{L"QM_TWBootloader-update-a-file", L"QM_TWBootloader-updater\\"}));
}

TEST(UpdateFolderTest, NoFolderWithoutATemporaryDirectory) {
  UpdateFolder folder;
  EXPECT_FALSE(folder.Create(L""));
  ScratchDirectory temp;
  EXPECT_FALSE(folder.Create(temp / L"missing\\"));
  EXPECT_TRUE(folder.Path().empty());
}

}  // namespace
