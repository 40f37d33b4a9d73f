// The keys a workstation trusts: the key lines of trusted-keys.txt beside the program (the
// form of PREFIX.pub, see KeyText.h).
//
// Without the file nothing is trusted and the signature rule is not applied: packages are
// taken as they always were. A file that names no key (blanks and comments only, or empty)
// keeps the rule on and refuses every package: commenting out the only key takes it back, and
// an empty file written by a deployment is no way to switch the protection off. A file that holds
// anything else than good public key lines (a damaged line, a private key, a key that is no
// P-256 point, one key under two names), or that cannot be read, trusts no key at all and
// yet keeps the rule on: every package is then refused as not signed by a trusted maker.
// Taking the good lines only, or falling back to "no key", would let a slip in the file
// quietly switch the protection off.
#pragma once

#include <string>
#include <vector>

#include "signing/KeyText.h"
#include "signing/SigningTypes.h"

namespace signing {

constexpr wchar_t kTrustedKeysFileName[] = L"trusted-keys.txt";

struct TrustedKey {
  PublicKey key = {};
  KeyFingerprint fingerprint = {};
  std::string name;  // UTF-8, as the line gives it
  int lineNumber = 0;
};

enum class TrustState {
  kNoKeys,      // no file: the rule is not applied
  kNamesNoKey,  // a file without a key line: the rule refuses every package
  kKeys,        // at least one key, every line good
  kUnreadable,  // the file cannot be read or has a line that is not a good public key
};

class TrustedKeys {
 public:
  // Reads the file at path.
  TrustState Load(const std::wstring& path);
  // The same from the file's bytes; source names them in the texts for makers.
  TrustState LoadText(const std::string& text, const std::wstring& source = kTrustedKeysFileName);

  TrustState State() const { return m_state; }
  const std::vector<TrustedKey>& Keys() const { return m_keys; }
  // What makes the file unreadable: line numbers (0 for the file) and reasons.
  const std::vector<KeyFileProblem>& Problems() const { return m_problems; }
  // The file read, as given.
  const std::wstring& Source() const { return m_source; }

 private:
  std::wstring m_source = kTrustedKeysFileName;
  TrustState m_state = TrustState::kNoKeys;
  std::vector<TrustedKey> m_keys;
  std::vector<KeyFileProblem> m_problems;
};

// trusted-keys.txt in the folder of the running program.
std::wstring TrustedKeysBesideProgram();

}  // namespace signing
