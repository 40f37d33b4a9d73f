// SHA-256 and ECDSA P-256 through Windows' cryptography, against published values: the
// FIPS 180-2 examples for SHA-256 and the P-256/SHA-256 example of RFC 6979 (A.2.5, message
// "sample"), whose signature OpenSSL also verifies. The RFC's values catch a key blob or a
// signature laid out in another byte order.
#include "signing/EcdsaP256.h"
#include "signing/Sha256.h"

#include <gtest/gtest.h>

#include <string>

#include "signing/TextEncoding.h"
#include "tests/support/TestFiles.h"

namespace {

using namespace signing;

std::string HexOf(const Sha256Digest& digest) { return ToHex(digest.data(), digest.size()); }

template <std::size_t N>
std::array<std::uint8_t, N> FromHexText(const std::string& text) {
  std::array<std::uint8_t, N> bytes = {};
  EXPECT_TRUE(FromHex(text, bytes.data(), N)) << text;
  return bytes;
}

const std::string kRfcX = "60fed4ba255a9d31c961eb74c6356d68c049b8923b61fa6ce669622e60f29fb6";
const std::string kRfcY = "7903fe1008b8bc99a41ae9e95628bc64f2f1b20c2d7e9f5177a3c294d4462299";
const std::string kRfcD = "c9afa9d845ba75166b5c215767b1d6934e50c3db36e89b127b8a622b120f6721";
const std::string kRfcR = "efd48b2aacb6a8fd1140dd9cd45e81d69d2c877b56aaf991c34d0ea84eaf3716";
const std::string kRfcS = "f7cb1c942d657c41d436c7a1b6e29f65f3e900dbb9aff4064dc4ab2f843acda8";

Sha256Digest DigestOf(const std::string& text) {
  Sha256Digest digest = {};
  EXPECT_TRUE(BufferSha256(text.data(), text.size(), digest));
  return digest;
}

TEST(Sha256Test, PublishedExamplesWholeAndInParts) {
  EXPECT_EQ(HexOf(DigestOf("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexOf(DigestOf("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(HexOf(DigestOf(twoBlocks)), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");

  // The same digest whatever the parts are: the package check hashes chunk by chunk.
  const std::string million(1000000, 'a');
  for (std::size_t part : {1u, 63u, 64u, 65u, 102400u, 1000000u}) {
    Sha256 hash;
    for (std::size_t at = 0; at < million.size(); at += part) {
      ASSERT_TRUE(hash.Update(million.data() + at, std::min(part, million.size() - at)));
    }
    Sha256Digest digest;
    ASSERT_TRUE(hash.Final(digest));
    EXPECT_EQ(HexOf(digest), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0") << part;
    EXPECT_FALSE(hash.Final(digest)) << "a finished hash takes nothing more";
  }
}

TEST(Sha256Test, FilesAreHashedWholeAndMissingOnesFail) {
  testing_support::ScratchDirectory dir;
  const std::string bytes = testing_support::PatternBytes(3 * 1024 * 1024 + 17, 5);  // several chunks and a rest
  ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"image.bin", bytes));
  Sha256Digest digest;
  ASSERT_TRUE(FileSha256(dir / L"image.bin", digest));
  EXPECT_EQ(digest, DigestOf(bytes));
  EXPECT_FALSE(FileSha256(dir / L"missing.bin", digest));
  EXPECT_FALSE(FileSha256(dir.Path(), digest));
}

TEST(EcdsaP256Test, ThePublishedSignatureVerifiesAndNothingNearIt) {
  const PublicKey key = FromHexText<kPublicKeySize>(kRfcX + kRfcY);
  const Signature signature = FromHexText<kSignatureSize>(kRfcR + kRfcS);
  const Sha256Digest sample = DigestOf("sample");
  EXPECT_TRUE(IsUsablePublicKey(key));
  EXPECT_TRUE(VerifyDigest(key, sample, signature));

  EXPECT_FALSE(VerifyDigest(key, DigestOf("Sample"), signature));
  Signature changed = signature;
  changed[40] ^= 0x01;
  EXPECT_FALSE(VerifyDigest(key, sample, changed));
  const Signature swapped = FromHexText<kSignatureSize>(kRfcS + kRfcR);
  EXPECT_FALSE(VerifyDigest(key, sample, swapped));
  PublicKey otherKey = key;
  otherKey[63] ^= 0x01;
  EXPECT_FALSE(VerifyDigest(otherKey, sample, signature));
}

TEST(EcdsaP256Test, SignaturesOfTheRfcKeyAndOfNewKeysVerify) {
  const PrivateKey rfcKey = FromHexText<kPrivateKeySize>(kRfcX + kRfcY + kRfcD);
  PrivateKey newKey = {};
  ASSERT_TRUE(BCRYPT_SUCCESS(GenerateSigningKey(newKey)));
  PrivateKey secondKey;
  ASSERT_TRUE(BCRYPT_SUCCESS(GenerateSigningKey(secondKey)));
  EXPECT_NE(newKey, secondKey);

  const Sha256Digest digest = DigestOf("kn-package-signature 1\n");
  for (const PrivateKey* key : {&rfcKey, static_cast<const PrivateKey*>(&newKey)}) {
    PublicKey publicKey;
    std::copy(key->begin(), key->begin() + kPublicKeySize, publicKey.begin());
    Signature signature;
    ASSERT_TRUE(BCRYPT_SUCCESS(SignDigest(*key, digest, signature)));
    EXPECT_TRUE(VerifyDigest(publicKey, digest, signature));
    EXPECT_FALSE(VerifyDigest(publicKey, DigestOf("kn-package-signature 2\n"), signature));
  }
}

TEST(EcdsaP256Test, TheFingerprintIsTheStartOfTheKeysSha256) {
  KeyFingerprint fingerprint;
  ASSERT_TRUE(FingerprintOf(FromHexText<kPublicKeySize>(kRfcX + kRfcY), fingerprint));
  EXPECT_EQ(ToHex(fingerprint.data(), fingerprint.size()), "d6c23e2744a840cb3a5a14b6554cce7c");
}

}  // namespace
