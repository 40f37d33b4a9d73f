#include "sim/kndfu/DfuImage.h"

namespace kndfu {

namespace {

constexpr std::uint32_t kSignatureOffset = 8;  // within the suffix
constexpr std::uint32_t kLengthOffset = 11;
constexpr std::uint32_t kCrcOffset = 12;

std::uint32_t ReadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

std::uint32_t DfuSuffixCrc(const std::uint8_t* data, std::uint32_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint32_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return crc;
}

bool DfuImagePayload(const std::uint8_t* image, std::uint32_t length, std::uint32_t* payload_length) {
  if (image == nullptr || length < kDfuSuffixLength) return false;
  const std::uint8_t* suffix = image + length - kDfuSuffixLength;
  if (suffix[kSignatureOffset] != 'U' || suffix[kSignatureOffset + 1] != 'F' || suffix[kSignatureOffset + 2] != 'D') {
    return false;
  }
  std::uint32_t suffix_length = suffix[kLengthOffset];
  if (suffix_length < kDfuSuffixLength || suffix_length > length) return false;
  if (ReadLe32(suffix + kCrcOffset) != DfuSuffixCrc(image, length - 4)) return false;
  if (payload_length != nullptr) *payload_length = length - suffix_length;
  return true;
}

void AppendDfuSuffix(std::vector<std::uint8_t>* image) {
  const std::uint8_t head[12] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x01, 'U', 'F', 'D', kDfuSuffixLength};
  image->insert(image->end(), head, head + sizeof head);
  std::uint32_t crc = DfuSuffixCrc(image->data(), static_cast<std::uint32_t>(image->size()));
  for (int i = 0; i < 4; ++i) image->push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
}

}  // namespace kndfu
