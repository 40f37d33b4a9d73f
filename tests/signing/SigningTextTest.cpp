// The key lines, key files and info.sig as text: what is read, what is refused and why, and
// that every accepted text composes back to the very same bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "signing/KeyText.h"
#include "signing/SignatureEntry.h"
#include "signing/TextEncoding.h"

namespace {

using namespace signing;
using testing::HasSubstr;

PublicKey SomeKey() {
  PublicKey key;
  for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return key;
}

TEST(TextEncodingTest, HexAndBase64HaveOneSpellingPerValue) {
  const std::uint8_t bytes[] = {0x00, 0xAB, 0xFF};
  EXPECT_EQ(ToHex(bytes, 3), "00abff");
  std::uint8_t back[3];
  EXPECT_TRUE(FromHex("00abff", back, 3));
  EXPECT_FALSE(FromHex("00ABFF", back, 3));   // upper case is another spelling
  EXPECT_FALSE(FromHex("00abf", back, 3));
  // RFC 4648's examples.
  EXPECT_EQ(ToBase64(reinterpret_cast<const std::uint8_t*>("foob"), 4), "Zm9vYg==");
  EXPECT_EQ(ToBase64(reinterpret_cast<const std::uint8_t*>("fooba"), 5), "Zm9vYmE=");
  EXPECT_EQ(ToBase64(reinterpret_cast<const std::uint8_t*>("foobar"), 6), "Zm9vYmFy");
  std::uint8_t five[5];
  EXPECT_TRUE(FromBase64("Zm9vYmE=", five, 5));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(five), 5), "fooba");
  for (const char* refused : {"Zm9vYmF=", "Zm9vYmE", "Zm9vYmE==", "Zm9v YmE", "Zm9vYm=E"}) {
    EXPECT_FALSE(FromBase64(refused, five, 5)) << refused;
  }
}

TEST(TextEncodingTest, Utf8MustBeWellFormed) {
  EXPECT_TRUE(IsWellFormedUtf8("M\xC3\xBCller \xE2\x82\xAC \xF0\x9F\x94\x91"));
  for (const char* refused : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\x80"}) {
    EXPECT_FALSE(IsWellFormedUtf8(refused)) << testing::PrintToString(std::string(refused));
  }
}

TEST(KeyTextTest, KeyLinesReadBackAsWritten) {
  const std::string line = FormatPublicKeyLine(SomeKey(), "ACME Instruments");
  EXPECT_EQ(line.substr(0, 14), "kn-ecdsa-p256 ");
  KeyLine key;
  std::string why;
  ASSERT_TRUE(ParseKeyLine(line, key, why)) << why;
  EXPECT_FALSE(key.isPrivate);
  EXPECT_EQ(key.publicKey, SomeKey());
  EXPECT_EQ(key.name, "ACME Instruments");

  PrivateKey secret;
  for (std::size_t i = 0; i < secret.size(); ++i) secret[i] = static_cast<std::uint8_t>(255 - i);
  ASSERT_TRUE(ParseKeyLine(FormatPrivateKeyLine(secret, "M\xC3\xBCller"), key, why)) << why;
  EXPECT_TRUE(key.isPrivate);
  EXPECT_EQ(key.privateKey, secret);
  EXPECT_EQ(key.publicKey[63], secret[63]);  // the public part is X || Y of the private key
}

TEST(KeyTextTest, SignerNamesThatCannotStandInAKeyFileAreRefused) {
  struct Case {
    const char* label;
    std::string name;
    const char* why;
  };
  const Case cases[] = {
      {"empty", "", "empty"},
      {"too long", std::string(129, 'n'), "at most 128"},
      {"line feed", "ACME\nEvil", "control character"},
      {"carriage return", "ACME\r", "control character"},
      {"comment sign", "ACME #1", "'#'"},
      {"leading space", " ACME", "space"},
      {"not UTF-8", "M\xFCller", "UTF-8"},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(SignerNameProblem(c.name), HasSubstr(c.why)) << c.label;
  }
  EXPECT_EQ(SignerNameProblem(std::string(128, 'n')), "");
}

TEST(KeyTextTest, KeyFilesSkipCommentsAndBlanksAndNameEachBadLine) {
  const std::string good = FormatPublicKeyLine(SomeKey(), "ACME");
  const std::string text = "\xEF\xBB\xBF# trusted makers\r\n"
                           "\r\n" +
                           good + "   # the lab's key\r\n"
                                  "\t" + good + "\n"
                           "kn-ecdsa-p384 AAAA Other\n"
                           "kn-ecdsa-p256 AAAA Short\n" +
                           good.substr(0, good.size() - 4) + "\n";
  std::vector<KeyFileLine> keys;
  std::vector<KeyFileProblem> problems;
  ParseKeyFile(text, keys, problems);
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0].lineNumber, 3);
  EXPECT_EQ(keys[0].key.name, "ACME");
  EXPECT_EQ(keys[1].lineNumber, 4);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(problems[0].lineNumber, 5);
  EXPECT_THAT(problems[0].why, HasSubstr("kn-ecdsa-p384"));
  EXPECT_EQ(problems[1].lineNumber, 6);
  EXPECT_THAT(problems[1].why, HasSubstr("88 characters"));
  EXPECT_EQ(problems[2].lineNumber, 7);  // a line without its name

  ParseKeyFile(std::string(kMaxKeyFileSize + 1, '#'), keys, problems);
  EXPECT_TRUE(keys.empty());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].lineNumber, 0);
}

// A valid entry, and its parts.
struct EntryParts {
  std::string signer = "ACME Instruments";
  KeyFingerprint key = {};
  std::vector<SignedDigest> digests;
  Signature signature = {};

  EntryParts() {
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(0xA0 + i);
    for (std::size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<std::uint8_t>(i);
    for (const char* name : {"info", "p.bin", "m\xE4.bin"}) {
      SignedDigest digest;
      digest.name = name;
      digest.digest.fill(static_cast<std::uint8_t>(name[0]));
      digests.push_back(digest);
    }
  }
  std::string SignedPart() const { return ComposeSignedPart(signer, key, digests); }
  std::string Text() const { return ComposeSignatureEntry(SignedPart(), signature); }
};

TEST(SignatureEntryTest, AComposedEntryReadsBackWithItsSignedPart) {
  const EntryParts parts;
  const std::string text = parts.Text();
  EXPECT_EQ(text.substr(0, 41), "kn-package-signature 1\nsigner ACME Instru");
  SignatureEntry entry;
  std::string why;
  ASSERT_TRUE(ParseSignatureEntry(text, entry, why)) << why;
  EXPECT_EQ(entry.signer, parts.signer);
  EXPECT_EQ(entry.key, parts.key);
  EXPECT_EQ(entry.signature, parts.signature);
  ASSERT_EQ(entry.digests.size(), 3u);
  EXPECT_EQ(entry.digests[2].name, "m\xE4.bin");  // the manifest's 8-bit name as it is
  EXPECT_EQ(entry.signedLength, parts.SignedPart().size());
  ASSERT_NE(FindSignedDigest(entry.digests, "p.bin"), nullptr);
  EXPECT_EQ(FindSignedDigest(entry.digests, "P.BIN"), nullptr);
}

// Each row damages a valid entry in one way; the reason names the line.
TEST(SignatureEntryTest, AnythingAmbiguousOrUnknownIsRefusedWithItsLine) {
  const std::string valid = EntryParts().Text();
  const auto replace = [&valid](const std::string& from, const std::string& to) {
    std::string text = valid;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  const std::string firstDigest = valid.substr(valid.find("sha256 "), valid.find('\n', valid.find("sha256 ")) -
                                                                         valid.find("sha256 ") + 1);
  struct Case {
    const char* label;
    std::string text;
    const char* why;
  };
  const Case cases[] = {
      {"empty", "", "0 lines"},
      {"windows line ends", replace("\nsigner", "\r\nsigner"), "carriage return"},
      {"no final line feed", valid.substr(0, valid.size() - 1), "line feed"},
      {"text after the signature", valid + "sha256 x\n", "line 7: the signature line must be the last"},
      {"other version", replace("signature 1", "signature 2"), "line 1"},
      {"signer missing", replace("signer ", "maker "), "line 2"},
      {"signer with comment sign", replace("ACME", "AC#ME"), "line 2"},
      {"fingerprint in upper case", replace("key a0a1", "key A0A1"), "line 3"},
      {"digest too short", replace("sha256 69", "sha256 6"), "line 4"},
      {"name missing", replace(" info\n", "\n"), "line 4"},
      {"name with a tab", replace(" p.bin\n", " p\t.bin\n"), "line 5"},
      {"name twice", replace(firstDigest, firstDigest + firstDigest), "line 5: the entry info is named a second time"},
      {"unknown line", replace("sha256 70", "comment 70"), "line 5"},
      {"no digest", replace(valid.substr(valid.find("sha256 "), valid.find("signature ", 30) - valid.find("sha256 ")), ""),
       "at least 5"},
      {"signature too short", replace("signature AAEC", "signature AEC"), "line 7"},
      {"oversize", valid + std::string(kMaxSignatureEntrySize, '#'), "bytes"},
  };
  for (const Case& c : cases) {
    SignatureEntry entry;
    std::string why;
    EXPECT_FALSE(ParseSignatureEntry(c.text, entry, why)) << c.label;
    EXPECT_THAT(why, HasSubstr(c.why)) << c.label;
  }
}

}  // namespace
