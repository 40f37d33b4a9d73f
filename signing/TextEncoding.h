// The encodings the signing texts use: lowercase hex for digests and fingerprints, base64 for
// keys and signatures, UTF-8 for signers' names. Each has exactly one spelling per value, so a
// parsed text composes back to the same bytes. Plain rules, no platform calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace signing {

std::string ToHex(const std::uint8_t* bytes, std::size_t count);
// Exactly 2 * count lowercase hex digits; anything else (upper case too) is refused.
bool FromHex(const std::string& text, std::uint8_t* bytes, std::size_t count);

// RFC 4648 base64, standard alphabet, '=' padding.
std::string ToBase64(const std::uint8_t* bytes, std::size_t count);
// Exactly the text ToBase64 gives for count bytes: padding present, unused bits zero, no
// white space.
bool FromBase64(const std::string& text, std::uint8_t* bytes, std::size_t count);

// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsWellFormedUtf8(const std::string& text);

}  // namespace signing
