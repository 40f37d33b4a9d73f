// USB string descriptors as 8-bit text. Plain logic.
#pragma once

#include <cstdint>
#include <string>

// Walks a buffer of concatenated descriptors and turns every string descriptor, in place,
// into zero-terminated 8-bit text: the low byte of each UTF-16LE unit. Stops at a length of
// 0 or one larger than what remains; other descriptors are left as they are.
void StringDescriptorToText(std::uint32_t byteCount, void* buffer);

// The text of the one string descriptor at the start of a buffer of byteCount bytes, as UTF-16
// (nothing of it lost, unlike the 8-bit text above): what a serial number is compared by.
// Empty when the buffer holds no whole string descriptor; an odd last byte is left out.
std::wstring StringDescriptorUnits(const void* buffer, std::uint32_t byteCount);
