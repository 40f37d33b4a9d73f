// Text between UTF-16, as Windows keeps it, and UTF-8, as files and the console's pipes carry
// it. Plain code, the same on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace utf8_detail {

inline void AppendCodePoint(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace utf8_detail

// UTF-16 to UTF-8 and back; a lone surrogate, or a byte that starts no character, becomes
// U+FFFD.
inline std::string ToUtf8(const std::wstring& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t unit = static_cast<std::uint32_t>(text[i]) & 0xFFFF;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      const std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        utf8_detail::AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) unit = 0xFFFD;
    utf8_detail::AppendCodePoint(out, unit);
  }
  return out;
}

inline std::wstring FromUtf8(const std::string& bytes) {
  std::wstring text;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    std::uint32_t cp = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = length > 0 && i + length <= bytes.size();
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      valid = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      text.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      text.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
      text.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      text.push_back(static_cast<wchar_t>(cp));
    }
    i += static_cast<std::size_t>(length);
  }
  return text;
}

// UTF-16 to UTF-8 where nothing may be replaced: false for a lone surrogate.
inline bool ToUtf8Exactly(const std::wstring& text, std::string& utf8) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint32_t unit = static_cast<std::uint32_t>(text[i]) & 0xFFFF;
    if (unit < 0xD800 || unit > 0xDFFF) continue;
    const bool paired = unit <= 0xDBFF && i + 1 < text.size() &&
                        (static_cast<std::uint32_t>(text[i + 1]) & 0xFFFF) >= 0xDC00 &&
                        (static_cast<std::uint32_t>(text[i + 1]) & 0xFFFF) <= 0xDFFF;
    if (!paired) {
      utf8.clear();
      return false;
    }
    ++i;
  }
  utf8 = ToUtf8(text);
  return true;
}
