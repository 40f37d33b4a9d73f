// Byte surgery on archives the tests wrote themselves, to make the damaged archives that no
// producer writes on purpose: fields of the local header and the central record of an entry.
#pragma once

#include <cstdint>
#include <string>

namespace zip_bytes {

constexpr std::size_t kLocalFlags = 6, kLocalMethod = 8, kLocalCrc = 14;
constexpr std::size_t kCentralFlags = 8, kCentralCrc = 16;
constexpr std::size_t kEndCountOnDisk = 8, kEndCountTotal = 10;

// Offset of the n-th (0-based) occurrence of a 4-byte signature, or npos.
inline std::size_t FindSignature(const std::string& zip, const char* signature, int n) {
  std::size_t at = 0;
  for (int i = 0;; ++i, ++at) {
    at = zip.find(std::string(signature, 4), at);
    if (at == std::string::npos || i == n) return at;
  }
}

inline std::size_t LocalHeader(const std::string& zip, int entry) { return FindSignature(zip, "PK\x03\x04", entry); }
inline std::size_t CentralRecord(const std::string& zip, int entry) { return FindSignature(zip, "PK\x01\x02", entry); }
inline std::size_t EndRecord(const std::string& zip) { return FindSignature(zip, "PK\x05\x06", 0); }

inline void Put16(std::string& zip, std::size_t at, std::uint16_t value) {
  zip[at] = static_cast<char>(value);
  zip[at + 1] = static_cast<char>(value >> 8);
}

inline void Put32(std::string& zip, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) zip[at + i] = static_cast<char>(value >> (8 * i));
}

inline std::uint16_t Get16(const std::string& zip, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(zip[at]) | static_cast<unsigned char>(zip[at + 1]) << 8);
}

}  // namespace zip_bytes
