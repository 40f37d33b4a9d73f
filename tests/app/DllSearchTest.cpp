// The production programs never take the DFU library from the current folder, only from the
// standard places (their own folder first): a "kndfu.dll" planted where a program is started
// from is not loaded, one beside the program is. Run as a technician would start them, from
// another current folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "sim/operator/DialogDriver.h"
#include "tests/support/TestFiles.h"

namespace {

namespace dd = dialog_driver;
using testing_support::CommandLineOption;
using testing_support::FileExists;
using testing_support::ScratchDirectory;

class DllSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryW(Program().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Current().c_str(), nullptr));
    for (const wchar_t* tool : {L"updater", L"knupdate"}) {
      const std::wstring path = CommandLineOption(tool);
      ASSERT_TRUE(CopyFileW(path.c_str(), (Program() + path.substr(path.find_last_of(L'\\') + 1)).c_str(), FALSE));
    }
    PlantLibrary(Current());
  }

  std::wstring Program() const { return m_scratch / L"program\\"; }
  std::wstring Current() const { return m_scratch / L"current\\"; }

  static void PlantLibrary(const std::wstring& folder) {
    ASSERT_TRUE(CopyFileW(CommandLineOption(L"marker").c_str(), (folder + L"kndfu.dll").c_str(), FALSE));
  }
  static bool Loaded(const std::wstring& folder) { return FileExists(folder + L"kndfu.dll.loaded"); }

  // Starts program from the current folder of the test; its process.
  PROCESS_INFORMATION Start(const std::wstring& commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = commandLine;
    EXPECT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, Current().c_str(), &startup,
                               &process));
    return process;
  }

  // The console updater lists what it finds, loading the library on the way.
  void ListWithKnupdate() {
    PROCESS_INFORMATION process = Start(L"\"" + Program() + L"knupdate.exe\" list");
    ASSERT_NE(process.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }

  // The updater checks the library at its start and says what it found in a box; its text.
  std::wstring StartUpdater() {
    PROCESS_INFORMATION process = Start(L"\"" + Program() + L"QM_TWBootloader.exe\"");
    if (process.hProcess == nullptr) return std::wstring();
    HWND box = dd::WaitFor([&] { return dd::FindDialog(process.dwProcessId, nullptr); }, 60000);
    const std::wstring text = box != nullptr ? dd::ReadMessageBox(box).text : std::wstring();
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return text;
  }

  ScratchDirectory m_scratch;
};

TEST_F(DllSearchTest, TheConsoleUpdaterLoadsTheLibraryBesideItNeverFromTheCurrentFolder) {
  ListWithKnupdate();
  EXPECT_FALSE(Loaded(Current())) << "loaded from the current folder";
  PlantLibrary(Program());
  ListWithKnupdate();
  EXPECT_TRUE(Loaded(Program())) << "not loaded from the program's folder";
  EXPECT_FALSE(Loaded(Current()));
}

TEST_F(DllSearchTest, TheUpdaterLoadsTheLibraryBesideItNeverFromTheCurrentFolder) {
  // No library where it may come from: the driver is missing.
  EXPECT_EQ(StartUpdater(), L"DFU driver is not found! Do you want to install it?");
  EXPECT_FALSE(Loaded(Current())) << "loaded from the current folder";
  // The one beside it is loaded, and found outdated: it exports nothing.
  PlantLibrary(Program());
  EXPECT_EQ(StartUpdater(), L"DFU driver version is incorrect!Do you want to reinstall it?");
  EXPECT_TRUE(Loaded(Program()));
  EXPECT_FALSE(Loaded(Current()));
}

}  // namespace
