// The package tool as its users run it: a console program, its output and its exit codes.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/Crc32.h"
#include "package/UpdateManifest.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/KnpackRun.h"
#include "tools/knpack/PackageWriter.h"

namespace {

using testing::HasSubstr;
using testing_support::ReadFileBytes;
using testing_support::ScratchDirectory;
using testing_support::WriteFileBytes;

using knpack_run::Knpack;
using knpack_run::LastLine;
using knpack_run::Quoted;
using knpack_run::ToolRun;

class KnpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(m_dir / L"program.bin", std::string(3000, 'P')));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"media.bin", std::string(5000, 'M')));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"data.bin", "D"));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"boot.bin", std::string(100, 'B')));
  }

  std::wstring BuildArgs(const std::wstring& extra) {
    return L"build --type \"QM 5xx\" --program " + Quoted(m_dir / L"program.bin") + L" --media " +
           Quoted(m_dir / L"media.bin") + L" --data " + Quoted(m_dir / L"data.bin") + extra + L" -o " +
           Quoted(m_dir / L"out.kn");
  }

  ScratchDirectory m_dir;
};

TEST_F(KnpackTest, BuildsAPackageTheCheckAccepts) {
  ASSERT_EQ(Knpack(BuildArgs(L" --bootloader " + Quoted(m_dir / L"boot.bin"))).exitCode, 0u);
  CreateDirectoryW((m_dir / L"check").c_str(), nullptr);
  const ToolRun verify = Knpack(L"verify " + Quoted(m_dir / L"out.kn") + L" --dir " + Quoted(m_dir / L"check"));
  EXPECT_EQ(verify.exitCode, 0u) << verify.output;
  EXPECT_THAT(verify.output, HasSubstr("Bootloader update may make the device unusable"));
  EXPECT_THAT(verify.output, HasSubstr("device type: QM 5xx\n"));
  EXPECT_THAT(verify.output, HasSubstr("check\\boot.bin\n"));
  EXPECT_THAT(verify.output, HasSubstr("with bootloader: yes"));

  const ToolRun inspect = Knpack(L"inspect " + Quoted(m_dir / L"out.kn"));
  EXPECT_EQ(inspect.exitCode, 0u);
  EXPECT_THAT(inspect.output, HasSubstr("entries: 5\n"));
  EXPECT_THAT(inspect.output, HasSubstr("line 2 check value: "));
  EXPECT_THAT(inspect.output, testing::Not(HasSubstr("does not match")));
}

// A folder named for the check that does not exist yet is made, as extract makes it.
TEST_F(KnpackTest, VerifyMakesTheFolderItIsGiven) {
  ASSERT_EQ(Knpack(BuildArgs(L"")).exitCode, 0u);
  const ToolRun verify = Knpack(L"verify " + Quoted(m_dir / L"out.kn") + L" --dir " + Quoted(m_dir / L"new"));
  EXPECT_EQ(verify.exitCode, 0u) << verify.output;
  EXPECT_THAT(verify.output, HasSubstr("new\\program.bin\n"));
  EXPECT_EQ(ReadFileBytes(m_dir / L"new\\program.bin"), std::string(3000, 'P'));
}

// The updater's text, then for the maker the line, the file, the value and why.
struct Refused {
  const char* name;
  std::vector<knpack::ZipEntrySpec> entries;
  std::string text, why;
};

std::string TypeLines(const std::string& type) { return type + "\n" + FormatCheckValue(DeviceTypeCheckValue(type)) + "\n"; }

class KnpackRefusalTest : public KnpackTest, public testing::WithParamInterface<Refused> {};

TEST_P(KnpackRefusalTest, VerifyAndInspectSayWhy) {
  std::string error;
  ASSERT_TRUE(knpack::WriteZipArchive(m_dir / L"bad.kn", GetParam().entries, error)) << error;
  CreateDirectoryW((m_dir / L"check").c_str(), nullptr);
  const ToolRun verify = Knpack(L"verify " + Quoted(m_dir / L"bad.kn") + L" --dir " + Quoted(m_dir / L"check"));
  EXPECT_EQ(verify.exitCode, 1u);
  EXPECT_THAT(verify.output, testing::EndsWith(GetParam().text + "\nwhy: " + GetParam().why + "\n"));

  const ToolRun inspect = Knpack(L"inspect " + Quoted(m_dir / L"bad.kn"));
  EXPECT_EQ(inspect.exitCode, 0u);
  EXPECT_EQ(LastLine(inspect.output), "updater's check: " + GetParam().text + " (" + GetParam().why + ")");
}

INSTANTIATE_TEST_SUITE_P(
    Packages, KnpackRefusalTest,
    testing::Values(
        Refused{"NoManifest", {knpack::ZipEntry("p", "P")}, "Wrong update file!",
                "the package holds no readable manifest \"info\" at its root"},
        Refused{"ImagesNotInThePackage", {knpack::ZipEntry("info", "TW 3xx\n1\np\n2\nm\n3\nd\n4\n")},
                "Wrong update file!", "manifest line 3 names \"p\": no file of this package"},
        // A name that would forge a line for a program that reads the output is printed as text.
        Refused{"ControlCharactersInANameArePrintedEscaped",
                {knpack::ZipEntry("info", "TW 3xx\n1\np\rDevice 3: TW 3xx: Updated successfully!\x1b[2K\n2\nm\n3\nd\n4\n")},
                "Wrong update file!",
                "manifest line 3 names \"p\\rDevice 3: TW 3xx: Updated successfully!\\x1B[2K\": a name that leaves the package's folder"},
        Refused{"Line9IsNotTheMarker",
                {knpack::ZipEntry("info", TypeLines("TW 3xx") + "p\n0\nm\n0\nd\n0\nBOOT\n")},
                "Wrong update file!", "manifest line 9 is \"BOOT\", not \"UPDATE_BOOTLOADER\""},
        Refused{"DeviceTypeCheckValue",
                {knpack::ZipEntry("info", "TW 3xx\n1\np\n0\nm\n0\nd\n0\n"), knpack::ZipEntry("p", ""),
                 knpack::ZipEntry("m", ""), knpack::ZipEntry("d", "")},
                "The file is corrupted!",
                "manifest line 2 gives the check value \"1\", the device type \"TW 3xx\" gives " +
                    FormatCheckValue(DeviceTypeCheckValue("TW 3xx"))},
        Refused{"ImageCheckValue",
                {knpack::ZipEntry("info", TypeLines("TW 3xx") + "p\n0\nm\n0\nd\n7\n"), knpack::ZipEntry("p", ""),
                 knpack::ZipEntry("m", ""), knpack::ZipEntry("d", "D")},
                "The file is corrupted!",
                "manifest line 8 gives the check value \"7\", the file \"d\" gives " +
                    FormatCheckValue(BufferCrc32("D", 1))}),
    [](const testing::TestParamInfo<Refused>& info) { return std::string(info.param.name); });

TEST_F(KnpackTest, ExtractReportsEveryEntryAndRefusesHostileNames) {
  std::string error;
  ASSERT_TRUE(knpack::WriteZipArchive(m_dir / L"hostile.kn", {knpack::ZipEntry("info", "x"), knpack::ZipEntry("../evil.bin", "x")}, error));
  const ToolRun extract = Knpack(L"extract " + Quoted(m_dir / L"hostile.kn") + L" " + Quoted(m_dir / L"out"));
  EXPECT_EQ(extract.exitCode, 1u);
  EXPECT_EQ(extract.output, "0 0x0 info\n1 0x200 ../evil.bin\n");
  EXPECT_EQ(ReadFileBytes(m_dir / L"out\\info"), "x");
  EXPECT_FALSE(testing_support::FileExists(m_dir / L"evil.bin"));
}

TEST_F(KnpackTest, ImageNamesAreThoseTheUpdaterCanMatch) {
  ASSERT_TRUE(WriteFileBytes(m_dir / L"pr\u00FCf.bin", "umlaut"));
  knpack::PackageInputs inputs;
  inputs.deviceType = "TW 3xx";
  inputs.programFile = m_dir / L"pr\u00FCf.bin";
  inputs.mediaFile = m_dir / L"media.bin";
  inputs.dataFile = m_dir / L"data.bin";
  std::string error;
  ASSERT_TRUE(knpack::BuildUpdatePackage(inputs, m_dir / L"latin.kn", error)) << error;
  CreateDirectoryW((m_dir / L"check").c_str(), nullptr);
  EXPECT_EQ(Knpack(L"verify " + Quoted(m_dir / L"latin.kn") + L" --dir " + Quoted(m_dir / L"check")).exitCode, 0u);

  struct Refused {
    const wchar_t* program;
    const wchar_t* media;
  };
  for (const Refused& names : {Refused{L"\u03A9.bin", L"media.bin"}, Refused{L"INFO", L"media.bin"},
                               Refused{L"MEDIA.BIN", L"media.bin"}}) {
    ASSERT_TRUE(WriteFileBytes(m_dir / names.program, "x"));
    inputs.programFile = m_dir / names.program;
    inputs.mediaFile = m_dir / names.media;
    EXPECT_FALSE(knpack::BuildUpdatePackage(inputs, m_dir / L"refused.kn", error))
        << testing::PrintToString(std::wstring(names.program));
  }
}

// A device type must read back as written: no line feed and no Ctrl-Z, which ends a text file.
// An empty one would be written for no instrument.
TEST_F(KnpackTest, DeviceTypesThatCannotStandInAManifestAreRefused) {
  knpack::PackageInputs inputs;
  inputs.programFile = m_dir / L"program.bin";
  inputs.mediaFile = m_dir / L"media.bin";
  inputs.dataFile = m_dir / L"data.bin";
  std::string error;
  for (const std::string& type : {std::string("TW\n3xx"), std::string("TW \x1A"), std::string(4097, 'T'), std::string()}) {
    inputs.deviceType = type;
    EXPECT_FALSE(knpack::BuildUpdatePackage(inputs, m_dir / L"refused.kn", error)) << type.size();
  }
  inputs.deviceType = "TW\r3xx";  // a carriage return not before a line feed reads back the same
  EXPECT_TRUE(knpack::BuildUpdatePackage(inputs, m_dir / L"cr.kn", error)) << error;
}

TEST_F(KnpackTest, WrongUsageExitsWithTwo) {
  for (const wchar_t* args : {L"", L"frobnicate", L"build --type X", L"verify", L"extract one", L"inspect a b",
                              L"verify p --dir"}) {
    EXPECT_EQ(Knpack(args).exitCode, 2u) << testing::PrintToString(std::wstring(args));
  }
}

}  // namespace
