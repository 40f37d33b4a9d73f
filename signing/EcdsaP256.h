// ECDSA on the NIST P-256 curve with SHA-256 digests, through Windows' own cryptography (CNG).
// Keys travel as the raw coordinates of CNG's key blobs: X || Y for a public key, X || Y || d
// for a private one, each 32 bytes big-endian. A signature is r || s, 32 bytes each.
#pragma once

#include <windows.h>

#include <bcrypt.h>

#include "signing/SigningTypes.h"

namespace signing {

// A new key pair. Returns the CNG status (BCRYPT_SUCCESS on success).
NTSTATUS GenerateSigningKey(PrivateKey& key);

// Signs a SHA-256 digest. Returns the CNG status.
NTSTATUS SignDigest(const PrivateKey& key, const Sha256Digest& digest, Signature& signature);

// True only when key is a P-256 public key and signature is its signature of digest.
bool VerifyDigest(const PublicKey& key, const Sha256Digest& digest, const Signature& signature);

// True when CNG takes key as a P-256 public key.
bool IsUsablePublicKey(const PublicKey& key);

// First 16 bytes of SHA-256(X || Y). False when the hash cannot be computed.
bool FingerprintOf(const PublicKey& key, KeyFingerprint& fingerprint);

}  // namespace signing
