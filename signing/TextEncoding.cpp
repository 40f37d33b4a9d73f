#include "signing/TextEncoding.h"

namespace signing {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string ToHex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  text.reserve(2 * count);
  for (std::size_t i = 0; i < count; ++i) {
    text.push_back(kHexDigits[bytes[i] >> 4]);
    text.push_back(kHexDigits[bytes[i] & 0x0F]);
  }
  return text;
}

bool FromHex(const std::string& text, std::uint8_t* bytes, std::size_t count) {
  if (text.size() != 2 * count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

std::string ToBase64(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  text.reserve((count + 2) / 3 * 4);
  for (std::size_t i = 0; i < count; i += 3) {
    const std::size_t left = count - i;
    const std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16 |
                                (left > 1 ? static_cast<std::uint32_t>(bytes[i + 1]) << 8 : 0) |
                                (left > 2 ? bytes[i + 2] : 0);
    text.push_back(kBase64Digits[group >> 18 & 0x3F]);
    text.push_back(kBase64Digits[group >> 12 & 0x3F]);
    text.push_back(left > 1 ? kBase64Digits[group >> 6 & 0x3F] : '=');
    text.push_back(left > 2 ? kBase64Digits[group & 0x3F] : '=');
  }
  return text;
}

bool FromBase64(const std::string& text, std::uint8_t* bytes, std::size_t count) {
  if (text.size() != (count + 2) / 3 * 4) return false;
  for (std::size_t i = 0, out = 0; i < text.size(); i += 4) {
    const std::size_t wanted = count - out < 3 ? count - out : 3;  // bytes this group carries
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (k > wanted) {
        if (c != '=') return false;
        group <<= 6;
        continue;
      }
      const int value = Base64Value(c);
      if (value < 0) return false;
      group = group << 6 | static_cast<std::uint32_t>(value);
    }
    // Bits past the last byte must be zero: otherwise two texts would give the same bytes.
    if (wanted < 3 && (group & ((1u << (8 * (3 - wanted))) - 1)) != 0) return false;
    for (std::size_t k = 0; k < wanted; ++k) bytes[out++] = static_cast<std::uint8_t>(group >> (16 - 8 * k));
  }
  return true;
}

bool IsWellFormedUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length;
    std::uint32_t value;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07;
    } else {
      return false;
    }
    if (text.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = value << 6 | (next & 0x3F);
    }
    if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) || value > 0x10FFFF ||
        (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace signing
