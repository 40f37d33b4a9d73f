#include "signing/Sha256.h"

#include <share.h>

#include <cstdio>
#include <vector>

#include "signing/CngProvider.h"

namespace signing {
namespace {

constexpr std::size_t kFileChunk = 1 << 20;

BCRYPT_ALG_HANDLE HashProvider() {
  static const BCRYPT_ALG_HANDLE provider = OpenCngProvider(BCRYPT_SHA256_ALGORITHM);
  return provider;
}

}  // namespace

Sha256::Sha256() {
  const BCRYPT_ALG_HANDLE provider = HashProvider();
  // No hash object buffer of ours: CNG allocates it itself from Windows 7 on.
  m_failed = provider == nullptr ||
             !BCRYPT_SUCCESS(BCryptCreateHash(provider, &m_hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256() {
  if (m_hash != nullptr) BCryptDestroyHash(m_hash);
}

bool Sha256::Update(const void* bytes, std::size_t count) {
  const auto* p = static_cast<const UCHAR*>(bytes);
  // CNG takes at most a ULONG of bytes a call.
  constexpr std::size_t kMaxPart = 1u << 30;
  while (!m_failed && count > 0) {
    const std::size_t part = count < kMaxPart ? count : kMaxPart;
    m_failed = !BCRYPT_SUCCESS(BCryptHashData(m_hash, const_cast<PUCHAR>(p), static_cast<ULONG>(part), 0));
    p += part;
    count -= part;
  }
  return !m_failed;
}

bool Sha256::Final(Sha256Digest& digest) {
  if (!m_failed) {
    m_failed = !BCRYPT_SUCCESS(BCryptFinishHash(m_hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  }
  const bool ok = !m_failed;
  m_failed = true;  // a finished CNG hash takes no more data
  return ok;
}

bool BufferSha256(const void* bytes, std::size_t count, Sha256Digest& digest) {
  Sha256 hash;
  return hash.Update(bytes, count) && hash.Final(digest);
}

bool FileSha256(const std::wstring& path, Sha256Digest& digest) {
  FILE* file = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
  if (file == nullptr) return false;
  std::vector<unsigned char> chunk(kFileChunk);
  Sha256 hash;
  bool ok = true;
  for (;;) {
    const std::size_t read = std::fread(chunk.data(), 1, chunk.size(), file);
    ok = hash.Update(chunk.data(), read);
    if (!ok || read < chunk.size()) break;
  }
  ok = ok && !std::ferror(file);
  std::fclose(file);
  return ok && hash.Final(digest);
}

}  // namespace signing
