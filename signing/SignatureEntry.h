// The signature entry "info.sig" at a package's root: text, one field a line, each line ended
// by a line feed alone (a carriage return anywhere makes the entry unreadable):
//
//   kn-package-signature 1                  format and its version
//   signer NAME                             the signer's name (as in the key line)
//   key FINGERPRINT                         32 lowercase hex digits: the signing key's fingerprint
//   sha256 DIGEST ENTRY                     64 lowercase hex digits, one space, the entry's name
//   ...                                     (1 to kMaxSignedEntries lines, no name twice)
//   signature SIGNATURE                     base64 of r || s (64 bytes)
//
// The signature is ECDSA P-256 over the SHA-256 of every byte before "signature", that is
// from the first byte up to and including the line feed of the last sha256 line. ENTRY is
// the name exactly as the manifest writes it: its 8-bit bytes, none below 0x20 and not 0x7F.
// Nothing may follow the signature line's line feed. Plain rules, no platform calls.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "signing/SigningTypes.h"

namespace signing {

constexpr char kSignatureEntryName[] = "info.sig";
constexpr char kSignatureFormatLine[] = "kn-package-signature 1";

// A manifest names at most five entries (itself and four images); the bound keeps a hostile
// entry small while leaving room for later formats' extra entries.
constexpr std::size_t kMaxSignedEntries = 64;
// Longest entry name: the manifest's longest line.
constexpr std::size_t kMaxSignedEntryName = 4096;
// Largest entry read, the most the reader ever holds: a manifest's five names fit even at
// their longest.
constexpr std::size_t kMaxSignatureEntrySize = 64 * 1024;

struct SignedDigest {
  std::string name;  // the manifest's bytes
  Sha256Digest digest = {};
};

struct SignatureEntry {
  std::string signer;
  KeyFingerprint key = {};
  std::vector<SignedDigest> digests;
  Signature signature = {};
  // How many leading bytes of the entry the signature covers.
  std::size_t signedLength = 0;
};

// An entry name that can stand in a sha256 line.
bool IsValidSignedEntryName(const std::string& name);

// The signed part: every line before the signature line. Names and signer must be valid.
std::string ComposeSignedPart(const std::string& signer, const KeyFingerprint& key,
                              const std::vector<SignedDigest>& digests);
// The whole entry: the signed part and the signature line.
std::string ComposeSignatureEntry(const std::string& signedPart, const Signature& signature);

// Reads an entry strictly. On failure why names the line ("line 4: ...") and the reason.
bool ParseSignatureEntry(const std::string& text, SignatureEntry& entry, std::string& why);

// The signed digest of name, or nullptr when the entry does not cover it.
const SignedDigest* FindSignedDigest(const std::vector<SignedDigest>& digests, const std::string& name);

}  // namespace signing
