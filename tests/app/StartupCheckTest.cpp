// The start-up check without a window: which boxes come up for each result of the library
// load, what an answer leads to, and whether the dialog counts the library as ready.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/StartupCheck.h"
#include "dfu/DfuLibrary.h"

namespace {

class RecordingPromptHost : public DriverPromptHost {
 public:
  explicit RecordingPromptHost(int answer) : m_answer(answer) {}
  int PromptBox(const wchar_t* text, const wchar_t* caption, UINT type) override {
    events.push_back(L"box " + std::wstring(caption != nullptr ? caption : L"<title>") + L" " +
                     (type == MB_OKCANCEL ? L"[OK Cancel] " : type == MB_OK ? L"[OK] " : L"[?] ") + text);
    return m_answer;
  }
  void RunDriverInstallation() override { events.push_back(L"install"); }

  std::vector<std::wstring> events;

 private:
  int m_answer;
};

struct StartupCase {
  const char* name;
  int loadResult;
  int answer;
  std::vector<std::wstring> events;
  int dfuReady;
};

class StartupCheckTest : public testing::TestWithParam<StartupCase> {};

TEST_P(StartupCheckTest, PromptsAndInstallsAsTheResultAsks) {
  const StartupCase& c = GetParam();
  RecordingPromptHost host(c.answer);
  EXPECT_EQ(CheckDfuLibraryAtStartup(c.loadResult, host), c.dfuReady);
  EXPECT_EQ(host.events, c.events);
}

const std::wstring kNotFoundBox =
    L"box Attention [OK Cancel] DFU driver is not found! Do you want to install it?";
// A library of the other architecture is named, and nothing is installed.
#ifdef _WIN64
const std::wstring kOtherArchitectureBox =
    L"box <title> [OK] The DFU library kndfu.dll is a 32-bit library. Please use the 32-bit updater.";
#else
const std::wstring kOtherArchitectureBox =
    L"box <title> [OK] The DFU library kndfu.dll is a 64-bit library. Please use the 64-bit updater.";
#endif

INSTANTIATE_TEST_SUITE_P(
    Results, StartupCheckTest,
    testing::Values(
        StartupCase{"Ready", 0, IDOK, {}, 1},
        StartupCase{"DriverMissingInstall", -3, IDOK, {kNotFoundBox, L"install"}, 0},
        StartupCase{"DriverMissingDeclined", -3, IDCANCEL, {kNotFoundBox}, 0},
        StartupCase{"DriverMissingBoxClosed", -3, IDCLOSE, {kNotFoundBox}, 0},
        StartupCase{"WrongVersionAlwaysReinstalls", -7, IDOK,
                    {L"box <title> [OK] DFU driver version is incorrect!Do you want to reinstall it?", L"install"}, 0},
        StartupCase{"LibraryOfOtherArchitecture", kDfuLibraryOfOtherArchitecture, IDOK, {kOtherArchitectureBox}, 0},
        StartupCase{"OtherFailure", -5, IDOK, {L"box <title> [OK] Impossible be here!"}, 0},
        StartupCase{"NotBound", -1, IDOK, {L"box <title> [OK] Impossible be here!"}, 0},
        StartupCase{"PositiveResult", 1, IDOK, {L"box <title> [OK] Impossible be here!"}, 0}),
    [](const testing::TestParamInfo<StartupCase>& info) { return std::string(info.param.name); });

}  // namespace
