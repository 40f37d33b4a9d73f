// The signature rule of the updater, applied to a package that has passed the package check,
// before any instrument is touched:
//
// - no trusted-keys.txt (TrustState::kNoKeys): the rule is not applied, the package is taken;
// - otherwise the package is taken only when its info.sig is present, names a trusted key,
//   its signature verifies with that key, and it holds the SHA-256 of every entry the
//   manifest names (the manifest itself included), each equal to the file unpacked now.
//
// Refusals, each with the text the technician sees:
//   no info.sig (or a folder of that name)                   not signed
//   trusted-keys.txt unreadable or naming no key;
//   key not in it                                            not signed by a trusted maker
//   info.sig unreadable, damaged or over its size bound;
//   signature does not verify with the trusted key it names;
//   an entry the manifest names is not covered, or differs   does not match its signature
//
// A damaged info.sig is "does not match", not "not signed": the package carries a signature
// entry that its maker's tools did not write that way, which a fresh copy mends. Digests of
// entries the manifest does not name are covered by the signature but not compared: the
// updater never reads those entries.
#pragma once

#include <string>
#include <vector>

#include "signing/SignatureEntry.h"
#include "signing/SigningFiles.h"
#include "signing/SigningTypes.h"
#include "signing/TrustedKeys.h"

namespace signing {

enum class SignatureVerdict {
  kNotChecked,  // no trusted key: the package is taken as it always was
  kAccepted,
  kNotSigned,
  kNotTrusted,
  kMismatch,
};

// An entry the manifest names: its name as the manifest writes it and, when the caller has
// already hashed the unpacked file in its own read, that digest (the rule reads it otherwise).
struct NamedEntry {
  std::string name;
  bool hashed = false;
  Sha256Digest digest = {};
};

struct SignatureCheck {
  SignatureVerdict verdict = SignatureVerdict::kNotChecked;
  // kAccepted: the name trusted-keys.txt gives the signing key.
  std::wstring signer;
  // kMismatch of one entry: its name (the manifest's bytes); empty when the entry or its
  // signature failed as a whole.
  std::string entry;
  // For makers (knpack verify): which file, line, value and why.
  std::wstring detail;
  // kAccepted: the signed digest of each named entry, in the order given. The worker compares
  // the bytes it is about to write with these.
  std::vector<SignedDigest> signedDigests;
};

// info.sig as the package brought it: kMissing when it brought none.
struct SignatureEntryText {
  CappedRead read = CappedRead::kMissing;
  std::string text;
};

// entries: the manifest ("info") and every image its lines name, the bootloader image only
// when the manifest has its section, each hashed as it was unpacked (an entry not hashed
// counts as one that cannot be read).
SignatureCheck CheckPackageSignature(const TrustedKeys& trusted, const SignatureEntryText& signatureEntry,
                                     const std::vector<NamedEntry>& entries);
// The same with info.sig and every entry not hashed yet read from folder: where this run
// unpacked the package, ending in a backslash; nothing else may lie there.
SignatureCheck CheckPackageSignature(const TrustedKeys& trusted, const std::wstring& folder,
                                     const std::vector<NamedEntry>& entries);

// The text shown for a refusal; nullptr for kNotChecked and kAccepted.
const wchar_t* SignatureRefusalText(SignatureVerdict verdict);

}  // namespace signing
