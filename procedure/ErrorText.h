// The messages that carry the DFU library's own text: "%s" becomes the text (widened byte by
// byte, however long), "%d" the result code. Plain logic.
#pragma once

#include <string>

std::wstring FormatLibraryError(const std::wstring& format, const std::wstring& libraryText, int code);
