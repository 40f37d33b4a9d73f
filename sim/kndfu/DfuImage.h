// The DFU file suffix that LMDFUIsValidImage and LMDFUDownload expect at the end of an image:
// 16 bytes (device release, product id, vendor id, DFU release, the signature "UFD", the
// suffix length, a CRC-32 over everything before the CRC). The CRC is the reflected CRC-32
// with start value 0xFFFFFFFF and no final complement.
#pragma once

#include <cstdint>
#include <vector>

namespace kndfu {

constexpr std::uint32_t kDfuSuffixLength = 16;

std::uint32_t DfuSuffixCrc(const std::uint8_t* data, std::uint32_t length);

// Length of the payload in front of the suffix; false when the image carries no valid one.
bool DfuImagePayload(const std::uint8_t* image, std::uint32_t length, std::uint32_t* payload_length);

// Appends a valid suffix to a payload (how tests and tools make images).
void AppendDfuSuffix(std::vector<std::uint8_t>* image);

}  // namespace kndfu
