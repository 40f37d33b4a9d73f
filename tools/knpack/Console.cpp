#include "tools/knpack/Console.h"

#include <windows.h>

#include <cstdio>

#include "text/PrintableText.h"

namespace knpack {
namespace {

void Write(FILE* stream, const std::wstring& line) {
  const std::wstring text = EscapeControlCharacters(line);
  std::string bytes;
  if (!text.empty()) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    bytes.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  }
  bytes += '\n';
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
}

}  // namespace

void PrintLine(const std::wstring& text) { Write(stdout, text); }
void PrintError(const std::wstring& text) { Write(stderr, text); }

void PrintErrors(const std::wstring& text) {
  for (const std::wstring& line : OwnTextLines(text)) Write(stderr, line);
}

std::wstring Hex(unsigned long value) {
  wchar_t buffer[16];
  std::swprintf(buffer, 16, L"0x%lX", value);
  return buffer;
}

}  // namespace knpack
