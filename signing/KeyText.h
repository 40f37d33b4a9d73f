// The text form of signing keys, one line each:
//
//   kn-ecdsa-p256 KEY NAME            a public key: KEY = base64 of X || Y (64 bytes)
//   kn-ecdsa-p256-private KEY NAME    a private key: KEY = base64 of X || Y || d (96 bytes)
//
// with single spaces between the fields. NAME (the signer) is the rest of the line.
// A key file (PREFIX.pub, PREFIX.key, trusted-keys.txt) is lines of these: '#' starts a comment
// anywhere in a line, spaces and tabs around a line are dropped, blank lines are skipped, a
// CR before the LF and a UTF-8 byte-order mark at the start are allowed (files edited with
// Notepad). Plain rules, no platform calls.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "signing/SigningTypes.h"

namespace signing {

constexpr char kPublicKeyTag[] = "kn-ecdsa-p256";
constexpr char kPrivateKeyTag[] = "kn-ecdsa-p256-private";

// Longest signer name, in bytes of UTF-8.
constexpr std::size_t kMaxSignerName = 128;
// Largest key file read: far more keys than any workstation trusts, and a bound on what a
// damaged or hostile file can make the reader hold.
constexpr std::size_t kMaxKeyFileSize = 256 * 1024;

// A signer's name: 1 to kMaxSignerName bytes of well-formed UTF-8, no control character, no
// '#' (it would start a comment in a key file), no space at either end (invisible when the
// name is read or typed).
bool IsValidSignerName(const std::string& name);
// Why a name is not valid, for makers; empty when it is.
std::string SignerNameProblem(const std::string& name);

struct KeyLine {
  bool isPrivate = false;
  PublicKey publicKey = {};
  PrivateKey privateKey = {};  // X || Y || d; only for a private key (publicKey then holds X || Y)
  std::string name;
};

std::string FormatPublicKeyLine(const PublicKey& key, const std::string& name);
std::string FormatPrivateKeyLine(const PrivateKey& key, const std::string& name);

// One key line as formatted above, nothing around it. why says what is wrong.
bool ParseKeyLine(const std::string& line, KeyLine& key, std::string& why);

struct KeyFileLine {
  int lineNumber = 0;  // from 1
  KeyLine key;
};
struct KeyFileProblem {
  int lineNumber = 0;  // 0: the file as a whole
  std::string why;
};

// Every line of a key file; each line that is neither blank nor a comment is a key or a
// problem. A text over kMaxKeyFileSize gives one problem and no keys.
void ParseKeyFile(const std::string& text, std::vector<KeyFileLine>& keys, std::vector<KeyFileProblem>& problems);

}  // namespace signing
