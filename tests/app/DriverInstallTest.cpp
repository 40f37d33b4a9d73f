// Driver installation with the real shell: our stand-in installers record how they were
// started.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/DriverInstall.h"
#include "tests/app/Installers.h"

namespace {

struct ChoiceCase {
  const char* name;
  bool hasFunction;
  UINT result;
  DWORD error;
  const wchar_t* installer;
};

class InstallerChoiceTest : public testing::TestWithParam<ChoiceCase> {};

TEST_P(InstallerChoiceTest, PicksTheInstallerForTheSystem) {
  const ChoiceCase& c = GetParam();
  EXPECT_STREQ(ChooseDriverInstaller(c.hasFunction, c.result, c.error), c.installer);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, InstallerChoiceTest,
    testing::Values(ChoiceCase{"Wow64DirectoryPresent", true, 20, ERROR_SUCCESS, L"DPInst_x64.exe"},
                    ChoiceCase{"NoWow64DirectoryOnA64BitSystem", true, 0, ERROR_FILE_NOT_FOUND, L"DPInst_x64.exe"},
                    ChoiceCase{"FunctionNotImplemented", true, 0, ERROR_CALL_NOT_IMPLEMENTED, L"DPInst_x86.exe"},
                    ChoiceCase{"FunctionMissing", false, 0, ERROR_SUCCESS, L"DPInst_x86.exe"}),
    [](const testing::TestParamInfo<ChoiceCase>& info) { return std::string(info.param.name); });

TEST(InstallDriversTest, RunsTheInstallerBesideTheProgramForBothPackagesInOrder) {
  DriverFolder folder;  // the current directory holds a planted kit of its own
  InstallDrivers();
  const std::vector<InstallerRun> runs = folder.Runs();
  ASSERT_EQ(runs.size(), 2u);
  // This machine (and Wine's 64-bit prefix) has a WOW64 directory; the 32-bit build, run by
  // WOW64 there, finds it too and takes the 64-bit installer as well.
  EXPECT_EQ(runs[0].installer, L"DPInst_x64.exe");
  EXPECT_EQ(runs[0].parameters, L"/PATH .\\KNCDCDriver\\ /F /LM  /A");
  EXPECT_EQ(runs[1].installer, L"DPInst_x64.exe");
  EXPECT_EQ(runs[1].parameters, L"/PATH .\\DFU_Driver\\ /F /LM  /A");
  for (const InstallerRun& run : runs) EXPECT_EQ(run.directory, InstallerDirectory(folder));
  EXPECT_TRUE(folder.PlantedRuns().empty());
}

TEST(InstallDriversTest, MissingDriverFolderIsSkippedSilentlyEvenWithOneInTheCurrentFolder) {
  DriverFolder folder(false);
  InstallDrivers();
  EXPECT_TRUE(folder.Runs().empty());
  EXPECT_TRUE(folder.PlantedRuns().empty());
}

}  // namespace
