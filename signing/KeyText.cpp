#include "signing/KeyText.h"

#include "signing/TextEncoding.h"

namespace signing {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

std::string FormatKey(const char* tag, const std::uint8_t* bytes, std::size_t count, const std::string& name) {
  return std::string(tag) + " " + ToBase64(bytes, count) + " " + name;
}

// A line of a key file as a key line: without its comment and the blanks around it.
std::string KeyPartOf(std::string line) {
  const std::size_t hash = line.find('#');
  if (hash != std::string::npos) line.erase(hash);
  const char* const blanks = " \t\r";
  const std::size_t first = line.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

}  // namespace

std::string SignerNameProblem(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > kMaxSignerName) {
    return "the name has " + std::to_string(name.size()) + " bytes, at most " + std::to_string(kMaxSignerName) +
           " are allowed";
  }
  if (!IsWellFormedUtf8(name)) return "the name is not UTF-8 text";
  for (unsigned char c : name) {
    if (IsControl(c)) return "the name holds a control character (code " + std::to_string(c) + ")";
    if (c == '#') return "the name holds a '#', which starts a comment in a key file";
  }
  if (name.front() == ' ' || name.back() == ' ') return "the name starts or ends with a space";
  return std::string();
}

bool IsValidSignerName(const std::string& name) { return SignerNameProblem(name).empty(); }

std::string FormatPublicKeyLine(const PublicKey& key, const std::string& name) {
  return FormatKey(kPublicKeyTag, key.data(), key.size(), name);
}

std::string FormatPrivateKeyLine(const PrivateKey& key, const std::string& name) {
  return FormatKey(kPrivateKeyTag, key.data(), key.size(), name);
}

bool ParseKeyLine(const std::string& line, KeyLine& key, std::string& why) {
  key = KeyLine();
  const std::size_t tagEnd = line.find(' ');
  const std::size_t keyEnd = tagEnd == std::string::npos ? std::string::npos : line.find(' ', tagEnd + 1);
  if (keyEnd == std::string::npos) {
    why = "expected \"" + std::string(kPublicKeyTag) + " KEY NAME\"";
    return false;
  }
  const std::string tag = line.substr(0, tagEnd);
  const std::string text = line.substr(tagEnd + 1, keyEnd - tagEnd - 1);
  key.name = line.substr(keyEnd + 1);
  if (tag == kPublicKeyTag) {
    if (!FromBase64(text, key.publicKey.data(), key.publicKey.size())) {
      why = "the key is not the base64 text of 64 bytes (88 characters)";
      return false;
    }
  } else if (tag == kPrivateKeyTag) {
    key.isPrivate = true;
    if (!FromBase64(text, key.privateKey.data(), key.privateKey.size())) {
      why = "the key is not the base64 text of 96 bytes (128 characters)";
      return false;
    }
    for (std::size_t i = 0; i < kPublicKeySize; ++i) key.publicKey[i] = key.privateKey[i];
  } else {
    why = "the line starts with \"" + tag.substr(0, 40) + "\", not with " + kPublicKeyTag + " or " + kPrivateKeyTag;
    return false;
  }
  why = SignerNameProblem(key.name);
  return why.empty();
}

void ParseKeyFile(const std::string& text, std::vector<KeyFileLine>& keys, std::vector<KeyFileProblem>& problems) {
  keys.clear();
  problems.clear();
  if (text.size() > kMaxKeyFileSize) {
    problems.push_back({0, "the file is larger than " + std::to_string(kMaxKeyFileSize) + " bytes"});
    return;
  }
  static const std::string kByteOrderMark = "\xEF\xBB\xBF";
  std::size_t at = text.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0 ? kByteOrderMark.size() : 0;
  for (int number = 1; at < text.size(); ++number) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = KeyPartOf(text.substr(at, end - at));
    at = end + 1;
    if (line.empty()) continue;
    KeyFileLine key;
    key.lineNumber = number;
    std::string why;
    if (ParseKeyLine(line, key.key, why)) {
      keys.push_back(key);
    } else {
      problems.push_back({number, why});
    }
  }
}

}  // namespace signing
