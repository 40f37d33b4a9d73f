#include "signing/EcdsaP256.h"

#include <cstring>
#include <vector>

#include "signing/CngProvider.h"
#include "signing/Sha256.h"

namespace signing {
namespace {

// ntstatus.h values, spelled here because that header and <windows.h> clash on some compilers.
constexpr NTSTATUS kStatusNotFound = static_cast<NTSTATUS>(0xC0000225L);          // no ECDSA provider
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000DL);  // a blob of another shape

BCRYPT_ALG_HANDLE EcdsaProvider() {
  static const BCRYPT_ALG_HANDLE provider = OpenCngProvider(BCRYPT_ECDSA_P256_ALGORITHM);
  return provider;
}

// A key handle that is destroyed with its owner.
class KeyHandle {
 public:
  KeyHandle() = default;
  ~KeyHandle() {
    if (m_key != nullptr) BCryptDestroyKey(m_key);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  BCRYPT_KEY_HANDLE* Receive() { return &m_key; }
  BCRYPT_KEY_HANDLE Get() const { return m_key; }

 private:
  BCRYPT_KEY_HANDLE m_key = nullptr;
};

// The documented layout of CNG's ECC key blobs: a BCRYPT_ECCKEY_BLOB header (magic, cbKey =
// 32 for P-256), then X, Y and, for a private key, d, each cbKey bytes big-endian.
std::vector<UCHAR> KeyBlob(ULONG magic, const std::uint8_t* coordinates, std::size_t count) {
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + count);
  BCRYPT_ECCKEY_BLOB header;
  header.dwMagic = magic;
  header.cbKey = static_cast<ULONG>(kCoordinateSize);
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, coordinates, count);
  return blob;
}

NTSTATUS ImportKey(LPCWSTR blobType, std::vector<UCHAR>& blob, KeyHandle& key) {
  const BCRYPT_ALG_HANDLE provider = EcdsaProvider();
  if (provider == nullptr) return kStatusNotFound;
  return BCryptImportKeyPair(provider, nullptr, blobType, key.Receive(), blob.data(), static_cast<ULONG>(blob.size()), 0);
}

NTSTATUS ImportPublic(const PublicKey& key, KeyHandle& handle) {
  std::vector<UCHAR> blob = KeyBlob(BCRYPT_ECDSA_PUBLIC_P256_MAGIC, key.data(), key.size());
  return ImportKey(BCRYPT_ECCPUBLIC_BLOB, blob, handle);
}

}  // namespace

NTSTATUS GenerateSigningKey(PrivateKey& key) {
  const BCRYPT_ALG_HANDLE provider = EcdsaProvider();
  if (provider == nullptr) return kStatusNotFound;
  KeyHandle handle;
  NTSTATUS status = BCryptGenerateKeyPair(provider, handle.Receive(), 256, 0);
  if (BCRYPT_SUCCESS(status)) status = BCryptFinalizeKeyPair(handle.Get(), 0);
  if (!BCRYPT_SUCCESS(status)) return status;
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + kPrivateKeySize);
  ULONG written = 0;
  status = BCryptExportKey(handle.Get(), nullptr, BCRYPT_ECCPRIVATE_BLOB, blob.data(), static_cast<ULONG>(blob.size()),
                           &written, 0);
  BCRYPT_ECCKEY_BLOB header;
  std::memcpy(&header, blob.data(), sizeof header);
  if (BCRYPT_SUCCESS(status) && (written != blob.size() || header.dwMagic != BCRYPT_ECDSA_PRIVATE_P256_MAGIC ||
                                 header.cbKey != kCoordinateSize)) {
    status = kStatusInvalidParameter;
  }
  if (BCRYPT_SUCCESS(status)) std::memcpy(key.data(), blob.data() + sizeof header, key.size());
  SecureZeroMemory(blob.data(), blob.size());
  return status;
}

NTSTATUS SignDigest(const PrivateKey& key, const Sha256Digest& digest, Signature& signature) {
  std::vector<UCHAR> blob = KeyBlob(BCRYPT_ECDSA_PRIVATE_P256_MAGIC, key.data(), key.size());
  KeyHandle handle;
  NTSTATUS status = ImportKey(BCRYPT_ECCPRIVATE_BLOB, blob, handle);
  SecureZeroMemory(blob.data(), blob.size());
  if (!BCRYPT_SUCCESS(status)) return status;
  // The size is known (r || s of 32 bytes each), so no size query first: that query is where
  // some implementations answer with the size of one half.
  ULONG written = 0;
  status = BCryptSignHash(handle.Get(), nullptr, const_cast<PUCHAR>(digest.data()), static_cast<ULONG>(digest.size()),
                          signature.data(), static_cast<ULONG>(signature.size()), &written, 0);
  if (BCRYPT_SUCCESS(status) && written != signature.size()) status = kStatusInvalidParameter;
  return status;
}

bool VerifyDigest(const PublicKey& key, const Sha256Digest& digest, const Signature& signature) {
  KeyHandle handle;
  if (!BCRYPT_SUCCESS(ImportPublic(key, handle))) return false;
  return BCRYPT_SUCCESS(BCryptVerifySignature(handle.Get(), nullptr, const_cast<PUCHAR>(digest.data()),
                                              static_cast<ULONG>(digest.size()), const_cast<PUCHAR>(signature.data()),
                                              static_cast<ULONG>(signature.size()), 0));
}

bool IsUsablePublicKey(const PublicKey& key) {
  KeyHandle handle;
  return BCRYPT_SUCCESS(ImportPublic(key, handle));
}

bool FingerprintOf(const PublicKey& key, KeyFingerprint& fingerprint) {
  Sha256Digest digest;
  if (!BufferSha256(key.data(), key.size(), digest)) return false;
  std::memcpy(fingerprint.data(), digest.data(), fingerprint.size());
  return true;
}

}  // namespace signing
