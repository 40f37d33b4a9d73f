// SHA-256 with Windows' own cryptography (CNG). Incremental, so a reader that already walks a
// file for another reason (the CRC-32 of the package check, the worker's read of an image)
// hashes it in the same pass:
//
//   signing::Sha256 hash;
//   hash.Update(bytes, count);  ...
//   signing::Sha256Digest digest;
//   if (!hash.Final(digest)) ...
//
// One object per thread; objects on different threads are independent.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include <cstddef>
#include <string>

#include "signing/SigningTypes.h"

namespace signing {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // False once anything has failed; every later call then fails too.
  bool Update(const void* bytes, std::size_t count);
  // The digest of everything given to Update. The object is spent afterwards.
  bool Final(Sha256Digest& digest);

 private:
  BCRYPT_HASH_HANDLE m_hash = nullptr;
  bool m_failed = false;
};

bool BufferSha256(const void* bytes, std::size_t count, Sha256Digest& digest);

// Reads the file in chunks, other writers kept out while it is read. False when it cannot be
// opened or read.
bool FileSha256(const std::wstring& path, Sha256Digest& digest);

}  // namespace signing
