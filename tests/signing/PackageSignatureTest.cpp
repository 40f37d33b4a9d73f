// The updater's signature rule on packages made in the test with the package tool's library:
// keys from keygen, packages built and signed, then damaged, forged or re-signed the way an
// attacker or an accident would, unpacked by the package check, and judged by the rule.
#include "signing/PackageSignature.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "package/Crc32.h"
#include "package/ManifestFile.h"
#include "package/PackageCheck.h"
#include "package/UpdateManifest.h"
#include "signing/EcdsaP256.h"
#include "signing/KeyText.h"
#include "signing/Sha256.h"
#include "signing/SigningTexts.h"
#include "tests/support/Crc32Forgery.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TestFiles.h"
#include "tools/knpack/PackageSigning.h"
#include "tools/knpack/PackageWriter.h"

namespace signing {
// Verdicts by name in failure messages.
void PrintTo(SignatureVerdict verdict, std::ostream* os) {
  static const char* const kNames[] = {"kNotChecked", "kAccepted", "kNotSigned", "kNotTrusted", "kMismatch"};
  *os << kNames[static_cast<int>(verdict)];
}
}  // namespace signing

namespace {

using signing::SignatureVerdict;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing_support::ReadFileBytes;
using testing_support::ScratchDirectory;
using testing_support::WriteFileBytes;

// The makers' keys, made once: ACME's is trusted, the stranger's is not.
class MakerKeys {
 public:
  MakerKeys() {
    std::wstring fingerprint, error;
    EXPECT_TRUE(knpack::WriteKeyPair(L"ACME Instruments", m_dir / L"acme", fingerprint, error)) << testing::PrintToString(error);
    EXPECT_TRUE(knpack::WriteKeyPair(L"Stranger", m_dir / L"stranger", fingerprint, error)) << testing::PrintToString(error);
  }
  std::wstring Key(const wchar_t* maker) const { return m_dir / (std::wstring(maker) + L".key"); }
  std::string PublicLine(const wchar_t* maker) const { return ReadFileBytes(m_dir / (std::wstring(maker) + L".pub")); }

  signing::KeyLine PrivateKey(const wchar_t* maker) const {
    std::vector<signing::KeyFileLine> keys;
    std::vector<signing::KeyFileProblem> problems;
    signing::ParseKeyFile(ReadFileBytes(Key(maker)), keys, problems);
    EXPECT_EQ(keys.size(), 1u);
    return keys.empty() ? signing::KeyLine() : keys.front().key;
  }

 private:
  ScratchDirectory m_dir;
};

// A package as its entries, to be changed and written again.
using Entries = std::vector<knpack::ZipEntrySpec>;

template <typename EntryList>
auto Find(EntryList& entries, const std::string& name) -> decltype(&entries[0]) {
  for (auto& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

class PackageSignatureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_keys = new MakerKeys(); }
  static void TearDownTestSuite() {
    delete s_keys;
    s_keys = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(WriteFileBytes(m_dir / L"p.bin", testing_support::PatternBytes(20000, 1)));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"m.bin", testing_support::PatternBytes(5000, 2)));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"d.bin", testing_support::PatternBytes(300, 3)));
    ASSERT_TRUE(WriteFileBytes(m_dir / L"b.bin", testing_support::PatternBytes(1000, 4)));
  }

  std::wstring NewPath() { return m_dir / (L"package" + std::to_wstring(m_count++) + L".kn"); }

  // Built by "knpack build", signed by "knpack sign" with maker's key unless maker is null.
  std::wstring Package(const wchar_t* maker, bool withBootloader = false) {
    knpack::PackageInputs inputs;
    inputs.deviceType = "TW 3xx";
    inputs.programFile = m_dir / L"p.bin";
    inputs.mediaFile = m_dir / L"m.bin";
    inputs.dataFile = m_dir / L"d.bin";
    if (withBootloader) inputs.bootloaderFile = m_dir / L"b.bin";
    const std::wstring path = NewPath();
    std::string error;
    EXPECT_TRUE(knpack::BuildUpdatePackage(inputs, path, error)) << error;
    std::wstring signer, signError;
    if (maker != nullptr) {
      EXPECT_TRUE(knpack::SignPackage(path, s_keys->Key(maker), path, signer, signError)) << testing::PrintToString(signError);
    }
    return path;
  }

  // Every entry of a package as the updater unpacks it.
  Entries Unpack(const std::wstring& package) {
    const std::wstring folder = m_dir / (L"unpacked" + std::to_wstring(m_count++) + L"\\");
    CreateDirectoryW(folder.c_str(), nullptr);
    Entries entries;
    for (const ExtractedEntry& entry : ExtractPackage(package, folder)) {
      std::string name(entry.name.begin(), entry.name.end());
      entries.push_back(knpack::ZipEntry(name, ReadFileBytes(folder + entry.name)));
    }
    return entries;
  }

  std::wstring Repack(const Entries& entries) {
    const std::wstring path = NewPath();
    std::string error;
    EXPECT_TRUE(knpack::WriteZipArchive(path, entries, error)) << error;
    return path;
  }

  // An info.sig made by maker's key over the digests of the named entries of entries.
  static std::string SignatureOver(const Entries& entries, const std::vector<std::string>& names) {
    const signing::KeyLine key = s_keys->PrivateKey(L"acme");
    std::vector<signing::SignedDigest> digests;
    for (const std::string& name : names) {
      signing::SignedDigest digest;
      digest.name = name;
      const knpack::ZipEntrySpec* entry = Find(entries, name);
      EXPECT_NE(entry, nullptr) << name;
      if (entry != nullptr) signing::BufferSha256(entry->data.data(), entry->data.size(), digest.digest);
      digests.push_back(digest);
    }
    signing::KeyFingerprint fingerprint;
    signing::FingerprintOf(key.publicKey, fingerprint);
    const std::string signedPart = signing::ComposeSignedPart(key.name, fingerprint, digests);
    signing::Sha256Digest digest;
    signing::BufferSha256(signedPart.data(), signedPart.size(), digest);
    signing::Signature signature;
    EXPECT_TRUE(BCRYPT_SUCCESS(signing::SignDigest(key.privateKey, digest, signature)));
    return signing::ComposeSignatureEntry(signedPart, signature);
  }

  // The package check, which must pass, then the rule with trustedText as trusted-keys.txt.
  signing::SignatureCheck Check(const std::wstring& package, const std::string& trustedText,
                                std::vector<signing::NamedEntry> (*names)(const UpdateManifest&) = knpack::SignedEntryNames) {
    signing::TrustedKeys trusted;
    trusted.LoadText(trustedText);
    return CheckWith(package, trusted, names);
  }
  // The same with trusted as it was loaded (a default one: no trusted-keys.txt at all).
  signing::SignatureCheck CheckWith(const std::wstring& package, const signing::TrustedKeys& trusted,
                                    std::vector<signing::NamedEntry> (*names)(const UpdateManifest&) = knpack::SignedEntryNames) {
    m_folder = m_dir / (L"check" + std::to_wstring(m_count++) + L"\\");
    CreateDirectoryW(m_folder.c_str(), nullptr);
    {
      MessageRecorder host;
      PreparedPackage prepared;  // holds what it unpacked until it goes
      EXPECT_TRUE(PrepareUpdatePackage(host, package, m_folder, prepared)) << testing::PrintToString(host.messages);
    }
    UpdateManifest manifest;
    EXPECT_EQ(ReadManifestFile(m_folder + L"info", manifest), ManifestFileResult::kRead);
    return signing::CheckPackageSignature(trusted, m_folder, names(manifest));
  }

  static std::string Trusted() { return "# the makers this workstation trusts\r\n" + s_keys->PublicLine(L"acme"); }

  static MakerKeys* s_keys;
  ScratchDirectory m_dir;
  std::wstring m_folder;
  int m_count = 0;
};

MakerKeys* PackageSignatureTest::s_keys = nullptr;

TEST_F(PackageSignatureTest, SignedByATrustedMakerIsAcceptedWithTheDigestsTheWorkerCompares) {
  const signing::SignatureCheck check = Check(Package(L"acme", true), Trusted());
  EXPECT_EQ(check.verdict, SignatureVerdict::kAccepted) << testing::PrintToString(check.detail);
  EXPECT_EQ(check.signer, L"ACME Instruments");
  EXPECT_EQ(check.entry, "");
  EXPECT_EQ(signing::SignatureRefusalText(check.verdict), nullptr);
  std::vector<std::string> names;
  for (const signing::SignedDigest& digest : check.signedDigests) {
    names.push_back(digest.name);
    signing::Sha256Digest image;
    ASSERT_TRUE(signing::FileSha256(m_folder + std::wstring(digest.name.begin(), digest.name.end()), image));
    EXPECT_EQ(digest.digest, image) << digest.name;
  }
  EXPECT_THAT(names, ElementsAre("info", "p.bin", "m.bin", "d.bin", "b.bin"));
}

// The trusted-keys.txt the technician may mistype: trusted by its name there, not by the name
// the package claims.
TEST_F(PackageSignatureTest, TheSignerIsNamedAsTrustedKeysNamesTheKey) {
  std::string trusted = s_keys->PublicLine(L"acme");
  Replace(trusted, "ACME Instruments", "ACME (service key)");
  const signing::SignatureCheck check = Check(Package(L"acme"), trusted);
  EXPECT_EQ(check.verdict, SignatureVerdict::kAccepted);
  EXPECT_EQ(check.signer, L"ACME (service key)");
}

struct Refusal {
  const char* label;
  const wchar_t* maker;  // who signs the package first (with a bootloader section)
  // What happens to its entries afterwards.
  std::function<void(Entries&)> change;
  SignatureVerdict verdict;
  std::string entry;  // the entry named as differing, if one
  const wchar_t* text;
};

TEST_F(PackageSignatureTest, RefusedBeforeAnyInstrumentIsTouched) {
  const auto signatureLine = [](Entries& e, const std::string& from, const std::string& to) {
    Replace(Find(e, "info.sig")->data, from, to);
  };
  const Refusal cases[] = {
      {"unsigned", L"acme", [](Entries& e) { e.erase(e.begin() + 5); }, SignatureVerdict::kNotSigned, "",
       texts::kNotSigned},
      {"a folder in the signature's place", L"acme",
       [](Entries& e) { e[5] = knpack::ZipEntry("info.sig/readme.txt", "x"); }, SignatureVerdict::kNotSigned, "",
       texts::kNotSigned},
      {"signed by an untrusted key", L"stranger", [](Entries&) {}, SignatureVerdict::kNotTrusted, "",
       texts::kNotSignedByTrustedMaker},
      {"damaged signature", L"acme",
       [&](Entries& e) {
         std::string& sig = Find(e, "info.sig")->data;
         const std::size_t at = sig.rfind("signature ") + 30;
         sig[at] = sig[at] == 'A' ? 'B' : 'A';
       },
       SignatureVerdict::kMismatch, "", texts::kDoesNotMatchSignature},
      {"signer renamed after signing", L"acme", [&](Entries& e) { signatureLine(e, "signer ACME", "signer ACMF"); },
       SignatureVerdict::kMismatch, "", texts::kDoesNotMatchSignature},
      {"signature entry with Windows line ends", L"acme", [&](Entries& e) { signatureLine(e, "\nsigner", "\r\nsigner"); },
       SignatureVerdict::kMismatch, "", texts::kDoesNotMatchSignature},
      {"manifest changed after signing", L"acme",
       [](Entries& e) {
         // Another device type with its check value: the package check still passes.
         std::string& manifest = Find(e, "info")->data;
         Replace(manifest, "TW 3xx\r\n" + FormatCheckValue(DeviceTypeCheckValue("TW 3xx")),
                 "QM 5xx\r\n" + FormatCheckValue(DeviceTypeCheckValue("QM 5xx")));
       },
       SignatureVerdict::kMismatch, "info", texts::kDoesNotMatchSignature},
      {"program changed with its CRC-32 kept", L"acme",
       [](Entries& e) { Find(e, "p.bin")->data = ForgeKeepingCrc32(Find(e, "p.bin")->data); },
       SignatureVerdict::kMismatch, "p.bin", texts::kDoesNotMatchSignature},
      {"bootloader changed with its CRC-32 kept", L"acme",
       [](Entries& e) { Find(e, "b.bin")->data = ForgeKeepingCrc32(Find(e, "b.bin")->data); },
       SignatureVerdict::kMismatch, "b.bin", texts::kDoesNotMatchSignature},
      {"data image not covered by the trusted maker's signature", L"acme",
       [](Entries& e) { Find(e, "info.sig")->data = SignatureOver(e, {"info", "p.bin", "m.bin", "b.bin"}); },
       SignatureVerdict::kMismatch, "d.bin", texts::kDoesNotMatchSignature},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.label);
    Entries entries = Unpack(Package(c.maker, true));
    ASSERT_EQ(entries.size(), 6u);
    ASSERT_EQ(entries[5].name, "info.sig");
    c.change(entries);
    const signing::SignatureCheck check = Check(Repack(entries), Trusted());
    EXPECT_EQ(check.verdict, c.verdict);
    EXPECT_EQ(check.entry, c.entry);
    EXPECT_STREQ(signing::SignatureRefusalText(check.verdict), c.text);
    EXPECT_THAT(check.signedDigests, IsEmpty());
  }
}

// The forged images really are what the CRC-32 cannot see.
TEST(Crc32ForgeryTest, TheForgedImageDiffersAndKeepsItsCrc32) {
  for (std::size_t length : {5u, 1000u, 20000u}) {
    const std::string image = testing_support::PatternBytes(length, 9);
    const std::string forged = ForgeKeepingCrc32(image);
    EXPECT_NE(forged, image);
    EXPECT_EQ(forged.size(), image.size());
    EXPECT_EQ(BufferCrc32(forged.data(), forged.size()), BufferCrc32(image.data(), image.size()));
  }
}

TEST_F(PackageSignatureTest, AnUnreadableTrustedKeysFileRefusesEvenAGoodPackage) {
  for (const std::string& bad : {std::string("kn-ecdsa-p256 AAAA broken\n"), "x" + s_keys->PublicLine(L"stranger")}) {
    SCOPED_TRACE(bad);
    // The bad line beside the good key: no key is trusted, and the rule stays on.
    const signing::SignatureCheck check = Check(Package(L"acme"), Trusted() + bad);
    EXPECT_EQ(check.verdict, SignatureVerdict::kNotTrusted);
    EXPECT_THAT(std::string(check.detail.begin(), check.detail.end()), HasSubstr("trusted-keys.txt line 3"));
  }
  std::string privateLine = ReadFileBytes(s_keys->Key(L"acme"));
  EXPECT_EQ(Check(Package(L"acme"), privateLine).verdict, SignatureVerdict::kNotTrusted);
}

// Without trusted-keys.txt nothing changes: every package the check passes is taken, signed,
// unsigned or forged, and a signature entry changes nothing the check hands on.
TEST_F(PackageSignatureTest, WithoutTrustedKeysTheRuleIsNotApplied) {
  Entries forged = Unpack(Package(nullptr));
  Find(forged, "p.bin")->data = ForgeKeepingCrc32(Find(forged, "p.bin")->data);
  const std::wstring packages[] = {Package(nullptr), Package(L"stranger"), Repack(forged)};
  signing::TrustedKeys noFile;
  ASSERT_EQ(noFile.Load(m_dir / L"trusted-keys.txt"), signing::TrustState::kNoKeys);
  for (const std::wstring& package : packages) {
    EXPECT_EQ(CheckWith(package, noFile).verdict, SignatureVerdict::kNotChecked);
  }

  MessageRecorder host;
  PreparedPackage unsigned_, signed_;
  const std::wstring a = m_dir / L"a\\", b = m_dir / L"b\\";
  CreateDirectoryW(a.c_str(), nullptr);
  CreateDirectoryW(b.c_str(), nullptr);
  ASSERT_TRUE(PrepareUpdatePackage(host, Package(nullptr, true), a, unsigned_));
  ASSERT_TRUE(PrepareUpdatePackage(host, Package(L"acme", true), b, signed_));
  EXPECT_EQ(host.messages.size(), 2u);  // the bootloader warning, once each
  EXPECT_EQ(signed_.programFile, b + L"p.bin");
  EXPECT_EQ(signed_.checks.program, unsigned_.checks.program);
  EXPECT_EQ(signed_.checks.bootloader, unsigned_.checks.bootloader);
  EXPECT_EQ(signed_.deviceTypeCheck, unsigned_.deviceTypeCheck);
}

// A trusted-keys.txt that names nobody (its only key commented out to take it back, or an
// empty file a deployment wrote) refuses every package, the trusted maker's too: only a
// missing file means that signatures are not in use.
TEST_F(PackageSignatureTest, ATrustedKeysFileThatNamesNoKeyRefusesEveryPackage) {
  const std::string revoked = "# taken back:\r\n# " + s_keys->PublicLine(L"acme");
  const std::wstring packages[] = {Package(nullptr), Package(L"acme")};
  for (const std::string& text : {std::string(), std::string("# nobody yet\r\n\r\n"), std::string("\xEF\xBB\xBF"), revoked}) {
    SCOPED_TRACE(text);
    const std::wstring file = m_dir / L"trusted-keys.txt";
    ASSERT_TRUE(testing_support::WriteFileBytes(file, text));
    signing::TrustedKeys trusted;
    EXPECT_EQ(trusted.Load(file), signing::TrustState::kNamesNoKey);
    for (const std::wstring& package : packages) {
      const signing::SignatureCheck check = CheckWith(package, trusted);
      EXPECT_EQ(check.verdict, SignatureVerdict::kNotTrusted);
      EXPECT_EQ(std::wstring(signing::SignatureRefusalText(check.verdict)),
                L"The update file is not signed by a trusted maker!");
      EXPECT_THAT(std::string(check.detail.begin(), check.detail.end()), HasSubstr("names no key"));
    }
  }
}

// Digests of entries the manifest does not name are signed but not compared: the updater
// never reads those entries.
TEST_F(PackageSignatureTest, SignedEntriesTheManifestDoesNotNameAreNotCompared) {
  Entries entries = Unpack(Package(L"acme"));
  entries.push_back(knpack::ZipEntry("notes.txt", "release notes"));
  Find(entries, "info.sig")->data = SignatureOver(entries, {"info", "p.bin", "m.bin", "d.bin", "notes.txt"});
  Find(entries, "notes.txt")->data = "changed notes";
  const signing::SignatureCheck check = Check(Repack(entries), Trusted());
  EXPECT_EQ(check.verdict, SignatureVerdict::kAccepted);
  EXPECT_EQ(check.signedDigests.size(), 4u);
}

// The caller that hashed an image in its own read hands that digest in; it is what counts.
TEST_F(PackageSignatureTest, ADigestTheCallerComputedIsTheOneCompared) {
  const std::wstring package = Package(L"acme");
  const auto withProgramDigest = [](const UpdateManifest& manifest) {
    std::vector<signing::NamedEntry> entries = knpack::SignedEntryNames(manifest);
    entries[1].hashed = true;
    entries[1].digest.fill(0x42);  // not the program's digest
    return entries;
  };
  const signing::SignatureCheck check = Check(package, Trusted(), withProgramDigest);
  EXPECT_EQ(check.verdict, SignatureVerdict::kMismatch);
  EXPECT_EQ(check.entry, "p.bin");
  EXPECT_THAT(std::string(check.detail.begin(), check.detail.end()), HasSubstr("SHA-256 4242"));
}

}  // namespace
