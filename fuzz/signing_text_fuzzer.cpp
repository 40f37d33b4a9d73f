// Signature entries (info.sig) and key files as a package or a workstation may carry them.
// Input: the bytes, read as an info.sig, as a key file and as base64 text. Promises: what is
// accepted is canonical (composing it again gives the very same bytes, the signed part being
// all bytes before the signature line), holds only valid names and no more entries than the
// bound; every key read formats to a line that reads back the same.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "signing/KeyText.h"
#include "signing/SignatureEntry.h"
#include "signing/TextEncoding.h"

namespace {

using namespace signing;

void CheckSignatureEntry(const std::string& text) {
  SignatureEntry entry;
  std::string why;
  if (!ParseSignatureEntry(text, entry, why)) {
    FUZZ_REQUIRE(!why.empty());
    return;
  }
  FUZZ_REQUIRE(text.size() <= kMaxSignatureEntrySize);
  FUZZ_REQUIRE(!entry.digests.empty() && entry.digests.size() <= kMaxSignedEntries);
  FUZZ_REQUIRE(IsValidSignerName(entry.signer));
  for (const SignedDigest& digest : entry.digests) {
    FUZZ_REQUIRE(IsValidSignedEntryName(digest.name));
    FUZZ_REQUIRE(FindSignedDigest(entry.digests, digest.name) == &digest);  // no name twice
  }
  const std::string signedPart = ComposeSignedPart(entry.signer, entry.key, entry.digests);
  FUZZ_REQUIRE(signedPart.size() == entry.signedLength);
  FUZZ_REQUIRE(text.compare(0, entry.signedLength, signedPart) == 0);
  FUZZ_REQUIRE(ComposeSignatureEntry(signedPart, entry.signature) == text);
}

void CheckKeyFile(const std::string& text) {
  std::vector<KeyFileLine> keys;
  std::vector<KeyFileProblem> problems;
  ParseKeyFile(text, keys, problems);
  for (const KeyFileLine& line : keys) {
    FUZZ_REQUIRE(line.lineNumber >= 1);
    FUZZ_REQUIRE(IsValidSignerName(line.key.name));
    const std::string formatted = line.key.isPrivate ? FormatPrivateKeyLine(line.key.privateKey, line.key.name)
                                                     : FormatPublicKeyLine(line.key.publicKey, line.key.name);
    KeyLine again;
    std::string why;
    FUZZ_REQUIRE(ParseKeyLine(formatted, again, why));
    FUZZ_REQUIRE(again.isPrivate == line.key.isPrivate && again.publicKey == line.key.publicKey &&
                 again.privateKey == line.key.privateKey && again.name == line.key.name);
  }
  for (const KeyFileProblem& problem : problems) FUZZ_REQUIRE(!problem.why.empty());
}

void CheckBase64(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.size());
  for (std::size_t count = 0; count <= text.size() && count <= 96; ++count) {
    if (FromBase64(text, bytes.data(), count)) FUZZ_REQUIRE(ToBase64(bytes.data(), count) == text);
  }
  const std::vector<std::uint8_t> raw(text.begin(), text.end());
  const std::string encoded = ToBase64(raw.data(), raw.size());
  std::vector<std::uint8_t> decoded(raw.size());
  FUZZ_REQUIRE(FromBase64(encoded, decoded.data(), decoded.size()) && decoded == raw);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckSignatureEntry(text);
  CheckKeyFile(text);
  CheckBase64(text);
  return 0;
}
