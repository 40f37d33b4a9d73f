// UTF-8 output for the package tool, whatever the console's code page.
#pragma once

#include <string>

namespace knpack {

void PrintLine(const std::wstring& text);
void PrintError(const std::wstring& text);
std::wstring Hex(unsigned long value);

}  // namespace knpack
