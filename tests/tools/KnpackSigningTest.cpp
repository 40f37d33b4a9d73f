// Keys and signatures with the package tool as makers run it: keygen, sign, build --sign,
// inspect and verify --trusted, their output and their exit codes.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "tests/support/TestFiles.h"
#include "tests/tools/KnpackRun.h"
#include "tools/knpack/PackageWriter.h"

namespace {

using testing::HasSubstr;
using testing::EndsWith;
using testing::Not;
using testing::StartsWith;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::ScratchDirectory;
using testing_support::WriteFileBytes;

using knpack_run::Knpack;
using knpack_run::LastLine;
using knpack_run::Quoted;
using knpack_run::ToolRun;

// An entry as the archive describes it, with the bytes it unpacks to.
struct EntryView {
  std::wstring name;
  DWORD attributes;
  std::uint64_t compressedSize, uncompressedSize;
  FILETIME writeTime;
};

std::vector<EntryView> Describe(const std::wstring& package) {
  std::vector<EntryView> views;
  archive::ArchiveReader reader;
  archive::ArchiveEntry summary;
  if (reader.Open(package) != archive::kArchiveOk || reader.GetEntry(-1, summary) != archive::kArchiveOk) return views;
  for (int i = 0; i < summary.index; ++i) {
    archive::ArchiveEntry entry;
    reader.GetEntry(i, entry);
    views.push_back({entry.name, entry.attributes, entry.compressedSize, entry.uncompressedSize, entry.writeTime});
  }
  return views;
}

class KnpackSigningTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(m_dir / L"program.bin", testing_support::PatternBytes(30000, 1)));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"media.bin", testing_support::PatternBytes(5000, 2)));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"data.bin", "D"));
  }

  std::wstring Path(const std::wstring& name) const { return Quoted(m_dir / name); }

  // keygen for maker; its fingerprint as keygen printed it.
  std::string Keygen(const std::wstring& maker, const std::wstring& name) {
    const ToolRun run = Knpack(L"keygen --name " + Quoted(name) + L" -o " + Path(maker));
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    const std::size_t at = run.output.find("\nkey ");
    return at == std::string::npos ? std::string() : run.output.substr(at + 5, 32);
  }

  std::wstring BuildArgs(const std::wstring& output) const {
    return L"build --type \"TW 3xx\" --program " + Path(L"program.bin") + L" --media " + Path(L"media.bin") +
           L" --data " + Path(L"data.bin") + L" -o " + Path(output);
  }

  ToolRun Verify(const std::wstring& package, const std::wstring& trusted) {
    const std::wstring check = m_dir / (L"check" + std::to_wstring(m_checks++));
    CreateDirectoryW(check.c_str(), nullptr);
    return Knpack(L"verify " + Path(package) + L" --dir " + Quoted(check) + L" --trusted " + Path(trusted));
  }

  ScratchDirectory m_dir;
  int m_checks = 0;
};

TEST_F(KnpackSigningTest, KeygenSignInspectVerify) {
  const std::string fingerprint = Keygen(L"acme", L"ACME Instruments");
  EXPECT_EQ(fingerprint.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(fingerprint.size(), 32u);
  // One line each: tag, base64 of 64 (public) or 96 (private) bytes, the name.
  const std::string publicLine = ReadFileBytes(m_dir / L"acme.pub");
  EXPECT_THAT(publicLine, StartsWith("kn-ecdsa-p256 "));
  EXPECT_THAT(publicLine, EndsWith("== ACME Instruments\n"));
  EXPECT_EQ(publicLine.size(), 14 + 88 + 18u);
  const std::string privateLine = ReadFileBytes(m_dir / L"acme.key");
  // The private key starts with X || Y: its first 63 bytes are the public line's first 84 characters.
  EXPECT_THAT(privateLine, StartsWith("kn-ecdsa-p256-private " + publicLine.substr(14, 84)));
  EXPECT_THAT(privateLine, EndsWith(" ACME Instruments\n"));
  EXPECT_EQ(privateLine.size(), 22 + 128 + 18u);

  ASSERT_EQ(Knpack(BuildArgs(L"out.kn")).exitCode, 0u);
  const ToolRun unsignedInspect = Knpack(L"inspect " + Path(L"out.kn"));
  EXPECT_THAT(unsignedInspect.output, HasSubstr("\nsignature: unsigned\n"));

  const ToolRun sign = Knpack(L"sign " + Path(L"out.kn") + L" --key " + Path(L"acme.key"));
  ASSERT_EQ(sign.exitCode, 0u) << sign.output;
  EXPECT_THAT(sign.output, HasSubstr("signed by ACME Instruments (key " + fingerprint + ")"));

  const ToolRun inspect = Knpack(L"inspect " + Path(L"out.kn"));
  EXPECT_EQ(inspect.exitCode, 0u);
  EXPECT_THAT(inspect.output, HasSubstr("entries: 5\n"));
  EXPECT_THAT(inspect.output, HasSubstr("\nsigner: ACME Instruments\nkey: " + fingerprint + "\n"
                                        "sha256 info: matches\nsha256 program.bin: matches\n"
                                        "sha256 media.bin: matches\nsha256 data.bin: matches\n"));
  EXPECT_THAT(inspect.output, Not(HasSubstr("does not match")));

  // The same entries with another program image: inspect names the digest that differs.
  ASSERT_EQ(Knpack(L"extract " + Path(L"out.kn") + L" " + Path(L"x")).exitCode, 0u);
  std::vector<knpack::ZipEntrySpec> entries;
  for (const std::wstring name : {L"info", L"program.bin", L"media.bin", L"data.bin", L"info.sig"}) {
    entries.push_back(knpack::ZipEntry(std::string(name.begin(), name.end()), ReadFileBytes(m_dir / (L"x\\" + name))));
  }
  entries[1].data[0] ^= 1;
  std::string error;
  ASSERT_TRUE(knpack::WriteZipArchive(m_dir / L"changed.kn", entries, error)) << error;
  EXPECT_THAT(Knpack(L"inspect " + Path(L"changed.kn")).output,
              HasSubstr("sha256 info: matches\nsha256 program.bin: does not match, computed "));

  ASSERT_TRUE(WriteFileBytes(m_dir / L"trusted-keys.txt", "# our makers\r\n" + publicLine));
  const ToolRun verify = Verify(L"out.kn", L"trusted-keys.txt");
  EXPECT_EQ(verify.exitCode, 0u) << verify.output;
  EXPECT_THAT(verify.output, HasSubstr("line 2 of "));
  EXPECT_EQ(LastLine(verify.output), "signed by ACME Instruments");
}

// Every entry stays as it was stored; a second signature replaces the first.
TEST_F(KnpackSigningTest, SignCopiesEveryEntryAndReplacesAnEarlierSignature) {
  Keygen(L"acme", L"ACME Instruments");
  Keygen(L"other", L"Other Maker");
  ASSERT_EQ(Knpack(BuildArgs(L"plain.kn")).exitCode, 0u);
  // The tool's entries as they unpack, and one it did not write: stored, read-only, with an
  // extended timestamp, in a folder.
  ASSERT_EQ(Knpack(L"extract " + Path(L"plain.kn") + L" " + Path(L"x")).exitCode, 0u);
  std::vector<knpack::ZipEntrySpec> entries;
  for (const EntryView& view : Describe(m_dir / L"plain.kn")) {
    const std::string name(view.name.begin(), view.name.end());
    entries.push_back(knpack::ZipEntry(name, ReadFileBytes(m_dir / (L"x\\" + view.name))));
  }
  ASSERT_EQ(entries.size(), 4u);
  knpack::ZipEntrySpec notes = knpack::ZipEntry("docs/notes.txt", "release notes");
  notes.deflate = false;
  notes.externalAttributes = 0x21;
  notes.localExtra = knpack::ExtendedTimestampField(1622548800);
  entries.push_back(notes);
  std::string error;
  ASSERT_TRUE(knpack::WriteZipArchive(m_dir / L"mixed.kn", entries, error)) << error;
  const std::string original = ReadFileBytes(m_dir / L"mixed.kn");

  ToolRun sign = Knpack(L"sign " + Path(L"mixed.kn") + L" --key " + Path(L"acme.key") + L" -o " + Path(L"signed.kn"));
  ASSERT_EQ(sign.exitCode, 0u) << sign.output;
  EXPECT_EQ(ReadFileBytes(m_dir / L"mixed.kn"), original);  // -o leaves the package alone
  sign = Knpack(L"sign " + Path(L"signed.kn") + L" --key " + Path(L"other.key"));
  ASSERT_EQ(sign.exitCode, 0u) << sign.output;

  const std::vector<EntryView> before = Describe(m_dir / L"mixed.kn");
  const std::vector<EntryView> after = Describe(m_dir / L"signed.kn");
  ASSERT_EQ(after.size(), before.size() + 1);
  for (std::size_t i = 0; i < before.size(); ++i) {
    SCOPED_TRACE(testing::PrintToString(before[i].name));
    EXPECT_EQ(after[i].name, before[i].name);
    EXPECT_EQ(after[i].attributes, before[i].attributes);
    EXPECT_EQ(after[i].compressedSize, before[i].compressedSize);
    EXPECT_EQ(after[i].uncompressedSize, before[i].uncompressedSize);
    EXPECT_EQ(CompareFileTime(&after[i].writeTime, &before[i].writeTime), 0);
  }
  EXPECT_EQ(after.back().name, std::wstring(L"info.sig"));
  const ToolRun inspect = Knpack(L"inspect " + Path(L"signed.kn"));
  EXPECT_THAT(inspect.output, HasSubstr("\nsigner: Other Maker\n"));
  EXPECT_THAT(inspect.output, Not(HasSubstr("does not match")));
  WIN32_FIND_DATAW found;
  const HANDLE leftover = FindFirstFileW((m_dir / L"*.tmp").c_str(), &found);
  EXPECT_EQ(leftover, INVALID_HANDLE_VALUE) << "the temporary archive stayed behind";
  if (leftover != INVALID_HANDLE_VALUE) FindClose(leftover);
}

struct VerifyCase {
  const char* label;
  const wchar_t* package;
  const char* trusted;  // "ACME" stands for ACME's public key line; nullptr: no such file
  unsigned exitCode;
  const char* lastLine;  // nullptr: none in particular
  const char* detail;
};

TEST_F(KnpackSigningTest, VerifyAppliesTheUpdatersRule) {
  Keygen(L"acme", L"ACME Instruments");
  Keygen(L"other", L"Other Maker");
  ASSERT_EQ(Knpack(BuildArgs(L"unsigned.kn")).exitCode, 0u);
  ASSERT_EQ(Knpack(L"sign " + Path(L"unsigned.kn") + L" --key " + Path(L"acme.key") + L" -o " + Path(L"acme.kn")).exitCode, 0u);
  ASSERT_EQ(Knpack(L"sign " + Path(L"unsigned.kn") + L" --key " + Path(L"other.key") + L" -o " + Path(L"other.kn")).exitCode, 0u);
  const std::string acme = ReadFileBytes(m_dir / L"acme.pub");

  const VerifyCase cases[] = {
      {"trusted", L"acme.kn", "ACME", 0, "signed by ACME Instruments", "signature: signed by ACME Instruments with key"},
      {"unsigned", L"unsigned.kn", "ACME", 1, "The update file is not signed!", "has no entry info.sig"},
      {"other maker", L"other.kn", "ACME", 1, "The update file is not signed by a trusted maker!", "(signer Other Maker)"},
      {"a damaged line in the trusted keys", L"acme.kn", "ACMEkn-ecdsa-p256 QUJD ACME\n", 1,
       "The update file is not signed by a trusted maker!", "trusted-keys.txt line 2: the key is not the base64 text"},
      // Only a missing file means that signatures are not in use; one that names nobody refuses all.
      {"no trusted key", L"unsigned.kn", "# none yet\n", 1, "The update file is not signed by a trusted maker!",
       "trusted-keys.txt names no key"},
      {"the only key commented out", L"acme.kn", "# ACME", 1, "The update file is not signed by a trusted maker!",
       "trusted-keys.txt names no key"},
      {"an empty trusted-keys file", L"acme.kn", "", 1, "The update file is not signed by a trusted maker!",
       "trusted-keys.txt names no key"},
      {"no trusted-keys file", L"unsigned.kn", nullptr, 0, nullptr, "trusted-keys.txt does not exist"},
  };
  for (const VerifyCase& c : cases) {
    SCOPED_TRACE(c.label);
    DeleteFileW((m_dir / L"trusted-keys.txt").c_str());
    if (c.trusted != nullptr) {
      std::string trusted = c.trusted;
      const std::size_t at = trusted.find("ACME");
      if (at != std::string::npos) trusted.replace(at, 4, acme);
      ASSERT_TRUE(WriteFileBytes(m_dir / L"trusted-keys.txt", trusted));
    }
    const ToolRun run = Verify(c.package, L"trusted-keys.txt");
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    if (c.lastLine != nullptr) {
      EXPECT_EQ(LastLine(run.output), c.lastLine);
    }
    EXPECT_THAT(run.output, HasSubstr(c.detail));
  }
}

// A signature an earlier package left in the folder, read-only, is never taken for this one's.
TEST_F(KnpackSigningTest, AnOldReadOnlySignatureInTheFolderIsNotTheUnsignedPackages) {
  Keygen(L"acme", L"ACME Instruments");
  ASSERT_EQ(Knpack(BuildArgs(L"unsigned.kn")).exitCode, 0u);
  ASSERT_EQ(Knpack(L"sign " + Path(L"unsigned.kn") + L" --key " + Path(L"acme.key") + L" -o " + Path(L"acme.kn")).exitCode, 0u);
  ASSERT_TRUE(WriteFileBytes(m_dir / L"trusted-keys.txt", ReadFileBytes(m_dir / L"acme.pub")));
  const std::wstring folder = m_dir / L"check";
  const std::wstring args = L" --dir " + Quoted(folder) + L" --trusted " + Path(L"trusted-keys.txt");
  ASSERT_EQ(Knpack(L"verify " + Path(L"acme.kn") + args).exitCode, 0u);
  ASSERT_TRUE(SetFileAttributesW((folder + L"\\info.sig").c_str(), FILE_ATTRIBUTE_READONLY));

  const ToolRun run = Knpack(L"verify " + Path(L"unsigned.kn") + args);
  EXPECT_EQ(run.exitCode, 1u) << run.output;
  EXPECT_EQ(LastLine(run.output), "The update file is not signed!");
}

TEST_F(KnpackSigningTest, BuildSignsWhenAskedAndLeavesNothingWhenItCannot) {
  Keygen(L"acme", L"ACME Instruments");
  ToolRun build = Knpack(BuildArgs(L"signed.kn") + L" --sign " + Path(L"acme.key"));
  ASSERT_EQ(build.exitCode, 0u) << build.output;
  EXPECT_THAT(build.output, HasSubstr("signed by ACME Instruments"));
  ASSERT_TRUE(WriteFileBytes(m_dir / L"trusted-keys.txt", ReadFileBytes(m_dir / L"acme.pub")));
  EXPECT_EQ(LastLine(Verify(L"signed.kn", L"trusted-keys.txt").output), "signed by ACME Instruments");

  // The public key cannot sign: no unsigned package is left where a signed one was asked for.
  build = Knpack(BuildArgs(L"refused.kn") + L" --sign " + Path(L"acme.pub"));
  EXPECT_EQ(build.exitCode, 1u);
  EXPECT_THAT(build.output, HasSubstr("acme.pub line 1: a public key; sign with the private key file"));
  EXPECT_FALSE(FileExists(m_dir / L"refused.kn"));
}

TEST_F(KnpackSigningTest, RefusalsSayWhatAndWhy) {
  Keygen(L"acme", L"ACME Instruments");
  const std::string key = ReadFileBytes(m_dir / L"acme.key");
  std::string error;
  ASSERT_TRUE(knpack::WriteZipArchive(m_dir / L"bad.kn", {knpack::ZipEntry("info", "TW 3xx\n1\n")}, error));
  ASSERT_TRUE(WriteFileBytes(m_dir / L"broken.key", "kn-ecdsa-p256-private AAAA ACME\n"));

  struct Case {
    const char* label;
    std::wstring args;
    unsigned exitCode;
    const char* says;
  };
  const Case cases[] = {
      {"key files are never replaced", L"keygen --name Again -o " + Path(L"acme"), 1, "acme.key exists already"},
      {"a line feed in the name", L"keygen --name \"ACME\nEvil\" -o " + Path(L"evil"), 1, "control character"},
      {"a tab in the name", L"keygen --name \"ACME\tEvil\" -o " + Path(L"evil"), 1, "control character"},
      {"a comment sign in the name", L"keygen --name \"ACME #2\" -o " + Path(L"evil"), 1, "'#'"},
      {"a package the check refuses", L"sign " + Path(L"bad.kn") + L" --key " + Path(L"acme.key"), 1,
       "the updater's package check refuses it: Wrong update file!"},
      {"a damaged key file", L"sign " + Path(L"bad.kn") + L" --key " + Path(L"broken.key"), 1,
       "broken.key line 1: the key is not the base64 text of 96 bytes"},
      {"a missing key file", L"sign " + Path(L"bad.kn") + L" --key " + Path(L"none.key"), 1, "cannot read the key file"},
      {"sign without a key", L"sign " + Path(L"bad.kn"), 2, "usage"},
      {"keygen without a prefix", L"keygen --name ACME", 2, "usage"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const ToolRun run = Knpack(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_THAT(run.output, HasSubstr(c.says));
  }
  EXPECT_EQ(ReadFileBytes(m_dir / L"acme.key"), key);
  EXPECT_FALSE(FileExists(m_dir / L"evil.key"));
  EXPECT_FALSE(FileExists(m_dir / L"evil.pub"));
}

}  // namespace
