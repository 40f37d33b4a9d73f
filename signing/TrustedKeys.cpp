#include "signing/TrustedKeys.h"

#include <windows.h>

#include "platform/ProgramStart.h"
#include "signing/EcdsaP256.h"
#include "signing/SigningFiles.h"

namespace signing {

TrustState TrustedKeys::Load(const std::wstring& path) {
  std::string text;
  switch (path.empty() ? CappedRead::kUnreadable : ReadFileCapped(path, kMaxKeyFileSize, text)) {
    case CappedRead::kRead:
      return LoadText(text, path);
    case CappedRead::kMissing:
      m_source = path;
      m_keys.clear();
      m_problems.clear();
      m_state = TrustState::kNoKeys;
      return m_state;
    case CappedRead::kTooLarge:
      return LoadText(text, path);  // the parser says it is too large
    case CappedRead::kUnreadable:
      break;
  }
  m_source = path;
  m_keys.clear();
  m_problems = {{0, "the file cannot be read"}};
  m_state = TrustState::kUnreadable;
  return m_state;
}

TrustState TrustedKeys::LoadText(const std::string& text, const std::wstring& source) {
  m_source = source;
  m_keys.clear();
  std::vector<KeyFileLine> lines;
  ParseKeyFile(text, lines, m_problems);
  for (const KeyFileLine& line : lines) {
    if (line.key.isPrivate) {
      m_problems.push_back({line.lineNumber, "a private key: trust the line of the .pub file, never the .key file"});
      continue;
    }
    TrustedKey key;
    key.key = line.key.publicKey;
    key.name = line.key.name;
    key.lineNumber = line.lineNumber;
    if (!IsUsablePublicKey(key.key) || !FingerprintOf(key.key, key.fingerprint)) {
      m_problems.push_back({line.lineNumber, "the key is not a P-256 public key"});
      continue;
    }
    bool twice = false;
    for (const TrustedKey& earlier : m_keys) {
      if (earlier.key == key.key && earlier.name != key.name) {
        m_problems.push_back({line.lineNumber, "the key of line " + std::to_string(earlier.lineNumber) +
                                                   " again, under another name"});
        twice = true;
        break;
      }
      twice = twice || earlier.key == key.key;
    }
    if (!twice) m_keys.push_back(key);
  }
  if (!m_problems.empty()) {
    m_keys.clear();
    m_state = TrustState::kUnreadable;
  } else {
    m_state = m_keys.empty() ? TrustState::kNamesNoKey : TrustState::kKeys;
  }
  return m_state;
}

std::wstring TrustedKeysBesideProgram() {
  // Never a name relative to the current folder, which anyone may have chosen: without the
  // program's folder, an empty path, which reads as a file that cannot be read.
  const std::wstring folder = ProgramFolder();
  return folder.empty() ? std::wstring() : folder + kTrustedKeysFileName;
}

}  // namespace signing
