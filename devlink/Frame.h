// The instruments' frame: every request and every reply segment has this layout.
//
//   offset 0      address   bus address of the instrument; 0x00 in unaddressed frames
//   offset 1      length L  the whole frame: address, length, payload, checksum, closing zero
//   offset 2      payload   L - 4 bytes; in replies the first is a marker, '>' or '?'
//   offset L - 2  checksum  two's complement of the 8-bit sum of bytes 0 .. L - 3
//   offset L - 1  0x00
//
// A frame is intact when the 8-bit sum of all its L bytes is 0. Plain logic.
#pragma once

#include <cstddef>
#include <cstdint>

namespace frame {

constexpr std::size_t kAddressOffset = 0;
constexpr std::size_t kLengthOffset = 1;
constexpr std::size_t kPayloadOffset = 2;
constexpr std::size_t kOverhead = 4;  // address, length, checksum, closing zero
constexpr std::size_t kMaxFrame = 255;
constexpr std::size_t kMaxPayload = kMaxFrame - kOverhead;  // what one length byte can frame

constexpr std::uint8_t kPositiveMarker = 0x3E;  // '>'
constexpr std::uint8_t kNegativeMarker = 0x3F;  // '?'

std::uint8_t Sum(const std::uint8_t* bytes, std::size_t count);

// Writes address, length, payload, checksum and closing zero to out (n + 4 bytes); the
// payload may already lie at out + 2. Returns the frame's length, or 0 and writes nothing
// for a payload over kMaxPayload bytes, whose length byte would wrap.
std::size_t Build(std::uint8_t address, const std::uint8_t* payload, std::size_t n, std::uint8_t* out);

// Reply segments in a read of byteCount bytes: 1 up to 255 bytes, else one per 192 bytes begun.
std::uint32_t SegmentCount(std::uint32_t byteCount);

// Joins the payloads of `segments` consecutive segments of `received` bytes in place, at
// buffer[0]. Every segment must carry address, be intact, be at least 4 bytes long and lie
// within the bytes received; the payloads must fit the buffer. True with the payload length.
bool JoinSegments(std::uint8_t* buffer, std::size_t bufferSize, std::size_t received, std::uint32_t segments,
                  std::uint8_t address, std::size_t& payloadLength);

}  // namespace frame
