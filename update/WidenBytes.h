// 8-bit text from the manifest, USB descriptors and the DFU library becomes UTF-16 byte by
// byte: each byte is the 16-bit unit of the same value.
#pragma once

#include <string>

inline std::wstring WidenBytes(const std::string& bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  for (unsigned char c : bytes) text.push_back(static_cast<wchar_t>(c));
  return text;
}
