#include "signing/PackageSignature.h"

#include "archive/EntryName.h"
#include "signing/EcdsaP256.h"
#include "signing/Sha256.h"
#include "signing/SigningFiles.h"
#include "signing/SigningTexts.h"
#include "signing/TextEncoding.h"
#include "text/WidenBytes.h"
#include "text/Utf8.h"

namespace signing {
namespace {

SignatureCheck Refuse(SignatureVerdict verdict, const std::wstring& detail, const std::string& entry = std::string()) {
  SignatureCheck check;
  check.verdict = verdict;
  check.detail = detail;
  check.entry = entry;
  return check;
}

std::wstring HexText(const std::uint8_t* bytes, std::size_t count) { return WidenBytes(ToHex(bytes, count)); }

std::wstring TrustProblems(const TrustedKeys& trusted) {
  std::wstring text = trusted.Source();
  for (const KeyFileProblem& problem : trusted.Problems()) {
    text += problem.lineNumber > 0 ? L" line " + std::to_wstring(problem.lineNumber) + L": " : L": ";
    text += FromUtf8(problem.why) + L";";
  }
  if (!text.empty() && text.back() == L';') text.pop_back();
  return text + L" (no key is trusted while the file has such a line)";
}

}  // namespace

SignatureCheck CheckPackageSignature(const TrustedKeys& trusted, const std::wstring& folder,
                                     const std::vector<NamedEntry>& entries) {
  if (trusted.State() == TrustState::kNoKeys) return SignatureCheck();
  SignatureEntryText signatureEntry;
  signatureEntry.read = ReadFileCapped(folder + WidenBytes(kSignatureEntryName), kMaxSignatureEntrySize,
                                       signatureEntry.text);
  std::vector<NamedEntry> hashed = entries;
  for (NamedEntry& entry : hashed) {
    const std::wstring relative = WidenBytes(entry.name);
    if (!entry.hashed) entry.hashed = archive::IsSafeRelativeName(relative) && FileSha256(folder + relative, entry.digest);
  }
  return CheckPackageSignature(trusted, signatureEntry, hashed);
}

SignatureCheck CheckPackageSignature(const TrustedKeys& trusted, const SignatureEntryText& signatureEntry,
                                     const std::vector<NamedEntry>& entries) {
  if (trusted.State() == TrustState::kNoKeys) return SignatureCheck();
  if (trusted.State() == TrustState::kUnreadable) return Refuse(SignatureVerdict::kNotTrusted, TrustProblems(trusted));
  if (trusted.State() == TrustState::kNamesNoKey) {
    return Refuse(SignatureVerdict::kNotTrusted, trusted.Source() + L" names no key, so no maker is trusted");
  }

  const std::wstring sigName = WidenBytes(kSignatureEntryName);
  const std::string& text = signatureEntry.text;
  switch (signatureEntry.read) {
    case CappedRead::kRead:
      break;
    case CappedRead::kMissing:
      return Refuse(SignatureVerdict::kNotSigned, L"the package has no entry " + sigName);
    case CappedRead::kTooLarge:
      return Refuse(SignatureVerdict::kMismatch, sigName + L": more than " + std::to_wstring(kMaxSignatureEntrySize) +
                                                     L" bytes");
    case CappedRead::kUnreadable:
      // A folder of that name is no signature either.
      return Refuse(SignatureVerdict::kNotSigned, sigName + L" is not a file that can be read");
  }
  SignatureEntry signature;
  std::string why;
  if (!ParseSignatureEntry(text, signature, why)) {
    return Refuse(SignatureVerdict::kMismatch, sigName + L" " + FromUtf8(why));
  }

  Sha256Digest signedDigest;
  if (!BufferSha256(text.data(), signature.signedLength, signedDigest)) {
    return Refuse(SignatureVerdict::kMismatch, L"SHA-256 cannot be computed here");
  }
  const TrustedKey* signer = nullptr;
  bool keyKnown = false;
  for (const TrustedKey& key : trusted.Keys()) {
    if (key.fingerprint != signature.key) continue;
    keyKnown = true;
    if (VerifyDigest(key.key, signedDigest, signature.signature)) {
      signer = &key;
      break;
    }
  }
  const std::wstring fingerprint = L"key " + HexText(signature.key.data(), signature.key.size());
  const std::wstring keyText = fingerprint + L" (signer " + FromUtf8(signature.signer) + L")";
  if (!keyKnown) return Refuse(SignatureVerdict::kNotTrusted, keyText + L" is not in " + trusted.Source());
  if (signer == nullptr) {
    return Refuse(SignatureVerdict::kMismatch, sigName + L": the signature does not verify with the trusted " + keyText);
  }

  // The manifest at least is always named; a list without it would check nothing.
  if (entries.empty()) return Refuse(SignatureVerdict::kMismatch, L"no entry of the package was given to compare");
  SignatureCheck check;
  for (const NamedEntry& entry : entries) {
    const SignedDigest* expected = FindSignedDigest(signature.digests, entry.name);
    if (expected == nullptr) {
      return Refuse(SignatureVerdict::kMismatch, WidenBytes(entry.name) + L": the signature does not cover this entry",
                    entry.name);
    }
    if (!entry.hashed) {
      return Refuse(SignatureVerdict::kMismatch, WidenBytes(entry.name) + L": the unpacked file cannot be read",
                    entry.name);
    }
    const Sha256Digest& actual = entry.digest;
    if (actual != expected->digest) {
      return Refuse(SignatureVerdict::kMismatch,
                    WidenBytes(entry.name) + L": SHA-256 " + HexText(actual.data(), actual.size()) + L", signed " +
                        HexText(expected->digest.data(), expected->digest.size()),
                    entry.name);
    }
    check.signedDigests.push_back(*expected);
  }
  check.verdict = SignatureVerdict::kAccepted;
  check.signer = FromUtf8(signer->name);
  check.detail = L"signed by " + check.signer + L" with " + fingerprint + L", line " +
                 std::to_wstring(signer->lineNumber) + L" of " + trusted.Source();
  return check;
}

const wchar_t* SignatureRefusalText(SignatureVerdict verdict) {
  switch (verdict) {
    case SignatureVerdict::kNotSigned:
      return texts::kNotSigned;
    case SignatureVerdict::kNotTrusted:
      return texts::kNotSignedByTrustedMaker;
    case SignatureVerdict::kMismatch:
      return texts::kDoesNotMatchSignature;
    case SignatureVerdict::kNotChecked:
    case SignatureVerdict::kAccepted:
      break;
  }
  return nullptr;
}

}  // namespace signing
