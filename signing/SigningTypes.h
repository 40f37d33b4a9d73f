// The fixed-size values of package signing: SHA-256 digests, ECDSA P-256 keys and signatures,
// key fingerprints. Byte orders are those of CNG's blobs (big-endian coordinates and scalars).
// Plain types, no platform calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace signing {

constexpr std::size_t kDigestSize = 32;
constexpr std::size_t kCoordinateSize = 32;                     // one P-256 coordinate or scalar
constexpr std::size_t kPublicKeySize = 2 * kCoordinateSize;     // X || Y
constexpr std::size_t kPrivateKeySize = 3 * kCoordinateSize;    // X || Y || d
constexpr std::size_t kSignatureSize = 2 * kCoordinateSize;     // r || s
constexpr std::size_t kFingerprintSize = 16;                    // first bytes of SHA-256(X || Y)

using Sha256Digest = std::array<std::uint8_t, kDigestSize>;
using PublicKey = std::array<std::uint8_t, kPublicKeySize>;
using PrivateKey = std::array<std::uint8_t, kPrivateKeySize>;
using Signature = std::array<std::uint8_t, kSignatureSize>;
using KeyFingerprint = std::array<std::uint8_t, kFingerprintSize>;

}  // namespace signing
