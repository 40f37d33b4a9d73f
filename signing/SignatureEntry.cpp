#include "signing/SignatureEntry.h"

#include "signing/KeyText.h"
#include "signing/TextEncoding.h"

namespace signing {
namespace {

constexpr char kSignerPrefix[] = "signer ";
constexpr char kKeyPrefix[] = "key ";
constexpr char kDigestPrefix[] = "sha256 ";
constexpr char kSignaturePrefix[] = "signature ";

bool StartsWith(const std::string& line, const char* prefix) { return line.compare(0, std::string(prefix).size(), prefix) == 0; }

std::string After(const std::string& line, const char* prefix) { return line.substr(std::string(prefix).size()); }

// Splits text into lines, each ended by a line feed; false when the last one has none.
bool SplitLines(const std::string& text, std::vector<std::string>& lines) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return true;
}

bool Fail(std::string& why, std::size_t line, const std::string& reason) {
  why = "line " + std::to_string(line) + ": " + reason;
  return false;
}

}  // namespace

bool IsValidSignedEntryName(const std::string& name) {
  if (name.empty() || name.size() > kMaxSignedEntryName) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) return false;
  }
  return true;
}

std::string ComposeSignedPart(const std::string& signer, const KeyFingerprint& key,
                              const std::vector<SignedDigest>& digests) {
  std::string text = std::string(kSignatureFormatLine) + "\n";
  text += kSignerPrefix + signer + "\n";
  text += kKeyPrefix + ToHex(key.data(), key.size()) + "\n";
  for (const SignedDigest& digest : digests) {
    text += kDigestPrefix + ToHex(digest.digest.data(), digest.digest.size()) + " " + digest.name + "\n";
  }
  return text;
}

std::string ComposeSignatureEntry(const std::string& signedPart, const Signature& signature) {
  return signedPart + kSignaturePrefix + ToBase64(signature.data(), signature.size()) + "\n";
}

bool ParseSignatureEntry(const std::string& text, SignatureEntry& entry, std::string& why) {
  entry = SignatureEntry();
  if (text.size() > kMaxSignatureEntrySize) {
    why = "the entry has more than " + std::to_string(kMaxSignatureEntrySize) + " bytes";
    return false;
  }
  if (text.find('\r') != std::string::npos) {
    why = "the entry holds a carriage return: its lines end with a line feed alone";
    return false;
  }
  std::vector<std::string> lines;
  if (!SplitLines(text, lines)) {
    why = "the entry does not end with a line feed";
    return false;
  }
  // The shortest entry: format, signer, key, one digest, signature.
  if (lines.size() < 5) {
    why = "the entry has " + std::to_string(lines.size()) + " lines, at least 5 are needed";
    return false;
  }
  if (lines[0] != kSignatureFormatLine) {
    return Fail(why, 1, "expected \"" + std::string(kSignatureFormatLine) + "\", the only format known");
  }
  if (!StartsWith(lines[1], kSignerPrefix)) return Fail(why, 2, "expected \"signer NAME\"");
  entry.signer = After(lines[1], kSignerPrefix);
  const std::string nameProblem = SignerNameProblem(entry.signer);
  if (!nameProblem.empty()) return Fail(why, 2, nameProblem);
  if (!StartsWith(lines[2], kKeyPrefix) || !FromHex(After(lines[2], kKeyPrefix), entry.key.data(), entry.key.size())) {
    return Fail(why, 3, "expected \"key \" and 32 lowercase hex digits");
  }

  const std::size_t last = lines.size() - 1;
  for (std::size_t i = 3; i < last; ++i) {
    const std::string& line = lines[i];
    const std::size_t number = i + 1;
    if (StartsWith(line, kSignaturePrefix)) return Fail(why, number, "the signature line must be the last line");
    if (!StartsWith(line, kDigestPrefix)) return Fail(why, number, "expected \"sha256 DIGEST NAME\"");
    const std::string rest = After(line, kDigestPrefix);
    SignedDigest digest;
    if (rest.size() < 2 * kDigestSize + 1 || rest[2 * kDigestSize] != ' ' ||
        !FromHex(rest.substr(0, 2 * kDigestSize), digest.digest.data(), digest.digest.size())) {
      return Fail(why, number, "expected 64 lowercase hex digits and one space after \"sha256 \"");
    }
    digest.name = rest.substr(2 * kDigestSize + 1);
    if (!IsValidSignedEntryName(digest.name)) {
      return Fail(why, number, "the entry name is empty, longer than " + std::to_string(kMaxSignedEntryName) +
                                   " bytes or holds a control character");
    }
    if (FindSignedDigest(entry.digests, digest.name) != nullptr) {
      return Fail(why, number, "the entry " + digest.name + " is named a second time");
    }
    if (entry.digests.size() == kMaxSignedEntries) {
      return Fail(why, number, "more than " + std::to_string(kMaxSignedEntries) + " entries");
    }
    entry.digests.push_back(digest);
  }

  if (!StartsWith(lines[last], kSignaturePrefix) ||
      !FromBase64(After(lines[last], kSignaturePrefix), entry.signature.data(), entry.signature.size())) {
    return Fail(why, last + 1, "expected \"signature \" and the base64 text of 64 bytes (88 characters)");
  }
  entry.signedLength = text.size() - lines[last].size() - 1;
  return true;
}

const SignedDigest* FindSignedDigest(const std::vector<SignedDigest>& digests, const std::string& name) {
  for (const SignedDigest& digest : digests) {
    if (digest.name == name) return &digest;
  }
  return nullptr;
}

}  // namespace signing
