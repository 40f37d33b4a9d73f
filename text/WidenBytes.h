// 8-bit text from the manifest, USB descriptors and the DFU library becomes UTF-16 byte by
// byte: each byte is the 16-bit unit of the same value.
#pragma once

#include <cstddef>
#include <string>

inline std::wstring WidenBytes(const std::string& bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  for (unsigned char c : bytes) text.push_back(static_cast<wchar_t>(c));
  return text;
}

// 8-bit text up to its terminator, but never past `limit` bytes, even when a library or
// device wrote no terminator.
inline std::wstring WidenTerminated(const char* bytes, std::size_t limit) {
  std::size_t length = 0;
  while (length < limit && bytes[length] != 0) ++length;
  return WidenBytes(std::string(bytes, length));
}
