// List entries ("Device %d: %s\n") and some message texts end in a line feed that shapes the
// list box or message box, not the text itself. Records, matches and console lines drop it.
#pragma once

#include <string>

inline std::wstring WithoutFinalLineFeed(std::wstring text) {
  if (!text.empty() && text.back() == L'\n') text.pop_back();
  return text;
}
