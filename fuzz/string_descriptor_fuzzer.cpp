// USB descriptors as a device may answer, turned into text in place. Input: the bytes
// received, in a buffer of exactly that size (the address sanitizer sees any access past
// it). Promises: each string descriptor's text is the low bytes of its units and ends inside
// the descriptor; other descriptors stay as they were.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "usbio/StringDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> buffer(data, data + size);
  StringDescriptorToText(static_cast<std::uint32_t>(size), buffer.empty() ? nullptr : buffer.data());
  // Every descriptor up to the first whose length is 0 or runs past the bytes received.
  for (std::size_t at = 0; at < size;) {
    const std::size_t length = data[at];
    if (length == 0 || length > size - at) break;
    if (length >= 2 && data[at + 1] == 3) {
      std::size_t out = at;
      for (std::size_t in = at + 2; in < at + length; in += 2) FUZZ_REQUIRE(buffer[out++] == data[in]);
      FUZZ_REQUIRE(out < at + length && buffer[out] == 0);
    } else {
      FUZZ_REQUIRE(std::equal(buffer.begin() + at, buffer.begin() + at + length, data + at));
    }
    at += length;
  }
  return 0;
}
