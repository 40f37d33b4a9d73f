#include "procedure/ErrorText.h"

std::wstring FormatLibraryError(const std::wstring& format, const std::wstring& libraryText, int code) {
  std::wstring text = format;
  const std::size_t textAt = text.find(L"%s");
  const std::size_t codeAt = text.find(L"%d");
  // The later placeholder first, so neither replacement moves the other, and a "%d" inside
  // the library's text stays as it is.
  const auto replace = [&](std::size_t at, const std::wstring& value) {
    if (at != std::wstring::npos) text.replace(at, 2, value);
  };
  if (codeAt != std::wstring::npos && (textAt == std::wstring::npos || codeAt > textAt)) {
    replace(codeAt, std::to_wstring(code));
    replace(textAt, libraryText);
  } else {
    replace(textAt, libraryText);
    replace(codeAt, std::to_wstring(code));
  }
  return text;
}
