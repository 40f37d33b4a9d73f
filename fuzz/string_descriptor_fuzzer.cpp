// USB descriptors as a device may answer, turned into text in place. Input: the bytes
// received, in a buffer of exactly that size (the address sanitizer sees any access past
// it). Promises: a string descriptor's text is the low bytes of its units and ends inside
// the descriptor.
#include <cstdint>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "usbio/StringDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> buffer(data, data + size);
  StringDescriptorToText(static_cast<std::uint32_t>(size), buffer.empty() ? nullptr : buffer.data());
  if (size < 2) return 0;
  const std::size_t length = data[0];
  if (length < 2 || length > size || data[1] != 3) return 0;
  std::size_t out = 0;
  for (std::size_t in = 2; in < length; in += 2) FUZZ_REQUIRE(buffer[out++] == data[in]);
  FUZZ_REQUIRE(out < length && buffer[out] == 0);
  return 0;
}
