// USB string descriptors as 8-bit text. Plain logic.
#pragma once

#include <cstdint>

// Walks a buffer of concatenated descriptors and turns every string descriptor, in place,
// into zero-terminated 8-bit text: the low byte of each UTF-16LE unit. Stops at a length of
// 0 or one larger than what remains; other descriptors are left as they are.
void StringDescriptorToText(std::uint32_t byteCount, void* buffer);
