// The signature rule in whole updates: with a trusted maker's key beside the program, a package
// is taken only with that maker's signature over what it unpacks to, before any instrument is
// touched; what is then written are the very bytes hashed, held since their unpacking. Without
// trusted-keys.txt, a signed package is taken as any other.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "package/PackageCheck.h"
#include "procedure/ProcedureTexts.h"
#include "signing/SigningTexts.h"
#include "tests/procedure/ProcedureFixture.h"
#include "tests/support/Crc32Forgery.h"
#include "tests/support/TestFiles.h"
#include "tools/knpack/PackageSigning.h"
#include "tools/knpack/PackageWriter.h"

namespace {

using proceduretest::PackageImages;
using proceduretest::Pattern;
using proceduretest::ProcedureFixture;
using testing_support::ReadFileBytes;
using testing_support::WriteFileBytes;

class SignedPackageTest : public ProcedureFixture {
 public:  // the table of refusals arranges its cases through it
  void SetUp() override {
    ProcedureFixture::SetUp();
    AddDefaultInstruments();
    Refresh();
    Select(L"TW 3xx");
  }

  // A new key of a maker; its private key file.
  std::wstring MakeKey(const std::wstring& name) {
    const std::wstring prefix = m_scratch / name;
    std::wstring fingerprint, error;
    EXPECT_TRUE(knpack::WriteKeyPair(name, prefix, fingerprint, error)) << testing::PrintToString(error);
    return prefix + L".key";
  }
  void Trust(const std::wstring& keyFile) {
    const std::wstring pub = keyFile.substr(0, keyFile.size() - 4) + L".pub";
    ASSERT_TRUE(WriteFileBytes(TrustedKeysFile(), "# the makers this workstation takes firmware from\n" + ReadFileBytes(pub)));
  }
  std::wstring Signed(const std::wstring& package, const std::wstring& keyFile) {
    std::wstring signer, error;
    EXPECT_TRUE(knpack::SignPackage(package, keyFile, package, signer, error)) << testing::PrintToString(error);
    return package;
  }
  // The package's entries again, with the program image changed by change.
  std::wstring Rewritten(const std::wstring& package, const std::function<std::string(const std::string&)>& change) {
    const std::wstring folder = m_scratch / (L"rewrite" + std::to_wstring(++m_rewrites) + L"\\");
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<knpack::ZipEntrySpec> entries;
    for (const ExtractedEntry& entry : ExtractPackage(package, folder)) {
      std::string bytes = ReadFileBytes(folder + entry.name);
      if (entry.name == std::wstring(L"program.bin")) bytes = change(bytes);
      entries.push_back(knpack::ZipEntry(std::string(entry.name.begin(), entry.name.end()), bytes));
    }
    const std::wstring path = folder + L"rewritten.kn";
    std::string error;
    EXPECT_TRUE(knpack::WriteZipArchive(path, entries, error)) << error;
    return path;
  }

  // Nothing of the instrument was touched: no frame to it, no DFU call of a write.
  void ExpectUntouched() {
    EXPECT_TRUE(UsbFrames().empty());
    EXPECT_THAT(DfuCalls(L"tw"), testing::Each(testing::Not(testing::HasSubstr("write"))));
    EXPECT_TRUE(Erased(L"tw", sim::Memory::kFlash, 0x4000, 0x3C000));
  }

  int m_rewrites = 0;
};

TEST_F(SignedPackageTest, APackageSignedByATrustedMakerIsWrittenAndRecordedWithItsSigner) {
  const std::wstring key = MakeKey(L"Maker A");
  Trust(key);
  Download(Signed(MakePackage(PackageImages()), key));
  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  ASSERT_FALSE(m_host.records.empty());
  EXPECT_EQ(m_host.records.back().signer, L"Maker A");
}

struct Refusal {
  const char* name;
  // Arranges the keys and returns the package to download.
  std::function<std::wstring(SignedPackageTest&)> arrange;
  const wchar_t* message;
};

class SignatureRefusalTest : public SignedPackageTest, public testing::WithParamInterface<Refusal> {};

TEST_P(SignatureRefusalTest, IsRefusedBeforeTheInstrumentIsTouched) {
  const Refusal& c = GetParam();
  Download(c.arrange(*this));
  EXPECT_EQ(m_host.messages, std::vector<std::wstring>{c.message});
  EXPECT_TRUE(m_host.records.empty()) << "a refused package leaves no record, as any other";
  ExpectUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Packages, SignatureRefusalTest,
    testing::Values(
        Refusal{"Unsigned",
                [](SignedPackageTest& t) {
                  t.Trust(t.MakeKey(L"Maker A"));
                  return t.MakePackage(PackageImages());
                },
                texts::kNotSigned},
        Refusal{"SignedByAMakerNotTrusted",
                [](SignedPackageTest& t) {
                  t.Trust(t.MakeKey(L"Maker A"));
                  return t.Signed(t.MakePackage(PackageImages()), t.MakeKey(L"Maker B"));
                },
                texts::kNotSignedByTrustedMaker},
        // An image changed with its CRC-32 kept passes the manifest's check, not the signature's.
        Refusal{"ProgramChangedWithItsCrc32Kept",
                [](SignedPackageTest& t) {
                  const std::wstring key = t.MakeKey(L"Maker A");
                  t.Trust(key);
                  return t.Rewritten(t.Signed(t.MakePackage(PackageImages()), key), &ForgeKeepingCrc32);
                },
                texts::kDoesNotMatchSignature}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

// No trusted key: a signed package is taken as any other, and nothing is said of its signer.
TEST_F(SignedPackageTest, WithoutATrustedKeyASignedPackageIsTakenAsAnyOther) {
  Download(Signed(MakePackage(PackageImages()), MakeKey(L"Maker A")));
  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  ASSERT_FALSE(m_host.records.empty());
  EXPECT_EQ(m_host.records.back().signer, L"");
}

// The images lie unpacked for minutes before they are written: held since their unpacking,
// none can be changed meanwhile, not even with its CRC-32 kept; what is written is what the
// maker signed.
TEST_F(SignedPackageTest, AnImageCannotBeChangedBeforeTheWrites) {
  const std::wstring key = MakeKey(L"Maker A");
  Trust(key);
  const PackageImages images;
  m_host.beforeWorker = [&] {
    const std::wstring program = PackageFolder() + L"program.bin";
    EXPECT_FALSE(WriteFileBytes(program, ForgeKeepingCrc32(ReadFileBytes(program))));
  };
  Download(Signed(MakePackage(images), key));
  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  EXPECT_EQ(Memory(L"tw", sim::Memory::kFlash, 0x4000, 0x3C000), images.program);
}

// The manifest is read once: the bytes parsed are the bytes the signature covers. While the
// bootloader question waits, nobody can put another manifest (another device type) in place
// of the signed one and put it back after.
TEST_F(SignedPackageTest, TheManifestCannotBeSwappedWhileTheBootloaderQuestionWaits) {
  const std::wstring key = MakeKey(L"Maker A");
  Trust(key);
  PackageImages images;
  images.bootloader = Pattern(0x800, 5);
  int asked = 0;
  m_host.onMessage = [&](const std::wstring& text) {
    if (text != texts::kBootloaderWarning) return;
    ++asked;
    const std::wstring info = PackageFolder() + L"info";
    EXPECT_FALSE(WriteFileBytes(info, "QM 5xx\n0\n"));
    EXPECT_FALSE(MoveFileW(info.c_str(), (info + L".signed").c_str()));
  };
  Download(Signed(MakePackage(images), key));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(m_host.messages.back(), texts::kUpdatedSuccessfully);
  EXPECT_EQ(m_session.Package().deviceType, L"TW 3xx");
}

}  // namespace
