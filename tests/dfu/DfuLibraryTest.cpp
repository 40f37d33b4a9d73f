// Binding of the DFU library at run time: our kndfu.dll on a bench, and stand-in libraries
// (built beside this test) that report a missing or outdated driver or lack an entry point.
#include "dfu/DfuLibrary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/bench/TemporaryBench.h"
#include "tests/support/TestFiles.h"

namespace {

struct BoundEntry {
  const char* name;
  void* pointer;
};

std::vector<BoundEntry> BoundEntries() {
  auto p = [](auto pointer) { return reinterpret_cast<void*>(pointer); };
  return {{"LMDFUInit", p(pfnLMDFUInit)},
          {"LMDFUDeviceOpen", p(pfnLMDFUDeviceOpen)},
          {"LMDFUDeviceClose", p(pfnLMDFUDeviceClose)},
          {"LMDFUDeviceStringGet", p(pfnLMDFUDeviceStringGet)},
          {"LMDFUDeviceASCIIStringGet", p(pfnLMDFUDeviceASCIIStringGet)},
          {"LMDFUParamsGet", p(pfnLMDFUParamsGet)},
          {"LMDFUIsValidImage", p(pfnLMDFUIsValidImage)},
          {"LMDFUDownload", p(pfnLMDFUDownload)},
          {"LMDFUDownloadBin", p(pfnLMDFUDownloadBin)},
          {"LMDFUWriteNand", p(pfnLMDFUWriteNand)},
          {"LMDFUWriteEEP", p(pfnLMDFUWriteEEP)},
          {"LMDFUErase", p(pfnLMDFUErase)},
          {"LMDFUBlankCheck", p(pfnLMDFUBlankCheck)},
          {"LMDFUUpload", p(pfnLMDFUUpload)},
          {"LMDFUStatusGet", p(pfnLMDFUStatusGet)},
          {"LMDFUErrorStringGet", p(pfnLMDFUErrorStringGet)},
          {"LMDFUModeSwitch", p(pfnLMDFUModeSwitch)},
          {"LMDFUDevTypeGet", p(pfnLMDFUDevTypeGet)}};
}

// Runs first and alone in its own process (see CMakeLists.txt): nothing has been bound yet.
TEST(NeverLoadedTest, WrappersFallBackWhileNothingIsBound) {
  for (const BoundEntry& entry : BoundEntries()) EXPECT_EQ(nullptr, entry.pointer) << entry.name;
  const std::uint8_t data[4] = {1, 2, 3, 4};
  DfuDeviceInfo info = {};
  DfuHandle handle = 0;
  DfuFlashParams params = {};
  char text[8] = {};
  std::uint32_t length = sizeof text;
  EXPECT_EQ(kDfuNotBound, DfuDeviceOpen(0, &info, &handle));
  EXPECT_EQ(kDfuNotBound, DfuDeviceASCIIStringGet(1, 2, text, &length));
  EXPECT_EQ(kDfuNotBound, DfuParamsGet(1, &params));
  EXPECT_EQ(kDfuNotBound, DfuErase(1, 0x3FC00, 1024, 1, nullptr));
  EXPECT_EQ(kDfuNotBound, DfuDownloadBin(1, data, sizeof data, 0, 1, nullptr));
  EXPECT_EQ(kDfuNotBound, DfuWriteEEP(1, data, sizeof data, 0, 1, nullptr));
  EXPECT_EQ(kDfuNotBound, DfuWriteNand(1, data, sizeof data, 0, 1, nullptr));
  DfuDeviceClose(1, 0);  // nothing to call
  EXPECT_EQ("Driver not installed", DfuErrorString(kDfuVerifyFailed));
}

TEST(DfuLibraryTest, OurLibraryOnABenchBindsEveryEntryPointToItsExport) {
  sim::TemporaryBench bench;
  ASSERT_TRUE(bench.created());
  ASSERT_TRUE(bench.Activate());

  EXPECT_EQ(kDfuReady, LoadDfuLibrary());

  HMODULE library = GetModuleHandleW(L"kndfu.dll");
  ASSERT_NE(nullptr, library);
  for (const BoundEntry& entry : BoundEntries()) {
    EXPECT_NE(nullptr, entry.pointer) << entry.name;
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, entry.name)), entry.pointer) << entry.name;
  }
  // The wrappers pass through to the library: no such device, and the library's own text.
  const std::uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_NE(kDfuNotBound, DfuDownloadBin(0, data, sizeof data, 0, 1, nullptr));
  EXPECT_EQ(std::string(pfnLMDFUErrorStringGet(kDfuVerifyFailed)), DfuErrorString(kDfuVerifyFailed));
  EXPECT_NE("Driver not installed", DfuErrorString(kDfuVerifyFailed));
  SetEnvironmentVariableW(sim::Bench::kEnvironmentVariable, nullptr);
}

struct LoadCase {
  const char* scenario;
  const wchar_t* library;
  int expected;
};

class DfuLoadTest : public ::testing::TestWithParam<LoadCase> {};

TEST_P(DfuLoadTest, ReportsWhatTheInstallationOffers) {
  EXPECT_EQ(GetParam().expected, LoadDfuLibraryNamed(GetParam().library));
}

// The stand-ins whose LMDFUInit would return 0 prove that it is not called when an entry
// point is missing.
INSTANTIATE_TEST_SUITE_P(
    Installations, DfuLoadTest,
    ::testing::Values(LoadCase{"NoLibrary", L"kndfu_not_installed.dll", kDfuDriverNotFound},
                      LoadCase{"DriverMissing", L"stub_dfu_driver_missing.dll", kDfuDriverNotFound},
                      LoadCase{"DriverOutdated", L"stub_dfu_driver_outdated.dll", kDfuWrongDriverVersion},
                      LoadCase{"WithoutInit", L"stub_dfu_without_init.dll", kDfuWrongDriverVersion},
                      LoadCase{"WithoutLastEntryPoint", L"stub_dfu_without_devtype.dll", kDfuWrongDriverVersion}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.scenario); });

// A library the program cannot load: only one built for the other architecture is named as
// such. A damaged file, or a library for a machine of a third kind, is a missing driver as
// before, which the installation offered then mends.
struct UnloadableCase {
  const char* scenario;
  std::string (*bytes)(const std::string& otherArchitectureLibrary);
  int expected;
};

class DfuUnloadableLibraryTest : public ::testing::TestWithParam<UnloadableCase> {};

TEST_P(DfuUnloadableLibraryTest, OnlyALibraryOfTheOtherArchitectureIsNamed) {
  // Built by the other architecture's tree (./test.sh builds both before it tests).
  const std::wstring otherPath = testing_support::CommandLineOption(L"other-kndfu");
  const std::string other = testing_support::ReadFileBytes(otherPath);
  ASSERT_FALSE(other.empty()) << "no kndfu.dll of the other architecture at "
                              << std::string(otherPath.begin(), otherPath.end());
  testing_support::ScratchDirectory scratch;
  const std::string name = GetParam().scenario;
  const std::wstring library = scratch / (std::wstring(name.begin(), name.end()) + L".dll");
  ASSERT_TRUE(testing_support::WriteFileBytes(library, GetParam().bytes(other)));
  EXPECT_EQ(GetParam().expected, LoadDfuLibraryNamed(library.c_str()));
}

std::string WithMachine(std::string image, std::uint16_t machine) {
  std::uint32_t peHeader = 0;  // e_lfanew
  std::memcpy(&peHeader, &image[0x3C], sizeof peHeader);
  image[peHeader + 4] = static_cast<char>(machine & 0xFF);
  image[peHeader + 5] = static_cast<char>(machine >> 8);
  return image;
}

INSTANTIATE_TEST_SUITE_P(
    Files, DfuUnloadableLibraryTest,
    ::testing::Values(
        UnloadableCase{"OtherArchitecture", [](const std::string& other) { return other; },
                       kDfuLibraryOfOtherArchitecture},
        UnloadableCase{"NotALibrary", [](const std::string&) { return std::string("MZ but nothing after it"); },
                       kDfuDriverNotFound},
        UnloadableCase{"LibraryForArm64", [](const std::string& other) { return WithMachine(other, 0xAA64); },
                       kDfuDriverNotFound}),
    [](const ::testing::TestParamInfo<UnloadableCase>& info) { return std::string(info.param.scenario); });

struct PartialCase {
  const char* scenario;
  const wchar_t* library;
  int download_result;
  const char* error_text;
};

class DfuPartialLibraryTest : public ::testing::TestWithParam<PartialCase> {};

// An outdated library lacking one entry point: the wrappers fall back for that one only.
TEST_P(DfuPartialLibraryTest, WrappersFallBackForTheMissingEntryPoint) {
  EXPECT_EQ(kDfuWrongDriverVersion, LoadDfuLibraryNamed(GetParam().library));
  const std::uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_EQ(GetParam().download_result, DfuDownloadBin(1, data, sizeof data, 0x4000, 1, nullptr));
  EXPECT_EQ(GetParam().error_text, DfuErrorString(-5));
}

INSTANTIATE_TEST_SUITE_P(
    OutdatedLibraries, DfuPartialLibraryTest,
    ::testing::Values(PartialCase{"WithoutDownloadBin", L"stub_dfu_without_downloadbin.dll", kDfuNotBound,
                                  "stub library"},
                      PartialCase{"WithoutErrorString", L"stub_dfu_without_errorstring.dll", -99,
                                  "Driver not installed"}),
    [](const ::testing::TestParamInfo<PartialCase>& info) { return std::string(info.param.scenario); });

}  // namespace
