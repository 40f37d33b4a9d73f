// A kndfu.dll of the other architecture beside the updater on the default bench: this build's
// programs cannot load it, and the driver it came with is there. The dialog names the library
// in one message box instead of offering a driver installation and opens as without a
// library; knupdate list says the same on one line. The library is our kndfu.dll as the other
// architecture's tree builds it; the programs are this tree's bench builds, each run in a
// folder of its own as a technician has them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/bench/TemporaryBench.h"
#include "sim/operator/DialogDriver.h"
#include "tests/support/BenchFixtures.h"
#include "tests/support/TestFiles.h"

namespace dd = dialog_driver;

namespace {

#ifdef _WIN64
const char kLibraryNamed[] = "The DFU library kndfu.dll is a 32-bit library. Please use the 32-bit updater.";
#else
const char kLibraryNamed[] = "The DFU library kndfu.dll is a 64-bit library. Please use the 64-bit updater.";
#endif

std::string Ascii(const std::wstring& text) { return dd::Printable(text); }

class OtherArchitectureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_bench.created());
    ASSERT_TRUE(m_bench.Activate());  // the programs started inherit KN_BENCH
    ASSERT_TRUE(testing_support::SaveDefaultInstruments(m_bench.bench(), {sim::Bench::NowMs() - 60000, 300}));
    const std::wstring library = testing_support::CommandLineOption(L"other-kndfu");
    ASSERT_TRUE(testing_support::FileExists(library))
        << "no kndfu.dll of the other architecture at " << Ascii(library) << " (./test.sh builds both)";
    ASSERT_TRUE(CopyFileW(library.c_str(), (m_folder / L"kndfu.dll").c_str(), FALSE));
  }

  // The program that the option names, copied into the folder beside the library.
  std::wstring Place(const wchar_t* option, const wchar_t* name) {
    const std::wstring program = m_folder / name;
    EXPECT_TRUE(CopyFileW(testing_support::CommandLineOption(option).c_str(), program.c_str(), FALSE)) << Ascii(name);
    return program;
  }

  sim::TemporaryBench m_bench;
  testing_support::ScratchDirectory m_folder;
};

TEST_F(OtherArchitectureTest, TheUpdaterNamesTheLibraryAndOffersNoDriverInstallation) {
  const std::wstring updater = Place(L"updater", L"QM_TWBootloader_bench.exe");
  // The stand-in installers lie where a driver installation would start them.
  const std::wstring drivers = m_folder / L"qmdriver";
  ASSERT_TRUE(CreateDirectoryW(drivers.c_str(), nullptr));
  const std::wstring standIn = testing_support::CommandLineOption(L"dpinst");
  for (const wchar_t* installer : {L"\\DPInst_x64.exe", L"\\DPInst_x86.exe"}) {
    ASSERT_TRUE(CopyFileW(standIn.c_str(), (drivers + installer).c_str(), FALSE));
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::wstring line = L"\"" + updater + L"\"";
  ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, m_folder.Path().c_str(),
                             &startup, &process));
  const DWORD pid = process.dwProcessId;

  // One box, before the dialog shows: the library named, OK the only answer.
  HWND box = dd::WaitFor([&] { return dd::FindDialog(pid, nullptr); }, 60000);
  ASSERT_NE(box, nullptr);
  const dd::MessageBoxSeen seen = dd::ReadMessageBox(box);
  EXPECT_EQ(Ascii(seen.text), kLibraryNamed);
  EXPECT_EQ(seen.buttons, std::vector<int>{IDOK});
  PostMessageW(box, WM_COMMAND, IDOK, 0);

  // Then the dialog and no other box. Without a library its list stays as it started, empty:
  // the refresh that filled it would have run before the dialog showed.
  HWND dialog = dd::WaitFor([&] { return dd::FindDialog(pid, L"Firmware updater"); }, 60000);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dd::FindDialog(pid, nullptr, dialog), nullptr);
  EXPECT_TRUE(dd::ListEntries(GetDlgItem(dialog, 1000)).empty());

  dd::PressKey(dialog, VK_ESCAPE);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  if (dd::FindDialog(pid, nullptr) != nullptr) dd::DismissPopups(pid, nullptr);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // No installer was started.
  EXPECT_FALSE(testing_support::FileExists(drivers + L"\\dpinst.log"));
}

TEST_F(OtherArchitectureTest, KnupdateListNamesTheLibraryOnOneLine) {
  const std::wstring knupdate = Place(L"knupdate", L"knupdate_bench.exe");
  // Started in its own folder: the current folder is searched for the library too, and this
  // test's own folder holds a kndfu.dll of this architecture (the dialog tests').
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(m_folder.Path().c_str()));
  const testing_support::ProgramRun run = testing_support::RunProgram(L"\"" + knupdate + L"\" list");
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(run.exitCode, 0u);
  // The instruments in application mode are listed; those in DFU mode need the library.
  EXPECT_EQ(run.output, std::string(kLibraryNamed) + "\nDevice 0: TW 3xx\tapplication\ttw\nDevice 1: QM 5xx\tapplication\tqm\n");
}

}  // namespace
