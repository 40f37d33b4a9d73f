// UTF-8 output for the package tool, whatever the console's code page.
#pragma once

#include <string>

namespace knpack {

// One line each: control characters in it are printed escaped, so a manifest's or an entry's
// text never breaks a line.
void PrintLine(const std::wstring& text);
void PrintError(const std::wstring& text);
// One of the tool's own texts that spans several lines.
void PrintErrors(const std::wstring& text);
std::wstring Hex(unsigned long value);

}  // namespace knpack
