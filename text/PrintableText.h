// What a device or a package says is printed as text, never as control: a carriage return or
// an escape sequence in a product string or a manifest line could otherwise forge a line that
// a program reading the output takes for the updater's own ("Device 3: TW 3xx: Updated
// successfully!"). Lines that the console tools print go through here whole.
#pragma once

#include <string>
#include <vector>

// Control characters (below 0x20, and 0x7F) as \r, \n, \t or \xHH; everything else as it is.
inline std::wstring EscapeControlCharacters(const std::wstring& text) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring printable;
  printable.reserve(text.size());
  for (const wchar_t c : text) {
    if (c >= 0x20 && c != 0x7F) {
      printable += c;
    } else if (c == L'\r') {
      printable += L"\\r";
    } else if (c == L'\n') {
      printable += L"\\n";
    } else if (c == L'\t') {
      printable += L"\\t";
    } else {
      printable += L"\\x";
      printable += kHex[(c >> 4) & 0xF];
      printable += kHex[c & 0xF];
    }
  }
  return printable;
}

// The lines of one of the tools' own texts that span several ("\r\n" or "\n" between them).
// Never for text that came from a device or a package: that is one line, escaped.
inline std::vector<std::wstring> OwnTextLines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(L'\n', start);
    std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
    if (end == std::wstring::npos) return lines;
    start = end + 1;
  }
}
